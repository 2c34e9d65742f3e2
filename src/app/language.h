#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <memory>
#include <stdexcept>

class QTranslator;

// Languages are numbered from 1 (Polish, the language the form is designed in) to kLanguageCount (English).
// The picker's index is the language number minus one.
inline constexpr int kLanguageCount = 2;
inline constexpr int kPolish = 1;
inline constexpr int kEnglish = 2;

// Refusal of a language number outside 1..kLanguageCount. The message is the one the user sees.
class InvalidLanguageError : public std::runtime_error {
public:
    explicit InvalidLanguageError(int number);
    int number() const { return number_; }

private:
    int number_;
};

// Owns the translators and installs or removes them: our English catalogue while English is active, Qt's own
// Polish catalogue (standard buttons, file dialogs, message boxes) while Polish is. Removing them on destruction
// leaves the next window (tests create many) as the first one found the application.
class LanguageSwitcher {
public:
    LanguageSwitcher();
    ~LanguageSwitcher();
    LanguageSwitcher(const LanguageSwitcher &) = delete;
    LanguageSwitcher &operator=(const LanguageSwitcher &) = delete;

    int active() const { return active_; }
    static bool isValid(int number) { return number >= 1 && number <= kLanguageCount; }

    // Makes `number` active; throws InvalidLanguageError outside 1..kLanguageCount (nothing changes then).
    void activate(int number);

    // Whether Qt's Polish catalogue could be loaded (it is built in; false only for a broken build).
    bool hasQtPolish() const { return qtPolish_ != nullptr; }

private:
    void installQtPolish(bool on);

    int active_ = kPolish;
    std::unique_ptr<QTranslator> english_;
    bool installed_ = false;
    std::unique_ptr<QTranslator> qtPolish_;
    bool qtPolishInstalled_ = false;
};

// Texts of non-visual parts (dialog titles and filters, chart series titles), keyed "Owner.Property", for
// example "SaveDialog.Filter" or "Series3.Title". Returns the active language's text, the Polish one when the
// active language has none, and an empty text for an unknown key. Keys match without regard to letter case.
QString otherText(QStringView key);

// The keys of that table, in order; lets the owners and the tests walk it.
QStringList otherStringKeys();

// Turns a "Description|pattern|Description|pattern" filter into name filters for QFileDialog::setNameFilters.
// A description that already shows its pattern in parentheses is kept as it is.
QStringList fileDialogNameFilters(QStringView pipeFilter);
