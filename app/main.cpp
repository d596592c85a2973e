// SPDX-License-Identifier: MIT
// Program start: the quiz window is created, loaded and shown.
#include "form1.h"
#include "pulseoutput.h"
#include "qtplatform.h"
#include "quizwindow.h"
#include "soundengine.h"
#include "sounds.h"

#include <fontconfig/fontconfig.h>

#include <QApplication>
#include <QThread>
#include <cstdio>
#include <cstdlib>
#include <thread>

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
    // What needs no widget is done on the second core while the window is
    // being made: the font configuration (which Qt would read on this thread
    // at the first text; plain C, so it can start before Qt), and once the
    // application object is there the pictures of the first frame.
    QThread::currentThread();  // this is Qt's main thread, whatever the other one does
    std::jthread fonts([] { FcInit(); });  // joined on every way out of main()
    const QtMessageHandler previous = qInstallMessageHandler(startupMessages);
    FormView::ownFrameWanted();
    QApplication app(argc, argv);
    layout::readPicturesInBackground();
    // Whatever way main() ends, the reader is done before Qt goes away.
    struct PicturesRead {
        ~PicturesRead() { layout::finishReadingPictures(); }
    } picturesRead;
    qInstallMessageHandler(previous);
    QApplication::setApplicationName(QStringLiteral("orbenvale"));
    QApplication::setDesktopFileName(QStringLiteral("org.orbenvale.TessaryPlunor"));

    QtMessageBoxes boxes;
    QtCommandRunner shell;
    SoundEngine media(QCoreApplication::applicationDirPath() + QStringLiteral("/orbenvale-decode"),
                      layout::kPlayerVolume, std::make_unique<PulseOutput>(layout::kProductName));
    Platform platform;
    platform.App.Path = QCoreApplication::applicationDirPath();
    platform.boxes = &boxes;
    platform.shell = &shell;
    platform.media = &media;
    platform.Timer = secondsSinceMidnight;

    // The window loads before it has a view, while the fonts are still being
    // read: the view then shows what start-up made of it from the first frame.
    Form1 form(platform);
    form.Form_Load();
    if (form.unloaded())
        return 0;
    fonts.join();  // the view's first widget lays out text
    QuizWindow window(form);
    boxes.owner = &window.view();
    // Once the first frame is on the screen and the window is idle, the
    // sounds are decoded (one run of the helper) and the sound server is
    // connected, its stream asleep: before any name can be dropped, and
    // never in the way of the first frame.
    QObject::connect(
        &window.view(), &FormView::firstPainted, &window,
        [&] {
            QStringList sounds;
            for (Sound sound : kSounds)
                sounds << resolvePath(soundPath(platform.App.Path, sound));
            media.warmUp(sounds);
            media.prepareOutput();
        },
        Qt::QueuedConnection);
    // A drag takes far longer than waking the output: its drop is heard at once.
    QObject::connect(&window, &QuizWindow::dragMayBegin, &window, [&] { media.wake(); });
    window.show();
    return app.exec();
}
