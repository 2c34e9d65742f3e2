#include "accessible_names.h"

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

// Encoder page: a grid of rows (settings) by encoder columns; each cell holds a field and its button.
constexpr std::array<Source, 3> kEncoderColumns{"Label25", "Label26", "Label8"};
struct EncoderRow {
    Source caption;
    std::array<const char *, 3> fields;
    std::array<const char *, 3> buttons;
};
constexpr EncoderRow kEncoderRows[] = {
    {"Label14",
     {"enc_clear_1", "enc_clear_2", "enc_clear_3"},
     {"button_encclearC1", "button_encclearC2", "button_encclearC3"}},
    {"Label27", {"enc_mode_1", "enc_mode_2", "enc_mode_3"}, {"button_encmode1", "button_encmode2", "button_encmode3"}},
    {"Label28", {"enc_time_1", "enc_time_2", "enc_time_3"}, {"button_time1", "button_time2", "button_time3"}},
    {"Label29",
     {"enc_resolution_1", "enc_resolution_2", "enc_resolution_3"},
     {"button_resolution1", "button_resolution2", "button_resolution3"}},
    {"Label30",
     {"enc_coeff_1", "enc_coeff_2", "enc_coeff_3"},
     {"button_enccoeff1", "button_enccoeff2", "button_enccoeff3"}},
    {"Label31",
     {"enc_offset_1", "enc_offset_2", "enc_offset_3"},
     {"button_encoffset1", "button_encoffset2", "button_encoffset3"}},
    {"Label80", {"enc_unit_1", "enc_unit_2", "enc_unit_3"}, {"BitBtn11", "BitBtn13", "BitBtn6"}},
    {"Label6", {"enc_name_1", "enc_name_2", "enc_name_3"}, {"BitBtn1", "BitBtn2", "BitBtn4"}},
};
// Buttons that act on a whole encoder column: named by the button and the column.
constexpr std::array<const char *, 3> kEncoderReadButtons{"button_1", "button_2", "BitBtn14"};
constexpr std::array<const char *, 3> kEncoderClearButtons{"button_encclear1", "button_encclear2", "button_encclear3"};

// Output page: rows T1..T4 by columns; a cell is named by its column, then its row ("Warunek, T2").
constexpr std::array<Source, 4> kOutputRows{"Label68", "Label69", "Label70", "Label71"};
struct OutputColumn {
    Source caption;
    std::array<const char *, 4> controls;
};
constexpr OutputColumn kOutputColumns[] = {
    {"Label58", {"out1_W", "out2_W", "out3_W", "out4_W"}},
    {"Label45", {"out1_B", "out2_B", "out3_B", "out4_B"}},
    {"Label46", {"out1_N", "out2_N", "out3_N", "out4_N"}},
    {"Label57", {"out1_S", "out2_S", "out3_S", "out4_S"}},
};

// Rows of one control with its Write and Read buttons (trigger and display page, MODBUS settings).
struct ControlRow {
    Source caption;
    const char *control;
    const char *write;
    const char *read;
};
constexpr ControlRow kControlRows[] = {
    {"Label76", "trig_master_mode", "BitBtn9", "BitBtn10"},
    {"Label61", "trigger_filter", "BitBtn55", "BitBtn56"},
    {"Label60", "trigger_mode", "BitBtn53", "BitBtn54"},
    {"Label59", "trigger_time", "BitBtn45", "BitBtn46"},
    {"Label77", "trig_master_type_1", "button_trigmastetype_1", "BitBtn12"},
    {"Label78", "trig_master_type_2", "button_trigmastetype_2", "BitBtn3"},
    {"Label13", "trig_master_type_3", "button_trigmastetype_3", "BitBtn8"},
    {"Label15", "Led4", "BitBtn20", "BitBtn21"},
    {"Label16", "Led", "BitBtn22", "BitBtn23"},
    {"Label17", "Beep", "BitBtn24", "BitBtn25"},
    {"Label11", "Dot", "BitBtn18", "BitBtn19"},
    {"Label24", "mod_adr", "BitBtn7", "BitBtn15"},
    {"Label23", "mod_br", "BitBtn16", "BitBtn17"},
};

std::vector<NameRow> buildRows()
{
    std::vector<NameRow> rows;
    for (const IndicatorRow &r : kIndicators)
        rows.push_back({r.field, r.caption, r.nameLabel, nullptr, true, " "});
    for (size_t c = 0; c < kEncoderColumns.size(); ++c) {
        rows.push_back({kEncoderReadButtons[c], kEncoderColumns[c], nullptr, kRead});
        for (const EncoderRow &r : kEncoderRows) {
            rows.push_back({r.fields[c], r.caption, kEncoderColumns[c]});
            rows.push_back({r.buttons[c], r.caption, kEncoderColumns[c], kWrite});
        }
        rows.push_back({kEncoderClearButtons[c], kEncoderColumns[c], nullptr, kWrite});
    }
    for (const OutputColumn &column : kOutputColumns) {
        for (size_t k = 0; k < kOutputRows.size(); ++k)
            rows.push_back({column.controls[k], column.caption, kOutputRows[k]});
    }
    rows.push_back({"BitBtn43", "GroupBox9", nullptr, kWrite});
    rows.push_back({"BitBtn44", "GroupBox9", nullptr, kRead});
    for (const ControlRow &r : kControlRows) {
        rows.push_back({r.control, r.caption, nullptr, nullptr, true});
        rows.push_back({r.write, r.caption, nullptr, kWrite});
        rows.push_back({r.read, r.caption, nullptr, kRead});
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
