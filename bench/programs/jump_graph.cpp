// SPDX-License-Identifier: MIT
// The Ctrl+arrow jumps as a listening player meets them, headless: from each
// country's middle, where each arrow goes. Printed against an atlas of the
// countries' centres (tests/data/atlas.tsv), which a player who knows Europe
// knows: whether every country can be reached from every other, the
// shortest paths between them, the jumps that go more than 45 degrees off
// their key, the refusals ("no country further") where a country does lie
// within 45 degrees that way, and the arrow presses a player who steers by
// the atlas needs for each name of a round.
//   bench_jump_graph ATLAS.tsv
#include "harness.h"
#include "mapplaces.h"

#include <QApplication>
#include <QFile>
#include <QTextStream>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <deque>
#include <map>
#include <optional>
#include <set>

namespace {

using H = MapPlaces::Heading;
constexpr H kHeadings[] = {H::West, H::East, H::North, H::South};
const char *const kKeys[] = {"Left", "Right", "Up", "Down"};

struct Atlas {
    std::map<int, QPointF> at;  // country -> (east, north) in degrees, east scaled to the latitude
    // The angle in degrees between a key and the way from one country to another.
    double off(int from, int to, H heading) const
    {
        const QPointF v = at.at(to) - at.at(from);
        static const QPointF kKey[] = {{-1, 0}, {1, 0}, {0, 1}, {0, -1}};
        const QPointF k = kKey[int(heading)];
        const double len = std::hypot(v.x(), v.y());
        return len ? qRadiansToDegrees(std::acos(std::clamp((v.x() * k.x() + v.y() * k.y()) / len, -1.0, 1.0))) : 0;
    }
};

Atlas readAtlas(const QString &path)
{
    Atlas atlas;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return atlas;
    QTextStream in(&f);
    while (!in.atEnd()) {
        const QStringList fields = in.readLine().split(QLatin1Char('\t'));
        if (fields.size() != 3 || fields[0].startsWith(QLatin1Char('#')))
            continue;
        for (int i = 0; i < layout::kItemCount; ++i)
            if (fields[0] == QLatin1String(layout::kMapLabels[i].country)) {
                const double lat = fields[1].toDouble(), lon = fields[2].toDouble();
                atlas.at[i + 1] = QPointF(lon * std::cos(qDegreesToRadians(lat)), lat);
            }
    }
    return atlas;
}

const char *name(int country)
{
    return country > 0 ? layout::kMapLabels[country - 1].country : "-";
}

}  // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const Atlas atlas = readAtlas(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString());
    if (int(atlas.at.size()) != layout::kItemCount) {
        std::fputs("usage: bench_jump_graph ATLAS.tsv (with every country of the map)\n", stderr);
        return 2;
    }
    Harness h;
    h.write("items.txt", countryList());
    Form1 &f = h.load();
    const MapPlaces places(f);
    const int n = layout::kItemCount;
    std::vector<std::array<int, 4>> to(n + 1);
    int offKey = 0, refusedWrongly = 0, jumps = 0;
    for (int c = 1; c <= n; ++c)
        for (int d = 0; d < 4; ++d) {
            const QPoint p = places.nearest(places.middle(c), kHeadings[d]);
            to[c][d] = p.x() < 0 ? 0 : places.at(p).country;
            if (to[c][d]) {
                ++jumps;
                if (atlas.off(c, to[c][d], kHeadings[d]) > 45) {
                    ++offKey;
                    std::printf("  off its key: %s %s goes to %s (%.0f degrees off)\n", name(c), kKeys[d],
                                name(to[c][d]), atlas.off(c, to[c][d], kHeadings[d]));
                }
            } else {
                for (int o = 1; o <= n; ++o)
                    if (o != c && atlas.off(c, o, kHeadings[d]) <= 45) {
                        ++refusedWrongly;
                        std::printf("  refused: %s %s, though %s lies that way\n", name(c), kKeys[d], name(o));
                        break;
                    }
            }
        }
    if (qEnvironmentVariableIsSet("JUMP_TABLE"))
        for (int c = 1; c <= n; ++c)
            std::printf("  %-22s Left %-22s Right %-22s Up %-22s Down %s\n", name(c), name(to[c][0]), name(to[c][1]),
                        name(to[c][2]), name(to[c][3]));
    // Shortest paths over the arrows.
    int unreachable = 0, longest = 0;
    long sum = 0, pairs = 0;
    std::pair<int, int> longestPair{0, 0};
    std::vector<std::vector<int>> shortest(n + 1);
    for (int a = 1; a <= n; ++a) {
        std::vector<int> dist(n + 1, -1);
        std::deque<int> todo{a};
        dist[a] = 0;
        while (!todo.empty()) {
            const int c = todo.front();
            todo.pop_front();
            for (int d = 0; d < 4; ++d)
                if (const int next = to[c][d]; next && dist[next] < 0) {
                    dist[next] = dist[c] + 1;
                    todo.push_back(next);
                }
        }
        shortest[a] = dist;
        for (int b = 1; b <= n; ++b) {
            if (b == a)
                continue;
            if (dist[b] < 0) {
                if (!unreachable++ || a == 1)
                    std::printf("  unreachable: %s from %s\n", name(b), name(a));
                continue;
            }
            sum += dist[b], ++pairs;
            if (dist[b] > longest)
                longest = dist[b], longestPair = {a, b};
        }
    }
    // A player who steers by the atlas and remembers where each arrow went,
    // as the screen-reader test's player does: a way heard of before is
    // followed; otherwise the untried arrow nearest the way to the name's
    // country, else a known arrow to a country not yet passed through on this
    // search, else back to the nearest country with an untried arrow. The pin
    // starts where the last name was dropped.
    auto playRound = [&](int stride) {
        std::map<std::pair<int, int>, int> heard;  // (country, arrow) -> where it went
        auto route = [&](int from, auto wanted) {  // arrows along heard ways to the nearest wanted country
            std::map<int, std::pair<int, int>> came{{from, {0, -1}}};
            std::deque<int> todo{from};
            while (!todo.empty()) {
                const int c = todo.front();
                todo.pop_front();
                if (wanted(c)) {
                    std::vector<int> arrows;
                    for (int x = c; x != from; x = came[x].first)
                        arrows.insert(arrows.begin(), came[x].second);
                    return std::optional<std::vector<int>>(arrows);
                }
                for (int d = 0; d < 4; ++d)
                    if (auto it = heard.find({c, d}); it != heard.end() && it->second && !came.count(it->second)) {
                        came[it->second] = {c, d};
                        todo.push_back(it->second);
                    }
            }
            return std::optional<std::vector<int>>();
        };
        std::vector<int> presses;
        int here = places.at(places.area().center()).country;
        for (int target = 1; target <= n; target += stride) {
            int count = 0;
            std::set<int> passed{here};
            auto press = [&](int d) {
                ++count;
                heard[{here, d}] = to[here][d];
                if (to[here][d])
                    here = to[here][d], passed.insert(here);
            };
            while (here != target && count < 60) {
                if (auto known = route(here, [&](int c) { return c == target; })) {
                    for (int d : *known)
                        press(d);
                    continue;
                }
                std::array<int, 4> order{0, 1, 2, 3};
                std::sort(order.begin(), order.end(), [&](int x, int y) {
                    return atlas.off(here, target, kHeadings[x]) < atlas.off(here, target, kHeadings[y]);
                });
                int chosen = -1;
                for (int d : order)
                    if (!heard.count({here, d}) || (heard[{here, d}] && !passed.count(heard[{here, d}]))) {
                        chosen = d;
                        break;
                    }
                if (chosen >= 0) {
                    press(chosen);
                    continue;
                }
                const auto back = route(here, [&](int c) {
                    for (int d = 0; d < 4; ++d)
                        if (!heard.count({c, d}))
                            return true;
                    return false;
                });
                if (!back || back->empty())
                    break;
                for (int d : *back)
                    press(d);
            }
            presses.push_back(here == target ? count : 99);
            if (presses.back() > 7)
                std::printf("  %s took %d arrow presses%s\n", name(target), presses.back(),
                            stride == 1 ? "" : " (every third name)");
        }
        std::sort(presses.begin(), presses.end());
        return presses;
    };
    const std::vector<int> sorted = playRound(1), third = playRound(3);
    // The same rounds for a player who knew every jump beforehand: the floor.
    auto floorOf = [&](int stride) {
        std::vector<int> floor;
        for (int target = 1, from = places.at(places.area().center()).country; target <= n;
             from = target, target += stride)
            floor.push_back(std::max(0, shortest[from][target]));
        std::sort(floor.begin(), floor.end());
        return floor;
    };
    const std::vector<int> floor = floorOf(1), floor3 = floorOf(3);
    std::printf("jumps: %d of %d ways go somewhere; every country reachable from every other: %s (%d pairs not)\n",
                jumps, n * 4, unreachable ? "no" : "yes", unreachable);
    std::printf("shortest paths: mean %.2f, longest %d (%s to %s)\n", pairs ? double(sum) / pairs : 0.0, longest,
                name(longestPair.first), name(longestPair.second));
    std::vector<int> lengths;  // every shortest path between two countries
    for (const std::vector<int> &dist : shortest)
        for (const int d : dist)
            if (d > 0)
                lengths.push_back(d);
    std::sort(lengths.begin(), lengths.end());
    if (!lengths.empty())
        std::printf("shortest paths: median %d, three quarters within %d\n", lengths[lengths.size() / 2],
                    lengths[lengths.size() * 3 / 4]);
    std::printf("jumps more than 45 degrees off their key, by the atlas: %d\n", offKey);
    std::printf("refusals with a country within 45 degrees that way, by the atlas: %d\n", refusedWrongly);
    std::printf("arrow presses per name for a player steering by the atlas and remembering, a round in list "
                "order: median %d, worst %d\n",
                sorted[sorted.size() / 2], sorted.back());
    std::printf("the same round knowing every jump beforehand: median %d, worst %d\n", floor[floor.size() / 2],
                floor.back());
    std::printf("every third name of the list, as the screen-reader test plays: median %d, worst %d; knowing every "
                "jump: median %d, worst %d\n",
                third[third.size() / 2], third.back(), floor3[floor3.size() / 2], floor3.back());
    return 0;
}
