#pragma once
// The decimal mark the window gives a locale name, without the window's toolkit: torvex-cli writes the same
// files as the window on a machine where the locale is named but not generated (the C library then knows it not).

#include <optional>
#include <string>
#include <string_view>

namespace torvex {

// ',' or '.' for a name such as "pl_PL.UTF-8", "de_CH", "sr_RS@latin", "C" or ""; nullopt for a language the
// table does not know (the window's toolkit reads those as the C locale, '.').
std::optional<char> localeDecimalMark(std::string_view name);

} // namespace torvex
