// SPDX-License-Identifier: MIT
// The map picture against the region table: drops on a country's land must be
// judged as that country, and the committed pictures must show what the
// country mask (layout/countrymask.png, written with them) says. The mask of
// the plain projected drawing (tests/data/countrymask-reference.png) keeps
// the fitted map close to the real one.
#include "assetfiles.h"
#include "control.h"
#include "form1layout.h"
#include "regions.h"

#include <QColor>
#include <QImage>
#include <QImageReader>
#include <QString>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <iomanip>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int kWidth = 593;
constexpr int kHeight = 549;
constexpr int kCountries = layout::kItemCount;

QString sourcePath(const char *relative)
{
    return sourceFile(QString::fromUtf8(relative));
}

std::string countryName(int value)  // mask value 1..41
{
    return layout::kMapLabels[value - 1].country;
}

int listValue(const char *tag)  // mask value of a region tag, 0 if it names no country
{
    for (int i = 0; i < kCountries; ++i)
        if (std::string(layout::kMapLabels[i].country) == tag)
            return i + 1;
    return 0;
}

struct Mask {
    QImage image;
    int at(int x, int y) const { return image.pixelIndex(x, y); }
};

Mask loadMask(const char *relative = "layout/countrymask.png")
{
    return Mask{QImage(sourcePath(relative))};
}

Mask loadReference()
{
    return loadMask("tests/data/countrymask-reference.png");
}

// Per pixel, the distance from its centre to the nearest pixel centre of
// another value (or beyond the picture's edge), capped at kCap.
constexpr double kCap = 8.0;
std::vector<double> depths(const Mask &mask)
{
    std::vector<std::pair<int, int>> offsets;
    for (int dy = -8; dy <= 8; ++dy)
        for (int dx = -8; dx <= 8; ++dx)
            if ((dx || dy) && std::hypot(dx, dy) <= kCap)
                offsets.emplace_back(dx, dy);
    std::sort(offsets.begin(), offsets.end(), [](auto a, auto b) {
        return a.first * a.first + a.second * a.second < b.first * b.first + b.second * b.second;
    });
    std::vector<double> out(kWidth * kHeight, kCap);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const int v = mask.at(x, y);
            for (const auto &[dx, dy] : offsets) {
                const int u = x + dx, w = y + dy;
                if (u < 0 || w < 0 || u >= kWidth || w >= kHeight || mask.at(u, w) != v) {
                    out[y * kWidth + x] = std::hypot(dx, dy);
                    break;
                }
            }
        }
    return out;
}

// Per map pixel, the mask value of the country a drop there is judged as: map
// pixel (px, py) lies at the map's place in the window plus (px, py) pixels,
// and of the regions that contain it the one with the highest index decides.
std::vector<int> judgedCountries()
{
    std::vector<int> judged(kWidth * kHeight, 0);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const int tx = layout::kMapLeft + kTwipsPerPixel * x, ty = layout::kMapTop + kTwipsPerPixel * y;
            for (int r = layout::kRegionCount - 1; r >= 0; --r) {
                const auto &reg = layout::kRegions[r];
                if (tx >= reg.left && tx < reg.left + reg.width && ty >= reg.top && ty < reg.top + reg.height) {
                    judged[y * kWidth + x] = listValue(reg.tag);
                    break;
                }
            }
        }
    }
    return judged;
}

// Pixels whose 5x5 neighbourhood in the mask is one value: far enough from any
// border that the picture shows the plain colour there.
bool interior(const Mask &mask, int x, int y)
{
    if (x < 2 || y < 2 || x >= kWidth - 2 || y >= kHeight - 2)
        return false;
    const int v = mask.at(x, y);
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx)
            if (mask.at(x + dx, y + dy) != v)
                return false;
    return true;
}

int distance(QRgb a, QRgb b)  // largest channel difference
{
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

bool seaBlue(QRgb c)
{
    return qBlue(c) > qRed(c) + 40 && qBlue(c) > qGreen(c) + 20;
}

// Light neutral grey, as land of no quiz country is drawn (borders are darker).
bool neutralGrey(QRgb c)
{
    const int lo = std::min({qRed(c), qGreen(c), qBlue(c)});
    return std::max({qRed(c), qGreen(c), qBlue(c)}) - lo <= 16 && lo >= 150;
}

QRgb medianColour(std::vector<QRgb> pixels)
{
    std::array<std::vector<int>, 3> ch;
    for (QRgb p : pixels) {
        ch[0].push_back(qRed(p));
        ch[1].push_back(qGreen(p));
        ch[2].push_back(qBlue(p));
    }
    std::array<int, 3> m{};
    for (int i = 0; i < 3; ++i) {
        auto mid = ch[i].begin() + ch[i].size() / 2;
        std::nth_element(ch[i].begin(), mid, ch[i].end());
        m[i] = *mid;
    }
    return qRgb(m[0], m[1], m[2]);
}

// Land under no rectangle takes no drop (a drop there does nothing), so the
// goals count the land under some rectangle; the share of all land is kept
// from falling back too.
TEST(MapFit, CountryLandTakesDropsAsItsOwnCountry)
{
    const Mask mask = loadMask();
    ASSERT_FALSE(mask.image.isNull());
    ASSERT_EQ(mask.image.size(), QSize(kWidth, kHeight));
    ASSERT_EQ(mask.image.format(), QImage::Format_Indexed8);

    const std::vector<int> judged = judgedCountries();
    std::array<long, kCountries + 1> drawn{}, under{}, own{};
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const int v = mask.at(x, y);
            ASSERT_LE(v, kCountries) << "mask value at " << x << "," << y;
            if (v == 0)
                continue;
            ++drawn[v];
            under[v] += judged[y * kWidth + x] != 0;
            own[v] += judged[y * kWidth + x] == v;
        }
    }

    std::vector<std::pair<double, int>> shares;
    std::vector<double> allShares;
    long allDrawn = 0, allUnder = 0, allOwn = 0;
    for (int v = 1; v <= kCountries; ++v) {
        ASSERT_GT(under[v], 0) << countryName(v) << " is not on the map under its rectangles";
        allDrawn += drawn[v];
        allUnder += under[v];
        allOwn += own[v];
        shares.emplace_back(double(own[v]) / under[v], v);
        allShares.push_back(double(own[v]) / drawn[v]);
    }
    std::sort(shares.begin(), shares.end());
    std::sort(allShares.begin(), allShares.end());

    std::ostringstream table;
    table << std::fixed << std::setprecision(3);
    table << std::left << std::setw(22) << "country" << std::right << std::setw(8) << "pixels" << std::setw(8)
          << "judged" << std::setw(8) << "own" << std::setw(8) << "share" << '\n';
    for (const auto &[share, v] : shares) {
        table << std::left << std::setw(22) << countryName(v) << std::right << std::setw(8) << drawn[v] << std::setw(8)
              << under[v] << std::setw(8) << own[v] << std::setw(8) << share << '\n';
        std::string key = "share " + countryName(v);
        ::testing::Test::RecordProperty(key.c_str(), std::to_string(share));
    }
    const double overall = double(allOwn) / allUnder;
    const double overallAll = double(allOwn) / allDrawn;
    table << "judged land: overall " << overall << "  worst " << countryName(shares.front().second) << ' '
          << shares.front().first << "\nall land: overall " << overallAll << "  worst " << allShares.front() << '\n';
    std::cout << table.str();
    ::testing::Test::RecordProperty("overall", std::to_string(overall));
    ::testing::Test::RecordProperty("overall all land", std::to_string(overallAll));

    EXPECT_GE(overall, 0.95);
    for (const auto &[share, v] : shares)
        EXPECT_GE(share, 0.85) << countryName(v);
    EXPECT_GE(overallAll, 0.90);
    EXPECT_GE(allShares.front(), 0.80);
}

// Away from its borders a country's land is judged as that country: a player
// aiming at the middle of a country is never told it is another one.
TEST(MapFit, LandWellInsideACountryIsItsOwn)
{
    const Mask mask = loadMask();
    ASSERT_EQ(mask.image.size(), QSize(kWidth, kHeight));
    const std::vector<int> judged = judgedCountries();
    const std::vector<double> depth = depths(mask);

    // 4 px inside, less for countries too small to have such pixels.
    std::array<double, kCountries + 1> thickest{};
    for (int i = 0; i < kWidth * kHeight; ++i) {
        const int v = mask.at(i % kWidth, i / kWidth);
        thickest[v] = std::max(thickest[v], depth[i]);
    }
    long inner = 0, ok = 0;
    std::array<long, kCountries + 1> wrong{}, innerOf{};
    for (int i = 0; i < kWidth * kHeight; ++i) {
        const int v = mask.at(i % kWidth, i / kWidth);
        if (v == 0 || judged[i] == 0 || depth[i] < std::min(4.0, std::max(1.0, thickest[v] / 2)))
            continue;
        ++inner;
        ++innerOf[v];
        ok += judged[i] == v;
        wrong[v] += judged[i] != v;
    }
    ASSERT_GT(inner, 100000);
    const double share = double(ok) / inner;
    std::cout << "land well inside its country judged as its own: " << share << '\n';
    ::testing::Test::RecordProperty("interior", std::to_string(share));
    EXPECT_GE(share, 0.98);
    for (int v = 1; v <= kCountries; ++v)
        EXPECT_LE(wrong[v], std::max(10.0, innerOf[v] * 0.05))
            << countryName(v) << " has inner land judged as another country";
}

// The fitted drawing is still the map: every country near where the
// projection puts it, much the same shape, and borders no more ragged.
TEST(MapGeography, CountriesStayWhereTheProjectionPutsThem)
{
    const Mask mask = loadMask();
    const Mask reference = loadReference();
    ASSERT_EQ(mask.image.size(), QSize(kWidth, kHeight));
    ASSERT_EQ(reference.image.size(), QSize(kWidth, kHeight));

    struct Tally {
        long now = 0, then = 0, both = 0, edgeNow = 0, edgeThen = 0;
        double xNow = 0, yNow = 0, xThen = 0, yThen = 0;
    };
    std::array<Tally, kCountries + 1> t{};
    auto edges = [](const Mask &m, int x, int y, int v) {
        int n = 0;
        for (const auto &[dx, dy] : {std::pair{1, 0}, std::pair{-1, 0}, std::pair{0, 1}, std::pair{0, -1}}) {
            const int u = x + dx, w = y + dy;
            n += u < 0 || w < 0 || u >= kWidth || w >= kHeight || m.at(u, w) != v;
        }
        return n;
    };
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const int a = mask.at(x, y), b = reference.at(x, y);
            if (a) {
                ++t[a].now;
                t[a].xNow += x;
                t[a].yNow += y;
                t[a].edgeNow += edges(mask, x, y, a);
            }
            if (b) {
                ++t[b].then;
                t[b].xThen += x;
                t[b].yThen += y;
                t[b].edgeThen += edges(reference, x, y, b);
            }
            if (a && a == b)
                ++t[a].both;
        }
    double largestShift = 0, smallestOverlap = 1;
    long edgeNow = 0, edgeThen = 0;
    for (int v = 1; v <= kCountries; ++v) {
        const Tally &c = t[v];
        ASSERT_GT(c.now, 0) << countryName(v);
        ASSERT_GT(c.then, 0) << countryName(v);
        const double shift = std::hypot(c.xNow / c.now - c.xThen / c.then, c.yNow / c.now - c.yThen / c.then);
        EXPECT_LE(shift, 6.0) << countryName(v) << " moved";
        largestShift = std::max(largestShift, shift);
        if (c.then >= 500) {
            const double overlap = double(c.both) / (c.now + c.then - c.both);
            EXPECT_GE(overlap, 0.6) << countryName(v) << " changed shape";
            smallestOverlap = std::min(smallestOverlap, overlap);
        }
        // A warp that kinks or steps a border lengthens it.
        EXPECT_LE(c.edgeNow, c.edgeThen * 1.25 + 8) << countryName(v) << "'s border grew ragged";
        edgeNow += c.edgeNow;
        edgeThen += c.edgeThen;
    }
    EXPECT_LE(edgeNow, edgeThen * 1.05);
    std::cout << "largest centroid shift " << largestShift << " px, smallest overlap " << smallestOverlap
              << ", border length " << double(edgeNow) / edgeThen << " of the reference\n";
    ::testing::Test::RecordProperty("largest shift", std::to_string(largestShift));
    ::testing::Test::RecordProperty("smallest overlap", std::to_string(smallestOverlap));
}

// The high-DPI mask is the same map at twice the size.
TEST(MapMask, HighDpiMaskMatchesTheMask)
{
    const Mask mask = loadMask();
    const Mask mask2x = loadMask("layout/countrymask@2x.png");
    ASSERT_EQ(mask2x.image.size(), QSize(2 * kWidth, 2 * kHeight));
    ASSERT_EQ(mask2x.image.format(), QImage::Format_Indexed8);
    long same = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            same += mask2x.at(2 * x + 1, 2 * y + 1) == mask.at(x, y);
    EXPECT_GE(double(same) / (kWidth * kHeight), 0.98);
    for (int v = 1; v <= kCountries; ++v)
        EXPECT_EQ(mask2x.image.color(v), mask.image.color(v)) << countryName(v);
}

TEST(mapPicture, PicturesShowTheMaskInDistinctColours)
{
    const Mask mask = loadMask();
    ASSERT_EQ(mask.image.size(), QSize(kWidth, kHeight));
    ASSERT_EQ(mask.image.format(), QImage::Format_Indexed8);

    QImageReader reader(sourcePath("assets/map.jpg"));
    EXPECT_EQ(reader.format(), QByteArray("jpeg"));
    const QImage map = reader.read().convertToFormat(QImage::Format_RGB32);
    const QImage map2x = QImage(sourcePath("assets/map@2x.jpg")).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(map.size(), QSize(kWidth, kHeight));
    ASSERT_EQ(map2x.size(), QSize(2 * kWidth, 2 * kHeight));
    EXPECT_FALSE(map.isGrayscale());

    // Colour of each country: the median of its interior pixels.
    std::array<std::vector<QRgb>, kCountries + 1> inner;
    std::vector<std::pair<int, int>> innerSpots;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            if (interior(mask, x, y)) {
                inner[mask.at(x, y)].push_back(map.pixel(x, y));
                innerSpots.emplace_back(x, y);
            }
    std::array<QRgb, kCountries + 1> colour{};
    for (int v = 1; v <= kCountries; ++v) {
        ASSERT_FALSE(inner[v].empty()) << countryName(v) << " has no interior on the map";
        colour[v] = medianColour(inner[v]);
        // Flat pastel colours: neither sea-like nor grey like foreign land.
        EXPECT_FALSE(seaBlue(colour[v])) << countryName(v);
        EXPECT_FALSE(neutralGrey(colour[v])) << countryName(v);
        // The mask's palette records the colour each country was drawn in.
        EXPECT_LE(distance(colour[v], mask.image.color(v)), 12) << countryName(v);
    }

    // Away from borders both pictures carry the country's colour. Value 0 is
    // sea (blue) or land of no quiz country (grey); the mask does not tell the
    // two apart, so it cannot show the borders between grey countries nor
    // around small grey islands, and a few such pixels are allowed for.
    constexpr int kJpegTolerance = 24;
    long off = 0, off2x = 0, sea = 0, grey = 0, neither = 0, neither2x = 0, swapped = 0;
    for (const auto &[x, y] : innerSpots) {
        const int v = mask.at(x, y);
        const QRgb p = map.pixel(x, y);
        const QRgb q = map2x.pixel(2 * x + 1, 2 * y + 1);
        if (v == 0) {
            sea += seaBlue(p);
            grey += neutralGrey(p);
            neither += !seaBlue(p) && !neutralGrey(p);
            neither2x += !seaBlue(q) && !neutralGrey(q);
            swapped += (seaBlue(p) && neutralGrey(q)) || (neutralGrey(p) && seaBlue(q));
            continue;
        }
        off += distance(p, colour[v]) > kJpegTolerance;
        off2x += distance(q, colour[v]) > kJpegTolerance;
    }
    const double spots = double(innerSpots.size());
    EXPECT_LE(off / spots, 0.001) << off << " interior pixels off their country's colour";
    EXPECT_LE(off2x / spots, 0.001) << off2x << " interior pixels of map@2x.jpg off it";
    EXPECT_LE(neither / spots, 0.002) << neither << " non-country pixels neither sea nor grey";
    EXPECT_LE(neither2x / spots, 0.002) << neither2x << " such pixels in map@2x.jpg";
    EXPECT_LE(swapped, 20) << "map.jpg and map@2x.jpg disagree about sea and land";
    EXPECT_GT(sea, long(spots * 0.2));
    EXPECT_GT(grey, 1000);
    EXPECT_TRUE(seaBlue(map.pixel(5, 300))) << "west of Ireland should be open sea";

    // Countries that share a border on the map must be told apart.
    std::set<std::pair<int, int>> neighbours;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const int v = mask.at(x, y);
            for (const int w : {x + 1 < kWidth ? mask.at(x + 1, y) : 0, y + 1 < kHeight ? mask.at(x, y + 1) : 0})
                if (v && w && v != w)
                    neighbours.emplace(std::min(v, w), std::max(v, w));
        }
    EXPECT_GE(neighbours.size(), 50u) << "too few borders: is the mask a map of Europe?";
    for (const auto &[a, b] : neighbours)
        EXPECT_GE(distance(colour[a], colour[b]), 30) << countryName(a) << " and " << countryName(b) << " look alike";
}

}  // namespace
