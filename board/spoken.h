// SPDX-License-Identifier: MIT
#pragma once
// Every sentence and word a listening player is given: what became of a
// drop, what the pin is over, a new round, and the names and descriptions a
// screen reader reads off the window's parts. Short, and the name first, so
// that a player who has heard enough can press on.
#include "mapplaces.h"
#include "outcome.h"

#include <QString>

namespace spoken {

QString outcome(const DropOutcome &outcome);
QString newRound(int names);
QString pickedUp(const QString &name);
// A name chosen again that was selected already: it is still on the panel.
QString nameAgain(const QString &name);
// What lies under the pin: a country's name, "sea" or "no country".
QString place(const MapPlaces::Place &place);
// The pin could not go that way: the map's edge, or no country further.
QString blocked(MapPlaces::Heading heading, bool jump);
// Where the pin is: the place under it and the part of the map.
QString whereIsPin(const MapPlaces::Place &place, MapPlaces::Sector sector);
// "north-west of the map", "centre of the map", ...
QString partOfMap(MapPlaces::Sector sector);

// The map's description: what the pin, or the pointer of a mouse drag, is
// over, and the name it carries; empty carried when it carries none.
QString overMap(bool pointer, const MapPlaces::Place &place, const QString &carried = {});
QString noPinOnMap();

// The parts of the window, as a screen reader names and describes them.
QString mapName();
QString namesListName();
QString namesListDescription();
QString nameState(bool onPanel);
QString pinName();
QString pinCarrying(const QString &name);
QString pinEmpty();
QString toTheNames();

}  // namespace spoken
