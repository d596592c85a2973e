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

// The name labels stand in two columns: 0 to 24 on the left, the rest on the right.
constexpr int kLeftColumnNames = 25;

// Creates the controls of the quiz window on an empty form.
void BuildForm1(Form &form);

// Pictures compiled into the program; a null picture when one is missing.
StdPicture MapPicture();
StdPicture PanelPicture();
StdPicture DragIconPicture();
StdPicture BlankWindowIcon();
StdPicture ProgramIcon();

// Which quiz country's land each map pixel shows: the country's position in
// the map-label list + 1, 0 for sea and for land of no quiz country. scale 1
// matches MapPicture(), scale 2 its double-resolution variant. Read once, on
// first use; a null image when it is missing.
QImage CountryMask(int scale);

// The colours the map picture gives the sea and land of no quiz country.
constexpr QRgb kSeaColour = 0xFF6898D0;
constexpr QRgb kOtherLandColour = 0xFFC8C8C4;

}  // namespace layout
