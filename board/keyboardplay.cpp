// SPDX-License-Identifier: MIT
#include "keyboardplay.h"

#include "form1.h"
#include "spoken.h"

#include <cstdlib>
#include <utility>

KeyboardPlay::KeyboardPlay(Form1 &form, const MapPlaces &places) : form_(form), places_(places)
{
    pin_ = mapArea().center();
    // The drop is judged with the pin already down; a completion box shown
    // meanwhile must not find a name still on it.
    connect(&form_, &Form::aboutToDrop, this, [this] { carrying_ = false; });
    connect(&form_, &Form::dropped, this, [this] {
        keepSelectionOnPanel();
        emit changed();
    });
}

int KeyboardPlay::count() const
{
    return form_.labels.count();
}

bool KeyboardPlay::isShown(int index) const
{
    return index >= 0 && form_.labels.exists(index) && form_.labels(index).Visible;
}

QString KeyboardPlay::mapDescription() const
{
    if (form_.dragSource() && !carrying_)
        return spoken::overMap(true, places_.at(form_.dragPosition()));
    if (!pinShown_)
        return spoken::noPinOnMap();
    const Control *name = carried();
    return spoken::overMap(false, places_.at(pin_), name ? name->Caption : QString());
}

bool KeyboardPlay::carrying() const
{
    return carrying_ && form_.dragSource();
}

Control *KeyboardPlay::carried() const
{
    return carrying() ? form_.dragSource() : nullptr;
}

void KeyboardPlay::select(int index)
{
    if (isShown(index) && index != selected_) {
        selected_ = index;
        emit changed();
    }
}

// Up and down stay in the column; the ends do not wrap.
void KeyboardPlay::moveInColumn(int direction)
{
    const bool left = selected_ < layout::kLeftColumnNames;
    const int first = left ? 0 : layout::kLeftColumnNames;
    const int last = left ? layout::kLeftColumnNames - 1 : count() - 1;
    for (int i = selected_ + direction; i >= first && i <= last; i += direction)
        if (isShown(i)) {
            select(i);
            return;
        }
}

// Left and right go to the nearest row of the other column that still has a name.
void KeyboardPlay::moveAcross(int direction)
{
    const bool left = selected_ < layout::kLeftColumnNames;
    if ((direction < 0) == left)
        return;
    const int row = left ? selected_ : selected_ - layout::kLeftColumnNames;
    const int first = left ? layout::kLeftColumnNames : 0;
    const int last = left ? count() - 1 : layout::kLeftColumnNames - 1;
    int best = -1;
    for (int i = first; i <= last; ++i)
        if (isShown(i) && (best < 0 || std::abs(i - first - row) < std::abs(best - first - row)))
            best = i;
    if (best >= 0)
        select(best);
}

// Typing the start of a name selects it; the same letter again goes on to the
// next name that starts with it.
void KeyboardPlay::typeAhead(const QString &text, qint64 msecs)
{
    if (msecs - lastTyped_ > kTypeAheadMs) {
        typed_.clear();
        wordFrom_ = selected_;
        wordToldAgain_ = false;
    }
    lastTyped_ = msecs;
    typed_ += text;
    const bool repeat = typed_.size() > 1 && typed_.count(typed_.at(0)) == typed_.size();
    const QString prefix = repeat ? typed_.left(1) : typed_;
    const int n = count();
    const int start = repeat || typed_.size() == 1 ? selected_ + 1 : qMax(selected_, 0);
    for (int k = 0; k < n; ++k) {
        const int i = ((start + k) % n + n) % n;
        if (isShown(i) && form_.labels(i).Caption.startsWith(prefix, Qt::CaseInsensitive)) {
            select(i);
            // The word typed names the name that was selected when it began:
            // nothing a reader would tell of has changed, so it is said again.
            if (i == wordFrom_ && !wordToldAgain_) {
                wordToldAgain_ = true;
                emit selectedAgain(form_.labels(i));
            }
            return;
        }
    }
}

bool KeyboardPlay::continuesAName(qint64 msecs) const
{
    if (typed_.isEmpty() || msecs - lastTyped_ > kTypeAheadMs)
        return false;
    const QString prefix = typed_ + QLatin1Char(' ');
    for (int i = 0; i < count(); ++i)
        if (isShown(i) && form_.labels(i).Caption.startsWith(prefix, Qt::CaseInsensitive))
            return true;
    return false;
}

void KeyboardPlay::keepSelectionOnPanel()
{
    if (isShown(selected_))
        return;
    const int n = count();
    for (int k = 1; k <= n; ++k)
        if (isShown((selected_ + k) % n)) {
            selected_ = (selected_ + k) % n;
            return;
        }
    selected_ = -1;
}

bool KeyboardPlay::pickUp()
{
    keepSelectionOnPanel();
    if (carrying_ || selected_ < 0 || form_.dragSource())
        return false;
    Control &name = form_.labels(selected_);
    if (!form_.beginDrag(name, name.rect().center()))
        return false;
    carrying_ = true;
    pinShown_ = true;
    emit pickedUp(name);
    // The name leaves its label for the pin, as it would under the pointer.
    form_.mouseMove(pin_);
    return true;
}

bool KeyboardPlay::drop()
{
    if (!carrying())
        return false;
    form_.mouseUp(pin_);
    return true;
}

bool KeyboardPlay::cancel()
{
    if (!form_.dragSource())
        return false;
    carrying_ = false;
    form_.cancelDrag();
    emit changed();
    return true;
}

void KeyboardPlay::placePin(QPoint to)
{
    const MapPlaces::Place before = places_.at(pin_);
    const bool appeared = !pinShown_;
    pinShown_ = true;
    if (to == pin_) {
        if (appeared)
            emit changed();
        return;
    }
    pin_ = to;
    if (carrying())
        form_.mouseMove(pin_);  // drag-over events as the pointer would give them
    if (const MapPlaces::Place after = places_.at(pin_); !after.sameFor(before))
        emit pinMoved(after);
    emit changed();
}

void KeyboardPlay::movePin(QPoint delta)
{
    const QRect area = mapArea();
    const QPoint wanted = pin_ + delta;
    const QPoint to(qBound(area.left(), wanted.x(), area.right()), qBound(area.top(), wanted.y(), area.bottom()));
    placePin(to);
    if (to.x() != wanted.x())
        emit pinBlocked(delta.x() < 0 ? Heading::West : Heading::East, false);
    else if (to.y() != wanted.y())
        emit pinBlocked(delta.y() < 0 ? Heading::North : Heading::South, false);
}

bool KeyboardPlay::jump(Heading heading)
{
    const QPoint to = places_.nearest(pin_, heading);
    if (to.x() < 0) {
        pinShown_ = true;
        emit pinBlocked(heading, true);
        return false;
    }
    placePin(to);
    return true;
}

bool KeyboardPlay::namesKey(int key, Qt::KeyboardModifiers modifiers, const QString &text, qint64 msecs)
{
    keepSelectionOnPanel();
    switch (key) {
    case Qt::Key_Up:
        moveInColumn(-1);
        return true;
    case Qt::Key_Down:
        moveInColumn(1);
        return true;
    case Qt::Key_Left:
        moveAcross(-1);
        return true;
    case Qt::Key_Right:
        moveAcross(1);
        return true;
    case Qt::Key_Home:
        for (int i = 0; i < count(); ++i)
            if (isShown(i))
                return select(i), true;
        return true;
    case Qt::Key_End:
        for (int i = count() - 1; i >= 0; --i)
            if (isShown(i))
                return select(i), true;
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        if (key == Qt::Key_Space && continuesAName(msecs)) {
            typeAhead(QStringLiteral(" "), msecs);  // a blank inside a name being typed
            return true;
        }
        if (!pickUp())
            return false;
        wantedFocus_ = Part::Map;
        return true;
    default:
        break;
    }
    if (!text.isEmpty() && text.at(0).isPrint() && !(modifiers & (Qt::ControlModifier | Qt::AltModifier))) {
        typeAhead(text, msecs);
        return true;
    }
    return false;
}

// Arrows move the pin a few pixels, with Shift further; with Ctrl it jumps
// from country to country. Home tells where it is.
bool KeyboardPlay::mapKey(int key, Qt::KeyboardModifiers modifiers)
{
    Heading heading;
    switch (key) {
    case Qt::Key_Left:
        heading = Heading::West;
        break;
    case Qt::Key_Right:
        heading = Heading::East;
        break;
    case Qt::Key_Up:
        heading = Heading::North;
        break;
    case Qt::Key_Down:
        heading = Heading::South;
        break;
    case Qt::Key_Home:
        pinShown_ = true;
        emit pinAsked(places_.at(pin_), places_.sectorOf(pin_));
        emit changed();
        return true;
    default:
        return false;
    }
    if (modifiers & Qt::ControlModifier) {
        jump(heading);
        return true;
    }
    const int step = modifiers & Qt::ShiftModifier ? kLargeStep : kStep;
    static constexpr QPoint kUnit[] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
    movePin(kUnit[int(heading)] * step);
    return true;
}

bool KeyboardPlay::keyPress(Part part, int key, Qt::KeyboardModifiers modifiers, const QString &text, qint64 msecs)
{
    const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
    if (key == Qt::Key_Escape) {
        if (carrying())
            wantedFocus_ = Part::Names;
        return cancel();
    }
    if (carrying()) {
        if (enter || key == Qt::Key_Space) {
            wantedFocus_ = Part::Names;
            return drop();
        }
        mapKey(key, modifiers);
        return true;  // the pin keeps the keyboard until the name is dropped or put back
    }
    switch (part) {
    case Part::Names:
        return namesKey(key, modifiers, text, msecs);
    case Part::Map:
        if (mapKey(key, modifiers))
            return true;
        if ((enter || key == Qt::Key_Space) && pickUp()) {
            wantedFocus_ = Part::Map;
            return true;
        }
        return false;
    case Part::Restart:
    case Part::Exit:
        if (enter) {
            form_.buttonClick(part == Part::Restart ? form_.PushButton1 : form_.PushButton2);
            return true;
        }
        return false;
    case Part::Hidden:
        break;
    }
    return false;
}

KeyboardPlay::Part KeyboardPlay::takeWantedFocus()
{
    return std::exchange(wantedFocus_, Part::Hidden);
}
