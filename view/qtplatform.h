// SPDX-License-Identifier: MIT
#pragma once
// Message boxes and command execution on the desktop.
#include "platform.h"

class QWidget;

class QtMessageBoxes : public MessageBoxes {
public:
    // Boxes belong to this window once it is on screen.
    QWidget *owner = nullptr;
    int show(const QString &prompt, int style, const QString &title) override;
    // "\r\n", "\r" and "\n" each break the line on screen.
    static QString displayText(const QString &prompt);
};

class QtCommandRunner : public CommandRunner {
public:
    // "explorer <address>" opens the address in the desktop's browser; any
    // other command line starts that program.
    void run(const QString &commandLine, int windowStyle) override;
};
