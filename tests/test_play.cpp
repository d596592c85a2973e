// SPDX-License-Identifier: MIT
// Playing the quiz headless: drags through the window model onto the drop
// zones, judged answers, sounds, completion and new rounds.
#include "harness.h"

#include <gtest/gtest.h>

namespace {

class Play : public ::testing::Test {
protected:
    void SetUp() override
    {
        h.write("items.txt", countryList());
        f = &h.load();
        ASSERT_TRUE(h.boxes.boxes.empty());
    }
    QString sound(const char *name) const { return h.dir.path() + "/sounds/" + name; }
    void dropName(int item, const QString &country) { h.drag(f->labels(item), h.pointOf(country)); }
    int placedOnMap() const
    {
        int n = 0;
        for (int i = 0; i < 41; ++i)
            n += f->maplabel(i).Visible;
        return n;
    }
    void playRound()
    {
        for (int i = 0; i < 41; ++i)
            dropName(i, QString::fromLatin1(layout::kMapLabels[i].country));
    }

    Harness h;
    Form1 *f = nullptr;
};

TEST_F(Play, FullRoundsCompleteAndStartAFreshBoard)
{
    int placedWhenBoxShown = -1;
    h.boxes.onShow = [&](const RecordedBox &) { placedWhenBoxShown = placedOnMap(); };
    for (int i = 0; i < 40; ++i)
        dropName(i, QString::fromLatin1(layout::kMapLabels[i].country));
    EXPECT_EQ(f->placedcount, 40);
    EXPECT_EQ(h.sounds.played, std::vector<QString>(40, sound("correct.wma")));
    EXPECT_FALSE(f->labels(12).Visible);
    EXPECT_TRUE(f->maplabel(12).Visible);
    EXPECT_TRUE(f->maplabel(12).FontBold);
    EXPECT_EQ(f->maplabel(12).Caption, "Germany");

    dropName(40, "United Kingdom");
    ASSERT_EQ(h.boxes.boxes.size(), 1u);
    EXPECT_EQ(h.boxes.boxes[0].prompt, "CONGRATULATIONS!THE MAP IS COMPLETE!");
    EXPECT_EQ(h.boxes.boxes[0].title, "SUCCESS");
    EXPECT_EQ(h.boxes.boxes[0].style, 64);
    EXPECT_EQ(placedWhenBoxShown, 41) << "the full map shows behind the box";
    ASSERT_EQ(h.sounds.played.size(), 42u);
    EXPECT_EQ(h.sounds.played[40], sound("correct.wma"));
    EXPECT_EQ(h.sounds.played[41], sound("complete.wma"));
    EXPECT_EQ(f->placedcount, 0);
    EXPECT_EQ(placedOnMap(), 0);
    for (int i = 0; i < 41; ++i)
        EXPECT_TRUE(f->labels(i).Visible);

    playRound();
    EXPECT_EQ(h.boxes.boxes.size(), 2u) << "a second round completes again";
    EXPECT_EQ(f->placedcount, 0);
}

TEST_F(Play, RestartMidRoundPutsNamesBack)
{
    for (int i = 0; i < 5; ++i)
        dropName(i, QString::fromLatin1(layout::kMapLabels[i].country));
    EXPECT_EQ(f->placedcount, 5);
    f->buttonClick(f->PushButton1);
    EXPECT_EQ(f->placedcount, 0);
    EXPECT_EQ(placedOnMap(), 0);
    EXPECT_TRUE(f->labels(3).Visible);
    EXPECT_EQ(f->maplabel(3).Caption, "Belgium") << "a hidden map label keeps its caption";
    dropName(7, "Czech Republic");
    EXPECT_EQ(f->placedcount, 1);
    EXPECT_TRUE(h.boxes.boxes.empty());
}

TEST_F(Play, WrongDropsBuzzAndChangeNothing)
{
    dropName(12, "France");
    EXPECT_TRUE(f->labels(12).Visible);
    EXPECT_EQ(f->placedcount, 0);
    EXPECT_EQ(h.sounds.played, std::vector<QString>{sound("wrong.wma")});

    f->labels(12).Tag = "germany";
    dropName(12, "Germany");
    EXPECT_EQ(f->placedcount, 0) << "case matters";
    f->labels(12).Tag = "  Germany ";
    dropName(12, "Germany");
    EXPECT_EQ(f->placedcount, 1) << "blanks around the tag do not";
    EXPECT_EQ(f->maplabel(12).Caption, "  Germany ");
}

TEST_F(Play, OverlapsAreJudgedByTheHigherIndex)
{
    // Points inside both regions of each pair.
    const QPoint irelandStrip(1890 + 100, 3570 + 20);  // Ireland 38 / Northern Ireland 101
    const QPoint hungaryStrip(5880 + 50, 5550 + 100);  // Hungary 35 / Romania 76
    const QPoint corsicaStrip(4050 + 7, 6600 + 100);  // Italy 41 / Corsica 46
    dropName(16, "Ireland");
    ASSERT_EQ(f->placedcount, 1);
    f->buttonClick(f->PushButton1);

    h.drag(f->labels(16), irelandStrip);
    EXPECT_EQ(f->placedcount, 0) << "Ireland's name on the Northern Ireland zone";
    h.drag(f->labels(26), irelandStrip);
    EXPECT_EQ(f->placedcount, 1);
    h.drag(f->labels(14), hungaryStrip);
    EXPECT_EQ(f->placedcount, 1);
    h.drag(f->labels(30), hungaryStrip);
    EXPECT_EQ(f->placedcount, 2);
    h.drag(f->labels(17), corsicaStrip);
    EXPECT_EQ(f->placedcount, 2);
    h.drag(f->labels(11), corsicaStrip);
    EXPECT_EQ(f->placedcount, 3);
    // A drop over a name already on the map is judged by the zone beneath.
    h.drag(f->labels(31), f->maplabel(30).rect().center());
    EXPECT_EQ(f->placedcount, 3);
    EXPECT_TRUE(f->labels(31).Visible);
}

TEST_F(Play, DropsOutsideZonesOrOnNamesPlayNothing)
{
    h.drag(f->labels(0), {450, 300});  // the sea off Iceland
    h.drag(f->labels(0), {600, 8000});  // North Africa
    h.drag(f->labels(0), f->PushButton2.rect().center());
    h.drag(f->labels(0), f->labels(30).rect().center());
    h.drag(f->labels(0), f->labels(0).rect().center());
    EXPECT_TRUE(h.sounds.played.empty());
    EXPECT_TRUE(f->labels(0).Visible);
    EXPECT_EQ(f->placedcount, 0);
    EXPECT_TRUE(h.boxes.boxes.empty());
}

TEST_F(Play, NamesThatAreNotCountriesOfTheMap)
{
    // An unfilled or empty name is never right, even though "" is in every text.
    f->labels(5).Tag = "";
    dropName(5, "Bulgaria");
    f->labels(5).Tag = "   ";
    dropName(5, "Bulgaria");
    EXPECT_EQ(f->placedcount, 0);
    // Northern Ireland's name on Ireland stays wrong.
    dropName(26, "Ireland");
    EXPECT_EQ(f->placedcount, 0);
    // Partial names from a custom list still match by containment.
    f->labels(25).Tag = "Netherlands";
    dropName(25, "The Netherlands");
    f->labels(4).Tag = "Bosnia";
    dropName(4, "Bosnia & Herzegovina");
    EXPECT_EQ(f->placedcount, 2);
    EXPECT_EQ(f->maplabel(4).Caption, "Bosnia");
    // A list item with several fields is accepted by no zone of the map.
    f->labels(3).Tag = "Belgium,BE";
    dropName(3, "Belgium");
    EXPECT_EQ(f->placedcount, 2);
}

TEST_F(Play, DragIconAndPointer)
{
    Control &name = f->labels(20);
    EXPECT_TRUE(name.DragIcon.isNull());
    f->mouseDown(name.rect().center());
    EXPECT_TRUE(name.DragIcon.isNull()) << "set with the first movement";
    f->mouseMove(name.rect().center() + QPoint(15, 0));
    EXPECT_EQ(name.DragIcon.picture().cacheKey(), f->Image2.Picture.picture().cacheKey());
    f->mouseUp(name.rect().center());
    EXPECT_TRUE(name.Visible);

    f->buttonMouseMove(f->PushButton1, {10, 10});
    EXPECT_EQ(f->MousePointer, vbCustom);
    f->mouseMove({3000, 3000});
    EXPECT_EQ(f->MousePointer, vbDefault);
    f->buttonMouseMove(f->PushButton2, {10, 10});
    EXPECT_EQ(f->MousePointer, vbCustom);
    f->MousePointer = vbHourglass;
    f->buttonMouseMove(f->PushButton1, {10, 10});
    f->mouseMove({3000, 3000});
    EXPECT_EQ(f->MousePointer, vbHourglass);
}

TEST_F(Play, ExitAndCloseUnloadWithoutAQuestion)
{
    dropName(0, "Albania");
    int unloads = 0;
    QObject::connect(f, &Form::windowUnloaded, [&] { ++unloads; });
    f->buttonClick(f->PushButton2);
    EXPECT_TRUE(f->unloaded());
    EXPECT_EQ(unloads, 1);
    EXPECT_TRUE(h.boxes.boxes.empty());
    EXPECT_EQ(h.sounds.played.size(), 1u) << "leaving plays nothing";
    f->closeRequested();
    EXPECT_EQ(unloads, 1);

    Harness other;
    Form1 &g = other.load();
    g.closeRequested();
    EXPECT_TRUE(g.unloaded());
}

}  // namespace

namespace {

// The drop zone's country a drop at a point was judged against, as the drop
// reports it, and the sound it played.
struct Judged {
    QString country;
    DropOutcome::Kind kind = DropOutcome::Kind::Nowhere;
    QString sound;
};

class Edges : public Play {
protected:
    Judged dropAt(int item, QPoint twips)
    {
        Judged j;
        const auto played = h.sounds.played.size();
        const QMetaObject::Connection c = QObject::connect(f, &Form1::dropJudged, [&](const DropOutcome &o) {
            j.kind = o.kind;
            j.country = o.country;
        });
        h.drag(f->labels(item), twips);
        QObject::disconnect(c);
        if (h.sounds.played.size() > played)
            j.sound = QFileInfo(h.sounds.played.back()).fileName();
        return j;
    }
    int item(const char *country) const
    {
        for (int i = 0; i < layout::kItemCount; ++i)
            if (QLatin1String(layout::kMapLabels[i].country) == QLatin1String(country))
                return i;
        return -1;
    }
};

TEST_F(Edges, ADropOverAPlacedNameIsJudgedByTheZoneBeneath)
{
    dropName(item("Romania"), "Romania");
    dropName(item("Luxembourg"), "Luxembourg");
    ASSERT_TRUE(f->maplabel(item("Romania")).Visible);
    // Russia's name let go over "Romania" on the map: Romania's zone judges it.
    Judged j = dropAt(item("Russia"), f->maplabel(item("Romania")).rect().center());
    EXPECT_EQ(j.kind, DropOutcome::Kind::Wrong);
    EXPECT_EQ(j.country, "Romania");
    EXPECT_EQ(j.sound, "wrong.wma");
    // Luxembourg's name on the map lies mostly over Germany: Germany taken there.
    j = dropAt(item("Germany"), f->maplabel(item("Luxembourg")).rect().center());
    EXPECT_EQ(j.kind, DropOutcome::Kind::Placed);
    EXPECT_EQ(j.sound, "correct.wma");
    EXPECT_EQ(f->placedcount, 3);
}

TEST_F(Edges, BlanksAroundTheZonesTagDoNotMatter)
{
    for (const auto &[i, zone] : f->piccoor.elements())
        if (zone->Tag == QLatin1String("Germany"))
            zone->Tag = "  Germany ";
    const Judged j = dropAt(item("Germany"), h.pointOf("  Germany "));
    EXPECT_EQ(j.kind, DropOutcome::Kind::Placed);
    EXPECT_EQ(j.sound, "correct.wma");
}

TEST_F(Edges, RestartOnAnUntouchedBoardChangesNothingVisible)
{
    f->takeChangedRects();  // what the window shows now
    f->buttonClick(f->PushButton1);
    EXPECT_TRUE(f->takeChangedRects().empty());
    EXPECT_TRUE(h.sounds.played.empty());
    EXPECT_TRUE(h.boxes.boxes.empty());
    EXPECT_EQ(f->placedcount, 0);
}

TEST_F(Edges, APlacedNameKeepsItsBoldFaceIntoTheNextRound)
{
    dropName(item("Germany"), "Germany");
    f->buttonClick(f->PushButton1);
    Control &onMap = f->maplabel(item("Germany"));
    EXPECT_FALSE(onMap.Visible);
    EXPECT_TRUE(onMap.FontBold) << "hidden, with its caption and face";
    EXPECT_EQ(onMap.Caption, "Germany");
    f->takeChangedRects();
    dropName(item("Germany"), "Germany");
    EXPECT_TRUE(onMap.Visible);
    EXPECT_TRUE(onMap.FontBold);
    EXPECT_FALSE(f->takeChangedRects().empty()) << "it shows again";
}

TEST_F(Edges, OverlapStripsAndTheMapsEdges)
{
    // Corsica (46) lies above Italy's 41 and 45 where they meet: France.
    EXPECT_EQ(dropAt(item("Italy"), {3900, 7027}).country, "France");
    EXPECT_EQ(dropAt(item("France"), {3900, 7027}).kind, DropOutcome::Kind::Placed);
    // Russia's zones end with the map at x = 8835; the panel beyond takes nothing.
    EXPECT_EQ(dropAt(item("Russia"), {8834, 1000}).kind, DropOutcome::Kind::Placed);
    const auto played = h.sounds.played.size();
    EXPECT_EQ(dropAt(item("Turkey"), {8835, 7500}).kind, DropOutcome::Kind::Nowhere);
    EXPECT_EQ(h.sounds.played.size(), played) << "no sound off the map";
    // Region 68 begins above the window: only its visible part takes drops.
    EXPECT_EQ(dropAt(item("Norway"), {6000, -5}).kind, DropOutcome::Kind::Nowhere);
    EXPECT_EQ(dropAt(item("Norway"), {6000, 100}).kind, DropOutcome::Kind::Placed);
}

TEST(RootFolder, SoundPathsKeepTheFoldersOwnSeparator)
{
    Harness h;
    h.write("items.txt", countryList());
    Form1 &f = h.load();
    h.platform.App.Path = QStringLiteral("/");
    h.drag(f.labels(12), h.pointOf("Germany"));
    h.drag(f.labels(12 + 1), h.pointOf("Germany"));
    EXPECT_EQ(h.sounds.played, (std::vector<QString>{"//sounds/correct.wma", "//sounds/wrong.wma"}));
}

TEST(ShortList, UnfilledNamesComeBackWithEveryRoundAndAreNeverRight)
{
    Harness h;
    QByteArray forty = countryList();
    forty.chop(forty.size() - forty.lastIndexOf("United Kingdom"));
    h.write("items.txt", forty);
    Form1 &f = h.load();
    ASSERT_EQ(f.labels(40).Caption, "Label3");
    h.drag(f.labels(40), h.pointOf("United Kingdom"));
    h.drag(f.labels(12), h.pointOf("Germany"));
    f.buttonClick(f.PushButton1);
    EXPECT_TRUE(f.labels(40).Visible);
    EXPECT_EQ(f.labels(40).Caption, "Label3");
    EXPECT_TRUE(f.labels(12).Visible);
    EXPECT_EQ(f.placedcount, 0);
    h.drag(f.labels(40), h.pointOf("United Kingdom"));
    EXPECT_EQ(f.placedcount, 0) << "the placeholder is no country's name";
    EXPECT_EQ(h.sounds.played.back(), h.dir.path() + "/sounds/wrong.wma");
}

}  // namespace
