// SPDX-License-Identifier: MIT
// Judging a dropped name: the zone under the pointer says which country it
// landed on.
#include "files.h"
#include "formserror.h"
#include "form1.h"
#include "sounds.h"

bool Form1::isCorrectDrop(const QString &zoneTag, const QString &nameTag) const
{
    const QString name = trimBlanks(nameTag);
    // An empty name would be "contained" in every zone.
    if (name.isEmpty())
        return false;
    if (trimBlanks(zoneTag) == name)
        return true;
    // A name that is a country of the map in its own right ("Ireland") must
    // not be taken on another country whose name contains it ("Northern
    // Ireland"); partial names from custom lists still match by containment.
    for (const auto &[index, zone] : piccoor.elements())
        if (trimBlanks(zone->Tag) == name)
            return false;
    return zoneTag.contains(name, Qt::CaseSensitive);
}

void Form1::piccoor_DragDrop(int Index, Control &Source, float, float)
{
    const QString zoneTag = piccoor(Index).Tag;
    const QString nameTag = Source.Tag;
    if (!isCorrectDrop(zoneTag, nameTag)) {
        Source.Visible = true;
        wmp1.setURL(soundPath(App.Path, Sound::Wrong));
        emit dropRefused(piccoor(Index));
        tell(DropOutcome::Kind::Wrong, Source, Index);
        return;
    }
    Source.Visible = false;
    const QString shown = Split(nameTag, QStringLiteral(",")).at(0);
    Control &onMap = maplabel(Source.Index);
    onMap.Caption = shown;
    onMap.FontBold = true;
    onMap.Visible = true;
    if (placedcount == 32767)
        throw errors::overflow();
    placedcount = qint16(placedcount + 1);
    wmp1.setURL(soundPath(App.Path, Sound::Correct));
    tell(DropOutcome::Kind::Placed, Source, Index);
    if (placedcount == kCompleteCount) {
        wmp1.setURL(soundPath(App.Path, Sound::Complete));
        MsgBox(QStringLiteral("CONGRATULATIONS!THE MAP IS COMPLETE!"), vbInformation, QStringLiteral("SUCCESS"));
        PushButton1_Click();
    }
}

void Form1::labels_DragDrop(int, Control &Source, float, float)
{
    Source.Visible = true;
    tell(DropOutcome::Kind::PutBack, Source);
}

void Form1::tell(DropOutcome::Kind kind, const Control &source, int zone)
{
    DropOutcome outcome;
    outcome.kind = kind;
    outcome.name = source.Caption;
    outcome.index = source.Index;
    outcome.zone = zone;
    if (zone >= 0 && piccoor.exists(zone))
        outcome.country = trimBlanks(piccoor(zone).Tag);
    outcome.placed = placedcount;
    outcome.total = kCompleteCount;
    emit dropJudged(outcome);
}

void Form1::labels_DragOver(int, Control &Source, float, float, int)
{
    Source.DragIcon = Image2.Picture;
}
