// SPDX-License-Identifier: MIT
#include "errorreport.h"

#include "form.h"
#include "guard.h"

QString errorReportText(const QString &description, const QString &location, int line)
{
    return failureReportText(description, location, line,
                             QStringLiteral("Please email screenshot of this message to ") + kSupportAddress);
}

void ShowErrorReport(Form &form, const QString &description, const QString &location, int line)
{
    form.MsgBox(errorReportText(description, location, line), vbExclamation, kFailureTitle);
}
