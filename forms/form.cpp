// SPDX-License-Identifier: MIT
#include "form.h"

#include "formserror.h"
#include "guard.h"

#include <QCoreApplication>
#include <algorithm>

static qint32 nextWindowHandle()
{
    static qint32 handle = 0x10010;
    return handle += 0x10;
}

Form::Form(Platform &host) : platform(host), App(host.App), hWnd(nextWindowHandle()) {}

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
    invalidate(QRect(0, 0, ClientWidth, ClientHeight));
}

void Form::removeControl(Control &control)
{
    if (dragSource_ == &control)
        endDrag();
    if (dragOverTarget_ == &control)
        dragOverTarget_ = nullptr;
    std::erase(collection_, &control);
    std::erase(stacking_, &control);
    const auto it = std::find_if(owned_.begin(), owned_.end(), [&](const auto &c) { return c.get() == &control; });
    if (it == owned_.end())
        return;
    const size_t i = size_t(it - owned_.begin());
    if (i < shownLooks_.size()) {
        if (shownLooks_[i].shown)
            invalid_.push_back(shownLooks_[i].rect);  // what it showed goes
        shownLooks_.erase(shownLooks_.begin() + long(i));
    }
    owned_.erase(it);
}

std::vector<Control *> Form::windowedControls() const
{
    std::vector<Control *> out;
    for (Control *c : collection_)
        if (c->windowed())
            out.push_back(c);
    return out;
}

// Whether a windowless control paints anything; real widgets repaint
// themselves, and the media player and skin have no area.
static bool paints(const Control &c)
{
    switch (c.kind) {
    case ControlKind::Label:
        return c.Visible;
    case ControlKind::Image:
        return c.Visible && !c.Picture.isNull();
    case ControlKind::Shape:
        return c.Visible && c.BorderStyle != 0;
    default:
        return false;
    }
}

void Form::ZOrder(Control &control)
{
    const auto it = std::find(stacking_.begin(), stacking_.end(), &control);
    if (it == stacking_.end())
        return;  // windowed controls keep their place above the windowless layer
    stacking_.erase(it);
    stacking_.insert(stacking_.begin(), &control);
    if (paints(control))
        invalidate(control.rect());
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
    notifyChanged();
    return platform.boxes ? platform.boxes->show(prompt, style, title) : 1;
}

void Form::reportFailure(const QString &description, const QString &location, int line)
{
    MsgBox(failureReportText(description, location, line), vbExclamation, kFailureTitle);
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
    emit windowUnloaded();
}

// Handlers outside the guarded ones have no error handling of their own; a
// failure there must still not take the program down with it.
template <class F> void Form::dispatch(F &&handler)
{
    try {
        handler();
    } catch (const FormsError &e) {
        MsgBox(e.Description, vbExclamation, kFailureTitle);
    } catch (const std::exception &e) {
        MsgBox(QString::fromLocal8Bit(e.what()), vbExclamation, kFailureTitle);
    }
    notifyChanged();
}

void Form::mouseDown(QPoint twips)
{
    if (unloaded_ || dragSource_)
        return;
    if (Control *c = hitTest(twips))
        beginDrag(*c, twips);
}

bool Form::beginDrag(Control &c, QPoint twips)
{
    if (unloaded_ || dragSource_ || c.DragMode != 1 || c.windowed() || !c.Visible)
        return false;
    dragSource_ = &c;
    dragOverTarget_ = &c;  // the drag starts over its own source
    dragPos_ = twips;
    grabOffset_ = twips - c.rect().topLeft();
    notifyChanged();
    return true;
}

void Form::cancelDrag()
{
    Control *source = dragSource_;
    if (!source)
        return;
    endDrag();
    dispatch([&] { dragCancelled(*source); });
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
    Control *target = hitTest(twips);
    emit aboutToDrop(*source, target);
    if (target) {
        const QPoint p = twips - target->rect().topLeft();
        dispatch([&] { dragDrop(*target, *source, float(p.x()), float(p.y())); });
    } else {
        dispatch([&] { dropOnNothing(*source); });
    }
    if (!unloaded_)
        emit dropped(*source, target);
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

void Form::notifyChanged()
{
    emit changed();
}

void Form::invalidate(const QRect &twips)
{
    if (twips.isEmpty())
        return;
    // Without a view nobody takes them; past a few hundred it is all one area.
    if (invalid_.size() >= 256)
        invalid_.assign(1, QRect(0, 0, ClientWidth, ClientHeight));
    invalid_.push_back(twips);
}

QRect Form::dragOutline() const
{
    if (!dragSource_ || !dragSource_->DragIcon.isNull())
        return {};
    return QRect(dragPos_ - grabOffset_, dragSource_->rect().size());
}

Form::Look Form::lookOf(const Control &c)
{
    Look look;
    look.shown = paints(c);
    if (!look.shown)
        return look;
    look.rect = c.rect();
    look.caption = c.Caption;
    look.fontName = c.FontName;
    look.fontSize = c.FontSize;
    look.bold = c.FontBold;
    look.fore = c.ForeColor;
    look.back = c.BackColor;
    look.backStyle = c.BackStyle;
    look.alignment = c.Alignment;
    look.borderStyle = c.BorderStyle;
    look.stretch = c.Stretch;
    look.picture = c.Picture.image.cacheKey();
    look.picture2x = c.Picture.image2x.cacheKey();
    return look;
}

static bool sameText(const QString &a, const QString &b)
{
    // A shared string is equal without reading it, however long it is.
    return (a.constData() == b.constData() && a.size() == b.size()) || a == b;
}

bool Form::looksSame(const Look &look, const Control &c)
{
    const bool shown = paints(c);
    if (look.shown != shown)
        return false;
    if (!shown)
        return true;
    return look.rect == c.rect() && sameText(look.caption, c.Caption) && look.fontName == c.FontName
           && look.fontSize == c.FontSize && look.bold == c.FontBold && look.fore == c.ForeColor
           && look.back == c.BackColor && look.backStyle == c.BackStyle && look.alignment == c.Alignment
           && look.borderStyle == c.BorderStyle && look.stretch == c.Stretch
           && look.picture == c.Picture.image.cacheKey() && look.picture2x == c.Picture.image2x.cacheKey();
}

std::vector<QRect> Form::takeChangedRects()
{
    std::vector<QRect> out;
    out.swap(invalid_);
    if (!everShown_ || BackColor != shownBackColor_) {
        everShown_ = true;
        shownBackColor_ = BackColor;
        out.push_back(QRect(0, 0, ClientWidth, ClientHeight));
    }
    shownLooks_.resize(owned_.size());  // controls created since start as not shown
    for (size_t i = 0; i < owned_.size(); ++i) {
        Look &shown = shownLooks_[i];
        const Control &c = *owned_[i];
        if (looksSame(shown, c))
            continue;
        Look now = lookOf(c);
        if (shown.shown)
            out.push_back(shown.rect);
        if (now.shown && now.rect != shown.rect)
            out.push_back(now.rect);
        shown = std::move(now);
    }
    if (const QRect outline = dragOutline(); outline != shownOutline_) {
        if (!shownOutline_.isEmpty())
            out.push_back(shownOutline_);
        if (!outline.isEmpty())
            out.push_back(outline);
        shownOutline_ = outline;
    }
    return out;
}

void Form::dragOver(Control &, Control &, float, float, int) {}
void Form::dragDrop(Control &, Control &, float, float) {}
void Form::formMouseMove(int, int, float, float) {}
void Form::click(Control &) {}
void Form::controlMouseMove(Control &, int, int, float, float) {}
void Form::formUnload(int &) {}
void Form::dropOnNothing(Control &) {}
void Form::dragCancelled(Control &) {}
