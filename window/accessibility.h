// SPDX-License-Identifier: MIT
#pragma once
// What a screen reader gets from the quiz window: the window itself with its
// caption, the names still on the panel as a list, the map with what the pin
// (or the pointer in a drag) is over, the pin, a status line with the last
// outcome, and a voice: a notification that readers speak as soon as it
// shows, given whatever the quiz tells a listening player (Narrator).
#include <QObject>
#include <QPoint>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <vector>

class FormView;
class KeyboardView;
class MapPart;
class NamePanel;
class QAccessibleInterface;

// An invisible line that holds text for a screen reader and paints nothing.
class ReaderLine : public QWidget {
    Q_OBJECT
public:
    explicit ReaderLine(const QString &name, QWidget *parent);
    QString text() const { return text_; }
    void setText(const QString &text) { text_ = text; }

private:
    QString text_;
};

// The status line: the last thing said, for a reader's "read status bar".
class StatusLine : public ReaderLine {
    Q_OBJECT
public:
    explicit StatusLine(QWidget *parent) : ReaderLine(QStringLiteral("status"), parent) {}
};

// The voice: each new text shows as a notification, which readers speak
// unasked, whatever has the focus. Inside the status line, so that readers
// say the words alone, not the role too.
class Announcement : public ReaderLine {
    Q_OBJECT
public:
    explicit Announcement(QWidget *parent) : ReaderLine(QStringLiteral("announcement"), parent) {}
};

class ScreenReader : public QObject {
    Q_OBJECT
public:
    // Reads the window and its keyboard parts.
    ScreenReader(FormView &window, KeyboardView &keys);
    ~ScreenReader() override;

    // Says a sentence, at once.
    void say(const QString &sentence);
    StatusLine *status() const { return status_; }
    // The notification that said the last sentence.
    Announcement *voice() const { return voices_[next_ == 0 ? kVoices - 1 : next_ - 1]; }

    // The focus moved between the parts of the window.
    void focusMoved();
    // Tells a reader what changed in the tree: names leaving or coming back
    // to the panel, the selection, the pin and what it points at.
    void treeChanged();

signals:
    // A sentence went out to the reader.
    void spoke(const QString &sentence);

private:
    void tellSelection();

    // A reader fetches a notification's words when it gets to the event, so
    // a quick next sentence goes to another one: each keeps its words until
    // it is its turn again.
    // Once said, a notification is emptied again after a while, so that a
    // reader's "read status bar" finds only the last outcome.
    static constexpr int kVoices = 4;
    static constexpr int kHeardMs = 2000;

    FormView &window_;
    KeyboardView &keys_;
    StatusLine *status_;
    Announcement *voices_[kVoices];
    QTimer *quiet_[kVoices];
    int next_ = 0;
    // What the reader was last told of the tree.
    std::vector<bool> shown_;
    int selected_ = -1;
    bool pinShown_ = false;
    QPoint pin_;
    QString mapText_;
};

// Registers the factory that gives those parts their accessible interfaces.
void installAccessibility();

// The list item of a name label (on the panel or not), and the map's pin.
QAccessibleInterface *nameItem(NamePanel *names, int index);
QAccessibleInterface *pinItem(MapPart *map);
