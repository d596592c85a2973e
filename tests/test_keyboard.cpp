// SPDX-License-Identifier: MIT
// Playing from the keyboard, headless: selecting names on the panel, carrying
// one on the pin, and drops judged exactly as the mouse's are; what each drop
// reports and the words a screen reader is given for it.
#include "harness.h"
#include "keyboardplay.h"
#include "narrator.h"
#include "spoken.h"

#include <gtest/gtest.h>

namespace {

using Part = KeyboardPlay::Part;

class Keys : public ::testing::Test {
protected:
    void SetUp() override
    {
        h.write("items.txt", countryList());
        f = &h.load();
        places = std::make_unique<MapPlaces>(*f);
        keys = std::make_unique<KeyboardPlay>(*f, *places);
        narrator = std::make_unique<Narrator>(*f, *keys);
        QObject::connect(f, &Form1::dropJudged, [this](const DropOutcome &o) { outcomes.push_back(o); });
        // What a screen reader is given, in order.
        QObject::connect(narrator.get(), &Narrator::said, [this](const QString &s) { said.push_back(s); });
    }
    QString countryAt(QPoint twips) const { return places->at(twips).name; }
    bool press(Part part, int key, Qt::KeyboardModifiers mods = Qt::NoModifier, const QString &text = {})
    {
        clock += 50;
        return keys->keyPress(part, key, mods, text, clock);
    }
    void type(const QString &word)
    {
        for (QChar c : word)
            press(Part::Names, c.toUpper().unicode(), Qt::NoModifier, QString(c));
    }
    QString selectedName() const { return keys->selected() < 0 ? QString() : f->labels(keys->selected()).Caption; }
    QString sound(const char *name) const { return h.dir.path() + "/sounds/" + name; }
    // Steers the pin with arrow keys until its tip is on a point.
    void steerTo(QPoint target)
    {
        for (int guard = 0; guard < 400 && keys->pin() != target; ++guard) {
            const QPoint d = target - keys->pin();
            const bool big = std::abs(d.x()) >= KeyboardPlay::kLargeStep || std::abs(d.y()) >= KeyboardPlay::kLargeStep;
            const int step = big ? KeyboardPlay::kLargeStep : KeyboardPlay::kStep;
            const Qt::KeyboardModifiers mods = big ? Qt::ShiftModifier : Qt::NoModifier;
            if (std::abs(d.x()) >= step)
                press(Part::Map, d.x() > 0 ? Qt::Key_Right : Qt::Key_Left, mods);
            else if (std::abs(d.y()) >= step)
                press(Part::Map, d.y() > 0 ? Qt::Key_Down : Qt::Key_Up, mods);
            else
                break;
        }
    }
    // A point the pin can reach (on its step grid) that a drop zone of this country takes.
    QPoint reachable(const QString &country) const
    {
        const QPoint start = keys->pin();
        for (int dy = -80; dy <= 80; ++dy)
            for (int dx = -80; dx <= 80; ++dx) {
                const QPoint p = start + QPoint(dx, dy) * KeyboardPlay::kStep;
                if (keys->mapArea().contains(p) && countryAt(p) == country)
                    return p;
            }
        return {-1, -1};
    }

    Harness h;
    Form1 *f = nullptr;
    std::unique_ptr<MapPlaces> places;
    std::unique_ptr<KeyboardPlay> keys;
    std::unique_ptr<Narrator> narrator;
    std::vector<QString> said;
    std::vector<DropOutcome> outcomes;
    qint64 clock = 10000;
};

TEST_F(Keys, ArrowsHomeEndAndTypeAheadMoveAmongNamesStillOnThePanel)
{
    EXPECT_EQ(keys->selected(), 0);
    EXPECT_TRUE(press(Part::Names, Qt::Key_Down));
    EXPECT_EQ(keys->selected(), 1);
    press(Part::Names, Qt::Key_Up);
    press(Part::Names, Qt::Key_Up);
    EXPECT_EQ(keys->selected(), 0) << "the top of a column stops the selection";

    // Across the columns, to the same row or the nearest one left.
    for (int i = 0; i < 3; ++i)
        press(Part::Names, Qt::Key_Down);
    press(Part::Names, Qt::Key_Right);
    EXPECT_EQ(keys->selected(), 28);
    press(Part::Names, Qt::Key_Right);
    EXPECT_EQ(keys->selected(), 28) << "nothing further right";
    press(Part::Names, Qt::Key_Left);
    EXPECT_EQ(keys->selected(), 3);
    keys->select(24);
    press(Part::Names, Qt::Key_Right);
    EXPECT_EQ(keys->selected(), 40) << "the shorter column's nearest row";
    press(Part::Names, Qt::Key_Down);
    EXPECT_EQ(keys->selected(), 40) << "the bottom of a column stops it";

    press(Part::Names, Qt::Key_Home);
    EXPECT_EQ(keys->selected(), 0);
    press(Part::Names, Qt::Key_End);
    EXPECT_EQ(keys->selected(), 40);

    // Placed names are skipped.
    f->labels(1).Visible = false;
    f->labels(2).Visible = false;
    keys->select(0);
    press(Part::Names, Qt::Key_Down);
    EXPECT_EQ(selectedName(), "Belgium");
    f->labels(0).Visible = false;
    press(Part::Names, Qt::Key_End);
    press(Part::Names, Qt::Key_Home);
    EXPECT_EQ(selectedName(), "Belgium");

    type("ger");
    EXPECT_EQ(selectedName(), "Germany");
    clock += 2000;  // a pause starts a new word
    type("s");
    EXPECT_EQ(selectedName(), "Serbia");
    type("s");
    EXPECT_EQ(selectedName(), "Slovakia") << "the same letter again goes on";
    type("s");
    EXPECT_EQ(selectedName(), "Slovenia");
    clock += 2000;
    type("united k");
    EXPECT_EQ(selectedName(), "United Kingdom") << "a blank inside a name";
    clock += 2000;
    type("fra");
    EXPECT_FALSE(keys->carrying());
    press(Part::Names, Qt::Key_Space, Qt::NoModifier, " ");
    EXPECT_TRUE(keys->carrying()) << "no name goes on with a blank: Space picks France up";
    EXPECT_EQ(keys->carried(), &f->labels(11));
    press(Part::Map, Qt::Key_Escape);
    clock += 2000;
    type("zz");
    EXPECT_EQ(selectedName(), "France") << "no match keeps the selection";
    EXPECT_TRUE(h.sounds.played.empty());

    // Typing the name that is selected already changes nothing a reader
    // would tell of: it is said again.
    clock += 2000;
    said.clear();
    type("fra");
    EXPECT_EQ(selectedName(), "France");
    ASSERT_FALSE(said.empty());
    EXPECT_EQ(said.back(), "France, not placed");
    clock += 2000;
    said.clear();
    type("ger");
    EXPECT_EQ(selectedName(), "Germany");
    EXPECT_EQ(std::count(said.begin(), said.end(), "Germany, not placed"), 0) << "a change is the list's to tell";
    // One letter is a word too: the only name it starts goes round to itself.
    clock += 2000;
    type("kos");
    clock += 2000;
    said.clear();
    type("k");
    EXPECT_EQ(selectedName(), "Kosovo");
    EXPECT_EQ(said, std::vector<QString>{"Kosovo, not placed"});
}

TEST_F(Keys, EnterCarriesTheNameOnThePinAndDropsItThroughTheDropZones)
{
    type("ger");
    EXPECT_FALSE(keys->pinShown());
    ASSERT_TRUE(press(Part::Names, Qt::Key_Return));
    EXPECT_EQ(keys->takeWantedFocus(), Part::Map) << "the pin takes the keyboard";
    ASSERT_TRUE(keys->carrying());
    EXPECT_EQ(keys->carried(), &f->labels(12));
    EXPECT_EQ(f->dragSource(), &f->labels(12)) << "an ordinary drag of the window";
    EXPECT_EQ(keys->pin(), keys->mapArea().center()) << "first at the centre of the map";
    EXPECT_EQ(f->dragPosition(), keys->pin());
    EXPECT_FALSE(f->labels(12).DragIcon.isNull()) << "the drag icon as with the mouse";
    EXPECT_EQ(f->labels(12).DragIcon.picture(), f->Image2.Picture.picture());
    EXPECT_EQ(said, std::vector<QString>{"Germany picked up"});

    // Arrows move it a few pixels, with Shift further; never off the map.
    const QPoint start = keys->pin();
    press(Part::Map, Qt::Key_Right);
    EXPECT_EQ(keys->pin(), start + QPoint(KeyboardPlay::kStep, 0));
    press(Part::Map, Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(keys->pin(), start + QPoint(KeyboardPlay::kStep, -KeyboardPlay::kLargeStep));
    EXPECT_EQ(f->dragPosition(), keys->pin()) << "the drag follows the pin";
    EXPECT_TRUE(press(Part::Map, Qt::Key_Tab)) << "the focus stays with the pin";
    for (int i = 0; i < 40; ++i)
        press(Part::Map, Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(keys->pin().x(), 0) << "stops at the map's edge";
    EXPECT_TRUE(keys->mapArea().contains(keys->pin()));
    EXPECT_EQ(said.back(), "west edge of the map") << "and says so";

    // Onto France: judged wrong by the zone under the tip.
    steerTo(reachable("France"));
    EXPECT_EQ(countryAt(keys->pin()), "France");
    EXPECT_EQ(keys->mapDescription(), "Pin over France, carrying Germany") << "what the pin is over, and carries";
    press(Part::Map, Qt::Key_Return);
    EXPECT_FALSE(keys->carrying());
    EXPECT_EQ(keys->takeWantedFocus(), Part::Names);
    EXPECT_TRUE(f->labels(12).Visible);
    EXPECT_EQ(f->placedcount, 0);
    EXPECT_EQ(h.sounds.played, std::vector<QString>{sound("wrong.wma")});
    EXPECT_EQ(said.back(), "Germany is not France");
    EXPECT_EQ(outcomes.back().kind, DropOutcome::Kind::Wrong);
    EXPECT_EQ(outcomes.back().country, "France") << "the country it was judged as";
    EXPECT_EQ(f->piccoor(outcomes.back().zone).Tag, "France");
    EXPECT_EQ(std::count(said.begin(), said.end(), "Germany is not France"), 1) << "told once";

    // Picked up again, the pin starts where it was left, and Germany takes it.
    const QPoint left = keys->pin();
    press(Part::Names, Qt::Key_Space);
    EXPECT_EQ(keys->pin(), left);
    steerTo(reachable("Germany"));
    EXPECT_EQ(keys->mapDescription(), "Pin over Germany, carrying Germany");
    press(Part::Map, Qt::Key_Enter);
    EXPECT_FALSE(f->labels(12).Visible);
    EXPECT_TRUE(f->maplabel(12).Visible);
    EXPECT_TRUE(f->maplabel(12).FontBold);
    EXPECT_EQ(f->placedcount, 1);
    EXPECT_EQ(h.sounds.played.back(), sound("correct.wma"));
    EXPECT_EQ(said.back(), "Germany placed, 1 of 41");
    EXPECT_EQ(selectedName(), "Greece") << "the selection moves on to a name still on the panel";

    // Dropped where no zone takes it: nothing judged.
    press(Part::Names, Qt::Key_Return);
    EXPECT_EQ(said.back(), "Greece picked up");
    steerTo(reachable(""));
    const QPoint sea = keys->pin();
    EXPECT_EQ(f->hitTest(sea), &f->Image1) << "no zone here";
    EXPECT_EQ(keys->mapDescription(), "Pin over the sea, carrying Greece");
    EXPECT_EQ(said.back(), "sea") << "the pin left the last country for the sea";
    press(Part::Map, Qt::Key_Return);
    EXPECT_EQ(h.sounds.played.size(), 2u) << "no sound";
    EXPECT_TRUE(f->labels(13).Visible);
    EXPECT_EQ(said.back(), "Greece not on a country");
    EXPECT_EQ(outcomes.back().kind, DropOutcome::Kind::Nowhere);
}

TEST_F(Keys, KeyboardDropsAreJudgedLikeMouseDropsAtTheSamePoint)
{
    // Wherever a mouse drop of a name lands, a keyboard drop at the same
    // needle point gets the same verdict, also where zones overlap.
    Harness mouse;
    mouse.write("items.txt", countryList());
    Form1 &m = mouse.load();
    std::vector<DropOutcome> mouseOutcomes;
    QObject::connect(&m, &Form1::dropJudged, [&](const DropOutcome &o) { mouseOutcomes.push_back(o); });
    int right = 0, wrong = 0;
    for (int y = 150; y < 8205; y += 450)
        for (int x = 150; x < 8835; x += 450) {
            const QPoint p(x, y);
            keys->select(12);
            ASSERT_TRUE(press(Part::Names, Qt::Key_Return));
            keys->movePin(p - keys->pin());
            ASSERT_EQ(keys->pin(), p);
            press(Part::Map, Qt::Key_Return);
            mouse.drag(m.labels(12), p);
            ASSERT_EQ(f->placedcount, m.placedcount) << x << "," << y;
            ASSERT_EQ(h.sounds.played.size(), mouse.sounds.played.size()) << x << "," << y;
            ASSERT_FALSE(outcomes.empty());
            ASSERT_EQ(mouseOutcomes.size(), outcomes.size()) << "one outcome a drop";
            EXPECT_EQ(spoken::outcome(outcomes.back()), spoken::outcome(mouseOutcomes.back())) << x << "," << y;
            right += f->placedcount;
            wrong += !f->placedcount && !h.sounds.played.empty();
            f->buttonClick(f->PushButton1);
            m.buttonClick(m.PushButton1);
            h.sounds.played.clear();
            mouse.sounds.played.clear();
        }
    EXPECT_GT(right, 2);
    EXPECT_GT(wrong, 100);
}

TEST_F(Keys, EscapePutsTheNameBackAndCancelsAMouseDrag)
{
    type("spa");
    press(Part::Names, Qt::Key_Return);
    steerTo(reachable("Spain"));
    EXPECT_TRUE(press(Part::Map, Qt::Key_Escape));
    EXPECT_FALSE(keys->carrying());
    EXPECT_EQ(f->dragSource(), nullptr);
    EXPECT_TRUE(f->labels(35).Visible);
    EXPECT_EQ(f->placedcount, 0);
    EXPECT_TRUE(h.sounds.played.empty());
    EXPECT_EQ(said.back(), "Spain put back");

    // A mouse drag over Spain, Escape, then the button comes up over Spain.
    const QPoint spain = h.pointOf("Spain");
    f->mouseDown(f->labels(35).rect().center());
    f->mouseMove(spain);
    EXPECT_EQ(keys->mapDescription(), "Pointer over Spain");
    EXPECT_TRUE(press(Part::Hidden, Qt::Key_Escape));
    EXPECT_EQ(outcomes.back().kind, DropOutcome::Kind::Cancelled);
    EXPECT_EQ(said.back(), "Spain put back");
    const size_t told = outcomes.size();
    f->mouseMove(spain + QPoint(15, 0));
    f->mouseUp(spain);
    EXPECT_EQ(outcomes.size(), told) << "the button coming up after Escape is no second outcome";
    EXPECT_TRUE(f->labels(35).Visible);
    EXPECT_EQ(f->placedcount, 0);
    EXPECT_TRUE(h.sounds.played.empty()) << "nothing judged, no sound";
    EXPECT_FALSE(press(Part::Names, Qt::Key_Escape)) << "nothing to cancel";

    // The mouse still plays afterwards, and its drops are told too: onto
    // another name on the panel, then onto Spain.
    h.drag(f->labels(35), f->labels(0).rect().center());
    EXPECT_EQ(outcomes.back().kind, DropOutcome::Kind::PutBack);
    EXPECT_EQ(said.back(), "Spain put back");
    h.drag(f->labels(35), spain);
    EXPECT_EQ(f->placedcount, 1);
    EXPECT_EQ(said.back(), "Spain placed, 1 of 41");
}

TEST_F(Keys, ButtonsPressWithEnterAndTheLastNameAnnouncesTheCompleteMap)
{
    for (int i = 0; i < 40; ++i)
        h.drag(f->labels(i), h.pointOf(QString::fromLatin1(layout::kMapLabels[i].country)));
    EXPECT_EQ(said.back(), "Ukraine placed, 40 of 41");
    EXPECT_EQ(said.size(), 40u);
    EXPECT_EQ(selectedName(), "United Kingdom") << "the only name left";
    press(Part::Names, Qt::Key_Home);
    EXPECT_EQ(selectedName(), "United Kingdom");
    press(Part::Names, Qt::Key_Return);
    steerTo(reachable("United Kingdom"));
    said.clear();
    h.boxes.onShow = [this](const RecordedBox &box) { said.push_back("box: " + box.title); };
    press(Part::Map, Qt::Key_Return);
    ASSERT_EQ(h.boxes.boxes.size(), 1u);
    EXPECT_EQ(h.boxes.boxes[0].title, "SUCCESS");
    const std::vector<QString> told{"United Kingdom placed, 41 of 41. The map is complete!", "box: SUCCESS",
                                    "New round, 41 names to place"};
    EXPECT_EQ(said, told) << "the outcome, the box, then the new round";
    EXPECT_EQ(f->placedcount, 0);

    h.drag(f->labels(0), h.pointOf("Albania"));
    EXPECT_EQ(f->placedcount, 1);
    EXPECT_TRUE(press(Part::Restart, Qt::Key_Return));
    EXPECT_EQ(f->placedcount, 0) << "Return presses Restart";
    EXPECT_EQ(said.back(), "New round, 41 names to place");
    EXPECT_FALSE(press(Part::Restart, Qt::Key_Down));
    EXPECT_TRUE(press(Part::Exit, Qt::Key_Enter));
    EXPECT_TRUE(f->unloaded()) << "Enter presses Exit";
}

TEST_F(Keys, CtrlArrowsJumpTheCarriedNameFromCountryToCountry)
{
    const MapPlaces &map = *places;
    auto middleOf = [&](const char *country) {
        for (int c = 1; c <= layout::kItemCount; ++c)
            if (QLatin1String(layout::kMapLabels[c - 1].country) == QLatin1String(country))
                return map.middle(c);
        return QPoint(-1, -1);
    };
    // Each country's middle is judged as that country, on its own land.
    for (int c = 1; c <= layout::kItemCount; ++c) {
        const QPoint m = map.middle(c);
        ASSERT_TRUE(keys->mapArea().contains(m)) << layout::kMapLabels[c - 1].country;
        const MapPlaces::Place p = map.at(m);
        EXPECT_EQ(p.country, c) << layout::kMapLabels[c - 1].country;
        EXPECT_EQ(p.land, c) << layout::kMapLabels[c - 1].country;
        const Control *zone = f->hitTest(m);
        ASSERT_TRUE(zone && zone->Name == "piccoor");
        EXPECT_EQ(trimBlanks(zone->Tag), p.name) << "the zone on top names it";
    }
    // From any country every other one can be reached by jumps.
    for (int from = 1; from <= layout::kItemCount; ++from) {
        std::vector<bool> seen(layout::kItemCount + 1, false);
        std::vector<int> todo{from};
        seen[from] = true;
        while (!todo.empty()) {
            const int c = todo.back();
            todo.pop_back();
            for (int d = 0; d < 4; ++d) {
                const QPoint to = map.nearest(map.middle(c), MapPlaces::Heading(d));
                const int next = to.x() < 0 ? 0 : map.at(to).country;
                if (next && !seen[next]) {
                    seen[next] = true;
                    todo.push_back(next);
                }
            }
        }
        EXPECT_EQ(std::count(seen.begin(), seen.end(), true), layout::kItemCount)
            << "not every country can be reached from " << layout::kMapLabels[from - 1].country;
    }
    // A direction goes that way, as an atlas has it: the player who knows
    // Europe finds the country, and hears "no country further" only where
    // none lies that way.
    using H = MapPlaces::Heading;
    auto jumped = [&](const char *from, H heading) {
        const QPoint to = map.nearest(middleOf(from), heading);
        return to.x() < 0 ? QString() : map.at(to).name;
    };
    EXPECT_EQ(jumped("Germany", H::East), "Poland");
    EXPECT_EQ(jumped("Germany", H::North), "Denmark");
    EXPECT_EQ(jumped("Spain", H::West), "Portugal");
    EXPECT_EQ(jumped("Spain", H::North), "France");
    EXPECT_EQ(jumped("France", H::East), "Switzerland");
    EXPECT_EQ(jumped("Portugal", H::West), "") << "nothing further west";
    // The neighbour that way, not one across a corner or beyond.
    EXPECT_EQ(jumped("Albania", H::South), "Greece") << "not 'no country further south'";
    EXPECT_EQ(jumped("Moldova", H::East), "Ukraine") << "not 'no country further east'";
    EXPECT_EQ(jumped("Sweden", H::East), "Finland") << "not Estonia across the sea";
    EXPECT_EQ(jumped("Germany", H::South), "Switzerland") << "the Czech Republic lies east";
    EXPECT_NE(jumped("United Kingdom", H::North), "Northern Ireland") << "it lies west";
    EXPECT_EQ(jumped("Belarus", H::South), "Ukraine");
    EXPECT_EQ(jumped("Ireland", H::East), "United Kingdom");
    // An island is reached from the land nearest it, on its own key.
    EXPECT_EQ(jumped("Northern Ireland", H::North), "Iceland");
    EXPECT_EQ(jumped("Norway", H::West), "Iceland");
    EXPECT_EQ(jumped("Estonia", H::North), "Finland");
    // A small country between larger ones is found beside its neighbours,
    // not only from a country far off.
    {
        int fromNeighbours = 0;
        for (const char *beside : {"Belgium", "France", "Germany"})
            for (int d = 0; d < 4; ++d)
                fromNeighbours += jumped(beside, H(d)) == "Luxembourg";
        EXPECT_GE(fromNeighbours, 1) << "no arrow from Belgium, France or Germany reaches Luxembourg";
    }
    for (int c = 1; c <= layout::kItemCount; ++c)
        for (int d = 0; d < 4; ++d) {
            const QPoint from = map.middle(c), to = map.nearest(from, H(d));
            if (to.x() < 0)
                continue;
            const QPoint v = to - from;
            const int along = d == 0 ? -v.x() : d == 1 ? v.x() : d == 2 ? -v.y() : v.y();
            EXPECT_GT(along, 0) << layout::kMapLabels[c - 1].country << " heading " << d;
        }

    // With a name on the pin: the jump moves the drag and says the country.
    type("ger");
    press(Part::Names, Qt::Key_Return);
    keys->movePin(middleOf("Spain") - keys->pin());
    said.clear();
    press(Part::Map, Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(keys->pin(), middleOf("France"));
    EXPECT_EQ(f->dragPosition(), keys->pin());
    EXPECT_EQ(said, std::vector<QString>{"France"});
    press(Part::Map, Qt::Key_Return);
    EXPECT_EQ(said.back(), "Germany is not France") << "dropped where it jumped to";
    press(Part::Names, Qt::Key_Return);
    keys->movePin(middleOf("Portugal") - keys->pin());
    said.clear();
    press(Part::Map, Qt::Key_Left, Qt::ControlModifier);
    EXPECT_EQ(keys->pin(), middleOf("Portugal")) << "the pin stays";
    EXPECT_EQ(said, std::vector<QString>{"no country further west"});
    const std::pair<Qt::Key, const char *> route[] = {
        {Qt::Key_Right, "Spain"}, {Qt::Key_Up, "France"}, {Qt::Key_Right, "Switzerland"}, {Qt::Key_Up, "Germany"}};
    for (const auto &[arrow, country] : route) {
        press(Part::Map, arrow, Qt::ControlModifier);
        EXPECT_EQ(said.back(), country);
    }
    said.clear();
    press(Part::Map, Qt::Key_Home);
    ASSERT_EQ(said.size(), 1u);
    EXPECT_TRUE(said.back().startsWith("Pin over Germany, ")) << said.back().toStdString();
    press(Part::Map, Qt::Key_Return);
    EXPECT_EQ(said.back(), "Germany placed, 1 of 41");
}

TEST_F(Keys, HomeOnTheMapTellsWhereThePinIs)
{
    press(Part::Map, Qt::Key_Home);
    EXPECT_TRUE(keys->pinShown());
    EXPECT_EQ(said.back(), "Pin over " + countryAt(keys->pin()) + ", centre of the map") << "it starts in the middle";
    keys->movePin(QPoint(-10000, -10000));
    press(Part::Map, Qt::Key_Home);
    EXPECT_EQ(said.back(), "Pin over the sea, north-west of the map");
    keys->movePin(QPoint(10000, 10000));
    press(Part::Map, Qt::Key_Home);
    EXPECT_EQ(said.back(), "Pin over the sea, south-east of the map");
    keys->movePin(places->middle(36) - keys->pin());
    press(Part::Map, Qt::Key_Home);
    EXPECT_EQ(said.back(), "Pin over Spain, south-west of the map");
}

TEST(Spoken, OutcomesAndPlacesInWords)
{
    DropOutcome o;
    o.name = "Germany";
    o.total = 41;
    o.kind = DropOutcome::Kind::Placed;
    o.placed = 12;
    EXPECT_EQ(spoken::outcome(o), "Germany placed, 12 of 41");
    o.placed = 41;
    EXPECT_EQ(spoken::outcome(o), "Germany placed, 41 of 41. The map is complete!");
    o.kind = DropOutcome::Kind::Wrong;
    o.country = "France";
    EXPECT_EQ(spoken::outcome(o), "Germany is not France");
    o.kind = DropOutcome::Kind::Nowhere;
    EXPECT_EQ(spoken::outcome(o), "Germany not on a country");
    o.kind = DropOutcome::Kind::Cancelled;
    EXPECT_EQ(spoken::outcome(o), "Germany put back");
    o.kind = DropOutcome::Kind::PutBack;
    EXPECT_EQ(spoken::outcome(o), "Germany put back");
    EXPECT_EQ(spoken::newRound(41), "New round, 41 names to place");
    EXPECT_EQ(spoken::pickedUp("Spain"), "Spain picked up");

    MapPlaces::Place p;
    p.ground = MapPlaces::Ground::Sea;
    EXPECT_EQ(spoken::place(p), "sea");
    p.ground = MapPlaces::Ground::OtherLand;
    EXPECT_EQ(spoken::place(p), "no country");
    p.zone = 30;
    p.name = "Germany";
    p.country = 13;
    p.ground = MapPlaces::Ground::Sea;
    EXPECT_EQ(spoken::place(p), "Germany") << "a drop there is judged as Germany, sea or not";
    EXPECT_EQ(spoken::blocked(MapPlaces::Heading::North, false), "north edge of the map");
    EXPECT_EQ(spoken::blocked(MapPlaces::Heading::East, true), "no country further east");
}

}  // namespace
