// SPDX-License-Identifier: MIT
// Keyboard play in the window (offscreen platform): the tab order, the focus
// ring and the highlighted name on screen, the pin drawn at the needle's tip,
// Return on the buttons, Escape during a mouse drag, and what the window
// tells assistive tools.
#include "accessibility.h"
#include "keyboardview.h"
#include "viewharness.h"

#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

class KeyView : public ::testing::Test {
protected:
    void SetUp() override
    {
        h.open();
        plain = view->grab().toImage();
        keys = &h.window->keys();
        view->show();
        QApplication::setActiveWindow(view);
        text1 = view->findChild<QWidget *>("Text1");
        restart = view->findChild<QPushButton *>("PushButton1");
        exit = view->findChild<QPushButton *>("PushButton2");
        ASSERT_TRUE(text1 && restart && exit);
        text1->setFocus();
        QApplication::processEvents();
    }
    void TearDown() override
    {
        keys = nullptr;
        h.close();
    }
    void key(int k, Qt::KeyboardModifiers mods = Qt::NoModifier, const QString &text = {})
    {
        QWidget *target = QApplication::focusWidget() ? QApplication::focusWidget() : view;
        QKeyEvent press(QEvent::KeyPress, k, mods, text);
        QApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, k, mods, text);
        QApplication::sendEvent(target, &release);
        QApplication::processEvents();
    }
    void mouse(QEvent::Type type, QPoint pixels, Qt::MouseButtons buttons) { h.mouse(type, pixels, buttons); }
    QImage shot() { return view->grab().toImage(); }
    static int differing(const QImage &a, const QImage &b, const QRect &r)
    {
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x) {
                const QColor p = a.pixelColor(x, y), q = b.pixelColor(x, y);
                n += std::abs(p.red() - q.red()) + std::abs(p.green() - q.green()) + std::abs(p.blue() - q.blue()) > 60;
            }
        return n;
    }
    static int yellow(const QImage &img, const QRect &r)
    {
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x) {
                const QColor c = img.pixelColor(x, y);
                n += c.red() > 220 && c.green() > 180 && c.blue() < 60;
            }
        return n;
    }
    // The push-pin's dark blue head; nothing else on the map is that dark a blue.
    static int navy(const QImage &img, const QRect &r)
    {
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x) {
                const QColor c = img.pixelColor(x, y);
                n += c.red() < 60 && c.green() < 90 && c.blue() > 85 && c.blue() - c.red() > 50;
            }
        return n;
    }
    ViewHarness h;
    FormView *&view = h.view;
    KeyboardView *keys = nullptr;
    QImage plain;
    QWidget *text1 = nullptr;
    QPushButton *restart = nullptr, *exit = nullptr;
};

TEST_F(KeyView, TabGoesThroughNamesMapAndButtonsWithAClearRing)
{
    EXPECT_EQ(QApplication::focusWidget(), text1);
    const QImage start = shot();
    EXPECT_EQ(differing(start, plain, start.rect()), 0) << "nothing new shows while the focus is out of sight";

    key(Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), keys->names());
    const QImage names = shot();
    const QRect panel = keys->names()->geometry();
    EXPECT_GT(yellow(names, panel.adjusted(-6, -6, 6, -panel.height() - 1)), 200) << "a yellow ring above the names";
    EXPECT_GT(differing(names, start, px(h.form->labels(0).rect())), 100) << "Albania is highlighted";
    // The highlighted name stays white on a dark ground.
    int white = 0;
    const QRect albania = px(h.form->labels(0).rect()).adjusted(0, 2, 0, -4);
    for (int y = albania.top(); y <= albania.bottom(); ++y)
        for (int x = albania.left(); x < albania.left() + 60; ++x)
            white += names.pixelColor(x, y).lightness() > 230;
    EXPECT_GT(white, 40);

    key(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), keys->map());
    const QImage map = shot();
    EXPECT_GT(yellow(map, QRect(0, 0, 589, 4)), 300) << "the ring reads along the map's top edge";
    EXPECT_EQ(yellow(map, panel.adjusted(-6, -6, 6, -panel.height() - 1)), 0) << "the panel's ring is gone";
    const QPoint tip = px(keys->play().pin());
    EXPECT_GT(differing(map, start, QRect(tip - QPoint(29, 29), QSize(30, 30))), 40) << "the pin shows on the map";

    key(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), restart);
    EXPECT_GT(yellow(shot(), restart->geometry().adjusted(-4, -4, 4, -restart->height() - 1)), 100);
    key(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), exit);
    key(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), text1) << "round again";
    key(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), exit);
}

TEST_F(KeyView, APickedUpNameRidesThePinAndTheMouseCannotSteerIt)
{
    Form1 &f = *h.form;
    key(Qt::Key_Tab);
    key(Qt::Key_G, Qt::NoModifier, "g");
    EXPECT_EQ(keys->play().selected(), 12);
    key(Qt::Key_Return);
    ASSERT_TRUE(keys->play().carrying());
    EXPECT_EQ(QApplication::focusWidget(), keys->map());
    EXPECT_EQ(view->cursor().shape(), Qt::ArrowCursor) << "the pin is on the map, not on the pointer";
    key(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), keys->map()) << "Tab does not take the keyboard from a carried name";

    const QPoint before = keys->play().pin();
    mouse(QEvent::MouseMove, {100, 100}, Qt::NoButton);
    mouse(QEvent::MouseButtonPress, {100, 100}, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, {100, 100}, Qt::NoButton);
    EXPECT_TRUE(keys->play().carrying()) << "the pointer does not drop it";
    EXPECT_EQ(f.dragPosition(), before);

    key(Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(keys->play().pin(), before + QPoint(0, KeyboardPlay::kLargeStep));
    const QImage carried = shot();
    const QPoint tip = px(keys->play().pin());
    EXPECT_GT(navy(carried, QRect(tip - QPoint(29, 29), QSize(30, 30))), 20) << "the pin's head";
    EXPECT_EQ(navy(carried, QRect(tip + QPoint(3, 3), QSize(20, 20))), 0)
        << "the picture lies up and left of the needle's tip";

    // The country under the needle lights up as under a dragging pointer.
    DropTarget &tint = h.window->dropLight();
    const MapPlaces &places = h.window->places();
    const int germany = places.at(h.pointOf("Germany")).country;
    ASSERT_GT(germany, 0);
    QPoint onLand(-1, -1);
    for (int dy = -600; dy <= 600 && onLand.x() < 0; dy += 75)
        for (int dx = -600; dx <= 600 && onLand.x() < 0; dx += 75)
            if (tint.countryAt(h.pointOf("Germany") + QPoint(dx, dy)) == germany)
                onLand = h.pointOf("Germany") + QPoint(dx, dy);
    ASSERT_GE(onLand.x(), 0);
    keys->play().movePin(onLand - keys->play().pin());
    EXPECT_EQ(tint.tinted(), germany);
    const QPoint land = px(onLand);
    const QImage lit = shot();
    int lighter = 0;
    for (int y = land.y() + 4; y < land.y() + 24; ++y)
        for (int x = land.x() + 4; x < land.x() + 24; ++x)
            lighter += lit.pixelColor(x, y).lightness() > plain.pixelColor(x, y).lightness() + 6;
    EXPECT_GT(lighter, 200) << "Germany lit up beside the pin";

    key(Qt::Key_Escape);
    EXPECT_FALSE(keys->play().carrying());
    EXPECT_EQ(tint.tinted(), 0) << "no light once the name is back";
    EXPECT_TRUE(f.labels(12).Visible);
    EXPECT_EQ(QApplication::focusWidget(), keys->names());
    EXPECT_TRUE(h.sounds.played.empty());
}

TEST_F(KeyView, ReturnPressesButtonsAndEscapeCancelsAMouseDrag)
{
    Form1 &f = *h.form;
    const QPoint from = px(f.labels(35).rect().center());
    const QPoint spain = px(h.pointOf("Spain"));
    mouse(QEvent::MouseButtonPress, from, Qt::LeftButton);
    mouse(QEvent::MouseMove, from + QPoint(3, 0), Qt::LeftButton);
    mouse(QEvent::MouseMove, spain, Qt::LeftButton);
    ASSERT_EQ(f.dragSource(), &f.labels(35));
    ASSERT_NE(h.window->dropLight().tinted(), 0) << "Spain lit up under the pointer";
    key(Qt::Key_Escape);  // the focus is still on the text box
    EXPECT_EQ(f.dragSource(), nullptr);
    EXPECT_EQ(h.window->dropLight().tinted(), 0) << "and dark again once the drag is cancelled";
    EXPECT_EQ(view->cursor().shape(), Qt::ArrowCursor) << "the push-pin pointer goes";
    mouse(QEvent::MouseButtonRelease, spain, Qt::NoButton);
    EXPECT_TRUE(f.labels(35).Visible);
    EXPECT_FALSE(f.maplabel(35).Visible);
    EXPECT_TRUE(h.sounds.played.empty());
    QApplication::processEvents();
    EXPECT_EQ(h.window->reader().status()->text(), "Spain put back");

    h.drag(f.labels(35), h.pointOf("Spain"));
    QApplication::processEvents();
    EXPECT_EQ(h.window->reader().status()->text(), "Spain placed, 1 of 41") << "mouse drops are told too";
    restart->setFocus();
    key(Qt::Key_Return);
    EXPECT_EQ(f.placedcount, 0) << "Return presses Restart";
    EXPECT_TRUE(f.labels(35).Visible);
    exit->setFocus();
    key(Qt::Key_Enter);
    EXPECT_TRUE(f.unloaded()) << "Enter presses Exit";
}

TEST_F(KeyView, AssistiveToolsSeeTheNamesTheMapThePinAndTheOutcome)
{
    Form1 &f = *h.form;
    QStringList said;
    QObject::connect(&h.window->reader(), &ScreenReader::spoke, [&](const QString &s) { said << s; });
    QAccessibleInterface *list = QAccessible::queryAccessibleInterface(keys->names());
    ASSERT_TRUE(list);
    EXPECT_EQ(list->role(), QAccessible::List);
    ASSERT_EQ(list->childCount(), 41);
    for (int i = 0; i < 41; ++i) {
        QAccessibleInterface *item = list->child(i);
        EXPECT_EQ(item->role(), QAccessible::ListItem);
        EXPECT_EQ(item->text(QAccessible::Name), f.labels(i).Caption);
        EXPECT_FALSE(item->state().checked);
        EXPECT_EQ(item->parent(), list);
        EXPECT_EQ(list->indexOfChild(item), i);
    }
    EXPECT_EQ(list->child(12)->rect().topLeft(), view->mapToGlobal(px(f.labels(12).rect().topLeft())));
    EXPECT_TRUE(list->child(0)->state().selected);

    QAccessibleInterface *map = QAccessible::queryAccessibleInterface(keys->map());
    ASSERT_TRUE(map);
    ASSERT_EQ(map->childCount(), 1);
    QAccessibleInterface *pin = map->child(0);
    EXPECT_EQ(pin->text(QAccessible::Name), "pin");
    EXPECT_TRUE(pin->state().invisible);

    key(Qt::Key_Tab);
    key(Qt::Key_G, Qt::NoModifier, "g");
    EXPECT_TRUE(list->child(12)->state().selected);
    EXPECT_TRUE(list->child(12)->state().focused);
    EXPECT_FALSE(list->child(0)->state().selected);
    EXPECT_EQ(list->focusChild(), list->child(12));
    key(Qt::Key_Space);
    EXPECT_FALSE(pin->state().invisible);
    EXPECT_EQ(pin->rect(), QRect(view->mapToGlobal(px(keys->play().pin())), QSize(1, 1)));
    EXPECT_EQ(pin->text(QAccessible::Description), "carrying Germany");
    EXPECT_EQ(map->text(QAccessible::Description),
              "Pin over " + h.window->places().at(keys->play().pin()).name + ", carrying Germany");

    keys->play().movePin(h.pointOf("Germany") - keys->play().pin());
    EXPECT_EQ(map->text(QAccessible::Description), "Pin over Germany, carrying Germany")
        << "what \"where am I\" reads: the place and the name the pin carries";
    key(Qt::Key_Return);
    EXPECT_FALSE(f.labels(12).Visible);
    EXPECT_EQ(list->childCount(), 40) << "the list holds the names still on the panel";
    for (int i = 0; i < list->childCount(); ++i)
        EXPECT_NE(list->child(i)->text(QAccessible::Name), "Germany");
    EXPECT_EQ(list->indexOfChild(nameItem(keys->names(), 13)), 12) << "Greece moved up";
    EXPECT_TRUE(nameItem(keys->names(), 12)->state().invisible);
    QAccessibleInterface *status = QAccessible::queryAccessibleInterface(h.window->reader().status());
    ASSERT_TRUE(status);
    EXPECT_EQ(status->role(), QAccessible::StatusBar);
    EXPECT_EQ(status->text(QAccessible::Name), "Germany placed, 1 of 41");
    QAccessibleInterface *voice = QAccessible::queryAccessibleInterface(h.window->reader().voice());
    ASSERT_TRUE(voice);
    EXPECT_EQ(voice->role(), QAccessible::Notification) << "what readers speak unasked";
    EXPECT_EQ(voice->text(QAccessible::Name), "Germany placed, 1 of 41");
    EXPECT_EQ(said.count("Germany placed, 1 of 41"), 1) << "told once: " << said.join(" | ").toStdString();
    EXPECT_TRUE(said.contains("Germany picked up")) << said.join(" | ").toStdString();

    QAccessibleInterface *window = QAccessible::queryAccessibleInterface(view);
    EXPECT_EQ(window->role(), QAccessible::Window);
    EXPECT_EQ(window->text(QAccessible::Name), "Orbenvale Tessary Plunor");
    QAccessibleInterface *text = QAccessible::queryAccessibleInterface(text1);
    EXPECT_EQ(text->text(QAccessible::Description), "Press Tab to reach the country names");
    key(Qt::Key_Tab);
    key(Qt::Key_Tab);
    key(Qt::Key_Return);  // Restart
    EXPECT_EQ(list->childCount(), 41) << "Germany is back";
    EXPECT_EQ(said.back(), "New round, 41 names to place");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(restart)->text(QAccessible::Name), "Restart");
}

}  // namespace
