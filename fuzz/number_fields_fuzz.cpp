// Whatever a user types into a numeric field of the configuration pages, its Write button must either refuse the
// text (error colour, nothing sent) or send a payload whose value is within the parameter's limits and equals
// what the field shows afterwards; the output rules go out all together or not at all.
//
// Input: a byte choosing the field (a parameter's, by channel, or the thresholds), a byte choosing the number format; for a threshold field twelve bytes of list
// selections (source, condition, state per output); the rest is the typed text (for the thresholds, four texts
// separated by line feeds).
#include "config/param_catalogue.h"
#include "config/write_payload.h"
#include "fuzz_check.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace torvex;

std::uint32_t le32(const Payload &p, std::size_t at)
{
    return std::uint32_t(p.data[at]) | std::uint32_t(p.data[at + 1]) << 8 | std::uint32_t(p.data[at + 2]) << 16
        | std::uint32_t(p.data[at + 3]) << 24;
}

float floatAt(const Payload &p, std::size_t at)
{
    const std::uint32_t bits = le32(p, at);
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

// A real value sent: a number within the limits; a correction shows exactly the value sent.
void checkReal(float sent, const FieldOutcome &field, std::optional<float> typed, const NumberFormat &format)
{
    require(!std::isnan(sent) && std::fabs(sent) <= kRealLimit, "real within its limits");
    require(typed.has_value(), "only a number is sent");
    if (field.mark == FieldMark::Corrected) {
        require(std::fabs(sent) == kRealReplacement, "corrected to the replacement");
        require(std::fabs(*typed) > kRealLimit, "only values beyond the limit are corrected");
        require(parseReal(field.correctedText, format) == sent, "the field shows the value sent");
    } else {
        require(field.mark == FieldMark::Keep, "an accepted value keeps its colour");
        require(sent == *typed, "an accepted value goes out as typed");
    }
}

struct NumberTarget {
    const ParamInfo *param;
    std::uint8_t channel;
};

// Every numeric field of a parameter, by (parameter, channel); the thresholds come after them.
std::vector<NumberTarget> numberTargets()
{
    std::vector<NumberTarget> targets;
    for (const ParamInfo &p : paramCatalogue()) {
        if (p.encoding != Encoding::Int32 && p.encoding != Encoding::Float32)
            continue;
        for (int c = 0; c < p.channelCount(); ++c)
            targets.push_back({&p, std::uint8_t(c)});
    }
    return targets;
}

void numberField(const ParamInfo &param, std::uint8_t channel, std::string_view text, const NumberFormat &format)
{
    const NumberWrite w = planNumberWrite(param, channel, text, format);
    require((w.field.mark == FieldMark::Error) == !w.payload, "refused exactly when nothing is sent");
    if (!w.payload)
        return;
    const Payload &p = *w.payload;
    require(p.size == 6 && p.data[0] == std::uint8_t(param.id) && p.data[1] == channel, "id, channel, 4 bytes");
    if (param.encoding == Encoding::Float32) {
        checkReal(floatAt(p, 2), w.field, parseReal(text, format), format);
        return;
    }
    const auto sent = static_cast<std::int32_t>(le32(p, 2));
    const std::optional<std::int32_t> typed = parseInt32(text);
    require(typed.has_value(), "only a number is sent");
    require(sent >= param.minValue && sent <= param.maxValue, "integer within its limits");
    if (w.field.mark == FieldMark::Corrected) {
        require(*typed != sent && (*typed < param.minValue || *typed > param.maxValue), "corrected only when out");
        require(w.field.correctedText == std::to_string(sent), "the field shows the value sent");
    } else {
        require(w.field.mark == FieldMark::Keep && *typed == sent, "an accepted value goes out as typed");
    }
}

void thresholdFields(const std::uint8_t *lists, std::string_view text, const NumberFormat &format)
{
    std::array<RuleInput, kOutputCount> rules;
    for (int k = 0; k < kOutputCount; ++k) {
        // One past the last item stands for a list without a selection.
        auto pick = [](std::uint8_t b, int items) { return b % (items + 1) == items ? -1 : b % (items + 1); };
        rules[k].source = pick(lists[3 * k], kOutputSourceListSize);
        rules[k].condition = pick(lists[3 * k + 1], kOutputConditionListSize);
        rules[k].state = pick(lists[3 * k + 2], kOutputStateListSize);
        const std::size_t end = text.find('\n');
        rules[k].thresholdText = std::string(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    }
    const RulesWrite w = planRulesWrite(rules, format);

    // The condition and state lists take part only for a source that compares a measurement.
    int stoppedAt = kOutputCount;
    for (int k = 0; k < kOutputCount && stoppedAt == kOutputCount; ++k) {
        const RuleInput &r = rules[k];
        const bool listsComplete =
            r.source >= 0 && (!outputSourceCompares(r.source) || (r.condition >= 0 && r.state >= 0));
        if (!listsComplete || w.thresholds[k].mark == FieldMark::Error)
            stoppedAt = k;
    }
    require(w.payload.has_value() == (stoppedAt == kOutputCount), "sent exactly when every output is complete");
    for (int k = stoppedAt + 1; k < kOutputCount; ++k) {
        require(w.thresholds[k].mark == FieldMark::Keep && w.unselected[k] == RuleListMarks{},
                "outputs after the stop are untouched");
    }
    if (!w.payload)
        return;

    const Payload &p = *w.payload;
    require(p.size == Payload::kMaxSize && p.data[0] == 8 && p.data[1] == 0, "rules payload head");
    for (std::size_t i = 2 + 7 * kOutputCount; i < p.size; ++i)
        require(p.data[i] == 0, "zeros after the records");
    for (int k = 0; k < kOutputCount; ++k) {
        const std::size_t at = 2 + 7 * std::size_t(k);
        const auto listByte = [](int index) { return index < 0 ? kNoSelectionByte : std::uint8_t(index); };
        require(p.data[at] == rules[k].source && p.data[at + 1] == listByte(rules[k].condition)
                    && p.data[at + 2] == listByte(rules[k].state),
                "record lists");
        if (!outputSourceCompares(rules[k].source)) {
            require(le32(p, at + 3) == 0 && w.thresholds[k].mark == FieldMark::Normal, "no threshold, normal");
            continue;
        }
        checkReal(floatAt(p, at + 3), w.thresholds[k], parseReal(rules[k].thresholdText, format), format);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    static const std::vector<NumberTarget> targets = numberTargets();
    const std::size_t choice = data[0] % (targets.size() + 1);
    const NumberFormat format = data[1] % 2 == 0 ? NumberFormat{",", "\xc2\xa0"} : NumberFormat{".", ","};
    data += 2;
    size -= 2;

    if (choice < targets.size()) {
        const NumberTarget &target = targets[choice];
        numberField(*target.param, target.channel, std::string_view(reinterpret_cast<const char *>(data), size),
                    format);
        return 0;
    }
    constexpr std::size_t kListBytes = 3 * kOutputCount;
    if (size < kListBytes)
        return 0;
    thresholdFields(data, std::string_view(reinterpret_cast<const char *>(data + kListBytes), size - kListBytes),
                    format);
    return 0;
}
