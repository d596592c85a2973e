// SPDX-License-Identifier: MIT
#pragma once
// What a listening player is told, and when: the outcome each drop reports,
// a new round, a name picked up, what the pin comes onto, why it could not
// move, and where it is when asked. Headless; the screen reader voices what
// it says.
#include <QObject>
#include <QString>

class Form1;
class KeyboardPlay;

class Narrator : public QObject {
    Q_OBJECT
public:
    Narrator(Form1 &form, KeyboardPlay &play);

signals:
    void said(const QString &sentence);
};
