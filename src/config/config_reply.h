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

inline constexpr std::uint8_t kConfigReplyType = 1;
inline constexpr int kStatsCounterCount = 9;

struct ByteReply {
    std::uint8_t value;
};
struct Int32Reply {
    std::int32_t value;
};
struct EncoderBlockReply {
    std::uint8_t mode;
    std::uint8_t clearByIndex;
    std::int32_t gateTime;
    std::int32_t resolution;
    float coeff;
    float offset;
};
struct OutputRulesReply {
    std::array<OutputRecord, kOutputCount> outputs;
};
struct StatsReply {
    std::array<std::int32_t, kStatsCounterCount> counters;
};

struct ConfigReply {
    const ParamInfo *param;
    std::uint8_t channel;
    std::variant<ByteReply, Int32Reply, EncoderBlockReply, OutputRulesReply, StatsReply> body;
};

// The data of a type-1 report (type byte first). nullopt for what the window ignores: another report type, an
// id that is never answered (0-4, 10, 16, 21+), data shorter than the id's layout, an encoder or register-slot
// channel of 3 or more, statistics on a channel other than 0.
std::optional<ConfigReply> decodeConfigReply(std::span<const std::uint8_t> data);

// Bytes of reply data the id needs (type, id, channel and body); 0 for ids that are never answered.
std::size_t replyLength(std::uint8_t id);

// What a reply does to one control, in the order the controls are to be set.
struct ControlUpdate {
    enum class Kind : std::uint8_t { Select, SetText };
    std::string_view control;
    Kind kind;
    int index = -1;   // Select: -1 leaves the list with no selection
    std::string text; // SetText
};

struct ReplyEffects {
    std::vector<ControlUpdate> updates;
    bool refreshOutputEnable = false; // after a rules reply, for T1..T4
    std::optional<std::array<std::int32_t, kStatsCounterCount>> stats;
    std::vector<std::string> memoLines; // replaces the memo's lines when stats is set
};
ReplyEffects replyEffects(const ConfigReply &reply, const NumberFormat &format);

// The list index a received byte selects; -1 when the list has no such item (for the address list, byte 0).
int listIndexFromWire(const ParamInfo &param, std::uint8_t wire);

std::vector<std::string> statsLines(const std::array<std::int32_t, kStatsCounterCount> &counters);

} // namespace torvex
