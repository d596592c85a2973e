// Measures how long QtMediaBackend takes from play() to sound actually
// flowing (the pipeline clock moving, seen as position() > 0), in one
// scenario per process, because GStreamer's first-use costs are per process.
//
//   sound_latency cold  FILE...   first play in a fresh process
//   sound_latency warm  FILE...   warmUp(first file), wait, then play each
//   sound_latency later FILE...   play the files one after the other
//
// Prints one "label ms" line per play; "stall" is the longest time the
// event loop was held up while warming up.
#include "qtmediabackend.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMediaPlayer>
#include <QTimer>
#include <cstdio>

namespace {

void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Milliseconds from play() until the player's position moves, or -1.
double timePlay(QtMediaBackend &media, const QString &file)
{
    QElapsedTimer clock;
    clock.start();
    media.play(file);
    const qint64 start = clock.nsecsElapsed();
    QEventLoop loop;
    double result = -1;
    QTimer poll;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (media.player() && media.player()->position() > 0) {
            result = (clock.nsecsElapsed() - start) / 1e6;
            loop.quit();
        } else if (clock.elapsed() > 3000) {
            loop.quit();
        }
    });
    poll.start();
    loop.exec();
    return result;
}

// Longest gap between 5 ms ticks while the event loop runs for ms.
double longestStall(int ms)
{
    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.nsecsElapsed(), worst = 0;
    QTimer tick;
    tick.setInterval(5);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        worst = std::max(worst, now - last);
        last = now;
    });
    tick.start();
    spin(ms);
    return worst / 1e6;
}

void report(const char *label, double ms)
{
    if (ms < 0)
        std::printf("%s none\n", label);
    else
        std::printf("%s %.1f\n", label, ms);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: sound_latency cold|warm|later FILE...\n");
        return 2;
    }
    const QString mode = args[0];
    const QStringList files = args.mid(1);
    QtMediaBackend media;
    if (mode == "cold") {
        report("first", timePlay(media, files[0]));
    } else if (mode == "warm") {
        QElapsedTimer clock;
        clock.start();
        media.warmUp(files[0]);
        report("warmup-call", clock.nsecsElapsed() / 1e6);
        report("stall", longestStall(1500));
        for (const QString &f : files) {
            report("first", timePlay(media, f));
            spin(700);
        }
    } else if (mode == "later") {
        timePlay(media, files[0]);
        spin(700);
        for (int round = 0; round < 2; ++round) {
            for (const QString &f : files) {
                report("later", timePlay(media, f));
                spin(700);
            }
        }
    } else {
        std::fprintf(stderr, "unknown mode %s\n", qPrintable(mode));
        return 2;
    }
    return 0;
}
