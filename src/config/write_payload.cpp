#include "config/write_payload.h"

#include <bit>
#include <cstring>

namespace torvex {

void Payload::appendInt32(std::int32_t v)
{
    const auto u = static_cast<std::uint32_t>(v);
    for (int shift = 0; shift < 32; shift += 8)
        append(static_cast<std::uint8_t>(u >> shift));
}

void Payload::appendFloat32(float v) { appendInt32(static_cast<std::int32_t>(std::bit_cast<std::uint32_t>(v))); }

Payload commandPayload(std::uint8_t id, std::uint8_t channel)
{
    Payload p;
    p.append(id);
    p.append(channel);
    return p;
}

Payload bytePayload(std::uint8_t id, std::uint8_t channel, std::uint8_t value)
{
    Payload p = commandPayload(id, channel);
    p.append(value);
    return p;
}

Payload int32Payload(std::uint8_t id, std::uint8_t channel, std::int32_t value)
{
    Payload p = commandPayload(id, channel);
    p.appendInt32(value);
    return p;
}

Payload float32Payload(std::uint8_t id, std::uint8_t channel, float value)
{
    Payload p = commandPayload(id, channel);
    p.appendFloat32(value);
    return p;
}

Payload outputRulesPayload(const std::array<OutputRecord, kOutputCount> &records)
{
    Payload p = commandPayload(static_cast<std::uint8_t>(ParamId::OutputRules), 0);
    for (const OutputRecord &r : records) {
        p.append(r.source);
        p.append(r.condition);
        p.append(r.state);
        p.appendFloat32(outputSourceCompares(r.source) ? r.threshold : 0.0f);
    }
    while (p.size < Payload::kMaxSize)
        p.append(0);
    return p;
}

std::optional<Payload> listWritePayload(const ParamInfo &param, std::uint8_t channel, int selectedIndex)
{
    if (selectedIndex < 0 || selectedIndex >= param.listSize)
        return std::nullopt;
    return bytePayload(static_cast<std::uint8_t>(param.id), channel,
                       static_cast<std::uint8_t>(wireFromListIndex(param, selectedIndex)));
}

LimitedInt limitInt(std::int32_t value, std::int32_t low, std::int32_t high)
{
    if (value < low)
        return {low, true};
    if (value > high)
        return {high, true};
    return {value, false};
}

LimitedReal limitReal(float value)
{
    float limited = value;
    if (value < -kRealLimit)
        limited = -kRealReplacement;
    else if (value > kRealLimit)
        limited = kRealReplacement;
    return {limited, limited != value};
}

namespace {

struct RealField {
    FieldOutcome field;
    std::optional<float> value;
};

RealField convertReal(std::string_view text, const NumberFormat &format)
{
    const std::optional<float> parsed = parseReal(text, format);
    if (!parsed)
        return {{FieldMark::Error, {}}, std::nullopt};
    const LimitedReal limited = limitReal(*parsed);
    if (!limited.corrected)
        return {{FieldMark::Keep, {}}, limited.value};
    return {{FieldMark::Corrected, formatReal3(limited.value, format)}, limited.value};
}

} // namespace

NumberWrite planNumberWrite(const ParamInfo &param, std::uint8_t channel, std::string_view text,
                            const NumberFormat &format)
{
    const auto id = static_cast<std::uint8_t>(param.id);
    if (param.encoding == Encoding::Float32) {
        const RealField real = convertReal(text, format);
        if (!real.value)
            return {real.field, std::nullopt};
        return {real.field, float32Payload(id, channel, *real.value)};
    }
    const std::optional<std::int32_t> parsed = parseInt32(text);
    if (!parsed)
        return {{FieldMark::Error, {}}, std::nullopt};
    const LimitedInt limited = limitInt(*parsed, param.minValue, param.maxValue);
    FieldOutcome field;
    if (limited.corrected)
        field = {FieldMark::Corrected, formatInt(limited.value)};
    return {field, int32Payload(id, channel, limited.value)};
}

RulesWrite planRulesWrite(const std::array<RuleInput, kOutputCount> &rules, const NumberFormat &format)
{
    const auto selected = [](int index, int listSize) { return index >= 0 && index < listSize; };
    RulesWrite result;
    std::array<OutputRecord, kOutputCount> records{};
    for (int k = 0; k < kOutputCount; ++k) {
        const RuleInput &in = rules[k];
        OutputRecord &rec = records[k];
        if (!selected(in.source, kOutputSourceListSize)) {
            result.unselected[k].source = true;
            return result;
        }
        rec.source = static_cast<std::uint8_t>(in.source);
        const bool compares = outputSourceCompares(in.source);
        const bool hasCondition = selected(in.condition, kOutputConditionListSize);
        const bool hasState = selected(in.state, kOutputStateListSize);
        if (compares && (!hasCondition || !hasState)) {
            result.unselected[k].condition = !hasCondition;
            result.unselected[k].state = !hasState;
            return result;
        }
        rec.condition = hasCondition ? static_cast<std::uint8_t>(in.condition) : kNoSelectionByte;
        rec.state = hasState ? static_cast<std::uint8_t>(in.state) : kNoSelectionByte;
        if (!compares) {
            result.thresholds[k] = {FieldMark::Normal, {}};
            continue;
        }
        const RealField real = convertReal(in.thresholdText, format);
        result.thresholds[k] = real.field;
        if (!real.value)
            return result;
        rec.threshold = *real.value;
    }
    result.payload = outputRulesPayload(records);
    return result;
}

} // namespace torvex
