// SPDX-License-Identifier: MIT
#pragma once
// A quiz window driven headless: message boxes, commands and sounds are
// recorded instead of shown, run or played; the program folder is a
// temporary folder the test fills.
#include "formserror.h"
#include "mediabackend.h"
#include "platform.h"
#include "form1.h"
#include "regions.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <ostream>
#include <memory>
#include <vector>

inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

struct RecordedBox {
    QString prompt;
    int style;
    QString title;
};

class BoxRecorder : public MessageBoxes {
public:
    int show(const QString &prompt, int style, const QString &title) override
    {
        boxes.push_back({prompt, style, title});
        if (onShow)
            onShow(boxes.back());
        return 1;
    }
    std::vector<RecordedBox> boxes;
    std::function<void(const RecordedBox &)> onShow;
};

class CommandRecorder : public CommandRunner {
public:
    void run(const QString &commandLine, int windowStyle) override
    {
        runs.push_back({commandLine, windowStyle});
        if (fail)
            throw FormsError(53, QStringLiteral("File not found"));
    }
    std::vector<std::pair<QString, int>> runs;
    bool fail = false;
};

class SoundRecorder : public MediaBackend {
public:
    void play(const QString &path) override { played.push_back(path); }
    std::vector<QString> played;
};

// The line numbers shown in "at line N" of the recorded error reports.
inline std::vector<int> reportLines(const std::vector<RecordedBox> &boxes)
{
    std::vector<int> lines;
    for (const RecordedBox &b : boxes) {
        const qsizetype at = b.prompt.indexOf(QStringLiteral("at line "));
        if (b.title == QLatin1String("Application Error") && at >= 0)
            lines.push_back(b.prompt.mid(at + 8).section(QLatin1Char('\r'), 0, 0).toInt());
    }
    return lines;
}

// The 41 country names in map-label order, one a line, CRLF line ends.
inline QByteArray countryList(const char *terminator = "\r\n")
{
    QByteArray out;
    for (const auto &m : layout::kMapLabels)
        out += QByteArray(m.country) + terminator;
    return out;
}

class Harness {
public:
    // A seed for which the home page does not open.
    static constexpr float kQuietSeed = 1.0f;

    Harness()
    {
        platform.App.Path = dir.path();
        platform.boxes = &boxes;
        platform.shell = &shell;
        platform.media = &sounds;
        platform.Timer = [this] { return seed; };
    }

    void write(const QString &relative, const QByteArray &bytes)
    {
        const QString path = dir.path() + QLatin1Char('/') + relative;
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(bytes);
    }

    // Creates the window; call load() to run its start-up.
    Form1 &create(const QString &productName = layout::kProductName)
    {
        form = std::make_unique<Form1>(platform, productName);
        return *form;
    }
    Form1 &load()
    {
        if (!form)
            create();
        form->Form_Load();
        return *form;
    }

    // Drags a control with the mouse and lets it go at a point (twips).
    void drag(Control &source, QPoint to)
    {
        const QPoint from = source.rect().center();
        form->mouseDown(from);
        form->mouseMove(from + QPoint(15, 0));
        form->mouseMove(to);
        form->mouseUp(to);
    }

    // A point where a drop is judged against this country's zones.
    QPoint pointOf(const QString &country) const
    {
        for (const auto &[i, zone] : form->piccoor.elements()) {
            if (zone->Tag != country)
                continue;
            const QRect r = zone->rect();
            for (int y = r.top() + 7; y < r.bottom(); y += 15)
                for (int x = r.left() + 7; x < r.right(); x += 15) {
                    const Control *hit = form->hitTest({x, y});
                    if (hit && hit->Name == QLatin1String("piccoor") && hit->Tag == country)
                        return {x, y};
                }
        }
        return {-1, -1};
    }

    QTemporaryDir dir;
    BoxRecorder boxes;
    CommandRecorder shell;
    SoundRecorder sounds;
    Platform platform;
    float seed = kQuietSeed;
    std::unique_ptr<Form1> form;
};
