#pragma once
// UTF-8 and UTF-16 as the program meets them: product strings from the systems, text of the settings file, names
// shown on a terminal. One decoder, so that malformed input means the same everywhere.

#include <cstddef>
#include <string>
#include <string_view>

namespace torvex {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Calls `emit` with every character of `utf8`. A malformed sequence (stray continuation byte, invalid lead byte,
// a sequence cut short, an overlong form, a surrogate, a value beyond U+10FFFF) becomes one kReplacementCharacter,
// and decoding goes on after the bytes it took; a character that cuts a sequence short is read as itself.
template <class Emit>
void decodeUtf8(std::string_view utf8, Emit &&emit)
{
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        std::size_t length = 0;
        char32_t cp = 0;
        char32_t minimum = 0;
        if (lead < 0x80) {
            emit(char32_t{lead});
            ++i;
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2, cp = lead & 0x1F, minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3, cp = lead & 0x0F, minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4, cp = lead & 0x07, minimum = 0x10000;
        } else {
            emit(kReplacementCharacter);
            ++i;
            continue;
        }
        std::size_t taken = 1;
        while (taken < length && i + taken < utf8.size()
               && (static_cast<unsigned char>(utf8[i + taken]) & 0xC0) == 0x80) {
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + taken]) & 0x3F);
            ++taken;
        }
        i += taken;
        // An overlong form would let one text pass for another (or hide a NUL in it).
        const bool wellFormed = taken == length && cp >= minimum && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
        emit(wellFormed ? cp : kReplacementCharacter);
    }
}

void appendUtf8(std::string &out, char32_t cp);

// An unpaired surrogate becomes U+FFFD.
std::string utf16ToUtf8(std::u16string_view utf16);

} // namespace torvex
