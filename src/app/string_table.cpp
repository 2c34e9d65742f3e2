#include "string_table.h"

#include <QCoreApplication>

#include <array>

namespace {

// Field order matches what QT_TRANSLATE_NOOP3 expands to: {source text, disambiguation}.
struct StringRow {
    const char *polish;
    const char *id;
};

// The id doubles as the translation's disambiguation, so lupdate keeps one entry per id.
constexpr std::array<StringRow, 42> kStrings{{
    QT_TRANSLATE_NOOP3("StringTable", "Zaktualizowane parametr: [", "IDS_2"),
    QT_TRANSLATE_NOOP3("StringTable", "Połączony", "IDS_4"),
    QT_TRANSLATE_NOOP3("StringTable", "Rozłączony", "IDS_5"),
    QT_TRANSLATE_NOOP3("StringTable", "Odświeżam listę urządzeń", "IDS_7"),
    QT_TRANSLATE_NOOP3("StringTable", "pomiary.csv", "IDS_31"),
    QT_TRANSLATE_NOOP3("StringTable", "min", "IDS_153"),
    QT_TRANSLATE_NOOP3("StringTable", "sek", "IDS_154"),
    QT_TRANSLATE_NOOP3("StringTable", "Zapis: aktywny", "IDS_159"),
    QT_TRANSLATE_NOOP3("StringTable", "Zapis: aktywny", "IDS_161"),
    QT_TRANSLATE_NOOP3("StringTable", "Zapis nieaktywny", "IDS_162"),
    QT_TRANSLATE_NOOP3("StringTable", "Zapis: nieaktywny", "IDS_164"),
    QT_TRANSLATE_NOOP3("StringTable", "Uruchom wykres", "IDS_231"),
    QT_TRANSLATE_NOOP3("StringTable", "Zatrzymaj wykres", "IDS_232"),
    // Our own ids: status panel 3 and save_label while the log file cannot be opened or written, plain while no
    // line waits for it (another program writing to it, say), else with the lines waiting (%1); their tooltip
    // (%1 the file's full path, %2 the lines waiting, %3 the lines lost); once it can, the tooltip while lines
    // lost in this run are to be told (%1 the path, %2 the lines lost).
    QT_TRANSLATE_NOOP3("StringTable", "Błąd zapisu", "IDS_LOG_WRITE_ERROR"),
    QT_TRANSLATE_NOOP3("StringTable", "Błąd zapisu: %1", "IDS_LOG_WRITE_ERROR_WAITING"),
    QT_TRANSLATE_NOOP3("StringTable",
                       "Nie można zapisać pliku:\n%1\nWiersze czekające na zapis: %2\nUtracone wiersze: %3",
                       "IDS_LOG_WRITE_ERROR_TIP"),
    QT_TRANSLATE_NOOP3("StringTable", "%1\nUtracone wiersze: %2", "IDS_LOG_LOST_TIP"),
    // Our own id: the tooltip while the file takes the lines more slowly than they come (%1 the path, %2 the
    // lines waiting); nothing is lost yet, so the texts stay as they are.
    QT_TRANSLATE_NOOP3("StringTable", "%1\nWiersze czekające na zapis: %2", "IDS_LOG_WAITING_TIP"),
    // Our own id: that tooltip while another program writes to the file (%4: " (program, PID n)" when known).
    QT_TRANSLATE_NOOP3(
        "StringTable",
        "Do pliku zapisuje już inny program%4:\n%1\nWiersze czekające na zapis: %2\nUtracone wiersze: %3",
        "IDS_LOG_OTHER_WRITER_TIP"),
    // Our own ids: the error box of a stop or close that could not write the waiting lines: %1 the log file,
    // %2 the lines, %3 the recovery file that took them.
    QT_TRANSLATE_NOOP3("StringTable",
                       "Nie można zapisać pliku:\n%1\n\nCzekające wiersze (%2) zapisano w pliku:\n%3\n\nDołącz je do "
                       "pliku pomiarowego, gdy będzie dostępny.",
                       "IDS_LOG_RESCUED"),
    QT_TRANSLATE_NOOP3("StringTable",
                       "Nie można zapisać pliku:\n%1\n\nNie można też zapisać pliku odzysku. Utracone wiersze: %2",
                       "IDS_LOG_RESCUE_FAILED"),
    // Our own id: a second start on the settings file of a running window.
    QT_TRANSLATE_NOOP3("StringTable", "TORVEX PC jest już uruchomiony.", "IDS_ALREADY_RUNNING"),
    // Our own id: status panel 0 when a Write is refused because a list has no item selected.
    QT_TRANSLATE_NOOP3("StringTable", "Nie wysłano: lista bez wyboru", "IDS_NO_SELECTION"),
    // Our own ids: what assistive technology (and the tooltip of a picture-only button) is told. Most names of
    // controls are built from the captions on the form; these name what has no caption.
    QT_TRANSLATE_NOOP3("StringTable", "Zapisz", "IDS_A11Y_WRITE"),
    QT_TRANSLATE_NOOP3("StringTable", "Odczytaj", "IDS_A11Y_READ"),
    QT_TRANSLATE_NOOP3("StringTable", "Zmienna MOD", "IDS_A11Y_MOD_VALUE"),
    QT_TRANSLATE_NOOP3("StringTable", "Wybierz plik z pomiarami", "IDS_A11Y_CHOOSE_FILE"),
    QT_TRANSLATE_NOOP3("StringTable", "Rozpocznij zapis do pliku", "IDS_A11Y_LOG_START"),
    QT_TRANSLATE_NOOP3("StringTable", "Zatrzymaj zapis do pliku", "IDS_A11Y_LOG_STOP"),
    QT_TRANSLATE_NOOP3("StringTable", "Urządzenia HID", "IDS_A11Y_DEVICES"),
    QT_TRANSLATE_NOOP3("StringTable", "Zwiększ", "IDS_A11Y_INCREASE"),
    QT_TRANSLATE_NOOP3("StringTable", "Zmniejsz", "IDS_A11Y_DECREASE"),
    QT_TRANSLATE_NOOP3("StringTable", "Strony", "IDS_A11Y_PAGES"),
    QT_TRANSLATE_NOOP3("StringTable", "Język", "IDS_A11Y_LANGUAGE"),
    QT_TRANSLATE_NOOP3("StringTable", "aktywne", "IDS_A11Y_LAMP_ON"),
    QT_TRANSLATE_NOOP3("StringTable", "nieaktywne", "IDS_A11Y_LAMP_OFF"),
    // The outcome of a Write, as the description and tooltip of the field written (%1 the value kept).
    QT_TRANSLATE_NOOP3("StringTable", "To nie jest liczba", "IDS_A11Y_NOT_A_NUMBER"),
    QT_TRANSLATE_NOOP3("StringTable", "Ograniczono do %1", "IDS_A11Y_LIMITED"),
    QT_TRANSLATE_NOOP3("StringTable", "Wysłano", "IDS_A11Y_SENT"),
    QT_TRANSLATE_NOOP3("StringTable", "Nie wysłano", "IDS_A11Y_NOT_SENT"),
    QT_TRANSLATE_NOOP3("StringTable", "Nie wysłano: brak połączenia z urządzeniem", "IDS_A11Y_NOT_CONNECTED"),
    QT_TRANSLATE_NOOP3("StringTable", "Nie wysłano: błąd zapisu do urządzenia", "IDS_A11Y_WRITE_FAILED"),
}};

} // namespace

QString idsText(QStringView id)
{
    for (const StringRow &row : kStrings) {
        if (id.compare(QLatin1String(row.id), Qt::CaseInsensitive) == 0) {
            // translate() falls back to the source (Polish) text when the active language has none.
            return QCoreApplication::translate("StringTable", row.polish, row.id);
        }
    }
    return {};
}

QStringList stringIds()
{
    QStringList ids;
    for (const StringRow &row : kStrings)
        ids << QLatin1String(row.id);
    return ids;
}
