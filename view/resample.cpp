// SPDX-License-Identifier: MIT
#include "resample.h"

#include <QtMath>
#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr int kLobes = 3;

double lanczos(double x)
{
    if (x == 0)
        return 1;
    if (std::abs(x) >= kLobes)
        return 0;
    const double px = M_PI * x;
    return kLobes * std::sin(px) * std::sin(px / kLobes) / (px * px);
}

// For each output position along one axis, the input positions it reads and
// their weights (normalised: a flat area stays flat).
struct Taps {
    std::vector<int> first;
    std::vector<float> weight;  // 2 * kLobes a position
};

Taps tapsFor(int from, int to)
{
    Taps t;
    const int n = 2 * kLobes;
    t.first.resize(to);
    t.weight.resize(size_t(to) * n);
    const double step = double(from) / to;
    for (int o = 0; o < to; ++o) {
        const double centre = (o + 0.5) * step - 0.5;  // in input pixels
        const int first = int(std::floor(centre)) - kLobes + 1;
        double weights[2 * kLobes], sum = 0;
        for (int k = 0; k < n; ++k)
            sum += weights[k] = lanczos(centre - (first + k));
        for (int k = 0; k < n; ++k)
            t.weight[size_t(o) * n + k] = float(weights[k] / sum);
        t.first[o] = first;
    }
    return t;
}

}  // namespace

QImage lanczosEnlarged(const QImage &picture, QSize size)
{
    const QImage in = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (in.isNull() || size.isEmpty())
        return {};
    const int n = 2 * kLobes, w = in.width(), h = in.height(), wide = size.width();
    const Taps across = tapsFor(w, wide), down = tapsFor(h, size.height());
    // Rows enlarged across, made as the rows below need them and let go
    // once passed: a few rows live at a time, not the whole picture.
    std::vector<std::vector<float>> rows(h);
    auto acrossRow = [&](int y) -> const std::vector<float> & {
        std::vector<float> &out = rows[y];
        if (!out.empty())
            return out;
        out.resize(size_t(wide) * 4);
        const auto *row = reinterpret_cast<const QRgb *>(in.constScanLine(y));
        for (int x = 0; x < wide; ++x) {
            float acc[4] = {0, 0, 0, 0};
            for (int k = 0; k < n; ++k) {
                const QRgb p = row[std::clamp(across.first[x] + k, 0, w - 1)];
                const float f = across.weight[size_t(x) * n + k];
                acc[0] += f * qRed(p), acc[1] += f * qGreen(p), acc[2] += f * qBlue(p), acc[3] += f * qAlpha(p);
            }
            std::copy(acc, acc + 4, &out[size_t(x) * 4]);
        }
        return out;
    };
    QImage out(size, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < size.height(); ++y) {
        for (int r = 0; r < std::min(down.first[y], h); ++r)
            std::vector<float>().swap(rows[r]);
        const float *source[2 * kLobes];
        for (int k = 0; k < n; ++k)
            source[k] = acrossRow(std::clamp(down.first[y] + k, 0, h - 1)).data();
        auto *row = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < wide; ++x) {
            float acc[4] = {0, 0, 0, 0};
            for (int k = 0; k < n; ++k) {
                const float f = down.weight[size_t(y) * n + k];
                const float *p = source[k] + size_t(x) * 4;
                for (int c = 0; c < 4; ++c)
                    acc[c] += f * p[c];
            }
            // Overshoot at an edge is what makes it crisp; it stays in range.
            const int a = std::clamp(int(std::lround(acc[3])), 0, 255);
            auto channel = [a](float v) { return std::clamp(int(std::lround(v)), 0, a); };
            row[x] = qRgba(channel(acc[0]), channel(acc[1]), channel(acc[2]), a);
        }
    }
    return out;
}
