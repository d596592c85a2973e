// SPDX-License-Identifier: MIT
#pragma once
// Playing the quiz from the keyboard: which part of the window has the focus,
// which name is selected on the panel, and a push-pin that carries a picked-up
// name across the map. A carried name is an ordinary drag of the window model,
// so its drop is judged exactly as one made with the mouse. Also puts every
// drop's outcome into words for a screen reader.
#include <QPoint>
#include <QRect>
#include <QString>
#include <Qt>
#include <functional>

class Control;
class Form1;

class KeyboardPlay {
public:
    // The parts of the window the focus moves through, in tab order.
    enum class Part { Hidden, Names, Map, Restart, Exit };

    static constexpr int kColumnSplit = 25;  // labels(25) heads the right-hand column
    static constexpr int kStep = 75;  // twips an arrow key moves the pin (5 pixels)
    static constexpr int kLargeStep = 375;  // with Shift (25 pixels)
    static constexpr qint64 kTypeAheadMs = 1000;

    explicit KeyboardPlay(Form1 &form);
    ~KeyboardPlay();
    KeyboardPlay(const KeyboardPlay &) = delete;
    KeyboardPlay &operator=(const KeyboardPlay &) = delete;

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
    QRect mapArea() const;
    // The country a drop at a point would be judged against, empty when no
    // drop zone would take it.
    QString countryAt(QPoint twips) const;
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

    // Told after anything shown changes, and with each announcement.
    std::function<void()> changed;
    std::function<void(const QString &)> announce;

private:
    bool isShown(int index) const;
    int count() const;
    void moveInColumn(int direction);
    void moveAcross(int direction);
    void typeAhead(const QString &text, qint64 msecs);
    bool continuesAName(qint64 msecs) const;
    void keepSelectionOnPanel();
    void aboutToDrop(Control &source, Control *target);
    void dropped(Control &source, Control *target);
    void notify();

    Form1 &form_;
    int selected_ = 0;
    QPoint pin_;
    bool pinShown_ = false;
    bool carrying_ = false;
    Part wantedFocus_ = Part::Hidden;
    QString typed_;
    qint64 lastTyped_ = 0;
    // The drop being judged: its count before, and where it landed.
    int placedBefore_ = 0;
    QString droppedOn_;
};
