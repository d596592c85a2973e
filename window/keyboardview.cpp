// SPDX-License-Identifier: MIT
#include "keyboardview.h"

#include "captionlayout.h"
#include "form1.h"
#include "formview.h"
#include "spoken.h"

#include <QApplication>
#include <QDateTime>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>

KeyPart::KeyPart(KeyboardView &keys, KeyboardPlay::Part part, QWidget *parent)
    : QWidget(parent), keys_(keys), part_(part)
{
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
}

void KeyPart::place(const QRect &twips)
{
    formCorner_ = FormView::toFormPixels(twips).topLeft();
    setGeometry(keys_.view().toPixels(twips).toRect());
}

void KeyPart::begin(QPainter &painter) const
{
    const double zoom = keys_.view().zoom();
    painter.scale(zoom, zoom);
    // Form pixels from the part's corner as it lies in the window (its
    // geometry is rounded to whole pixels), so that what it paints meets
    // what the window paints.
    painter.translate(formCorner_ - QPointF(pos() - keys_.view().clientOrigin()) / zoom);
}

void KeyPart::keyPressEvent(QKeyEvent *event)
{
    if (!keys_.key(part_, event))
        QWidget::keyPressEvent(event);
}

bool KeyPart::focusNextPrevChild(bool next)
{
    // A carried name keeps the keyboard until it is dropped or put back.
    if (keys_.play().carrying())
        return true;
    return QWidget::focusNextPrevChild(next);
}

void KeyPart::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    keys_.focusChanged();
}

void KeyPart::focusOutEvent(QFocusEvent *event)
{
    QWidget::focusOutEvent(event);
    keys_.focusChanged();
}

NamePanel::NamePanel(KeyboardView &keys, QWidget *parent) : KeyPart(keys, KeyboardPlay::Part::Names, parent)
{
    setObjectName(QStringLiteral("names"));
    QRect all;
    for (const auto &[index, label] : keys.form().labels.elements())
        all |= label->rect();
    place(all);
}

QRect NamePanel::nameRect(int index) const
{
    const Form1 &f = keys_.form();
    if (!f.labels.exists(index))
        return QRect();
    return keys_.view().toPixels(f.labels(index).rect()).toRect().translated(-pos());
}

void NamePanel::paintEvent(QPaintEvent *)
{
    KeyboardPlay &play = keys_.play();
    const int i = play.selected();
    if (i < 0 || !(hasFocus() || play.carrying()) || !keys_.form().labels(i).Visible)
        return;
    const Control &label = keys_.form().labels(i);
    // The labels overlap their neighbours; the mark keeps to the line pitch
    // and the letters so that the names above and below stay readable.
    const QRectF box = FormView::toFormPixels(label.rect()).translated(-formCorner());
    QRect r = box.toRect().adjusted(-3, -1, 3, 0);
    r.setHeight(qMin(r.height(), 18));
    QPainter p(this);
    begin(p);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(hasFocus() ? QColor(0xFF, 0xD4, 0x00) : QColor(0xE0, 0xE0, 0xE0), 2));
    p.setBrush(QColor(0x0A, 0x1A, 0x4A));
    p.drawRoundedRect(QRectF(r).adjusted(1, 1, -1, -1), 3, 3);
    // The name again on the dark ground, so the highlight never dims it; it
    // is fitted into its label as the window fits it.
    p.setPen(Qt::white);
    CaptionLayout(label.Caption, FormView::fontOf(label), box.size(), Qt::AlignLeft).draw(p, box.topLeft());
}

MapPart::MapPart(KeyboardView &keys, QWidget *parent) : KeyPart(keys, KeyboardPlay::Part::Map, parent)
{
    setObjectName(QStringLiteral("map"));
    place(keys.play().mapArea());
}

QPoint MapPart::tip() const
{
    const QPointF px = keys_.view().toPixels(QRect(keys_.play().pin(), QSize(1, 1))).topLeft();
    return QPoint(qRound(px.x()), qRound(px.y())) - pos();
}

bool MapPart::pinVisible() const
{
    return keys_.play().carrying() || (hasFocus() && keys_.play().pinShown());
}

void MapPart::paintEvent(QPaintEvent *)
{
    if (!pinVisible())
        return;
    KeyboardPlay &play = keys_.play();
    const Control *carried = play.carried();
    const StdPicture &pin = carried && !carried->DragIcon.isNull() ? carried->DragIcon : keys_.form().Image2.Picture;
    QPainter p(this);
    begin(p);
    if (!carried)
        p.setOpacity(0.6);  // nothing on it yet
    const QPoint at = (FormView::toFormPixels(QRect(play.pin(), QSize(1, 1))).topLeft() - formCorner()).toPoint();
    if (!pin.isNull()) {
        p.drawImage(at - pin.hotspotOrCentre(), pin.picture());
    } else {
        p.setPen(QPen(Qt::black, 2));
        p.drawLine(at - QPoint(6, 6), at);
    }
}

FocusRing::FocusRing(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("focusring"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    hide();
}

void FocusRing::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setBrush(Qt::NoBrush);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(QPen(QColor(0x10, 0x10, 0x10), 1));
    p.drawRect(r);
    p.drawRect(r.adjusted(3, 3, -3, -3));
    p.setPen(QPen(QColor(0xFF, 0xD4, 0x00), 2));
    p.drawRect(r.adjusted(1.5, 1.5, -1.5, -1.5));
}

KeyboardView::KeyboardView(FormView &view, Form1 &form, const MapPlaces &places)
    : view_(view),
      form_(form),
      play_(form, places),
      names_(new NamePanel(*this, &view)),
      map_(new MapPart(*this, &view)),
      ring_(new FocusRing(&view))
{
    restart_ = view.findChild<QPushButton *>(QStringLiteral("PushButton1"));
    exit_ = view.findChild<QPushButton *>(QStringLiteral("PushButton2"));
    wireTabOrder();
    view.installEventFilter(this);
    shownMarks_ = marks();  // as the window's first frame shows them
}

KeyboardView::~KeyboardView()
{
    // The parts refer to this object: they go with it, not with the window.
    view_.removeEventFilter(this);
    delete ring_;
    delete map_;
    delete names_;
}

// After the text box come the names, the map, Restart and Exit.
void KeyboardView::wireTabOrder()
{
    if (auto *text1 = view_.findChild<QWidget *>(QStringLiteral("Text1"))) {
        QWidget::setTabOrder(text1, names_);
        text1->installEventFilter(this);
        // It keeps the first focus out of sight; a screen reader says where to go.
        text1->setAccessibleDescription(spoken::toTheNames());
    }
    QWidget::setTabOrder(names_, map_);
    for (QPushButton *button : {restart_, exit_})
        if (button)
            button->installEventFilter(this);
    if (restart_)
        QWidget::setTabOrder(map_, restart_);
    if (restart_ && exit_)
        QWidget::setTabOrder(restart_, exit_);
}

bool KeyboardView::key(KeyboardPlay::Part part, QKeyEvent *event)
{
    // Key times on a clock that starts well past a type-ahead pause, so the
    // first letter never continues a word.
    static const qint64 start = QDateTime::currentMSecsSinceEpoch();
    const qint64 now = QDateTime::currentMSecsSinceEpoch() - start + 1000000;
    const bool used = play_.keyPress(part, event->key(), event->modifiers(), event->text(), now);
    switch (play_.takeWantedFocus()) {
    case KeyboardPlay::Part::Names:
        names_->setFocus(Qt::OtherFocusReason);
        break;
    case KeyboardPlay::Part::Map:
        map_->setFocus(Qt::OtherFocusReason);
        break;
    default:
        break;
    }
    refresh();
    return used;
}

bool KeyboardView::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress: {
        auto *ke = static_cast<QKeyEvent *>(event);
        if (ke->key() == Qt::Key_Escape && form_.dragSource()) {
            play_.cancel();  // a mouse drag: nothing is judged
            return true;
        }
        const bool enter = ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter;
        if (enter && (watched == restart_ || watched == exit_) && !ke->isAutoRepeat())
            return key(watched == restart_ ? KeyboardPlay::Part::Restart : KeyboardPlay::Part::Exit, ke);
        break;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
        // While the pin carries a name the pointer must not steer the drag.
        if (watched == &view_ && play_.carrying())
            return true;
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void KeyboardView::focusChanged()
{
    if (map_->hasFocus())
        play_.movePin({0, 0});  // the pin shows where it stands
    refresh();
    emit focusMoved();
}

void KeyboardView::placeRing()
{
    QWidget *focus = QApplication::focusWidget();
    QRect around;
    if (focus == names_)
        around = names_->geometry().adjusted(-FocusRing::kWidth - 2, -FocusRing::kWidth - 2, FocusRing::kWidth + 2,
                                             FocusRing::kWidth + 2);
    else if (focus == map_)
        around = map_->geometry();  // at the window's edge: drawn just inside the map
    else if (focus && (focus == restart_ || focus == exit_))
        around =
            focus->geometry().adjusted(-FocusRing::kWidth, -FocusRing::kWidth, FocusRing::kWidth, FocusRing::kWidth);
    if (around.isEmpty() || !focus->isVisible()) {
        ring_->hide();
        return;
    }
    if (ring_->geometry() != around)
        ring_->setGeometry(around);
    ring_->raise();
    ring_->show();
}

KeyboardView::Marks KeyboardView::marks() const
{
    const Control *selected = form_.labels.exists(play_.selected()) ? &form_.labels(play_.selected()) : nullptr;
    return {play_.selected(),
            names_->hasFocus(),
            play_.carrying(),
            selected && selected->Visible,
            selected ? selected->Caption : QString(),
            map_->pinVisible(),
            play_.pin(),
            play_.carried()};
}

void KeyboardView::refresh()
{
    // The parts are see-through: repainting one repaints the window beneath
    // it, so each is repainted only when its marks change (a pointer moving
    // over the map changes none).
    const Marks now = marks();
    if (!shownMarks_.sameNames(now))
        names_->update();
    if (!shownMarks_.samePin(now))
        map_->update();
    shownMarks_ = now;
    placeRing();
    // The pin on the map shows the carried name; a second one on the pointer
    // would only confuse.
    if (play_.carrying())
        view_.setCursor(Qt::ArrowCursor);
}
