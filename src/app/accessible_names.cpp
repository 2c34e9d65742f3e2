#include "accessible_names.h"

#include "config_bindings.h"
#include "string_table.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QWidget>

#include <array>
#include <vector>

namespace {

// A text source: the object name of a caption (label, group box or button), or a string id ("IDS_...").
using Source = const char *;

struct NameRow {
    const char *control;
    Source caption;
    Source detail = nullptr;     // the column or row of a grid cell, or the encoder name beside a caption
    Source verb = nullptr;       // buttons: what they do, for a button without a caption of its own
    bool captionIsLabel = false; // the caption serves this control alone: it becomes the control's label
    const char *separator = ", ";
};

constexpr Source kWrite = "IDS_A11Y_WRITE";
constexpr Source kRead = "IDS_A11Y_READ";

// Indicator page: each value field under its caption, followed (as on screen) by the encoder's name.
struct IndicatorRow {
    const char *field;
    Source caption;
    Source nameLabel;
};
constexpr IndicatorRow kIndicators[] = {
    {"Edit_date", "Label5", nullptr}, {"Edit_time", "Label7", nullptr}, {"Edit1_encp1", "Label9", "n1"},
    {"Edit1_encv1", "Label", "n4"},   {"Edit1_encp2", "Label10", "n2"}, {"Edit1_encv2", "Label12", "n5"},
    {"Edit1_encp3", "Label1", "n3"},  {"Edit1_encv3", "Label2", "n6"},  {"Shape1", "Label62", nullptr},
    {"Shape2", "Label63", nullptr},   {"Shape3", "Label64", nullptr},   {"Shape4", "Label65", nullptr},
    {"Shape7", "Label3", nullptr},    {"Shape8", "Label4", nullptr},
};

// The encoder page's rows that belong to the program (units and names), in the grid of its columns; the
// instrument's rows come from the binding table.
struct EncoderRow {
    Source caption;
    std::array<const char *, 3> fields;
    std::array<const char *, 3> buttons;
};
constexpr EncoderRow kEncoderRows[] = {
    {"Label80", {"enc_unit_1", "enc_unit_2", "enc_unit_3"}, {"BitBtn11", "BitBtn13", "BitBtn6"}},
    {"Label6", {"enc_name_1", "enc_name_2", "enc_name_3"}, {"BitBtn1", "BitBtn2", "BitBtn4"}},
};

std::vector<NameRow> buildRows()
{
    std::vector<NameRow> rows;
    for (const IndicatorRow &r : kIndicators)
        rows.push_back({r.field, r.caption, r.nameLabel, nullptr, true, " "});
    for (size_t c = 0; c < kEncoderColumnCaptions.size(); ++c) {
        for (const EncoderRow &r : kEncoderRows) {
            rows.push_back({r.fields[c], r.caption, kEncoderColumnCaptions[c]});
            rows.push_back({r.buttons[c], r.caption, kEncoderColumnCaptions[c], kWrite});
        }
    }
    for (const ConfigBinding &b : configBindings()) {
        if (!b.caption)
            continue;
        if (b.control)
            rows.push_back({b.control, b.caption, b.detail, nullptr, b.detail == nullptr});
        if (b.writeButton)
            rows.push_back({b.writeButton, b.caption, b.detail, kWrite});
        if (b.readButton)
            rows.push_back({b.readButton, b.caption, b.detail, kRead});
    }
    rows.push_back({"ChartTime", "Label83", nullptr, nullptr, true});
    rows.push_back({"file_name_edit", "Label18", nullptr, nullptr, true});
    rows.push_back({"file_name_button", "IDS_A11Y_CHOOSE_FILE"});
    rows.push_back({"edit_mod", "IDS_A11Y_MOD_VALUE"});
    rows.push_back({"BitBtn5", "IDS_A11Y_MOD_VALUE", nullptr, kWrite});
    rows.push_back({"ListBox1", "IDS_A11Y_DEVICES"});
    rows.push_back({"LangCombo1", "IDS_A11Y_LANGUAGE"});
    return rows;
}

const std::vector<NameRow> &nameRows()
{
    static const std::vector<NameRow> rows = buildRows();
    return rows;
}

QString sourceText(const QWidget *window, Source source)
{
    if (!source)
        return {};
    const QLatin1String name(source);
    if (name.startsWith(QLatin1String("IDS_")))
        return idsText(QString(name));
    QString text;
    if (const auto *label = window->findChild<QLabel *>(name))
        text = label->text();
    else if (const auto *group = window->findChild<QGroupBox *>(name))
        text = group->title();
    else if (const auto *button = window->findChild<QAbstractButton *>(name))
        text = button->text();
    return text.simplified();
}

void setName(QWidget *control, const QString &name)
{
    if (control->accessibleName() != name)
        control->setAccessibleName(name);
    // A button that shows only a picture says by its tooltip what it does.
    if (auto *button = qobject_cast<QAbstractButton *>(control); button && button->text().isEmpty())
        button->setToolTip(name);
}

void nameStepArrows(const QWidget *window)
{
    auto *upDown = window->findChild<QWidget *>(QStringLiteral("UpDown"));
    if (!upDown)
        return;
    const QString caption = sourceText(window, "Label83");
    for (QToolButton *arrow : upDown->findChildren<QToolButton *>()) {
        const bool up = arrow->arrowType() == Qt::UpArrow;
        setName(arrow, idsText(up ? u"IDS_A11Y_INCREASE" : u"IDS_A11Y_DECREASE") + QStringLiteral(": ") + caption);
    }
}

} // namespace

void applyAccessibleNames(QWidget *window)
{
    for (const NameRow &row : nameRows()) {
        auto *control = window->findChild<QWidget *>(QLatin1String(row.control));
        if (!control)
            continue;
        QString name = sourceText(window, row.caption);
        if (const QString detail = sourceText(window, row.detail); !detail.isEmpty())
            name += QLatin1String(row.separator) + detail;
        if (row.verb) {
            const auto *button = qobject_cast<QAbstractButton *>(control);
            const QString verb =
                button && !button->text().isEmpty() ? button->text() : idsText(QString::fromLatin1(row.verb));
            name = verb + QStringLiteral(": ") + name;
        }
        setName(control, name);
        if (row.captionIsLabel) {
            if (auto *label = window->findChild<QLabel *>(QLatin1String(row.caption)))
                label->setBuddy(control);
        }
    }
    nameStepArrows(window);
    if (auto *pages = window->findChild<QTabWidget *>(QStringLiteral("PageControl1")))
        setName(pages->tabBar(), idsText(u"IDS_A11Y_PAGES"));
}
