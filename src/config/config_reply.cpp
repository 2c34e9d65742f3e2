#include "config/config_reply.h"

#include "protocol/report_link.h"

#include <algorithm>
#include <bit>

namespace torvex {
namespace {

constexpr std::size_t kBodyOffset = 3;
constexpr std::size_t kRecordSize = 7;

std::uint32_t le32(std::span<const std::uint8_t> d, std::size_t at)
{
    return std::uint32_t{d[at]} | std::uint32_t{d[at + 1]} << 8 | std::uint32_t{d[at + 2]} << 16
        | std::uint32_t{d[at + 3]} << 24;
}

std::uint32_t be32(std::span<const std::uint8_t> d, std::size_t at)
{
    return std::uint32_t{d[at]} << 24 | std::uint32_t{d[at + 1]} << 16 | std::uint32_t{d[at + 2]} << 8
        | std::uint32_t{d[at + 3]};
}

std::int32_t int32At(std::span<const std::uint8_t> d, std::size_t at) { return static_cast<std::int32_t>(le32(d, at)); }
float floatAt(std::span<const std::uint8_t> d, std::size_t at) { return std::bit_cast<float>(le32(d, at)); }

constexpr std::array<std::string_view, kStatsCounterCount> kStatsLabels{
    "BC:  ", "FRA: ", "FRC: ", "TC:  ", "FE:  ", "ORE: ", "NE:  ", "PE:  ", "ID:  "};

struct ValueKey {
    ParamId id;
    std::uint8_t channel;
    ConfigField field = ConfigField::Value;
};

void addSelect(ReplyEffects &fx, ValueKey key, int index)
{
    fx.updates.push_back({key.id, key.channel, key.field, ValueUpdate::Kind::Select, index, {}});
}

void addText(ReplyEffects &fx, ValueKey key, std::string text)
{
    fx.updates.push_back({key.id, key.channel, key.field, ValueUpdate::Kind::SetText, -1, std::move(text)});
}

// Bytes a value of this encoding takes in a reply.
std::size_t valueWidth(Encoding encoding)
{
    return encoding == Encoding::ListIndex || encoding == Encoding::Address ? 1 : 4;
}

bool isValue(Encoding encoding)
{
    return encoding == Encoding::ListIndex || encoding == Encoding::Address || encoding == Encoding::Int32
        || encoding == Encoding::Float32;
}

// The parameters an item reads back, in the order of their bytes.
std::vector<const ParamInfo *> membersOf(std::uint8_t id)
{
    std::vector<const ParamInfo *> members;
    for (const ParamInfo &p : paramCatalogue()) {
        if (p.readId == id && isValue(p.encoding))
            members.push_back(&p);
    }
    std::ranges::sort(members, {}, &ParamInfo::replyOffset);
    return members;
}

} // namespace

std::size_t replyLength(std::uint8_t id)
{
    const ParamInfo *p = findParam(id);
    if (!p || p->readId != id)
        return 0;
    switch (p->encoding) {
    case Encoding::OutputRules:
        return kBodyOffset + kOutputCount * kRecordSize;
    case Encoding::Counters:
        return kBodyOffset + 4 * kStatsCounterCount;
    case Encoding::Command:
        return 0;
    default:
        break;
    }
    std::size_t length = 0;
    for (const ParamInfo *member : membersOf(id))
        length = std::max(length, member->replyOffset + valueWidth(member->encoding));
    return length;
}

std::optional<ConfigReply> decodeConfigReply(std::span<const std::uint8_t> data)
{
    if (data.size() < kBodyOffset || classifyInputReport(data) != InputReportType::ConfigReply)
        return std::nullopt;
    const std::uint8_t id = data[1];
    const std::uint8_t channel = data[2];
    const std::size_t length = replyLength(id);
    if (length == 0 || data.size() < length)
        return std::nullopt;
    const ParamInfo &p = *findParam(id);
    if (p.hasChannels() && channel >= kChannelCount)
        return std::nullopt;

    switch (p.encoding) {
    case Encoding::OutputRules: {
        OutputRulesReply rules{};
        for (std::size_t k = 0; k < kOutputCount; ++k) {
            const std::size_t at = kBodyOffset + k * kRecordSize;
            rules.outputs[k] = {data[at], data[at + 1], data[at + 2], floatAt(data, at + 3)};
        }
        return ConfigReply{&p, channel, rules};
    }
    case Encoding::Counters: {
        if (channel != 0)
            return std::nullopt;
        StatsReply stats{};
        for (std::size_t i = 0; i < kStatsCounterCount; ++i)
            stats.counters[i] = static_cast<std::int32_t>(be32(data, kBodyOffset + 4 * i));
        return ConfigReply{&p, channel, stats};
    }
    case Encoding::Command:
        return std::nullopt;
    default:
        break;
    }
    ParamValues values;
    const std::uint8_t valueChannel = p.hasChannels() ? channel : 0;
    for (const ParamInfo *member : membersOf(id)) {
        const std::size_t at = member->replyOffset;
        ParamValue v{member, valueChannel, data[at]};
        if (member->encoding == Encoding::Int32)
            v.value = int32At(data, at);
        else if (member->encoding == Encoding::Float32)
            v.value = floatAt(data, at);
        values.push_back(v);
    }
    return ConfigReply{&p, channel, std::move(values)};
}

std::vector<std::string> statsLines(const std::array<std::int32_t, kStatsCounterCount> &counters)
{
    std::vector<std::string> lines;
    lines.reserve(kStatsCounterCount + 1);
    lines.emplace_back("=====MODBUS STAT=====");
    for (std::size_t i = 0; i < kStatsCounterCount; ++i)
        lines.push_back(std::string(kStatsLabels[i]) + formatInt(counters[i]));
    return lines;
}

ReplyEffects replyEffects(const ConfigReply &reply, const NumberFormat &format)
{
    ReplyEffects fx;
    if (const auto *values = std::get_if<ParamValues>(&reply.body)) {
        for (const ParamValue &v : *values) {
            const ParamInfo &member = *v.param;
            const ValueKey key{member.id, v.channel};
            if (const auto *wire = std::get_if<std::uint8_t>(&v.value))
                addSelect(fx, key, listIndexFromWire(member, *wire));
            else if (const auto *integer = std::get_if<std::int32_t>(&v.value))
                addText(fx, key, formatInt(*integer));
            else
                addText(fx, key, formatReal3(std::get<float>(v.value), format));
        }
    } else if (const auto *r = std::get_if<OutputRulesReply>(&reply.body)) {
        for (int k = 0; k < kOutputCount; ++k) {
            const OutputRecord &rec = r->outputs[k];
            const auto field = [k](ConfigField f) { return ValueKey{ParamId::OutputRules, std::uint8_t(k), f}; };
            addSelect(fx, field(ConfigField::Source), rec.source < kOutputSourceListSize ? rec.source : -1);
            addSelect(fx, field(ConfigField::Condition), rec.condition < kOutputConditionListSize ? rec.condition : -1);
            addSelect(fx, field(ConfigField::State), rec.state < kOutputStateListSize ? rec.state : -1);
            addText(fx, field(ConfigField::Threshold), formatReal3(rec.threshold, format));
        }
        fx.refreshOutputEnable = true;
    } else if (const auto *s = std::get_if<StatsReply>(&reply.body)) {
        fx.stats = s->counters;
        fx.memoLines = statsLines(s->counters);
    }
    return fx;
}

} // namespace torvex
