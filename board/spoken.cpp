// SPDX-License-Identifier: MIT
#include "spoken.h"

namespace spoken {

QString outcome(const DropOutcome &o)
{
    switch (o.kind) {
    case DropOutcome::Kind::Placed: {
        QString s = QStringLiteral("%1 placed, %2 of %3").arg(o.name).arg(o.placed).arg(o.total);
        if (o.placed == o.total)
            s += QStringLiteral(". The map is complete!");
        return s;
    }
    case DropOutcome::Kind::Wrong:
        return QStringLiteral("%1 is not %2").arg(o.name, o.country);
    case DropOutcome::Kind::Nowhere:
        return QStringLiteral("%1 not on a country").arg(o.name);
    case DropOutcome::Kind::PutBack:
    case DropOutcome::Kind::Cancelled:
        return QStringLiteral("%1 put back").arg(o.name);
    }
    return QString();
}

QString newRound(int names)
{
    return QStringLiteral("New round, %1 names to place").arg(names);
}

QString pickedUp(const QString &name)
{
    return QStringLiteral("%1 picked up").arg(name);
}

QString place(const MapPlaces::Place &p)
{
    if (p.country > 0)
        return p.name;
    return p.ground == MapPlaces::Ground::Sea ? QStringLiteral("sea") : QStringLiteral("no country");
}

static QString headingName(MapPlaces::Heading heading)
{
    switch (heading) {
    case MapPlaces::Heading::West:
        return QStringLiteral("west");
    case MapPlaces::Heading::East:
        return QStringLiteral("east");
    case MapPlaces::Heading::North:
        return QStringLiteral("north");
    case MapPlaces::Heading::South:
        return QStringLiteral("south");
    }
    return QString();
}

QString blocked(MapPlaces::Heading heading, bool jump)
{
    if (jump)
        return QStringLiteral("no country further %1").arg(headingName(heading));
    return QStringLiteral("%1 edge of the map").arg(headingName(heading));
}

QString whereIsPin(const MapPlaces::Place &p, const QString &part)
{
    const QString over = p.country > 0                        ? p.name
                         : p.ground == MapPlaces::Ground::Sea ? QStringLiteral("the sea")
                                                              : QStringLiteral("no country");
    return QStringLiteral("Pin over %1, %2").arg(over, part);
}

}  // namespace spoken
