// SPDX-License-Identifier: MIT
// Reading items.txt into the name labels.
#include "fifo.h"
#include "assetfiles.h"
#include "harness.h"

#include <gtest/gtest.h>

namespace {

struct Loaded {
    std::vector<int> reports;
    QStringList captions, tags;
};

Loaded loadItems(const QByteArray &items)
{
    Harness h;
    h.write("items.txt", items);
    Form1 &f = h.load();
    Loaded out;
    out.reports = reportLines(h.boxes.boxes);
    for (int i = 0; i < 41; ++i) {
        out.captions << f.labels(i).Caption;
        out.tags << f.labels(i).Tag;
    }
    return out;
}

TEST(ItemList, CaptionIsTheFirstFieldAndTagTheWholeLine)
{
    const Loaded l = loadItems("A\r\nA,B\r\nA,B,C\r\n,B\r\n A ,B\r\nTab\there");
    EXPECT_TRUE(l.reports.empty());
    EXPECT_EQ(l.captions.mid(0, 7), (QStringList{"A", "A", "A", "", " A ", "Tab\there", "Label3"}));
    EXPECT_EQ(l.tags.mid(0, 7), (QStringList{"A", "A,B", "A,B,C", ",B", " A ,B", "Tab\there", ""}));
}

TEST(ItemList, ShortAndLongFiles)
{
    QByteArray forty;
    for (int i = 0; i < 40; ++i)
        forty += "Item " + QByteArray::number(i) + "\r\n";
    Loaded l = loadItems(forty);
    EXPECT_TRUE(l.reports.empty());
    EXPECT_EQ(l.captions[39], "Item 39");
    EXPECT_EQ(l.captions[40], "Label3") << "the layout caption stays";

    QByteArray fortyThree = forty + "Item 40\r\nItem 41\r\nItem 42,x\r\n";
    l = loadItems(fortyThree);
    EXPECT_EQ(l.reports, (std::vector<int>{142, 148, 142, 146}));
    EXPECT_EQ(l.captions[40], "Item 40");
}

TEST(ItemList, EmptyLinesUseUpALabelWithTwoReports)
{
    const Loaded l = loadItems("A\r\n\r\nB\r\n");
    EXPECT_EQ(l.reports, (std::vector<int>{142, 148}));
    EXPECT_EQ(l.captions.mid(0, 3), (QStringList{"A", "Label3", "B"}));
    EXPECT_EQ(l.tags.mid(0, 3), (QStringList{"A", "", "B"}));
}

TEST(ItemList, MissingFileIsReportedOnceAndTheBoardStillComesUp)
{
    Harness h;
    Form1 &f = h.load();
    ASSERT_EQ(reportLines(h.boxes.boxes), std::vector<int>{130});
    EXPECT_TRUE(h.boxes.boxes[0].prompt.startsWith("File not found\r\n"));
    EXPECT_EQ(f.labels(0).Caption, "Label3");
    EXPECT_EQ(f.piccoor.count(), 103);
    EXPECT_TRUE(f.labels(40).Visible);
}

TEST(ItemList, ListsSavedAsUtf8OrWindows1252ReadAlike)
{
    const Loaded utf8 = loadItems("\xEF\xBB\xBF"
                                  "Cura\xC3\xA7"
                                  "ao\r\nZ\xC3\xBCrich");
    const Loaded ansi = loadItems("Cura\xE7"
                                  "ao\r\nZ\xFC"
                                  "rich");
    EXPECT_EQ(utf8.captions.mid(0, 2), ansi.captions.mid(0, 2));
    EXPECT_EQ(utf8.captions[0], QString::fromUtf8("Cura\xC3\xA7"
                                                  "ao"));
    EXPECT_EQ(ansi.captions[1], QString::fromUtf8("Z\xC3\xBCrich"));
}

TEST(ItemList, LinuxAndOldMacLineEndsReadAlike)
{
    const Loaded lf = loadItems(countryList("\n"));
    EXPECT_TRUE(lf.reports.empty());
    const Loaded crlf = loadItems(countryList());
    EXPECT_EQ(lf.captions, crlf.captions);
    EXPECT_EQ(lf.captions[40], QString::fromLatin1(layout::kMapLabels[40].country));
    EXPECT_EQ(loadItems(countryList("\r")).captions, crlf.captions);
    const Loaded mixed = loadItems("A\nB,x\r\nC\rD");
    EXPECT_EQ(mixed.captions.mid(0, 5), (QStringList{"A", "B", "C", "D", "Label3"}));
    EXPECT_EQ(mixed.tags[1], "B,x");
}

TEST(ItemList, ManyUnusableLinesGiveAFewReportsAndOneSummary)
{
    // Four surplus lines: their reports as always.
    Loaded l = loadItems(countryList() + "A\r\nB,c\r\nC\r\n\r\n");
    EXPECT_EQ(l.reports, (std::vector<int>{142, 148, 142, 146, 142, 148, 142, 148}));

    // A hundred thousand: the same eight, then one report with the count.
    QByteArray flood = countryList();
    for (int i = 0; i < 100000; ++i)
        flood += "Extra\n";
    Harness h;
    h.write("items.txt", flood);
    Form1 &f = h.load();
    EXPECT_EQ(reportLines(h.boxes.boxes), (std::vector<int>{142, 148, 142, 148, 142, 148, 142, 148, 134}));
    ASSERT_EQ(h.boxes.boxes.size(), 9u);
    EXPECT_TRUE(h.boxes.boxes.back().prompt.startsWith(
        "99996 more lines of the item list could not be shown: empty, or beyond the 41 names the board holds\r\n"
        "in Orbenvale2017/04/05.Form1.Form_Load at line 134"))
        << h.boxes.boxes.back().prompt.toStdString();
    EXPECT_EQ(f.labels(0).Caption, "Albania");
    EXPECT_EQ(f.labels(40).Caption, QString::fromLatin1(layout::kMapLabels[40].country));
    EXPECT_EQ(f.piccoor.count(), 103) << "start-up went on";

    // Empty lines beyond the reported ones still use up their labels.
    l = loadItems("\n\n\n\n\n\nA\nB\n");
    EXPECT_EQ(l.reports, (std::vector<int>{142, 148, 142, 148, 142, 148, 142, 148, 134}));
    EXPECT_EQ(l.captions.mid(5, 4), (QStringList{"Label3", "A", "B", "Label3"}));
}

TEST(ItemList, LinesPastTheSixteenBitIndexDoNotWrapOntoTheFirstLabels)
{
    QByteArray items = "First\n";
    for (int i = 1; i < 65536; ++i)
        items += "\n";
    items += "Wrapped\n";
    const Loaded l = loadItems(items);
    EXPECT_EQ(l.captions[0], "First");
    EXPECT_EQ(l.tags[0], "First");
    EXPECT_LE(l.reports.size(), 9u);
}

TEST(ItemList, PipesDevicesAndHugeFilesAreReportedLikeUnreadableOnes)
{
    auto expectUnreadable = [](Harness &h, const char *what) {
        Form1 &f = h.load();
        ASSERT_EQ(reportLines(h.boxes.boxes), std::vector<int>{130}) << what;
        EXPECT_TRUE(h.boxes.boxes[0].prompt.startsWith("Path/File access error\r\n")) << what;
        EXPECT_EQ(f.labels(0).Caption, "Label3") << what;
        EXPECT_EQ(f.piccoor.count(), 103) << what;
    };
    {
        Harness h;
        FifoWatchdog fifo(h.dir.path() + "/items.txt");
        ASSERT_TRUE(fifo.made());
        expectUnreadable(h, "a FIFO");
        EXPECT_FALSE(fifo.released()) << "start-up waited for a writer";
    }
    {
        Harness h;
        ASSERT_TRUE(QFile::link("/dev/zero", h.dir.path() + "/items.txt"));
        expectUnreadable(h, "a link to /dev/zero");
    }
    {
        Harness h;
        h.write("items.txt", countryList());
        QFile::resize(h.dir.path() + "/items.txt", 2 << 20);
        expectUnreadable(h, "2 MiB");
    }
}

TEST(ItemList, ShippedListNamesEveryCountryInMapLabelOrder)
{
    EXPECT_EQ(readAll(asset("items.txt")), countryList());
}

}  // namespace
