// SPDX-License-Identifier: MIT
// The country a dragged name would go to, as the player sees it: tinted on
// the map while dragging, flashed after a wrong drop, and always the country
// the drop zones will judge the drop against.
#include "files.h"
#include "assetfiles.h"
#include "viewharness.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QScreen>
#include <QThread>
#include <gtest/gtest.h>

namespace {

int indexOf(const char *country)
{
    for (int i = 0; i < int(layout::kMapLabels.size()); ++i)
        if (QLatin1String(layout::kMapLabels[i].country) == QLatin1String(country))
            return i;
    return -1;
}

class Tint : public ::testing::Test {
protected:
    void SetUp() override
    {
        h.open();
        mask = QImage(QStringLiteral(":/layout/countrymask.png"));
        ASSERT_EQ(mask.format(), QImage::Format_Indexed8);
        scale = view->devicePixelRatioF();
        view->show();
    }
    void send(QEvent::Type type, QPoint pixels) { h.mouse(type, pixels); }
    QImage shot() { return h.screen(); }
    QImage fresh() { return h.fresh(); }
    // The window pixel of the map picture's left edge (it starts left of the window).
    int mapLeft() const { return h.form->Image1.Left / kTwipsPerPixel; }

    // Window pixels (logical) of a country's land well away from its border.
    std::vector<QPoint> innerLand(int value) const
    {
        std::vector<QPoint> out;
        for (int y = 3; y < mask.height() - 3; ++y)
            for (int x = 3; x < mask.width() - 3; ++x) {
                bool inner = true;
                for (int d = -3; d <= 3 && inner; ++d)
                    inner = mask.pixelIndex(x + d, y) == value && mask.pixelIndex(x, y + d) == value;
                if (inner && x + mapLeft() >= 0)
                    out.emplace_back(x + mapLeft(), y);
            }
        return out;
    }
    // A window pixel deep in a country's land where a drop is judged as it.
    QPoint landOf(const char *country)
    {
        const int value = indexOf(country) + 1;
        std::vector<QPoint> candidates;
        for (const QPoint &p : innerLand(value))
            if (h.window->places().at(p * kTwipsPerPixel + QPoint(7, 7)).country == value)
                candidates.push_back(p);
        return candidates.empty() ? QPoint(-1, -1) : candidates[candidates.size() / 2];
    }
    // Share of the points whose colour differs between two screenshots.
    double changed(const QImage &a, const QImage &b, const std::vector<QPoint> &points) const
    {
        long n = 0;
        for (const QPoint &p : points) {
            const QPoint d = (QPointF(p) * scale).toPoint();
            n += a.pixel(d) != b.pixel(d);
        }
        return points.empty() ? 0.0 : double(n) / points.size();
    }
    // Share of the points that got lighter and kept their hue family.
    double lighter(const QImage &a, const QImage &b, const std::vector<QPoint> &points) const
    {
        long n = 0;
        for (const QPoint &p : points) {
            const QPoint d = (QPointF(p) * scale).toPoint();
            n += QColor(b.pixel(d)).lightness() > QColor(a.pixel(d)).lightness() + 8;
        }
        return double(n) / points.size();
    }

    ViewHarness h;
    FormView *&view = h.view;
    QImage mask;
    qreal scale = 1;
};

TEST_F(Tint, TintedCountryIsTheOneTheDropZonesJudge)
{
    DropTarget &target = h.window->dropLight();
    const MapPlaces &places = h.window->places();
    long tinted = 0, sea = 0;
    for (int y = 0; y < 8235; y += 45) {
        for (int x = 0; x < 8835; x += 45) {
            // The region on top decides: the highest index containing the point.
            int judged = 0;
            for (int r = layout::kRegionCount - 1; r >= 0 && !judged; --r) {
                const auto &reg = layout::kRegions[r];
                if (QRect(reg.left, reg.top, reg.width, reg.height).contains(x, y))
                    judged = indexOf(reg.tag) + 1;
            }
            ASSERT_EQ(places.at({x, y}).country, judged) << x << "," << y;
            const int land = mask.pixelIndex((x - h.form->Image1.Left) / kTwipsPerPixel, y / kTwipsPerPixel);
            const int shown = target.countryAt({x, y});
            EXPECT_EQ(shown, land ? judged : 0) << x << "," << y;
            tinted += shown != 0;
            sea += judged && !land;
        }
    }
    EXPECT_GT(tinted, 10000);
    EXPECT_GT(sea, 100) << "zones reaching over the sea tint nothing there";
    EXPECT_EQ(target.countryAt({-500, 100}), 0);
    EXPECT_EQ(target.countryAt({10000, 3000}), 0) << "the panel";
}

TEST_F(Tint, DraggingANameTintsTheCountryItWouldGoTo)
{
    Form1 &f = *h.form;
    const int germany = indexOf("Germany") + 1, france = indexOf("France") + 1;
    const std::vector<QPoint> germanLand = innerLand(germany), frenchLand = innerLand(france);
    const std::vector<QPoint> seaPoints = innerLand(0);
    ASSERT_GT(germanLand.size(), 1000u);
    const QImage before = shot();

    const QPoint from = px(f.labels(12).rect().center());
    send(QEvent::MouseButtonPress, from);
    send(QEvent::MouseMove, from + QPoint(3, 0));
    const QPoint overGermany = landOf("Germany");
    ASSERT_EQ(mask.pixelIndex(overGermany.x() - mapLeft(), overGermany.y()), germany);
    QApplication::processEvents();
    QRegion painted;
    struct Spy : QObject {
        QRegion *region;
        bool eventFilter(QObject *, QEvent *e) override
        {
            if (e->type() == QEvent::Paint)
                *region += static_cast<QPaintEvent *>(e)->region();
            return false;
        }
    } spy;
    spy.region = &painted;
    view->installEventFilter(&spy);
    send(QEvent::MouseMove, overGermany);
    EXPECT_EQ(h.window->dropLight().tinted(), germany);
    const QImage overG = shot();
    view->removeEventFilter(&spy);
    EXPECT_EQ(overG, fresh()) << "no stale pixels";
    const QRect germanBox = FormView::toFormPixels(h.window->dropLight().countryRect(germany)).toAlignedRect();
    EXPECT_TRUE(germanBox.adjusted(-2, -2, 2, 2).contains(painted.boundingRect())) << "only Germany's box repaints";
    EXPECT_GE(lighter(before, overG, germanLand), 0.95) << "Germany's land is lit up";
    EXPECT_EQ(changed(before, overG, frenchLand), 0.0) << "France is left alone";
    EXPECT_EQ(changed(before, overG, seaPoints), 0.0);
    // Borders stay dark: the tint leaves the border lines as they are.
    long dark = 0, darkAfter = 0;
    for (int y = 260; y < 370; ++y)
        for (int x = 250; x < 320; ++x) {
            const QPoint d = (QPointF(x, y) * scale).toPoint();
            if (qGray(before.pixel(d)) < 110) {
                ++dark;
                darkAfter += qGray(overG.pixel(d)) < 130;
            }
        }
    EXPECT_GT(dark, 50);
    EXPECT_GE(darkAfter, dark * 9 / 10) << "Germany's borders still show";

    // Over open sea nothing is tinted.
    send(QEvent::MouseMove, {20, 300});
    EXPECT_EQ(h.window->dropLight().tinted(), 0);
    EXPECT_EQ(changed(before, shot(), germanLand), 0.0);

    // Let go over France: a wrong drop, and France flashes for half a second.
    const QPoint overFrance = landOf("France");
    send(QEvent::MouseMove, overFrance);
    EXPECT_EQ(h.window->dropLight().tinted(), france);
    send(QEvent::MouseButtonRelease, overFrance);
    EXPECT_TRUE(f.labels(12).Visible) << "a wrong drop";
    EXPECT_EQ(h.window->dropLight().tinted(), 0);
    EXPECT_EQ(h.window->dropLight().flashing(), france);
    const QImage flashed = shot();
    EXPECT_GE(changed(before, flashed, frenchLand), 0.95) << "France flashes";
    long redder = 0;
    for (const QPoint &p : frenchLand) {
        const QPoint d = (QPointF(p) * scale).toPoint();
        redder += qRed(flashed.pixel(d)) - qGreen(flashed.pixel(d)) > qRed(before.pixel(d)) - qGreen(before.pixel(d));
    }
    EXPECT_GE(redder, long(frenchLand.size() * 0.95));
    EXPECT_EQ(changed(before, flashed, germanLand), 0.0);
    QElapsedTimer clock;
    clock.start();
    while (h.window->dropLight().flashing() != 0 && clock.elapsed() < 2000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    EXPECT_GE(clock.elapsed(), 350);
    EXPECT_LE(clock.elapsed(), 1500);
    EXPECT_EQ(changed(before, shot(), frenchLand), 0.0) << "the flash is over";
}

TEST_F(Tint, ACorrectDropFlashesNothing)
{
    Form1 &f = *h.form;
    const QPoint from = px(f.labels(12).rect().center());
    const QPoint overGermany = landOf("Germany");
    send(QEvent::MouseButtonPress, from);
    send(QEvent::MouseMove, from + QPoint(3, 0));
    send(QEvent::MouseMove, overGermany);
    send(QEvent::MouseButtonRelease, overGermany);
    EXPECT_FALSE(f.labels(12).Visible);
    EXPECT_EQ(h.window->dropLight().tinted(), 0);
    EXPECT_EQ(h.window->dropLight().flashing(), 0);
}

// Run with QT_SCALE_FACTOR=2 as its own test: the pointers and the tint at
// the screen's scale.
TEST_F(Tint, HiDpiPointersAndTint)
{
    if (qEnvironmentVariable("QT_SCALE_FACTOR") != QLatin1String("2"))
        GTEST_SKIP() << "run with QT_SCALE_FACTOR=2";
    ASSERT_EQ(scale, 2.0) << "the scale asked for did not take effect";
    Form1 &f = *h.form;
    const QPoint from = px(f.labels(12).rect().center());
    send(QEvent::MouseButtonPress, from);
    send(QEvent::MouseMove, from + QPoint(3, 0));
    const QCursor pin = view->cursor();
    ASSERT_EQ(pin.shape(), Qt::BitmapCursor);
    const QPixmap pixmap = pin.pixmap();
    EXPECT_EQ(pixmap.size(), QSize(64, 64)) << "drawn at twice the size";
    EXPECT_EQ(pixmap.devicePixelRatio(), 2.0);
    EXPECT_EQ(pin.hotSpot(), QPoint(29, 29)) << "the needle's tip, in the pointer's logical pixels";
    // The needle's tip is where the hotspot lands on the device pixels too.
    const QImage big = pixmap.toImage();
    const QImage small = f.Image2.Picture.picture().convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(qAlpha(big.pixel(58, 58)) > 0, qAlpha(small.pixel(29, 29)) > 0);

    const std::vector<QPoint> germanLand = innerLand(indexOf("Germany") + 1);
    send(QEvent::MouseButtonRelease, from);
    const QImage before = fresh();
    ASSERT_EQ(before.size(), QSize(1802, 1094));
    send(QEvent::MouseButtonPress, from);
    send(QEvent::MouseMove, from + QPoint(3, 0));
    send(QEvent::MouseMove, landOf("Germany"));
    const QImage lit = fresh();
    EXPECT_GE(lighter(before, lit, germanLand), 0.95);
    send(QEvent::MouseButtonRelease, from);

    // Sharp: lit exactly where the double-resolution map shows Germany's
    // land, device pixel for device pixel, not in blocks of the plain mask.
    const QImage mask2x = layout::countryMask(2);
    const QImage map2x = f.Image1.Picture.picture2x();
    ASSERT_EQ(mask2x.size(), map2x.size());
    const int germany = indexOf("Germany") + 1;
    const int left = -2 * mapLeft();  // device pixels of the map left of the window
    long own = 0, wrong = 0;
    for (int y = 0; y < lit.height(); ++y)
        for (int x = 0; x < lit.width() && x + left < mask2x.width(); ++x) {
            const bool land = mask2x.pixelIndex(x + left, y) == germany;
            if (qGray(map2x.pixel(x + left, y)) < 120)
                continue;  // border lines stay as they are
            const bool brighter = QColor(lit.pixel(x, y)).lightness() > QColor(before.pixel(x, y)).lightness() + 8;
            own += land;
            wrong += brighter != land;
        }
    ASSERT_GT(own, 10000);
    EXPECT_LT(double(wrong) / own, 0.001)
        << wrong << " device pixels of " << own << " lit otherwise than the map shows";

    f.MouseIcon = LoadPicture(asset("HAND-M.CUR"));
    ASSERT_EQ(f.MouseIcon.image.size(), QSize(32, 32));
    f.MousePointer = vbCustom;
    f.changed();
    const QCursor hand = view->cursor();
    EXPECT_EQ(hand.pixmap().size(), QSize(64, 64)) << "the hand pointer at scale 2";
    EXPECT_EQ(hand.hotSpot(), f.MouseIcon.hotspot) << "the finger tip, in logical pixels";
}

}  // namespace
