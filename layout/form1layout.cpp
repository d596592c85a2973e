// SPDX-License-Identifier: MIT
#include "form1layout.h"

#include "form.h"
#include "regions.h"

#include <future>
#include <thread>

namespace layout {

// The pictures the window's first frame shows, read on another thread when
// readPicturesInBackground() has been called, else when first painted.
struct Coming {
    std::shared_future<QImage> map, panel;
    std::thread reader;
    ~Coming()
    {
        if (reader.joinable())
            reader.join();  // never ends the program under a decoder's feet
    }
};
static Coming &coming()
{
    static Coming c;
    return c;
}

void readPicturesInBackground()
{
    if (coming().reader.joinable())
        return;
    std::promise<QImage> map, panel;
    coming().map = map.get_future().share();
    coming().panel = panel.get_future().share();
    coming().reader = std::thread([map = std::move(map), panel = std::move(panel)]() mutable {
        map.set_value(StdPicture::read(QStringLiteral(":/assets/map.jpg"), "jpeg"));
        panel.set_value(StdPicture::read(QStringLiteral(":/assets/panel.jpg"), "jpeg"));
    });
}

void finishReadingPictures()
{
    if (coming().reader.joinable())
        coming().reader.join();
}

static StdPicture deferredPicture(const QString &name, const QByteArray &format,
                                  const std::shared_future<QImage> &pending = {})
{
    StdPicture p;
    p.deferred = name;
    p.format = format;
    p.cache->coming = pending;
    return p;
}

StdPicture mapPicture()
{
    StdPicture p = deferredPicture(QStringLiteral(":/assets/map.jpg"), "jpeg", coming().map);
    // Only a screen with more than one pixel to a point draws it.
    p.deferred2x = QStringLiteral(":/assets/map@2x.jpg");
    return p;
}

StdPicture panelPicture()
{
    return deferredPicture(QStringLiteral(":/assets/panel.jpg"), "jpeg", coming().panel);
}

StdPicture dragIconPicture()
{
    // Not drawn until a name is dragged.
    StdPicture p = deferredPicture(QStringLiteral(":/assets/pushpin.ico"), "ico");
    p.hotspot = QPoint(29, 29);  // the needle's tip marks where the name lands
    p.deferred2x = QStringLiteral(":/assets/pushpin@2x.png");  // drawn finer, the tip on (58, 58)
    return p;
}

StdPicture blankWindowIcon()
{
    QImage blank(32, 32, QImage::Format_ARGB32);
    blank.fill(Qt::transparent);
    StdPicture p;
    p.image = blank;
    return p;
}

StdPicture programIcon()
{
    // The window system takes it once the window has been drawn; a title bar
    // needs no more than this, the desktop has the larger ones installed.
    return deferredPicture(QStringLiteral(":/assets/icons/orbenvale-48.png"), "png");
}

QImage countryMask(int scale)
{
    static QImage masks[2];
    static bool read[2] = {};
    const int k = scale > 1 ? 1 : 0;
    if (!read[k]) {
        read[k] = true;
        const QImage image = StdPicture::read(
            k ? QStringLiteral(":/layout/countrymask@2x.png") : QStringLiteral(":/layout/countrymask.png"), "png");
        if (image.format() == QImage::Format_Indexed8)
            masks[k] = image;
    }
    return masks[k];
}

static Control &place(Control &c, int left, int top, int width, int height)
{
    c.Left = left;
    c.Top = top;
    c.Width = width;
    c.Height = height;
    return c;
}

static void setFont(Control &c, const QString &name, double size, bool bold)
{
    c.FontName = name;
    c.FontSize = size;
    c.FontBold = bold;
}

static Control &label(Form &f, const QString &name, int index, const QString &caption)
{
    Control &c = f.addControl(ControlKind::Label, name, index);
    c.Caption = caption;
    c.BackStyle = 0;
    c.ForeColor = vbWhite;
    return c;
}

static Control &button(Form &f, const QString &name, const QString &caption, int tabIndex)
{
    Control &c = f.addControl(ControlKind::PushButton, name);
    c.Caption = caption;
    setFont(c, QStringLiteral("Arial"), 11.25, true);
    c.ForeColor = vbButtonText;
    c.BackColor = vbWhite;
    c.TabIndex = tabIndex;
    return c;
}

// The two pictures, the instructions, the drag icon's holder and the template drop zone.
static void buildPicturesAndTexts(Form &f)
{
    Control &image1 =
        place(f.addControl(ControlKind::Image, QStringLiteral("Image1")), kMapLeft, kMapTop, kMapWidth, kMapHeight);
    image1.Picture = mapPicture();
    image1.Stretch = true;

    Control &image3 = place(f.addControl(ControlKind::Image, QStringLiteral("Image3")), 8490, -120, 5025, 8340);
    image3.Picture = panelPicture();
    image3.Stretch = true;

    Control &label1 =
        place(label(f, QStringLiteral("Label1"), -1, QStringLiteral("INSTRUCTIONS")), 8970, 360, 1785, 255);
    setFont(label1, QStringLiteral("Arial"), 8.25, true);
    Control &label2 = place(
        label(f, QStringLiteral("Label2"), -1, QStringLiteral("DRAG EACH COUNTRY NAME TO ITS PROPER PLACE ON THE MAP")),
        8970, 630, 3945, 435);
    setFont(label2, QStringLiteral("Arial"), 8.25, false);

    Control &image2 = place(f.addControl(ControlKind::Image, QStringLiteral("Image2")), 10560, 6240, 480, 480);
    image2.Picture = dragIconPicture();
    image2.Visible = false;

    Control &zone0 = place(f.addControl(ControlKind::Image, QStringLiteral("piccoor"), 0), 10320, 6960, 765, 225);
    zone0.DragMode = 1;
}

// The controls that take the keyboard: the buttons, the unseen media player and text box.
static void buildWindowedControls(Form &f)
{
    place(button(f, QStringLiteral("PushButton1"), QStringLiteral("Restart"), kRestartTabIndex), 9000, 7440, 2160, 405);
    place(button(f, QStringLiteral("PushButton2"), QStringLiteral("Exit"), kExitTabIndex), 11280, 7440, 2040, 405);

    Control &wmp1 = place(f.addControl(ControlKind::MediaPlayer, QStringLiteral("wmp1")), 7590, 9450, 4215, 495);
    wmp1.TabIndex = kPlayerTabIndex;
    f.addControl(ControlKind::SkinFramework, QStringLiteral("SkinFramework1"));
    Control &text1 = place(f.addControl(ControlKind::TextBox, QStringLiteral("Text1")), 13800, 3030, 1815, 495);
    text1.Text = QStringLiteral("Text1");
    text1.TabIndex = kText1TabIndex;
    text1.BackColor = vbWhite;
}

// The name labels in their two columns, and the hidden map labels.
static void buildLabels(Form &f)
{
    constexpr int kTop = 1200, kPitch = 210, kWidth = 2115, kHeight = 285;
    // Label 19 is a little shorter than the others.
    constexpr int kShort = 19, kShortHeight = 255;
    for (int i = 0; i < kItemCount; ++i) {
        const bool left = i < kLeftColumnNames;
        const int row = left ? i : i - kLeftColumnNames;
        Control &c = label(f, QStringLiteral("labels"), i, QStringLiteral("Label3"));
        place(c, left ? 9030 : 11220, kTop + kPitch * row, kWidth, i == kShort ? kShortHeight : kHeight);
        setFont(c, QStringLiteral("Arial"), 11.25, true);
        c.DragMode = 1;
    }
    for (int i = 0; i < kItemCount; ++i) {
        const MapLabelPlace &m = kMapLabels[i];
        Control &c = label(f, QStringLiteral("maplabel"), i, QStringLiteral("*************"));
        place(c, m.left, m.top, m.width, m.height);
        setFont(c, QStringLiteral("Arial Narrow"), 6.75, false);
        c.ForeColor = vbButtonText;
        c.Alignment = 2;
        c.Visible = false;
    }
}

static void buildRegions(Form &f)
{
    for (int i = 0; i < kRegionCount; ++i) {
        const RegionRect &r = kRegions[i];
        Control &c =
            place(f.addControl(ControlKind::Shape, QStringLiteral("shape"), i), r.left, r.top, r.width, r.height);
        c.Tag = QString::fromLatin1(r.tag);
        c.BorderStyle = 1;
        c.ForeColor = vbWindowText;
        c.BackStyle = 0;
    }
}

// The windowless controls front to back.
static void stack(Form &f)
{
    ControlArray &labels = f.array(QStringLiteral("labels"));
    ControlArray &maplabel = f.array(QStringLiteral("maplabel"));
    ControlArray &shape = f.array(QStringLiteral("shape"));
    std::vector<Control *> order;
    // Elements from one index to another, counting up or down, both included.
    auto range = [&order](ControlArray &a, int from, int to) {
        for (int i = from;; i += from <= to ? 1 : -1) {
            order.push_back(&a(i));
            if (i == to)
                break;
        }
    };
    order.push_back(&maplabel(26));
    range(labels, 40, 25);
    range(maplabel, 40, 27);
    range(maplabel, 25, 0);
    range(shape, 102, 66);
    range(shape, 64, 0);
    order.push_back(&shape(65));
    range(labels, 24, 13);
    for (const char *name : {"Label2", "Label1", "Image2"})
        order.push_back(&f.control(QLatin1String(name)));
    order.push_back(&f.array(QStringLiteral("piccoor"))(0));
    range(labels, 9, 0);
    range(labels, 10, 12);
    order.push_back(&f.control(QStringLiteral("Image1")));
    order.push_back(&f.control(QStringLiteral("Image3")));
    f.setStacking(order);
}

void buildForm1(Form &f)
{
    f.Name = QStringLiteral("Form1");
    f.ClientWidth = kClientWidth;
    f.ClientHeight = kClientHeight;
    f.BackColor = vbWhite;
    f.Icon = blankWindowIcon();
    buildPicturesAndTexts(f);
    buildWindowedControls(f);
    buildLabels(f);
    buildRegions(f);
    stack(f);
}

}  // namespace layout
