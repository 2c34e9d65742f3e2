#include "cli/config_text.h"

#include "cli/file_number.h"
#include "config/number_text.h"
#include "text/utf8_path.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <utility>

namespace torvex::cli {
namespace {

// Files are the same on every machine: "." for the decimals ("," is still accepted on input), no grouping.
const NumberFormat kFileFormat{".", ""};
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

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

std::string limitText(double v)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", v);
    return buffer;
}

// The refusal of a value outside a key's limits, with the value as the user wrote it.
std::string outsideText(const ConfigKey &key, std::string_view written)
{
    const auto items = keyItems(key);
    std::string text = key.name + " = " + std::string(written);
    if (items.empty()) {
        const KeyLimits limits = keyLimits(key);
        return text + " is outside the limits " + limitText(limits.low) + ".." + limitText(limits.high);
    }
    text += " is not an item of the list:";
    for (std::size_t i = 0; i < items.size(); ++i)
        text += (i == 0 ? " " : ", ") + std::to_string(i) + " " + std::string(items[i]);
    return text;
}

void store(ParsedConfig &parsed, std::string_view where, std::string_view name, std::string_view text)
{
    const auto index = findConfigKey(name);
    if (!index) {
        parsed.refuse(std::string(where) + "unknown key " + std::string(name) + " (torvex-cli config keys lists them)");
        return;
    }
    const ConfigKey &key = configKeys()[*index];
    if (parsed.config.values[*index]) {
        parsed.refuse(std::string(where) + key.name + " is given twice");
        return;
    }
    std::optional<ConfigValue> value;
    if (isRealKey(key)) {
        if (const auto v = parseFileReal(text)) {
            // Beyond any single-precision number: outside the key's limits, never an infinity that no file or
            // instrument can take back.
            if (!std::isfinite(*v)) {
                parsed.refuse(std::string(where) + outsideText(key, trim(text)));
                return;
            }
            value = ConfigValue{*v};
        }
    } else if (const auto w = parseFileWhole(text); w && w->kind == FileWhole::Kind::Number) {
        value = ConfigValue{w->value};
    } else if ((w && w->kind == FileWhole::Kind::TooLarge) || !keyItems(key).empty()) {
        // Too large for the key is a matter of its limits, not of its form; a list names its items.
        parsed.refuse(std::string(where) + outsideText(key, trim(text)));
        return;
    }
    if (!value) {
        parsed.refuse(std::string(where) + key.name + ": \"" + std::string(text) + "\" is not "
                      + (isRealKey(key) ? "a number" : "a whole number"));
        return;
    }
    parsed.config.values[*index] = value;
    parsed.texts[*index] = std::string(trim(text));
}

void parseIni(std::string_view text, ParsedConfig &parsed, bool numberLines)
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
        const size_t eq = line.find('=');
        if (eq != std::string_view::npos || parsed.errors.size() < kKeptErrors) {
            const std::string where = numberLines ? "line " + std::to_string(lineNumber) + ": " : std::string();
            if (eq == std::string_view::npos)
                parsed.refuse(where + "expected KEY = VALUE");
            else
                store(parsed, where, trim(line.substr(0, eq)), trim(line.substr(eq + 1)));
        } else {
            ++parsed.errorsNotKept; // no words built for a refusal nobody will see
        }
    }
}

// The JSON form: an object of numbers, objects one level deep grouping keys ("Encoder2": {"GateTime": 1000}).
// Read as events, so that the number keeps the text it was written with and a key given twice is seen.
class JsonReader : public nlohmann::json_sax<nlohmann::json> {
public:
    explicit JsonReader(ParsedConfig &parsed) : parsed_(parsed) {}

    bool null() override { return notANumber(); }
    bool boolean(bool) override { return notANumber(); }
    bool string(string_t &) override { return notANumber(); }
    bool binary(binary_t &) override { return notANumber(); }
    bool number_integer(number_integer_t v) override { return number(std::to_string(v)); }
    bool number_unsigned(number_unsigned_t v) override { return number(std::to_string(v)); }
    bool number_float(number_float_t, const string_t &text) override { return number(text); }

    bool start_object(std::size_t) override
    {
        if (depth_ == 1)
            group_ = key_;
        if (++depth_ > 2)
            return fail("objects nest only one level");
        return true;
    }
    bool end_object() override
    {
        --depth_;
        group_.clear();
        return true;
    }
    bool key(string_t &name) override
    {
        key_ = name;
        return true;
    }
    bool start_array(std::size_t) override
    {
        return fail(depth_ == 0 ? "the JSON form is an object of keys" : fullKey() + " needs a number");
    }
    bool end_array() override { return true; }
    bool parse_error(std::size_t, const std::string &, const nlohmann::detail::exception &e) override
    {
        // "[json.exception.parse_error.101] parse error at line 1, column 17: syntax error ..."
        const std::string what = e.what();
        const auto at = what.find(" at line ");
        return fail(at == std::string::npos ? what : what.substr(at + 4));
    }

private:
    std::string fullKey() const { return group_.empty() ? key_ : group_ + "." + key_; }
    bool number(const std::string &text)
    {
        if (depth_ == 0)
            return fail("the JSON form is an object of keys");
        store(parsed_, "", fullKey(), text);
        return true;
    }
    bool notANumber()
    {
        return depth_ == 0 ? fail("the JSON form is an object of keys") : fail(fullKey() + " needs a number");
    }
    bool fail(const std::string &what)
    {
        parsed_.refuse(what);
        return false;
    }

    ParsedConfig &parsed_;
    int depth_ = 0;
    std::string group_;
    std::string key_;
};

// The encodings whose byte order mark starts `text` and that are not UTF-8; nullptr for any other text. The
// four-byte marks first: UTF-32's little-endian one begins with UTF-16's.
const char *wideEncoding(std::string_view text)
{
    using namespace std::string_view_literals;
    static constexpr std::pair<std::string_view, const char *> kMarks[] = {
        {"\xFF\xFE\x00\x00"sv, "UTF-32"},
        {"\x00\x00\xFE\xFF"sv, "UTF-32"},
        {"\xFF\xFE"sv, "UTF-16"},
        {"\xFE\xFF"sv, "UTF-16"},
    };
    for (const auto &[mark, name] : kMarks)
        if (text.starts_with(mark))
            return name;
    return nullptr;
}

ParsedConfig emptyParse()
{
    ParsedConfig parsed;
    parsed.texts.resize(configKeys().size());
    return parsed;
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
    std::string out = "; TORVEX configuration (torvex-cli config get). A list value is the index of its item (after\n"
                      "; the \";\"), counted from 0; the MODBUS address is the address. torvex-cli config keys lists\n"
                      "; every key with its items, limits and unit.\n";
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
        out += keys[i].name + " = " + formatValue(*config.values[i]);
        const auto items = keyItems(keys[i]);
        if (const auto *index = std::get_if<std::int32_t>(&*config.values[i]);
            index != nullptr && *index >= 0 && static_cast<std::size_t>(*index) < items.size())
            out += "   ; " + std::string(items[static_cast<std::size_t>(*index)]);
        out += "\n";
    }
    return out;
}

std::string formatJson(const Configuration &config)
{
    const auto &keys = configKeys();
    nlohmann::ordered_json out = nlohmann::ordered_json::object();
    for (size_t i = 0; i < keys.size(); ++i) {
        if (!config.values[i])
            continue;
        const std::string &name = keys[i].name;
        const size_t dot = name.find('.');
        nlohmann::ordered_json &slot =
            dot == std::string::npos ? out[name] : out[name.substr(0, dot)][name.substr(dot + 1)];
        const ConfigValue &value = *config.values[i];
        if (const float *real = std::get_if<float>(&value)) {
            // JSON has no words for values that are not finite numbers. A real goes through the text the ini
            // form writes, so that the JSON number is its shortest form that comes back exactly (0.0001, not
            // the float's 9.99999974737875e-05).
            if (std::isfinite(*real)) {
                const std::string text = realText(*real);
                double exact = 0.0;
                std::from_chars(text.data(), text.data() + text.size(), exact); // not strtod: the locale's mark
                slot = exact;
            } else {
                slot = nullptr;
            }
        } else {
            slot = std::get<std::int32_t>(value);
        }
    }
    return out.dump(2) + "\n";
}

std::string formatKeys()
{
    std::string out;
    for (const ConfigKey &key : configKeys()) {
        const auto items = keyItems(key);
        if (!items.empty()) {
            out += key.name + "   list:\n";
            for (std::size_t i = 0; i < items.size(); ++i)
                out += "    " + std::to_string(i) + "  " + std::string(items[i]) + "\n";
            continue;
        }
        const KeyLimits limits = keyLimits(key);
        out += key.name + "   " + (isRealKey(key) ? "real " : "whole number ") + limitText(limits.low) + ".."
            + limitText(limits.high);
        if (const std::string_view unit = keyUnit(key); !unit.empty())
            out += " " + std::string(unit);
        out += "\n";
    }
    return out;
}

ParsedConfig parseConfigText(std::string_view text)
{
    ParsedConfig parsed = emptyParse();
    if (const char *encoding = wideEncoding(text)) {
        parsed.refuse("is " + std::string(encoding)
                      + " text (its byte order mark says so), which torvex-cli does not read: save it "
                        "as UTF-8");
        return parsed;
    }
    if (text.starts_with(kByteOrderMark))
        text.remove_prefix(kByteOrderMark.size());
    const std::string_view body = trim(text);
    if (!body.empty() && body.front() == '{') {
        JsonReader reader(parsed);
        nlohmann::json::sax_parse(text, &reader);
    } else {
        parseIni(text, parsed, true);
    }
    return parsed;
}

ParsedConfig parseAssignments(const std::vector<std::string> &assignments)
{
    ParsedConfig parsed = emptyParse();
    for (const std::string &a : assignments)
        parseIni(a, parsed, false);
    return parsed;
}

bool readConfigFile(const std::string &path, std::istream *in, std::string &text, std::string &reason)
{
    // Read in pieces up to one byte past the limit: endless input (/dev/zero) or a huge file costs no more.
    auto readBounded = [&](std::istream &stream) {
        text.clear();
        char buffer[65536];
        while (text.size() <= kConfigFileLimit && stream.read(buffer, sizeof buffer).gcount() > 0)
            text.append(buffer, static_cast<std::size_t>(stream.gcount()));
        if (text.size() > kConfigFileLimit) {
            text.clear();
            reason = "it is larger than 1 MiB, which no configuration file is (config get writes under 10 kB)";
            return false;
        }
        if (stream.bad()) {
            reason = "cannot be read";
            return false;
        }
        return true;
    };
    if (path == "-") {
        if (in == nullptr) {
            reason = "standard input cannot be read";
            return false;
        }
        return readBounded(*in);
    }
    const std::filesystem::path name = pathFromUtf8(path);
    std::error_code error;
    if (std::filesystem::is_directory(name, error)) {
        reason = "is a folder";
        return false;
    }
    errno = 0;
    std::ifstream file(name, std::ios::binary);
    if (!file) {
        reason = errno != 0 ? std::strerror(errno) : "cannot be opened";
        return false;
    }
    return readBounded(file);
}

std::vector<std::size_t> findKeyOrGroup(std::string_view name)
{
    if (const auto index = findConfigKey(name))
        return {*index};
    std::vector<std::size_t> found;
    const auto &keys = configKeys();
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const std::string_view key = keys[i].name;
        const auto dot = key.find('.');
        if (dot != std::string_view::npos && dot == name.size()
            && std::equal(name.begin(), name.end(), key.begin(), [](char a, char b) {
                   return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
               }))
            found.push_back(i);
    }
    return found;
}

std::vector<std::string> checkLimits(const ParsedConfig &parsed)
{
    std::vector<std::string> refused;
    for (std::size_t i : keysOutsideLimits(parsed.config)) {
        const std::string &written = parsed.texts.size() > i ? parsed.texts[i] : std::string();
        refused.push_back(
            outsideText(configKeys()[i], written.empty() ? formatValue(*parsed.config.values[i]) : written));
    }
    return refused;
}

std::vector<std::string> ignoredValues(const ParsedConfig &asked, const Configuration &written)
{
    std::vector<std::string> found;
    for (std::size_t i : ignoredThresholds(written)) {
        const ConfigKey &key = configKeys()[i];
        const ConfigKey &source = configKeys()[outputSourceKey(key)];
        const std::string because = source.name + " " + formatValue(*written.at(source.name)) + " does not compare";
        // Not asked for: the instrument's own threshold, which the write of the rules clears.
        found.push_back(asked.config.values[i]
                            ? key.name + " = " + asked.texts[i] + " ignored: " + because
                            : key.name + " " + formatValue(*written.values[i]) + " cleared: " + because);
    }
    return found;
}

std::vector<std::string> differences(const ParsedConfig &asked, const Configuration &actual)
{
    std::vector<std::string> found;
    for (std::size_t i : differingKeys(asked.config, actual)) {
        const std::string &name = configKeys()[i].name;
        const std::string wanted = asked.texts[i].empty() ? formatValue(*asked.config.values[i]) : asked.texts[i];
        found.push_back(name + ": asked for " + wanted + ", the instrument holds "
                        + (actual.values[i] ? formatValue(*actual.values[i]) : "nothing it would tell (no answer)"));
    }
    return found;
}

} // namespace torvex::cli
