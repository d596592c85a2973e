// SPDX-License-Identifier: MIT
#include "droptarget.h"

#include "control.h"
#include "form1layout.h"

#include <QPainter>
#include <algorithm>
#include <climits>

namespace {

// Light enough that the country's own colour and its borders still show.
constexpr QRgb kTint = qRgba(255, 255, 255, 120);
constexpr QRgb kFlash = qRgba(232, 48, 40, 130);

}  // namespace

DropTarget::DropTarget(const MapPlaces &places, QObject *parent) : QObject(parent), places_(places)
{
    flashTimer_.setSingleShot(true);
    flashTimer_.setInterval(kFlashMs);
    connect(&flashTimer_, &QTimer::timeout, this, [this] {
        touch(flashing_);
        flashing_ = 0;
    });
}

int DropTarget::countryAt(QPoint twips) const
{
    const MapPlaces::Place place = places_.at(twips);
    return place.land > 0 ? place.country : 0;
}

void DropTarget::prepare()
{
    places_.prepare();
    mask(1);
}

const DropTarget::Mask &DropTarget::mask(int scale) const
{
    Mask &m = scale > 1 ? mask2x_ : mask1x_;
    if (m.read)
        return m;
    m.read = true;
    m.scale = scale > 1 ? 2 : 1;
    m.values = layout::countryMask(m.scale);
    // The picture the mask belongs to, read as the view reads it; a mask that
    // does not fit it would tint the wrong land.
    const QImage picture = !map_ ? QImage() : m.scale == 2 ? map_->Picture.picture2x() : map_->Picture.picture();
    if (picture.isNull() || m.values.size() != picture.size()) {
        m.values = QImage();
        return m;
    }
    std::array<int, kCountries + 1> left, top, right, bottom;
    left.fill(INT_MAX);
    top.fill(INT_MAX);
    right.fill(-1);
    bottom.fill(-1);
    for (int y = 0; y < m.values.height(); ++y) {
        const uchar *row = m.values.constScanLine(y);
        for (int x = 0; x < m.values.width(); ++x) {
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
            m.bounds[v] = QRect(QPoint(left[v], top[v]), QPoint(right[v], bottom[v]));
    return m;
}

QRect DropTarget::countryRect(int country) const
{
    if (country <= 0 || country > kCountries || !map_)
        return {};
    const Mask &m = mask(1);
    const QRect b = m.bounds[country];
    if (m.values.isNull() || b.isEmpty())
        return {};
    // Mask pixels to twips: the picture is stretched over its control.
    const auto x = [&](int px) { return map_->Left + int(qint64(px) * map_->Width / m.values.width()); };
    const auto y = [&](int py) { return map_->Top + int(qint64(py) * map_->Height / m.values.height()); };
    return QRect(QPoint(x(b.left()), y(b.top())), QPoint(x(b.right() + 1) - 1, y(b.bottom() + 1) - 1));
}

void DropTarget::touch(int country)
{
    const QRect area = countryRect(country);
    if (!area.isEmpty())
        emit areaChanged(area);
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

// The tint of one country at the mask's resolution: its land lightened (or
// reddened for the flash), its borders left alone.
const QImage &DropTarget::tintOf(int country, bool flash, const Mask &mask)
{
    const int key = (country * 2 + (flash ? 1 : 0)) * 4 + mask.scale;
    const auto kept = std::find_if(tints_.begin(), tints_.end(), [key](const Tint &t) { return t.key == key; });
    if (kept != tints_.end()) {
        std::rotate(tints_.begin(), kept, kept + 1);  // the most recent first
        return tints_.front().image;
    }
    const QRect b = mask.bounds[country];
    QImage out(b.size(), QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    const QRgb premultiplied = qPremultiply(flash ? kFlash : kTint);
    const QImage picture = mask.scale == 2 ? map_->Picture.picture2x() : map_->Picture.picture();
    // Read in place where the picture is 32-bit already, as a decoded JPEG is.
    const bool direct = picture.format() == QImage::Format_RGB32 || picture.format() == QImage::Format_ARGB32;
    const QImage shown = direct ? picture : picture.copy(b).convertToFormat(QImage::Format_RGB32);
    const QPoint from = direct ? b.topLeft() : QPoint();
    for (int y = 0; y < b.height(); ++y) {
        const uchar *values = mask.values.constScanLine(b.top() + y) + b.left();
        const auto *under = reinterpret_cast<const QRgb *>(shown.constScanLine(from.y() + y)) + from.x();
        auto *dst = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < b.width(); ++x)
            // The borders are left as they are.
            if (values[x] == country && qGray(under[x]) >= layout::kBorderLineLightness)
                dst[x] = premultiplied;
    }
    out.setDevicePixelRatio(mask.scale);
    if (int(tints_.size()) >= kKeptTints)
        tints_.pop_back();
    tints_.insert(tints_.begin(), Tint{key, std::move(out)});
    return tints_.front().image;
}

void DropTarget::paint(QPainter &painter, const QRect &exposed)
{
    if ((!tinted_ && !flashing_) || !map_)
        return;
    // Device pixels a form pixel covers: the screen's scale and the window's zoom.
    const qreal devicePixelRatio =
        (painter.device() ? painter.device()->devicePixelRatioF() : 1.0) * painter.worldTransform().m11();
    const Mask *m = &mask(devicePixelRatio > 1.0 ? 2 : 1);
    if (m->values.isNull() && m->scale == 2)
        m = &mask(1);  // a sharper mask is missing: the tint is drawn from the plain one
    if (m->values.isNull())
        return;
    const QPointF origin(map_->Left / double(kTwipsPerPixel), map_->Top / double(kTwipsPerPixel));
    const QSizeF stretch(map_->Width / double(kTwipsPerPixel) / m->values.width(),
                         map_->Height / double(kTwipsPerPixel) / m->values.height());
    for (const auto &[country, flash] : {std::pair{tinted_, false}, std::pair{flashing_, true}}) {
        if (!country || m->bounds[country].isEmpty())
            continue;
        const QRect b = m->bounds[country];
        const QRectF at(origin + QPointF(b.left() * stretch.width(), b.top() * stretch.height()),
                        QSizeF(b.width() * stretch.width(), b.height() * stretch.height()));
        if (at.intersects(exposed))
            painter.drawImage(at, tintOf(country, flash, *m));
    }
}
