// SPDX-License-Identifier: MIT
#pragma once
// Keyboard play on screen: the name panel and the map take the focus between
// the off-screen text box and the buttons, a clear focus ring marks the part
// that has it, the selected name is highlighted and a carried name rides on a
// push-pin over the map. The quiz window (QuizWindow) wires it to the rest.
#include "keyboardplay.h"

#include <QWidget>

class Form1;
class FormView;
class KeyboardView;
class QPainter;
class QPushButton;

// A part of the window that takes the keyboard focus; it lets the mouse
// through to the window beneath and only paints marks of its own.
class KeyPart : public QWidget {
    Q_OBJECT
public:
    KeyPart(KeyboardView &keys, KeyboardPlay::Part part, QWidget *parent);
    KeyboardPlay::Part part() const { return part_; }
    KeyboardView &keys() const { return keys_; }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    bool focusNextPrevChild(bool next) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

    // Places a part over an area given in twips; it paints in form pixels
    // from its own corner, the window's zoom applied (begin()).
    void place(const QRect &twips);
    void begin(QPainter &painter) const;
    QPointF formCorner() const { return formCorner_; }

    KeyboardView &keys_;
    const KeyboardPlay::Part part_;

private:
    QPointF formCorner_;
};

// The two columns of names on the panel.
class NamePanel : public KeyPart {
    Q_OBJECT
public:
    NamePanel(KeyboardView &keys, QWidget *parent);
    // A name's place in this widget's pixels.
    QRect nameRect(int index) const;

protected:
    void paintEvent(QPaintEvent *event) override;
};

// The map, with the pin when it is in use.
class MapPart : public KeyPart {
    Q_OBJECT
public:
    MapPart(KeyboardView &keys, QWidget *parent);
    // The needle's tip in this widget's pixels.
    QPoint tip() const;
    bool pinVisible() const;

protected:
    void paintEvent(QPaintEvent *event) override;
};

// A ring around the part that has the focus: yellow between two dark lines,
// so that it reads on the blue panel, on the pale map and on the buttons.
class FocusRing : public QWidget {
    Q_OBJECT
public:
    explicit FocusRing(QWidget *parent);
    static constexpr int kWidth = 4;

protected:
    void paintEvent(QPaintEvent *event) override;
};

class KeyboardView : public QObject {
    Q_OBJECT
public:
    KeyboardView(FormView &view, Form1 &form, const MapPlaces &places);
    ~KeyboardView() override;

    KeyboardPlay &play() { return play_; }
    Form1 &form() { return form_; }
    FormView &view() { return view_; }
    NamePanel *names() const { return names_; }
    MapPart *map() const { return map_; }

    // Handles a key of a part; returns whether it was used.
    bool key(KeyboardPlay::Part part, QKeyEvent *event);
    // Brings the marks and the pointer up to date.
    void refresh();
    // A part of the window took or lost the focus.
    void focusChanged();

signals:
    // The focus moved between the parts of the window.
    void focusMoved();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void wireTabOrder();
    void placeRing();

    FormView &view_;
    Form1 &form_;
    KeyboardPlay play_;
    NamePanel *names_;
    MapPart *map_;
    FocusRing *ring_;
    QPushButton *restart_ = nullptr;
    QPushButton *exit_ = nullptr;

    // What the parts showed when last painted.
    struct Marks {
        int selected;
        bool namesFocused, carrying, selectedShown;
        QString selectedCaption;
        bool pinVisible;
        QPoint pin;
        const Control *carried;
        // The selected name is marked while the names or the pin have the keyboard.
        bool nameMarked() const { return selected >= 0 && selectedShown && (namesFocused || carrying); }
        bool sameNames(const Marks &o) const
        {
            if (!nameMarked() && !o.nameMarked())
                return true;
            return selected == o.selected && namesFocused == o.namesFocused && nameMarked() == o.nameMarked()
                   && selectedCaption == o.selectedCaption;
        }
        bool samePin(const Marks &o) const
        {
            return pinVisible == o.pinVisible && (!pinVisible || (pin == o.pin && carried == o.carried));
        }
    };
    Marks marks() const;
    Marks shownMarks_{};
};
