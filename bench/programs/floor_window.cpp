// SPDX-License-Identifier: MIT
// The start-up benchmark's floor: what the quiz window's first frame shows
// and nothing else. The same map and panel pictures, compiled in the same
// way and drawn at the same places; the same 43 captions in the same faces
// (the instructions and the 41 names); the same two buttons; centred on the
// screen. It quits after its first frame as the others do.
#include "firstframe.h"
#include "floorlayout.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QWidget>

namespace {

using floorlayout::kTwipsPerPixel;

QRectF pixels(int left, int top, int width, int height)
{
    const double k = kTwipsPerPixel;
    return QRectF(left / k, top / k, width / k, height / k);
}

QRectF pixels(const int (&r)[4])
{
    return pixels(r[0], r[1], r[2], r[3]);
}

QFont face(const char *name, double points, bool bold)
{
    QFont font(QString::fromLatin1(name));
    font.setPixelSize(qRound(points * 96.0 / 72.0));
    font.setBold(bold);
    return font;
}

class FloorWindow : public QWidget {
public:
    FloorWindow() : map_(QStringLiteral(":/assets/map.jpg")), panel_(QStringLiteral(":/assets/panel.jpg"))
    {
        setFixedSize(floorlayout::kClient[0] / kTwipsPerPixel, floorlayout::kClient[1] / kTwipsPerPixel);
        setAttribute(Qt::WA_OpaquePaintEvent);
        for (const auto &b : floorlayout::kButtons) {
            auto *button = new QPushButton(QString::fromLatin1(b.text), this);
            button->setFont(face(b.font, b.points, true));
            QPalette pal = button->palette();
            pal.setColor(QPalette::Button, Qt::white);
            pal.setColor(QPalette::ButtonText, Qt::black);
            button->setPalette(pal);
            button->setGeometry(pixels(b.left, b.top, b.width, b.height).toRect());
        }
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(pixels(floorlayout::kPanel), panel_);
        p.drawImage(pixels(floorlayout::kMap), map_);
        p.setPen(Qt::white);
        for (const auto &c : floorlayout::kCaptions) {
            p.setFont(face(c.font, c.points, c.bold));
            p.drawText(pixels(c.left, c.top, c.width, c.height), Qt::AlignLeft | Qt::TextWordWrap,
                       QString::fromLatin1(c.text));
        }
        if (!painted_) {
            painted_ = true;
            reportFirstFrameSoon();
        }
    }

private:
    QImage map_, panel_;
    bool painted_ = false;
};

}  // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    FloorWindow window;
    window.setWindowTitle(QStringLiteral("floor window"));
    centreOnScreen(window);
    window.show();
    return app.exec();
}
