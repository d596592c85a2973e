// SPDX-License-Identifier: MIT
#include "form1.h"

#include "errorreport.h"
#include "guard.h"
#include "services.h"
#include "skincontrol.h"

Form1::Form1(Platform &host, QString productName)
    : LaidOutForm1(host),
      labels(array(QStringLiteral("labels"))),
      maplabel(array(QStringLiteral("maplabel"))),
      shape(array(QStringLiteral("shape"))),
      piccoor(array(QStringLiteral("piccoor"))),
      Image1(control(QStringLiteral("Image1"))),
      Image2(control(QStringLiteral("Image2"))),
      Image3(control(QStringLiteral("Image3"))),
      Label1(control(QStringLiteral("Label1"))),
      Label2(control(QStringLiteral("Label2"))),
      PushButton1(control(QStringLiteral("PushButton1"))),
      PushButton2(control(QStringLiteral("PushButton2"))),
      wmp1(control(QStringLiteral("wmp1"))),
      SkinFramework1(control(QStringLiteral("SkinFramework1"))),
      Text1(control(QStringLiteral("Text1"))),
      productName_(std::move(productName))
{
    SkinFramework1.object = std::make_shared<StyleSheetSkin>(*this);
    Caption = productName_;
    App.Title = productName_;
}

// The guarded handlers' statements carry the line numbers, and each handler
// its location text, that the error report shows the player (and support
// asks for): keep them as they stand when the code around them changes.
void Form1::Form_Load()
{
    Guard guard(*this, QStringLiteral("in Orbenvale2017/04/05.Form1.Form_Load "));
    guard.run(102, [&] { ApplySkin(*this); });
    if (guard.test(104, [&] { return FileExists(pointerCursorPath(*this)); }))
        guard.run(106, [&] { LoadPointerCursor(*this); });
    guard.run(108, [&] { Caption = productName_; });
    guard.run(108, [&] { Icon = layout::programIcon(); });
    guard.run(108, [&] { SetAppTitle(*this, productName_); });
    guard.run(110, [&] { OpenHomePageByChance(*this); });
    guard.run(128, [&] { placedcount = 0; });
    LoadItemList(guard);
    BuildDropZones(guard);
    guard.run(176, [&] { PushButton1_Click(); });
}

void Form1::Form_Unload(int &Cancel)
{
    Q_UNUSED(Cancel);  // leaving never asks
}

void Form1::PushButton2_Click()
{
    Guard guard(*this, QStringLiteral("in Orbenvale2017/04/05.Form1.PushButton2_Click "));
    guard.run(100, [&] { Unload(); });
}

void Form1::showPointerOverButton()
{
    if (MousePointer != vbHourglass)
        MousePointer = vbCustom;
}

void Form1::PushButton1_MouseMove(int, int, float, float)
{
    showPointerOverButton();
}

void Form1::PushButton2_MouseMove(int, int, float, float)
{
    showPointerOverButton();
}

void Form1::Form_MouseMove(int, int, float, float)
{
    if (MousePointer != vbHourglass)
        MousePointer = vbDefault;
}

// Event routing: each event goes to the handler named after its control.

void Form1::dragOver(Control &target, Control &source, float x, float y, int state)
{
    if (target.Name == QLatin1String("labels"))
        labels_DragOver(target.Index, source, x, y, state);
}

void Form1::dragDrop(Control &target, Control &source, float x, float y)
{
    if (target.Name == QLatin1String("labels"))
        labels_DragDrop(target.Index, source, x, y);
    else if (target.Name == QLatin1String("piccoor"))
        piccoor_DragDrop(target.Index, source, x, y);
    else
        dropOnNothing(source);  // the map picture, a caption, a button: no handler takes it
}

void Form1::dropOnNothing(Control &source)
{
    tell(DropOutcome::Kind::Nowhere, source);
}

void Form1::dragCancelled(Control &source)
{
    tell(DropOutcome::Kind::Cancelled, source);
}

void Form1::formMouseMove(int button, int shift, float x, float y)
{
    Form_MouseMove(button, shift, x, y);
}

void Form1::click(Control &control)
{
    if (&control == &PushButton1)
        PushButton1_Click();
    else if (&control == &PushButton2)
        PushButton2_Click();
}

void Form1::controlMouseMove(Control &control, int button, int shift, float x, float y)
{
    if (&control == &PushButton1)
        PushButton1_MouseMove(button, shift, x, y);
    else if (&control == &PushButton2)
        PushButton2_MouseMove(button, shift, x, y);
}

void Form1::formUnload(int &cancel)
{
    Form_Unload(cancel);
}

void Form1::reportFailure(const QString &description, const QString &location, int line)
{
    ShowErrorReport(*this, description, location, line);
}
