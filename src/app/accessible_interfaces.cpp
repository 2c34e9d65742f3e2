#include "accessible_interfaces.h"

#include "lamp_widget.h"
#include "string_table.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QTabBar>

#include <vector>

namespace {

// "&&" shows one ampersand, a single '&' only marks a shortcut letter.
QString withoutShortcutMarks(const QString &text)
{
    QString plain;
    plain.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && i + 1 < text.size())
            ++i;
        plain.append(text[i]);
    }
    return plain;
}

class LampAccessible : public QAccessibleWidget {
public:
    explicit LampAccessible(LampWidget *lamp) : QAccessibleWidget(lamp, QAccessible::StaticText) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Description && widget()->accessibleDescription().isEmpty())
            return idsText(lamp()->isLit() ? u"IDS_A11Y_LAMP_ON" : u"IDS_A11Y_LAMP_OFF");
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.checkable = true;
        s.checked = lamp()->isLit();
        s.readOnly = true;
        return s;
    }

private:
    LampWidget *lamp() const { return static_cast<LampWidget *>(widget()); }
};

// One tab of a tab row. It has no object of its own, so the row keeps it registered for as long as the row lives.
class TabAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    TabAccessible(QTabBar *tabs, int index) : m_tabs(tabs), m_index(index) {}

    bool isValid() const override { return m_tabs && m_index < m_tabs->count(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return parent() ? parent()->window() : nullptr; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessibleInterface *parent() const override { return QAccessible::queryAccessibleInterface(m_tabs.data()); }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    void setText(QAccessible::Text, const QString &) override {}
    QAccessible::Role role() const override { return QAccessible::PageTab; }

    QString text(QAccessible::Text t) const override
    {
        if (!isValid())
            return {};
        if (t == QAccessible::Name)
            return withoutShortcutMarks(m_tabs->tabText(m_index));
        if (t == QAccessible::Description)
            return m_tabs->tabToolTip(m_index);
        return {};
    }

    QRect rect() const override
    {
        if (!isValid() || !shown())
            return {};
        const QRect r = m_tabs->tabRect(m_index);
        return QRect(m_tabs->mapToGlobal(r.topLeft()), r.size());
    }

    QAccessible::State state() const override
    {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        const bool reachable = shown() && m_tabs->isTabEnabled(m_index);
        s.invisible = !shown();
        s.offscreen = !shown();
        s.disabled = !reachable;
        s.focusable = reachable;
        s.selectable = reachable;
        s.selected = m_index == m_tabs->currentIndex();
        s.focused = s.selected && m_tabs->hasFocus();
        return s;
    }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface *>(this) : nullptr;
    }

    QStringList actionNames() const override
    {
        return isValid() && shown() && m_tabs->isTabEnabled(m_index) ? QStringList{pressAction()} : QStringList();
    }
    void doAction(const QString &name) override
    {
        if (name == pressAction() && !actionNames().isEmpty())
            m_tabs->setCurrentIndex(m_index);
    }
    QStringList keyBindingsForAction(const QString &) const override { return {}; }

private:
    bool shown() const { return m_tabs->isVisible() && m_tabs->isTabVisible(m_index); }

    QPointer<QTabBar> m_tabs;
    int m_index;
};

class TabRowAccessible : public QAccessibleWidget {
public:
    explicit TabRowAccessible(QTabBar *tabs) : QAccessibleWidget(tabs, QAccessible::PageTabList) {}

    ~TabRowAccessible() override
    {
        for (QAccessible::Id id : m_tabIds)
            QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return tabs()->count(); }

    QAccessibleInterface *child(int index) const override
    {
        if (index < 0 || index >= tabs()->count())
            return nullptr;
        while (m_tabIds.size() <= size_t(index)) {
            auto *tab = new TabAccessible(tabs(), int(m_tabIds.size()));
            m_tabIds.push_back(QAccessible::registerAccessibleInterface(tab));
        }
        return QAccessible::accessibleInterface(m_tabIds[size_t(index)]);
    }

    int indexOfChild(const QAccessibleInterface *child) const override
    {
        for (size_t i = 0; i < m_tabIds.size(); ++i) {
            if (QAccessible::accessibleInterface(m_tabIds[i]) == child)
                return int(i);
        }
        return -1;
    }

    QAccessibleInterface *childAt(int x, int y) const override
    {
        const int index = tabs()->tabAt(tabs()->mapFromGlobal(QPoint(x, y)));
        return index >= 0 && tabs()->isTabVisible(index) ? child(index) : nullptr;
    }

    QAccessibleInterface *focusChild() const override
    {
        return tabs()->hasFocus() ? child(tabs()->currentIndex()) : nullptr;
    }

private:
    QTabBar *tabs() const { return static_cast<QTabBar *>(widget()); }

    mutable std::vector<QAccessible::Id> m_tabIds;
};

#ifndef Q_OS_WIN
// Where the stock interface names a pick-only list by its current item, a list in a grid of like lists (three
// "Nie" side by side) could not be told apart. This one takes the name given to the list or its label; the
// item stays the value. Children and actions are those of the stock interface: the item view and opening it.
class NamedListAccessible : public QAccessibleWidget {
public:
    explicit NamedListAccessible(QComboBox *list) : QAccessibleWidget(list, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return list()->currentText();
        if (t == QAccessible::Name) {
            const QString name = QAccessibleWidget::text(t);
            return name.isEmpty() ? list()->currentText() : name;
        }
        return QAccessibleWidget::text(t);
    }

    int childCount() const override { return 1; }
    QAccessibleInterface *child(int index) const override
    {
        return index == 0 ? QAccessible::queryAccessibleInterface(list()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        return child && child->object() == list()->view() ? 0 : -1;
    }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.expandable = true;
        s.expanded = list()->view()->isVisible();
        s.collapsed = !s.expanded;
        return s;
    }

    QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }
    void doAction(const QString &name) override
    {
        if (name != showMenuAction() && name != pressAction())
            return;
        if (list()->view()->isVisible())
            list()->hidePopup();
        else
            list()->showPopup();
    }
    QStringList keyBindingsForAction(const QString &) const override { return {}; }

private:
    QComboBox *list() const { return static_cast<QComboBox *>(widget()); }
};
#endif

QAccessibleInterface *accessibleFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String("LampWidget"))
        return new LampAccessible(static_cast<LampWidget *>(object));
    if (className == QLatin1String("QTabBar"))
        return new TabRowAccessible(static_cast<QTabBar *>(object));
#ifndef Q_OS_WIN
    if (className == QLatin1String("QComboBox") && !static_cast<QComboBox *>(object)->isEditable())
        return new NamedListAccessible(static_cast<QComboBox *>(object));
#endif
    return nullptr;
}

} // namespace

void installAccessibleInterfaces()
{
    static const bool installed = [] {
        QAccessible::installFactory(accessibleFactory);
        return true;
    }();
    (void)installed;
}
