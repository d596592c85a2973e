// The map picture against the region table: drops on a country's land must be
// judged as that country, and the committed pictures must show what the
// country mask (tests/data/countrymask.png, written with them) says.
#include "regions.h"

#include <QColor>
#include <QImage>
#include <QImageReader>
#include <QString>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
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
    return QStringLiteral(SOURCE_DIR "/") + QString::fromUtf8(relative);
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

Mask loadMask()
{
    return Mask{QImage(sourcePath("tests/data/countrymask.png"))};
}

// Per map pixel, the mask value of the country a drop there is judged as: map
// pixel (px, py) lies at twips (15 px - 60, 15 py), and of the regions that
// contain it the one with the highest index decides.
std::vector<int> judgedCountries()
{
    std::vector<int> judged(kWidth * kHeight, 0);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const int tx = 15 * x - 60, ty = 15 * y;
            for (int r = layout::kRegionCount - 1; r >= 0; --r) {
                const auto &reg = layout::kRegions[r];
                if (tx >= reg.left && tx < reg.left + reg.width && ty >= reg.top
                    && ty < reg.top + reg.height) {
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
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                     std::abs(qBlue(a) - qBlue(b))});
}

bool seaBlue(QRgb c) { return qBlue(c) > qRed(c) + 40 && qBlue(c) > qGreen(c) + 20; }

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

TEST(MapFit, CountryLandTakesDropsAsItsOwnCountry)
{
    const Mask mask = loadMask();
    ASSERT_FALSE(mask.image.isNull());
    ASSERT_EQ(mask.image.size(), QSize(kWidth, kHeight));
    ASSERT_EQ(mask.image.format(), QImage::Format_Indexed8);

    const std::vector<int> judged = judgedCountries();
    std::array<long, kCountries + 1> drawn{}, own{};
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const int v = mask.at(x, y);
            ASSERT_LE(v, kCountries) << "mask value at " << x << "," << y;
            if (v == 0)
                continue;
            ++drawn[v];
            if (judged[y * kWidth + x] == v)
                ++own[v];
        }
    }

    std::vector<std::pair<double, int>> shares;
    long allDrawn = 0, allOwn = 0;
    for (int v = 1; v <= kCountries; ++v) {
        ASSERT_GT(drawn[v], 0) << countryName(v) << " is not on the map";
        allDrawn += drawn[v];
        allOwn += own[v];
        shares.emplace_back(double(own[v]) / drawn[v], v);
    }
    std::sort(shares.begin(), shares.end());

    std::ostringstream table;
    table << std::fixed << std::setprecision(3);
    table << std::left << std::setw(22) << "country" << std::right << std::setw(8) << "pixels"
          << std::setw(8) << "own" << std::setw(8) << "share" << '\n';
    for (const auto &[share, v] : shares) {
        table << std::left << std::setw(22) << countryName(v) << std::right << std::setw(8)
              << drawn[v] << std::setw(8) << own[v] << std::setw(8) << share << '\n';
        std::string key = "share " + countryName(v);
        ::testing::Test::RecordProperty(key.c_str(), std::to_string(share));
    }
    const double overall = double(allOwn) / allDrawn;
    const double median = shares[shares.size() / 2].first;  // 41 countries: the middle one
    table << "overall " << overall << "  median " << median << "  worst "
          << countryName(shares.front().second) << ' ' << shares.front().first << '\n';
    std::cout << table.str();
    ::testing::Test::RecordProperty("overall", std::to_string(overall));
    ::testing::Test::RecordProperty("median", std::to_string(median));

    EXPECT_GE(overall, 0.89);
    EXPECT_GE(median, 0.90);
    for (const auto &[share, v] : shares)
        EXPECT_GE(share, 0.65) << countryName(v);
}

TEST(MapPicture, PicturesShowTheMaskInDistinctColours)
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
            for (const int w : {x + 1 < kWidth ? mask.at(x + 1, y) : 0,
                                y + 1 < kHeight ? mask.at(x, y + 1) : 0})
                if (v && w && v != w)
                    neighbours.emplace(std::min(v, w), std::max(v, w));
        }
    EXPECT_GE(neighbours.size(), 50u) << "too few borders: is the mask a map of Europe?";
    for (const auto &[a, b] : neighbours)
        EXPECT_GE(distance(colour[a], colour[b]), 30)
            << countryName(a) << " and " << countryName(b) << " look alike";
}

}  // namespace
