#include "language.h"

#include <QCoreApplication>
#include <QTranslator>

#include <array>

namespace {

// Field order matches what QT_TRANSLATE_NOOP3 expands to: {source text, disambiguation}.
struct OtherStringRow {
    const char *polish;
    const char *key;
};

// Context "TFMain": these belong to the window's non-visual parts. The key is the disambiguation, so the two
// dialog titles stay separate entries although their Polish texts are equal.
constexpr std::array<OtherStringRow, 10> otherStringsTable{{
    QT_TRANSLATE_NOOP3("TFMain", "Plik pomiarowy", "SaveDialog.Title"),
    QT_TRANSLATE_NOOP3("TFMain", "Plik tekstowy (*.txt)|*.txt|Plik z danymi oddzielonymi średnikami (*.csv)|*.csv",
                       "SaveDialog.Filter"),
    QT_TRANSLATE_NOOP3("TFMain", "Plik pomiarowy", "SaveDialogBitmap.Title"),
    QT_TRANSLATE_NOOP3("TFMain", "Mapa bitowa (*.bmp)|*.bmp", "SaveDialogBitmap.Filter"),
    QT_TRANSLATE_NOOP3("TFMain", "pozycja ENKODER 1", "Series1.Title"),
    QT_TRANSLATE_NOOP3("TFMain", "pozycja ENKODER 2", "Series2.Title"),
    QT_TRANSLATE_NOOP3("TFMain", "pozycja ENKODER 3", "Series3.Title"),
    QT_TRANSLATE_NOOP3("TFMain", "prędkość ENKODER 1", "Series4.Title"),
    QT_TRANSLATE_NOOP3("TFMain", "prędkość ENKODER 2", "Series5.Title"),
    QT_TRANSLATE_NOOP3("TFMain", "prędkość ENKODER3", "Series6.Title"),
}};

constexpr auto kEnglishCatalogue = ":/i18n/torvex_en.qm";
constexpr auto kQtPolishCatalogue = ":/i18n/qtbase_pl.qm";

std::string invalidLanguageMessage(int number)
{
    return "TFMain: " + std::to_string(number) + " - is not a valid property value!\nValue must be within [1.."
        + std::to_string(kLanguageCount) + "]!";
}

} // namespace

InvalidLanguageError::InvalidLanguageError(int number)
    : std::runtime_error(invalidLanguageMessage(number)), number_(number)
{
}

LanguageSwitcher::LanguageSwitcher()
{
    auto translator = std::make_unique<QTranslator>();
    // Without it Qt's dialogs stay English, which is no reason to refuse to start.
    if (translator->load(QString::fromLatin1(kQtPolishCatalogue)))
        qtPolish_ = std::move(translator);
    installQtPolish(true);
}

LanguageSwitcher::~LanguageSwitcher()
{
    if (installed_)
        QCoreApplication::removeTranslator(english_.get());
    installQtPolish(false);
}

void LanguageSwitcher::installQtPolish(bool on)
{
    if (!qtPolish_ || on == qtPolishInstalled_)
        return;
    if (on)
        QCoreApplication::installTranslator(qtPolish_.get());
    else
        QCoreApplication::removeTranslator(qtPolish_.get());
    qtPolishInstalled_ = on;
}

void LanguageSwitcher::activate(int number)
{
    if (!isValid(number))
        throw InvalidLanguageError(number);
    const bool wantEnglish = number == kEnglish;
    if (wantEnglish && !english_) {
        auto translator = std::make_unique<QTranslator>();
        // A missing catalogue is a build fault; better loud than a silently Polish "English".
        if (!translator->load(QString::fromLatin1(kEnglishCatalogue)))
            throw std::runtime_error("English translation missing: " + std::string(kEnglishCatalogue));
        english_ = std::move(translator);
    }
    if (wantEnglish != installed_) {
        if (wantEnglish)
            QCoreApplication::installTranslator(english_.get());
        else
            QCoreApplication::removeTranslator(english_.get());
        installed_ = wantEnglish;
    }
    installQtPolish(number == kPolish);
    active_ = number;
}

QString otherText(QStringView key)
{
    for (const OtherStringRow &row : otherStringsTable) {
        if (key.compare(QLatin1String(row.key), Qt::CaseInsensitive) == 0)
            return QCoreApplication::translate("TFMain", row.polish, row.key);
    }
    return {};
}

QStringList otherStringKeys()
{
    QStringList keys;
    for (const OtherStringRow &row : otherStringsTable)
        keys << QLatin1String(row.key);
    return keys;
}

QStringList fileDialogNameFilters(QStringView pipeFilter)
{
    const QList<QStringView> parts = pipeFilter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts[i].trimmed().toString();
        // Several patterns are ';'-separated in this format, space-separated for Qt.
        const QString patterns = parts[i + 1].trimmed().toString().replace(u';', u' ').simplified();
        if (description.contains(QLatin1Char('(') + patterns + QLatin1Char(')')))
            filters << description;
        else
            filters << description + QLatin1String(" (") + patterns + QLatin1Char(')');
    }
    return filters;
}
