#include "form.h"

#include "formserror.h"

#include <QCoreApplication>
#include <algorithm>

static qint32 nextWindowHandle()
{
    static qint32 handle = 0x10010;
    return handle += 0x10;
}

Form::Form(Platform &platform) : platform(platform), App(platform.App), hWnd(nextWindowHandle()) {}

Form::~Form() = default;

Control &Form::addControl(ControlKind kind, const QString &name, int index)
{
    owned_.push_back(std::make_unique<Control>(*this, kind, name, index));
    Control &c = *owned_.back();
    collection_.push_back(&c);
    if (index >= 0)
        array(name).add(c);
    if (!c.windowed() && kind != ControlKind::SkinFramework)
        stacking_.insert(stacking_.begin(), &c);  // a new control starts in front
    return c;
}

ControlArray &Form::array(const QString &name)
{
    auto &slot = arrays_[name];
    if (!slot)
        slot = std::make_unique<ControlArray>(*this, name);
    return *slot;
}

Control &Form::control(const QString &name) const
{
    for (Control *c : collection_)
        if (c->Name == name && c->Index < 0)
            return *c;
    throw FormsError(424, QStringLiteral("Object required: %1").arg(name));
}

void Form::setStacking(const std::vector<Control *> &frontToBack)
{
    std::vector<Control *> rest;
    for (Control *c : stacking_)
        if (std::find(frontToBack.begin(), frontToBack.end(), c) == frontToBack.end())
            rest.push_back(c);
    stacking_ = frontToBack;
    stacking_.insert(stacking_.end(), rest.begin(), rest.end());
}

std::vector<Control *> Form::windowedControls() const
{
    std::vector<Control *> out;
    for (Control *c : collection_)
        if (c->windowed())
            out.push_back(c);
    return out;
}

void Form::ZOrder(Control &control)
{
    const auto it = std::find(stacking_.begin(), stacking_.end(), &control);
    if (it == stacking_.end())
        return;  // windowed controls keep their place above the windowless layer
    stacking_.erase(it);
    stacking_.insert(stacking_.begin(), &control);
}

static bool takesMouse(const Control &c)
{
    // Shapes only draw; media player and skin have no area on the window.
    return c.Visible && c.kind != ControlKind::Shape && c.kind != ControlKind::SkinFramework;
}

Control *Form::hitTest(QPoint twips) const
{
    if (twips.x() < 0 || twips.y() < 0 || twips.x() >= ClientWidth || twips.y() >= ClientHeight)
        return nullptr;
    for (Control *c : collection_)
        if (c->windowed() && takesMouse(*c) && c->rect().contains(twips))
            return c;
    for (Control *c : stacking_)
        if (takesMouse(*c) && c->rect().contains(twips))
            return c;
    return nullptr;
}

int Form::MsgBox(const QString &prompt, int style, const QString &title)
{
    if (changed)
        changed();
    return platform.boxes ? platform.boxes->show(prompt, style, title) : 1;
}

void Form::Unload()
{
    if (unloaded_)
        return;
    int cancel = 0;
    formUnload(cancel);
    if (cancel)
        return;
    endDrag();
    unloaded_ = true;
    if (onUnloaded)
        onUnloaded();
}

// Handlers outside the guarded ones have no error handling of their own; a
// failure there must still not take the program down with it.
template <class F> void Form::dispatch(F &&handler)
{
    try {
        handler();
    } catch (const FormsError &e) {
        MsgBox(e.Description, vbExclamation, QStringLiteral("Application Error"));
    } catch (const std::exception &e) {
        MsgBox(QString::fromLocal8Bit(e.what()), vbExclamation, QStringLiteral("Application Error"));
    }
    if (changed)
        changed();
}

void Form::mouseDown(QPoint twips)
{
    if (unloaded_ || dragSource_)
        return;
    Control *c = hitTest(twips);
    if (!c || c->DragMode != 1 || c->windowed())
        return;
    dragSource_ = c;
    dragOverTarget_ = c;  // the drag starts over its own source
    dragPos_ = twips;
    grabOffset_ = twips - c->rect().topLeft();
    if (changed)
        changed();
}

void Form::mouseMove(QPoint twips)
{
    if (unloaded_)
        return;
    if (!dragSource_) {
        if (const Control *hit = hitTest(twips); !hit || !hit->windowed())
            dispatch([&] { formMouseMove(0, 0, float(twips.x()), float(twips.y())); });
        return;
    }
    dragPos_ = twips;
    Control *source = dragSource_;
    Control *target = hitTest(twips);
    dispatch([&] {
        if (target != dragOverTarget_ && dragOverTarget_) {
            Control *left = dragOverTarget_;
            dragOverTarget_ = nullptr;
            const QPoint p = twips - left->rect().topLeft();
            dragOver(*left, *source, float(p.x()), float(p.y()), vbLeave);
        }
        if (target) {
            const int state = target == dragOverTarget_ ? vbOver : vbEnter;
            dragOverTarget_ = target;
            const QPoint p = twips - target->rect().topLeft();
            dragOver(*target, *source, float(p.x()), float(p.y()), state);
        }
    });
}

void Form::mouseUp(QPoint twips)
{
    if (unloaded_ || !dragSource_)
        return;
    Control *source = dragSource_;
    endDrag();
    if (Control *target = hitTest(twips)) {
        const QPoint p = twips - target->rect().topLeft();
        dispatch([&] { dragDrop(*target, *source, float(p.x()), float(p.y())); });
    } else if (changed) {
        changed();
    }
}

void Form::endDrag()
{
    dragSource_ = nullptr;
    dragOverTarget_ = nullptr;
}

void Form::buttonClick(Control &button)
{
    if (!unloaded_)
        dispatch([&] { click(button); });
}

void Form::buttonMouseMove(Control &button, QPoint twips)
{
    if (!unloaded_)
        dispatch([&] { controlMouseMove(button, 0, 0, float(twips.x()), float(twips.y())); });
}

void Form::closeRequested()
{
    Unload();
}

void Form::dragOver(Control &, Control &, float, float, int) {}
void Form::dragDrop(Control &, Control &, float, float) {}
void Form::formMouseMove(int, int, float, float) {}
void Form::click(Control &) {}
void Form::controlMouseMove(Control &, int, int, float, float) {}
void Form::formUnload(int &) {}
