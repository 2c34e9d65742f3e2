#pragma once

#include "config/number_text.h"
#include "config/param_catalogue.h"
#include "config/write_payload.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace torvex {

inline constexpr int kStatsCounterCount = 9;

// One value of a reply: a parameter of the catalogue, its channel (0 for parameters without channels), and the
// value as it travels: a list's byte, an integer or a real.
struct ParamValue {
    const ParamInfo *param;
    std::uint8_t channel;
    std::variant<std::uint8_t, std::int32_t, float> value;
};
// Every parameter the item reads back (an encoder's settings: six), in the order of the reply's bytes.
using ParamValues = std::vector<ParamValue>;

struct OutputRulesReply {
    std::array<OutputRecord, kOutputCount> outputs;
};
struct StatsReply {
    std::array<std::int32_t, kStatsCounterCount> counters;
};

struct ConfigReply {
    const ParamInfo *param; // the item asked for
    std::uint8_t channel;
    std::variant<ParamValues, OutputRulesReply, StatsReply> body;
};

// The data of a type-1 report (type byte first). nullopt for what the window ignores: another report type, an
// id that is never answered (0-4, 10, 16, 21+), data shorter than the id's layout, an encoder or register-slot
// channel of 3 or more, statistics on a channel other than 0.
std::optional<ConfigReply> decodeConfigReply(std::span<const std::uint8_t> data);

// Bytes of reply data the id needs (type, id, channel and body); 0 for ids that are never answered.
std::size_t replyLength(std::uint8_t id);

// What a reply shows of one value, in the order the values are to be shown: the list item to select or the text
// to set, for (parameter, channel) and, of the output rules, (OutputRules, output, field of its record).
struct ValueUpdate {
    enum class Kind : std::uint8_t { Select, SetText };
    ParamId id;
    std::uint8_t channel;
    ConfigField field;
    Kind kind;
    int index = -1;   // Select: -1 leaves the list with no selection
    std::string text; // SetText
};

struct ReplyEffects {
    std::vector<ValueUpdate> updates;
    bool refreshOutputEnable = false; // after a rules reply, for T1..T4
    std::optional<std::array<std::int32_t, kStatsCounterCount>> stats;
    std::vector<std::string> memoLines; // replaces the memo's lines when stats is set
};
ReplyEffects replyEffects(const ConfigReply &reply, const NumberFormat &format);

std::vector<std::string> statsLines(const std::array<std::int32_t, kStatsCounterCount> &counters);

} // namespace torvex
