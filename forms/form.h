// SPDX-License-Identifier: MIT
#pragma once
// A window of the retained model: its controls in collection and stacking
// order, hit-testing, automatic drag and drop, pointer, message boxes and
// unload. The view feeds it input in twips and paints what it holds.
#include "control.h"
#include "platform.h"

#include <QObject>
#include <QPoint>
#include <vector>

// Mouse-pointer codes.
enum : int { vbDefault = 0, vbHourglass = 11, vbCustom = 99 };
// Drag-over states.
enum : int { vbEnter = 0, vbLeave = 1, vbOver = 2 };
// Message box styles: the icon is one of these.
enum : int { vbCritical = 16, vbQuestion = 32, vbExclamation = 48, vbInformation = 64 };
constexpr int kBoxIconBits = vbCritical | vbQuestion | vbExclamation | vbInformation;

// Listeners connect to its signals; any number of them, each in the order
// it connected.
class Form : public QObject {
    Q_OBJECT
public:
    explicit Form(Platform &platform);
    ~Form() override;

    Platform &platform;
    AppObject &App;
    // The window's name, as a skin's style sheet addresses it.
    QString Name;

    // Window properties.
    QString Caption;
    StdPicture Icon;
    StdPicture MouseIcon;
    int MousePointer = vbDefault;
    OleColor BackColor = vbWhite;
    int ClientWidth = 0, ClientHeight = 0;  // twips
    const qint32 hWnd;
    QString StyleSheet;  // set by the skin component
    bool unloaded() const { return unloaded_; }

    // Building the window.
    Control &addControl(ControlKind kind, const QString &name, int index = -1);
    ControlArray &array(const QString &name);
    Control &control(const QString &name) const;
    // Windowless stacking, front first; windowed controls lie above them all.
    void setStacking(const std::vector<Control *> &frontToBack);
    // Takes a control off the window and destroys it (an array element's
    // Unload): it no longer paints, takes the mouse or is in Controls().
    void removeControl(Control &control);

    const std::vector<Control *> &Controls() const { return collection_; }
    const std::vector<Control *> &stacking() const { return stacking_; }
    std::vector<Control *> windowedControls() const;

    // Brings a control to the front of its layer.
    void ZOrder(Control &control);
    // The topmost visible control at a point that takes mouse and drag events.
    Control *hitTest(QPoint twips) const;

    // Modal message box; the window is brought up to date first.
    int MsgBox(const QString &prompt, int style, const QString &title);
    // Tells the player that a guarded statement failed (Guard): by default
    // a box with the failure's description; a window may word it otherwise.
    virtual void reportFailure(const QString &description, const QString &location, int line);
    // Unloads the window, as its close command does.
    void Unload();

    // Input from the view, in client-area twips.
    void mouseDown(QPoint twips);
    void mouseMove(QPoint twips);
    void mouseUp(QPoint twips);
    void buttonClick(Control &button);
    void buttonMouseMove(Control &button, QPoint twips);
    void closeRequested();
    // A drag started without the mouse, from a given control at a point; it
    // then moves and ends through mouseMove and mouseUp like any other.
    bool beginDrag(Control &source, QPoint twips);
    // Abandons the drag in progress: nothing is dropped or judged.
    void cancelDrag();

    // The drag in progress, if any.
    Control *dragSource() const { return dragSource_; }
    QPoint dragPosition() const { return dragPos_; }

    // What changed on screen since the last call, as twip rectangles: the old
    // and new places of controls whose look, place or stacking changed, the
    // drag outline as it moves, and whatever invalidate() was given. The view
    // asks each time it is told of a change and repaints only these; a plain
    // pointer move over the map changes nothing and so repaints nothing.
    std::vector<QRect> takeChangedRects();
    // Marks an area as changed, for looks that the controls do not hold
    // themselves (drop feedback, focus marks): call it, then changed().
    void invalidate(const QRect &twips);
    // The outline a dragged control without a drag icon shows; empty otherwise.
    QRect dragOutline() const;

signals:
    // After every change a handler may have made, so views repaint.
    void changed();
    // Once the window has unloaded.
    void windowUnloaded();
    // A handler turned down a control dropped on a target.
    void dropRefused(const Control &target);
    // Just before and just after a drag ends over a point; target is the
    // control that receives the drop, if any.
    void aboutToDrop(Control &source, Control *target);
    void dropped(Control &source, Control *target);

protected:
    // Events, delivered to the subclass's handlers. X and Y are relative to
    // the control that receives the event.
    virtual void dragOver(Control &target, Control &source, float x, float y, int state);
    virtual void dragDrop(Control &target, Control &source, float x, float y);
    virtual void formMouseMove(int button, int shift, float x, float y);
    virtual void click(Control &control);
    virtual void controlMouseMove(Control &control, int button, int shift, float x, float y);
    virtual void formUnload(int &cancel);
    // A drag ended over no control at all, or was cancelled: nothing was
    // dropped on anything.
    virtual void dropOnNothing(Control &source);
    virtual void dragCancelled(Control &source);

private:
    template <class F> void dispatch(F &&handler);
    void endDrag();
    void notifyChanged();

    // What the view paints of a windowless control, as last reported.
    struct Look {
        bool shown = false;  // visible and painting something
        QRect rect;
        QString caption, fontName;
        double fontSize = 0;
        bool bold = false;
        OleColor fore = 0, back = 0;
        int backStyle = 0, alignment = 0, borderStyle = 0;
        bool stretch = false;
        qint64 picture = 0, picture2x = 0;
    };
    static Look lookOf(const Control &c);
    static bool looksSame(const Look &look, const Control &c);

    std::vector<std::unique_ptr<Control>> owned_;
    std::vector<Control *> collection_;
    std::vector<Control *> stacking_;
    std::map<QString, std::unique_ptr<ControlArray>> arrays_;
    Control *dragSource_ = nullptr;
    Control *dragOverTarget_ = nullptr;
    QPoint dragPos_, grabOffset_;
    bool unloaded_ = false;

    std::vector<Look> shownLooks_;  // one per owned control, in creation order
    std::vector<QRect> invalid_;
    QRect shownOutline_;
    OleColor shownBackColor_ = 0;
    bool everShown_ = false;
};
