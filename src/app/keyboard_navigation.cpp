#include "keyboard_navigation.h"

#include <QKeyEvent>
#include <QKeySequence>
#include <QPushButton>
#include <QShortcut>
#include <QTabBar>
#include <QTabWidget>

namespace {

// Each page's controls in reading order: top to bottom, a row from left to right; on the settings page the left
// column before the groups on the right. The modulo field and its button stand on the line of their check box.
constexpr const char *kFocusOrder[] = {
    "Edit_date Edit_time Edit1_encp1 Edit1_encv1 Edit1_encp2 Edit1_encv2 Edit1_encp3 Edit1_encv3 save_button",
    "PlayButton ClearButton SaveChartButton",
    "button_1 button_2 BitBtn14 "
    "enc_clear_1 button_encclearC1 enc_clear_2 button_encclearC2 enc_clear_3 button_encclearC3 "
    "enc_mode_1 button_encmode1 enc_mode_2 button_encmode2 enc_mode_3 button_encmode3 "
    "enc_time_1 button_time1 enc_time_2 button_time2 enc_time_3 button_time3 "
    "enc_resolution_1 button_resolution1 enc_resolution_2 button_resolution2 enc_resolution_3 button_resolution3 "
    "enc_coeff_1 button_enccoeff1 enc_coeff_2 button_enccoeff2 enc_coeff_3 button_enccoeff3 "
    "enc_offset_1 button_encoffset1 enc_offset_2 button_encoffset2 enc_offset_3 button_encoffset3 "
    "enc_unit_1 BitBtn11 enc_unit_2 BitBtn13 enc_unit_3 BitBtn6 "
    "enc_name_1 BitBtn1 enc_name_2 BitBtn2 enc_name_3 BitBtn4 "
    "button_encclear1 button_encclear2 button_encclear3",
    "out1_W out1_B out1_N out1_S out2_W out2_B out2_N out2_S out3_W out3_B out3_N out3_S "
    "out4_W out4_B out4_N out4_S BitBtn43 BitBtn44",
    "trig_master_mode BitBtn9 BitBtn10 trigger_filter BitBtn55 BitBtn56 trigger_mode BitBtn53 BitBtn54 "
    "trigger_time BitBtn45 BitBtn46 trig_master_type_1 button_trigmastetype_1 BitBtn12 "
    "trig_master_type_2 button_trigmastetype_2 BitBtn3 trig_master_type_3 button_trigmastetype_3 BitBtn8 "
    "Led4 BitBtn20 BitBtn21 Led BitBtn22 BitBtn23 Beep BitBtn24 BitBtn25 Dot BitBtn18 BitBtn19",
    "save_auto save_date save_time save_cnt save_cntmod edit_mod BitBtn5 save_enc1p save_enc2p save_enc3p "
    "save_enc1v save_enc2v save_enc3v save_output file_name_edit file_name_button "
    "CheckBox1 ListBox1 ChartTime mod_adr BitBtn7 BitBtn15 mod_br BitBtn16 BitBtn17",
    "LangCombo1",
};

// Qt presses a push button on Enter only in a dialog, where Enter means the dialog's default button.
class EnterPressesButton : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
            || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
            return false;
        auto *button = static_cast<QPushButton *>(watched);
        if (!key->isAutoRepeat() && button->isEnabled())
            button->click();
        return true;
    }
};

void stepPage(QTabWidget *pages, int direction)
{
    const QTabBar *tabs = pages->tabBar();
    const int count = pages->count();
    for (int step = 1; step < count; ++step) {
        const int index = ((pages->currentIndex() + direction * step) % count + count) % count;
        if (tabs->isTabVisible(index) && tabs->isTabEnabled(index)) {
            pages->setCurrentIndex(index);
            return;
        }
    }
}

void addPageKeys(QWidget *window, QTabWidget *pages, QKeyCombination key, int direction)
{
    auto *shortcut = new QShortcut(QKeySequence(key), window);
    QObject::connect(shortcut, &QShortcut::activated, pages, [pages, direction] { stepPage(pages, direction); });
}

void setFocusOrder(QWidget *window, QTabWidget *pages)
{
    QWidget *previous = pages->tabBar();
    for (const char *page : kFocusOrder) {
        for (const QString &name : QString::fromLatin1(page).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            if (auto *control = window->findChild<QWidget *>(name)) {
                QWidget::setTabOrder(previous, control);
                previous = control;
            }
        }
    }
}

} // namespace

void setUpKeyboard(QWidget *window, QTabWidget *pages)
{
    auto *enter = new EnterPressesButton(window);
    for (QPushButton *button : window->findChildren<QPushButton *>())
        button->installEventFilter(enter);

    addPageKeys(window, pages, Qt::CTRL | Qt::Key_Tab, 1);
    addPageKeys(window, pages, Qt::CTRL | Qt::Key_PageDown, 1);
    addPageKeys(window, pages, Qt::CTRL | Qt::SHIFT | Qt::Key_Tab, -1);
    addPageKeys(window, pages, Qt::CTRL | Qt::Key_PageUp, -1);

    setFocusOrder(window, pages);
}
