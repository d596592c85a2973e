// SPDX-License-Identifier: MIT
#pragma once
// First-frame report shared by the start-up benchmarks. Once the first frame
// is on screen the program prints a CLOCK_MONOTONIC time stamp (the driver
// took one just before starting the process), gives callgrind a dump named
// "first-frame" when it runs under it, and quits.
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
#include <QWindow>
#include <chrono>
#include <cstdio>
#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_DUMP_STATS_AT(name)
#endif

// Call from the first paint event: the frame reaches the display when the
// paint event returns, so the report waits for the next turn of the loop.
inline void reportFirstFrameSoon()
{
    QTimer::singleShot(0, qApp, [] {
        CALLGRIND_DUMP_STATS_AT("first-frame");
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        std::printf("first-frame-monotonic-ns %lld\n",
                    static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
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
