// SPDX-License-Identifier: MIT
#pragma once
// Start-up services of the quiz window: skin, pointer cursor, application
// title and the occasional home page, with the files and addresses they use.
#include <QString>

class Form;

inline const QString kHomePage = QStringLiteral("https://www.orbenvale.org/");

void ApplySkin(Form &form);
// True when the path's date and time can be read; never fails.
bool FileExists(const QString &path);
// The pointer cursor file; start-up loads it only when FileExists says so.
QString pointerCursorPath(const Form &form);
void LoadPointerCursor(Form &form);
// The title cut from a product name; fails when no blank is left to cut at.
QString cutAppTitle(const QString &productName);
void SetAppTitle(Form &form, const QString &productName);
void OpenHomePageByChance(Form &form);
