#pragma once
// The instrument's configuration as plain values, one per key a user can set (Encoder2.GateTime,
// Output1.Threshold, ModbusBaud...): the keys, as the parameter catalogue gives them; the values a reply carries;
// the limits; the payloads that write the values; and what the instrument holds afterwards.
//
// A list value is the byte that travels: the item's index counted from 0, for the MODBUS address the address.

#include "config/config_reply.h"
#include "config/param_catalogue.h"
#include "config/write_payload.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace torvex {

struct ConfigKey {
    std::string name;
    ParamId id;           // the parameter written (OutputRules for the Output keys)
    std::uint8_t channel; // encoder or register-slot channel; for the Output keys the output 0..3
    ConfigField field;
};

// Every key: per encoder its parameters (in the order of their reply), then the other parameters in catalogue
// order.
const std::vector<ConfigKey> &configKeys();
// By name, letter case ignored.
std::optional<std::size_t> findConfigKey(std::string_view name);

bool isRealKey(const ConfigKey &key);
// The window's limits of a key's value, e.g. {1, 65535} for a gate time, {0, 1} for a two-item list.
struct KeyLimits {
    double low;
    double high;
};
KeyLimits keyLimits(const ConfigKey &key);
// A list key's items by index (English, as the window shows them); empty for numbers and plain-number lists.
std::span<const std::string_view> keyItems(const ConfigKey &key);
// What a number key counts ("ms"); empty when nothing.
std::string_view keyUnit(const ConfigKey &key);

using ConfigValue = std::variant<std::int32_t, float>;

struct Configuration {
    std::vector<std::optional<ConfigValue>> values = std::vector<std::optional<ConfigValue>>(configKeys().size());

    bool empty() const;
    const std::optional<ConfigValue> &at(std::string_view name) const;
    void set(std::string_view name, ConfigValue value);
};

// One read request per parameter group a user sets (an encoder's settings come in one reply), in catalogue
// order: together they fill every key.
std::vector<ReadRequest> configReadRequests();
// The keys a request's reply fills.
std::vector<std::size_t> keysOfRequest(const ReadRequest &request);
// Puts the values of one decoded reply into the configuration. A list byte is kept as it came: an index the list
// cannot hold stays visible (and is refused on writing).
void applyReply(Configuration &config, const ConfigReply &reply);

// Keys whose value is outside the window's limits (or not a finite real).
std::vector<std::size_t> keysOutsideLimits(const Configuration &config);

// True when some output rule keys are set but not all of them: the rest must be read from the instrument first,
// because the four rules are written together.
bool needsCurrentRules(const Configuration &config);
// Takes the output rule keys `config` lacks from `current`.
void completeRules(Configuration &config, const Configuration &current);

struct PlannedWrite {
    Payload payload;
    std::string what; // the key, or "Output1..4" for the rules
};
// One write per key in key order, the four output rules as one write; limits must have been checked.
std::vector<PlannedWrite> planWrites(const Configuration &config);

// The threshold keys whose value the write drops: not 0, of an output whose source compares nothing (the rule
// carries 0 then, as the window sends it).
std::vector<std::size_t> ignoredThresholds(const Configuration &config);
// The source key of the output a rule key belongs to.
std::size_t outputSourceKey(const ConfigKey &ruleKey);
// Keys of `expected` whose value `actual` does not hold (or holds none of).
std::vector<std::size_t> differingKeys(const Configuration &expected, const Configuration &actual);

} // namespace torvex
