// SPDX-License-Identifier: MIT
// orbenvale-layout-data FILE: writes the quiz window's layout as JSON, for
// the test drivers and tools that need to know where things are: every
// control with its place in twips, the stacking order, the regions and the
// map-label places, and the few numbers that turn twips into pixels. The
// build writes it from the same code the program builds its window with.
#include "form.h"
#include "form1layout.h"
#include "regions.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

static QString kindName(ControlKind kind)
{
    switch (kind) {
    case ControlKind::Label:
        return QStringLiteral("label");
    case ControlKind::Image:
        return QStringLiteral("image");
    case ControlKind::Shape:
        return QStringLiteral("shape");
    case ControlKind::TextBox:
        return QStringLiteral("textbox");
    case ControlKind::PushButton:
        return QStringLiteral("pushbutton");
    case ControlKind::MediaPlayer:
        return QStringLiteral("mediaplayer");
    case ControlKind::SkinFramework:
        return QStringLiteral("skinframework");
    }
    return {};
}

static QJsonArray rect(const Control &c)
{
    return {c.Left, c.Top, c.Width, c.Height};
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: orbenvale-layout-data FILE\n", stderr);
        return 2;
    }
    Platform platform;
    Form form(platform);
    layout::buildForm1(form);

    QJsonArray controls;
    for (const Control *c : form.Controls()) {
        QJsonObject o{{"name", c->Name},  {"index", c->Index},     {"kind", kindName(c->kind)},
                      {"rect", rect(*c)}, {"visible", c->Visible}, {"tabIndex", c->TabIndex}};
        if (!c->Caption.isEmpty())
            o.insert("caption", c->Caption);
        if (!c->Tag.isEmpty())
            o.insert("tag", c->Tag);
        controls.append(o);
    }
    QJsonArray stacking;
    for (const Control *c : form.stacking())
        stacking.append(QJsonArray{c->Name, c->Index});
    QJsonArray regions, mapLabels;
    for (const layout::RegionRect &r : layout::kRegions)
        regions.append(QJsonArray{r.left, r.top, r.width, r.height, QString::fromLatin1(r.tag)});
    for (const layout::MapLabelPlace &m : layout::kMapLabels)
        mapLabels.append(QJsonArray{m.left, m.top, m.width, m.height, QString::fromLatin1(m.country)});
    const QImage map = layout::mapPicture().image;
    const QJsonObject root{
        {"title", layout::kProductName},
        {"twipsPerPixel", kTwipsPerPixel},
        {"client", QJsonArray{form.ClientWidth, form.ClientHeight}},
        {"mapPicture", QJsonArray{map.width(), map.height()}},
        {"leftColumnNames", layout::kLeftColumnNames},
        {"playerVolume", layout::kPlayerVolume},
        {"controls", controls},
        {"stacking", stacking},
        {"regions", regions},
        {"mapLabels", mapLabels},
    };
    QFile out(QString::fromLocal8Bit(argv[1]));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || out.write(QJsonDocument(root).toJson(QJsonDocument::Compact)) < 0) {
        std::fprintf(stderr, "orbenvale-layout-data: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
