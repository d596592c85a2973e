// SPDX-License-Identifier: MIT
#pragma once
// Keyboard play on screen: the name panel and the map take the focus between
// the off-screen text box and the buttons, a clear focus ring marks the part
// that has it, the selected name is highlighted and a carried name rides on a
// push-pin over the map. A screen reader is told of it all (accessibility.h).
#include "keyboardplay.h"

#include <QWidget>

class Form1;
class FormView;
class KeyboardView;
class QPushButton;
class ScreenReader;

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

    KeyboardView &keys_;
    const KeyboardPlay::Part part_;
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
    KeyboardView(FormView &view, Form1 &form);
    ~KeyboardView() override;

    KeyboardPlay &play() { return play_; }
    Form1 &form() { return form_; }
    FormView &view() { return view_; }
    NamePanel *names() const { return names_; }
    MapPart *map() const { return map_; }
    ScreenReader &reader() const { return *reader_; }

    // Handles a key of a part; returns whether it was used.
    bool key(KeyboardPlay::Part part, QKeyEvent *event);
    // Brings the marks, the pointer and the pin's light up to date.
    void refresh();
    void focusMoved();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void wireTabOrder();
    void placeRing();
    void lightUnderPin();

    FormView &view_;
    Form1 &form_;
    KeyboardPlay play_;
    NamePanel *names_;
    MapPart *map_;
    FocusRing *ring_;
    ScreenReader *reader_;
    QPushButton *restart_ = nullptr;
    QPushButton *exit_ = nullptr;
    bool pinTinted_ = false;
};
