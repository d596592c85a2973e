// Program start: the quiz window is created, loaded and shown.
#include "formview.h"
#include "qtmediabackend.h"
#include "qtplatform.h"
#include "form1.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

// Qt ends the process with an abort when no window system can be reached;
// say so plainly instead of dumping core.
static void startupMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtFatalMsg) {
        Q_UNUSED(message);  // Qt's advice to reinstall does not apply
        std::fputs("orbenvale: cannot open the quiz window: the display could not be reached.\n", stderr);
        std::_Exit(1);
    }
    if (type != QtDebugMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

static bool haveDisplay()
{
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY")
           || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

int main(int argc, char **argv)
{
    if (!haveDisplay()) {
        std::fputs("orbenvale: there is no display to open the quiz window on "
                   "(neither DISPLAY nor WAYLAND_DISPLAY is set).\n",
                   stderr);
        return 1;
    }
    const QtMessageHandler previous = qInstallMessageHandler(startupMessages);
    QApplication app(argc, argv);
    qInstallMessageHandler(previous);
    QApplication::setApplicationName(QStringLiteral("orbenvale"));
    QApplication::setDesktopFileName(QStringLiteral("org.orbenvale.TessaryPlunor"));

    QtMessageBoxes boxes;
    QtCommandRunner shell;
    QtMediaBackend media;
    Platform platform;
    platform.App.Path = QCoreApplication::applicationDirPath();
    platform.boxes = &boxes;
    platform.shell = &shell;
    platform.media = &media;
    platform.Timer = SecondsSinceMidnight;

    Form1 form(platform);
    FormView view(form);
    form.Form_Load();
    if (form.unloaded())
        return 0;
    boxes.owner = &view;
    view.showCentred();
    // Build the sound pipeline once the window is up, so that the first
    // drop sounds as promptly as later ones without delaying the first frame.
    QObject::connect(&view, &FormView::firstPainted, &app, [&] {
        media.warmUp(ResolvePath(platform.App.Path + QStringLiteral("/sounds/correct.wma")));
    }, Qt::QueuedConnection);
    return app.exec();
}
