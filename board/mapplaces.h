// SPDX-License-Identifier: MIT
#pragma once
// What lies under a point of the map: the country a drop there is judged as
// (the drop zone on top, found by the window's own hit test), and what the
// map picture shows there (that country's land, the sea, other land). The
// drop light, the keyboard's pin and the screen reader all ask one of these,
// so all three agree with the drop. Also finds each country's middle and the
// nearest country in a compass direction, for jumping the pin.
#include <QImage>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QString>
#include <vector>

class Control;
class Form;

class MapPlaces {
public:
    enum class Ground { Land, Sea, OtherLand };
    enum class Heading { West, East, North, South };

    struct Place {
        int zone = -1;  // the drop zone that takes a drop here, -1 none
        QString name;  // the country that zone stands for, as its tag has it
        int country = 0;  // its position in the map-label list + 1; 0 without a zone
        int land = 0;  // whose land the map shows here (same numbering), 0 none
        Ground ground = Ground::Sea;
        bool operator==(const Place &) const = default;
        // Whether a player would tell the two apart: another country, or
        // sea against land where no zone lies.
        bool sameFor(const Place &other) const
        {
            if ((zone >= 0) != (other.zone >= 0))
                return false;
            return zone >= 0 ? name == other.name : (ground == Ground::Sea) == (other.ground == Ground::Sea);
        }
    };
    // A ninth of the map: row and column 0 (north, west) to 2 (south, east).
    struct Sector {
        int row = 1, col = 1;
    };

    explicit MapPlaces(const Form &form);
    // Reads the map picture's country mask, unless it has been read.
    void prepare() const { ready(); }

    // The map picture's control (the form's Image1), or nullptr.
    const Control *map() const { return map_; }
    // The part of the map that shows in the window, in twips.
    QRect area() const;
    Place at(QPoint twips) const;
    // The country a drop zone stands for (position + 1), 0 for other controls.
    static int countryOfZone(const Control &zone);

    // A point well inside the country where its own zone is on top, or
    // (-1, -1) when the map has none.
    QPoint middle(int country) const;
    // The middle of the country a Ctrl+arrow goes to from a point: the
    // neighbour that lies most nearly that way by the map's compass, else the
    // country beyond, weighing direction ahead of distance; (-1, -1) when no
    // country lies within about 45 degrees of that way. A country that no
    // neighbour's arrow would reach takes the arrow that points most nearly
    // at it from one of its neighbours.
    QPoint nearest(QPoint from, Heading heading) const;
    // Which ninth of the visible map a point lies in.
    Sector sectorOf(QPoint twips) const;

private:
    // Which country each point of a grid over the map belongs to.
    struct Grid;
    bool ready() const;
    QPoint maskPixel(QPoint twips) const;
    Ground groundAt(QPoint pixel) const;
    void findMiddles() const;
    void findCentres(const Grid &g) const;
    void findNeighbours(const Grid &g) const;
    bool neighbours(int a, int b) const;
    // Degrees between a heading at the origin and the way to a country's
    // centre; -1 where the country or its middle (seen from `from`) lies behind.
    double angleOff(QPointF origin, QPoint from, int country, Heading heading) const;
    int jumpFrom(int here, QPointF origin, QPoint from, Heading heading) const;
    void findJumps() const;
    Grid ownership() const;
    QPoint twipsOfGridPoint(int gx, int gy) const;

    const Form &form_;
    const Control *map_ = nullptr;
    mutable bool read_ = false;
    mutable QImage mask_;
    mutable QImage picture_;
    mutable std::vector<QPoint> middles_;  // by country, [0] unused
    mutable std::vector<QPointF> centres_;  // where each country lies, as a listener thinks of it
    mutable std::vector<bool> neighbours_;  // [a * (count + 1) + b]
    mutable std::vector<int> jumps_;  // where each arrow goes from each country, [country * 4 + heading]
};
