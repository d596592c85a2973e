// SPDX-License-Identifier: MIT
// The window model: control arrays, stacking and hit-testing, automatic drag.
#include "errorreport.h"
#include "guard.h"
#include "harness.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// A window of two overlapping draggable labels and an image, recording events.
class RecordingForm : public Form {
public:
    explicit RecordingForm(Platform &p) : Form(p)
    {
        ClientWidth = ClientHeight = 3000;
        image = &addControl(ControlKind::Image, "target");
        image->Left = 1000, image->Top = 1000, image->Width = 1000, image->Height = 1000;
        for (int i = 0; i < 2; ++i) {
            Control &l = addControl(ControlKind::Label, "name", i);
            l.Left = 0, l.Top = i * 200, l.Width = 500, l.Height = 300;
            l.DragMode = 1;
        }
    }
    Control *image;
    QStringList events;

protected:
    void dragOver(Control &t, Control &s, float x, float y, int state) override
    {
        events << QStringLiteral("over %1 %2 %3 %4,%5").arg(t.displayName(), s.displayName()).arg(state).arg(x).arg(y);
    }
    void dragDrop(Control &t, Control &s, float x, float y) override
    {
        events << QStringLiteral("drop %1 %2 %3,%4").arg(t.displayName(), s.displayName()).arg(x).arg(y);
    }
    void formMouseMove(int, int, float, float) override { events << "move"; }
};

TEST(Forms, ControlArraysReportMissingElementsAndLoadInvisibleCopies)
{
    Harness h;
    Form1 &f = h.create();
    EXPECT_EQ(f.labels.count(), 41);
    EXPECT_EQ(f.piccoor.count(), 1);
    try {
        f.labels(41);
        FAIL() << "labels(41) must not exist";
    } catch (const FormsError &e) {
        EXPECT_EQ(e.Number, 340);
        EXPECT_EQ(e.Description, "Control array element '41' doesn't exist");
    }
    f.piccoor(0).Tag = "template";
    Control &zone = f.piccoor.Load(7);
    EXPECT_FALSE(zone.Visible);
    EXPECT_EQ(zone.Index, 7);
    EXPECT_EQ(zone.Tag, "template");
    EXPECT_EQ(zone.DragMode, 1) << "copied from element 0";
    EXPECT_EQ(f.stacking().front(), &zone) << "a new element starts in front";
    EXPECT_THROW(f.piccoor.Load(7), FormsError);

    // Unloaded, an element is gone from the window: nothing of it paints or
    // takes the mouse, and what it showed is repainted.
    zone.Left = 100, zone.Top = 100, zone.Width = 300, zone.Height = 300;
    zone.Picture = f.Image2.Picture;
    zone.Visible = true;
    f.takeChangedRects();
    ASSERT_EQ(f.hitTest({200, 200}), &zone);
    f.piccoor.Unload(7);
    EXPECT_FALSE(f.piccoor.exists(7));
    EXPECT_EQ(f.hitTest({200, 200}), &f.Image1);
    EXPECT_EQ(std::count_if(f.Controls().begin(), f.Controls().end(),
                            [](const Control *c) { return c->Name == "piccoor" && c->Index == 7; }),
              0);
    const std::vector<QRect> gone = f.takeChangedRects();
    EXPECT_NE(std::find(gone.begin(), gone.end(), QRect(100, 100, 300, 300)), gone.end());
    EXPECT_THROW(f.piccoor.Unload(7), FormsError);
    EXPECT_EQ(f.piccoor.Load(7).Visible, false) << "and can be loaded again";
}

TEST(Forms, TheLayoutMakesTheWindowThePlayerSees)
{
    Harness h;
    Form1 &f = h.create();
    const QRect client(0, 0, f.ClientWidth, f.ClientHeight);
    // The two pictures cover the whole window: the background shows nowhere.
    for (int y = 0; y < f.ClientHeight; y += 15)
        for (int x = 0; x < f.ClientWidth; x += 15)
            ASSERT_TRUE(f.Image1.rect().contains(x, y) || f.Image3.rect().contains(x, y)) << x << "," << y;
    // The map reaches exactly as far as the regions drawn for it; the panel shows beyond.
    int right = 0;
    for (const auto &r : layout::kRegions)
        right = std::max(right, r.left + r.width);
    EXPECT_EQ(f.Image1.rect().right() + 1, right);
    EXPECT_EQ(f.Image3.rect().right(), client.right()) << "the panel reaches the right edge";

    // The names stand in two columns on the panel, one under the other, each
    // overlapping the next; the columns do not overlap each other.
    for (int i = 0; i < layout::kItemCount; ++i) {
        const QRect r = f.labels(i).rect();
        EXPECT_TRUE(client.contains(r)) << i;
        EXPECT_GT(r.left(), f.Image1.rect().right()) << i << " on the panel";
        const bool firstOfColumn = i == 0 || i == layout::kLeftColumnNames;
        if (!firstOfColumn) {
            const QRect above = f.labels(i - 1).rect();
            EXPECT_EQ(r.left(), above.left()) << i;
            EXPECT_GT(r.top(), above.top()) << i;
            EXPECT_TRUE(r.intersects(above)) << i << " overlaps the name above";
        }
    }
    EXPECT_FALSE(f.labels(0).rect().intersects(f.labels(layout::kLeftColumnNames).rect()));
    // The instructions and buttons lie on the panel, clear of the names.
    for (Control *c : {&f.Label1, &f.Label2, &f.PushButton1, &f.PushButton2}) {
        EXPECT_TRUE(client.contains(c->rect())) << c->Name.toStdString();
        for (int i = 0; i < layout::kItemCount; ++i)
            EXPECT_FALSE(c->rect().intersects(f.labels(i).rect())) << c->Name.toStdString() << " and name " << i;
    }
    EXPECT_FALSE(f.PushButton1.rect().intersects(f.PushButton2.rect()));
    // The text box and the player are never seen; the focus starts on the text box.
    EXPECT_FALSE(client.intersects(f.Text1.rect()));
    EXPECT_FALSE(client.intersects(f.wmp1.rect()));
    EXPECT_LT(f.Text1.TabIndex, f.PushButton1.TabIndex);
    EXPECT_LT(f.PushButton1.TabIndex, f.PushButton2.TabIndex);

    // Map labels and regions stand where the layout's table has them.
    for (int i = 0; i < layout::kItemCount; ++i) {
        const auto &m = layout::kMapLabels[i];
        EXPECT_EQ(f.maplabel(i).rect(), QRect(m.left, m.top, m.width, m.height)) << i;
    }
    ASSERT_EQ(f.shape.count(), layout::kRegionCount);
    for (int i = 0; i < layout::kRegionCount; ++i) {
        const auto &r = layout::kRegions[i];
        EXPECT_EQ(f.shape(i).rect(), QRect(r.left, r.top, r.width, r.height)) << i;
        EXPECT_EQ(f.shape(i).Tag, r.tag) << i;
    }
}

TEST(Forms, EveryListenerHearsEveryChange)
{
    Harness h;
    h.write("items.txt", countryList());
    Form1 &f = h.load();
    QStringList heard;
    QObject::connect(&f, &Form::changed, [&] { heard << "first changed"; });
    QObject::connect(&f, &Form::dropped, [&](Control &, Control *) { heard << "first dropped"; });
    QObject::connect(&f, &Form1::dropJudged, [&](const DropOutcome &) { heard << "first judged"; });
    QObject::connect(&f, &Form::changed, [&] { heard << "second changed"; });
    QObject::connect(&f, &Form::dropped, [&](Control &, Control *) { heard << "second dropped"; });
    QObject::connect(&f, &Form1::dropJudged, [&](const DropOutcome &) { heard << "second judged"; });
    h.drag(f.labels(12), h.pointOf("Germany"));
    for (const char *what :
         {"first changed", "second changed", "first dropped", "second dropped", "first judged", "second judged"})
        EXPECT_TRUE(heard.contains(what)) << what << ": " << heard.join(", ").toStdString();
    EXPECT_LT(heard.indexOf("first judged"), heard.indexOf("second judged")) << "in the order they came";
}

TEST(Forms, HitTestFollowsTheStackingOrder)
{
    Harness h;
    Form1 &f = h.create();
    // Where two name labels overlap, 13 lies over 12, but 9 over 10.
    auto strip = [&](int lower) {  // a point in the strip both cover
        const QRect a = f.labels(lower).rect(), b = f.labels(lower + 1).rect();
        const QPoint p(b.left() + 70, b.top() + 30);
        EXPECT_TRUE(a.contains(p) && b.contains(p));
        return p;
    };
    EXPECT_EQ(f.hitTest(strip(12)), &f.labels(13));
    EXPECT_EQ(f.hitTest(strip(9)), &f.labels(9));
    EXPECT_EQ(f.hitTest(strip(10)), &f.labels(10));
    EXPECT_EQ(f.hitTest(strip(27)), &f.labels(28));
    // Windowed controls lie above everything windowless.
    EXPECT_EQ(f.hitTest({9100, 7500}), &f.PushButton1);
    // Shapes and hidden controls take no mouse: the map picture is under them.
    EXPECT_EQ(f.hitTest({4800, 5400}), &f.Image1);
    EXPECT_EQ(f.hitTest({12000, 6000}), &f.Image3);
    EXPECT_EQ(f.hitTest({-5, 100}), nullptr) << "outside the client area";
    f.ZOrder(f.Image3);
    EXPECT_EQ(f.hitTest(strip(12)), &f.Image3);
}

TEST(Forms, AutomaticDragDeliversOverAndDropToTheTopmostControl)
{
    Harness h;
    RecordingForm f(h.platform);
    f.mouseMove({2500, 2500});
    f.mouseDown({100, 250});  // where name(1) lies over name(0)
    ASSERT_EQ(f.dragSource(), &f.array("name")(1));
    f.mouseMove({100, 260});
    f.mouseMove({100, 100});
    f.mouseMove({1500, 1500});
    f.mouseUp({1200, 1300});
    EXPECT_EQ(f.dragSource(), nullptr);
    EXPECT_EQ(f.events, (QStringList{"move", "over name(1) name(1) 2 100,60", "over name(1) name(1) 1 100,-100",
                                     "over name(0) name(1) 0 100,100", "over name(0) name(1) 1 1500,1500",
                                     "over target name(1) 0 500,500", "drop target name(1) 200,300"}));

    // No drag from a control without automatic drag mode, and no drop outside.
    f.events.clear();
    f.mouseDown({1500, 1500});
    f.mouseUp({100, 100});
    f.mouseDown({100, 100});
    f.mouseUp({2900, 2900});
    EXPECT_EQ(f.events, QStringList{});
}

TEST(Forms, ReportsOnlyWhatChangedOnScreen)
{
    Harness h;
    h.write("items.txt", countryList());
    Form1 &f = h.load();
    const QRect client(0, 0, f.ClientWidth, f.ClientHeight);
    const std::vector<QRect> first = f.takeChangedRects();
    EXPECT_NE(std::find(first.begin(), first.end(), client), first.end()) << "everything is new at first";

    f.mouseMove({3000, 3000});
    f.mouseMove({3100, 3200});
    EXPECT_TRUE(f.takeChangedRects().empty()) << "a pointer move over the map changes nothing on screen";

    h.drag(f.labels(12), h.pointOf("Germany"));
    ASSERT_TRUE(f.maplabel(12).Visible);
    const std::vector<QRect> drop = f.takeChangedRects();
    EXPECT_NE(std::find(drop.begin(), drop.end(), f.labels(12).rect()), drop.end()) << "the name leaves the column";
    EXPECT_NE(std::find(drop.begin(), drop.end(), f.maplabel(12).rect()), drop.end()) << "and shows on the map";
    EXPECT_EQ(std::find(drop.begin(), drop.end(), client), drop.end());
    EXPECT_TRUE(f.takeChangedRects().empty()) << "each change is reported once";

    // Looks the controls do not hold are marked by whoever draws them.
    f.invalidate(QRect(30, 45, 600, 300));
    EXPECT_EQ(f.takeChangedRects(), std::vector<QRect>{QRect(30, 45, 600, 300)});
    for (int k = 0; k < 1000; ++k)
        f.invalidate(QRect(k, k, 15, 15));
    EXPECT_LE(f.takeChangedRects().size(), 300u) << "unclaimed areas do not pile up";
}

TEST(ErrorReport, TextIsExact)
{
    const QString location = "in Orbenvale2017/04/05.Form1.Form_Load ";
    EXPECT_EQ(errorReportText("File not found", location, 130),
              "File not found\r\nin Orbenvale2017/04/05.Form1.Form_Load at line 130\r\r"
              "Please email screenshot of this message to support@orbenvale.org");
    EXPECT_TRUE(errorReportText("", location, 7).startsWith("\r\nin Orbenvale"));
}

TEST(ErrorReport, GuardReportsEachFailureAndResumes)
{
    Harness h;
    RecordingForm f(h.platform);
    Guard guard(f, "in Orbenvale2017/04/05.Form1.PushButton1_Click ");
    QStringList ran;
    guard.run(100, [&] { ran << "100"; });
    EXPECT_FALSE(guard.run(102, [&] { throw FormsError(5, "first"); }));
    guard.run(104, [&] { ran << "104"; });
    if (guard.test(106, [&]() -> bool { throw FormsError(6, "second"); }))
        ran << "body";
    if (guard.test(108, [] { return false; }))
        ran << "not entered";
    EXPECT_FALSE(guard.runQuietly([] { throw FormsError(7, "quiet"); })) << "failed, and not reported";
    EXPECT_TRUE(guard.runQuietly([&] { ran << "quiet"; }));
    EXPECT_EQ(ran, (QStringList{"100", "104", "body", "quiet"}));
    ASSERT_EQ(h.boxes.boxes.size(), 2u);
    EXPECT_EQ(reportLines(h.boxes.boxes), (std::vector<int>{102, 106}));
    EXPECT_EQ(h.boxes.boxes[0].style, 48);
    EXPECT_EQ(h.boxes.boxes[0].title, "Application Error");
    EXPECT_EQ(h.boxes.boxes[0].prompt, "first\r\nin Orbenvale2017/04/05.Form1.PushButton1_Click at line 102");

    // The quiz window words its reports as its error report does.
    Form1 &quiz = h.create();
    Guard quizGuard(quiz, "in Orbenvale2017/04/05.Form1.PushButton1_Click ");
    quizGuard.run(102, [] { throw FormsError(5, "first"); });
    EXPECT_EQ(h.boxes.boxes.back().prompt,
              errorReportText("first", "in Orbenvale2017/04/05.Form1.PushButton1_Click ", 102));
}

}  // namespace
