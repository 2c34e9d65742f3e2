#include "config/config_reply.h"

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

void addSelect(ReplyEffects &fx, std::string_view control, int index)
{
    fx.updates.push_back({control, ControlUpdate::Kind::Select, index, {}});
}

void addText(ReplyEffects &fx, std::string_view control, std::string text)
{
    fx.updates.push_back({control, ControlUpdate::Kind::SetText, -1, std::move(text)});
}

void addListValue(ReplyEffects &fx, ParamId id, std::uint8_t channel, std::uint8_t wire)
{
    const ParamInfo &p = param(id);
    addSelect(fx, p.controls[channel], listIndexFromWire(p, wire));
}

} // namespace

std::size_t replyLength(std::uint8_t id)
{
    const ParamInfo *p = findParam(id);
    if (!p || p->readId != id)
        return 0;
    switch (p->encoding) {
    case Encoding::ListIndex:
    case Encoding::Address:
        return kBodyOffset + 1;
    case Encoding::Int32:
        return kBodyOffset + 4;
    case Encoding::OutputRules:
        return kBodyOffset + kOutputCount * kRecordSize;
    case Encoding::EncoderBlock:
        return kBodyOffset + 18;
    case Encoding::Counters:
        return kBodyOffset + 4 * kStatsCounterCount;
    case Encoding::Float32:
    case Encoding::Command:
        break;
    }
    return 0;
}

std::optional<ConfigReply> decodeConfigReply(std::span<const std::uint8_t> data)
{
    if (data.size() < kBodyOffset || data[0] != kConfigReplyType)
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
    case Encoding::ListIndex:
    case Encoding::Address:
        return ConfigReply{&p, channel, ByteReply{data[kBodyOffset]}};
    case Encoding::Int32:
        return ConfigReply{&p, channel, Int32Reply{int32At(data, kBodyOffset)}};
    case Encoding::EncoderBlock:
        return ConfigReply{&p, channel,
                           EncoderBlockReply{data[param(ParamId::EncMode).replyOffset],
                                             data[param(ParamId::EncClearByIndex).replyOffset],
                                             int32At(data, param(ParamId::EncGateTime).replyOffset),
                                             int32At(data, param(ParamId::EncResolution).replyOffset),
                                             floatAt(data, param(ParamId::EncCoeff).replyOffset),
                                             floatAt(data, param(ParamId::EncOffset).replyOffset)}};
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
    case Encoding::Float32:
    case Encoding::Command:
        break;
    }
    return std::nullopt;
}

int listIndexFromWire(const ParamInfo &p, std::uint8_t wire)
{
    const int index = p.encoding == Encoding::Address ? int{wire} - 1 : int{wire};
    return index >= 0 && index < p.listSize ? index : -1;
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
    const ParamInfo &p = *reply.param;
    const std::uint8_t ch = p.hasChannels() ? reply.channel : 0;

    if (const auto *b = std::get_if<ByteReply>(&reply.body)) {
        addListValue(fx, p.id, ch, b->value);
    } else if (const auto *i = std::get_if<Int32Reply>(&reply.body)) {
        addText(fx, p.controls[0], formatInt(i->value));
    } else if (const auto *e = std::get_if<EncoderBlockReply>(&reply.body)) {
        addListValue(fx, ParamId::EncMode, ch, e->mode);
        addListValue(fx, ParamId::EncClearByIndex, ch, e->clearByIndex);
        addText(fx, param(ParamId::EncGateTime).controls[ch], formatInt(e->gateTime));
        addText(fx, param(ParamId::EncResolution).controls[ch], formatInt(e->resolution));
        addText(fx, param(ParamId::EncCoeff).controls[ch], formatReal3(e->coeff, format));
        addText(fx, param(ParamId::EncOffset).controls[ch], formatReal3(e->offset, format));
    } else if (const auto *r = std::get_if<OutputRulesReply>(&reply.body)) {
        for (int k = 0; k < kOutputCount; ++k) {
            const OutputRecord &rec = r->outputs[k];
            const OutputControls &c = outputControls(k);
            addSelect(fx, c.source, rec.source < kOutputSourceListSize ? rec.source : -1);
            addSelect(fx, c.condition, rec.condition < kOutputConditionListSize ? rec.condition : -1);
            addSelect(fx, c.state, rec.state < kOutputStateListSize ? rec.state : -1);
            addText(fx, c.threshold, formatReal3(rec.threshold, format));
        }
        fx.refreshOutputEnable = true;
    } else if (const auto *s = std::get_if<StatsReply>(&reply.body)) {
        fx.stats = s->counters;
        fx.memoLines = statsLines(s->counters);
    }
    return fx;
}

} // namespace torvex
