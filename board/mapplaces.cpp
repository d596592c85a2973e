// SPDX-License-Identifier: MIT
#include "mapplaces.h"

#include "files.h"
#include "form.h"
#include "form1layout.h"
#include "regions.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

// The middles are looked for on a grid of this many map pixels.
constexpr int kGrid = 2;

int squaredDistance(QRgb a, QRgb b)
{
    const int r = qRed(a) - qRed(b), g = qGreen(a) - qGreen(b), bl = qBlue(a) - qBlue(b);
    return r * r + g * g + bl * bl;
}

}  // namespace

MapPlaces::MapPlaces(const Form &form) : form_(form)
{
    for (const Control *c : form_.Controls())
        if (c->Name == QLatin1String("Image1") && c->Index < 0)
            map_ = c;
}

QRect MapPlaces::area() const
{
    const QRect client(0, 0, form_.ClientWidth, form_.ClientHeight);
    return map_ ? map_->rect().intersected(client) : QRect();
}

int MapPlaces::countryOfZone(const Control &zone)
{
    if (zone.Name != QLatin1String("piccoor"))
        return 0;
    const QString tag = trimBlanks(zone.Tag);
    for (int i = 0; i < int(layout::kMapLabels.size()); ++i)
        if (tag == QLatin1String(layout::kMapLabels[i].country))
            return i + 1;
    return 0;
}

bool MapPlaces::ready() const
{
    if (!read_) {
        read_ = true;
        if (map_) {
            picture_ = map_->Picture.picture();
            mask_ = layout::countryMask(1);
            if (mask_.size() != picture_.size())
                mask_ = QImage();  // a mask that does not fit the picture would name the wrong land
        }
    }
    return !picture_.isNull();
}

QPoint MapPlaces::maskPixel(QPoint twips) const
{
    // The picture is stretched over its control; whole pixels, rounded down.
    const auto scaled = [](int offset, int extent, int pixels) {
        const qint64 v = qint64(offset) * pixels;
        return int(v >= 0 ? v / extent : (v - extent + 1) / extent);
    };
    if (!map_ || map_->Width <= 0 || map_->Height <= 0)
        return {-1, -1};
    return {scaled(twips.x() - map_->Left, map_->Width, picture_.width()),
            scaled(twips.y() - map_->Top, map_->Height, picture_.height())};
}

MapPlaces::Ground MapPlaces::groundAt(QPoint px) const
{
    if (!picture_.rect().contains(px))
        return Ground::OtherLand;
    if (!mask_.isNull() && mask_.pixelIndex(px) > 0)
        return Ground::Land;
    // Sea and other land are told apart by their colours; on a line, by the
    // colours around it.
    int sea = 0, other = 0;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            const QPoint q = px + QPoint(dx, dy);
            if (!picture_.rect().contains(q))
                continue;
            const QRgb c = picture_.pixel(q);
            if (qGray(c) < layout::kBorderLineLightness)
                continue;
            if (squaredDistance(c, layout::kSeaColour) < squaredDistance(c, layout::kOtherLandColour))
                ++sea;
            else
                ++other;
        }
    return sea > other ? Ground::Sea : Ground::OtherLand;
}

MapPlaces::Place MapPlaces::at(QPoint twips) const
{
    Place p;
    if (const Control *hit = form_.hitTest(twips); hit && hit->Name == QLatin1String("piccoor")) {
        p.zone = hit->Index;
        p.name = trimBlanks(hit->Tag);
        p.country = countryOfZone(*hit);
    }
    if (!ready() || !map_->rect().contains(twips)) {
        p.ground = Ground::OtherLand;
        return p;
    }
    const QPoint px = maskPixel(twips);
    p.ground = groundAt(px);
    if (p.ground == Ground::Land)
        p.land = mask_.pixelIndex(px);
    return p;
}

// The countries' middles are looked for on a grid of map pixels. A grid
// point is a country's own where its zone is on top and the map shows its
// land; where the mask is missing, the zone alone decides (zoned).
struct MapPlaces::Grid {
    int w = 0, h = 0;
    std::vector<int> own, zoned;
    size_t at(int gx, int gy) const { return size_t(gy) * w + gx; }
};

QPoint MapPlaces::twipsOfGridPoint(int gx, int gy) const
{
    // The middle of the map pixel, in the window.
    const int px = gx * kGrid, py = gy * kGrid;
    return QPoint(map_->Left + int((2 * qint64(px) + 1) * map_->Width / (2 * picture_.width())),
                  map_->Top + int((2 * qint64(py) + 1) * map_->Height / (2 * picture_.height())));
}

MapPlaces::Grid MapPlaces::ownership() const
{
    Grid g;
    g.w = (picture_.width() + kGrid - 1) / kGrid;
    g.h = (picture_.height() + kGrid - 1) / kGrid;
    g.own.assign(size_t(g.w) * g.h, 0);
    g.zoned.assign(size_t(g.w) * g.h, 0);
    const QRect visible = area();
    for (int gy = 0; gy < g.h; ++gy)
        for (int gx = 0; gx < g.w; ++gx) {
            const QPoint t = twipsOfGridPoint(gx, gy);
            if (!visible.contains(t))
                continue;
            const Control *hit = form_.hitTest(t);
            const int country = hit ? countryOfZone(*hit) : 0;
            g.zoned[g.at(gx, gy)] = country;
            if (country && (mask_.isNull() || mask_.pixelIndex(gx * kGrid, gy * kGrid) == country))
                g.own[g.at(gx, gy)] = country;
        }
    return g;
}

namespace {

// How far each point lies inside its country: the chamfer distance to the
// nearest point that is not the country's own.
std::vector<int> depthsInside(const std::vector<int> &own, int w, int h)
{
    std::vector<int> depth(own.size(), 0);
    for (size_t i = 0; i < own.size(); ++i)
        depth[i] = own[i] ? INT_MAX / 2 : 0;
    auto relax = [&](int gx, int gy, int nx, int ny, int weight) {
        const size_t i = size_t(gy) * w + gx;
        const bool inside = nx >= 0 && ny >= 0 && nx < w && ny < h;
        const int through = inside && own[size_t(ny) * w + nx] == own[i] ? depth[size_t(ny) * w + nx] : 0;
        depth[i] = std::min(depth[i], through + weight);
    };
    for (int gy = 0; gy < h; ++gy)
        for (int gx = 0; gx < w; ++gx)
            if (own[size_t(gy) * w + gx]) {
                relax(gx, gy, gx - 1, gy, 2);
                relax(gx, gy, gx - 1, gy - 1, 3);
                relax(gx, gy, gx, gy - 1, 2);
                relax(gx, gy, gx + 1, gy - 1, 3);
            }
    for (int gy = h - 1; gy >= 0; --gy)
        for (int gx = w - 1; gx >= 0; --gx)
            if (own[size_t(gy) * w + gx]) {
                relax(gx, gy, gx + 1, gy, 2);
                relax(gx, gy, gx + 1, gy + 1, 3);
                relax(gx, gy, gx, gy + 1, 2);
                relax(gx, gy, gx - 1, gy + 1, 3);
            }
    return depth;
}

// The deepest of a country's cells (all of them alike without depths), the
// one nearest their centre among equals; (-1, -1) when it has none.
QPoint deepestCell(const std::vector<int> &cells, const std::vector<int> *depth, int w, int h, int country)
{
    qint64 sx = 0, sy = 0, n = 0;
    int deepest = -1;
    for (int gy = 0; gy < h; ++gy)
        for (int gx = 0; gx < w; ++gx)
            if (cells[size_t(gy) * w + gx] == country) {
                sx += gx, sy += gy, ++n;
                deepest = std::max(deepest, depth ? (*depth)[size_t(gy) * w + gx] : 0);
            }
    if (!n)
        return {-1, -1};
    const double cx = double(sx) / n, cy = double(sy) / n;
    double best = 1e300;
    QPoint cell(-1, -1);
    for (int gy = 0; gy < h; ++gy)
        for (int gx = 0; gx < w; ++gx) {
            const size_t i = size_t(gy) * w + gx;
            if (cells[i] != country || (depth && (*depth)[i] != deepest))
                continue;
            const double d = (gx - cx) * (gx - cx) + (gy - cy) * (gy - cy);
            if (d < best) {
                best = d;
                cell = {gx, gy};
            }
        }
    return cell;
}

}  // namespace

void MapPlaces::findMiddles() const
{
    middles_.assign(layout::kItemCount + 1, QPoint(-1, -1));
    if (!ready())
        return;
    const Grid g = ownership();
    const std::vector<int> depth = depthsInside(g.own, g.w, g.h);
    for (int country = 1; country <= layout::kItemCount; ++country) {
        // A country whose land the mask does not show where its zones lie
        // still gets a middle: that of its zones.
        const bool owned = std::find(g.own.begin(), g.own.end(), country) != g.own.end();
        const QPoint cell =
            owned ? deepestCell(g.own, &depth, g.w, g.h, country) : deepestCell(g.zoned, nullptr, g.w, g.h, country);
        if (cell.x() >= 0)
            middles_[country] = twipsOfGridPoint(cell.x(), cell.y());
    }
}

QPoint MapPlaces::middle(int country) const
{
    if (middles_.empty())
        findMiddles();
    return country > 0 && country < int(middles_.size()) ? middles_[country] : QPoint(-1, -1);
}

QPoint MapPlaces::nearest(QPoint from, Heading heading) const
{
    const int here = at(from).country;
    QPoint best(-1, -1);
    qint64 bestScore = LLONG_MAX;
    for (int country = 1; country <= layout::kItemCount; ++country) {
        const QPoint m = middle(country);
        if (country == here || m.x() < 0)
            continue;
        const QPoint v = m - from;
        qint64 along = 0, across = 0;
        switch (heading) {
        case Heading::West:
            along = -v.x(), across = std::abs(v.y());
            break;
        case Heading::East:
            along = v.x(), across = std::abs(v.y());
            break;
        case Heading::North:
            along = -v.y(), across = std::abs(v.x());
            break;
        case Heading::South:
            along = v.y(), across = std::abs(v.x());
            break;
        }
        // Within 45 degrees of the heading; the nearest, with a step off to
        // the side counting double.
        if (along <= 0 || across > along)
            continue;
        const qint64 score = qint64(std::hypot(double(along), double(across))) + across;
        if (score < bestScore) {
            bestScore = score;
            best = m;
        }
    }
    return best;
}

MapPlaces::Sector MapPlaces::sectorOf(QPoint twips) const
{
    const QRect a = area();
    if (a.isEmpty())
        return {};
    return {std::clamp(int(qint64(twips.y() - a.top()) * 3 / a.height()), 0, 2),
            std::clamp(int(qint64(twips.x() - a.left()) * 3 / a.width()), 0, 2)};
}
