// The quiz window on screen (offscreen platform): size, frame, painting,
// mouse input turned into drags, pointer shapes, skin and closing.
#include "formview.h"
#include "qtplatform.h"
#include "harness.h"

#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

class View : public ::testing::Test {
protected:
    void SetUp() override
    {
        h.write("items.txt", countryList());
        h.create();
        view = std::make_unique<FormView>(*h.form);
        h.load();
    }
    void send(QEvent::Type type, QPoint pixels, Qt::MouseButtons buttons)
    {
        QMouseEvent e(type, QPointF(pixels), view->mapToGlobal(QPointF(pixels)),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(view.get(), &e);
    }
    static QPoint px(QPoint twips) { return twips / FormView::kTwipsPerPixel; }

    Harness h;
    std::unique_ptr<FormView> view;
};

TEST_F(View, WindowHasTheLayoutsFrameAndControls)
{
    EXPECT_EQ(view->size(), QSize(901, 547));
    EXPECT_EQ(view->minimumSize(), view->maximumSize()) << "fixed size";
    EXPECT_FALSE(view->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(view->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(view->windowTitle(), "Orbenvale Tessary Plunor");
    EXPECT_FALSE(view->windowIcon().isNull());

    auto *restart = view->findChild<QPushButton *>("PushButton1");
    auto *exit = view->findChild<QPushButton *>("PushButton2");
    auto *text1 = view->findChild<QLineEdit *>("Text1");
    ASSERT_TRUE(restart && exit && text1);
    EXPECT_EQ(restart->text(), "Restart");
    EXPECT_EQ(restart->geometry(), QRect(600, 496, 144, 27));
    EXPECT_EQ(exit->geometry(), QRect(752, 496, 136, 27));
    EXPECT_EQ(text1->geometry().left(), 920) << "outside the client area";
    EXPECT_EQ(view->focusWidget(), text1) << "the focus starts out of sight";
    EXPECT_EQ(text1->nextInFocusChain(), restart);
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
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), restart->mapToGlobal(QPointF(5, 5)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(restart, &move);
    EXPECT_EQ(f.MousePointer, vbCustom);
    EXPECT_EQ(view->cursor().shape(), Qt::BitmapCursor);
    send(QEvent::MouseMove, {300, 300}, Qt::NoButton);
    EXPECT_EQ(view->cursor().shape(), Qt::ArrowCursor);
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
