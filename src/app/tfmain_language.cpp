#include "tfmain.h"

#include "language_picker.h"
#include "string_table.h"
#include "ui_tfmain.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <utility>
#include <vector>

namespace {

// What retranslateUi() must not touch: user texts, selections and texts that come from elsewhere at run time.
// Saved before and put back afterwards, only where it changed, so no change signal fires for nothing.
class KeptTexts {
public:
    explicit KeptTexts(QWidget *window) : window_(window), title_(window->windowTitle())
    {
        for (QComboBox *combo : window->findChildren<QComboBox *>())
            indices_.emplace_back(combo, combo->currentIndex());
        for (QLineEdit *edit : window->findChildren<QLineEdit *>())
            edits_.emplace_back(edit, edit->text());
        for (QPlainTextEdit *memo : window->findChildren<QPlainTextEdit *>())
            memos_.emplace_back(memo, memo->toPlainText());
    }

    void keepLabel(QLabel *label) { labels_.emplace_back(label, label->text()); }

    void restore() const
    {
        if (window_->windowTitle() != title_)
            window_->setWindowTitle(title_);
        for (const auto &[combo, index] : indices_)
            if (combo->currentIndex() != index)
                combo->setCurrentIndex(index);
        for (const auto &[edit, text] : edits_)
            if (edit->text() != text)
                edit->setText(text);
        for (const auto &[memo, text] : memos_)
            if (memo->toPlainText() != text)
                memo->setPlainText(text);
        for (const auto &[label, text] : labels_)
            if (label->text() != text)
                label->setText(text);
    }

private:
    QWidget *window_;
    QString title_;
    std::vector<std::pair<QComboBox *, int>> indices_;
    std::vector<std::pair<QLineEdit *, QString>> edits_;
    std::vector<std::pair<QPlainTextEdit *, QString>> memos_;
    std::vector<std::pair<QLabel *, QString>> labels_;
};

} // namespace

void TFMain::setUpLanguagePicker() { ::setUpLanguagePicker(ui->LangCombo1); }

int TFMain::activeLanguage() const { return m_language.active(); }

void TFMain::LangCombo1Change()
{
    const int number = ui->LangCombo1->currentIndex() + 1;
    if (number != m_language.active()) {
        m_language.activate(number); // throws for a number that names no language: nothing changed then
        applyFormTexts();
        Q_EMIT otherStringsChanged();
        applyStateCaptions();
    }
    // These came from the device link in the old language; the next device event rewrites them.
    setStatusPanelText(1, QString());
    setStatusPanelText(0, QString());
}

void TFMain::applyFormTexts()
{
    KeptTexts kept(this);
    for (QLabel *nameLabel : {ui->n1, ui->n2, ui->n3, ui->n4, ui->n5, ui->n6})
        kept.keepLabel(nameLabel);
    for (int panel = 0; panel < kStatusPanelCount; ++panel)
        kept.keepLabel(statusPanel(panel));
    ui->retranslateUi(this);
    kept.restore();
    fitCaptionsToText();
}

void TFMain::applyStateCaptions()
{
    // Status panel 3 keeps its text until the logging state next changes; the label follows at once.
    showLogLabel();
    showLogFileTips();
    ui->PlayButton->setText(idsText(chartRunning ? u"IDS_232" : u"IDS_231"));
}
