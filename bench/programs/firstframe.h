#pragma once
// First-frame report shared by the start-up benchmarks. Once the first frame
// is on screen the program prints a CLOCK_MONOTONIC time stamp (the driver
// took one just before starting the process), gives callgrind a dump named
// "first-frame" when it runs under it, and quits.
#include <QCoreApplication>
#include <QTimer>
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
        QCoreApplication::quit();
    });
}
