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

QString nameAgain(const QString &name)
{
    return QStringLiteral("%1, %2").arg(name, nameState(true));
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

// "Germany", "the sea" or "no country": what something is over.
static QString over(const MapPlaces::Place &p)
{
    if (p.zone >= 0)
        return p.name;
    return p.ground == MapPlaces::Ground::Sea ? QStringLiteral("the sea") : QStringLiteral("no country");
}

QString whereIsPin(const MapPlaces::Place &p, MapPlaces::Sector sector)
{
    return QStringLiteral("Pin over %1, %2").arg(over(p), partOfMap(sector));
}

QString partOfMap(MapPlaces::Sector sector)
{
    if (sector.row == 1 && sector.col == 1)
        return QStringLiteral("centre of the map");
    static const char *const rows[] = {"north", "", "south"};
    static const char *const cols[] = {"west", "", "east"};
    QString part = QString::fromLatin1(rows[qBound(0, sector.row, 2)]);
    if (sector.col != 1)
        part +=
            (part.isEmpty() ? QString() : QStringLiteral("-")) + QString::fromLatin1(cols[qBound(0, sector.col, 2)]);
    return part + QStringLiteral(" of the map");
}

QString overMap(bool pointer, const MapPlaces::Place &p, const QString &carried)
{
    QString s = QStringLiteral("%1 over %2").arg(pointer ? QStringLiteral("Pointer") : QStringLiteral("Pin"), over(p));
    if (!carried.isEmpty())
        s += QStringLiteral(", carrying %1").arg(carried);
    return s;
}

QString noPinOnMap()
{
    return QStringLiteral("No pin on the map");
}

QString mapName()
{
    return QStringLiteral("Map of Europe");
}

QString namesListName()
{
    return QStringLiteral("Country names");
}

QString namesListDescription()
{
    return QStringLiteral("Enter picks a name up");
}

QString nameState(bool onPanel)
{
    return onPanel ? QStringLiteral("not placed") : QStringLiteral("placed on the map");
}

QString pinName()
{
    return QStringLiteral("pin");
}

QString pinCarrying(const QString &name)
{
    return QStringLiteral("carrying %1").arg(name);
}

QString pinEmpty()
{
    return QStringLiteral("empty");
}

QString toTheNames()
{
    return QStringLiteral("Press Tab to reach the country names");
}

}  // namespace spoken
