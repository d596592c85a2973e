// SPDX-License-Identifier: MIT
#pragma once
// A label's caption fitted into the label's box and shaped once: it wraps
// where the box has room for more lines, otherwise the face narrows (down to
// three quarters of its width) and what still does not fit ends in an
// ellipsis. Nothing is ever placed outside the box.
#include <QFont>
#include <QGlyphRun>
#include <QList>
#include <QSizeF>
#include <QString>

class QPainter;

class CaptionLayout {
public:
    CaptionLayout() = default;
    CaptionLayout(const QString &caption, const QFont &font, QSizeF box, Qt::Alignment alignment);

    // Draws with the painter's pen, the box's top-left corner at origin.
    void draw(QPainter &painter, QPointF origin) const;
    // The lines as drawn, for inspection.
    const QStringList &lines() const { return lines_; }
    int stretch() const { return stretch_; }

    // The narrowest face used before the end of a caption is cut off.
    static constexpr int kNarrowestStretch = 75;

private:
    bool shapeOneLine(const QString &text, const QFont &font, QSizeF box, Qt::Alignment alignment);
    // The lines a caption is shown in, narrowing font if need be.
    QStringList fitLines(const QString &text, QFont &font, QSizeF box, int lineCount);
    void shapeLines(const QFont &font, qreal boxWidth, qreal lineSpacing, Qt::Alignment alignment);

    QList<QGlyphRun> runs_;
    QStringList lines_;
    int stretch_ = 100;
};
