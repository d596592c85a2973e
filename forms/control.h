// SPDX-License-Identifier: MIT
#pragma once
// One control of a window in the retained model: geometry in twips and the
// properties the quiz uses, addressed by their runtime names. Painting and
// input belong to the view; this is plain data the handlers read and write.
#include "picture.h"

#include <QRect>
#include <QString>
#include <map>
#include <memory>

class Form;

enum class ControlKind { Label, Image, Shape, TextBox, PushButton, MediaPlayer, SkinFramework };

// Twips in a pixel at 96 dots per inch: the unit every place and size is given in.
constexpr int kTwipsPerPixel = 15;

// OLE colour values: 0x00BBGGRR, or 0x800000nn for system colour nn.
using OleColor = quint32;
constexpr OleColor vbButtonFace = 0x8000000F;
constexpr OleColor vbButtonText = 0x80000012;
constexpr OleColor vbWindowText = 0x80000008;
constexpr OleColor vbWhite = 0x00FFFFFF;

class SkinDispatch;

class Control {
public:
    Control(Form &form, ControlKind kind, QString name, int index);
    Control(const Control &) = delete;
    Control &operator=(const Control &) = delete;

    Form &form;
    const ControlKind kind;
    const QString Name;
    const int Index;  // -1 outside a control array

    int Left = 0, Top = 0, Width = 0, Height = 0;
    bool Visible = true;
    QString Tag;
    QString Caption;
    QString Text;  // text boxes
    QString FontName = QStringLiteral("Arial");
    double FontSize = 9;
    bool FontBold = false;
    OleColor ForeColor = vbButtonText;
    OleColor BackColor = vbButtonFace;
    int BackStyle = 1;  // 0 transparent, 1 opaque
    int Alignment = 0;  // 0 left, 1 right, 2 centre
    int BorderStyle = 0;  // shapes: 0 no outline, 1 solid
    int DragMode = 0;  // 1: pressing the mouse on it starts a drag
    bool Stretch = false;
    bool Enabled = true;
    int TabIndex = -1;
    StdPicture Picture;
    StdPicture DragIcon;

    // The media player's URL: assigning it starts playback at once.
    void setURL(const QString &url);

    // The skin component's dispatch object.
    std::shared_ptr<SkinDispatch> object;

    // Whether it is a window of its own (above all windowless controls).
    bool windowed() const;
    QRect rect() const { return QRect(Left, Top, Width, Height); }
    QString displayName() const;

    // Copies what a new control-array element inherits from this one.
    void copyPropertiesTo(Control &other) const;
};

// A control array: elements reached by index, created and removed at run time.
class ControlArray {
public:
    ControlArray(Form &form, QString name) : form_(form), name_(std::move(name)) {}

    Control &operator()(int index) const;
    bool exists(int index) const { return elements_.count(index) != 0; }
    int count() const { return int(elements_.size()); }

    // The runtime's Load: a new element, a copy of the lowest one, invisible.
    Control &Load(int index);
    // The runtime's Unload of an element.
    void Unload(int index);

    void add(Control &element) { elements_[element.Index] = &element; }
    const std::map<int, Control *> &elements() const { return elements_; }

private:
    Form &form_;
    QString name_;
    std::map<int, Control *> elements_;
};
