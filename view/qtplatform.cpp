// SPDX-License-Identifier: MIT
#include "qtplatform.h"

#include "form.h"
#include "formserror.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QProcess>
#include <QUrl>

QString QtMessageBoxes::displayText(const QString &prompt)
{
    QString text = prompt;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

int QtMessageBoxes::show(const QString &prompt, int style, const QString &title)
{
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (style & kBoxIconBits) {
    case vbCritical:
        icon = QMessageBox::Critical;
        break;
    case vbQuestion:
        icon = QMessageBox::Question;
        break;
    case vbExclamation:
        icon = QMessageBox::Warning;
        break;
    case vbInformation:
        icon = QMessageBox::Information;
        break;
    default:
        break;
    }
    QWidget *parent = owner && owner->isVisible() ? owner : nullptr;
    QMessageBox box(icon, title, displayText(prompt), QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
    return 1;
}

void QtCommandRunner::run(const QString &commandLine, int windowStyle)
{
    Q_UNUSED(windowStyle);  // the desktop decides how a started program shows
    QStringList args = QProcess::splitCommand(commandLine);
    if (args.isEmpty())
        throw errors::invalidCall();
    const QString program = args.takeFirst();
    if (program.compare(QLatin1String("explorer"), Qt::CaseInsensitive) == 0 && args.size() == 1) {
        const QUrl url(args.first());
        if (url.isValid() && !url.scheme().isEmpty() && url.scheme().size() > 1) {
            if (!QDesktopServices::openUrl(url))
                throw errors::fileNotFound();
            return;
        }
    }
    if (!QProcess::startDetached(program, args))
        throw errors::fileNotFound();
}
