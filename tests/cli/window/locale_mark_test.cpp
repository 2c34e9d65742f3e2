// torvex-cli's table of decimal marks against the window's toolkit, name for name: the two programs write the
// same mark on one machine whether or not the C library has the locale generated.
#include "measure/locale_mark.h"
#include "measure/value_text.h"

#include <QLocale>
#include <QString>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

// Every locale the C library can generate (the first word of each line), and names written other ways.
std::vector<std::string> localeNames()
{
    std::vector<std::string> names{
        "",      "C",     "POSIX",          "C.UTF-8",   "pl",    "es",          "it",    "de",          "pt",
        "en",    "pl_PL", "de_CH.UTF-8",    "es_MX",     "fr_CA", "sr_RS@latin", "en_ZA", "pl_PL.UTF-8", "ar_DZ.UTF-8",
        "xx_YY", "az_IR", "uz_UZ@cyrillic", "nl_BE@euro"};
    std::ifstream supported("/usr/share/i18n/SUPPORTED");
    for (std::string line; std::getline(supported, line);)
        if (!line.empty() && line.front() != '#')
            names.push_back(line.substr(0, line.find(' ')));
    return names;
}

TEST(LocaleMark, EveryNameGetsTheWindowsMark)
{
    for (const std::string &name : localeNames()) {
        const QString point = QLocale(QString::fromStdString(name)).decimalPoint();
        const char window = torvex::valueTextSeparator(point.toStdString());
        EXPECT_EQ(torvex::localeDecimalMark(name).value_or('.'), window) << name;
    }
    EXPECT_EQ(torvex::localeDecimalMark("xx_YY.UTF-8"), std::nullopt) << "a language it does not know is said";
}

} // namespace
