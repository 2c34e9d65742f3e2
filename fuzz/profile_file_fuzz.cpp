// Settings file text from disk is untrusted: any bytes must parse, and a write must change only its own line.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>

#include "settings/cp1250.h"
#include "settings/profile_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view content(reinterpret_cast<const char *>(data), size);
    // The first bytes choose the value written; the rest is the file.
    const std::size_t split = size > 0 ? data[0] % 16 : 0;
    const std::string_view value =
        content.substr(std::min(size, std::size_t{1}), std::min(split, size > 0 ? size - 1 : 0));

    for (const char *key : {"Mod", "ChartTime", "EncName1"}) {
        if (const auto text = torvex::profile::findValue(content, "Options", key)) {
            if (text->size() > torvex::profile::kMaxValueLength)
                std::abort();
            (void)torvex::profile::parseInteger(*text);
            (void)torvex::utf8ToCp1250(torvex::cp1250ToUtf8(*text));
        }
    }
    (void)torvex::profile::parseInteger(content);

    const std::string written = torvex::profile::setValue(content, "Options", "Mod", value);
    // The new value must read back (as the reader trims and unquotes it), and nothing before the section may move.
    const auto back = torvex::profile::findValue(written, "Options", "Mod");
    if (!back)
        std::abort();
    std::string expected;
    for (char c : value)
        expected += (c == '\r' || c == '\n' || c == '\0') ? ' ' : c;
    if (back->size() > expected.size())
        std::abort();
    if (torvex::profile::findValue(written, "Options", "EncName1")
        != torvex::profile::findValue(content, "Options", "EncName1"))
        std::abort();
    // Only one line changes: what the write removes lies inside a single line (a replaced key, bare or not);
    // everything else stays byte for byte.
    const std::size_t prefix = static_cast<std::size_t>(
        std::mismatch(content.begin(), content.end(), written.begin(), written.end()).first - content.begin());
    const std::size_t limit = std::min(content.size(), written.size()) - prefix;
    std::size_t suffix = 0;
    while (suffix < limit && content[content.size() - 1 - suffix] == written[written.size() - 1 - suffix])
        ++suffix;
    if (content.substr(prefix, content.size() - prefix - suffix).find('\n') != std::string_view::npos)
        std::abort();
    // The written line is the key's line from then on, in the file's spelling: writing the same value again
    // changes nothing.
    if (torvex::profile::setValue(written, "Options", "Mod", value) != written)
        std::abort();
    // Round trip through UTF-8 keeps every byte.
    if (torvex::utf8ToCp1250(torvex::cp1250ToUtf8(content)) != content)
        std::abort();
    return 0;
}
