// SPDX-License-Identifier: MIT
#include "mapplaces.h"

#include "files.h"
#include "form.h"
#include "form1layout.h"
#include "regions.h"

#include <QtMath>
#include <algorithm>
#include <climits>
#include <cmath>

namespace {

// The middles are looked for on a grid of this many map pixels.
constexpr int kGrid = 2;

// Two countries whose land lies this close (chamfer units, 2 a grid step:
// 8 map pixels) are neighbours across the strait between them.
constexpr int kStrait = 8;
// A Ctrl+arrow goes to a country whose centre lies within this many degrees
// of its way; a neighbour it goes to first, within a narrower angle.
constexpr double kWithin = 50, kNeighbourWithin = 35;
// How far, in twips, weighs as much as 45 degrees off the way: near for a
// neighbour, farther for the rest, so that direction counts ahead of distance.
constexpr double kNeighbourReach = 2000, kReach = 4000;

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
    std::vector<int> own, zoned, land;
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
    g.land.assign(size_t(g.w) * g.h, 0);
    const QRect visible = area();
    for (int gy = 0; gy < g.h; ++gy)
        for (int gx = 0; gx < g.w; ++gx) {
            const QPoint t = twipsOfGridPoint(gx, gy);
            if (!visible.contains(t))
                continue;
            const Control *hit = form_.hitTest(t);
            const int country = hit ? countryOfZone(*hit) : 0;
            g.zoned[g.at(gx, gy)] = country;
            g.land[g.at(gx, gy)] = mask_.isNull() ? country : mask_.pixelIndex(gx * kGrid, gy * kGrid);
            if (country && (mask_.isNull() || mask_.pixelIndex(gx * kGrid, gy * kGrid) == country))
                g.own[g.at(gx, gy)] = country;
        }
    return g;
}

namespace {

// The two sweeps of a chamfer distance transform over a w x h grid (2 a
// step, 3 a diagonal one): relax(x, y, neighbour x, neighbour y, weight)
// for each cell and the four neighbours already swept.
template <class Relax> void chamferSweeps(int w, int h, Relax relax)
{
    for (int gy = 0; gy < h; ++gy)
        for (int gx = 0; gx < w; ++gx) {
            relax(gx, gy, gx - 1, gy, 2);
            relax(gx, gy, gx - 1, gy - 1, 3);
            relax(gx, gy, gx, gy - 1, 2);
            relax(gx, gy, gx + 1, gy - 1, 3);
        }
    for (int gy = h - 1; gy >= 0; --gy)
        for (int gx = w - 1; gx >= 0; --gx) {
            relax(gx, gy, gx + 1, gy, 2);
            relax(gx, gy, gx + 1, gy + 1, 3);
            relax(gx, gy, gx, gy + 1, 2);
            relax(gx, gy, gx - 1, gy + 1, 3);
        }
}

// How far each point lies inside its country: the chamfer distance to the
// nearest point that is not the country's own.
std::vector<int> depthsInside(const std::vector<int> &own, int w, int h)
{
    std::vector<int> depth(own.size(), 0);
    for (size_t i = 0; i < own.size(); ++i)
        depth[i] = own[i] ? INT_MAX / 2 : 0;
    chamferSweeps(w, h, [&](int gx, int gy, int nx, int ny, int weight) {
        const size_t i = size_t(gy) * w + gx;
        if (!own[i])
            return;
        const bool inside = nx >= 0 && ny >= 0 && nx < w && ny < h;
        const int through = inside && own[size_t(ny) * w + nx] == own[i] ? depth[size_t(ny) * w + nx] : 0;
        depth[i] = std::min(depth[i], through + weight);
    });
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
    findCentres(g);
    findNeighbours(g);
    findJumps();
}

namespace {

// The land nearest each point, with its chamfer distance: a map of which
// country lies nearest, across sea too.
struct Nearest {
    std::vector<int> country, distance;
};

Nearest nearestLand(const std::vector<int> &land, int w, int h)
{
    Nearest n{land, std::vector<int>(land.size(), INT_MAX / 2)};
    for (size_t i = 0; i < land.size(); ++i)
        if (land[i])
            n.distance[i] = 0;
    chamferSweeps(w, h, [&](int gx, int gy, int nx, int ny, int weight) {
        if (nx < 0 || ny < 0 || nx >= w || ny >= h)
            return;
        const size_t i = size_t(gy) * w + gx, j = size_t(ny) * w + nx;
        if (n.distance[j] + weight < n.distance[i]) {
            n.distance[i] = n.distance[j] + weight;
            n.country[i] = n.country[j];
        }
    });
    return n;
}

}  // namespace

namespace {

// The own cell of a country nearest a point of the grid.
QPoint nearestCell(const std::vector<int> &cells, int w, int h, int country, QPointF to)
{
    QPoint best(-1, -1);
    double bestDistance = 1e300;
    for (int gy = 0; gy < h; ++gy)
        for (int gx = 0; gx < w; ++gx)
            if (cells[size_t(gy) * w + gx] == country) {
                const double d = std::hypot(gx - to.x(), gy - to.y());
                if (d < bestDistance)
                    bestDistance = d, best = {gx, gy};
            }
    return best;
}

}  // namespace

void MapPlaces::findCentres(const Grid &g) const
{
    const int n = layout::kItemCount;
    std::vector<double> sx(n + 1, 0), sy(n + 1, 0), count(n + 1, 0);
    for (int gy = 0; gy < g.h; ++gy)
        for (int gx = 0; gx < g.w; ++gx)
            if (const int c = g.land[g.at(gx, gy)]; c > 0 && c <= n)
                sx[c] += gx, sy[c] += gy, ++count[c];
    const QPoint origin = twipsOfGridPoint(0, 0), step = twipsOfGridPoint(1, 1) - origin;
    auto twips = [&](QPointF cell) {
        return QPointF(origin.x() + cell.x() * step.x(), origin.y() + cell.y() * step.y());
    };
    centres_.assign(n + 1, QPointF(-1, -1));
    for (int c = 1; c <= n; ++c) {
        if (!count[c] || middles_[c].x() < 0)
            continue;
        const QPointF centroid(sx[c] / count[c], sy[c] / count[c]);
        const QPoint cell = centroid.toPoint();
        if (cell.x() < g.w && cell.y() < g.h && g.own[g.at(cell.x(), cell.y())] == c) {
            // Halfway between the centre of its land and its middle: where an
            // atlas puts a long country (Norway, Italy) rather than its centroid.
            centres_[c] = (twips(centroid) + QPointF(middles_[c])) / 2;
        } else {
            // A crescent's centroid lies in its neighbour: its own land
            // nearest that point stands for it.
            const QPoint own = nearestCell(g.own, g.w, g.h, c, centroid);
            centres_[c] = own.x() >= 0 ? twips(own) : QPointF(middles_[c]);
        }
    }
}

void MapPlaces::findNeighbours(const Grid &g) const
{
    const int n = layout::kItemCount;
    // The gap between two countries' land, where their nearest-land areas meet.
    const Nearest near = nearestLand(g.land, g.w, g.h);
    std::vector<int> gap(size_t(n + 1) * (n + 1), INT_MAX);
    auto meet = [&](size_t i, size_t j) {
        const int a = near.country[i], b = near.country[j];
        if (a == b || a <= 0 || b <= 0 || a > n || b > n)
            return;
        const int across = near.distance[i] + near.distance[j] + 2;
        gap[size_t(a) * (n + 1) + b] = std::min(gap[size_t(a) * (n + 1) + b], across);
        gap[size_t(b) * (n + 1) + a] = gap[size_t(a) * (n + 1) + b];
    };
    for (int gy = 0; gy < g.h; ++gy)
        for (int gx = 0; gx < g.w; ++gx) {
            if (gx + 1 < g.w)
                meet(g.at(gx, gy), g.at(gx + 1, gy));
            if (gy + 1 < g.h)
                meet(g.at(gx, gy), g.at(gx, gy + 1));
        }
    // Neighbours share a border or a narrow strait; an island's nearest
    // country across the sea is its neighbour too.
    neighbours_.assign(gap.size(), false);
    for (int a = 1; a <= n; ++a) {
        int nearest = 0;
        for (int b = 1; b <= n; ++b) {
            const size_t ab = size_t(a) * (n + 1) + b;
            if (b == a || gap[ab] == INT_MAX)
                continue;
            if (gap[ab] <= kStrait)
                neighbours_[ab] = neighbours_[size_t(b) * (n + 1) + a] = true;
            if (!nearest || gap[ab] < gap[size_t(a) * (n + 1) + nearest])
                nearest = b;
        }
        if (nearest)
            neighbours_[size_t(a) * (n + 1) + nearest] = neighbours_[size_t(nearest) * (n + 1) + a] = true;
    }
}

bool MapPlaces::neighbours(int a, int b) const
{
    const size_t n = layout::kItemCount;
    return a > 0 && b > 0 && size_t(a) <= n && size_t(b) <= n && !neighbours_.empty()
           && neighbours_[size_t(a) * (n + 1) + b];
}

QPoint MapPlaces::middle(int country) const
{
    if (middles_.empty())
        findMiddles();
    return country > 0 && country < int(middles_.size()) ? middles_[country] : QPoint(-1, -1);
}

double MapPlaces::angleOff(QPointF origin, QPoint from, int country, Heading heading) const
{
    // The compass at the origin: the map's meridians meet at its pole.
    const QPointF pole(map_->Left + layout::kMapPoleX * map_->Width / picture_.width(),
                       map_->Top + layout::kMapPoleY * map_->Height / picture_.height());
    QPointF north = pole - origin;
    north /= std::hypot(north.x(), north.y());
    const QPointF east(-north.y(), north.x());
    const QPointF ways[] = {-east, east, north, -north};
    const QPointF way = ways[int(heading)], side(-way.y(), way.x());
    const QPointF v = centres_[country] - origin;
    const double along = QPointF::dotProduct(v, way), across = std::abs(QPointF::dotProduct(v, side));
    // The pin lands on the country's middle, which must lie ahead too.
    if (along <= 0 || QPointF::dotProduct(QPointF(middles_[country] - from), way) <= 0)
        return -1;
    return qRadiansToDegrees(std::atan2(across, along));
}

int MapPlaces::jumpFrom(int here, QPointF origin, QPoint from, Heading heading) const
{
    int best = 0;
    double bestScore = 1e300;
    for (int country = 1; country <= layout::kItemCount; ++country) {
        if (country == here || middles_[country].x() < 0 || centres_[country].x() < 0)
            continue;
        const double angle = angleOff(origin, from, country, heading);
        if (angle < 0 || angle > kWithin)
            continue;
        // A neighbour that way comes before any country beyond it.
        const QPointF v = centres_[country] - origin;
        const double distance = std::hypot(v.x(), v.y());
        const double score = neighbours(here, country) && angle <= kNeighbourWithin
                                 ? angle / 45 + distance / kNeighbourReach
                                 : 2 + angle / 45 + distance / kReach;
        if (score < bestScore) {
            bestScore = score;
            best = country;
        }
    }
    return best;
}

void MapPlaces::findJumps() const
{
    const int n = layout::kItemCount;
    jumps_.assign(size_t(n + 1) * 4, 0);
    for (int c = 1; c <= n; ++c)
        if (centres_[c].x() >= 0)
            for (int d = 0; d < 4; ++d)
                jumps_[size_t(c) * 4 + d] = jumpFrom(c, centres_[c], middles_[c], Heading(d));
    // A country no neighbour's arrow goes to (a small one between larger
    // ones: Luxembourg) takes the arrow of the neighbour that points most
    // nearly at it, where the country that arrow went to is reached from
    // another neighbour too; a listener then finds it beside its neighbours.
    auto reachedFromNeighbours = [&](int t) {
        int count = 0;
        for (int s = 1; s <= n; ++s)
            for (int d = 0; d < 4; ++d)
                count += jumps_[size_t(s) * 4 + d] == t && neighbours(s, t);
        return count;
    };
    for (int t = 1; t <= n; ++t) {
        if (centres_[t].x() < 0 || reachedFromNeighbours(t))
            continue;
        int bestFrom = 0, bestWay = 0;
        double bestAngle = kWithin;
        for (int s = 1; s <= n; ++s) {
            if (!neighbours(s, t) || centres_[s].x() < 0)
                continue;
            for (int d = 0; d < 4; ++d) {
                const int was = jumps_[size_t(s) * 4 + d];
                const double angle = angleOff(centres_[s], middles_[s], t, Heading(d));
                if (angle >= 0 && angle <= bestAngle && (!was || reachedFromNeighbours(was) > 1 || !neighbours(s, was)))
                    bestAngle = angle, bestFrom = s, bestWay = d;
            }
        }
        if (bestFrom)
            jumps_[size_t(bestFrom) * 4 + bestWay] = t;
    }
}

QPoint MapPlaces::nearest(QPoint from, Heading heading) const
{
    if (!ready())
        return {-1, -1};
    if (middles_.empty())
        findMiddles();
    // Ways are judged from the country's centre, which is all a listener
    // knows of where the pin is; off the countries, from the pin.
    const int here = at(from).country;
    const int to = here > 0 && centres_[here].x() >= 0 ? jumps_[size_t(here) * 4 + int(heading)]
                                                       : jumpFrom(0, QPointF(from), from, heading);
    return to ? middles_[to] : QPoint(-1, -1);
}

MapPlaces::Sector MapPlaces::sectorOf(QPoint twips) const
{
    const QRect a = area();
    if (a.isEmpty())
        return {};
    return {std::clamp(int(qint64(twips.y() - a.top()) * 3 / a.height()), 0, 2),
            std::clamp(int(qint64(twips.x() - a.left()) * 3 / a.width()), 0, 2)};
}
