// SPDX-License-Identifier: MIT
#pragma once
// First-frame report shared by the start-up benchmarks. Once the first frame
// is on screen the program prints a CLOCK_MONOTONIC time stamp (the driver
// took one just before starting the process) and the CPU time it has used,
// gives callgrind a dump named "first-frame" when it runs under it, and quits.
//
// With BENCH_LINGER_MS set it runs on for that long after the first frame
// before quitting, so that the driver's peak memory covers what happens
// after the window shows; with BENCH_PRESS_MS as well, a Shift key press
// reaches the window that long after the first frame, as the first touch
// of a player would.
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QTimer>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <chrono>
#include <cstdio>
#include <sys/resource.h>
#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_DUMP_STATS_AT(name)
#endif

// Places a window centred on its screen, as the quiz places its own.
inline void centreOnScreen(QWidget &window)
{
    if (QScreen *screen = QGuiApplication::primaryScreen())
        window.move(screen->availableGeometry().center() - QPoint(window.width() / 2, window.height() / 2));
}

// Call from the first paint event: the frame reaches the display when the
// paint event returns, so the report waits for the next turn of the loop.
inline void reportFirstFrameSoon()
{
    QTimer::singleShot(0, qApp, [] {
        CALLGRIND_DUMP_STATS_AT("first-frame");
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        const long long cpu = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000000LL + usage.ru_utime.tv_usec
                              + usage.ru_stime.tv_usec;
        std::printf("first-frame-monotonic-ns %lld\nfirst-frame-cpu-us %lld\n",
                    static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()), cpu);
        std::fflush(stdout);
        const int linger = qEnvironmentVariableIntValue("BENCH_LINGER_MS");
        const int press = qEnvironmentVariableIntValue("BENCH_PRESS_MS");
        if (press > 0) {
            QTimer::singleShot(press, qApp, [] {
                if (QWindow *w = QGuiApplication::focusWindow() ? QGuiApplication::focusWindow()
                                                                : QGuiApplication::topLevelWindows().value(0)) {
                    QKeyEvent down(QEvent::KeyPress, Qt::Key_Shift, Qt::NoModifier);
                    QCoreApplication::sendEvent(w, &down);
                    QKeyEvent up(QEvent::KeyRelease, Qt::Key_Shift, Qt::NoModifier);
                    QCoreApplication::sendEvent(w, &up);
                }
            });
        }
        QTimer::singleShot(linger, qApp, &QCoreApplication::quit);
    });
}
