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

// Creates the controls of the quiz window on an empty form.
void BuildForm1(Form &form);

// Pictures compiled into the program; a null picture when one is missing.
StdPicture MapPicture();
StdPicture PanelPicture();
StdPicture DragIconPicture();
StdPicture BlankWindowIcon();
StdPicture ProgramIcon();

}  // namespace layout
