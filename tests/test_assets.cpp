// SPDX-License-Identifier: MIT
// The shipped pictures, cursor and example skin, as files.
#include <QApplication>
#include <QColor>
#include "assetfiles.h"

#include <QFile>
#include <QImage>
#include <QPushButton>
#include <QtEndian>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

// The colour depth of each image of a Windows .ico/.cur file, as stored.
QList<int> iconBitCounts(const QByteArray &file)
{
    QList<int> out;
    if (file.size() < 6)
        return out;
    const uchar *d = reinterpret_cast<const uchar *>(file.constData());
    const int count = qFromLittleEndian<quint16>(d + 4);
    for (int i = 0; i < count; ++i) {
        const int at = 6 + 16 * i;
        if (at + 16 > file.size())
            break;
        const quint32 offset = qFromLittleEndian<quint32>(d + at + 12);
        if (qint64(offset) + 16 > file.size())
            break;
        out << qFromLittleEndian<quint16>(d + offset + 14);
    }
    return out;
}

TEST(Pictures, DragIconAndHandCursor)
{
    // Push-pin: 8-bit icon, transparent background, needle tip at (29, 29).
    EXPECT_EQ(iconBitCounts(readAll(asset("pushpin.ico"))), QList<int>{8});
    const QImage pin(asset("pushpin.ico"));
    ASSERT_FALSE(pin.isNull());
    EXPECT_EQ(pin.size(), QSize(32, 32));
    for (const QPoint p : {QPoint(0, 0), QPoint(31, 0), QPoint(0, 31), QPoint(31, 31)})
        EXPECT_EQ(qAlpha(pin.pixel(p)), 0) << p.x() << "," << p.y();
    EXPECT_EQ(qAlpha(pin.pixel(29, 29)), 255) << "needle tip";
    EXPECT_EQ(qAlpha(pin.pixel(28, 28)), 255);
    for (const QPoint p : {QPoint(30, 30), QPoint(30, 29), QPoint(29, 30)})
        EXPECT_EQ(qAlpha(pin.pixel(p)), 0) << "past the tip at " << p.x() << "," << p.y();
    const QColor tip = pin.pixelColor(29, 29);
    EXPECT_LT(std::max({tip.red(), tip.green(), tip.blue()}) - std::min({tip.red(), tip.green(), tip.blue()}), 30)
        << "the needle is grey";
    const QColor head = pin.pixelColor(10, 12);
    EXPECT_GT(head.blue(), head.red() + 60) << "the head is blue";

    // Hand cursor: a .cur whose hotspot sits on the fingertip.
    const QByteArray cur = readAll(asset("HAND-M.CUR"));
    ASSERT_GE(cur.size(), 22);
    EXPECT_EQ(qFromLittleEndian<quint16>(cur.constData() + 2), 2) << "cursor resource type";
    const int hx = qFromLittleEndian<quint16>(cur.constData() + 10);
    const int hy = qFromLittleEndian<quint16>(cur.constData() + 12);
    const QImage hand(asset("HAND-M.CUR"));
    ASSERT_FALSE(hand.isNull());
    EXPECT_EQ(hand.size(), QSize(32, 32));
    ASSERT_TRUE(hand.rect().contains(hx, hy));
    EXPECT_EQ(qAlpha(hand.pixel(hx, hy)), 255) << "hotspot on the hand";
    int top = -1;
    for (int y = 0; y < 32 && top < 0; ++y)
        for (int x = 0; x < 32; ++x)
            if (qAlpha(hand.pixel(x, y)) > 0) {
                top = y;
                break;
            }
    EXPECT_EQ(hy, top) << "hotspot at the fingertip, the topmost point";
    int white = 0, black = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const QRgb p = hand.pixel(x, y);
            if (qAlpha(p) == 255 && p == qRgb(255, 255, 255))
                ++white;
            else if (qAlpha(p) == 255 && p == qRgb(0, 0, 0))
                ++black;
        }
    EXPECT_GT(white, 100) << "a white hand";
    EXPECT_GT(black, 50) << "with a black outline";
}

TEST(Pictures, PanelStripAndProgramIcon)
{
    const QImage panel(asset("panel.jpg"));
    ASSERT_FALSE(panel.isNull());
    EXPECT_EQ(panel.size(), QSize(11, 154));
    double worstContrast = 1e9;
    auto linear = [](double v) {
        v /= 255;
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    for (int y = 0; y < panel.height(); ++y)
        for (int x = 0; x < panel.width(); ++x) {
            const QColor c = panel.pixelColor(x, y);
            ASSERT_GT(c.blue(), c.red() + 40) << x << "," << y;
            ASSERT_GT(c.blue(), c.green() + 40) << x << "," << y;
            const double lum = 0.2126 * linear(c.red()) + 0.7152 * linear(c.green()) + 0.0722 * linear(c.blue());
            worstContrast = std::min(worstContrast, 1.05 / (lum + 0.05));
        }
    EXPECT_GE(worstContrast, 4.5) << "white text must stay readable on the panel";

    // Program icon: square, a transparent background, something in the middle.
    for (int size : {32, 48, 128, 256}) {
        const QImage png(asset(QStringLiteral("icons/orbenvale-%1.png").arg(size)));
        ASSERT_EQ(png.size(), QSize(size, size));
        EXPECT_TRUE(png.hasAlphaChannel());
        EXPECT_EQ(qAlpha(png.pixel(0, 0)), 0) << size;
        EXPECT_EQ(qAlpha(png.pixel(size / 2, size / 2)), 255) << size;
    }
}

TEST(Skin, ExampleRestylesTheTwoButtons)
{
    QString sheet = QString::fromUtf8(readAll(asset("skins/example.cjs")));
    ASSERT_FALSE(sheet.isEmpty());
    EXPECT_TRUE(sheet.contains("x/o.cjs")) << "the header says how to use it";
    QWidget form;
    form.setObjectName("Form1");
    auto *one = new QPushButton("Again", &form);
    one->setObjectName("PushButton1");
    auto *two = new QPushButton("Hint", &form);
    two->setObjectName("PushButton2");
    auto *other = new QPushButton("Other", &form);
    other->setObjectName("PushButton3");
    const QColor plainText = other->palette().color(QPalette::ButtonText);
    qApp->setStyleSheet(sheet);
    for (QPushButton *b : {one, two, other})
        b->ensurePolished();
    EXPECT_EQ(one->palette().color(QPalette::ButtonText), QColor(Qt::white));
    EXPECT_EQ(two->palette().color(QPalette::ButtonText), QColor(Qt::white));
    EXPECT_EQ(other->palette().color(QPalette::ButtonText), plainText) << "only the named buttons";
    qApp->setStyleSheet(QString());
}

}  // namespace
