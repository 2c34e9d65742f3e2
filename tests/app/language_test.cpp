#include "language.h"
#include "language_picker.h"
#include "string_table.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QStandardItemModel>
#include <QStyleOptionViewItem>
#include <QTranslator>

namespace {

struct IdsCase {
    const char *id;
    const char *polish;
    const char *english;
};

// Equal Polish texts with different English ones (IDS_159/IDS_161, IDS_162 vs the form's "Save inactive")
// are the cases a lookup keyed by the Polish text alone would get wrong.
const IdsCase kIdsCases[] = {
    {"IDS_2", "Zaktualizowane parametr: [", "Parameter update: ["},
    {"IDS_4", "Połączony", "Connected"},
    {"IDS_5", "Rozłączony", "Disconnected"},
    {"IDS_7", "Odświeżam listę urządzeń", "Refreh device list"},
    {"IDS_31", "pomiary.csv", "measure.csv"},
    {"IDS_153", "min", "min"},
    {"IDS_154", "sek", "sec"},
    {"IDS_159", "Zapis: aktywny", "Write active"},
    {"IDS_161", "Zapis: aktywny", "Write: active"},
    {"IDS_162", "Zapis nieaktywny", "Write: inactive"},
    {"IDS_164", "Zapis: nieaktywny", "Write: inactive"},
    {"IDS_231", "Uruchom wykres", "Start chart"},
    {"IDS_232", "Zatrzymaj wykres", "Pause chart"},
    {"IDS_LOG_WRITE_ERROR", "Błąd zapisu", "Write error"},
    {"IDS_LOG_WRITE_ERROR_WAITING", "Błąd zapisu: %1", "Write error: %1"},
    {"IDS_LOG_WRITE_ERROR_TIP", "Nie można zapisać pliku:\n%1\nWiersze czekające na zapis: %2\nUtracone wiersze: %3",
     "Cannot write to the file:\n%1\nLines waiting: %2\nLines lost: %3"},
    {"IDS_LOG_LOST_TIP", "%1\nUtracone wiersze: %2", "%1\nLines lost: %2"},
    {"IDS_LOG_RESCUE_FAILED",
     "Nie można zapisać pliku:\n%1\n\nNie można też zapisać pliku odzysku. Utracone wiersze: %2",
     "Cannot write to the file:\n%1\n\nNo recovery file could be written either. Lines lost: %2"},
    {"IDS_NO_SELECTION", "Nie wysłano: lista bez wyboru", "Not sent: a list has no selection"},
};

class StringTableTest : public ::testing::TestWithParam<IdsCase> {};

TEST_P(StringTableTest, GivesTheActiveLanguagesTextAtTheMomentOfAsking)
{
    const IdsCase &c = GetParam();
    LanguageSwitcher switcher;
    EXPECT_EQ(idsText(QString::fromLatin1(c.id)), QString::fromUtf8(c.polish));
    switcher.activate(kEnglish);
    EXPECT_EQ(idsText(QString::fromLatin1(c.id)), QString::fromUtf8(c.english));
    switcher.activate(kPolish);
    EXPECT_EQ(idsText(QString::fromLatin1(c.id)), QString::fromUtf8(c.polish));
}

INSTANTIATE_TEST_SUITE_P(AllIds, StringTableTest, ::testing::ValuesIn(kIdsCases),
                         [](const auto &row) { return std::string(row.param.id); });

// A new id without its English row would silently show Polish in English.
TEST(StringTable, EveryIdHasAnEnglishRow)
{
    QTranslator english;
    ASSERT_TRUE(english.load(QStringLiteral(":/i18n/torvex_en.qm")));
    LanguageSwitcher switcher;
    for (const QString &id : stringIds()) {
        const QString polish = idsText(id);
        EXPECT_FALSE(polish.isEmpty()) << id.toStdString();
        EXPECT_FALSE(english.translate("StringTable", polish.toUtf8().constData(), id.toLatin1().constData()).isEmpty())
            << id.toStdString() << " has no English text";
    }
}

TEST(StringTable, IdsMatchWithoutRegardToLetterCase)
{
    LanguageSwitcher switcher;
    switcher.activate(kEnglish);
    EXPECT_EQ(idsText(u"ids_231"), QStringLiteral("Start chart"));
    EXPECT_EQ(idsText(u"Ids_4"), QStringLiteral("Connected"));
}

TEST(StringTable, UnknownIdGivesAnEmptyText)
{
    LanguageSwitcher switcher;
    for (int language : {kPolish, kEnglish}) {
        switcher.activate(language);
        EXPECT_TRUE(idsText(u"IDS_3").isEmpty());
        EXPECT_TRUE(idsText(u"").isEmpty());
        EXPECT_TRUE(idsText(u"IDS_2 ").isEmpty());
    }
}

struct OtherCase {
    const char *key;
    const char *polish;
    const char *english; // Polish again where English has no text of its own
};

const OtherCase kOtherCases[] = {
    {"SaveDialog.Title", "Plik pomiarowy", "Plik pomiarowy"},
    {"SaveDialog.Filter", "Plik tekstowy (*.txt)|*.txt|Plik z danymi oddzielonymi średnikami (*.csv)|*.csv",
     "Text file (*.txt)|*.txt|CSV file (*.csv)|*.csv"},
    {"SaveDialogBitmap.Title", "Plik pomiarowy", "Plik pomiarowy"},
    {"SaveDialogBitmap.Filter", "Mapa bitowa (*.bmp)|*.bmp", "Bitmap (*.bmp)|*.bmp"},
    {"Series1.Title", "pozycja ENKODER 1", "position ENCODER 1"},
    {"Series2.Title", "pozycja ENKODER 2", "position ENCODER 2"},
    {"Series3.Title", "pozycja ENKODER 3", "position ENCODER 3"},
    {"Series4.Title", "prędkość ENKODER 1", "velocity ENCODER 1"},
    {"Series5.Title", "prędkość ENKODER 2", "velocity ENCODER 2"},
    {"Series6.Title", "prędkość ENKODER3", "velocity ENCODER 3"},
};

TEST(OtherStrings, EveryKeyInBothLanguagesAndBack)
{
    ASSERT_EQ(otherStringKeys().size(), qsizetype(std::size(kOtherCases)));
    LanguageSwitcher switcher;
    for (int language : {kPolish, kEnglish, kPolish}) {
        switcher.activate(language);
        for (const OtherCase &c : kOtherCases) {
            const char *expected = language == kEnglish ? c.english : c.polish;
            EXPECT_EQ(otherText(QString::fromLatin1(c.key)), QString::fromUtf8(expected))
                << c.key << " in language " << language;
        }
    }
    EXPECT_EQ(otherText(u"series1.title"), QStringLiteral("pozycja ENKODER 1"));
    EXPECT_TRUE(otherText(u"Series7.Title").isEmpty());
}

TEST(LanguageSwitcher, RefusesNumbersOutsideTheLanguagesAndKeepsTheActiveOne)
{
    LanguageSwitcher switcher;
    switcher.activate(kEnglish);
    for (int refused : {0, 3, 5, -1}) {
        try {
            switcher.activate(refused);
            ADD_FAILURE() << refused << " accepted";
        } catch (const InvalidLanguageError &e) {
            EXPECT_EQ(e.number(), refused);
            EXPECT_EQ(QString::fromUtf8(e.what()),
                      QStringLiteral("TFMain: %1 - is not a valid property value!\nValue must be within [1..2]!")
                          .arg(refused));
        }
        EXPECT_EQ(switcher.active(), kEnglish);
        EXPECT_EQ(idsText(u"IDS_4"), QStringLiteral("Connected"));
    }
}

TEST(LanguageSwitcher, DestroyingTheSwitcherReturnsToPolish)
{
    {
        LanguageSwitcher switcher;
        switcher.activate(kEnglish);
        ASSERT_EQ(idsText(u"IDS_4"), QStringLiteral("Connected"));
    }
    EXPECT_EQ(idsText(u"IDS_4"), QStringLiteral("Połączony"));
}

struct FilterCase {
    const char *pipe;
    QStringList expected;
};

TEST(FileDialogNameFilters, ConvertsPipeSeparatedPairs)
{
    const FilterCase cases[] = {
        {"Plik tekstowy (*.txt)|*.txt|Plik z danymi oddzielonymi średnikami (*.csv)|*.csv",
         {QStringLiteral("Plik tekstowy (*.txt)"), QStringLiteral("Plik z danymi oddzielonymi średnikami (*.csv)")}},
        {"Bitmap|*.bmp", {QStringLiteral("Bitmap (*.bmp)")}},
        {"Images|*.png;*.bmp", {QStringLiteral("Images (*.png *.bmp)")}},
        {"Dangling description", {}},
        {"", {}},
    };
    for (const FilterCase &c : cases)
        EXPECT_EQ(fileDialogNameFilters(QString::fromUtf8(c.pipe)), c.expected) << c.pipe;
}

// Renders one item through the delegate and returns the picture.
QImage renderItem(const QComboBox &picker, int row, bool selected)
{
    QImage image(60, LanguageItemDelegate::kItemHeight, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    QStyleOptionViewItem option;
    option.rect = image.rect();
    option.palette = picker.palette();
    option.font = picker.font();
    option.state = QStyle::State_Enabled | (selected ? QStyle::State_Selected : QStyle::State_None);
    picker.itemDelegate()->paint(&painter, option, picker.model()->index(row, 0));
    return image;
}

TEST(LanguagePicker, DrawsEachFlagAtItsPlaceAndTheNameBesideIt)
{
    QComboBox picker;
    picker.addItems({QStringLiteral("Polski"), QStringLiteral("English")});
    setUpLanguagePicker(&picker);
    const QSize sizes[] = {{18, 12}, {19, 12}};
    for (int row = 0; row < 2; ++row) {
        const QPixmap flag = picker.itemData(row, Qt::DecorationRole).value<QPixmap>();
        ASSERT_EQ(flag.size(), sizes[row]) << row;
        const QImage expected = flag.toImage().convertToFormat(QImage::Format_ARGB32);
        const QImage item = renderItem(picker, row, false);
        EXPECT_EQ(item.copy(1, 2, flag.width(), flag.height()), expected) << row;
        EXPECT_EQ(picker.itemDelegate()->sizeHint(QStyleOptionViewItem(), picker.model()->index(row, 0)).height(), 16);
    }
    // White over red: the top half of the Polish flag is lighter than the bottom half.
    const QImage pl = picker.itemData(0, Qt::DecorationRole).value<QPixmap>().toImage();
    EXPECT_EQ(QColor(pl.pixel(9, 3)), QColor(Qt::white));
    EXPECT_GT(qRed(pl.pixel(9, 9)), 150);
    EXPECT_LT(qGreen(pl.pixel(9, 9)), 80);

    // The name starts 23 px in: nothing but background between the flag and the text.
    const QImage item = renderItem(picker, 0, false);
    const QRgb background = item.pixel(21, 0);
    for (int y = 0; y < item.height(); ++y)
        for (int x = 20; x < 23; ++x)
            EXPECT_EQ(item.pixel(x, y), background) << x << "," << y;
    bool textDrawn = false;
    for (int y = 0; y < item.height() && !textDrawn; ++y)
        for (int x = 23; x < item.width() && !textDrawn; ++x)
            textDrawn = item.pixel(x, y) != background;
    EXPECT_TRUE(textDrawn);
}

TEST(LanguagePicker, SelectedItemUsesTheHighlightColours)
{
    QComboBox picker;
    picker.addItems({QStringLiteral("Polski"), QStringLiteral("English")});
    setUpLanguagePicker(&picker);
    const QImage item = renderItem(picker, 1, true);
    EXPECT_EQ(QColor(item.pixel(21, 0)), picker.palette().color(QPalette::Normal, QPalette::Highlight));
    bool highlightText = false;
    const QColor text = picker.palette().color(QPalette::Normal, QPalette::HighlightedText);
    for (int y = 0; y < item.height(); ++y)
        for (int x = 23; x < item.width(); ++x)
            highlightText = highlightText || QColor(item.pixel(x, y)) == text;
    EXPECT_TRUE(highlightText);
}

} // namespace
