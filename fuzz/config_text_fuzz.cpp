// A configuration file is untrusted text (ini or JSON, any bytes): it must parse without harm, and whatever it
// gives must come back the same through both written forms, since config get's output is config set's input.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "cli/config_text.h"
#include "fuzz_check.h"

namespace {

void requireSame(const torvex::Configuration &expected, const torvex::Configuration &actual, const char *what)
{
    require(torvex::differingKeys(expected, actual).empty(), what);
    require(torvex::differingKeys(actual, expected).empty(), what);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const torvex::cli::ParsedConfig parsed = torvex::cli::parseConfigText(text);
    require(parsed.texts.size() == parsed.config.values.size(), "a written text per key");
    (void)torvex::cli::checkLimits(parsed);
    (void)torvex::cli::ignoredValues(parsed, parsed.config);
    require(torvex::cli::differences(parsed, parsed.config).empty(), "a configuration differs from itself");
    if (!parsed.errors.empty())
        return 0;

    const torvex::cli::ParsedConfig ini = torvex::cli::parseConfigText(torvex::cli::formatIni(parsed.config));
    require(ini.errors.empty(), "the ini form reads back without errors");
    requireSame(parsed.config, ini.config, "the ini form keeps every value");
    const torvex::cli::ParsedConfig json = torvex::cli::parseConfigText(torvex::cli::formatJson(parsed.config));
    require(json.errors.empty(), "the JSON form reads back without errors");
    requireSame(parsed.config, json.config, "the JSON form keeps every value");
    return 0;
}
