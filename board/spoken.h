// SPDX-License-Identifier: MIT
#pragma once
// The sentences a screen reader is given: what became of a drop, what the
// pin is over, a new round. Short, and the name first, so that a player who
// has heard enough can press on.
#include "mapplaces.h"
#include "outcome.h"

#include <QString>

namespace spoken {

QString outcome(const DropOutcome &outcome);
QString newRound(int names);
QString pickedUp(const QString &name);
// What lies under the pin: a country's name, "sea" or "no country".
QString place(const MapPlaces::Place &place);
// The pin could not go that way: the map's edge, or no country further.
QString blocked(MapPlaces::Heading heading, bool jump);
// Where the pin is: the place under it and the part of the map.
QString whereIsPin(const MapPlaces::Place &place, const QString &part);

}  // namespace spoken
