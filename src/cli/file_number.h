#pragma once
// Numbers of configuration files: every form JSON allows (1e-05, 2.5E+3) and the ini form's own (a leading "+",
// leading zeros, a decimal comma), so that a file another program wrote reads as it means.

#include <cstdint>
#include <optional>
#include <string_view>

namespace torvex::cli {

// Nearest single-precision value; magnitudes beyond it become infinities (refused by the limits), values too
// small for it zero. nullopt when the text is no number.
std::optional<float> parseFileReal(std::string_view text);

struct FileWhole {
    enum class Kind { Number, NotWhole, TooLarge } kind;
    std::int32_t value = 0; // Number only
};
// A whole number, also in exponent form ("1e3", "1.5e1"): TooLarge beyond 32 bits, NotWhole for a number with
// a fraction ("1.5e0", "1e-3"), nullopt for no number. A fraction without an exponent ("1.0") is not whole
// either, as it never was.
std::optional<FileWhole> parseFileWhole(std::string_view text);

} // namespace torvex::cli
