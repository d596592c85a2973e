// SPDX-License-Identifier: MIT
// Program start: the quiz window is created, loaded and shown.
#include "formview.h"
#include "keyboardview.h"
#include "qtplatform.h"
#include "soundengine.h"
#include "form1.h"

#include <QApplication>
#include <QEvent>
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

// The sound server is connected at the first press of a mouse button or a
// key: every drop starts with one, connecting takes a fraction of the time
// a drag does, and a player who only looks at the map does not pay for it.
class ConnectSoundOnFirstPress : public QObject {
public:
    explicit ConnectSoundOnFirstPress(SoundEngine &media) : media_(media) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::KeyPress) {
            qApp->removeEventFilter(this);
            media_.prepareOutput();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    SoundEngine &media_;
};

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
    SoundEngine media(QCoreApplication::applicationDirPath() + QStringLiteral("/orbenvale-decode"),
                      layout::kPlayerVolume);
    Platform platform;
    platform.App.Path = QCoreApplication::applicationDirPath();
    platform.boxes = &boxes;
    platform.shell = &shell;
    platform.media = &media;
    platform.Timer = secondsSinceMidnight;

    Form1 form(platform);
    FormView view(form);
    KeyboardView keys(view, form);
    form.Form_Load();
    if (form.unloaded())
        return 0;
    boxes.owner = &view;
    view.showCentred();
    // The shipped sounds are decoded once the window is up, by the helper
    // process in the background: the first drop finds them ready.
    QObject::connect(
        &view, &FormView::firstPainted, &app,
        [&] {
            for (const char *sound : {"/sounds/correct.wma", "/sounds/wrong.wma", "/sounds/complete.wma"})
                media.warmUp(resolvePath(platform.App.Path + QLatin1String(sound)));
        },
        Qt::QueuedConnection);
    ConnectSoundOnFirstPress connectSound(media);
    app.installEventFilter(&connectSound);
    return app.exec();
}
