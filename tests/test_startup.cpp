// SPDX-License-Identifier: MIT
// Start-up of the quiz window: the numbered sequence, its reports, the item
// list, the drop zones and the start-up services.
#include "services.h"
#include "skincontrol.h"
#include "fifo.h"
#include "harness.h"

#include <QBuffer>
#include <QImageWriter>
#include <gtest/gtest.h>

namespace {

QByteArray cursorFile()
{
    QImage img(32, 32, QImage::Format_ARGB32);
    img.fill(Qt::white);
    QByteArray ico;
    QBuffer buffer(&ico);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "ico").write(img);
    ico[2] = 2;
    return ico;
}

// A skin control that keeps what it is told, as a real one would: the skin
// loaded, its options, and what it had when the window was handed to it.
class FakeSkin : public SkinDispatch {
public:
    QVariant invoke(int dispid, DispatchKind kind, const QVariantList &args) override
    {
        ++calls;
        switch (dispid) {
        case skin::LoadSkin:
            loaded = args.value(0).toString();
            return {};
        case skin::Options:
            if (kind == DispatchKind::PropertyGet)
                return QVariant(options);
            options = args.value(0).toInt();
            return {};
        case skin::ApplyOptions:
            applyOptions = args.value(0).toBool();
            return {};
        case skin::ApplyFrame:
            applyFrame = args.value(0).toBool();
            return {};
        case skin::ApplyWindow:
            window = args.value(0).toInt();
            loadedWhenApplied = loaded;
            optionsWhenApplied = options;
            bothAppliedFirst = applyOptions && applyFrame;
            return {};
        default:
            throw FormsError(438, QStringLiteral("Object doesn't support this property or method"));
        }
    }
    int calls = 0;
    QString loaded, loadedWhenApplied;
    qint32 options = 6, optionsWhenApplied = 0;
    bool applyOptions = false, applyFrame = false, bothAppliedFirst = false;
    qint32 window = 0;
};

TEST(Startup, CleanStartShowsAFreshBoardWithoutReports)
{
    Harness h;
    h.write("items.txt", countryList());
    Form1 &f = h.load();
    EXPECT_TRUE(h.boxes.boxes.empty());
    EXPECT_TRUE(h.shell.runs.empty());
    EXPECT_EQ(f.Caption, "Orbenvale Tessary Plunor");
    EXPECT_EQ(f.App.Title, "Orbenvale Tessary");
    EXPECT_FALSE(f.Icon.isNull());
    EXPECT_TRUE(f.MouseIcon.isNull());
    EXPECT_EQ(f.BackColor, vbWhite) << "no skin: layout colours stay";
    EXPECT_EQ(f.placedcount, 0);
    for (int i = 0; i < 41; ++i) {
        EXPECT_EQ(f.labels(i).Caption, QString::fromLatin1(layout::kMapLabels[i].country));
        EXPECT_EQ(f.labels(i).Tag, f.labels(i).Caption);
        EXPECT_TRUE(f.labels(i).Visible);
        EXPECT_FALSE(f.maplabel(i).Visible);
    }
    ASSERT_EQ(f.piccoor.count(), 103);
    for (int j = 0; j < 103; ++j) {
        const Control &zone = f.piccoor(j), &region = f.shape(j);
        EXPECT_EQ(zone.rect(), region.rect());
        EXPECT_EQ(zone.Tag, region.Tag);
        EXPECT_TRUE(zone.Visible);
        EXPECT_EQ(zone.DragMode, 0);
        EXPECT_TRUE(zone.Picture.isNull());
        EXPECT_EQ(region.BorderStyle, 0);
        EXPECT_EQ(f.stacking()[102 - j], &zone) << "zones stacked by index, all in front";
    }
    EXPECT_TRUE(h.sounds.played.empty());
}

TEST(Startup, FailuresAreReportedOnceAndStartupGoesOn)
{
    Harness h;
    h.write("items.txt", countryList());
    h.write("HAND-M.CUR", "not a cursor at all");
    Form1 &f = h.create();
    f.maplabel.Unload(5);  // the new round cannot hide it
    h.load();
    EXPECT_EQ(reportLines(h.boxes.boxes), (std::vector<int>{106, 104}));
    EXPECT_TRUE(
        h.boxes.boxes[0].prompt.startsWith("Invalid picture\r\nin Orbenvale2017/04/05.Form1.Form_Load at line 106"));
    EXPECT_TRUE(h.boxes.boxes[1].prompt.startsWith(
        "Control array element '5' doesn't exist\r\nin Orbenvale2017/04/05.Form1.PushButton1_Click at line 104"));
    EXPECT_TRUE(f.MouseIcon.isNull());
    EXPECT_EQ(f.Caption, "Orbenvale Tessary Plunor");
    EXPECT_FALSE(f.Icon.isNull());
    EXPECT_EQ(f.App.Title, "Orbenvale Tessary");
    EXPECT_TRUE(f.labels(5).Visible) << "the round went on with line 106 for the same index";
    EXPECT_TRUE(f.labels(40).Visible);
    EXPECT_EQ(f.piccoor.count(), 103);
}

TEST(Startup, DropZonesThatCannotBeMadeAreReportedStatementByStatementAndStartupGoesOn)
{
    Harness h;
    h.write("items.txt", countryList());
    Form1 &f = h.create();
    f.piccoor.Unload(0);  // without its first element the array cannot make others
    h.load();
    std::vector<int> expected;
    for (int j = 0; j <= 102; ++j) {
        if (j > 0)
            expected.push_back(158);
        for (int line = 160; line <= 174; line += 2)
            expected.push_back(line);
    }
    EXPECT_EQ(reportLines(h.boxes.boxes), expected) << "each statement of each zone, in turn";
    EXPECT_EQ(f.piccoor.count(), 0);
    for (int i = 0; i <= 102; ++i)
        EXPECT_EQ(f.shape(i).BorderStyle, 0) << "the outlines still go";
    // The first round still starts, and nothing on the map takes a drop.
    EXPECT_EQ(f.placedcount, 0);
    EXPECT_TRUE(f.labels(12).Visible);
    h.drag(f.labels(12), {4500, 4500});
    EXPECT_TRUE(h.sounds.played.empty());
    EXPECT_TRUE(f.labels(12).Visible);
}

TEST(Startup, PointerCursorIsUsedWhenPresentEvenHidden)
{
    Harness h;
    h.write("HAND-M.CUR", cursorFile());
    h.write(".hidden", "HAND-M.CUR\n");
    Form1 &f = h.load();
    EXPECT_FALSE(f.MouseIcon.isNull());
    EXPECT_EQ(reportLines(h.boxes.boxes), std::vector<int>{130}) << "only the missing item list";
    EXPECT_EQ(f.labels(0).Caption, "Label3");
}

TEST(Startup, SkinIsAppliedThroughTheSkinControl)
{
    // Absent: nothing changes and the skin control is never called.
    {
        Harness h;
        auto skin = std::make_shared<FakeSkin>();
        h.create().SkinFramework1.object = skin;
        Form1 &f = h.load();
        EXPECT_EQ(skin->calls, 0);
        EXPECT_EQ(f.BackColor, vbWhite);
    }
    // Hidden: not found either.
    {
        Harness h;
        h.write("x/o.cjs", "QPushButton { color: red; }");
        h.write("x/.hidden", "o.cjs\n");
        auto skin = std::make_shared<FakeSkin>();
        h.create().SkinFramework1.object = skin;
        Form1 &f = h.load();
        EXPECT_EQ(skin->calls, 0);
        EXPECT_EQ(f.labels(3).BackColor, vbButtonFace) << "layout value";
        EXPECT_EQ(f.BackColor, vbWhite);
    }
    // Present: colours change, and the window is handed to the skin control
    // once the skin is loaded from its file with the child-control option
    // added to what the control had, for controls made later and the frame too.
    {
        Harness h;
        h.write("x/o.cjs", "QPushButton { color: red; }");
        auto skin = std::make_shared<FakeSkin>();
        h.create().SkinFramework1.object = skin;
        for (int i = 0; i < 41; ++i)
            h.form->labels(i).BackColor = vbWhite;
        Form1 &f = h.load();
        EXPECT_EQ(f.BackColor, vbButtonFace);
        for (Control *c : f.Controls()) {
            if (c->kind == ControlKind::Label) {
                EXPECT_EQ(c->BackColor, vbButtonFace) << c->displayName().toStdString();
            }
        }
        EXPECT_EQ(f.PushButton1.BackColor, vbWhite) << "buttons are not labels";
        EXPECT_EQ(skin->window, f.hWnd);
        EXPECT_EQ(skin->loadedWhenApplied, h.dir.path() + "\\x\\o.cjs");
        EXPECT_EQ(skin->optionsWhenApplied, 6 | 1) << "child controls skinned, the control's own options kept";
        EXPECT_TRUE(skin->bothAppliedFirst);
    }
}

TEST(Startup, RejectedSkinIsReportedAtItsLineAndTheCursorStepStillRuns)
{
    Harness h;
    h.write("x/o.cjs", "QPushButton { color: red; ");
    h.write("HAND-M.CUR", cursorFile());
    Form1 &f = h.load();
    ASSERT_EQ(reportLines(h.boxes.boxes), (std::vector<int>{102, 130}));
    EXPECT_TRUE(h.boxes.boxes[0].prompt.startsWith("The skin could not be loaded: "));
    EXPECT_EQ(f.BackColor, vbButtonFace) << "colour changes stay";
    EXPECT_TRUE(f.StyleSheet.isEmpty());
    EXPECT_FALSE(f.MouseIcon.isNull());
}

TEST(Startup, ValidSkinReachesTheWindow)
{
    Harness h;
    h.write("x/o.cjs", "/* } */ QPushButton#PushButton1 { color: red; }");
    Form1 &f = h.load();
    EXPECT_EQ(f.StyleSheet, "/* } */ QPushButton#PushButton1 { color: red; }");
    EXPECT_EQ(StyleSheetSkin::problemWith(QByteArray("a { }\0", 6)), "it is not a text file");
    EXPECT_EQ(StyleSheetSkin::problemWith("a { } }"), "a \"}\" has no matching \"{\"");
    EXPECT_EQ(StyleSheetSkin::problemWith("just words"), "it holds no style rules");
    // Braces in strings and comments are text, for the check and the pictures alike.
    const QByteArray quoted = "QLabel { qproperty-text: \"}\"; } /* { */ QPushButton { image: url(':/x') }";
    EXPECT_EQ(StyleSheetSkin::problemWith(quoted), "");
    QString problem;
    EXPECT_EQ(StyleSheetSkin::withCheckedPictures(QString::fromUtf8(quoted), h.dir.path(), &problem),
              "QLabel { qproperty-text: \"}\"; } /* { */ QPushButton { image: url(\":/x\") }");
    EXPECT_EQ(problem, "");
    EXPECT_EQ(StyleSheetSkin::problemWith("a { content: \"} }"), "a string is not closed");
    EXPECT_EQ(StyleSheetSkin::problemWith("a { } /* }"), "a comment is not closed");
    EXPECT_EQ(StyleSheetSkin::problemWith("a { image: url(\"b.png) }"), "a url( is not closed");
}

QByteArray pngFile(QSize size)
{
    QImage img(size, QImage::Format_Mono);
    img.fill(0);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "png").write(img);
    return png;
}

TEST(Startup, PipesAndDevicesNeverStallStartup)
{
    // Pointer cursor, skin and the skin folder's hidden list as FIFOs: each
    // step reports or skips, and start-up comes through.
    {
        Harness h;
        h.write("items.txt", countryList());
        QDir(h.dir.path()).mkpath("x");
        FifoWatchdog cursor(h.dir.path() + "/HAND-M.CUR");
        FifoWatchdog skin(h.dir.path() + "/x/o.cjs");
        Form1 &f = h.load();
        EXPECT_FALSE(cursor.released() || skin.released()) << "start-up waited for a writer";
        ASSERT_EQ(reportLines(h.boxes.boxes), (std::vector<int>{102, 106}));
        EXPECT_EQ(h.boxes.boxes[0].prompt.section("\r\n", 0, 0),
                  "The skin could not be loaded: " + h.dir.path() + "/x/o.cjs is not a regular file");
        EXPECT_TRUE(h.boxes.boxes[1].prompt.startsWith("Path/File access error\r\n"));
        EXPECT_TRUE(f.MouseIcon.isNull());
        EXPECT_TRUE(f.StyleSheet.isEmpty());
        EXPECT_EQ(f.labels(40).Caption, QString::fromLatin1(layout::kMapLabels[40].country));
    }
    {
        Harness h;
        h.write("items.txt", countryList());
        h.write("x/o.cjs", "QPushButton { color: red; }");
        FifoWatchdog hidden(h.dir.path() + "/x/.hidden");
        Form1 &f = h.load();
        EXPECT_FALSE(hidden.released()) << "the hidden-file test waited for a writer";
        EXPECT_TRUE(h.boxes.boxes.empty());
        EXPECT_EQ(f.StyleSheet, "QPushButton { color: red; }");
    }
    // Links to endless devices, and a skin over its size limit.
    {
        Harness h;
        h.write("items.txt", countryList());
        QDir(h.dir.path()).mkpath("x");
        ASSERT_TRUE(QFile::link("/dev/zero", h.dir.path() + "/HAND-M.CUR"));
        ASSERT_TRUE(QFile::link("/dev/urandom", h.dir.path() + "/x/o.cjs"));
        h.load();
        ASSERT_EQ(reportLines(h.boxes.boxes), (std::vector<int>{102, 106}));
        EXPECT_TRUE(h.boxes.boxes[0].prompt.contains("o.cjs is not a regular file"));
    }
    {
        Harness h;
        h.write("items.txt", countryList());
        h.write("x/o.cjs", "a { color: red; }\n" + QByteArray(1 << 20, ' '));
        h.load();
        ASSERT_EQ(reportLines(h.boxes.boxes), std::vector<int>{102});
        EXPECT_TRUE(h.boxes.boxes[0].prompt.contains("o.cjs is larger than 1 MiB\r\n"));
    }
}

TEST(Startup, SkinPicturesAreCheckedBeforeTheSkinIsApplied)
{
    auto start = [](Harness &h, const QByteArray &sheet) -> Form1 & {
        h.write("items.txt", countryList());
        h.write("x/o.cjs", sheet);
        return h.load();
    };
    // Pictures beside the skin are named in full, so Qt opens what was checked.
    {
        Harness h;
        h.write("x/pics/button.png", pngFile({8, 8}));
        Form1 &f = start(h, "/* url(no.png) */ QPushButton { border-image: URL( \"pics/button.png\" ) 2; "
                            "qproperty-text: 'url(x)'; } QWidget#Form1 { background: url(:/assets/panel.jpg); }");
        EXPECT_TRUE(h.boxes.boxes.empty());
        EXPECT_EQ(f.StyleSheet, "/* url(no.png) */ QPushButton { border-image: url(\"" + h.dir.path()
                                    + "/x/pics/button.png\") 2; qproperty-text: 'url(x)'; } "
                                      "QWidget#Form1 { background: url(\":/assets/panel.jpg\"); }");
    }
    struct Case {
        const char *what;
        std::function<void(Harness &)> prepare;
        QByteArray sheet;
        QString why;  // after the skin path and ": "
    };
    const std::vector<Case> cases{
        {"a FIFO", [](Harness &h) { ::mkfifo(QFile::encodeName(h.dir.path() + "/x/pipe.png"), 0600); },
         "QPushButton { image: url(pipe.png); }", "the picture %1/x/pipe.png is not a regular file"},
        {"a device", [](Harness &h) { QFile::link("/dev/zero", h.dir.path() + "/x/zero.png"); },
         "QPushButton { image: url(zero.png); }", "the picture %1/x/zero.png is not a regular file"},
        {"a FIFO as the high-resolution variant",
         [](Harness &h) {
             h.write("x/b.png", pngFile({8, 8}));
             ::mkfifo(QFile::encodeName(h.dir.path() + "/x/b@2x.png"), 0600);
         },
         "QPushButton { image: url(b.png); }", "the picture %1/x/b@2x.png is not a regular file"},
        {"missing", [](Harness &) {}, "QPushButton { image: url(gone.png); }",
         "the picture %1/x/gone.png does not exist"},
        {"huge",
         [](Harness &h) {
             h.write("x/huge.png", pngFile({5000, 2}));
         },
         "QPushButton { image: url(huge.png); }", "the picture %1/x/huge.png is larger than 4096 pixels a side"},
        {"not a picture", [](Harness &h) { h.write("x/text.png", "<svg/>"); }, "QPushButton { image: url(text.png); }",
         "%1/x/text.png is not a picture in a format the skin can show"},
        {"not closed", [](Harness &) {}, "QPushButton { image: url(b.png; }", "a url( is not closed"},
        // Written back quoted, this built-in name would end early and leave
        // url(pipe.png) to Qt unchecked.
        {"a quote in a built-in name",
         [](Harness &h) { ::mkfifo(QFile::encodeName(h.dir.path() + "/x/pipe.png"), 0600); },
         "QPushButton { image: url(:/a\"url(pipe.png); }",
         "the picture name \":/a\"url(pipe.png\" is not a plain path; write folders with /"},
    };
    for (const Case &c : cases) {
        Harness h;
        QDir(h.dir.path()).mkpath("x");
        c.prepare(h);
        Form1 &f = start(h, c.sheet);
        ASSERT_EQ(reportLines(h.boxes.boxes), std::vector<int>{102}) << c.what;
        EXPECT_EQ(h.boxes.boxes[0].prompt.section("\r\n", 0, 0),
                  "The skin could not be loaded: " + h.dir.path() + "/x/o.cjs: " + c.why.arg(h.dir.path()))
            << c.what;
        EXPECT_TRUE(f.StyleSheet.isEmpty()) << c.what;
    }
}

TEST(Startup, ApplicationTitleDropsWords)
{
    EXPECT_EQ(cutAppTitle("Orbenvale Tessary Plunor"), "Orbenvale Tessary");
    EXPECT_EQ(cutAppTitle("An Extraordinarily Long Product Name For A Quiz"),
              "An Extraordinarily Long Product Name For");
    EXPECT_EQ(cutAppTitle(" Alone"), "");
    EXPECT_THROW(cutAppTitle("Orbenvale"), FormsError);
    EXPECT_THROW(cutAppTitle("Supercalifragilisticexpialidociouslylongword X"), FormsError);

    Harness noBlank;
    Form1 &g = noBlank.create("Orbenvale");
    noBlank.load();
    EXPECT_EQ(reportLines(noBlank.boxes.boxes), (std::vector<int>{108, 130}));
    EXPECT_TRUE(noBlank.boxes.boxes[0].prompt.startsWith("Invalid procedure call or argument\r\n"));
    EXPECT_EQ(g.App.Title, "Orbenvale") << "title keeps its initial value";
    EXPECT_EQ(g.Caption, "Orbenvale") << "caption and title come from the one product name";
}

TEST(Startup, HomePageOpensOnAboutOneStartInAHundred)
{
    Harness h;
    Form1 &f = h.create();
    int opened = 0;
    const int starts = 20000;
    for (int i = 0; i < starts; ++i) {
        h.seed = float(i) * 4.3201f;  // spread over the day, with fractions
        OpenHomePageByChance(f);
        opened = int(h.shell.runs.size());
    }
    EXPECT_GT(opened, starts / 100 * 7 / 10);
    EXPECT_LT(opened, starts / 100 * 13 / 10);
    ASSERT_FALSE(h.shell.runs.empty());
    EXPECT_EQ(h.shell.runs[0].first, "explorer \"https://www.orbenvale.org/\"");
    EXPECT_EQ(h.shell.runs[0].second, 2);

    // The same time of day always gives the same draw: a time that opens the
    // page opens it every time, one that does not never does.
    float opening = -1, quiet = -1;
    for (int i = 0; (opening < 0 || quiet < 0) && i < starts; ++i) {
        h.shell.runs.clear();
        h.seed = float(i) * 0.37f;
        OpenHomePageByChance(f);
        (h.shell.runs.empty() ? quiet : opening) = h.seed;
    }
    ASSERT_GE(opening, 0);
    for (const float seed : {opening, quiet, opening}) {
        h.shell.runs.clear();
        h.seed = seed;
        for (int k = 0; k < 5; ++k)
            OpenHomePageByChance(f);
        EXPECT_EQ(h.shell.runs.size(), seed == opening ? 5u : 0u) << "time of day " << seed;
    }
}

TEST(Startup, CommandThatCannotStartIsReportedAtItsLine)
{
    Harness h;
    h.write("items.txt", countryList());
    h.create();
    // Find a time of day that draws the home page.
    for (int i = 0; h.shell.runs.empty(); ++i) {
        h.seed = float(i) * 0.37f;
        OpenHomePageByChance(*h.form);
    }
    h.shell.fail = true;
    h.load();
    EXPECT_EQ(reportLines(h.boxes.boxes), std::vector<int>{110});
    EXPECT_EQ(h.form->labels(0).Caption, "Albania") << "start-up went on";
}

}  // namespace
