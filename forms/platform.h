// SPDX-License-Identifier: MIT
#pragma once
// The platform services a window uses, behind interfaces so that tests can
// record message boxes, commands and sounds instead of showing or running them.
#include <QString>
#include <functional>
#include <random>

class MediaBackend;

struct AppObject {
    QString Path;  // the executable's folder, no trailing separator except at the root
    QString Title;
};

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Shows a modal box and returns once it is closed (1: OK).
    virtual int show(const QString &prompt, int style, const QString &title) = 0;
};

class CommandRunner {
public:
    virtual ~CommandRunner() = default;
    // Starts a command line without waiting for it; throws FormsError when
    // it cannot be started.
    virtual void run(const QString &commandLine, int windowStyle) = 0;
};

// The runtime's random numbers: uniform in [0, 1), seeded explicitly.
class RandomNumbers {
public:
    void Randomize(float seed);
    float Rnd();

private:
    std::mt19937 engine_{0};
};

struct Platform {
    AppObject App;
    MessageBoxes *boxes = nullptr;
    CommandRunner *shell = nullptr;
    MediaBackend *media = nullptr;
    RandomNumbers random;
    // Seconds since midnight, with fraction.
    std::function<float()> Timer;
};

// Seconds since midnight of the local clock.
float secondsSinceMidnight();
