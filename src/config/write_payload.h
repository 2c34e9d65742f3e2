#pragma once

#include "config/number_text.h"
#include "config/param_catalogue.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace torvex {

// The bytes after the command byte of a parameter write: id, channel, value.
struct Payload {
    static constexpr std::size_t kMaxSize = 44;
    std::array<std::uint8_t, kMaxSize> data{};
    std::size_t size = 0;

    std::span<const std::uint8_t> bytes() const { return {data.data(), size}; }
    void append(std::uint8_t b) { data.at(size++) = b; }
    void appendInt32(std::int32_t v);
    void appendFloat32(float v);
};

Payload commandPayload(std::uint8_t id, std::uint8_t channel);
Payload bytePayload(std::uint8_t id, std::uint8_t channel, std::uint8_t value);
Payload int32Payload(std::uint8_t id, std::uint8_t channel, std::int32_t value);
Payload float32Payload(std::uint8_t id, std::uint8_t channel, float value);

struct OutputRecord {
    std::uint8_t source = 0;
    std::uint8_t condition = 0;
    std::uint8_t state = 0;
    float threshold = 0.0f;
    friend bool operator==(const OutputRecord &, const OutputRecord &) = default;
};
// 8, 0, four 7-byte records (a source that compares nothing carries a zero threshold), 14 zeros.
Payload outputRulesPayload(const std::array<OutputRecord, kOutputCount> &records);

// A list write. A list without a selection (index -1, or an index the list cannot hold) sends nothing:
// a byte of 255 would be a value the instrument never offered, and the address list would send 0, the
// MODBUS broadcast address.
std::optional<Payload> listWritePayload(const ParamInfo &param, std::uint8_t channel, int selectedIndex);

// What a numeric write does to its field.
enum class FieldMark : std::uint8_t {
    Keep,      // colour and text stay as they are
    Error,     // not a number: error colour, nothing sent
    Corrected, // out of range: text replaced by the value sent, corrected colour
    Normal,    // back to the normal colour (threshold of a source that compares nothing)
};

struct FieldOutcome {
    FieldMark mark = FieldMark::Keep;
    std::string correctedText; // only for Corrected
};

struct LimitedInt {
    std::int32_t value;
    bool corrected;
};
LimitedInt limitInt(std::int32_t value, std::int32_t low, std::int32_t high);

struct LimitedReal {
    float value;
    bool corrected;
};
LimitedReal limitReal(float value);

struct NumberWrite {
    FieldOutcome field;
    std::optional<Payload> payload;
};
// Integer or real write of one field, by the parameter's encoding and limits.
NumberWrite planNumberWrite(const ParamInfo &param, std::uint8_t channel, std::string_view text,
                            const NumberFormat &format);

// What the user has set for one output rule; -1 = no selection.
struct RuleInput {
    int source = -1;
    int condition = -1;
    int state = -1;
    std::string thresholdText;
};

// The lists of one output rule that the window marks because they have no selection.
struct RuleListMarks {
    bool source = false;
    bool condition = false;
    bool state = false;
    friend bool operator==(const RuleListMarks &, const RuleListMarks &) = default;
};

// What a rule record carries for a list without a selection.
inline constexpr std::uint8_t kNoSelectionByte = 255;

struct RulesWrite {
    // Per output; outputs after the one that stopped the write keep Keep and no marks.
    std::array<FieldOutcome, kOutputCount> thresholds{};
    std::array<RuleListMarks, kOutputCount> unselected{};
    std::optional<Payload> payload;
};
// All four outputs at once, in order. The condition and state lists of a source that compares nothing are
// disabled, and without a selection they send kNoSelectionByte. An enabled list without a selection, or a
// threshold that is not a number, stops the whole write at that output; its lists are checked first.
RulesWrite planRulesWrite(const std::array<RuleInput, kOutputCount> &rules, const NumberFormat &format);

} // namespace torvex
