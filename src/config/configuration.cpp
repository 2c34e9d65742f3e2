#include "config/configuration.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <utility>

namespace torvex {
namespace {

constexpr std::pair<std::string_view, ConfigField> kRuleFields[] = {{"Source", ConfigField::Source},
                                                                    {"Condition", ConfigField::Condition},
                                                                    {"State", ConfigField::State},
                                                                    {"Threshold", ConfigField::Threshold}};

// Parameters a user sets and can read back.
bool isKeyParam(const ParamInfo &p) { return p.writable && p.readId.has_value(); }

std::string numbered(std::string_view group, int index, std::string_view field)
{
    return std::string(group) + std::to_string(index + 1) + "." + std::string(field);
}

std::vector<ConfigKey> buildKeys()
{
    std::vector<ConfigKey> keys;
    // An encoder's keys in the order its settings come in the instrument's reply.
    std::vector<const ParamInfo *> encoderParams;
    for (const ParamInfo &p : paramCatalogue()) {
        if (isKeyParam(p) && p.channelRule == ChannelRule::Encoder)
            encoderParams.push_back(&p);
    }
    std::ranges::stable_sort(encoderParams, {}, &ParamInfo::replyOffset);
    for (std::uint8_t c = 0; c < kEncoderCount; ++c) {
        for (const ParamInfo *p : encoderParams) {
            // Under "EncoderN." an encoder parameter needs no "Enc" of its own.
            std::string_view field = p->name;
            if (field.starts_with("Enc"))
                field.remove_prefix(3);
            keys.push_back({numbered("Encoder", c, field), p->id, c, ConfigField::Value});
        }
    }
    for (const ParamInfo &p : paramCatalogue()) {
        if (!isKeyParam(p) || p.channelRule == ChannelRule::Encoder)
            continue;
        if (p.channelRule == ChannelRule::RegisterSlot) {
            for (std::uint8_t c = 0; c < kChannelCount; ++c)
                keys.push_back({numbered("Slot", c, p.name), p.id, c, ConfigField::Value});
        } else if (p.encoding == Encoding::OutputRules) {
            for (std::uint8_t k = 0; k < kOutputCount; ++k)
                for (const auto &[field, kind] : kRuleFields)
                    keys.push_back({numbered("Output", k, field), p.id, k, kind});
        } else {
            keys.push_back({std::string(p.name), p.id, 0, ConfigField::Value});
        }
    }
    return keys;
}

bool sameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::size_t keyIndex(ParamId id, std::uint8_t channel, ConfigField field = ConfigField::Value)
{
    const auto &keys = configKeys();
    for (std::size_t i = 0; i < keys.size(); ++i)
        if (keys[i].id == id && keys[i].channel == channel && keys[i].field == field)
            return i;
    return keys.size();
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

std::optional<std::size_t> findConfigKey(std::string_view name)
{
    const auto &keys = configKeys();
    for (std::size_t i = 0; i < keys.size(); ++i)
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
    if (p.isList())
        return {static_cast<double>(wireFromListIndex(p, 0)),
                static_cast<double>(wireFromListIndex(p, p.listSize - 1))};
    return {static_cast<double>(p.minValue), static_cast<double>(p.maxValue)};
}

std::span<const std::string_view> keyItems(const ConfigKey &key)
{
    switch (key.field) {
    case ConfigField::Source:
        return outputSourceItems();
    case ConfigField::Condition:
        return outputConditionItems();
    case ConfigField::State:
        return outputStateItems();
    case ConfigField::Threshold:
        return {};
    case ConfigField::Value:
        break;
    }
    return param(key.id).items;
}

std::string_view keyUnit(const ConfigKey &key) { return key.field == ConfigField::Value ? param(key.id).unit : ""; }

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
    std::vector<ReadRequest> requests;
    for (const ParamInfo &p : paramCatalogue()) {
        for (int ch = 0; isKeyParam(p) && ch < p.channelCount(); ++ch) {
            const ReadRequest request{*p.readId, static_cast<std::uint8_t>(ch)};
            if (std::ranges::find(requests, request) == requests.end())
                requests.push_back(request);
        }
    }
    return requests;
}

std::vector<std::size_t> keysOfRequest(const ReadRequest &request)
{
    std::vector<std::size_t> keys;
    const auto &all = configKeys();
    for (std::size_t i = 0; i < all.size(); ++i) {
        const ParamInfo &p = param(all[i].id);
        if (p.readId == request.id && (!p.hasChannels() || all[i].channel == request.channel))
            keys.push_back(i);
    }
    return keys;
}

void applyReply(Configuration &config, const ConfigReply &reply)
{
    auto set = [&](std::size_t index, ConfigValue value) {
        if (index < config.values.size())
            config.values[index] = value;
    };
    if (const auto *values = std::get_if<ParamValues>(&reply.body)) {
        for (const ParamValue &v : *values) {
            const ConfigValue value = std::visit(
                [](auto x) -> ConfigValue {
                    if constexpr (std::is_same_v<decltype(x), float>)
                        return x;
                    else
                        return std::int32_t{x};
                },
                v.value);
            set(keyIndex(v.param->id, v.channel), value);
        }
    } else if (const auto *rules = std::get_if<OutputRulesReply>(&reply.body)) {
        const ParamId id = reply.param->id;
        for (std::uint8_t k = 0; k < kOutputCount; ++k) {
            const OutputRecord &r = rules->outputs[k];
            set(keyIndex(id, k, ConfigField::Source), std::int32_t{r.source});
            set(keyIndex(id, k, ConfigField::Condition), std::int32_t{r.condition});
            set(keyIndex(id, k, ConfigField::State), std::int32_t{r.state});
            set(keyIndex(id, k, ConfigField::Threshold), r.threshold);
        }
    }
}

std::vector<std::size_t> keysOutsideLimits(const Configuration &config)
{
    std::vector<std::size_t> outside;
    const auto &keys = configKeys();
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (!config.values[i])
            continue;
        bool inside;
        if (const auto *real = std::get_if<float>(&*config.values[i])) {
            inside = !limitReal(*real).corrected && std::isfinite(*real);
        } else {
            const KeyLimits limits = keyLimits(keys[i]);
            const std::int32_t v = std::get<std::int32_t>(*config.values[i]);
            inside = v >= limits.low && v <= limits.high;
        }
        if (!inside)
            outside.push_back(i);
    }
    return outside;
}

bool needsCurrentRules(const Configuration &config)
{
    const auto &keys = configKeys();
    std::size_t present = 0;
    std::size_t total = 0;
    for (std::size_t i = 0; i < keys.size(); ++i) {
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
    for (std::size_t i = 0; i < keys.size(); ++i)
        if (keys[i].id == ParamId::OutputRules && !config.values[i])
            config.values[i] = current.values[i];
}

std::vector<PlannedWrite> planWrites(const Configuration &config)
{
    std::vector<PlannedWrite> writes;
    const auto &keys = configKeys();
    bool rulesPlanned = false;
    for (std::size_t i = 0; i < keys.size(); ++i) {
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
        if (p.isList())
            payload = listWritePayload(p, key.channel,
                                       listIndexFromWire(p, static_cast<std::uint8_t>(std::get<std::int32_t>(value))));
        else if (p.encoding == Encoding::Int32)
            payload = int32Payload(id, key.channel, std::get<std::int32_t>(value));
        else if (p.encoding == Encoding::Float32)
            payload = float32Payload(id, key.channel, std::get<float>(value));
        if (payload)
            writes.push_back({*payload, key.name});
    }
    return writes;
}

std::vector<std::size_t> ignoredThresholds(const Configuration &config)
{
    std::vector<std::size_t> ignored;
    for (std::uint8_t k = 0; k < kOutputCount; ++k) {
        const std::size_t index = keyIndex(ParamId::OutputRules, k, ConfigField::Threshold);
        const auto &source = config.values[keyIndex(ParamId::OutputRules, k, ConfigField::Source)];
        const auto &threshold = config.values[index];
        if (source && threshold && !outputSourceCompares(std::get<std::int32_t>(*source))
            && std::get<float>(*threshold) != 0.0f)
            ignored.push_back(index);
    }
    return ignored;
}

std::size_t outputSourceKey(const ConfigKey &ruleKey)
{
    return keyIndex(ParamId::OutputRules, ruleKey.channel, ConfigField::Source);
}

std::vector<std::size_t> differingKeys(const Configuration &expected, const Configuration &actual)
{
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i < expected.values.size(); ++i) {
        if (expected.values[i] && (!actual.values[i] || !sameValue(*expected.values[i], *actual.values[i])))
            found.push_back(i);
    }
    return found;
}

} // namespace torvex
