// Reading items.txt into the name labels.
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
    const Loaded utf8 = loadItems("\xEF\xBB\xBF" "Cura\xC3\xA7" "ao\r\nZ\xC3\xBCrich");
    const Loaded ansi = loadItems("Cura\xE7" "ao\r\nZ\xFC" "rich");
    EXPECT_EQ(utf8.captions.mid(0, 2), ansi.captions.mid(0, 2));
    EXPECT_EQ(utf8.captions[0], QString::fromUtf8("Cura\xC3\xA7" "ao"));
    EXPECT_EQ(ansi.captions[1], QString::fromUtf8("Z\xC3\xBCrich"));
}

TEST(ItemList, ShippedListNamesEveryCountryInMapLabelOrder)
{
    QFile f(QStringLiteral(SOURCE_DIR "/assets/items.txt"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), countryList());
}

}  // namespace
