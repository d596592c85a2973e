// SPDX-License-Identifier: MIT
#include "services.h"

#include "files.h"
#include "form.h"
#include "formserror.h"
#include "skincontrol.h"

void ApplySkin(Form &form)
{
    const QString skinPath = form.App.Path + QStringLiteral("\\x\\o.cjs");
    if (Dir(skinPath, vbNormal).isEmpty())
        return;
    form.BackColor = vbButtonFace;
    for (Control *c : form.Controls())
        if (c->kind == ControlKind::Label)
            c->BackColor = vbButtonFace;
    Control &skinControl = form.control(QStringLiteral("SkinFramework1"));
    if (!skinControl.object)
        throw FormsError(91, QStringLiteral("Object variable or With block variable not set"));
    SkinDispatch &skin = *skinControl.object;
    skin.invoke(skin::LoadSkin, DispatchKind::Method, {skinPath, QString()});
    const qint32 options = skin.invoke(skin::Options, DispatchKind::PropertyGet, {}).toInt();
    skin.invoke(skin::Options, DispatchKind::PropertyPut, {qint32(options | 1)});
    skin.invoke(skin::ApplyOptions, DispatchKind::PropertyPut, {true});
    skin.invoke(skin::ApplyFrame, DispatchKind::PropertyPut, {true});
    skin.invoke(skin::ApplyWindow, DispatchKind::Method, {qint32(form.hWnd)});
}

bool FileExists(const QString &path)
{
    try {
        FileDateTime(path);
        return true;
    } catch (...) {
        return false;
    }
}

QString pointerCursorPath(const Form &form)
{
    return form.App.Path + QStringLiteral("\\HAND-M.CUR");
}

void LoadPointerCursor(Form &form)
{
    form.MouseIcon = LoadPicture(pointerCursorPath(form));
}

QString cutAppTitle(const QString &productName)
{
    QString text = productName;
    do {
        const qsizetype p = text.lastIndexOf(QLatin1Char(' ')) + 1;  // 0: no blank
        if (p - 1 < 0)
            throw errors::invalidCall();
        text = text.left(p - 1);
    } while (text.size() > 40);
    return text;
}

void SetAppTitle(Form &form, const QString &productName)
{
    form.App.Title = cutAppTitle(productName);
}

void OpenHomePageByChance(Form &form)
{
    Platform &p = form.platform;
    p.random.Randomize(p.Timer ? p.Timer() : secondsSinceMidnight());
    const int n = int(p.random.Rnd() * 100) + 1;
    if (n == 7) {
        if (!p.shell)
            throw errors::fileNotFound();
        p.shell->run(QStringLiteral("explorer \"%1\"").arg(kHomePage), 2);
    }
}
