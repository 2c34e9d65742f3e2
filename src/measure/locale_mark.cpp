#include "measure/locale_mark.h"

#include <algorithm>
#include <array>

namespace torvex {
namespace {

using namespace std::string_view_literals;

// Sorted, for binary search. The languages of the system's locales by the mark the window's toolkit gives them
// (its own locale data, not the C library's), and the territories whose mark differs from their language's.
constexpr std::array kCommaLanguages{
    "af"sv, "ast"sv, "az"sv, "be"sv, "bg"sv, "br"sv, "bs"sv, "ca"sv,  "cs"sv, "da"sv,  "de"sv,  "dsb"sv,
    "el"sv, "eo"sv,  "es"sv, "et"sv, "eu"sv, "ff"sv, "fi"sv, "fo"sv,  "fr"sv, "fur"sv, "fy"sv,  "gl"sv,
    "hr"sv, "hsb"sv, "hu"sv, "hy"sv, "ia"sv, "id"sv, "is"sv, "it"sv,  "ka"sv, "kab"sv, "kk"sv,  "kl"sv,
    "km"sv, "ku"sv,  "ky"sv, "lb"sv, "ln"sv, "lo"sv, "lt"sv, "lv"sv,  "mk"sv, "nb"sv,  "nds"sv, "nl"sv,
    "nn"sv, "os"sv,  "pl"sv, "pt"sv, "ro"sv, "ru"sv, "rw"sv, "sah"sv, "sc"sv, "se"sv,  "sk"sv,  "sl"sv,
    "sq"sv, "sr"sv,  "sv"sv, "tg"sv, "tk"sv, "tr"sv, "tt"sv, "uk"sv,  "uz"sv, "vi"sv,  "wae"sv, "wo"sv,
};
constexpr std::array kPointLanguages{
    "aa"sv,  "agr"sv, "ak"sv,  "am"sv,  "an"sv,  "anp"sv, "ar"sv,  "as"sv,  "ayc"sv, "bem"sv, "ber"sv, "bhb"sv, "bho"sv,
    "bi"sv,  "bn"sv,  "bo"sv,  "brx"sv, "byn"sv, "ce"sv,  "chr"sv, "ckb"sv, "cmn"sv, "crh"sv, "csb"sv, "cv"sv,  "cy"sv,
    "doi"sv, "dv"sv,  "dz"sv,  "en"sv,  "fa"sv,  "fil"sv, "ga"sv,  "gd"sv,  "gez"sv, "gu"sv,  "gv"sv,  "ha"sv,  "hak"sv,
    "he"sv,  "hi"sv,  "hif"sv, "hne"sv, "ht"sv,  "ig"sv,  "ik"sv,  "iu"sv,  "ja"sv,  "kn"sv,  "ko"sv,  "kok"sv, "ks"sv,
    "kw"sv,  "lg"sv,  "li"sv,  "lij"sv, "lzh"sv, "mag"sv, "mai"sv, "mfe"sv, "mg"sv,  "mhr"sv, "mi"sv,  "miq"sv, "mjw"sv,
    "ml"sv,  "mn"sv,  "mni"sv, "mnw"sv, "mr"sv,  "ms"sv,  "mt"sv,  "my"sv,  "nan"sv, "ne"sv,  "nhn"sv, "niu"sv, "nr"sv,
    "nso"sv, "oc"sv,  "om"sv,  "or"sv,  "pa"sv,  "pap"sv, "ps"sv,  "quz"sv, "raj"sv, "rif"sv, "sa"sv,  "sat"sv, "sd"sv,
    "sgs"sv, "shn"sv, "shs"sv, "si"sv,  "sid"sv, "sm"sv,  "so"sv,  "ss"sv,  "st"sv,  "sw"sv,  "syr"sv, "szl"sv, "ta"sv,
    "tcy"sv, "te"sv,  "th"sv,  "the"sv, "ti"sv,  "tig"sv, "tl"sv,  "tn"sv,  "to"sv,  "tpi"sv, "ts"sv,  "ug"sv,  "unm"sv,
    "ur"sv,  "ve"sv,  "wa"sv,  "wal"sv, "xh"sv,  "yi"sv,  "yo"sv,  "yue"sv, "yuw"sv, "zh"sv,  "zu"sv,
};
constexpr std::array kCommaTerritories{
    "ar_DZ"sv, "ar_LY"sv, "ar_MA"sv, "ar_TN"sv, "en_DK"sv, "en_ZA"sv,
};
constexpr std::array kPointTerritories{
    "az_IR"sv, "de_CH"sv, "de_LI"sv, "es_CU"sv, "es_DO"sv, "es_GT"sv, "es_HN"sv, "es_MX"sv,
    "es_NI"sv, "es_PA"sv, "es_PE"sv, "es_PR"sv, "es_SV"sv, "es_US"sv, "it_CH"sv,
};

template <typename Table>
bool holds(const Table &table, std::string_view name)
{
    return std::binary_search(table.begin(), table.end(), name);
}

} // namespace

std::optional<char> localeDecimalMark(std::string_view name)
{
    // "pl_PL.UTF-8@euro": the code set and the modifier do not change the mark.
    name = name.substr(0, std::min(name.find_first_of(".@"), name.size()));
    if (name.empty() || name == "C" || name == "POSIX")
        return '.';
    std::string language(name.substr(0, std::min(name.find_first_of("_-"), name.size())));
    std::string full = language;
    if (language.size() < name.size())
        full += "_" + std::string(name.substr(language.size() + 1));
    if (holds(kCommaTerritories, full))
        return ',';
    if (holds(kPointTerritories, full))
        return '.';
    if (holds(kCommaLanguages, language))
        return ',';
    if (holds(kPointLanguages, language))
        return '.';
    return std::nullopt;
}

} // namespace torvex
