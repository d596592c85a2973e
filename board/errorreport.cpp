// SPDX-License-Identifier: MIT
#include "errorreport.h"

#include "form.h"

QString errorReportText(const QString &description, const QString &location, int line)
{
    return description + QStringLiteral("\r\n") + location + QStringLiteral("at line ") + QString::number(line)
           + QStringLiteral("\r\r") + QStringLiteral("Please email screenshot of this message to ") + kSupportAddress;
}

void ShowErrorReport(Form &form, const QString &description, const QString &location, int line)
{
    form.MsgBox(errorReportText(description, location, line), vbExclamation, QStringLiteral("Application Error"));
}
