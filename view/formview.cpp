// SPDX-License-Identifier: MIT
#include "formview.h"

#include "form.h"
#include "resample.h"
#include "textbox.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QThreadPool>
#include <QTimer>
#include <QWindow>
#include <QtMath>
#include <algorithm>
#include <utility>

FormView::Frame FormView::frameHere()
{
    // Unless the toolkit's decoration was asked for after all.
    const bool undecorated = qEnvironmentVariableIntValue("QT_WAYLAND_DISABLE_WINDOWDECORATION") != 0;
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland")) && undecorated ? Frame::Own
                                                                                               : Frame::ByDesktop;
}

void FormView::ownFrameWanted()
{
    // Qt's own decoration on Wayland always offers to maximise; the view
    // draws a title bar of its own there instead.
    if (!qEnvironmentVariableIsSet("QT_WAYLAND_DISABLE_WINDOWDECORATION"))
        qputenv("QT_WAYLAND_DISABLE_WINDOWDECORATION", "1");
}

FormView::FormView(Form &form, Frame frame) : form_(form), caption_(frame == Frame::Own)
{
    setObjectName(form.Name);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowCloseButtonHint);
    const QSizeF client(form.ClientWidth / double(kTwipsPerPixel), form.ClientHeight / double(kTwipsPerPixel));
    if (const QScreen *s = screen())
        zoom_ = zoomToFit(client, s->availableGeometry().size());
    setFixedSize((client * zoom_).toSize() + QSize(0, clientOrigin().y()));
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    createWidgets();
    connect(&form_, &Form::changed, this, &FormView::sync);
    connect(&form_, &Form::windowUnloaded, this, &QWidget::close);
    sync();
}

void FormView::paintAbove(const Control &control, Painting painting)
{
    paintings_.emplace(&control, std::move(painting));
}

void FormView::updateTwips(const QRect &twips)
{
    if (!twips.isEmpty())
        update(pixelsTouched(twips));
}

QRectF FormView::toFormPixels(const QRect &twips)
{
    const double k = kTwipsPerPixel;
    return QRectF(twips.x() / k, twips.y() / k, twips.width() / k, twips.height() / k);
}

QRectF FormView::toPixels(const QRect &twips) const
{
    const QRectF r = toFormPixels(twips);
    return QRectF(r.topLeft() * zoom_ + clientOrigin(), r.size() * zoom_);
}

QRect FormView::pixelsTouched(const QRect &twips) const
{
    return toPixels(twips).toAlignedRect().adjusted(-1, -1, 1, 1);
}

QPoint FormView::toTwips(QPointF pixels) const
{
    const double k = kTwipsPerPixel / zoom_;
    const QPointF client = pixels - clientOrigin();
    return QPoint(qRound(client.x() * k), qRound(client.y() * k));
}

// Room for a title bar and borders, which the window manager adds (Qt knows
// the real frame only once the window is shown).
static const QMargins kFrameAllowance(8, 40, 8, 8);

double FormView::zoomToFit(QSizeF client, QSize area)
{
    if (client.isEmpty() || area.isEmpty())
        return 1;
    const QMargins &frame = kFrameAllowance;
    const double across = double(area.width() - frame.left() - frame.right()) / client.width();
    const double down = double(area.height() - frame.top() - frame.bottom()) / client.height();
    return std::clamp(std::min(across, down), 0.25, 1.0);
}

QColor FormView::toColor(quint32 ole)
{
    if (ole & 0x80000000u) {
        switch (ole & 0xFF) {  // the system colours this window uses, as Windows ships them
        case 0x05:
            return QColor(0xFF, 0xFF, 0xFF);  // window
        case 0x0F:
            return QColor(0xF0, 0xF0, 0xF0);  // button face
        default:
            return QColor(0, 0, 0);  // window text, button text
        }
    }
    return QColor(ole & 0xFF, (ole >> 8) & 0xFF, (ole >> 16) & 0xFF);
}

QFont FormView::fontOf(const Control &c)
{
    QFont font(c.FontName);
    font.setPixelSize(qMax(1, qRound(c.FontSize * 96.0 / 72.0)));  // points at 96 dpi
    font.setBold(c.FontBold);
    return font;
}

void FormView::createWidgets()
{
    QWidget *previous = nullptr;
    std::vector<Control *> byTab = form_.windowedControls();
    std::sort(byTab.begin(), byTab.end(), [](Control *a, Control *b) { return a->TabIndex < b->TabIndex; });
    for (Control *c : byTab) {
        QWidget *w = nullptr;
        if (c->kind == ControlKind::PushButton) {
            auto *button = new QPushButton(c->Caption, this);
            connect(button, &QPushButton::clicked, this, [this, c] { form_.buttonClick(*c); });
            button->setAutoDefault(false);
            QPalette pal = button->palette();
            pal.setColor(QPalette::Button, toColor(c->BackColor));
            pal.setColor(QPalette::ButtonText, toColor(c->ForeColor));
            button->setPalette(pal);
            w = button;
        } else if (c->kind == ControlKind::TextBox) {
            auto *box = new TextBox(this);
            box->setText(c->Text);
            w = box;
        } else {
            continue;  // the media player has nothing to show
        }
        w->setObjectName(c->Name);
        QFont font = fontOf(*c);
        font.setPixelSize(qMax(1, qRound(font.pixelSize() * zoom_)));
        w->setFont(font);
        w->setGeometry(toPixels(c->rect()).toRect());
        w->setMouseTracking(true);
        w->installEventFilter(this);
        if (previous)
            setTabOrder(previous, w);
        else
            w->setFocus();
        previous = w;
        widgets_[w] = c;
    }
}

void FormView::sync()
{
    for (auto &[w, c] : widgets_) {
        w->setVisible(c->Visible);
        w->setEnabled(c->Enabled);
        if (auto *button = qobject_cast<QPushButton *>(w))
            button->setText(c->Caption);
    }
    const QRect captionBar(0, 0, width(), clientOrigin().y());
    if (windowTitle() != form_.Caption) {
        setWindowTitle(form_.Caption);
        update(captionBar);
    }
    if (painted_ && form_.Icon.picture().cacheKey() != iconKey_) {  // not in the way of the first frame
        iconKey_ = form_.Icon.picture().cacheKey();
        setWindowIcon(QIcon(QPixmap::fromImage(form_.Icon.picture())));
        update(captionBar);
    }
    if (form_.StyleSheet != appliedStyleSheet_) {
        appliedStyleSheet_ = form_.StyleSheet;
        setStyleSheet(appliedStyleSheet_);
    }
    setCursor(pointer());
    const std::vector<QRect> changed = form_.takeChangedRects();
    const QRect all(0, 0, form_.ClientWidth, form_.ClientHeight);
    if (std::find(changed.begin(), changed.end(), all) != changed.end()) {
        update();  // everything: no need to gather the parts
        return;
    }
    for (const QRect &r : changed)
        update(pixelsTouched(r));
}

QCursor FormView::pointer()
{
    // Pointers are drawn at the screen's scale, from the sharpest picture
    // there is: a 32-pixel pointer covers 40 device pixels at scale 1.25 and
    // 64 at scale 2, and its hotspot stays on the same spot of the picture.
    const qreal ratio = devicePixelRatioF();
    const qreal scale = qMax<qreal>(1.0, ratio) * zoom_;  // device pixels a picture pixel covers
    auto pictureCursor = [this, scale, ratio](const StdPicture &picture) {
        QImage image = picture.picture();
        const auto key = std::make_pair(image.cacheKey(), qRound(scale * 100));
        auto it = cursors_.find(key);
        if (it == cursors_.end()) {
            const QPoint hs = picture.hotspotOrCentre();
            const QSize size(qRound(image.width() * scale), qRound(image.height() * scale));
            if (const QImage sharp = scale > 1 ? picture.picture2x() : QImage(); !sharp.isNull())
                image = sharp;
            // A whole multiple keeps a drawing of single pixels (the hand) as
            // crisp as it is; between, it is smoothed.
            const double factor = double(size.width()) / image.width();
            const bool whole = std::abs(factor - std::round(factor)) < 1e-9;
            if (image.size() != size)
                image = image.scaled(size, Qt::IgnoreAspectRatio,
                                     whole ? Qt::FastTransformation : Qt::SmoothTransformation);
            QPixmap pixmap = QPixmap::fromImage(image);
            pixmap.setDevicePixelRatio(qMax<qreal>(1.0, ratio));
            // X takes the hotspot in the picture's own pixels, the other
            // platforms in the pointer's logical pixels.
            const qreal hotScale =
                QGuiApplication::platformName() == QLatin1String("xcb") ? scale : scale / qMax<qreal>(1.0, ratio);
            it = cursors_.emplace(key, QCursor(pixmap, qRound(hs.x() * hotScale), qRound(hs.y() * hotScale))).first;
        }
        return it->second;
    };
    if (const Control *source = form_.dragSource())
        return source->DragIcon.isNull() ? QCursor(Qt::ArrowCursor) : pictureCursor(source->DragIcon);
    switch (form_.MousePointer) {
    case vbHourglass:
        return QCursor(Qt::WaitCursor);
    case vbCustom:
        if (!form_.MouseIcon.isNull())
            return pictureCursor(form_.MouseIcon);
        return QCursor(Qt::ArrowCursor);
    default:
        return QCursor(Qt::ArrowCursor);
    }
}

void FormView::showCentred()
{
    // Centred with the frame the window manager puts round it, whole on
    // the screen; a compositor that places windows itself ignores this.
    if (const QScreen *s = screen()) {
        const QRect area = s->availableGeometry();
        const QSize whole = size().grownBy(kFrameAllowance);
        move(area.left() + qMax(0, (area.width() - whole.width()) / 2),
             area.top() + qMax(0, (area.height() - whole.height()) / 2));
    }
    show();
}

void FormView::paintControl(QPainter &p, const Control &c)
{
    const QRectF r = toFormPixels(c.rect());
    switch (c.kind) {
    case ControlKind::Image: {
        if (c.Picture.isNull())
            return;
        const double scale = devicePixelRatioF() * zoom_;  // device pixels a form pixel takes
        const QImage sharp = scale > 1.0 ? c.Picture.picture2x() : QImage();
        const QImage img = sharp.isNull() ? c.Picture.picture() : sharp;
        if (c.Stretch && !sharp.isNull() && scale > 2.0) {
            // Larger than its sharpest picture: enlarged once with a sharper
            // filter than the painter's, drawn pixel for pixel once ready.
            if (const QImage big = enlargedPicture(c, sharp, (r.size() * scale).toSize()); !big.isNull()) {
                p.drawImage(r, big);
                return;
            }
        }
        if (c.Stretch)
            p.drawImage(r, img);
        else
            p.drawImage(r.topLeft(), img);
        return;
    }
    case ControlKind::Label: {
        if (c.BackStyle == 1)
            p.fillRect(r, toColor(c.BackColor));
        p.setPen(toColor(c.ForeColor));
        p.save();
        p.setClipRect(r, Qt::IntersectClip);
        captionOf(c).draw(p, r.topLeft());
        p.restore();
        return;
    }
    case ControlKind::Shape:
        if (c.BorderStyle != 0) {
            p.setPen(QPen(toColor(c.ForeColor), 0));
            p.setBrush(Qt::NoBrush);
            p.drawRect(r.adjusted(0.5, 0.5, -0.5, -0.5));
        }
        return;
    default:
        return;
    }
}

QImage FormView::enlargedPicture(const Control &c, const QImage &sharp, QSize device)
{
    Enlarged &e = enlarged_[&c];
    const bool same = e.key == sharp.cacheKey() && e.size == device;
    if (same && !e.image.isNull())
        return e.image;
    if (!same) {
        // Made on another thread (a tenth of a second for the map at scale
        // 3); until then the painter's own smoothing shows.
        e = Enlarged{sharp.cacheKey(), device, {}};
        QPointer<FormView> self(this);
        const Control *control = &c;
        QThreadPool::globalInstance()->start([self, sharp, device, control] {
            const QImage big = lanczosEnlarged(sharp, device);
            // The application waits for its pool's work before it goes.
            QMetaObject::invokeMethod(QCoreApplication::instance(), [self, sharp, device, control, big] {
                if (!self)
                    return;
                Enlarged &made = self->enlarged_[control];
                if (made.key != sharp.cacheKey() || made.size != device)
                    return;  // the picture or the size changed meanwhile
                made.image = big;
                self->update(self->pixelsTouched(control->rect()));
            });
        });
    }
    return {};
}

const CaptionLayout &FormView::captionOf(const Control &c)
{
    const QSize box(c.Width, c.Height);
    ShapedCaption &shaped = captions_[&c];
    const bool sameCaption =
        (shaped.caption.constData() == c.Caption.constData() && shaped.caption.size() == c.Caption.size())
        || shaped.caption == c.Caption;  // a shared caption is not read again
    const bool same = sameCaption && shaped.fontName == c.FontName && shaped.fontSize == c.FontSize
                      && shaped.bold == c.FontBold && shaped.box == box && shaped.alignment == c.Alignment;
    if (!same) {
        // Captions are drawn as they stand: "&" is a character of a name here.
        const Qt::Alignment h = c.Alignment == 2 ? Qt::AlignHCenter : c.Alignment == 1 ? Qt::AlignRight : Qt::AlignLeft;
        shaped = {c.Caption,
                  c.FontName,
                  c.FontSize,
                  c.FontBold,
                  box,
                  c.Alignment,
                  CaptionLayout(c.Caption, fontOf(c), toFormPixels(c.rect()).size(), h)};
        ++captionLayoutsMade_;
    }
    return shaped.layout;
}

void FormView::paintEvent(QPaintEvent *event)
{
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.fillRect(event->rect(), toColor(form_.BackColor));
    if (caption_ && event->rect().top() < kCaptionHeight)
        paintCaption(p);
    // Everything is drawn in form pixels, the zoom applied by the painter.
    p.translate(clientOrigin());
    p.scale(zoom_, zoom_);
    if (caption_)  // controls that reach above the client area stay off the title bar
        p.setClipRect(
            QRectF(0, 0, form_.ClientWidth / double(kTwipsPerPixel), form_.ClientHeight / double(kTwipsPerPixel)));
    const QRect exposed = event->rect().translated(-clientOrigin());
    const QRect dirty = QRectF(QPointF(exposed.topLeft()) / zoom_, QSizeF(exposed.size()) / zoom_)
                            .toAlignedRect()
                            .adjusted(-1, -1, 1, 1);
    const auto &order = form_.stacking();
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        if ((*it)->Visible && toFormPixels((*it)->rect()).toAlignedRect().adjusted(-1, -1, 1, 1).intersects(dirty))
            paintControl(p, **it);
        const auto [first, last] = paintings_.equal_range(*it);
        for (auto painting = first; painting != last; ++painting)
            painting->second(p, dirty);
    }
    // A dragged control without a drag icon shows as an outline.
    if (const QRect outline = form_.dragOutline(); !outline.isEmpty()) {
        p.setPen(QPen(Qt::black, 1, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(toFormPixels(outline));
    }
    if (!painted_) {
        painted_ = true;
        QMetaObject::invokeMethod(this, &FormView::sync, Qt::QueuedConnection);  // the icon, held back until now
        emit firstPainted();
    }
}

void FormView::mousePressEvent(QMouseEvent *event)
{
    if (captionPress(event))
        return;
    if (event->button() == Qt::LeftButton) {
        const QPoint twips = toTwips(event->position());
        emit pressing(twips);
        form_.mouseDown(twips);
    }
}

void FormView::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint twips = toTwips(event->position());
    emit pointerMoving(twips);
    form_.mouseMove(twips);
}

void FormView::mouseReleaseEvent(QMouseEvent *event)
{
    if (captionRelease(event))
        return;
    if (event->button() == Qt::LeftButton) {
        const QPoint twips = toTwips(event->position());
        emit releasing(twips);
        form_.mouseUp(twips);
    }
}

QRect FormView::closeButtonRect() const
{
    return caption_ ? QRect(width() - 8 - 18, (kCaptionHeight - 18) / 2, 18, 18) : QRect();
}

QRect FormView::minimizeButtonRect() const
{
    return caption_ ? closeButtonRect().translated(-18 - 5, 0) : QRect();
}

void FormView::paintCaption(QPainter &p)
{
    const QRect bar(0, 0, width(), kCaptionHeight);
    const QPalette pal = palette();
    p.fillRect(bar, pal.color(QPalette::Window));
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const QPixmap icon = windowIcon().pixmap(22, 22);
    if (!icon.isNull())
        p.drawPixmap(QRect(8, (kCaptionHeight - 22) / 2, 22, 22), icon);
    QFont font = p.font();
    font.setPixelSize(14);
    p.setFont(font);
    const QColor ink = isActiveWindow() ? pal.color(QPalette::Active, QPalette::WindowText)
                                        : pal.color(QPalette::Disabled, QPalette::WindowText);
    p.setPen(ink);
    const QRect title = bar.adjusted(8 + 22 + 5, 0, -(width() - minimizeButtonRect().left() + 5), 0);
    p.drawText(title, Qt::AlignCenter | Qt::TextSingleLine,
               QFontMetrics(font).elidedText(windowTitle(), Qt::ElideRight, title.width()));
    QPen pen(ink, 2);
    p.setPen(pen);
    const QRectF close = QRectF(closeButtonRect()).adjusted(5, 5, -5, -5);
    p.drawLine(close.topLeft(), close.bottomRight());
    p.drawLine(close.bottomLeft(), close.topRight());
    p.setRenderHint(QPainter::Antialiasing, false);
    const QRect minimize = minimizeButtonRect().adjusted(5, 5, -5, -5);
    p.drawLine(minimize.bottomLeft(), minimize.bottomRight());
    p.restore();
}

bool FormView::captionPress(QMouseEvent *event)
{
    if (!caption_ || event->position().y() >= kCaptionHeight)
        return false;
    if (event->button() != Qt::LeftButton)
        return true;
    const QPoint at = event->position().toPoint();
    captionPressed_ = minimizeButtonRect().contains(at) ? 1 : closeButtonRect().contains(at) ? 2 : 0;
    if (!captionPressed_ && windowHandle())
        windowHandle()->startSystemMove();  // the compositor moves the window from here
    return true;
}

bool FormView::captionRelease(QMouseEvent *event)
{
    if (!captionPressed_ || event->button() != Qt::LeftButton)
        return false;
    const QPoint at = event->position().toPoint();
    const int pressed = std::exchange(captionPressed_, 0);
    if (pressed == 1 && minimizeButtonRect().contains(at))
        showMinimized();
    else if (pressed == 2 && closeButtonRect().contains(at))
        close();  // as the desktop's close box: the form may refuse
    return true;
}

void FormView::showEvent(QShowEvent *event)
{
    sync();  // what start-up set (skin, icon) shows from the first frame
    QWidget::showEvent(event);
}

void FormView::changeEvent(QEvent *event)
{
    if (caption_ && event->type() == QEvent::ActivationChange)
        update(QRect(0, 0, width(), kCaptionHeight));  // its title dims when the window is not active
    QWidget::changeEvent(event);
}

void FormView::closeEvent(QCloseEvent *event)
{
    form_.closeRequested();
    if (form_.unloaded())
        event->accept();
    else
        event->ignore();
}

bool FormView::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseMove) {
        const auto it = widgets_.find(qobject_cast<QWidget *>(watched));
        if (it != widgets_.end() && it->second->kind == ControlKind::PushButton) {
            const auto *me = static_cast<QMouseEvent *>(event);
            form_.buttonMouseMove(*it->second, toTwips(me->position()));
        }
    }
    return QWidget::eventFilter(watched, event);
}
