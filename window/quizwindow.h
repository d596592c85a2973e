// SPDX-License-Identifier: MIT
#pragma once
// The quiz window on the desktop, made and wired in one place: the view of
// Form1, the drop light over its map, the keyboard's marks and pin, the
// screen reader, the narrator that tells it what to say, and the one
// MapPlaces all of them ask what lies where. Every connection between them
// is made here.
#include "accessibility.h"
#include "droptarget.h"
#include "formview.h"
#include "keyboardview.h"
#include "mapplaces.h"
#include "narrator.h"

#include <QObject>

class Form1;

class QuizWindow : public QObject {
    Q_OBJECT
public:
    // The form loaded (Form_Load has run) or not; the view shows what it holds.
    explicit QuizWindow(Form1 &form, FormView::Frame frame = FormView::frameHere());
    ~QuizWindow() override;

    // Shows the window centred on its screen.
    void show();

    Form1 &form() { return form_; }
    FormView &view() { return view_; }
    const MapPlaces &places() const { return places_; }
    DropTarget &dropLight() { return light_; }
    KeyboardView &keys() { return keys_; }
    KeyboardPlay &play() { return keys_.play(); }
    ScreenReader &reader() { return reader_; }
    Narrator &narrator() { return narrator_; }

signals:
    // A name may be about to be dragged: the mouse was pressed on one, or one
    // was picked up with the keyboard. The drop comes a moment later at the
    // soonest.
    void dragMayBegin();

private:
    void wireLight();
    void wireKeyboard();
    void wireReader();
    // The country under the pin lights up as under a dragging pointer.
    void lightUnderPin();

    Form1 &form_;
    MapPlaces places_;
    FormView view_;
    DropTarget light_;
    KeyboardView keys_;
    Narrator narrator_;
    ScreenReader reader_;
    bool pinLit_ = false;
};
