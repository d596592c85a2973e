// SPDX-License-Identifier: MIT
#include "accessibility.h"

#include "form1.h"
#include "formview.h"
#include "keyboardview.h"
#include "spoken.h"
#include "textbox.h"

#include <QAccessibleWidget>
#include <QPointer>
#include <QTimer>
#include <QWindow>
#include <map>

namespace {

// An accessible part of a widget that has no widget of its own; it lives as
// long as the interface of the widget that holds it.
class PartInterface : public QAccessibleInterface {
public:
    explicit PartInterface(QWidget *holder) : holder_(holder) {}

    bool isValid() const override { return !holder_.isNull(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return holder_ ? holder_->window()->windowHandle() : nullptr; }
    QAccessibleInterface *parent() const override { return QAccessible::queryAccessibleInterface(holder_.data()); }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    void setText(QAccessible::Text, const QString &) override {}

protected:
    QRect toScreen(const QRect &local) const
    {
        return holder_ ? QRect(holder_->mapToGlobal(local.topLeft()), local.size()) : QRect();
    }
    QPointer<QWidget> holder_;
};

class NameItemInterface : public PartInterface {
public:
    NameItemInterface(NamePanel *names, int index) : PartInterface(names), index_(index) {}

    NamePanel *names() const { return static_cast<NamePanel *>(holder_.data()); }
    const Control *label() const
    {
        const Form1 &f = names()->keys().form();
        return f.labels.exists(index_) ? &f.labels(index_) : nullptr;
    }
    QString text(QAccessible::Text t) const override
    {
        const Control *c = isValid() ? label() : nullptr;
        if (!c)
            return QString();
        if (t == QAccessible::Name)
            return c->Caption;
        if (t == QAccessible::Description)
            return spoken::nameState(c->Visible);
        return QString();
    }
    QRect rect() const override { return isValid() ? toScreen(names()->nameRect(index_)) : QRect(); }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        const Control *c = isValid() ? label() : nullptr;
        if (!c) {
            s.invalid = true;
            return s;
        }
        const bool selected = names()->keys().play().selected() == index_;
        s.selectable = true;
        s.selected = selected;
        s.focusable = c->Visible;
        s.focused = selected && names()->hasFocus();
        s.invisible = !c->Visible;
        return s;
    }

private:
    int index_;
};

// The names still on the panel, in panel order; a placed name leaves the
// list and comes back with the next round.
class NameListInterface : public QAccessibleWidget {
public:
    explicit NameListInterface(NamePanel *names) : QAccessibleWidget(names, QAccessible::List) {}
    ~NameListInterface() override
    {
        for (const auto &[index, item] : items_)
            QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(item));
    }

    NamePanel *names() const { return static_cast<NamePanel *>(widget()); }
    const ControlArray &labels() const { return names()->keys().form().labels; }
    // The interface of a name label, whether or not it is on the panel.
    QAccessibleInterface *item(int index) const
    {
        if (!labels().exists(index))
            return nullptr;
        QAccessibleInterface *&slot = items_[index];
        if (!slot) {
            slot = new NameItemInterface(names(), index);
            QAccessible::registerAccessibleInterface(slot);
        }
        return slot;
    }
    std::vector<int> onPanel() const
    {
        std::vector<int> out;
        for (const auto &[index, label] : labels().elements())
            if (label->Visible)
                out.push_back(index);
        return out;
    }
    int childCount() const override { return int(onPanel().size()); }
    QAccessibleInterface *child(int i) const override
    {
        const std::vector<int> shown = onPanel();
        return i >= 0 && i < int(shown.size()) ? item(shown[i]) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        const std::vector<int> shown = onPanel();
        for (int i = 0; i < int(shown.size()); ++i)
            if (const auto it = items_.find(shown[i]); it != items_.end() && it->second == child)
                return i;
        return -1;
    }
    QAccessibleInterface *childAt(int x, int y) const override
    {
        const std::vector<int> shown = onPanel();
        for (auto it = shown.rbegin(); it != shown.rend(); ++it)
            if (QAccessibleInterface *i = item(*it); i->rect().contains(x, y))
                return i;
        return nullptr;
    }
    QAccessibleInterface *focusChild() const override
    {
        return names()->hasFocus() ? item(names()->keys().play().selected()) : nullptr;
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name)
            return spoken::namesListName();
        if (t == QAccessible::Description)
            return spoken::namesListDescription();
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.invisible = false;  // marks only: the names beneath are what it shows
        return s;
    }

private:
    mutable std::map<int, QAccessibleInterface *> items_;
};

class PinInterface : public PartInterface {
public:
    explicit PinInterface(MapPart *map) : PartInterface(map) {}
    MapPart *map() const { return static_cast<MapPart *>(holder_.data()); }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name)
            return spoken::pinName();
        if (t == QAccessible::Description && isValid()) {
            const Control *carried = map()->keys().play().carried();
            return carried ? spoken::pinCarrying(carried->Caption) : spoken::pinEmpty();
        }
        return QString();
    }
    // The needle's tip: where a drop would land.
    QRect rect() const override { return isValid() ? toScreen(QRect(map()->tip(), QSize(1, 1))) : QRect(); }
    QAccessible::Role role() const override { return QAccessible::Graphic; }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        if (!isValid())
            s.invalid = true;
        else
            s.invisible = !map()->pinVisible();
        return s;
    }
};

class MapInterface : public QAccessibleWidget {
public:
    explicit MapInterface(MapPart *map) : QAccessibleWidget(map, QAccessible::Graphic)
    {
        pin_ = new PinInterface(map);
        QAccessible::registerAccessibleInterface(pin_);
    }
    ~MapInterface() override { QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(pin_)); }

    MapPart *map() const { return static_cast<MapPart *>(widget()); }
    int childCount() const override { return 1; }
    QAccessibleInterface *child(int index) const override { return index == 0 ? pin_ : nullptr; }
    int indexOfChild(const QAccessibleInterface *child) const override { return child == pin_ ? 0 : -1; }
    QAccessibleInterface *childAt(int x, int y) const override { return pin_->rect().contains(x, y) ? pin_ : nullptr; }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name)
            return spoken::mapName();
        if (t == QAccessible::Description)
            return map()->keys().play().mapDescription();
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.invisible = false;
        return s;
    }

private:
    PinInterface *pin_;
};

class LineInterface : public QAccessibleWidget {
public:
    LineInterface(ReaderLine *line, QAccessible::Role role) : QAccessibleWidget(line, role) {}
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name || t == QAccessible::Value)
            return static_cast<ReaderLine *>(widget())->text();
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.invisible = false;  // it paints nothing, but it is there to be read
        return s;
    }
};

class TextBoxInterface : public QAccessibleWidget {
public:
    explicit TextBoxInterface(TextBox *box) : QAccessibleWidget(box, QAccessible::EditableText) {}
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return static_cast<TextBox *>(widget())->text();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface *factory(const QString &, QObject *object)
{
    if (auto *names = qobject_cast<NamePanel *>(object))
        return new NameListInterface(names);
    if (auto *map = qobject_cast<MapPart *>(object))
        return new MapInterface(map);
    if (auto *line = qobject_cast<StatusLine *>(object))
        return new LineInterface(line, QAccessible::StatusBar);
    if (auto *line = qobject_cast<Announcement *>(object))
        return new LineInterface(line, QAccessible::Notification);
    if (auto *box = qobject_cast<TextBox *>(object))
        return new TextBoxInterface(box);
    // The quiz window reads as a window with its caption, so that a
    // reader's "read title" and "read status bar" find it.
    if (auto *view = qobject_cast<FormView *>(object); view && view->isWindow())
        return new QAccessibleWidget(view, QAccessible::Window);
    return nullptr;
}

void send(QAccessibleInterface *iface, QAccessible::Event type)
{
    if (!iface)
        return;
    QAccessibleEvent event(iface, type);
    QAccessible::updateAccessibility(&event);
}

}  // namespace

ReaderLine::ReaderLine(const QString &name, QWidget *parent) : QWidget(parent)
{
    setObjectName(name);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    setGeometry(0, 0, 1, 1);
}

ScreenReader::ScreenReader(FormView &window, KeyboardView &keys)
    : window_(window), keys_(keys), status_(new StatusLine(&window))
{
    installAccessibility();
    for (int i = 0; i < kVoices; ++i) {
        voices_[i] = new Announcement(status_);
        quiet_[i] = new QTimer(this);
        quiet_[i]->setSingleShot(true);
        quiet_[i]->setInterval(kHeardMs);
        connect(quiet_[i], &QTimer::timeout, this, [this, i] {
            voices_[i]->setText(QString());
            if (QAccessible::isActive())
                send(QAccessible::queryAccessibleInterface(voices_[i]), QAccessible::NameChanged);
        });
    }
    const Form1 &form = keys.form();
    for (const auto &[index, label] : form.labels.elements())
        shown_.push_back(label->Visible);
    selected_ = keys.play().selected();
    mapText_ = keys.play().mapDescription();
}

ScreenReader::~ScreenReader()
{
    delete status_;  // and the voices in it
}

void ScreenReader::say(const QString &sentence)
{
    // Nothing is said before the window shows (the first round starts while
    // the window is being made).
    if (sentence.isEmpty() || !window_.isVisible())
        return;
    status_->setText(sentence);
    Announcement *voice = voices_[next_];
    quiet_[next_]->start();
    next_ = (next_ + 1) % kVoices;
    voice->setText(sentence);
    emit spoke(sentence);
    if (!QAccessible::isActive())
        return;
    send(QAccessible::queryAccessibleInterface(status_), QAccessible::NameChanged);
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(voice);
    send(iface, QAccessible::NameChanged);
    send(iface, QAccessible::ObjectShow);
}

void ScreenReader::focusMoved()
{
    // A reader names the list when it gets the focus; the selected name is
    // told after that, as the list's focused item.
    if (QAccessible::isActive() && keys_.names()->hasFocus())
        QTimer::singleShot(0, this, &ScreenReader::tellSelection);
}

void ScreenReader::tellSelection()
{
    if (keys_.names()->hasFocus())
        send(nameItem(keys_.names(), keys_.play().selected()), QAccessible::Focus);
}

void ScreenReader::treeChanged()
{
    if (!QAccessible::isActive())
        return;
    Form1 &form = keys_.form();
    KeyboardPlay &play = keys_.play();
    NamePanel *names = keys_.names();
    for (int i = 0; i < int(shown_.size()) && i < form.labels.count(); ++i) {
        const bool shown = form.labels(i).Visible;
        if (shown != shown_[i]) {
            shown_[i] = shown;
            send(nameItem(names, i), shown ? QAccessible::ObjectCreated : QAccessible::ObjectDestroyed);
        }
    }
    if (play.selected() != selected_) {
        selected_ = play.selected();
        if (QAccessibleInterface *item = nameItem(names, selected_)) {
            send(item, QAccessible::Selection);
            if (names->hasFocus())
                send(item, QAccessible::Focus);
        }
    }
    if (play.pin() != pin_ || play.pinShown() != pinShown_) {
        pin_ = play.pin();
        pinShown_ = play.pinShown();
        send(pinItem(keys_.map()), QAccessible::LocationChanged);
    }
    if (const QString text = play.mapDescription(); text != mapText_) {
        mapText_ = text;
        send(QAccessible::queryAccessibleInterface(keys_.map()), QAccessible::DescriptionChanged);
    }
}

void installAccessibility()
{
    static bool installed = false;
    if (!installed) {
        installed = true;
        QAccessible::installFactory(factory);
    }
}

QAccessibleInterface *nameItem(NamePanel *names, int index)
{
    auto *list = dynamic_cast<NameListInterface *>(QAccessible::queryAccessibleInterface(names));
    return list ? list->item(index) : nullptr;
}

QAccessibleInterface *pinItem(MapPart *map)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(map);
    return iface ? iface->child(0) : nullptr;
}
