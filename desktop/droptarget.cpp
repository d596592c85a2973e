// SPDX-License-Identifier: MIT
#include "droptarget.h"

#include "form.h"
#include "form1layout.h"

#include <QPainter>
#include <algorithm>
#include <climits>

namespace {

// Light enough that the country's own colour and its borders still show.
constexpr QRgb kTint = qRgba(255, 255, 255, 120);
constexpr QRgb kFlash = qRgba(232, 48, 40, 130);
// Map pixels this dark are border lines: they are left as they are.
constexpr int kBorderLightness = 120;

}  // namespace

DropTarget::DropTarget(Form &form, QObject *parent) : QObject(parent), form_(form), places_(form)
{
    for (const Control *c : form_.Controls())
        if (c->Name == QLatin1String("Image1") && c->Index < 0)
            map_ = c;
    flashTimer_.setSingleShot(true);
    flashTimer_.setInterval(kFlashMs);
    connect(&flashTimer_, &QTimer::timeout, this, [this] {
        touch(flashing_);
        flashing_ = 0;
        emit form_.changed();
    });
}

int DropTarget::countryAt(QPoint twips) const
{
    const MapPlaces::Place place = places_.at(twips);
    return place.land > 0 ? place.country : 0;
}

bool DropTarget::prepare() const
{
    if (prepared_)
        return !mask1x_.values.isNull();
    prepared_ = true;
    auto measure = [](Mask &mask, int scale) {
        mask.values = layout::CountryMask(scale);
        mask.scale = scale;
        std::array<int, kCountries + 1> left, top, right, bottom;
        left.fill(INT_MAX);
        top.fill(INT_MAX);
        right.fill(-1);
        bottom.fill(-1);
        for (int y = 0; y < mask.values.height(); ++y) {
            const uchar *row = mask.values.constScanLine(y);
            for (int x = 0; x < mask.values.width(); ++x) {
                const int v = row[x];
                if (v == 0 || v > kCountries)
                    continue;
                left[v] = std::min(left[v], x);
                right[v] = std::max(right[v], x);
                top[v] = std::min(top[v], y);
                bottom[v] = std::max(bottom[v], y);
            }
        }
        for (int v = 1; v <= kCountries; ++v)
            if (right[v] >= 0)
                mask.bounds[v] = QRect(QPoint(left[v], top[v]), QPoint(right[v], bottom[v]));
    };
    measure(mask1x_, 1);
    measure(mask2x_, 2);
    if (mask1x_.values.isNull() || !map_ || map_->Picture.image.size() != mask1x_.values.size())
        mask1x_.values = QImage();  // a mask that does not fit the picture would tint the wrong land
    if (mask1x_.values.isNull() || map_->Picture.image2x.size() != mask2x_.values.size())
        mask2x_.values = QImage();
    return !mask1x_.values.isNull();
}

const DropTarget::Mask *DropTarget::maskFor(qreal devicePixelRatio) const
{
    if (!prepare())
        return nullptr;
    if (devicePixelRatio > 1.0 && !mask2x_.values.isNull())
        return &mask2x_;
    return &mask1x_;
}

QRect DropTarget::countryRect(int country) const
{
    if (country <= 0 || country > kCountries || !map_ || !prepare())
        return {};
    const QRect b = mask1x_.bounds[country];
    if (b.isEmpty())
        return {};
    // One map pixel is 15 twips; the map's left edge lies at -60 twips.
    return QRect(map_->Left + b.left() * kTwipsPerPixel, map_->Top + b.top() * kTwipsPerPixel,
                 b.width() * kTwipsPerPixel, b.height() * kTwipsPerPixel);
}

void DropTarget::touch(int country)
{
    const QRect area = countryRect(country);
    if (!area.isEmpty())
        form_.invalidate(area);
}

bool DropTarget::setTinted(int country)
{
    if (country == tinted_)
        return false;
    touch(tinted_);
    tinted_ = country;
    touch(tinted_);
    return true;
}

bool DropTarget::follow(QPoint twips)
{
    return setTinted(countryAt(twips));
}

bool DropTarget::clear()
{
    return setTinted(0);
}

void DropTarget::flash(int country)
{
    if (country <= 0 || country > kCountries)
        return;
    touch(flashing_);
    flashing_ = country;
    touch(flashing_);
    flashTimer_.start();
}

const QImage &DropTarget::overlay(int country, bool flash, const Mask &mask, const QImage &picture)
{
    const int key = (country * 2 + (flash ? 1 : 0)) * 4 + mask.scale;
    auto it = overlays_.find(key);
    if (it != overlays_.end())
        return it->second;
    const QRect b = mask.bounds[country];
    QImage out(b.size(), QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    const QRgb colour = flash ? kFlash : kTint;
    const QRgb premultiplied = qPremultiply(colour);
    const QImage shown =
        picture.size() == mask.values.size() ? picture.copy(b).convertToFormat(QImage::Format_RGB32) : QImage();
    for (int y = 0; y < b.height(); ++y) {
        const uchar *values = mask.values.constScanLine(b.top() + y) + b.left();
        const auto *under = shown.isNull() ? nullptr : reinterpret_cast<const QRgb *>(shown.constScanLine(y));
        auto *dst = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < b.width(); ++x) {
            if (values[x] == country && !(under && qGray(under[x]) < kBorderLightness))
                dst[x] = premultiplied;
        }
    }
    out.setDevicePixelRatio(mask.scale);
    return overlays_.emplace(key, std::move(out)).first->second;
}

void DropTarget::warmUp(qreal devicePixelRatio)
{
    const Mask *mask = maskFor(devicePixelRatio);
    if (!mask || !map_)
        return;
    const QImage &picture = mask->scale == 2 ? map_->Picture.image2x : map_->Picture.image;
    for (int country = 1; country <= kCountries; ++country)
        if (!mask->bounds[country].isEmpty())
            overlay(country, false, *mask, picture);
}

void DropTarget::paint(QPainter &painter, qreal devicePixelRatio, const QRect &exposed)
{
    if (!tinted_ && !flashing_)
        return;
    const Mask *mask = maskFor(devicePixelRatio);
    if (!mask || !map_)
        return;
    const QImage &picture = mask->scale == 2 ? map_->Picture.image2x : map_->Picture.image;
    const QPointF origin(map_->Left / double(kTwipsPerPixel), map_->Top / double(kTwipsPerPixel));
    for (const auto &[country, flash] : {std::pair{tinted_, false}, std::pair{flashing_, true}}) {
        if (!country || mask->bounds[country].isEmpty())
            continue;
        const QRect b = mask->bounds[country];
        const QPointF at = origin + QPointF(b.topLeft()) / mask->scale;
        if (!QRectF(at, QSizeF(b.size()) / mask->scale).intersects(exposed))
            continue;
        painter.drawImage(at, overlay(country, flash, *mask, picture));
    }
}
