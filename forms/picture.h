// SPDX-License-Identifier: MIT
#pragma once
// A picture held by a control or the window: the image as loaded, an optional
// double-resolution variant for high-DPI screens, and a hotspot for pictures
// used as pointers.
#include <QImage>
#include <QImageReader>
#include <QPoint>
#include <QString>
#include <memory>

struct StdPicture {
    QImage image;
    QImage image2x{};  // drawn instead of image where the screen has the pixels
    QPoint hotspot{-1, -1};  // -1: the centre
    // Pictures that the first frame does not need are read when first used:
    // from deferred in place of a null image, from deferred2x in place of a
    // null image2x. Copies share what has been read.
    QString deferred{};
    QString deferred2x{};
    struct Cache {
        QImage image, image2x;
        bool read = false, read2x = false;
    };
    mutable std::shared_ptr<Cache> cache = std::make_shared<Cache>();

    bool isNull() const { return image.isNull() && deferred.isEmpty(); }
    QPoint hotspotOrCentre() const
    {
        return hotspot.x() >= 0 ? hotspot : QPoint(image.width() / 2, image.height() / 2);
    }
    // The picture, read now if it was deferred.
    QImage picture() const
    {
        if (!image.isNull() || deferred.isEmpty())
            return image;
        if (!cache->read) {
            cache->image = readDeferred(deferred);
            cache->read = true;
        }
        return cache->image;
    }
    // The double-resolution variant, read now if it was deferred; null if none.
    QImage picture2x() const
    {
        if (!image2x.isNull() || deferred2x.isEmpty())
            return image2x;
        if (!cache->read2x) {
            cache->image2x = readDeferred(deferred2x);
            cache->read2x = true;
        }
        return cache->image2x;
    }

private:
    static QImage readDeferred(const QString &name)
    {
        QImageReader reader(name);
        reader.setDecideFormatFromContent(true);
        return reader.read();
    }
};
