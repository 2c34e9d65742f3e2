#pragma once
// The instrument's configuration as a file, in the ini and JSON forms: values in the units the window shows,
// reals with "." and as many decimals as the value needs to come back exactly (at least three, as the window
// shows them), list values as indexes with their item as a comment, and the messages that name keys.

#include "config/configuration.h"

#include <istream>
#include <string>
#include <string_view>
#include <vector>

namespace torvex::cli {

// "1000", "150.000", "0.0001"; non-finite reals as the window shows them ("NAN", "INF").
std::string formatValue(const ConfigValue &value);

// `notes`: comment lines (without the "; ") put at the top, e.g. requests that got no answer.
std::string formatIni(const Configuration &config, const std::vector<std::string> &notes = {});
std::string formatJson(const Configuration &config);
// Every key with its items, or its limits and unit (config keys).
std::string formatKeys();

// The refusals a parse keeps: enough to show, however many mistakes some other file has.
inline constexpr std::size_t kKeptErrors = 20;

struct ParsedConfig {
    Configuration config;
    std::vector<std::string> texts;  // per key: the value as it was written, for the messages
    std::vector<std::string> errors; // each names the line or key; the first kKeptErrors
    std::size_t errorsNotKept = 0;   // the ones after them

    void refuse(std::string error)
    {
        if (errors.size() < kKeptErrors)
            errors.push_back(std::move(error));
        else
            ++errorsNotKept;
    }
};
// Ini or JSON (a text whose first non-blank character is "{"), with or without a UTF-8 byte order mark. Values
// are checked for syntax and, where the text cannot even become a value of the key, for limits.
ParsedConfig parseConfigText(std::string_view text);
// KEY=VALUE arguments, as lines of the ini form.
ParsedConfig parseAssignments(const std::vector<std::string> &assignments);

// The most a configuration file may hold: a whole configuration is under 10 kB.
inline constexpr std::size_t kConfigFileLimit = 1024 * 1024;

// The whole of a configuration file, or of `in` for "-"; false with the reason ("is a folder", the system's
// words, more than kConfigFileLimit) when it cannot be read.
bool readConfigFile(const std::string &path, std::istream *in, std::string &text, std::string &reason);

// The key of that name, or every key of a group ("Output1": Output1.Source...); empty for neither. Letter case
// ignored.
std::vector<std::size_t> findKeyOrGroup(std::string_view name);

// Values outside the window's limits, each with its key as written and the limits or the list's items; empty when
// all may be sent.
std::vector<std::string> checkLimits(const ParsedConfig &parsed);

// "Output1.Threshold = 50 ignored: Output1.Source 0 does not compare" for each threshold of `asked` the write
// drops, where `written` is what goes to the instrument (`asked` completed from it), and "Output1.Threshold
// 77.500 cleared: Output1.Source 0 does not compare" for each threshold the instrument held that the write clears.
std::vector<std::string> ignoredValues(const ParsedConfig &asked, const Configuration &written);

// Keys of `asked` whose value `actual` does not hold, as "Key: asked for X, the instrument holds Y".
std::vector<std::string> differences(const ParsedConfig &asked, const Configuration &actual);

} // namespace torvex::cli
