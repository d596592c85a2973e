// SPDX-License-Identifier: MIT
#pragma once
// Which country a name let go at a point would be judged as, and the light
// tint that shows that country on the map while a name is dragged, or that
// briefly marks it after a wrong drop. The drop zones judge (the topmost one
// under the point, found by the window's own hit test); a mask of the map
// picture, one value per pixel, says which land is that country's. What
// changes on screen is marked on the window (Form::invalidate) and painted
// with the rest of the window's changes.
#include "mapplaces.h"

#include <QImage>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QTimer>
#include <array>
#include <map>

class Control;
class Form;
class QPainter;

class DropTarget : public QObject {
    Q_OBJECT
public:
    static constexpr int kCountries = 41;
    static constexpr int kFlashMs = 500;

    explicit DropTarget(Form &form, QObject *parent = nullptr);

    // The country (its position in the country list + 1) that a name let go
    // at this point would be judged as, when the point lies on land; 0 over
    // sea, over land of no quiz country, or where no zone takes it.
    int countryAt(QPoint twips) const;

    // While a name is dragged (or a pin steered to a point): tint the country
    // a drop at this point would go to. True when the tint changed; its area
    // is then marked on the window, which repaints it on its next change
    // (call Form::changed if nothing else changes).
    bool follow(QPoint twips);
    // The drag has ended: no tint. True when a tint was taken away.
    bool clear();
    // Marks a country for half a second (after a wrong drop there); the
    // window is told when the flash is over.
    void flash(int country);
    // Loads the masks and makes the tint of every country ahead of the first
    // drag, so no pointer move pays for that.
    void warmUp(qreal devicePixelRatio);

    const MapPlaces &places() const { return places_; }
    int tinted() const { return tinted_; }
    int flashing() const { return flashing_; }
    // The control the tint is painted over: the map picture.
    const Control *map() const { return map_; }
    // Paints the tint and the flash where they meet the exposed area (logical
    // pixels); the painter's origin is the window's.
    void paint(QPainter &painter, qreal devicePixelRatio, const QRect &exposed);
    // Where a country lies on the window, in twips (empty for 0).
    QRect countryRect(int country) const;

private:
    struct Mask {
        QImage values;  // Format_Indexed8, value = country + 1
        std::array<QRect, kCountries + 1> bounds{};  // mask pixels of each country
        int scale = 1;  // mask pixels per map pixel
    };
    bool prepare() const;
    const Mask *maskFor(qreal devicePixelRatio) const;
    const QImage &overlay(int country, bool flash, const Mask &mask, const QImage &picture);
    bool setTinted(int country);
    void touch(int country);

    Form &form_;
    MapPlaces places_;
    const Control *map_ = nullptr;
    mutable bool prepared_ = false;
    mutable Mask mask1x_, mask2x_;
    std::map<int, QImage> overlays_;  // key: country, flash and scale
    int tinted_ = 0;
    int flashing_ = 0;
    QTimer flashTimer_;
};
