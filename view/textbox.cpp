// SPDX-License-Identifier: MIT
#include "textbox.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QPainter>

TextBox::TextBox(QWidget *parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TextBox::setText(const QString &text)
{
    if (text == text_)
        return;
    text_ = text;
    update();
    QAccessibleValueChangeEvent event(this, text_);
    QAccessible::updateAccessibility(&event);
}

void TextBox::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Backspace && !text_.isEmpty()) {
        setText(text_.chopped(1));
        return;
    }
    const QString typed = event->text();
    if (!typed.isEmpty() && typed.at(0).isPrint() && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        setText(text_ + typed);
        return;
    }
    QWidget::keyPressEvent(event);
}

void TextBox::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), palette().base());
    p.setPen(QPen(palette().mid().color(), 1));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    p.setPen(palette().text().color());
    p.drawText(rect().adjusted(3, 0, -3, 0), Qt::AlignVCenter | Qt::AlignLeft, text_);
}
