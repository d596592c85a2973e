// SPDX-License-Identifier: MIT
#pragma once
// The quiz's error report: the forms runtime's report of a failing statement
// (its text laid out by failureReportText), and whom to tell. The guarded
// handlers show it for every failing statement.
#include <QString>

class Form;

// Address shown in every report.
inline const QString kSupportAddress = QStringLiteral("support@orbenvale.org");

QString errorReportText(const QString &description, const QString &location, int line);
void ShowErrorReport(Form &form, const QString &description, const QString &location, int line);
