#pragma once
// A picture held by a control or the window: the image as loaded, an optional
// double-resolution variant for high-DPI screens, and a hotspot for pictures
// used as pointers.
#include <QImage>
#include <QPoint>

struct StdPicture {
    QImage image;
    QImage image2x;           // drawn instead of image where the screen has the pixels
    QPoint hotspot{-1, -1};   // -1: the centre

    bool isNull() const { return image.isNull(); }
    QPoint hotspotOrCentre() const
    {
        return hotspot.x() >= 0 ? hotspot : QPoint(image.width() / 2, image.height() / 2);
    }
};
