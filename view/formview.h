// SPDX-License-Identifier: MIT
#pragma once
// A window of the forms runtime on screen: one widget paints the windowless
// controls in stacking order at 15 twips per logical pixel and feeds mouse
// input to the model; push buttons and the text box are real Qt widgets on
// top of it. It paints any window; looks of a program's own (a light over
// the map) are painted by whoever adds them, between the controls. A window
// that would not fit its screen is drawn smaller, all of it alike (zoom):
// what is seen, hit and told stays in one place.
#include "captionlayout.h"

#include <QCursor>
#include <QWidget>
#include <functional>
#include <map>
#include <unordered_map>

class Control;
class Form;
class QPainter;

class FormView : public QWidget {
    Q_OBJECT
public:
    // Who draws the window's title bar: the desktop, or (where it draws none
    // and the toolkit's own would offer to maximise a window that cannot
    // be) the view, above the client area, with minimise and close only.
    enum class Frame { ByDesktop, Own };
    // What this platform needs: its own title bar on Wayland, where the
    // program turns the toolkit's off (see ownFrameWanted()).
    static Frame frameHere();
    // Asks the Wayland platform to leave the window undecorated; called
    // before the application object is made.
    static void ownFrameWanted();
    static constexpr int kCaptionHeight = 30;

    explicit FormView(Form &form, Frame frame = frameHere());

    // Brings widgets, pointer, caption and icon up to date with the model and
    // repaints what changed on screen.
    void sync();
    // Shows the window centred on its screen.
    void showCentred();

    // Captions shaped so far; a shaped caption is kept until its text, font or
    // box change.
    int captionLayoutsMade() const { return captionLayoutsMade_; }

    static QColor toColor(quint32 oleColor);
    // A control's font at 96 dots per inch.
    static QFont fontOf(const Control &c);
    // Twips in the form's own pixels (15 twips each): what painters of this
    // window draw in, scaled by the zoom.
    static QRectF toFormPixels(const QRect &twips);
    // Twips in this window's logical pixels.
    QRectF toPixels(const QRect &twips) const;
    QPoint toTwips(QPointF pixels) const;
    // Where the client area begins in the window: below its own title bar.
    QPoint clientOrigin() const { return QPoint(0, caption_ ? kCaptionHeight : 0); }
    bool hasOwnCaption() const { return caption_; }
    // The own title bar's buttons, in window pixels (empty without one).
    QRect minimizeButtonRect() const;
    QRect closeButtonRect() const;
    // Logical pixels a form pixel covers: 1, or less where the window at
    // full size would not fit its screen's free area with a frame around it.
    double zoom() const { return zoom_; }
    // The largest zoom, up to 1, at which a client area of that many form
    // pixels and a window frame fit the area.
    static double zoomToFit(QSizeF client, QSize area);

    // Paints a look of the program's own just above a control (and below
    // whatever lies in front of it), where it meets the exposed area (form
    // pixels); the painter draws in form pixels from the window's origin.
    using Painting = std::function<void(QPainter &painter, const QRect &exposed)>;
    void paintAbove(const Control &control, Painting painting);
    // Repaints an area of the window given in twips.
    void updateTwips(const QRect &twips);

signals:
    // The window has been painted for the first time.
    void firstPainted();
    // The mouse, in twips, just before the window model is given it: the
    // left button pressed (a drag may begin), the pointer moved, the left
    // button let go.
    void pressing(QPoint twips);
    void pointerMoving(QPoint twips);
    void releasing(QPoint twips);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createWidgets();
    void paintCaption(QPainter &painter);
    // A press or release on the own title bar; true when it was there.
    bool captionPress(QMouseEvent *event);
    bool captionRelease(QMouseEvent *event);
    void paintControl(QPainter &painter, const Control &c);
    const CaptionLayout &captionOf(const Control &label);
    // A picture enlarged to a size in device pixels, or a null image while
    // it is being made.
    QImage enlargedPicture(const Control &c, const QImage &sharp, QSize device);
    QCursor pointer();
    // The pixels a twip rectangle touches, with a pixel to spare for smoothing.
    QRect pixelsTouched(const QRect &twips) const;

    // A shaped caption and what it was shaped from.
    struct ShapedCaption {
        QString caption, fontName;
        double fontSize = 0;
        bool bold = false;
        QSize box;
        int alignment = 0;
        CaptionLayout layout;
    };

    Form &form_;
    const bool caption_;
    double zoom_ = 1;
    int captionPressed_ = 0;  // 1 minimise, 2 close, while the button is held
    std::map<QWidget *, Control *> widgets_;
    QString appliedStyleSheet_;
    qint64 iconKey_ = 0;
    bool painted_ = false;
    std::map<std::pair<qint64, int>, QCursor> cursors_;  // by picture and scale (percent)
    std::unordered_map<const Control *, ShapedCaption> captions_;
    int captionLayoutsMade_ = 0;
    std::multimap<const Control *, Painting> paintings_;
    struct Enlarged {
        qint64 key = 0;
        QSize size;
        QImage image;
    };
    std::unordered_map<const Control *, Enlarged> enlarged_;
};
