#pragma once
// The instrument's configuration as a file: the keys (Encoder2.GateTime, Output1.Threshold, ModbusBaud...),
// their values in the units the window shows, the ini and JSON forms, the window's limits, and the payloads that
// write a file back.
//
// List parameters are written as the item's index counted from 0 (the same in every language of the window);
// the MODBUS address as the address itself (1..247). Reals use "." and as many decimals as the value needs to
// come back exactly (at least three, as the window shows them).

#include "config/config_reply.h"
#include "config/param_catalogue.h"
#include "config/write_payload.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace torvex::cli {

enum class ConfigField { Value, Source, Condition, State, Threshold };

struct ConfigKey {
    std::string name;
    ParamId id;           // the parameter written (OutputRules for the Output keys)
    std::uint8_t channel; // encoder or register-slot channel; for the Output keys the output 0..3
    ConfigField field;
};

// Every key, in the order of the files.
const std::vector<ConfigKey> &configKeys();
// By name, letter case ignored.
std::optional<size_t> findConfigKey(std::string_view name);

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

// The read requests the window's Read buttons send, in the order of the configuration pages.
std::vector<ReadRequest> configReadRequests();
// The keys a request's reply fills.
std::vector<size_t> keysOfRequest(const ReadRequest &request);
// Puts the values of one decoded reply into the configuration.
void applyReply(Configuration &config, const ConfigReply &reply);

// "1000", "150.000", "0.0001"; non-finite reals as the window shows them ("NAN", "INF").
std::string formatValue(const ConfigKey &key, const ConfigValue &value);

// `notes`: comment lines (without the "; ") put at the top, e.g. requests that got no answer.
std::string formatIni(const Configuration &config, const std::vector<std::string> &notes = {});
std::string formatJson(const Configuration &config);

struct ParsedConfig {
    Configuration config;
    std::vector<std::string> errors; // each names the line or key
};
// Ini or JSON (a text whose first non-blank character is "{"). Values are checked for syntax, not limits.
ParsedConfig parseConfigText(std::string_view text);

// Values outside the window's limits, each with its key and the limits; empty when all may be sent.
std::vector<std::string> checkLimits(const Configuration &config);

// True when the file sets some output rule keys but not all of them: the rest must be read from the
// instrument first, because the four rules are written together.
bool needsCurrentRules(const Configuration &config);
// Takes the output rule keys the file lacks from `current`.
void completeRules(Configuration &config, const Configuration &current);

struct PlannedWrite {
    Payload payload;
    std::string what; // the key, or "Output1..4" for the rules
};
// One write per key in key order, the four output rules as one write; limits must have been checked.
std::vector<PlannedWrite> planWrites(const Configuration &config);

// What the instrument holds after the writes: as the file, but a threshold whose source compares nothing is 0.
Configuration expectedAfterWrite(const Configuration &config);
// Keys of `expected` whose value `actual` does not hold, as "Key: written X, read back Y".
std::vector<std::string> differences(const Configuration &expected, const Configuration &actual);

} // namespace torvex::cli
