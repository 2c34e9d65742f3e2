#include "settings/profile_format.h"

#include <algorithm>
#include <stdexcept>
#include <unordered_map>
#include <utility>
#include <vector>

#include "settings/cp1250.h"

namespace torvex::profile {
namespace {

struct Line {
    std::size_t begin = 0;      // first byte
    std::size_t contentEnd = 0; // end of the text without the line break
    std::size_t end = 0;        // after the line break (== contentEnd on a last line without one)
};

std::vector<Line> splitLines(std::string_view content)
{
    std::vector<Line> lines;
    std::size_t pos = 0;
    while (pos < content.size()) {
        const std::size_t nl = content.find('\n', pos);
        Line line;
        line.begin = pos;
        if (nl == std::string_view::npos) {
            // A carriage return left at the very end still ends the text, as it would before a line feed.
            line.end = content.size();
            line.contentEnd = (content.back() == '\r') ? line.end - 1 : line.end;
        } else {
            line.contentEnd = (nl > pos && content[nl - 1] == '\r') ? nl - 1 : nl;
            line.end = nl + 1;
        }
        lines.push_back(line);
        pos = line.end;
    }
    return lines;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (cp1250ToLower(static_cast<unsigned char>(a[i])) != cp1250ToLower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

// Name of a section header line, or nullopt for any other line. Without its "]" a line is no header, as for
// the Windows profile functions, so keys below it still belong to the section above.
std::optional<std::string_view> sectionName(std::string_view text)
{
    text = trim(text);
    if (text.empty() || text.front() != '[')
        return std::nullopt;
    text.remove_prefix(1);
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos)
        return std::nullopt;
    return trim(text.substr(0, close));
}

// Key of a key line; comments have none. A line without "=" is a key without a value: Windows readers stop at
// it (and read the default), so it is the line a write of that key must replace.
std::optional<std::string_view> keyName(std::string_view text)
{
    const std::string_view trimmed = trim(text);
    if (trimmed.empty() || trimmed.front() == ';')
        return std::nullopt;
    return trim(trimmed.substr(0, std::min(trimmed.find('='), trimmed.size())));
}

std::string_view lineText(std::string_view content, const Line &line)
{
    return content.substr(line.begin, line.contentEnd - line.begin);
}

std::string_view lineBreakOf(std::string_view content)
{
    const std::size_t nl = content.find('\n');
    if (nl == std::string_view::npos)
        return "\r\n";
    return (nl > 0 && content[nl - 1] == '\r') ? "\r\n" : "\n";
}

struct Location {
    std::optional<std::size_t> sectionLine; // header of the first matching section
    std::optional<std::size_t> keyLine;     // first matching key inside it
    std::size_t lastFilledLine = 0;         // last non-blank line of that section (the header at least)
};

Location locate(std::string_view content, const std::vector<Line> &lines, std::string_view section,
                std::string_view key)
{
    Location where;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view text = lineText(content, lines[i]);
        if (const auto name = sectionName(text)) {
            if (where.sectionLine)
                break; // the first matching section has ended
            if (sameName(*name, section))
                where.sectionLine = where.lastFilledLine = i;
            continue;
        }
        if (!where.sectionLine)
            continue;
        if (!trim(text).empty())
            where.lastFilledLine = i;
        if (!where.keyLine) {
            if (const auto name = keyName(text); name && sameName(*name, key))
                where.keyLine = i;
        }
    }
    return where;
}

// Before appending after a file's last line: a line without a break gets one; a dangling carriage return
// only needs its line feed.
void terminateLastLine(std::string &out, std::string_view lineBreak)
{
    if (out.empty() || out.back() == '\n')
        return;
    out.append(out.back() == '\r' ? std::string_view("\n") : lineBreak);
}

} // namespace

bool isValidName(std::string_view name)
{
    if (name.empty() || trim(name).size() != name.size())
        return false;
    if (name.front() == '[' || name.front() == ';')
        return false;
    for (char c : name) {
        if (c == '\r' || c == '\n' || c == '=' || c == ']' || c == '\0')
            return false;
    }
    return true;
}

namespace {

// The value of a key line: surrounding blanks and one pair of matching quotes removed, cut to kMaxValueLength;
// nullopt for a bare key.
std::optional<std::string> valueOf(std::string_view text)
{
    const std::size_t eq = text.find('=');
    if (eq == std::string_view::npos)
        return std::nullopt;
    std::string_view value = trim(text.substr(eq + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value.substr(0, kMaxValueLength));
}

} // namespace

std::size_t ValueIndex::NameHash::operator()(const Name &name) const
{
    std::size_t hash = 14695981039346656037ull; // FNV-1a over the lower-case bytes
    for (std::string_view part : {name.section, std::string_view("\n"), name.key})
        for (char c : part)
            hash = (hash ^ cp1250ToLower(static_cast<unsigned char>(c))) * 1099511628211ull;
    return hash;
}

bool ValueIndex::NameEqual::operator()(const Name &a, const Name &b) const
{
    return sameName(a.section, b.section) && sameName(a.key, b.key);
}

ValueIndex::ValueIndex(std::string_view content)
{
    // Only a section's first header counts, and in it a key's first line (as locate finds them).
    std::unordered_map<Name, std::string_view, NameHash, NameEqual> sectionsSeen; // the key part empty
    bool inFirstOfItsName = false;
    std::string_view section;
    std::size_t pos = 0;
    while (pos < content.size()) {
        const std::size_t nl = content.find('\n', pos);
        std::size_t end = nl == std::string_view::npos ? content.size() : nl;
        const std::size_t next = nl == std::string_view::npos ? content.size() : nl + 1;
        if (end > pos && content[end - 1] == '\r')
            --end;
        const std::string_view text = content.substr(pos, end - pos);
        pos = next;
        if (const auto name = sectionName(text)) {
            section = *name;
            inFirstOfItsName = sectionsSeen.try_emplace(Name{section, {}}, text).second;
            continue;
        }
        if (!inFirstOfItsName)
            continue;
        if (const auto key = keyName(text))
            lines_.try_emplace(Name{section, *key}, text);
    }
}

std::optional<std::string> ValueIndex::find(std::string_view section, std::string_view key) const
{
    const auto found = lines_.find(Name{section, key});
    return found == lines_.end() ? std::nullopt : valueOf(found->second);
}

std::optional<std::string> findValue(std::string_view content, std::string_view section, std::string_view key)
{
    return ValueIndex(content).find(section, key);
}

std::string setValue(std::string_view content, std::string_view section, std::string_view key, std::string_view value)
{
    if (!isValidName(section) || !isValidName(key))
        throw std::invalid_argument("invalid settings section or key name");
    const std::string_view lineBreak = lineBreakOf(content);
    const auto lines = splitLines(content);
    const Location where = locate(content, lines, section, key);

    // An existing key keeps its spelling, as other Windows readers of the file expect.
    const std::string_view keyText = where.keyLine ? *keyName(lineText(content, lines[*where.keyLine])) : key;
    std::string entry;
    entry.reserve(keyText.size() + 1 + value.size());
    entry.append(keyText).append("=");
    for (char c : value)
        entry += (c == '\r' || c == '\n' || c == '\0') ? ' ' : c;

    std::string out;
    out.reserve(content.size() + entry.size() + section.size() + 8);
    if (where.keyLine) {
        const Line &line = lines[*where.keyLine];
        out.append(content.substr(0, line.begin)).append(entry).append(content.substr(line.contentEnd));
    } else if (where.sectionLine) {
        const Line &after = lines[where.lastFilledLine];
        out.append(content.substr(0, after.end));
        if (after.end == content.size())
            terminateLastLine(out, lineBreak);
        out.append(entry).append(lineBreak).append(content.substr(after.end));
    } else {
        out.append(content);
        terminateLastLine(out, lineBreak);
        out.append("[").append(section).append("]").append(lineBreak).append(entry).append(lineBreak);
    }
    return out;
}

std::optional<std::int32_t> parseInteger(std::string_view text)
{
    auto hexDigit = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    std::string_view digits;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        digits = text.substr(2);
    } else if (text.size() > 1 && text[0] == '$') {
        digits = text.substr(1);
    }
    if (!digits.empty()) {
        std::uint64_t value = 0;
        for (char c : digits) {
            const int d = hexDigit(c);
            if (d < 0)
                return std::nullopt;
            value = value * 16 + static_cast<std::uint64_t>(d);
            if (value > 0xFFFFFFFFu)
                return std::nullopt;
        }
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
    }
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty())
        return std::nullopt;
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > std::int64_t{1} << 31)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value > INT32_MAX)
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

} // namespace torvex::profile
