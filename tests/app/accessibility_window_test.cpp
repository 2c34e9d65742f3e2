// What a screen reader learns from the window's accessibility tree: every control a user can reach says which
// setting it is, in the language shown.
#include "window_fixture.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>

#include <gmock/gmock.h>

#include <map>
#include <string>
#include <vector>

namespace {

bool interactive(QAccessible::Role role)
{
    switch (role) {
    case QAccessible::PushButton:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::ComboBox:
    case QAccessible::EditableText:
    case QAccessible::List:
    case QAccessible::PageTabList:
    case QAccessible::SpinBox:
        return true;
    default:
        return false;
    }
}

struct Control {
    QString page; // object name of its page; empty for the controls outside the pages
    QString objectName;
    QString name;
    QString value;
    QAccessible::Role role;
    QStringList groupTitles;
};

QWidget *pageOf(QWidget *widget)
{
    for (QWidget *w = widget; w; w = w->parentWidget()) {
        if (w->objectName().startsWith(QLatin1String("TabSheet")))
            return w;
    }
    return nullptr;
}

// Controls the window never shows (the hidden diagnostic memo) are not for the user; those of a page other than
// the current one are.
bool forTheUser(QWidget *widget, QWidget *window)
{
    QWidget *page = pageOf(widget);
    return widget == page || widget->isVisibleTo(page ? page : window);
}

// Through the interfaces, as a screen reader gets them; the items inside lists and tab rows are not controls.
void collect(QAccessibleInterface *node, QWidget *window, std::vector<Control> &found)
{
    for (int i = 0; i < node->childCount(); ++i) {
        QAccessibleInterface *child = node->child(i);
        auto *widget = child ? qobject_cast<QWidget *>(child->object()) : nullptr;
        if (!widget || !forTheUser(widget, window))
            continue;
        QWidget *page = pageOf(widget);
        if (interactive(child->role())) {
            Control c{page ? page->objectName() : QString(), widget->objectName(), child->text(QAccessible::Name),
                      child->text(QAccessible::Value),       child->role(),        QStringList()};
            for (QWidget *w = widget->parentWidget(); w; w = w->parentWidget()) {
                if (auto *group = qobject_cast<QGroupBox *>(w))
                    c.groupTitles << group->title();
            }
            found.push_back(c);
        } else {
            collect(child, window, found);
        }
    }
}

std::string describe(const Control &c)
{
    return (c.page.isEmpty() ? QStringLiteral("window") : c.page).toStdString() + " "
        + (c.objectName.isEmpty() ? QStringLiteral("(unnamed object)") : c.objectName).toStdString() + " \""
        + c.name.toStdString() + "\"";
}

struct NameCase {
    const char *language;
    int pickerIndex;
    // Names worked out from the captions in that language.
    std::map<const char *, const char *> names;
};

class AccessibleNames : public WindowFixture, public testing::WithParamInterface<NameCase> {};

} // namespace

TEST_P(AccessibleNames, EveryControlSaysWhichSettingItIsOncePerPage)
{
    TFMain &w = window();
    auto *picker = control<QComboBox>("LangCombo1");
    picker->setCurrentIndex(GetParam().pickerIndex);
    Q_EMIT picker->activated(GetParam().pickerIndex);

    std::vector<Control> controls;
    collect(QAccessible::queryAccessibleInterface(&w), &w, controls);
    ASSERT_GT(controls.size(), 140u);
    std::map<std::pair<QString, QString>, int> perPage;
    for (const Control &c : controls)
        ++perPage[{c.page, c.name}];
    for (const Control &c : controls) {
        EXPECT_FALSE(c.name.trimmed().isEmpty()) << describe(c);
        if (c.role == QAccessible::ComboBox || c.role == QAccessible::EditableText) {
            EXPECT_NE(c.name, c.value) << describe(c) << ": named after what it shows";
        }
        EXPECT_THAT(c.groupTitles, testing::Not(testing::Contains(c.name))) << describe(c) << ": named after its group";
        EXPECT_EQ((perPage[{c.page, c.name}]), 1) << describe(c) << ": the name is not its own on the page";
    }

    for (const auto &[object, expected] : GetParam().names) {
        auto *widget = control<QWidget>(object);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name), QString::fromUtf8(expected))
            << object;
        if (auto *button = qobject_cast<QAbstractButton *>(widget); button && button->text().isEmpty()) {
            EXPECT_EQ(button->toolTip(), QString::fromUtf8(expected)) << object << ": a picture alone needs its tip";
        }
    }
    // The caption of an indicator is its field's label.
    QObjectList labels;
    for (const auto &[label, relation] :
         QAccessible::queryAccessibleInterface(control<QLineEdit>("Edit1_encv2"))->relations(QAccessible::Label))
        labels << label->object();
    EXPECT_THAT(labels, testing::Contains(control<QObject>("Label12")));
}

INSTANTIATE_TEST_SUITE_P(Languages, AccessibleNames,
                         testing::Values(NameCase{"Polish",
                                                  0,
                                                  {{"button_time1", "Zapisz: Czas bramkowania [ms], Enkoder 1"},
                                                   {"enc_clear_3", "Zerowanie kanałem C, Enkoder 3"},
                                                   {"out2_B", "Warunek, T2"},
                                                   {"BitBtn15", "Odczytaj: Adres"},
                                                   {"Edit1_encv2", "ENKODER 2 (prędkość)"}}},
                                         NameCase{"English",
                                                  1,
                                                  {{"button_time1", "Save: Gate time [ms], Encoder 1"},
                                                   {"enc_clear_3", "Clear index C, Encoder 3"},
                                                   {"out2_B", "Condition, T2"},
                                                   {"BitBtn15", "Read: Address"},
                                                   {"Edit1_encv2", "ENCODER 2 (velocity)"}}}),
                         [](const auto &row) { return std::string(row.param.language); });
