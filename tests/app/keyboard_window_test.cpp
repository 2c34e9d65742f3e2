// The window without a mouse: Enter on a button, page keys from a list, and Tab in reading order.
#include "window_fixture.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <gmock/gmock.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

class Keyboard : public WindowFixture {
protected:
    QTabWidget *pages() { return control<QTabWidget>("PageControl1"); }

    void focus(const char *name)
    {
        QWidget *widget = control<QWidget>(name);
        pages()->setCurrentWidget(pageOf(widget));
        widget->setFocus(Qt::TabFocusReason);
        ASSERT_EQ(QApplication::focusWidget(), widget) << name;
    }

    static void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(QApplication::focusWidget(), key, modifiers);
    }

    static QWidget *pageOf(QWidget *widget)
    {
        while (widget && !widget->objectName().startsWith(QLatin1String("TabSheet")))
            widget = widget->parentWidget();
        return widget;
    }
};

struct KeyCase {
    const char *name;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
};

class EnterOnAButton : public Keyboard, public testing::WithParamInterface<KeyCase> {};

// A page's focusable controls in reading order, from their places on the form. The page is first cut into columns
// where a vertical strip is free of everything it shows (groups and captions included); each column is read by
// rows from the top (a few pixels either way are one row), a row from left to right.
std::vector<QWidget *> readingOrder(QWidget *page)
{
    const auto at = [page](QWidget *w) { return w->mapTo(page, QPoint(0, 0)); };
    std::vector<std::pair<int, int>> columns;
    for (QWidget *child : page->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (child->isVisibleTo(page))
            columns.emplace_back(child->x(), child->x() + child->width());
    }
    std::sort(columns.begin(), columns.end());
    std::vector<std::pair<int, int>> merged;
    for (const auto &span : columns) {
        if (!merged.empty() && span.first <= merged.back().second)
            merged.back().second = std::max(merged.back().second, span.second);
        else
            merged.push_back(span);
    }
    std::vector<QWidget *> order;
    for (const auto &[left, right] : merged) {
        std::vector<QWidget *> controls;
        for (QWidget *w : page->findChildren<QWidget *>()) {
            const bool inColumn = at(w).x() >= left && at(w).x() < right;
            if (inColumn && (w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(page) && w->isEnabled())
                controls.push_back(w);
        }
        std::sort(controls.begin(), controls.end(), [&](QWidget *a, QWidget *b) { return at(a).y() < at(b).y(); });
        std::vector<std::vector<QWidget *>> rows;
        for (QWidget *w : controls) {
            if (rows.empty() || at(w).y() - at(rows.back().front()).y() > 6)
                rows.emplace_back();
            rows.back().push_back(w);
        }
        for (auto &row : rows) {
            std::sort(row.begin(), row.end(), [&](QWidget *a, QWidget *b) { return at(a).x() < at(b).x(); });
            order.insert(order.end(), row.begin(), row.end());
        }
    }
    return order;
}

QStringList names(const std::vector<QWidget *> &widgets)
{
    QStringList out;
    for (QWidget *w : widgets)
        out << w->objectName();
    return out;
}

} // namespace

TEST_P(EnterOnAButton, PressesItAndTheResultIsToldOnTheButton)
{
    showWindow();
    control<QLineEdit>("enc_time_1")->setText(QStringLiteral("0"));
    focus("button_time1");
    press(GetParam().key, GetParam().modifiers);
    EXPECT_EQ(control<QLineEdit>("enc_time_1")->text(), QStringLiteral("1"));
    // No instrument: the value is corrected but not sent, and the pressed button says so until it is left.
    const QString told = QStringLiteral("Ograniczono do 1. Nie wysłano: brak połączenia z urządzeniem");
    EXPECT_EQ(control<QWidget>("enc_time_1")->accessibleDescription(), told);
    EXPECT_EQ(control<QWidget>("button_time1")->accessibleDescription(), told);
    press(Qt::Key_Tab);
    EXPECT_EQ(control<QWidget>("button_time1")->accessibleDescription(), QString());
}

INSTANTIATE_TEST_SUITE_P(Keys, EnterOnAButton,
                         testing::Values(KeyCase{"Return", Qt::Key_Return, Qt::NoModifier},
                                         KeyCase{"KeypadEnter", Qt::Key_Enter, Qt::KeypadModifier}),
                         [](const auto &row) { return std::string(row.param.name); });

struct PageKeyCase {
    const char *name;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    const char *expectedPage;
};

class PageKeysFromAList : public Keyboard, public testing::WithParamInterface<PageKeyCase> {};

TEST_P(PageKeysFromAList, ChangeThePageNotTheList)
{
    showWindow();
    focus("enc_mode_2");
    press(GetParam().key, GetParam().modifiers);
    EXPECT_EQ(pages()->currentWidget()->objectName(), QString::fromLatin1(GetParam().expectedPage));
    EXPECT_EQ(control<QComboBox>("enc_mode_2")->currentIndex(), 0);
    EXPECT_TRUE(pages()->currentWidget()->isAncestorOf(QApplication::focusWidget()));
}

// Backwards from the encoder page passes over the hidden chart page.
INSTANTIATE_TEST_SUITE_P(
    Keys, PageKeysFromAList,
    testing::Values(PageKeyCase{"CtrlTab", Qt::Key_Tab, Qt::ControlModifier, "TabSheet5"},
                    PageKeyCase{"CtrlPageDown", Qt::Key_PageDown, Qt::ControlModifier, "TabSheet5"},
                    PageKeyCase{"CtrlShiftTab", Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier, "TabSheet1"},
                    PageKeyCase{"CtrlPageUp", Qt::Key_PageUp, Qt::ControlModifier, "TabSheet1"}),
    [](const auto &row) { return std::string(row.param.name); });

class TabOnAPage : public Keyboard, public testing::WithParamInterface<const char *> {};

TEST_P(TabOnAPage, FollowsTheReadingOrderThenTheLanguagePicker)
{
    showWindow();
    QWidget *page = control<QWidget>(GetParam());
    pages()->setCurrentWidget(page);
    pages()->tabBar()->setFocus(Qt::TabFocusReason);
    std::vector<QWidget *> visited;
    for (int i = 0; i < 100; ++i) {
        press(Qt::Key_Tab);
        QWidget *now = QApplication::focusWidget();
        if (!page->isAncestorOf(now))
            break;
        visited.push_back(now);
    }
    EXPECT_EQ(names(visited), names(readingOrder(page)));
    EXPECT_EQ(QApplication::focusWidget(), control<QWidget>("LangCombo1"));
}

INSTANTIATE_TEST_SUITE_P(ReachablePages, TabOnAPage,
                         testing::Values("TabSheet1", "TabSheet4", "TabSheet5", "TabSheet6", "TabSheet3"),
                         [](const auto &row) { return std::string(row.param); });
