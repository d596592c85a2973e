// SPDX-License-Identifier: MIT
// A headless round: 41 correct drops through the window model, as the tests
// drive it, with message boxes and sounds recorded. Prints the median time of
// a round and of one drop.
#include "harness.h"

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 200;

    Harness h;
    h.write("items.txt", countryList());
    Form1 &f = h.load();
    std::vector<QPoint> targets;
    for (int i = 0; i < layout::kItemCount; ++i)
        targets.push_back(h.pointOf(f.labels(i).Tag));

    std::vector<double> micros;
    for (int r = 0; r < rounds; ++r) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < layout::kItemCount; ++i)
            h.drag(f.labels(i), targets[i]);
        micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
        // The 41st drop shows the SUCCESS box and starts the next round.
        if (h.boxes.boxes.size() != size_t(r + 1) || h.boxes.boxes.back().title != QLatin1String("SUCCESS")) {
            std::fprintf(stderr, "headless_round: round %d did not end with the SUCCESS box\n", r + 1);
            return 1;
        }
    }
    std::sort(micros.begin(), micros.end());
    const double median = micros[micros.size() / 2];
    std::printf("round-us median %.1f per-drop %.2f min %.1f max %.1f rounds %d\n", median, median / layout::kItemCount,
                micros.front(), micros.back(), rounds);
    return 0;
}
