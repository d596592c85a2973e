// SPDX-License-Identifier: MIT
#pragma once
// A text box of the window: one line of text that takes the keyboard focus
// and typing. The quiz's only one lies outside the window and is never seen,
// so it is kept light: no editing beyond typing and Backspace, no layout of
// its text until it is painted.
#include <QWidget>

class TextBox : public QWidget {
    Q_OBJECT
public:
    explicit TextBox(QWidget *parent);
    QString text() const { return text_; }
    void setText(const QString &text);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QString text_;
};
