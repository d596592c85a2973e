// SPDX-License-Identifier: MIT
#include "accessibility.h"

#include "form1.h"
#include "keyboardview.h"

#include <QAccessibleWidget>
#include <QPointer>
#include <QWindow>
#include <vector>

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
            return c->Visible ? QStringLiteral("not placed") : QStringLiteral("placed on the map");
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
        s.checkable = true;
        s.checked = !c->Visible;  // placed on the map
        s.disabled = !c->Visible;  // no longer on the panel to pick up
        return s;
    }

private:
    int index_;
};

class NameListInterface : public QAccessibleWidget {
public:
    explicit NameListInterface(NamePanel *names) : QAccessibleWidget(names, QAccessible::List) {}
    ~NameListInterface() override
    {
        for (QAccessibleInterface *item : items_)
            if (item)
                QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(item));
    }

    NamePanel *names() const { return static_cast<NamePanel *>(widget()); }
    int childCount() const override { return names()->keys().form().labels.count(); }
    QAccessibleInterface *child(int index) const override
    {
        if (index < 0 || index >= childCount())
            return nullptr;
        if (int(items_.size()) <= index)
            items_.resize(index + 1, nullptr);
        if (!items_[index]) {
            items_[index] = new NameItemInterface(names(), index);
            QAccessible::registerAccessibleInterface(items_[index]);
        }
        return items_[index];
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        for (int i = 0; i < int(items_.size()); ++i)
            if (items_[i] == child)
                return i;
        return -1;
    }
    QAccessibleInterface *childAt(int x, int y) const override
    {
        for (int i = childCount() - 1; i >= 0; --i)
            if (QAccessibleInterface *item = child(i); item->rect().contains(x, y))
                return item;
        return nullptr;
    }
    QAccessibleInterface *focusChild() const override
    {
        return names()->hasFocus() ? child(names()->keys().play().selected()) : nullptr;
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name)
            return QStringLiteral("Country names");
        if (t == QAccessible::Description)
            return QStringLiteral("Names to place on the map; Enter picks the selected name up");
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.invisible = false;  // marks only: the names beneath are what it shows
        return s;
    }

private:
    mutable std::vector<QAccessibleInterface *> items_;
};

class PinInterface : public PartInterface {
public:
    explicit PinInterface(MapPart *map) : PartInterface(map) {}
    MapPart *map() const { return static_cast<MapPart *>(holder_.data()); }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name)
            return QStringLiteral("pin");
        if (t == QAccessible::Description && isValid()) {
            const Control *carried = map()->keys().play().carried();
            return carried ? QStringLiteral("carrying %1").arg(carried->Caption) : QStringLiteral("empty");
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
            return QStringLiteral("Map of Europe");
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

class StatusInterface : public QAccessibleWidget {
public:
    explicit StatusInterface(StatusLine *line) : QAccessibleWidget(line, QAccessible::StatusBar) {}
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name || t == QAccessible::Value)
            return static_cast<StatusLine *>(widget())->text();
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
        return new StatusInterface(line);
    return nullptr;
}

}  // namespace

void InstallAccessibility()
{
    static bool installed = false;
    if (!installed) {
        installed = true;
        QAccessible::installFactory(factory);
    }
}

QAccessibleInterface *NameItem(NamePanel *names, int index)
{
    QAccessibleInterface *list = QAccessible::queryAccessibleInterface(names);
    return list ? list->child(index) : nullptr;
}

QAccessibleInterface *PinItem(MapPart *map)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(map);
    return iface ? iface->child(0) : nullptr;
}
