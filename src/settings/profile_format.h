#pragma once
// The key/value text format of the settings file, on raw Windows-1250 bytes. Pure functions so that the
// file store, the tests and the fuzzer share one implementation.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace torvex::profile {

// Longest text value handed back by a read, in characters (one byte each in the file's code page).
inline constexpr std::size_t kMaxValueLength = 2047;

// Value of the first `key` in the first `[section]`, names compared without regard to letter case;
// surrounding spaces and one pair of matching quotes removed, cut to kMaxValueLength. nullopt when absent or
// when that first line is the bare key without "=". A "[" line without its "]" is no section header.
std::optional<std::string> findValue(std::string_view content, std::string_view section, std::string_view key);

// Every value findValue would find, gathered in one pass over `content` (which must outlive the index): reading
// many keys costs one reading of the file, whatever its size.
class ValueIndex {
public:
    explicit ValueIndex(std::string_view content);
    std::optional<std::string> find(std::string_view section, std::string_view key) const;

private:
    // Names as the file spells them, compared and hashed without regard to letter case: no copy of each key.
    struct Name {
        std::string_view section;
        std::string_view key;
    };
    struct NameHash {
        std::size_t operator()(const Name &name) const;
    };
    struct NameEqual {
        bool operator()(const Name &a, const Name &b) const;
    };
    // The key's whole line.
    std::unordered_map<Name, std::string_view, NameHash, NameEqual> lines_;
};

// `content` with `key=value` in `[section]`: an existing key's line (bare or not) replaced in place, spelled as
// the file spells the key, a new key appended after the section's last non-blank line, a missing section
// appended at the end. Every other byte is kept, and new lines use the content's own line ending (CR LF for
// content without one).
// Section and key must be valid names (see isValidName); CR and LF in the value become spaces, since a line
// break would split the value and could plant other keys.
std::string setValue(std::string_view content, std::string_view section, std::string_view key, std::string_view value);

// Names the format can hold: not empty, no line breaks, no "=" (keys) or "]" (sections), no leading "[" or ";",
// no surrounding spaces.
bool isValidName(std::string_view name);

// Integer forms of the settings file: optional sign and decimal digits within 32 bits, or "0x"/"0X"/"$" and
// 1-8 significant hex digits (the 32-bit pattern, so 0xFFFFFFFF is -1). Anything else is nullopt.
std::optional<std::int32_t> parseInteger(std::string_view text);

} // namespace torvex::profile
