// SPDX-License-Identifier: MIT
#pragma once
// The quiz window as it is created: every control with its place, texts,
// fonts, colours and stacking, and the compiled-in pictures.
#include "picture.h"

#include <QString>

class Form;

namespace layout {

// The product name: the window's caption and, cut short, the application title.
inline const QString kProductName = QStringLiteral("Orbenvale Tessary Plunor");

// The client area, in twips.
constexpr int kClientWidth = 13515;
constexpr int kClientHeight = 8205;
// Where the map picture (Image1) lies, in twips: it starts left of the window.
constexpr int kMapLeft = -60, kMapTop = 0, kMapWidth = 8895, kMapHeight = 8235;
// The name labels stand in two columns: 0 to 24 on the left, the rest on the right.
constexpr int kLeftColumnNames = 25;
// Tab positions: the focus starts on Text1.
constexpr int kText1TabIndex = 0;
constexpr int kPlayerTabIndex = 1;
constexpr int kRestartTabIndex = 86;
constexpr int kExitTabIndex = 87;
// The media player's volume, 0 to 100.
constexpr int kPlayerVolume = 37;

// Creates the controls of the quiz window on an empty form.
void buildForm1(Form &form);

// Pictures compiled into the program; a null picture when one is missing.
// Each is read when first drawn, or (map and panel) on another thread once
// readPicturesInBackground() is called (with the application object made:
// Qt takes the first thread that uses it for the main one).
void readPicturesInBackground();
// Waits for that thread to end; call it before the application object goes.
void finishReadingPictures();
StdPicture mapPicture();
StdPicture panelPicture();
StdPicture dragIconPicture();
StdPicture blankWindowIcon();
StdPicture programIcon();

// Which quiz country's land each map pixel shows: the country's position in
// the map-label list + 1, 0 for sea and for land of no quiz country. scale 1
// matches mapPicture(), scale 2 its double-resolution variant. Read once, on
// first use; a null image when it is missing.
QImage countryMask(int scale);

// Where the map picture's meridians meet, in its pixels (the apex of its
// conformal conic projection, tools/map/mapgen.py's PROJECTION; the rotation
// is too small to count): north anywhere on the map points there.
constexpr double kMapPoleX = 331.57, kMapPoleY = -366.42;

// The colours the map picture gives the sea and land of no quiz country.
constexpr QRgb kSeaColour = 0xFF6898D0;
constexpr QRgb kOtherLandColour = 0xFFC8C8C4;
// Map pixels darker than this (qGray) are border and coast lines.
constexpr int kBorderLineLightness = 120;

}  // namespace layout
