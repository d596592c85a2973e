// SPDX-License-Identifier: MIT
#include "keyboardplay.h"

#include "files.h"
#include "form1.h"

#include <cstdlib>
#include <utility>

KeyboardPlay::KeyboardPlay(Form1 &form) : form_(form)
{
    pin_ = mapArea().center();
    form_.aboutToDrop = [this](Control &source, Control *target) { aboutToDrop(source, target); };
    form_.dropped = [this](Control &source, Control *target) { dropped(source, target); };
}

KeyboardPlay::~KeyboardPlay()
{
    form_.aboutToDrop = nullptr;
    form_.dropped = nullptr;
}

int KeyboardPlay::count() const
{
    return form_.labels.count();
}

bool KeyboardPlay::isShown(int index) const
{
    return index >= 0 && form_.labels.exists(index) && form_.labels(index).Visible;
}

QRect KeyboardPlay::mapArea() const
{
    return form_.Image1.rect().intersected(QRect(0, 0, form_.ClientWidth, form_.ClientHeight));
}

QString KeyboardPlay::countryAt(QPoint twips) const
{
    const Control *zone = form_.hitTest(twips);
    if (!zone || zone->Name != QLatin1String("piccoor"))
        return QString();
    return TrimBlanks(zone->Tag);
}

QString KeyboardPlay::mapDescription() const
{
    QString who;
    QPoint at;
    if (form_.dragSource() && !carrying_) {
        who = QStringLiteral("Pointer");
        at = form_.dragPosition();
    } else if (pinShown_) {
        who = QStringLiteral("Pin");
        at = pin_;
    } else {
        return QStringLiteral("No pin on the map");
    }
    const QString country = countryAt(at);
    return country.isEmpty() ? QStringLiteral("%1 over no country").arg(who)
                             : QStringLiteral("%1 over %2").arg(who, country);
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
        notify();
    }
}

void KeyboardPlay::notify()
{
    if (changed)
        changed();
}

// Up and down stay in the column; the ends do not wrap.
void KeyboardPlay::moveInColumn(int direction)
{
    const bool left = selected_ < kColumnSplit;
    const int first = left ? 0 : kColumnSplit;
    const int last = left ? kColumnSplit - 1 : count() - 1;
    for (int i = selected_ + direction; i >= first && i <= last; i += direction)
        if (isShown(i)) {
            select(i);
            return;
        }
}

// Left and right go to the nearest row of the other column that still has a name.
void KeyboardPlay::moveAcross(int direction)
{
    const bool left = selected_ < kColumnSplit;
    if ((direction < 0) == left)
        return;
    const int row = left ? selected_ : selected_ - kColumnSplit;
    const int first = left ? kColumnSplit : 0;
    const int last = left ? count() - 1 : kColumnSplit - 1;
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
    if (msecs - lastTyped_ > kTypeAheadMs)
        typed_.clear();
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
    Control *source = form_.dragSource();
    if (!source)
        return false;
    carrying_ = false;
    form_.cancelDrag();
    if (announce)
        announce(QStringLiteral("%1 put back").arg(source->Caption));
    notify();
    return true;
}

void KeyboardPlay::movePin(QPoint delta)
{
    const QRect area = mapArea();
    const QPoint to(qBound(area.left(), pin_.x() + delta.x(), area.right()),
                    qBound(area.top(), pin_.y() + delta.y(), area.bottom()));
    const bool appeared = !pinShown_;
    pinShown_ = true;
    if (to == pin_) {
        if (appeared)
            notify();
        return;
    }
    pin_ = to;
    if (carrying())
        form_.mouseMove(pin_);  // drag-over events as the pointer would give them
    notify();
}

void KeyboardPlay::aboutToDrop(Control &, Control *target)
{
    placedBefore_ = form_.placedcount;
    droppedOn_ = target && target->Name == QLatin1String("piccoor") ? TrimBlanks(target->Tag) : QString();
    carrying_ = false;
}

void KeyboardPlay::dropped(Control &source, Control *)
{
    // A wrong drop leaves the count alone; a right one raises it, or starts a
    // new round when it completed the map.
    const bool placed = !source.Visible || form_.placedcount != placedBefore_;
    QString message;
    if (placed) {
        const int now = placedBefore_ + 1;
        message = QStringLiteral("%1 placed, %2 of %3").arg(source.Caption).arg(now).arg(Form1::kCompleteCount);
        if (now == Form1::kCompleteCount)
            message += QStringLiteral(". The map is complete! A new round begins.");
    } else if (!droppedOn_.isEmpty()) {
        message = QStringLiteral("%1 is not %2").arg(source.Caption, droppedOn_);
    } else {
        message = QStringLiteral("%1 put back").arg(source.Caption);
    }
    keepSelectionOnPanel();
    if (announce)
        announce(message);
    notify();
}

bool KeyboardPlay::keyPress(Part part, int key, Qt::KeyboardModifiers modifiers, const QString &text, qint64 msecs)
{
    const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
    const int step = modifiers & Qt::ShiftModifier ? kLargeStep : kStep;
    auto arrowsMovePin = [&] {
        switch (key) {
        case Qt::Key_Left:
            movePin({-step, 0});
            return true;
        case Qt::Key_Right:
            movePin({step, 0});
            return true;
        case Qt::Key_Up:
            movePin({0, -step});
            return true;
        case Qt::Key_Down:
            movePin({0, step});
            return true;
        default:
            return false;
        }
    };

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
        arrowsMovePin();
        return true;  // the pin keeps the keyboard until the name is dropped or put back
    }
    switch (part) {
    case Part::Names:
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
        default:
            break;
        }
        if (enter || key == Qt::Key_Space) {
            if (key == Qt::Key_Space && continuesAName(msecs)) {
                typeAhead(QStringLiteral(" "), msecs);  // a blank inside a name being typed
                return true;
            }
            if (pickUp()) {
                wantedFocus_ = Part::Map;
                return true;
            }
            return false;
        }
        if (!text.isEmpty() && text.at(0).isPrint() && !(modifiers & (Qt::ControlModifier | Qt::AltModifier))) {
            typeAhead(text, msecs);
            return true;
        }
        return false;
    case Part::Map:
        if (arrowsMovePin())
            return true;
        if (enter || key == Qt::Key_Space) {
            if (pickUp()) {
                wantedFocus_ = Part::Map;
                return true;
            }
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
