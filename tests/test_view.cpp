// SPDX-License-Identifier: MIT
// The quiz window on screen (offscreen platform): size, frame, painting,
// mouse input turned into drags, pointer shapes, skin and closing.
#include "assetfiles.h"
#include "captionlayout.h"
#include "files.h"
#include "formview.h"
#include "qtplatform.h"
#include "resample.h"
#include "textbox.h"
#include "viewharness.h"

#include <QAccessible>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QThread>
#include <QTimer>
#include <QPaintEvent>
#include <QPushButton>
#include <QRegion>
#include <QScreen>
#include <cmath>
#include <gtest/gtest.h>

namespace {

class View : public ::testing::Test {
protected:
    void SetUp() override { h.open(); }
    void send(QEvent::Type type, QPoint pixels, Qt::MouseButtons buttons) { h.mouse(type, pixels, buttons); }
    QImage screen() { return h.screen(); }
    QImage fresh() { return h.fresh(); }

    ViewHarness h;
    FormView *&view = h.view;
};

// Records the areas the window repaints.
class PaintSpy : public QObject {
public:
    explicit PaintSpy(QWidget *w) { w->installEventFilter(this); }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            painted += static_cast<QPaintEvent *>(event)->region();
        return false;
    }
    QRegion painted;
};

// Pixels that differ between two pictures of the window.
QRegion differences(const QImage &a, const QImage &b)
{
    QRegion out;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                out += QRect(x, y, 1, 1);
    return out;
}

qint64 area(const QRegion &region)
{
    qint64 n = 0;
    for (const QRect &r : region)
        n += qint64(r.width()) * r.height();
    return n;
}

TEST_F(View, WindowHasTheLayoutsFrameAndControls)
{
    EXPECT_EQ(view->size(), QSize(901, 547));
    EXPECT_EQ(view->minimumSize(), view->maximumSize()) << "fixed size";
    EXPECT_FALSE(view->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(view->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(view->windowTitle(), "Orbenvale Tessary Plunor");
    // The program icon is set once the first frame is drawn.
    view->grab();
    QCoreApplication::processEvents();
    EXPECT_FALSE(view->windowIcon().isNull());
    EXPECT_EQ(view->windowIcon().availableSizes().value(0), QSize(48, 48)) << "a title bar's size";

    auto *restart = view->findChild<QPushButton *>("PushButton1");
    auto *exit = view->findChild<QPushButton *>("PushButton2");
    auto *text1 = view->findChild<TextBox *>("Text1");
    ASSERT_TRUE(restart && exit && text1);
    EXPECT_EQ(restart->text(), "Restart");
    EXPECT_EQ(restart->geometry(), QRect(600, 496, 144, 27));
    EXPECT_EQ(exit->geometry(), QRect(752, 496, 136, 27));
    EXPECT_EQ(text1->geometry().left(), 920) << "outside the client area";
    EXPECT_EQ(view->focusWidget(), text1) << "the focus starts out of sight";
    EXPECT_EQ(text1->nextInFocusChain(), h.window->keys().names()) << "then the names, the map and the buttons";
}

TEST_F(View, TheTextBoxTakesTypingAndTellsItsText)
{
    auto *text1 = view->findChild<TextBox *>("Text1");
    ASSERT_TRUE(text1);
    auto key = [&](int k, const QString &typed, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QKeyEvent press(QEvent::KeyPress, k, mods, typed);
        QApplication::sendEvent(text1, &press);
    };
    const QString before = text1->text();
    key(Qt::Key_A, "a");
    key(Qt::Key_B, "B");
    key(Qt::Key_Space, " ");
    EXPECT_EQ(text1->text(), before + "aB ");
    key(Qt::Key_C, "\x03", Qt::ControlModifier);
    key(Qt::Key_Tab, "\t");
    EXPECT_EQ(text1->text(), before + "aB ") << "neither shortcuts nor Tab are typed";
    key(Qt::Key_Backspace, "\b");
    key(Qt::Key_Backspace, "\b");
    EXPECT_EQ(text1->text(), before + "a");
    for (int i = 0; i < before.size() + 3; ++i)
        key(Qt::Key_Backspace, "\b");
    EXPECT_EQ(text1->text(), "") << "Backspace on nothing does nothing";

    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(text1);
    ASSERT_TRUE(iface);
    EXPECT_EQ(iface->role(), QAccessible::EditableText);
    key(Qt::Key_X, "x");
    EXPECT_EQ(iface->text(QAccessible::Value), "x");

    // Seen where it is drawn: its text in dark on a light ground.
    text1->resize(120, 33);
    key(Qt::Key_M, "MMMM");
    const QImage shot = text1->grab().toImage();
    int dark = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 4; x < shot.width() / 2; ++x)
            dark += shot.pixelColor(x, y).lightness() < 100;
    EXPECT_GT(dark, 30) << "the typed text shows";
    EXPECT_GT(shot.pixelColor(shot.width() - 8, shot.height() / 2).lightness(), 200);
}

TEST_F(View, PaintsMapPanelAndWhiteNames)
{
    const QImage shot = view->grab().toImage();
    const QColor panel = shot.pixelColor(850, 400);
    EXPECT_GT(panel.blue(), panel.red() + 40) << "blue panel";
    EXPECT_GT(shot.pixelColor(592, 400).blue(), shot.pixelColor(592, 400).red()) << "panel from x = 589";
    const QColor sea = shot.pixelColor(20, 20);
    EXPECT_GT(sea.blue(), sea.red());
    int white = 0;
    const QRect name = px(h.form->labels(0).rect().topLeft()) == QPoint(602, 80) ? QRect(602, 80, 141, 19) : QRect();
    ASSERT_TRUE(name.isValid());
    for (int y = name.top(); y <= name.bottom(); ++y)
        for (int x = name.left(); x <= name.right(); ++x)
            white += shot.pixelColor(x, y).lightness() > 240;
    EXPECT_GT(white, 40) << "white name text";
    // No region outline shows once start-up has switched them off.
    h.form->shape(37).BorderStyle = 1;
    const QImage framed = view->grab().toImage();
    EXPECT_NE(framed.pixel(74, 40), shot.pixel(74, 40)) << "an outline would show on Iceland's left edge";
}

TEST_F(View, MouseDragPlacesANameAndPointerFollowsTheModel)
{
    Form1 &f = *h.form;
    const QPoint from = px(f.labels(12).rect().center());
    const QPoint to = px(h.pointOf("Germany"));
    send(QEvent::MouseButtonPress, from, Qt::LeftButton);
    send(QEvent::MouseMove, from + QPoint(3, 0), Qt::LeftButton);
    EXPECT_EQ(view->cursor().shape(), Qt::BitmapCursor) << "the push-pin follows the pointer";
    send(QEvent::MouseMove, to, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, to, Qt::NoButton);
    EXPECT_FALSE(f.labels(12).Visible);
    EXPECT_TRUE(f.maplabel(12).Visible);
    EXPECT_EQ(view->cursor().shape(), Qt::ArrowCursor);

    f.MouseIcon = f.Image2.Picture;
    auto *restart = view->findChild<QPushButton *>("PushButton1");
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), restart->mapToGlobal(QPointF(5, 5)), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(restart, &move);
    EXPECT_EQ(f.MousePointer, vbCustom);
    EXPECT_EQ(view->cursor().shape(), Qt::BitmapCursor);
    send(QEvent::MouseMove, {300, 300}, Qt::NoButton);
    EXPECT_EQ(view->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(View, RepaintsOnlyWhatChangedAndTheScreenStaysRight)
{
    Form1 &f = *h.form;
    view->show();
    QImage before = screen();
    ASSERT_EQ(before.size(), QSize(901, 547));
    EXPECT_EQ(before, fresh());

    PaintSpy spy(view);
    for (int k = 0; k < 20; ++k)
        send(QEvent::MouseMove, QPoint(100 + 10 * k, 200 + 5 * k), Qt::NoButton);
    QApplication::processEvents();
    EXPECT_TRUE(spy.painted.isEmpty()) << "a pointer move over the map changes nothing visible";

    // A drag with the push-pin pointer: nothing on the window moves until the drop.
    const QPoint from = px(f.labels(12).rect().center());
    const QPoint to = px(h.pointOf("Germany"));
    send(QEvent::MouseButtonPress, from, Qt::LeftButton);
    send(QEvent::MouseMove, from + QPoint(3, 0), Qt::LeftButton);
    QApplication::processEvents();
    spy.painted = {};
    send(QEvent::MouseMove, to, Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_TRUE(spy.painted.isEmpty());
    send(QEvent::MouseButtonRelease, to, Qt::NoButton);
    const QImage after = screen();
    const QRegion dropPainted = spy.painted;
    ASSERT_TRUE(f.maplabel(12).Visible);
    EXPECT_TRUE(dropPainted.contains(FormView::toFormPixels(f.labels(12).rect()).toRect()));
    EXPECT_TRUE(dropPainted.contains(FormView::toFormPixels(f.maplabel(12).rect()).toRect()));
    EXPECT_LT(area(dropPainted), 901 * 547 / 20) << "only the name's two places repaint";
    EXPECT_EQ(after, fresh()) << "no stale pixels: the name left the column and shows on the map";
    EXPECT_FALSE(differences(before, after).isEmpty());

    // A drag without a drag icon: its outline follows and leaves nothing behind.
    f.Image2.Picture = {};
    f.labels(3).DragIcon = {};
    spy.painted = {};
    const QPoint grip = px(f.labels(3).rect().center());
    send(QEvent::MouseButtonPress, grip, Qt::LeftButton);
    QRegion tinted;  // the country a drop would go to lights up as well
    for (int k = 1; k <= 5; ++k) {
        send(QEvent::MouseMove, grip - QPoint(40 * k, 20 * k), Qt::LeftButton);
        const QRect country = h.window->dropLight().countryRect(h.window->dropLight().tinted());
        tinted += FormView::toFormPixels(country).toAlignedRect().adjusted(-1, -1, 1, 1);
    }
    const QImage moving = screen();
    EXPECT_LT(area(spy.painted - tinted), 901 * 547 / 10) << "only where the outline was and is";
    EXPECT_EQ(moving, fresh());
    EXPECT_NE(moving, after) << "the outline shows";
    send(QEvent::MouseButtonRelease, QPoint(20, 20), Qt::NoButton);
    EXPECT_EQ(screen(), after) << "the outline is gone, the name back in its place";

    // A change the handlers make themselves shows at the next notice.
    f.Label1.Caption = QStringLiteral("HOW TO PLAY");
    f.changed();
    EXPECT_EQ(screen(), fresh());
}

TEST(ViewStartUp, WhatStartUpSetShowsFromTheFirstFrameWithoutWaitingForThePointer)
{
    // The window is made before start-up runs, and nothing tells it of
    // start-up's changes (the skin, the caption, the icon): showing it is
    // enough, no pointer has to move over it first.
    ViewHarness h;
    h.write("x/o.cjs", "QPushButton#PushButton1 { color: rgb(255, 0, 0); background: rgb(0, 160, 0); }");
    h.open();
    ASSERT_FALSE(h.form->StyleSheet.isEmpty()) << "start-up loaded the skin";
    h.view->show();
    QApplication::processEvents();
    const QImage first = h.screen();
    auto *restart = h.view->findChild<QPushButton *>("PushButton1");
    const QRect face = restart->geometry().adjusted(4, 4, -4, -4);
    int green = 0;
    for (int y = face.top(); y <= face.bottom(); ++y)
        for (int x = face.left(); x <= face.right(); ++x) {
            const QColor c = first.pixelColor(x, y);
            green += c.green() > 120 && c.red() < 80 && c.blue() < 80;
        }
    EXPECT_GT(green, face.width() * face.height() / 2) << "Restart wears the skin's colours in the first frame";
    EXPECT_EQ(h.view->windowTitle(), "Orbenvale Tessary Plunor");
    QApplication::processEvents();  // the icon follows the first frame
    const QImage icon = h.view->windowIcon().pixmap(32, 32).toImage();
    int opaque = 0;
    for (int y = 0; y < icon.height(); ++y)
        for (int x = 0; x < icon.width(); ++x)
            opaque += qAlpha(icon.pixel(x, y)) > 200;
    EXPECT_GT(opaque, 100) << "the program's icon, not the blank one the layout starts with";
}

// Shows one label alone on top of the window and returns where the window
// changed, and the label's box in pixels.
std::pair<QRegion, QRect> inkOf(FormView &view, Control &label)
{
    const bool was = label.Visible;
    label.Visible = false;
    const QImage without = view.grab().toImage();
    label.Visible = true;
    const QImage with = view.grab().toImage();
    label.Visible = was;
    return {differences(without, with), FormView::toFormPixels(label.rect()).toAlignedRect()};
}

TEST_F(View, NoCaptionDrawsOutsideItsLabel)
{
    Form1 &f = *h.form;
    for (int i = 0; i < 41; ++i) {
        Control &onMap = f.maplabel(i);
        onMap.Caption = f.labels(i).Caption;  // as a correct drop shows it
        onMap.FontBold = true;
        const auto [ink, box] = inkOf(*view, onMap);
        EXPECT_FALSE(ink.isEmpty()) << onMap.Caption.toStdString();
        EXPECT_TRUE(ink.subtracted(box).isEmpty())
            << onMap.Caption.toStdString() << " draws at " << ink.subtracted(box).boundingRect().x() << ","
            << ink.subtracted(box).boundingRect().y() << " outside its box";
    }

    // Custom names too long for the column, in both columns.
    const QString longNames[] = {QStringLiteral("The United Kingdom of Great Britain and Northern Ireland"),
                                 QStringLiteral("Llanfairpwllgwyngyllgogerychwyrndrobwllllantysiliogogogoch"),
                                 QStringLiteral("Bosnia & Herzegovina, Serbia, Montenegro and North Macedonia")};
    for (int i : {0, 24, 25, 40}) {
        for (const QString &name : longNames) {
            f.labels(i).Caption = name;
            const auto [ink, box] = inkOf(*view, f.labels(i));
            EXPECT_GT(area(ink), 40) << name.toStdString();
            EXPECT_TRUE(ink.subtracted(box).isEmpty()) << name.toStdString() << " in label " << i;
        }
    }
}

TEST_F(View, AnAmpersandInANameIsDrawnAsItStands)
{
    // A country's name is shown as it is spelt: "&" is a character here, not
    // the mark of an access key that would hide it and underline the blank.
    Form1 &f = *h.form;
    const int bosnia = 4;
    ASSERT_EQ(f.labels(bosnia).Caption, "Bosnia & Herzegovina");
    auto inkOfCaption = [&](const QString &caption) {
        f.labels(bosnia).Caption = caption;
        const auto [ink, box] = inkOf(*view, f.labels(bosnia));
        return area(ink);
    };
    const qint64 withAmpersand = inkOfCaption("Bosnia & Herzegovina");
    const qint64 withBlank = inkOfCaption("Bosnia   Herzegovina");
    EXPECT_GT(withAmpersand, withBlank + 20) << "the ampersand shows";
    f.labels(bosnia).Caption = "Bosnia & Herzegovina";
}

TEST_F(View, CaptionsWrapNarrowOrEndInAnEllipsis)
{
    Form1 &f = *h.form;
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(15);
    font.setBold(true);
    const QSizeF column = FormView::toFormPixels(f.labels(0).rect()).size();
    EXPECT_EQ(CaptionLayout(QStringLiteral("Albania"), font, column, Qt::AlignLeft).lines(),
              QStringList{QStringLiteral("Albania")});
    EXPECT_EQ(CaptionLayout(QStringLiteral("Albania"), font, column, Qt::AlignLeft).stretch(), 100);

    const CaptionLayout narrowed(QStringLiteral("United Kingdom of GB"), font, column, Qt::AlignLeft);
    EXPECT_EQ(narrowed.lines(), QStringList{QStringLiteral("United Kingdom of GB")}) << "narrowed, whole";
    EXPECT_LT(narrowed.stretch(), 100);

    const CaptionLayout elided(QStringLiteral("The United Kingdom of Great Britain and Northern Ireland"), font, column,
                               Qt::AlignLeft);
    ASSERT_EQ(elided.lines().size(), 1);
    EXPECT_TRUE(elided.lines()[0].startsWith(QStringLiteral("The United")));
    EXPECT_TRUE(elided.lines()[0].endsWith(QChar(0x2026)));
    EXPECT_EQ(elided.stretch(), CaptionLayout::kNarrowestStretch);

    // The instructions' box has room for two lines: a long text wraps there.
    font.setPixelSize(11);
    font.setBold(false);
    const QSizeF instructions = FormView::toFormPixels(f.Label2.rect()).size();
    const CaptionLayout wrapped(f.Label2.Caption, font, instructions, Qt::AlignLeft);
    EXPECT_EQ(wrapped.lines().size(), 2);
    EXPECT_EQ(wrapped.lines().join(QLatin1Char(' ')), f.Label2.Caption);
    const CaptionLayout overfull(f.Label2.Caption.repeated(3), font, instructions, Qt::AlignLeft);
    ASSERT_EQ(overfull.lines().size(), 2);
    EXPECT_TRUE(overfull.lines()[1].endsWith(QChar(0x2026)));
}

TEST_F(View, HugeCaptionIsShapedOnceAndStaysInItsBox)
{
    Form1 &f = *h.form;
    view->show();
    f.labels(0).Caption = QString(1 << 20, QLatin1Char('W'));
    f.changed();
    const QImage shown = screen();
    const int made = view->captionLayoutsMade();
    for (int k = 0; k < 30; ++k)
        send(QEvent::MouseMove, QPoint(100 + 10 * k, 200 + 5 * k), Qt::NoButton);
    f.changed();
    EXPECT_EQ(screen(), shown);
    view->repaint();
    EXPECT_EQ(view->captionLayoutsMade(), made) << "pointer moves and repaints reuse the shaped caption";

    const auto [ink, box] = inkOf(*view, f.labels(0));
    EXPECT_GT(area(ink), 40);
    EXPECT_TRUE(ink.subtracted(box).isEmpty());

    // Far longer still: shown cut short, without a crash.
    f.labels(1).Caption = QString(16 << 20, QLatin1Char('x'));
    f.changed();
    EXPECT_EQ(screen(), fresh());
    f.labels(1).Caption.clear();
}

// How dark a caption is: the ink it adds over the background, summed.
double darkness(const QImage &with, const QImage &without, const QRect &box)
{
    double sum = 0;
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x)
            sum += qMax(0, qGray(without.pixel(x, y)) - qGray(with.pixel(x, y)));
    return sum;
}

TEST_F(View, PlacedNamesShowInBold)
{
    Form1 &f = *h.form;
    view->show();
    const QImage empty = screen();
    for (const char *country : {"France", "Spain", "Italy", "Poland"}) {
        int i = 0;
        while (f.labels(i).Caption != QLatin1String(country))
            ++i;
        const QPoint from = px(f.labels(i).rect().center());
        const QPoint to = px(h.pointOf(country));
        send(QEvent::MouseButtonPress, from, Qt::LeftButton);
        send(QEvent::MouseMove, from + QPoint(3, 0), Qt::LeftButton);
        send(QEvent::MouseMove, to, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, to, Qt::NoButton);
        const QImage placed = screen();
        ASSERT_TRUE(f.maplabel(i).Visible) << country;
        const QRect box = FormView::toFormPixels(f.maplabel(i).rect()).toAlignedRect();

        // The same name drawn here in the map labels' face, regular and bold.
        auto drawn = [&](bool bold) {
            QImage out = empty;
            QPainter p(&out);
            QFont font(QStringLiteral("Arial Narrow"));
            font.setPixelSize(9);
            font.setBold(bold);
            p.setFont(font);
            p.setPen(Qt::black);
            p.drawText(box, Qt::AlignHCenter | Qt::AlignTop, QString::fromLatin1(country));
            p.end();
            return darkness(out, empty, box);
        };
        const double shown = darkness(placed, empty, box), regular = drawn(false), bold = drawn(true);
        ASSERT_GT(bold, regular * 1.15) << "the two weights must be told apart";
        EXPECT_GT(shown, (regular + bold) / 2) << country << " shows in a regular weight: " << shown << " vs "
                                               << regular << " regular, " << bold << " bold";
    }
}

TEST(MessageBoxes, ShowTheIconTheirStyleAsksFor)
{
    struct Shown {
        QMessageBox::Icon icon;
        QImage picture;
        QString text, title;
    };
    std::vector<Shown> shown;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            const auto *iconLabel = box->findChild<QLabel *>(QStringLiteral("qt_msgboxex_icon_label"));
            shown.push_back(
                {box->icon(), iconLabel ? iconLabel->pixmap().toImage() : QImage(), box->text(), box->windowTitle()});
            box->accept();
        }
    });
    look.start(5);
    QtMessageBoxes boxes;
    boxes.show(QStringLiteral("CONGRATULATIONS!THE MAP IS COMPLETE!"), 64, QStringLiteral("SUCCESS"));
    boxes.show(QStringLiteral("Overflow\r\nin here"), 48, QStringLiteral("Application Error"));
    boxes.show(QStringLiteral("plain"), 0, QStringLiteral("t"));
    ASSERT_EQ(shown.size(), 3u);

    auto sign = [](QMessageBox::Icon icon) {
        QMessageBox reference;
        reference.setIcon(icon);
        return reference.iconPixmap().toImage();
    };
    const QImage warning = sign(QMessageBox::Warning), information = sign(QMessageBox::Information);
    ASSERT_FALSE(warning.isNull());
    ASSERT_NE(warning, information);
    EXPECT_EQ(shown[0].icon, QMessageBox::Information);
    EXPECT_EQ(shown[0].picture, information) << "64 shows the information sign";
    EXPECT_EQ(shown[0].title, "SUCCESS");
    EXPECT_EQ(shown[1].icon, QMessageBox::Warning);
    EXPECT_EQ(shown[1].picture, warning) << "48 shows the warning sign";
    EXPECT_EQ(shown[1].text, "Overflow\nin here");
    EXPECT_EQ(shown[2].icon, QMessageBox::NoIcon);
    EXPECT_TRUE(shown[2].picture.isNull());
}

// How far the window's pixels over the map are, on average, from a picture
// of the map at the window's device resolution.
double offBy(const QImage &window, const QImage &map, int mapLeftDevicePixels, const QRect &area)
{
    const QImage a = window.convertToFormat(QImage::Format_RGB32), b = map.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x - mapLeftDevicePixels, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * area.width() * area.height());
}

TEST_F(View, MapIsReadAtDoubleResolutionOnlyForAScreenThatNeedsIt)
{
    if (view->devicePixelRatioF() > 1.0)
        GTEST_SKIP() << "a screen at scale 1; the scale-2 run checks the other half";
    const StdPicture &map = h.form->Image1.Picture;
    const QImage shown = fresh();
    EXPECT_FALSE(map.cache->read2x) << "the double-resolution map was read for a screen that does not show it";
    const int left = h.form->Image1.Left / kTwipsPerPixel;
    EXPECT_LT(offBy(shown, map.picture(), left, QRect(20, 20, 400, 400)), 1.0) << "the map as its picture shows it";
}

TEST_F(View, HiDpiMapIsDrawnFromTheDoubleResolutionPicture)
{
    if (qEnvironmentVariable("QT_SCALE_FACTOR") != QLatin1String("2"))
        GTEST_SKIP() << "run with QT_SCALE_FACTOR=2";
    ASSERT_EQ(view->devicePixelRatioF(), 2.0) << "the scale asked for did not take effect";
    const StdPicture &map = h.form->Image1.Picture;
    const QImage shown = fresh();
    ASSERT_EQ(shown.size(), QSize(1802, 1094));
    const QImage sharp = map.picture2x();
    ASSERT_EQ(sharp.size(), map.picture().size() * 2);
    const QImage enlarged = map.picture().scaled(sharp.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const int left = h.form->Image1.Left * 2 / kTwipsPerPixel;
    const QRect area(40, 40, 800, 800);
    const double fromSharp = offBy(shown, sharp, left, area), fromEnlarged = offBy(shown, enlarged, left, area);
    EXPECT_LT(fromSharp, 1.0) << "each device pixel shows the double-resolution picture's";
    EXPECT_GT(fromEnlarged, fromSharp + 1.0) << "not the plain map enlarged";
}

// At scale 3 the map is larger than its sharpest picture: it is enlarged
// once with a Lanczos filter, which keeps borders and coasts crisper than
// the painter's bilinear smoothing, and drawn pixel for pixel.
TEST_F(View, HiDpiMapAtScale3IsEnlargedSharply)
{
    if (qEnvironmentVariable("QT_SCALE_FACTOR") != QLatin1String("3"))
        GTEST_SKIP() << "run with QT_SCALE_FACTOR=3";
    ASSERT_EQ(view->devicePixelRatioF(), 3.0) << "the scale asked for did not take effect";
    view->show();
    const QImage sharp = h.form->Image1.Picture.picture2x();
    const QSize device = (FormView::toFormPixels(h.form->Image1.rect()).size() * 3).toSize();
    QElapsedTimer took;
    took.start();
    const QImage lanczos = lanczosEnlarged(sharp, device);
    std::printf("the map enlarged to %dx%d in %lld ms\n", device.width(), device.height(), took.elapsed());
    const QImage bilinear = sharp.scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const int left = h.form->Image1.Left * 3 / kTwipsPerPixel;
    const QRect area(60, 60, 900, 900);
    QImage shown;
    for (int k = 0; k < 100; ++k) {  // made on another thread
        shown = fresh();
        if (offBy(shown, lanczos, left, area) < 0.1)
            break;
        QThread::msleep(20);
        QApplication::processEvents();
    }
    EXPECT_LT(offBy(shown, lanczos, left, area), 0.1) << "the map enlarged with the sharper filter";
    EXPECT_GT(offBy(shown, bilinear, left, area), 0.3) << "not the painter's smoothing";
    std::printf("off the Lanczos enlargement %.3f, off the bilinear one %.3f\n", offBy(shown, lanczos, left, area),
                offBy(shown, bilinear, left, area));
    // Crisper: the steps across borders and coasts are larger.
    auto edges = [&](const QImage &im, int dx) {
        double sum = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x < area.right(); ++x)
                sum += std::abs(qGray(im.pixel(x + 1 - dx, y)) - qGray(im.pixel(x - dx, y)));
        return sum;
    };
    EXPECT_GT(edges(shown, 0), edges(bilinear, left) * 1.03);
}

TEST_F(View, HiDpiPointersAreAsLargeAsTheWindowAroundThem)
{
    const QString factor = qEnvironmentVariable("QT_SCALE_FACTOR");
    if (factor.isEmpty())
        GTEST_SKIP() << "run with QT_SCALE_FACTOR";
    const qreal scale = factor.toDouble();
    ASSERT_DOUBLE_EQ(view->devicePixelRatioF(), scale) << "the scale asked for did not take effect";
    Form1 &f = *h.form;
    // The push-pin while a name is dragged, the hand over the buttons: 32
    // pixels of the window each, their hotspots on the needle's tip and the
    // finger.
    const QPoint from = px(f.labels(12).rect().center());
    h.mouse(QEvent::MouseButtonPress, from, Qt::LeftButton);
    h.mouse(QEvent::MouseMove, from + QPoint(3, 0), Qt::LeftButton);
    f.MouseIcon = LoadPicture(asset("HAND-M.CUR"));
    const std::pair<QCursor, StdPicture> pointers[] = {{view->cursor(), f.Image2.Picture}, {{}, f.MouseIcon}};
    h.mouse(QEvent::MouseButtonRelease, from, Qt::NoButton);
    f.buttonMouseMove(f.PushButton1, {10, 10});
    for (int k = 0; k < 2; ++k) {
        const QCursor cursor = k == 0 ? pointers[0].first : view->cursor();
        const StdPicture &picture = pointers[k].second;
        ASSERT_EQ(cursor.shape(), Qt::BitmapCursor) << k;
        const QPixmap pixmap = cursor.pixmap();
        const int side = qRound(32 * scale);
        EXPECT_EQ(pixmap.size(), QSize(side, side)) << (k ? "the hand" : "the push-pin") << " at scale " << scale;
        EXPECT_DOUBLE_EQ(pixmap.devicePixelRatio(), scale);
        const QPoint hs = picture.hotspotOrCentre();
        EXPECT_EQ(cursor.hotSpot(), hs) << "the hotspot in the pointer's logical pixels";
        // The picture's own pixel at the hotspot is where the device pixels put it.
        const QImage big = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
        const QImage small = picture.picture().convertToFormat(QImage::Format_ARGB32);
        const QPoint at(qMin(side - 1, qRound(hs.x() * scale)), qMin(side - 1, qRound(hs.y() * scale)));
        EXPECT_EQ(qAlpha(big.pixel(at)) > 0, qAlpha(small.pixel(hs)) > 0) << k;
        if (k == 0 && scale > 1) {
            // The push-pin from its finer picture, not the 32-pixel one enlarged.
            const QImage fine = picture.picture2x().convertToFormat(QImage::Format_ARGB32);
            ASSERT_EQ(fine.size(), QSize(64, 64));
            const QImage fromFine = fine.scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            const QImage fromSmall = small.scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            auto off = [&](const QImage &other) {
                long sum = 0;
                for (int y = 0; y < side; ++y)
                    for (int x = 0; x < side; ++x)
                        sum += std::abs(qAlpha(big.pixel(x, y)) - qAlpha(other.pixel(x, y)))
                               + std::abs(qBlue(big.pixel(x, y)) - qBlue(other.pixel(x, y)));
                return double(sum) / (side * side);
            };
            EXPECT_LT(off(fromFine), off(fromSmall) / 4) << "the push-pin at scale " << scale;
            EXPECT_EQ(qAlpha(fine.pixel(58, 58)), 255) << "the needle's tip on twice its hotspot";
        }
        if (k == 1 && std::abs(scale - std::round(scale)) < 1e-9) {
            // The hand, a drawing of single pixels, stays crisp at a whole scale.
            int soft = 0;
            for (int y = 0; y < side; ++y)
                for (int x = 0; x < side; ++x)
                    soft += qAlpha(big.pixel(x, y)) != 0 && qAlpha(big.pixel(x, y)) != 255;
            EXPECT_EQ(soft, 0) << "the hand smoothed at scale " << scale;
        }
    }
}

// On a screen too small for it (a laptop's 1366x768 at scale 1.5: 910x512
// window pixels) the whole window is drawn smaller, and a drop, the drop
// light, the pointers and the keyboard's pin all keep to what is shown.
TEST_F(View, SmallScreenDrawsTheWindowSmallerAndJudgesWhereItShows)
{
    const QRect area = view->screen()->availableGeometry();
    if (area.height() > 600)
        GTEST_SKIP() << "run on a screen too small for the window (1366x768 at scale 1.5)";
    Form1 &f = *h.form;
    const double zoom = view->zoom(), dpr = view->devicePixelRatioF();
    ASSERT_LT(zoom, 1.0);
    auto countryIndex = [](const char *name) {
        for (int c = 0; c < int(layout::kMapLabels.size()); ++c)
            if (QLatin1String(layout::kMapLabels[c].country) == QLatin1String(name))
                return c + 1;
        return 0;
    };
    auto labelIndex = [&](const char *name) {
        for (const auto &[i, label] : f.labels.elements())
            if (label->Caption == QLatin1String(name))
                return i;
        return -1;
    };
    EXPECT_LE(view->height() + 48, area.height()) << "the window and a title bar fit";
    EXPECT_LE(view->width() + 16, area.width());
    EXPECT_GE(view->height() + 48, area.height() - 2) << "as large as fits";
    view->showCentred();
    EXPECT_TRUE(area.contains(view->geometry())) << "it opens whole on the screen";

    // The map as its picture shows it, smaller: at small countries' middles
    // the colour there is the picture's there.
    const StdPicture &map = f.Image1.Picture;
    const QImage picture = map.picture().convertToFormat(QImage::Format_RGB32);
    auto pictureNear = [&](QPoint twips, QRgb c) {
        const QPoint m((twips.x() - f.Image1.Left) * picture.width() / f.Image1.Width,
                       (twips.y() - f.Image1.Top) * picture.height() / f.Image1.Height);
        int best = 1 << 30;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const QRgb p = picture.pixel(m + QPoint(dx, dy));
                best = std::min(best, std::abs(qRed(p) - qRed(c)) + std::abs(qGreen(p) - qGreen(c))
                                          + std::abs(qBlue(p) - qBlue(c)));
            }
        return best;
    };
    const QImage shown = fresh();
    ASSERT_EQ(shown.size(), (QSizeF(view->size()) * dpr).toSize());
    auto devicePixel = [&](QPoint twips) {
        return (view->toPixels(QRect(twips, QSize(1, 1))).topLeft() * dpr).toPoint();
    };
    for (const char *country : {"Luxembourg", "Kosovo", "Montenegro", "Germany"}) {
        const QPoint at = h.window->places().middle(countryIndex(country));
        EXPECT_LT(pictureNear(at, shown.pixel(devicePixel(at))), 24) << country << " is drawn where it lies";
    }

    // Dropped where they are seen, names are placed.
    int placed = 0;
    for (const char *country : {"Luxembourg", "Kosovo", "Montenegro", "Germany"}) {
        const int i = labelIndex(country);
        const QPoint from = view->toPixels(f.labels(i).rect()).center().toPoint();
        const QPoint to =
            view->toPixels(QRect(h.window->places().middle(countryIndex(country)), QSize(1, 1))).topLeft().toPoint();
        h.mouse(QEvent::MouseButtonPress, from);
        h.mouse(QEvent::MouseMove, from + QPoint(3, 0));
        if (placed == 0) {
            // The push-pin at 32 window pixels of the full-size window, made smaller alike.
            const QPixmap pin = view->cursor().pixmap();
            EXPECT_NEAR(pin.width(), 32 * std::max(1.0, dpr) * zoom, 1.0);
        }
        const QImage unlit = fresh();
        h.mouse(QEvent::MouseMove, to);
        if (QLatin1String(country) == QLatin1String("Germany")) {
            // The light covers Germany's box as it is drawn, and no more.
            const int germany = h.window->dropLight().tinted();
            ASSERT_GT(germany, 0);
            const QImage lit = fresh();
            QRect changed;
            for (int y = 0; y < lit.height(); ++y)
                for (int x = 0; x < lit.width(); ++x)
                    if (lit.pixel(x, y) != unlit.pixel(x, y))
                        changed |= QRect(x, y, 1, 1);
            const QRectF box = view->toPixels(h.window->dropLight().countryRect(germany));
            const QRect device = QRectF(box.topLeft() * dpr, box.size() * dpr).toAlignedRect();
            EXPECT_TRUE(device.adjusted(-2, -2, 2, 2).contains(changed)) << "lit outside Germany's box";
            EXPECT_GT(changed.width() * changed.height(), device.width() * device.height() / 3);
        }
        h.mouse(QEvent::MouseButtonRelease, to, Qt::NoButton);
        EXPECT_TRUE(f.maplabel(i).Visible) << country << " dropped where it is shown";
        placed += f.maplabel(i).Visible;
    }
    EXPECT_EQ(f.placedcount, placed);
}

// Where the desktop draws no title bar (Wayland without server-side
// decorations), the window draws its own above the client area: its icon,
// caption, minimise and close, and no maximise, for a window that can be
// neither maximised nor resized. The client area is drawn and played as
// without it.
TEST_F(View, OwnTitleBarHasMinimiseAndCloseOnly)
{
    ViewHarness own;
    FormView &v = own.open(FormView::Frame::Own);
    ASSERT_TRUE(v.hasOwnCaption());
    EXPECT_EQ(v.size(), view->size() + QSize(0, FormView::kCaptionHeight));
    const QImage framed = own.fresh(), plain = fresh();
    EXPECT_EQ(framed.copy(0, FormView::kCaptionHeight, plain.width(), plain.height()), plain)
        << "the client area as without a title bar";
    // Strokes darker than the bar: the caption in the middle, the two
    // buttons (grey while the window is not active, as here).
    const int bar = qGray(framed.pixel(framed.width() / 4, 2));
    EXPECT_GT(bar, 180) << "a light bar";
    auto ink = [&](const QRect &r) {
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                n += qGray(framed.pixel(x, y)) < bar - 30;
        return n;
    };
    EXPECT_GT(ink(QRect(framed.width() / 2 - 120, 5, 240, 20)), 100) << "the caption";
    EXPECT_GT(ink(v.closeButtonRect()), 10);
    EXPECT_GT(ink(v.minimizeButtonRect()), 5);
    const QRect maximise = v.minimizeButtonRect().translated(-23, 0);
    EXPECT_EQ(ink(maximise), 0) << "no maximise button";
    EXPECT_EQ(v.windowFlags() & Qt::WindowMaximizeButtonHint, 0);

    // Played below it: a name dropped on its country is placed.
    Form1 &f = *own.form;
    const QPoint from = v.toPixels(f.labels(12).rect()).center().toPoint();
    const QPoint to = v.toPixels(QRect(own.pointOf(f.labels(12).Caption), QSize(1, 1))).topLeft().toPoint();
    own.mouse(QEvent::MouseButtonPress, from);
    own.mouse(QEvent::MouseMove, from + QPoint(3, 0));
    own.mouse(QEvent::MouseMove, to);
    own.mouse(QEvent::MouseButtonRelease, to, Qt::NoButton);
    EXPECT_TRUE(f.maplabel(12).Visible);
    // A press on the bar is no press on the form.
    own.mouse(QEvent::MouseButtonPress, {200, 10});
    own.mouse(QEvent::MouseButtonRelease, {200, 10}, Qt::NoButton);
    EXPECT_FALSE(f.dragSource());

    // Its close button closes the window as the desktop's would.
    v.show();
    const QPoint close = v.closeButtonRect().center();
    own.mouse(QEvent::MouseButtonPress, close);
    own.mouse(QEvent::MouseButtonRelease, close, Qt::NoButton);
    EXPECT_TRUE(f.unloaded());
}

TEST_F(View, SkinStyleSheetAndClosing)
{
    h.form->StyleSheet = "QPushButton { color: red; }";
    h.form->changed();
    EXPECT_EQ(view->styleSheet(), "QPushButton { color: red; }");

    EXPECT_EQ(QtMessageBoxes::displayText("a\r\nb\rc\nd\r\r"), "a\nb\nc\nd\n\n");

    view->show();
    EXPECT_TRUE(view->close());
    EXPECT_TRUE(h.form->unloaded());
}

}  // namespace
