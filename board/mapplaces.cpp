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

// Map pixels this dark are border and coast lines.
constexpr int kLineLightness = 120;
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
            if (qGray(c) < kLineLightness)
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

void MapPlaces::findMiddles() const
{
    middles_.assign(layout::kItemCount + 1, QPoint(-1, -1));
    if (!ready())
        return;
    const int w = (picture_.width() + kGrid - 1) / kGrid, h = (picture_.height() + kGrid - 1) / kGrid;
    const QRect visible = area();
    auto twipsOf = [&](int gx, int gy) {
        // The middle of the map pixel, in the window.
        const int px = gx * kGrid, py = gy * kGrid;
        return QPoint(map_->Left + int((2 * qint64(px) + 1) * map_->Width / (2 * picture_.width())),
                      map_->Top + int((2 * qint64(py) + 1) * map_->Height / (2 * picture_.height())));
    };
    // Each grid point is a country's own where its zone is on top and the
    // map shows its land; where the mask is missing, the zone alone decides.
    std::vector<int> own(size_t(w) * h, 0), zoned(size_t(w) * h, 0);
    for (int gy = 0; gy < h; ++gy)
        for (int gx = 0; gx < w; ++gx) {
            const QPoint t = twipsOf(gx, gy);
            if (!visible.contains(t))
                continue;
            const Control *hit = form_.hitTest(t);
            const int country = hit ? countryOfZone(*hit) : 0;
            zoned[size_t(gy) * w + gx] = country;
            if (country && (mask_.isNull() || mask_.pixelIndex(gx * kGrid, gy * kGrid) == country))
                own[size_t(gy) * w + gx] = country;
        }
    // How far each point lies inside its country (chamfer distance to the
    // nearest point that is not the country's own).
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
    // The deepest point of each country, the one nearest its centre among equals.
    for (int country = 1; country <= layout::kItemCount; ++country) {
        const std::vector<int> &cells =
            std::any_of(own.begin(), own.end(), [&](int c) { return c == country; }) ? own : zoned;
        qint64 sx = 0, sy = 0, n = 0;
        int deepest = -1;
        for (int gy = 0; gy < h; ++gy)
            for (int gx = 0; gx < w; ++gx)
                if (cells[size_t(gy) * w + gx] == country) {
                    sx += gx, sy += gy, ++n;
                    deepest = std::max(deepest, &cells == &own ? depth[size_t(gy) * w + gx] : 0);
                }
        if (!n)
            continue;
        const double cx = double(sx) / n, cy = double(sy) / n;
        double best = 1e300;
        for (int gy = 0; gy < h; ++gy)
            for (int gx = 0; gx < w; ++gx) {
                const size_t i = size_t(gy) * w + gx;
                if (cells[i] != country || (&cells == &own && depth[i] != deepest))
                    continue;
                const double d = (gx - cx) * (gx - cx) + (gy - cy) * (gy - cy);
                if (d < best) {
                    best = d;
                    middles_[country] = twipsOf(gx, gy);
                }
            }
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

QString MapPlaces::partOf(QPoint twips) const
{
    const QRect a = area();
    if (a.isEmpty())
        return QString();
    const int col = std::clamp(int(qint64(twips.x() - a.left()) * 3 / a.width()), 0, 2);
    const int row = std::clamp(int(qint64(twips.y() - a.top()) * 3 / a.height()), 0, 2);
    static const char *const rows[] = {"north", "", "south"};
    static const char *const cols[] = {"west", "", "east"};
    if (row == 1 && col == 1)
        return QStringLiteral("centre of the map");
    QString part = QString::fromLatin1(rows[row]);
    if (col != 1)
        part += (part.isEmpty() ? QString() : QStringLiteral("-")) + QString::fromLatin1(cols[col]);
    return part + QStringLiteral(" of the map");
}
