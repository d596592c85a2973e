// SPDX-License-Identifier: MIT
#include "guard.h"

#include "form.h"

QString failureReportText(const QString &description, const QString &location, int line, const QString &request)
{
    QString text = description + QStringLiteral("\r\n") + location + QStringLiteral("at line ") + QString::number(line);
    if (!request.isEmpty())
        text += QStringLiteral("\r\r") + request;
    return text;
}

void Guard::report(int line, const QString &description)
{
    form_.reportFailure(description, location_, line);
}
