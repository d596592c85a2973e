// SPDX-License-Identifier: MIT
#pragma once
// What assistive tools see of the quiz window beyond its buttons: the names
// on the panel as a list whose items say whether they are placed, the map
// with a description of what the pin (or the pointer in a drag) is over, the
// pin itself, and a status line with the outcome of each drop.
class MapPart;
class NamePanel;
class QAccessibleInterface;

// Registers the factory that gives those parts their accessible interfaces.
void InstallAccessibility();

// The list item of a name label, and the map's pin.
QAccessibleInterface *NameItem(NamePanel *names, int index);
QAccessibleInterface *PinItem(MapPart *map);
