// SPDX-License-Identifier: MIT
#include "control.h"

#include "files.h"
#include "form.h"
#include "formserror.h"
#include "mediabackend.h"

Control::Control(Form &owner, ControlKind controlKind, QString name, int index)
    : form(owner), kind(controlKind), Name(std::move(name)), Index(index)
{
}

bool Control::windowed() const
{
    return kind == ControlKind::TextBox || kind == ControlKind::PushButton || kind == ControlKind::MediaPlayer;
}

QString Control::displayName() const
{
    return Index < 0 ? Name : QStringLiteral("%1(%2)").arg(Name).arg(Index);
}

void Control::setURL(const QString &url)
{
    if (!url.isEmpty() && form.platform.media)
        form.platform.media->play(resolvePath(url));
}

void Control::copyPropertiesTo(Control &other) const
{
    other.Left = Left;
    other.Top = Top;
    other.Width = Width;
    other.Height = Height;
    other.Tag = Tag;
    other.Caption = Caption;
    other.FontName = FontName;
    other.FontSize = FontSize;
    other.FontBold = FontBold;
    other.ForeColor = ForeColor;
    other.BackColor = BackColor;
    other.BackStyle = BackStyle;
    other.Alignment = Alignment;
    other.BorderStyle = BorderStyle;
    other.DragMode = DragMode;
    other.Stretch = Stretch;
    other.Enabled = Enabled;
    other.Picture = Picture;
    other.DragIcon = DragIcon;
}

Control &ControlArray::operator()(int index) const
{
    const auto it = elements_.find(index);
    if (it == elements_.end())
        throw errors::noSuchElement(index);
    return *it->second;
}

Control &ControlArray::Load(int index)
{
    if (elements_.empty())
        throw errors::noSuchElement(index);
    if (exists(index))
        throw errors::alreadyLoaded();
    if (index < 0 || index > 32767)
        throw errors::invalidCall();
    const Control &model = *elements_.begin()->second;
    Control &element = form_.addControl(model.kind, name_, index);
    model.copyPropertiesTo(element);
    element.Visible = false;
    return element;
}

void ControlArray::Unload(int index)
{
    if (!exists(index))
        throw errors::noSuchElement(index);
    Control *element = elements_.at(index);
    elements_.erase(index);
    form_.removeControl(*element);
}
