// SPDX-License-Identifier: MIT
#pragma once
// A picture held by a control or the window: the image as loaded, an optional
// double-resolution variant for high-DPI screens, and a hotspot for pictures
// used as pointers.
#include <QImage>
#include <QImageReader>
#include <QPoint>
#include <QString>
#include <future>
#include <memory>

struct StdPicture {
    QImage image;
    QImage image2x{};  // drawn instead of image where the screen has the pixels
    QPoint hotspot{-1, -1};  // -1: the centre
    // Pictures that the program does not need at once are read when first
    // used: from deferred in place of a null image, from deferred2x in place
    // of a null image2x, in the format named (empty: told by the content).
    // A picture already being read elsewhere (coming) is taken from there.
    // Copies share what has been read.
    QString deferred{};
    QString deferred2x{};
    QByteArray format{};
    struct Cache {
        QImage image, image2x;
        bool read = false, read2x = false;
        std::shared_future<QImage> coming;
    };
    mutable std::shared_ptr<Cache> cache = std::make_shared<Cache>();

    bool isNull() const { return image.isNull() && deferred.isEmpty(); }
    QPoint hotspotOrCentre() const
    {
        const QImage p = picture();
        return hotspot.x() >= 0 ? hotspot : QPoint(p.width() / 2, p.height() / 2);
    }
    // The picture, read now if it was deferred.
    QImage picture() const
    {
        if (!image.isNull() || deferred.isEmpty())
            return image;
        if (!cache->read) {
            cache->image = cache->coming.valid() ? cache->coming.get() : read(deferred, format);
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
            cache->image2x = read(deferred2x);  // its own format, told by its content
            cache->read2x = true;
        }
        return cache->image2x;
    }

    // Reads a picture file, in the format named or else as its content says.
    static QImage read(const QString &name, const QByteArray &format = {})
    {
        QImageReader reader(name, format);
        if (format.isEmpty())
            reader.setDecideFormatFromContent(true);
        return reader.read();
    }
};
