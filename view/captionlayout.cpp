// SPDX-License-Identifier: MIT
#include "captionlayout.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextLayout>
#include <cmath>

namespace {

constexpr QChar kEllipsis(0x2026);

// No box shows more characters than it has pixels to draw them in; laying out
// the rest of a very long caption would cost time on every change for nothing.
QString boundedText(const QString &caption, QSizeF box, int lineCount)
{
    const qsizetype limit = qsizetype(std::ceil(box.width()) + 1) * lineCount * 2 + 64;
    QString text = caption;
    if (text.size() > limit) {
        qsizetype cut = limit;
        if (text.at(cut - 1).isHighSurrogate())
            --cut;
        text = text.left(cut) + kEllipsis;  // keeps the cut visible even if all of it fits
    }
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    return text;
}

struct Line {
    qsizetype start, length;
    qreal width;
};

// Breaks text into lines no wider than width where it can; words longer than a
// line stay whole unless anywhere is set.
std::vector<Line> breakLines(const QString &text, const QFont &font, qreal width, bool anywhere)
{
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(anywhere ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::WordWrap);
    layout.setTextOption(option);
    layout.setCacheEnabled(false);
    std::vector<Line> out;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        out.push_back({line.textStart(), line.textLength(), line.naturalTextWidth()});
    }
    layout.endLayout();
    return out;
}

bool fits(const std::vector<Line> &lines, int lineCount, qreal width)
{
    if (int(lines.size()) > lineCount)
        return false;
    for (const Line &l : lines)
        if (l.width > width + 0.01)
            return false;
    return true;
}

QString lineText(const QString &text, const Line &l)
{
    QString s = text.mid(l.start, l.length);
    while (!s.isEmpty() && (s.back().isSpace() || s.back() == QChar::LineSeparator))
        s.chop(1);
    return s;
}

// Where a line of this width starts in the box.
qreal alignedX(qreal width, qreal boxWidth, Qt::Alignment alignment)
{
    if (alignment & Qt::AlignHCenter)
        return (boxWidth - width) / 2;
    return alignment & Qt::AlignRight ? boxWidth - width : 0;
}

}  // namespace

CaptionLayout::CaptionLayout(const QString &caption, const QFont &baseFont, QSizeF box, Qt::Alignment alignment)
{
    if (caption.isEmpty() || box.width() <= 0 || box.height() <= 0)
        return;
    const qreal lineSpacing = QFontMetricsF(baseFont).lineSpacing();
    const int lineCount = qMax(1, int(box.height() / lineSpacing));
    const QString text = boundedText(caption, box, lineCount);
    if (lineCount == 1 && shapeOneLine(text, baseFont, box, alignment))
        return;
    QFont font = baseFont;
    lines_ = fitLines(text, font, box, lineCount);
    shapeLines(font, box.width(), lineSpacing, alignment);
}

QStringList CaptionLayout::fitLines(const QString &text, QFont &font, QSizeF box, int lineCount)
{
    const QFont baseFont = font;
    // A one-line box never wraps: the caption is measured whole.
    const qreal breakWidth = lineCount == 1 ? 1e9 : box.width();
    auto attempt = [&](int stretch) {
        // The face as asked for unless narrowed: an explicit 100 would make
        // the font matcher prefer a wider face than "Arial Narrow" maps to.
        font = baseFont;
        if (stretch < 100)
            font.setStretch(stretch);
        return breakLines(text, font, breakWidth, false);
    };
    std::vector<Line> lines = attempt(100);
    stretch_ = 100;
    if (!fits(lines, lineCount, box.width())) {
        // Narrow the face just enough, if three quarters is enough.
        const qreal natural = lineCount == 1 && !lines.empty() ? lines.front().width : 0;
        int stretch = natural > 0 ? qBound(kNarrowestStretch, int(100 * box.width() / natural), 99) : 95;
        for (;; stretch = qMax(kNarrowestStretch, stretch - (lineCount == 1 ? 1 : 5))) {
            lines = attempt(stretch);
            stretch_ = stretch;
            if (fits(lines, lineCount, box.width()) || stretch == kNarrowestStretch)
                break;
        }
    }
    QStringList shown;
    if (fits(lines, lineCount, box.width())) {
        for (const Line &l : lines)
            shown << lineText(text, l);
        return shown;
    }
    // The narrowest face is not enough: fill the lines above the last one,
    // breaking anywhere if need be, and end the last with an ellipsis.
    font.setStretch(kNarrowestStretch);
    lines = breakLines(text, font, box.width(), true);
    for (int i = 0; i + 1 < lineCount && i < int(lines.size()); ++i)
        shown << lineText(text, lines[i]);
    const qsizetype restStart = lineCount - 1 < int(lines.size()) ? lines[lineCount - 1].start : text.size();
    QString rest = text.mid(restStart);
    rest.replace(QChar::LineSeparator, QLatin1Char(' '));
    shown << QFontMetricsF(font).elidedText(rest, Qt::ElideRight, box.width());
    return shown;
}

// Shapes each line once; drawing replays the glyphs.
void CaptionLayout::shapeLines(const QFont &font, qreal boxWidth, qreal lineSpacing, Qt::Alignment alignment)
{
    qreal y = 0;
    for (const QString &s : std::as_const(lines_)) {
        QTextLayout layout(s, font);
        layout.setCacheEnabled(true);
        layout.beginLayout();
        QTextLine line = layout.createLine();
        if (line.isValid()) {
            line.setLineWidth(1e6);
            line.setPosition(QPointF(alignedX(line.naturalTextWidth(), boxWidth, alignment), y));
        }
        layout.endLayout();
        runs_ << layout.glyphRuns();
        y += lineSpacing;
    }
}

// Most captions are one line that fits as it is: measured and shaped at once.
bool CaptionLayout::shapeOneLine(const QString &text, const QFont &font, QSizeF box, Qt::Alignment alignment)
{
    if (text.contains(QChar::LineSeparator) || (!text.isEmpty() && text.back().isSpace()))
        return false;
    QTextLayout layout(text, font);
    layout.setCacheEnabled(true);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (!line.isValid()) {
        layout.endLayout();
        return false;
    }
    line.setLineWidth(1e6);
    const qreal w = line.naturalTextWidth();
    const bool fitting = w <= box.width() + 0.01;
    if (fitting)
        line.setPosition(QPointF(alignedX(w, box.width(), alignment), 0));
    layout.endLayout();
    if (!fitting)
        return false;
    runs_ = layout.glyphRuns();
    lines_ = QStringList{text};
    stretch_ = 100;
    return true;
}

void CaptionLayout::draw(QPainter &painter, QPointF origin) const
{
    for (const QGlyphRun &run : runs_)
        painter.drawGlyphRun(origin, run);
}
