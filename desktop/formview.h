#pragma once
// The quiz window on screen: one widget paints the windowless controls in
// stacking order at 15 twips per logical pixel and feeds mouse input to the
// model; push buttons and the text box are real Qt widgets on top of it.
#include <QCursor>
#include <QWidget>
#include <map>

class Control;
class Form;

class FormView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTwipsPerPixel = 15;

    explicit FormView(Form &form);

    // Brings widgets, pointer, caption and icon up to date with the model.
    void sync();
    // Shows the window centred on its screen.
    void showCentred();

    static QColor toColor(quint32 oleColor);
    static QRectF toPixels(const QRect &twips);

signals:
    // The window has been painted for the first time.
    void firstPainted();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createWidgets();
    void paintControl(QPainter &painter, const Control &c);
    QCursor pointer();
    static QPoint toTwips(QPointF pixels);

    Form &form_;
    std::map<QWidget *, Control *> widgets_;
    QString appliedStyleSheet_;
    qint64 iconKey_ = 0;
    bool painted_ = false;
    std::map<qint64, QCursor> cursors_;
};
