// SPDX-License-Identifier: MIT
#include "narrator.h"

#include "form1.h"
#include "keyboardplay.h"
#include "spoken.h"

Narrator::Narrator(Form1 &form, KeyboardPlay &play)
{
    connect(&form, &Form1::dropJudged, this, [this](const DropOutcome &o) { emit said(spoken::outcome(o)); });
    connect(&form, &Form1::roundStarted, this, [this, &form] {
        int names = 0;
        for (const auto &[index, label] : form.labels.elements())
            names += label->Visible;
        emit said(spoken::newRound(names));
    });
    connect(&play, &KeyboardPlay::pickedUp, this,
            [this](const Control &name) { emit said(spoken::pickedUp(name.Caption)); });
    connect(&play, &KeyboardPlay::selectedAgain, this,
            [this](const Control &name) { emit said(spoken::nameAgain(name.Caption)); });
    connect(&play, &KeyboardPlay::pinMoved, this, [this](const MapPlaces::Place &p) { emit said(spoken::place(p)); });
    connect(&play, &KeyboardPlay::pinBlocked, this,
            [this](MapPlaces::Heading heading, bool jump) { emit said(spoken::blocked(heading, jump)); });
    connect(&play, &KeyboardPlay::pinAsked, this,
            [this](const MapPlaces::Place &p, MapPlaces::Sector sector) { emit said(spoken::whereIsPin(p, sector)); });
}
