// SPDX-License-Identifier: MIT
#include "quizwindow.h"

#include "form1.h"

// Before any widget: a reader that asks about one early must get the
// description made for it, which Qt then keeps.
static Form1 &withAccessibility(Form1 &form)
{
    installAccessibility();
    return form;
}

QuizWindow::QuizWindow(Form1 &form, FormView::Frame frame)
    : form_(withAccessibility(form)),
      places_(form),
      view_(form, frame),
      light_(places_),
      keys_(view_, form, places_),
      narrator_(form, keys_.play()),
      reader_(view_, keys_)
{
    wireLight();
    wireKeyboard();
    wireReader();
}

QuizWindow::~QuizWindow() = default;

void QuizWindow::show()
{
    view_.showCentred();
}

void QuizWindow::wireLight()
{
    if (const Control *map = light_.map())
        view_.paintAbove(*map, [this](QPainter &p, const QRect &exposed) { light_.paint(p, exposed); });
    connect(&light_, &DropTarget::areaChanged, &view_, &FormView::updateTwips);
    connect(&view_, &FormView::pressing, this, [this](QPoint twips) {
        light_.prepare();  // what a drag needs, read before its first step
        if (const Control *c = form_.hitTest(twips); c && c->DragMode == 1)
            emit dragMayBegin();
    });
    // The light follows a dragging pointer, and goes when no name is dragged.
    connect(&view_, &FormView::pointerMoving, this, [this](QPoint twips) {
        if (form_.dragSource())
            light_.follow(twips);
        else
            light_.clear();
    });
    connect(&view_, &FormView::releasing, this, [this] { light_.clear(); });
    connect(&form_, &Form::dropRefused, this,
            [this](const Control &zone) { light_.flash(MapPlaces::countryOfZone(zone)); });
}

void QuizWindow::wireKeyboard()
{
    // After the view has synced with the model (it connected first).
    connect(&form_, &Form::changed, &keys_, &KeyboardView::refresh);
    connect(&keys_.play(), &KeyboardPlay::changed, &keys_, &KeyboardView::refresh);
    connect(&form_, &Form::changed, this, &QuizWindow::lightUnderPin);
    connect(&keys_.play(), &KeyboardPlay::changed, this, &QuizWindow::lightUnderPin);
    connect(&keys_.play(), &KeyboardPlay::pickedUp, this, [this] {
        light_.prepare();
        emit dragMayBegin();
    });
}

void QuizWindow::wireReader()
{
    connect(&narrator_, &Narrator::said, &reader_, &ScreenReader::say);
    connect(&form_, &Form::changed, &reader_, &ScreenReader::treeChanged);
    connect(&keys_.play(), &KeyboardPlay::changed, &reader_, &ScreenReader::treeChanged);
    connect(&keys_, &KeyboardView::focusMoved, &reader_, &ScreenReader::focusMoved);
}

void QuizWindow::lightUnderPin()
{
    KeyboardPlay &play = keys_.play();
    if (play.carrying()) {
        light_.follow(play.pin());
        pinLit_ = true;
    } else if (pinLit_ || !form_.dragSource()) {
        // No drag left (dropped, put back or cancelled with Escape): no light.
        pinLit_ = false;
        light_.clear();
    }
}
