// SPDX-License-Identifier: MIT
#pragma once
// The quiz window: start-up, item list, drop zones, answer checking, new
// round and leaving, as handlers of the window's events.
#include "files.h"
#include "form.h"
#include "form1layout.h"
#include "outcome.h"
#include "regions.h"

class Guard;

// The quiz window with its controls created. As a base of Form1 it is built
// before any of Form1's members, so their references to the controls can
// bind whatever order they are declared in.
class LaidOutForm1 : public Form {
protected:
    explicit LaidOutForm1(Platform &host) : Form(host) { layout::buildForm1(*this); }
};

class Form1 : public LaidOutForm1 {
    Q_OBJECT
public:
    explicit Form1(Platform &host, QString productName = layout::kProductName);

    // Handlers.
    void Form_Load();
    void Form_MouseMove(int Button, int Shift, float X, float Y);
    void Form_Unload(int &Cancel);
    void labels_DragOver(int Index, Control &Source, float X, float Y, int State);
    void labels_DragDrop(int Index, Control &Source, float X, float Y);
    void piccoor_DragDrop(int Index, Control &Source, float X, float Y);
    void PushButton1_Click();
    void PushButton2_Click();
    void PushButton1_MouseMove(int Button, int Shift, float X, float Y);
    void PushButton2_MouseMove(int Button, int Shift, float X, float Y);

    // Names placed correctly since start-up or the last new round.
    qint16 placedcount = 0;

    // The map is complete with a name on every map label.
    static constexpr int kCompleteCount = layout::kItemCount;

    ControlArray &labels, &maplabel, &shape, &piccoor;
    Control &Image1, &Image2, &Image3, &Label1, &Label2;
    Control &PushButton1, &PushButton2, &wmp1, &SkinFramework1, &Text1;

signals:
    // Every drag of a name ends in one of these, mouse or keyboard alike;
    // told as the handler decides it, before any box it then shows.
    void dropJudged(const DropOutcome &outcome);
    // A new round has begun: every name back on the panel.
    void roundStarted();

protected:
    void dragOver(Control &target, Control &source, float x, float y, int state) override;
    void dragDrop(Control &target, Control &source, float x, float y) override;
    void formMouseMove(int button, int shift, float x, float y) override;
    void click(Control &control) override;
    void controlMouseMove(Control &control, int button, int shift, float x, float y) override;
    void formUnload(int &cancel) override;
    void dropOnNothing(Control &source) override;
    void reportFailure(const QString &description, const QString &location, int line) override;
    void dragCancelled(Control &source) override;

private:
    void tell(DropOutcome::Kind kind, const Control &source, int zone = -1);
    void LoadItemList(Guard &guard);
    void BuildDropZones(Guard &guard);
    bool isCorrectDrop(const QString &zoneTag, const QString &nameTag) const;
    void showPointerOverButton();

    QString productName_;
    FileTable files_;
};
