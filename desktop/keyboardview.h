// SPDX-License-Identifier: MIT
#pragma once
// Keyboard play on screen: the name panel and the map take the focus between
// the off-screen text box and the buttons, a clear focus ring marks the part
// that has it, the selected name is highlighted and a carried name rides on a
// push-pin over the map. Also gives the window what a screen reader needs:
// the names as a list, the map and its pin, and a status line that tells the
// outcome of each drop.
#include "keyboardplay.h"

#include <QPointer>
#include <QWidget>
#include <memory>

class Form1;
class FormView;
class KeyboardView;
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

// The line a screen reader reads the outcome of each drop from; it shows nothing.
class StatusLine : public QWidget {
    Q_OBJECT
public:
    explicit StatusLine(QWidget *parent);
    QString text() const { return text_; }
    void setText(const QString &text);

private:
    QString text_;
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
    StatusLine *status() const { return status_; }

    // Handles a key of a part; returns whether it was used.
    bool key(KeyboardPlay::Part part, QKeyEvent *event);
    // Brings marks, pin and the screen reader's view up to date.
    void refresh();
    void focusMoved();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void placeRing();
    void tellScreenReader(int oldSelected, bool oldPinShown, QPoint oldPin, const QString &oldMap);

    FormView &view_;
    Form1 &form_;
    KeyboardPlay play_;
    NamePanel *names_;
    MapPart *map_;
    StatusLine *status_;
    FocusRing *ring_;
    QPushButton *restart_ = nullptr;
    QPushButton *exit_ = nullptr;
    std::function<void()> viewChanged_;
    std::vector<bool> shown_;
    int selected_ = -1;
    bool pinShown_ = false;
    bool pinTinted_ = false;
    QPoint pin_;
    QString mapText_;
};
