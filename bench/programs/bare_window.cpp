// SPDX-License-Identifier: MIT
// The start-up benchmark's baseline: a bare Qt window that shows the same
// 593 x 549 map picture as the quiz, compiled in the same way, and quits
// after its first frame.
#include "firstframe.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QWidget>

namespace {

class MapWindow : public QWidget {
public:
    explicit MapWindow(QImage map) : map_(std::move(map)) { setFixedSize(map_.size()); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter(this).drawImage(0, 0, map_);
        if (!painted_) {
            painted_ = true;
            reportFirstFrameSoon();
        }
    }

private:
    QImage map_;
    bool painted_ = false;
};

}  // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    MapWindow window(QImage(QStringLiteral(":/assets/map.jpg")));
    window.setWindowTitle(QStringLiteral("bare window"));
    centreOnScreen(window);
    window.show();
    return app.exec();
}
