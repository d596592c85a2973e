// SPDX-License-Identifier: MIT
#pragma once
// The quiz window on screen: one widget paints the windowless controls in
// stacking order at 15 twips per logical pixel and feeds mouse input to the
// model; push buttons and the text box are real Qt widgets on top of it.
#include "captionlayout.h"
#include "droptarget.h"

#include <QCursor>
#include <QWidget>
#include <map>
#include <unordered_map>

class Control;
class Form;

class FormView : public QWidget {
    Q_OBJECT
public:
    explicit FormView(Form &form);

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
    static QRectF toPixels(const QRect &twips);

    // The country a dragged name would go to, tinted on the map.
    DropTarget &dropTarget() { return dropTarget_; }

signals:
    // The window has been painted for the first time.
    void firstPainted();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createWidgets();
    void paintControl(QPainter &painter, const Control &c);
    const CaptionLayout &captionOf(const Control &label);
    QCursor pointer();
    static QPoint toTwips(QPointF pixels);
    // The pixels a twip rectangle touches, with a pixel to spare for smoothing.
    static QRect pixelsTouched(const QRect &twips);

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
    std::map<QWidget *, Control *> widgets_;
    QString appliedStyleSheet_;
    qint64 iconKey_ = 0;
    bool painted_ = false;
    std::map<std::pair<qint64, int>, QCursor> cursors_;
    std::unordered_map<const Control *, ShapedCaption> captions_;
    int captionLayoutsMade_ = 0;
    DropTarget dropTarget_;
};
