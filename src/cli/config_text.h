#pragma once
// The instrument's configuration as a file, in the ini and JSON forms: values in the units the window shows,
// reals with "." and as many decimals as the value needs to come back exactly (at least three, as the window
// shows them), and the messages that name keys.

#include "config/configuration.h"

#include <string>
#include <string_view>
#include <vector>

namespace torvex::cli {

// "1000", "150.000", "0.0001"; non-finite reals as the window shows them ("NAN", "INF").
std::string formatValue(const ConfigValue &value);

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

// Keys of `expected` whose value `actual` does not hold, as "Key: written X, read back Y".
std::vector<std::string> differences(const Configuration &expected, const Configuration &actual);

} // namespace torvex::cli
