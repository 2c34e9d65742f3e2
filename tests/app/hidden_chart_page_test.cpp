// The chart page has no tab the user can see, and no key, wheel or click on the shown window may bring it up.
#include "window_fixture.h"

#include <QAccessible>
#include <QApplication>
#include <QImage>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QWheelEvent>

#include <gmock/gmock.h>

#include <functional>
#include <memory>
#include <string>

namespace {

// One way the user might move between pages, applied once.
struct PageRoute {
    const char *name;
    std::function<void(QTabBar *tabBar)> apply;
    bool changesPages; // whether Qt changes pages this way at all, with the focus on the tab row
};

void keyToFocus(QTabBar *tabBar, Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    // Keys go to the focused control and travel up to the page control when it ignores them.
    QWidget *target = QApplication::focusWidget() ? QApplication::focusWidget() : tabBar;
    QTest::keyClick(target, key, modifiers);
}

void wheelOver(QTabBar *tabBar, int angleDelta)
{
    const QPointF at(tabBar->tabRect(0).center());
    QWheelEvent event(at, tabBar->mapToGlobal(at), QPoint(), QPoint(0, angleDelta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(tabBar, &event);
}

PageRoute keyRoute(const char *name, Qt::Key key, Qt::KeyboardModifiers modifiers, bool changesPages)
{
    return {name, [key, modifiers](QTabBar *tabBar) { keyToFocus(tabBar, key, modifiers); }, changesPages};
}

const PageRoute kRoutes[] = {
    keyRoute("CtrlTab", Qt::Key_Tab, Qt::ControlModifier, true),
    keyRoute("CtrlShiftTab", Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier, true),
    keyRoute("CtrlPageDown", Qt::Key_PageDown, Qt::ControlModifier, true),
    keyRoute("CtrlPageUp", Qt::Key_PageUp, Qt::ControlModifier, true),
    keyRoute("RightArrow", Qt::Key_Right, Qt::NoModifier, true),
    keyRoute("LeftArrow", Qt::Key_Left, Qt::NoModifier, true),
    keyRoute("DownArrow", Qt::Key_Down, Qt::NoModifier, false),
    keyRoute("UpArrow", Qt::Key_Up, Qt::NoModifier, false),
    keyRoute("Home", Qt::Key_Home, Qt::NoModifier, false),
    keyRoute("End", Qt::Key_End, Qt::NoModifier, false),
    {"WheelDown", [](QTabBar *tabBar) { wheelOver(tabBar, -120); }, true},
    {"WheelUp", [](QTabBar *tabBar) { wheelOver(tabBar, 120); }, true},
};

// Where the keyboard focus rests when the route is taken.
enum class Focus { TabBar, PageControl };

struct RouteCase {
    PageRoute route;
    Focus focus;
};

std::string caseName(const RouteCase &c)
{
    return std::string(c.route.name) + (c.focus == Focus::TabBar ? "_OnTabBar" : "_InPage");
}

void PrintTo(const RouteCase &c, std::ostream *out) { *out << caseName(c); }

std::vector<RouteCase> routeCases()
{
    std::vector<RouteCase> cases;
    for (const PageRoute &route : kRoutes) {
        cases.push_back({route, Focus::TabBar});
        if (std::string(route.name).rfind("Wheel", 0) != 0)
            cases.push_back({route, Focus::PageControl});
    }
    return cases;
}

class HiddenChartPage : public WindowFixture {
protected:
    QTabWidget *pages() { return control<QTabWidget>("PageControl1"); }
    QTabBar *tabBar() { return pages()->tabBar(); }
    QWidget *chartPage() { return control<QWidget>("TabSheet2"); }

    // The tab row as drawn must be the tab row of the five reachable pages alone, with the same tab current:
    // not a pixel of the chart tab's caption anywhere. The reference is a page control without a chart page.
    void expectTabRowWithoutChartTab(const std::string &where)
    {
        if (!m_reference) {
            m_reference = std::make_unique<QTabWidget>();
            m_reference->setFont(pages()->font());
            m_reference->tabBar()->setStyle(tabBar()->style()); // the tab row's own style, where it has one
            for (int i = 0; i < pages()->count(); ++i)
                if (pages()->widget(i) != chartPage())
                    m_reference->addTab(new QWidget, pages()->tabText(i));
            m_reference->resize(pages()->size());
            // Laid out and drawable, but never on screen: it must not take the focus from the window.
            m_reference->setAttribute(Qt::WA_DontShowOnScreen);
            m_reference->show();
        }
        const int current = reachablePageNames().indexOf(pages()->currentWidget()->objectName());
        ASSERT_GE(current, 0) << where;
        m_reference->setCurrentIndex(current);
        // Drawn without keyboard focus, so the focus frame of either row does not count.
        QWidget *focus = QApplication::focusWidget();
        if (focus == tabBar())
            tabBar()->clearFocus();
        const QImage shown = tabBar()->grab().toImage();
        const QImage expected = m_reference->tabBar()->grab().toImage();
        if (focus == tabBar())
            tabBar()->setFocus();
        EXPECT_TRUE(shown == expected) << where << ": the tab row differs from the row of the five reachable tabs";
    }

    static void focusFirstControlOf(QWidget *page)
    {
        for (QWidget *child : page->findChildren<QWidget *>()) {
            if ((child->focusPolicy() & Qt::TabFocus) && child->isVisible() && child->isEnabled()) {
                child->setFocus();
                break;
            }
        }
        ASSERT_TRUE(page->isAncestorOf(QApplication::focusWidget())) << page->objectName().toStdString();
    }

    QStringList reachablePageNames()
    {
        QStringList names;
        for (int i = 0; i < pages()->count(); ++i)
            if (pages()->widget(i) != chartPage())
                names.append(pages()->widget(i)->objectName());
        return names;
    }

private:
    std::unique_ptr<QTabWidget> m_reference;
};

class HiddenChartPageRoute : public HiddenChartPage, public testing::WithParamInterface<RouteCase> {};

} // namespace

TEST_P(HiddenChartPageRoute, NeverShowsTheChartPage)
{
    showWindow();
    const RouteCase &c = GetParam();
    bool moved = false;
    // From every page the user can be on, twice in a row.
    for (const QString &start : reachablePageNames()) {
        pages()->setCurrentWidget(control<QWidget>(start.toLatin1().constData()));
        if (c.focus == Focus::TabBar)
            tabBar()->setFocus();
        else
            focusFirstControlOf(pages()->currentWidget());
        for (int step = 0; step < 2; ++step) {
            QWidget *before = pages()->currentWidget();
            c.route.apply(tabBar());
            EXPECT_NE(pages()->currentWidget(), chartPage())
                << "from " << before->objectName().toStdString() << " (start " << start.toStdString() << ")";
            if (pages()->currentWidget() == chartPage())
                return;
            expectTabRowWithoutChartTab("after a step from " + before->objectName().toStdString());
            moved = moved || pages()->currentWidget() != before;
        }
    }
    // A route that changes pages at all must still do so: the chart page is skipped, not the whole tab row.
    if (c.focus == Focus::TabBar) {
        EXPECT_EQ(moved, c.route.changesPages);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryRoute, HiddenChartPageRoute, testing::ValuesIn(routeCases()),
                         [](const auto &row) { return caseName(row.param); });

TEST_F(HiddenChartPage, ClickingAnywhereOnTheTabRowNeverShowsTheChartPage)
{
    showWindow();
    QTabBar *bar = tabBar();
    QStringList reached;
    for (int y : {2, bar->height() / 2, bar->height() - 2}) {
        for (int x = 0; x < bar->width(); x += 2) {
            pages()->setCurrentWidget(control<QWidget>("TabSheet1"));
            QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, QPoint(x, y));
            ASSERT_NE(pages()->currentWidget(), chartPage()) << "click at " << x << "," << y;
            if (!reached.contains(pages()->currentWidget()->objectName()))
                reached.append(pages()->currentWidget()->objectName());
        }
    }
    reached.sort();
    QStringList expected = reachablePageNames();
    expected.sort();
    EXPECT_EQ(reached, expected);
}

// A screen reader is not told of a tab the row does not show, nor offered to press it.
TEST_F(HiddenChartPage, AssistiveTechnologyDoesNotSeeTheChartTab)
{
    showWindow();
    QAccessibleInterface *row = QAccessible::queryAccessibleInterface(tabBar());
    ASSERT_EQ(row->childCount(), pages()->count());
    for (int i = 0; i < pages()->count(); ++i) {
        QAccessibleInterface *tab = row->child(i);
        const bool chart = pages()->widget(i) == chartPage();
        EXPECT_EQ(tab->text(QAccessible::Name), pages()->tabText(i));
        EXPECT_EQ(tab->state().invisible, chart) << i;
        EXPECT_EQ(tab->rect().isEmpty(), chart) << i;
        ASSERT_NE(tab->actionInterface(), nullptr);
        EXPECT_EQ(tab->actionInterface()->actionNames().isEmpty(), chart) << i;
    }
    row->child(pages()->indexOf(chartPage()))->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_NE(pages()->currentWidget(), chartPage());
}
