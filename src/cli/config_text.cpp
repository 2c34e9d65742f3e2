#include "cli/config_text.h"

#include "config/number_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <map>

namespace torvex::cli {
namespace {

// Files are the same on every machine: "." for the decimals ("," is still accepted on input), no grouping.
const NumberFormat kFileFormat{".", ""};

constexpr std::string_view kEncoderFields[] = {"Mode", "ClearByIndex", "GateTime", "Resolution", "Coeff", "Offset"};
constexpr ParamId kEncoderIds[] = {ParamId::EncMode,       ParamId::EncClearByIndex, ParamId::EncGateTime,
                                   ParamId::EncResolution, ParamId::EncCoeff,        ParamId::EncOffset};

std::vector<ConfigKey> buildKeys()
{
    std::vector<ConfigKey> keys;
    for (std::uint8_t c = 0; c < kChannelCount; ++c)
        for (size_t f = 0; f < std::size(kEncoderFields); ++f)
            keys.push_back({"Encoder" + std::to_string(c + 1) + "." + std::string(kEncoderFields[f]), kEncoderIds[f], c,
                            ConfigField::Value});
    auto plain = [&](ParamId id) { keys.push_back({std::string(param(id).name), id, 0, ConfigField::Value}); };
    plain(ParamId::TransmissionMode);
    plain(ParamId::SendInterval);
    plain(ParamId::TriggerFilter);
    plain(ParamId::TriggerMasterMode);
    for (std::uint8_t c = 0; c < kChannelCount; ++c)
        keys.push_back({"Slot" + std::to_string(c + 1) + ".TriggerRegisterType", ParamId::TriggerRegisterType, c,
                        ConfigField::Value});
    const std::pair<std::string_view, ConfigField> ruleFields[] = {{"Source", ConfigField::Source},
                                                                   {"Condition", ConfigField::Condition},
                                                                   {"State", ConfigField::State},
                                                                   {"Threshold", ConfigField::Threshold}};
    for (std::uint8_t k = 0; k < kOutputCount; ++k)
        for (const auto &[field, kind] : ruleFields)
            keys.push_back(
                {"Output" + std::to_string(k + 1) + "." + std::string(field), ParamId::OutputRules, k, kind});
    plain(ParamId::DotPosition);
    plain(ParamId::RedDisplay);
    plain(ParamId::GreenDisplay);
    plain(ParamId::Beeper);
    plain(ParamId::ModbusAddress);
    plain(ParamId::ModbusBaud);
    return keys;
}

bool sameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

size_t keyIndex(ParamId id, std::uint8_t channel, ConfigField field = ConfigField::Value)
{
    const auto &keys = configKeys();
    for (size_t i = 0; i < keys.size(); ++i)
        if (keys[i].id == id && keys[i].channel == channel && keys[i].field == field)
            return i;
    return keys.size();
}

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

bool sameValue(const ConfigValue &a, const ConfigValue &b)
{
    if (a.index() != b.index())
        return false;
    if (const auto *fa = std::get_if<float>(&a)) {
        const float fb = std::get<float>(b);
        return std::memcmp(fa, &fb, sizeof fb) == 0 || (std::isnan(*fa) && std::isnan(fb));
    }
    return std::get<std::int32_t>(a) == std::get<std::int32_t>(b);
}

} // namespace

const std::vector<ConfigKey> &configKeys()
{
    static const std::vector<ConfigKey> keys = buildKeys();
    return keys;
}

std::optional<size_t> findConfigKey(std::string_view name)
{
    const auto &keys = configKeys();
    for (size_t i = 0; i < keys.size(); ++i)
        if (sameName(keys[i].name, name))
            return i;
    return std::nullopt;
}

bool isRealKey(const ConfigKey &key)
{
    if (key.id == ParamId::OutputRules)
        return key.field == ConfigField::Threshold;
    return param(key.id).encoding == Encoding::Float32;
}

KeyLimits keyLimits(const ConfigKey &key)
{
    if (isRealKey(key))
        return {-kRealLimit, kRealLimit};
    switch (key.field) {
    case ConfigField::Source:
        return {0, kOutputSourceListSize - 1};
    case ConfigField::Condition:
        return {0, kOutputConditionListSize - 1};
    case ConfigField::State:
        return {0, kOutputStateListSize - 1};
    default:
        break;
    }
    const ParamInfo &p = param(key.id);
    switch (p.encoding) {
    case Encoding::Address:
        return {1, static_cast<double>(p.listSize)};
    case Encoding::ListIndex:
        return {0, static_cast<double>(p.listSize - 1)};
    default:
        return {static_cast<double>(p.minValue), static_cast<double>(p.maxValue)};
    }
}

bool Configuration::empty() const
{
    return std::none_of(values.begin(), values.end(), [](const auto &v) { return v.has_value(); });
}

const std::optional<ConfigValue> &Configuration::at(std::string_view name) const
{
    static const std::optional<ConfigValue> none;
    const auto index = findConfigKey(name);
    return index ? values[*index] : none;
}

void Configuration::set(std::string_view name, ConfigValue value)
{
    if (const auto index = findConfigKey(name))
        values[*index] = value;
}

std::vector<ReadRequest> configReadRequests()
{
    // The encoder columns, the outputs page, the trigger + LED page, then the MODBUS group.
    std::vector<ReadRequest> requests;
    auto add = [&](ParamId id, int channels = 1) {
        for (int c = 0; c < channels; ++c)
            requests.push_back({static_cast<std::uint8_t>(id), static_cast<std::uint8_t>(c)});
    };
    add(ParamId::EncoderBlock, kChannelCount);
    add(ParamId::OutputRules);
    add(ParamId::TransmissionMode);
    add(ParamId::SendInterval);
    add(ParamId::TriggerFilter);
    add(ParamId::TriggerMasterMode);
    add(ParamId::TriggerRegisterType, kChannelCount);
    add(ParamId::GreenDisplay);
    add(ParamId::RedDisplay);
    add(ParamId::Beeper);
    add(ParamId::DotPosition);
    add(ParamId::ModbusAddress);
    add(ParamId::ModbusBaud);
    return requests;
}

std::vector<size_t> keysOfRequest(const ReadRequest &request)
{
    std::vector<size_t> keys;
    const auto &all = configKeys();
    for (size_t i = 0; i < all.size(); ++i) {
        const ParamInfo &p = param(all[i].id);
        const bool perChannel = p.hasChannels();
        if (p.readId == request.id && (!perChannel || all[i].channel == request.channel))
            keys.push_back(i);
    }
    return keys;
}

void applyReply(Configuration &config, const ConfigReply &reply)
{
    const ParamId id = reply.param->id;
    auto set = [&](size_t index, ConfigValue value) {
        if (index < config.values.size())
            config.values[index] = value;
    };
    if (const auto *block = std::get_if<EncoderBlockReply>(&reply.body)) {
        const std::uint8_t c = reply.channel;
        set(keyIndex(ParamId::EncMode, c), std::int32_t{block->mode});
        set(keyIndex(ParamId::EncClearByIndex, c), std::int32_t{block->clearByIndex});
        set(keyIndex(ParamId::EncGateTime, c), block->gateTime);
        set(keyIndex(ParamId::EncResolution, c), block->resolution);
        set(keyIndex(ParamId::EncCoeff, c), block->coeff);
        set(keyIndex(ParamId::EncOffset, c), block->offset);
    } else if (const auto *rules = std::get_if<OutputRulesReply>(&reply.body)) {
        for (std::uint8_t k = 0; k < kOutputCount; ++k) {
            const OutputRecord &r = rules->outputs[k];
            set(keyIndex(id, k, ConfigField::Source), std::int32_t{r.source});
            set(keyIndex(id, k, ConfigField::Condition), std::int32_t{r.condition});
            set(keyIndex(id, k, ConfigField::State), std::int32_t{r.state});
            set(keyIndex(id, k, ConfigField::Threshold), r.threshold);
        }
    } else if (const auto *byte = std::get_if<ByteReply>(&reply.body)) {
        // The wire byte as it came: an index the list cannot hold stays visible (and is refused on writing).
        set(keyIndex(id, reply.param->hasChannels() ? reply.channel : 0), std::int32_t{byte->value});
    } else if (const auto *number = std::get_if<Int32Reply>(&reply.body)) {
        set(keyIndex(id, 0), number->value);
    }
}

std::string formatValue(const ConfigKey &key, const ConfigValue &value)
{
    if (const auto *real = std::get_if<float>(&value))
        return realText(*real);
    (void)key;
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
        out += keys[i].name + " = " + formatValue(keys[i], *config.values[i]) + "\n";
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
        const std::string text = real != nullptr && !std::isfinite(*real) ? "null" : formatValue(keys[i], value);
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
    const auto &keys = configKeys();
    for (size_t i = 0; i < keys.size(); ++i) {
        if (!config.values[i])
            continue;
        const ConfigKey &key = keys[i];
        const KeyLimits limits = keyLimits(key);
        bool inside;
        if (const auto *real = std::get_if<float>(&*config.values[i]))
            inside = !limitReal(*real).corrected && std::isfinite(*real);
        else
            inside = std::get<std::int32_t>(*config.values[i]) >= limits.low
                && std::get<std::int32_t>(*config.values[i]) <= limits.high;
        if (!inside)
            refused.push_back(key.name + " = " + formatValue(key, *config.values[i]) + " is outside the limits "
                              + limitText(limits.low) + ".." + limitText(limits.high));
    }
    return refused;
}

bool needsCurrentRules(const Configuration &config)
{
    const auto &keys = configKeys();
    size_t present = 0;
    size_t total = 0;
    for (size_t i = 0; i < keys.size(); ++i) {
        if (keys[i].id != ParamId::OutputRules)
            continue;
        ++total;
        present += config.values[i] ? 1 : 0;
    }
    return present > 0 && present < total;
}

void completeRules(Configuration &config, const Configuration &current)
{
    const auto &keys = configKeys();
    for (size_t i = 0; i < keys.size(); ++i)
        if (keys[i].id == ParamId::OutputRules && !config.values[i])
            config.values[i] = current.values[i];
}

std::vector<PlannedWrite> planWrites(const Configuration &config)
{
    std::vector<PlannedWrite> writes;
    const auto &keys = configKeys();
    bool rulesPlanned = false;
    for (size_t i = 0; i < keys.size(); ++i) {
        if (!config.values[i])
            continue;
        const ConfigKey &key = keys[i];
        const ParamInfo &p = param(key.id);
        const auto id = static_cast<std::uint8_t>(key.id);
        if (key.id == ParamId::OutputRules) {
            if (rulesPlanned)
                continue;
            rulesPlanned = true;
            std::array<OutputRecord, kOutputCount> records{};
            for (std::uint8_t k = 0; k < kOutputCount; ++k) {
                auto integer = [&](ConfigField f) {
                    const auto &v = config.values[keyIndex(key.id, k, f)];
                    return v ? static_cast<std::uint8_t>(std::get<std::int32_t>(*v)) : std::uint8_t{0};
                };
                const auto &threshold = config.values[keyIndex(key.id, k, ConfigField::Threshold)];
                records[k] = {integer(ConfigField::Source), integer(ConfigField::Condition),
                              integer(ConfigField::State), threshold ? std::get<float>(*threshold) : 0.0f};
            }
            writes.push_back({outputRulesPayload(records), "Output1..4"});
            continue;
        }
        const ConfigValue &value = *config.values[i];
        std::optional<Payload> payload;
        switch (p.encoding) {
        case Encoding::ListIndex:
            payload = listWritePayload(p, key.channel, std::get<std::int32_t>(value));
            break;
        case Encoding::Address:
            payload = listWritePayload(p, key.channel, std::get<std::int32_t>(value) - 1);
            break;
        case Encoding::Int32:
            payload = int32Payload(id, key.channel, std::get<std::int32_t>(value));
            break;
        case Encoding::Float32:
            payload = float32Payload(id, key.channel, std::get<float>(value));
            break;
        default:
            break;
        }
        if (payload)
            writes.push_back({*payload, key.name});
    }
    return writes;
}

Configuration expectedAfterWrite(const Configuration &config)
{
    Configuration expected = config;
    for (std::uint8_t k = 0; k < kOutputCount; ++k) {
        const auto &source = config.values[keyIndex(ParamId::OutputRules, k, ConfigField::Source)];
        auto &threshold = expected.values[keyIndex(ParamId::OutputRules, k, ConfigField::Threshold)];
        if (source && threshold && !outputSourceCompares(std::get<std::int32_t>(*source)))
            threshold = ConfigValue{0.0f};
    }
    return expected;
}

std::vector<std::string> differences(const Configuration &expected, const Configuration &actual)
{
    std::vector<std::string> found;
    const auto &keys = configKeys();
    for (size_t i = 0; i < keys.size(); ++i) {
        if (!expected.values[i])
            continue;
        const std::string written = formatValue(keys[i], *expected.values[i]);
        if (!actual.values[i])
            found.push_back(keys[i].name + ": written " + written + ", read back: no answer");
        else if (!sameValue(*expected.values[i], *actual.values[i]))
            found.push_back(keys[i].name + ": written " + written + ", read back "
                            + formatValue(keys[i], *actual.values[i]));
    }
    return found;
}

} // namespace torvex::cli
