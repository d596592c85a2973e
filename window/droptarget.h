// SPDX-License-Identifier: MIT
#pragma once
// The light tint that shows, while a name is dragged, the country a drop at
// the pointer would be judged as, and that briefly marks it after a wrong
// drop. Which country that is, MapPlaces says (the drop zones judge); a mask
// of the map picture, one value per pixel, says which land is that
// country's, at the resolution the screen shows the map in. What changes on
// screen is told as an area (areaChanged) for the window to repaint.
#include "mapplaces.h"
#include "regions.h"

#include <QImage>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QTimer>
#include <array>
#include <vector>

class Control;
class QPainter;

class DropTarget : public QObject {
    Q_OBJECT
public:
    static constexpr int kCountries = layout::kItemCount;
    static constexpr int kFlashMs = 500;
    // Tints are made as the pointer needs them; this many are kept.
    static constexpr int kKeptTints = 8;

    explicit DropTarget(const MapPlaces &places, QObject *parent = nullptr);

    // The country (its position in the country list + 1) that a name let go
    // at this point would be judged as, when the point lies on land; 0 over
    // sea, over land of no quiz country, or where no zone takes it.
    int countryAt(QPoint twips) const;

    // While a name is dragged (or a pin steered to a point): tint the country
    // a drop at this point would go to. True when the tint changed (its
    // area has then been told).
    bool follow(QPoint twips);
    // The drag has ended: no tint. True when a tint was taken away.
    bool clear();
    // Marks a country for half a second (after a wrong drop there).
    void flash(int country);
    // Reads what a drag needs (the map's country mask), unless it has been
    // read: called when a drag may begin, so that its first step is quick.
    void prepare();

    int tinted() const { return tinted_; }
    int flashing() const { return flashing_; }
    // The control the tint is painted over: the map picture.
    const Control *map() const { return map_; }
    // Paints the tint and the flash where they meet the exposed area (logical
    // pixels), at the painter's device's resolution; the painter's origin is
    // the window's.
    void paint(QPainter &painter, const QRect &exposed);
    // Where a country lies on the window, in twips (empty for 0).
    QRect countryRect(int country) const;

signals:
    // An area of the window, in twips, shows differently now.
    void areaChanged(const QRect &twips);

private:
    struct Mask {
        bool read = false;
        QImage values;  // Format_Indexed8, value = country + 1; null when there is none that fits
        std::array<QRect, kCountries + 1> bounds{};  // mask pixels of each country
        int scale = 1;  // mask pixels per map pixel
    };
    struct Tint {
        int key;
        QImage image;
    };
    // The mask for the map picture at this scale (1 or 2), read when first
    // asked for; null values when it does not fit the picture.
    const Mask &mask(int scale) const;
    const QImage &tintOf(int country, bool flash, const Mask &mask);
    bool setTinted(int country);
    void touch(int country);

    const MapPlaces &places_;
    const Control *const map_ = places_.map();  // after places_
    mutable Mask mask1x_, mask2x_;
    std::vector<Tint> tints_;  // most recently used first
    int tinted_ = 0;
    int flashing_ = 0;
    QTimer flashTimer_;
};
