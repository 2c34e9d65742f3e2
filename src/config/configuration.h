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
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace torvex {

// For the output rules, the field of the record; every other parameter has one value per channel.
enum class ConfigField { Value, Source, Condition, State, Threshold };

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

using ConfigValue = std::variant<std::int32_t, float>;

struct Configuration {
    std::vector<std::optional<ConfigValue>> values = std::vector<std::optional<ConfigValue>>(configKeys().size());

    bool empty() const;
    const std::optional<ConfigValue> &at(std::string_view name) const;
    void set(std::string_view name, ConfigValue value);
};

// The read requests of the window's Read buttons: together they fill every key.
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

// What the instrument holds after the writes: as written, but a threshold whose source compares nothing is 0.
Configuration expectedAfterWrite(const Configuration &config);
// Keys of `expected` whose value `actual` does not hold (or holds none of).
std::vector<std::size_t> differingKeys(const Configuration &expected, const Configuration &actual);

} // namespace torvex
