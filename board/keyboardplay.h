// SPDX-License-Identifier: MIT
#pragma once
// Playing the quiz from the keyboard: which part of the window has the focus,
// which name is selected on the panel, and a push-pin that carries a picked-up
// name across the map. A carried name is an ordinary drag of the window model,
// so its drop is judged exactly as one made with the mouse, and told as one.
#include "mapplaces.h"

#include <QObject>
#include <QPoint>
#include <QRect>
#include <QString>
#include <Qt>

class Control;
class Form1;

class KeyboardPlay : public QObject {
    Q_OBJECT
public:
    // The parts of the window the focus moves through, in tab order.
    enum class Part { Hidden, Names, Map, Restart, Exit };
    using Heading = MapPlaces::Heading;

    static constexpr int kStep = 75;  // twips an arrow key moves the pin (5 pixels)
    static constexpr int kLargeStep = 375;  // with Shift (25 pixels)
    static constexpr qint64 kTypeAheadMs = 1000;

    // places: what lies where on the form's map, shared with the window's
    // other parts so that all of them agree.
    KeyboardPlay(Form1 &form, const MapPlaces &places);

    // Handles a key pressed while a part has the focus; msecs is the time of
    // the key press (it ends a type-ahead word after a pause). Returns whether
    // the key was used.
    bool keyPress(Part part, int key, Qt::KeyboardModifiers modifiers, const QString &text, qint64 msecs);

    // The selected name label, -1 when every name is on the map.
    int selected() const { return selected_; }
    void select(int index);
    // Whether a name is being carried on the pin.
    bool carrying() const;
    // The name label being carried, or nullptr.
    Control *carried() const;
    // Where the pin's needle points, in twips.
    QPoint pin() const { return pin_; }
    // Whether the pin shows on the map (it does once it has been used).
    bool pinShown() const { return pinShown_; }
    // The part the focus should move to after the last key, once (the pin
    // takes it along when a name is picked up and gives it back afterwards).
    Part takeWantedFocus();

    // The visible part of the map, where the pin can go.
    QRect mapArea() const { return places_.area(); }
    // What the map says about the pin, or about the pointer during a mouse drag.
    QString mapDescription() const;

    // Picks the selected name up on the pin.
    bool pickUp();
    // Drops the carried name at the needle's tip.
    bool drop();
    // Puts a carried name back, or cancels a mouse drag: nothing is judged.
    bool cancel();
    // Moves the pin by a number of twips, within the map.
    void movePin(QPoint delta);
    // Jumps the pin to the middle of the nearest country in that direction.
    bool jump(Heading heading);

signals:
    // Anything shown changed: selection, pin, carried name.
    void changed();
    void pickedUp(const Control &name);
    // Typing chose the name that was selected already.
    void selectedAgain(const Control &name);
    // The pin came onto another country, the sea or land of no country.
    void pinMoved(const MapPlaces::Place &place);
    // An arrow could not move the pin: the map's edge, or (a jump) no country
    // further that way.
    void pinBlocked(MapPlaces::Heading heading, bool jump);
    // Asked where the pin is (Home on the map).
    void pinAsked(const MapPlaces::Place &place, MapPlaces::Sector sector);

private:
    bool isShown(int index) const;
    int count() const;
    bool namesKey(int key, Qt::KeyboardModifiers modifiers, const QString &text, qint64 msecs);
    bool mapKey(int key, Qt::KeyboardModifiers modifiers);
    void moveInColumn(int direction);
    void moveAcross(int direction);
    void typeAhead(const QString &text, qint64 msecs);
    bool continuesAName(qint64 msecs) const;
    void keepSelectionOnPanel();
    void placePin(QPoint to);

    Form1 &form_;
    const MapPlaces &places_;
    int selected_ = 0;
    QPoint pin_;
    bool pinShown_ = false;
    bool carrying_ = false;
    Part wantedFocus_ = Part::Hidden;
    QString typed_;
    qint64 lastTyped_ = 0;
    int wordFrom_ = -1;  // the name selected when the word being typed began
    bool wordToldAgain_ = false;
};
