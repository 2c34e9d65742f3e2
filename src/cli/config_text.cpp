#include "cli/config_text.h"

#include "config/number_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace torvex::cli {
namespace {

// Files are the same on every machine: "." for the decimals ("," is still accepted on input), no grouping.
const NumberFormat kFileFormat{".", ""};

std::string_view trim(std::string_view s)
{
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

std::string realText(float value)
{
    std::string text = formatReal3(value, kFileFormat);
    if (!std::isfinite(value))
        return text;
    const auto back = parseReal(text, kFileFormat);
    if (back && std::memcmp(&*back, &value, sizeof value) == 0)
        return text;
    // Three decimals would change the value: the shortest fixed-point text that comes back exactly.
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    return std::string(buffer, result.ptr);
}

// Typed value of one key from its text; nullopt when it is not a number of that key's kind.
std::optional<ConfigValue> parseValue(const ConfigKey &key, std::string_view text)
{
    if (isRealKey(key)) {
        if (const auto v = parseReal(text, kFileFormat))
            return ConfigValue{*v};
        return std::nullopt;
    }
    if (const auto v = parseInt32(text))
        return ConfigValue{*v};
    return std::nullopt;
}

void store(ParsedConfig &parsed, std::string_view where, std::string_view name, std::string_view text)
{
    const auto index = findConfigKey(name);
    if (!index) {
        parsed.errors.push_back(std::string(where) + "unknown key " + std::string(name));
        return;
    }
    const ConfigKey &key = configKeys()[*index];
    if (parsed.config.values[*index]) {
        parsed.errors.push_back(std::string(where) + key.name + " is given twice");
        return;
    }
    const auto value = parseValue(key, text);
    if (!value) {
        parsed.errors.push_back(std::string(where) + key.name + ": \"" + std::string(text) + "\" is not "
                                + (isRealKey(key) ? "a number" : "a whole number"));
        return;
    }
    parsed.config.values[*index] = value;
}

void parseIni(std::string_view text, ParsedConfig &parsed)
{
    size_t lineNumber = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (const size_t comment = line.find_first_of(";#"); comment != std::string_view::npos)
            line = line.substr(0, comment);
        line = trim(line);
        if (line.empty())
            continue;
        const std::string where = "line " + std::to_string(lineNumber) + ": ";
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            parsed.errors.push_back(where + "expected KEY = VALUE");
            continue;
        }
        store(parsed, where, trim(line.substr(0, eq)), trim(line.substr(eq + 1)));
    }
}

// A small strict reader for the JSON form: objects of numbers, one level of nesting ("Encoder2": {...}).
class JsonReader {
public:
    JsonReader(std::string_view text, ParsedConfig &parsed) : text_(text), parsed_(parsed) {}

    void read()
    {
        if (!object(""))
            return;
        skipSpace();
        if (pos_ != text_.size())
            error("text after the closing }");
    }

private:
    bool object(const std::string &prefix)
    {
        if (!expect('{'))
            return false;
        skipSpace();
        if (peek() == '}') {
            ++pos_;
            return true;
        }
        for (;;) {
            skipSpace();
            std::string name;
            if (!string(name))
                return false;
            skipSpace();
            if (!expect(':'))
                return false;
            skipSpace();
            const std::string full = prefix.empty() ? name : prefix + "." + name;
            if (peek() == '{') {
                if (!prefix.empty()) {
                    error("objects nest only one level");
                    return false;
                }
                if (!object(full))
                    return false;
            } else {
                const size_t begin = pos_;
                while (pos_ < text_.size() && std::strchr("+-0123456789.eE", text_[pos_]) != nullptr)
                    ++pos_;
                if (begin == pos_) {
                    error(full + " needs a number");
                    return false;
                }
                store(parsed_, "", full, text_.substr(begin, pos_ - begin));
            }
            skipSpace();
            if (peek() == ',') {
                ++pos_;
                continue;
            }
            return expect('}');
        }
    }

    bool string(std::string &out)
    {
        if (!expect('"'))
            return false;
        while (pos_ < text_.size() && text_[pos_] != '"') {
            if (text_[pos_] == '\\') {
                error("escapes are not used in key names");
                return false;
            }
            out += text_[pos_++];
        }
        return expect('"');
    }

    bool expect(char c)
    {
        if (peek() == c) {
            ++pos_;
            return true;
        }
        error(std::string("expected ") + c);
        return false;
    }

    char peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }
    void skipSpace()
    {
        while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_])))
            ++pos_;
    }
    void error(const std::string &what)
    {
        const size_t line = 1 + static_cast<size_t>(std::count(text_.begin(), text_.begin() + pos_, '\n'));
        parsed_.errors.push_back("line " + std::to_string(line) + ": " + what);
    }

    std::string_view text_;
    ParsedConfig &parsed_;
    size_t pos_ = 0;
};

std::string limitText(double v)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", v);
    return buffer;
}

} // namespace

std::string formatValue(const ConfigValue &value)
{
    if (const auto *real = std::get_if<float>(&value))
        return realText(*real);
    return formatInt(std::get<std::int32_t>(value));
}

std::string formatIni(const Configuration &config, const std::vector<std::string> &notes)
{
    std::string out = "; TORVEX configuration (torvex-cli config get). List values are item indexes counted from 0,\n"
                      "; the MODBUS address is the address; times in ms, resolution in pulses.\n";
    for (const std::string &note : notes)
        out += "; " + note + "\n";
    const auto &keys = configKeys();
    std::string group;
    for (size_t i = 0; i < keys.size(); ++i) {
        if (!config.values[i])
            continue;
        const std::string_view name = keys[i].name;
        const std::string thisGroup(name.substr(0, name.find('.') == std::string_view::npos ? 0 : name.find('.')));
        if (thisGroup != group)
            out += "\n";
        group = thisGroup;
        out += keys[i].name + " = " + formatValue(*config.values[i]) + "\n";
    }
    return out;
}

std::string formatJson(const Configuration &config)
{
    const auto &keys = configKeys();
    std::string out = "{";
    std::string openGroup;
    bool firstTop = true;
    bool firstInGroup = true;
    for (size_t i = 0; i < keys.size(); ++i) {
        if (!config.values[i])
            continue;
        const std::string &name = keys[i].name;
        const size_t dot = name.find('.');
        const std::string group = dot == std::string::npos ? "" : name.substr(0, dot);
        const std::string field = dot == std::string::npos ? name : name.substr(dot + 1);
        if (group != openGroup) {
            if (!openGroup.empty())
                out += "\n  }";
            if (!group.empty()) {
                out += std::string(firstTop ? "" : ",") + "\n  \"" + group + "\": {";
                firstTop = false;
                firstInGroup = true;
            }
            openGroup = group;
        }
        const ConfigValue &value = *config.values[i];
        const float *real = std::get_if<float>(&value);
        // JSON has no words for values that are not finite numbers.
        const std::string text = real != nullptr && !std::isfinite(*real) ? "null" : formatValue(value);
        if (group.empty()) {
            out += std::string(firstTop ? "" : ",") + "\n  \"" + field + "\": " + text;
            firstTop = false;
        } else {
            out += std::string(firstInGroup ? "" : ",") + "\n    \"" + field + "\": " + text;
            firstInGroup = false;
        }
    }
    if (!openGroup.empty())
        out += "\n  }";
    out += "\n}\n";
    return out;
}

ParsedConfig parseConfigText(std::string_view text)
{
    ParsedConfig parsed;
    const std::string_view body = trim(text);
    if (!body.empty() && body.front() == '{')
        JsonReader(text, parsed).read();
    else
        parseIni(text, parsed);
    return parsed;
}

std::vector<std::string> checkLimits(const Configuration &config)
{
    std::vector<std::string> refused;
    for (std::size_t i : keysOutsideLimits(config)) {
        const ConfigKey &key = configKeys()[i];
        const KeyLimits limits = keyLimits(key);
        refused.push_back(key.name + " = " + formatValue(*config.values[i]) + " is outside the limits "
                          + limitText(limits.low) + ".." + limitText(limits.high));
    }
    return refused;
}

std::vector<std::string> differences(const Configuration &expected, const Configuration &actual)
{
    std::vector<std::string> found;
    for (std::size_t i : differingKeys(expected, actual)) {
        const std::string &name = configKeys()[i].name;
        const std::string written = formatValue(*expected.values[i]);
        if (!actual.values[i])
            found.push_back(name + ": written " + written + ", read back: no answer");
        else
            found.push_back(name + ": written " + written + ", read back " + formatValue(*actual.values[i]));
    }
    return found;
}

} // namespace torvex::cli
