#include "cli/cli_args.h"

#include "config/number_text.h"

#include <array>
#include <set>
#include <utility>

namespace torvex::cli {
namespace {

enum Opt : unsigned {
    kDevice = 1u << 0,
    kDemo = 1u << 1,
    kSettings = 1u << 2,
    kSeconds = 1u << 3,
    kColumns = 1u << 4,
    kMod = 1u << 5,
    kExitOnUnplug = 1u << 6,
    kFormat = 1u << 7,
    kVerify = 1u << 8,
    kTimeout = 1u << 9,
};

unsigned allowedOptions(Command command)
{
    switch (command) {
    case Command::List:
        return kDemo;
    case Command::Watch:
        return kDevice | kDemo | kSettings | kSeconds | kExitOnUnplug;
    case Command::Log:
        return kDevice | kDemo | kSettings | kSeconds | kColumns | kMod | kExitOnUnplug;
    case Command::ConfigGet:
        return kDevice | kDemo | kFormat | kTimeout;
    case Command::ConfigSet:
        return kDevice | kDemo | kVerify | kTimeout;
    case Command::None:
        break;
    }
    return 0;
}

std::optional<std::int64_t> parseWhole(std::string_view text)
{
    const auto value = parseInt32(text);
    if (!value)
        return std::nullopt;
    return *value;
}

std::string_view commandName(Command command)
{
    switch (command) {
    case Command::List:
        return "list";
    case Command::Watch:
        return "watch";
    case Command::Log:
        return "log";
    case Command::ConfigGet:
        return "config get";
    case Command::ConfigSet:
        return "config set";
    case Command::None:
        break;
    }
    return "";
}

} // namespace

std::optional<LogColumns> parseColumns(std::string_view list)
{
    if (list == "all")
        return LogColumns::all(true);
    LogColumns columns = LogColumns::all(false);
    if (list == "none")
        return columns;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(',', start);
        if (end == std::string_view::npos)
            end = list.size();
        const auto index = findLogColumn(list.substr(start, end - start));
        if (!index)
            return std::nullopt;
        columns[*index] = true;
        start = end + 1;
    }
    return columns;
}

ParsedArguments parseArguments(const std::vector<std::string_view> &args)
{
    ParsedArguments result;
    CliOptions &o = result.options;
    std::vector<std::string_view> positional;
    std::set<std::string_view> seen;
    unsigned used = 0;
    auto fail = [&](std::string message) {
        result.error = std::move(message);
        return result;
    };

    for (size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg.size() < 2 || arg[0] != '-' || arg == "--") {
            if (arg == "--") {
                positional.insert(positional.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
                break;
            }
            positional.push_back(arg);
            continue;
        }
        std::string_view name = arg;
        std::optional<std::string_view> inlineValue;
        if (const size_t eq = arg.find('='); eq != std::string_view::npos) {
            name = arg.substr(0, eq);
            inlineValue = arg.substr(eq + 1);
        }
        auto value = [&]() -> std::optional<std::string_view> {
            if (inlineValue)
                return inlineValue;
            if (i + 1 < args.size())
                return args[++i];
            return std::nullopt;
        };
        if (!seen.insert(name).second)
            return fail(std::string(name) + " given twice");

        if (name == "--help" || name == "-h") {
            o.help = true;
        } else if (name == "--version") {
            o.version = true;
        } else if (name == "--demo") {
            used |= kDemo;
            o.demo = 1;
            if (inlineValue) {
                const auto n = parseWhole(*inlineValue);
                if (!n || *n < 1 || *n > 16)
                    return fail("--demo=N needs a number of instruments from 1 to 16");
                o.demo = static_cast<int>(*n);
            }
        } else if (name == "--demo-interval") {
            used |= kDemo;
            const auto v = value();
            const auto ms = v ? parseWhole(*v) : std::nullopt;
            if (!ms || *ms < 0 || *ms > 9999)
                return fail("--demo-interval needs milliseconds from 1 to 9999, or 0 to send back to back");
            o.demoInterval = static_cast<int>(*ms);
            o.demoFlood = *ms == 0;
        } else if (name == "--device") {
            used |= kDevice;
            const auto v = value();
            if (!v || v->empty())
                return fail("--device needs the path of a device (see torvex-cli list)");
            o.device = std::string(*v);
        } else if (name == "--settings") {
            used |= kSettings;
            const auto v = value();
            if (!v || v->empty())
                return fail("--settings needs the path of a config.ini");
            o.settings = std::string(*v);
        } else if (name == "--seconds") {
            used |= kSeconds;
            const auto v = value();
            const auto s = v ? parseWhole(*v) : std::nullopt;
            if (!s || *s < 1)
                return fail("--seconds needs a whole number of seconds, 1 or more");
            o.duration = std::chrono::seconds(*s);
        } else if (name == "--columns") {
            used |= kColumns;
            const auto v = value();
            o.columns = v ? parseColumns(*v) : std::nullopt;
            if (!o.columns) {
                std::string names;
                for (std::string_view column : kLogColumnNames)
                    names += std::string(names.empty() ? "" : ", ") + std::string(column);
                return fail("--columns needs a comma-separated list of " + names + " (or all, or none)");
            }
        } else if (name == "--mod") {
            used |= kMod;
            const auto v = value();
            const auto m = v ? parseWhole(*v) : std::nullopt;
            if (!m || *m < kModuloMin || *m > kModuloMax)
                return fail("--mod needs a whole number from " + std::to_string(kModuloMin) + " to "
                            + std::to_string(kModuloMax));
            o.modulo = static_cast<std::int32_t>(*m);
        } else if (name == "--exit-on-unplug") {
            used |= kExitOnUnplug;
            o.exitOnUnplug = true;
        } else if (name == "--format") {
            used |= kFormat;
            const auto v = value();
            if (v == "ini")
                o.format = ConfigFormat::Ini;
            else if (v == "json")
                o.format = ConfigFormat::Json;
            else
                return fail("--format needs ini or json");
        } else if (name == "--verify") {
            used |= kVerify;
            o.verify = true;
        } else if (name == "--timeout") {
            used |= kTimeout;
            const auto v = value();
            const auto ms = v ? parseWhole(*v) : std::nullopt;
            if (!ms || *ms < 1 || *ms > 60000)
                return fail("--timeout needs milliseconds from 1 to 60000");
            o.timeout = std::chrono::milliseconds(*ms);
        } else {
            return fail("unknown option " + std::string(name));
        }
        // Options that take no value must not be given one.
        if (inlineValue
            && (name == "--help" || name == "-h" || name == "--version" || name == "--exit-on-unplug"
                || name == "--verify"))
            return fail(std::string(name) + " takes no value");
    }

    size_t next = 0;
    if (next < positional.size()) {
        const std::string_view word = positional[next++];
        if (word == "list") {
            o.command = Command::List;
        } else if (word == "watch") {
            o.command = Command::Watch;
        } else if (word == "log") {
            o.command = Command::Log;
        } else if (word == "config") {
            if (next == positional.size()) {
                if (o.help)
                    return result; // "config --help": help of the program
                return fail("config needs get or set");
            }
            const std::string_view sub = positional[next++];
            if (sub == "get")
                o.command = Command::ConfigGet;
            else if (sub == "set")
                o.command = Command::ConfigSet;
            else
                return fail("config needs get or set, not " + std::string(sub));
        } else {
            return fail("unknown command " + std::string(word));
        }
    }
    if (o.help || o.version)
        return result;
    if (o.command == Command::None)
        return fail("no command given");

    const bool needsFile = o.command == Command::Log || o.command == Command::ConfigSet;
    if (needsFile) {
        if (next == positional.size())
            return fail(std::string(commandName(o.command)) + " needs a FILE");
        o.file = std::string(positional[next++]);
    }
    if (next < positional.size())
        return fail("unexpected argument " + std::string(positional[next]));

    const unsigned foreign = used & ~allowedOptions(o.command);
    if (foreign != 0)
        return fail("an option given does not apply to " + std::string(commandName(o.command)));
    if ((used & kDemo) != 0 && o.demo == 0)
        o.demo = 1; // --demo-interval alone
    return result;
}

std::string usageLine(Command command)
{
    switch (command) {
    case Command::List:
        return "usage: torvex-cli list [--demo[=N]]";
    case Command::Watch:
        return "usage: torvex-cli watch [--device PATH] [--settings FILE] [--seconds N] [--exit-on-unplug] "
               "[--demo[=N]]";
    case Command::Log:
        return "usage: torvex-cli log FILE [--device PATH] [--seconds N] [--columns LIST] [--mod M] "
               "[--settings FILE] [--exit-on-unplug] [--demo[=N]]";
    case Command::ConfigGet:
        return "usage: torvex-cli config get [--device PATH] [--format ini|json] [--timeout MS] [--demo[=N]]";
    case Command::ConfigSet:
        return "usage: torvex-cli config set FILE [--device PATH] [--verify] [--timeout MS] [--demo[=N]]";
    case Command::None:
        break;
    }
    return "usage: torvex-cli list|watch|log|config get|config set [OPTIONS]   (torvex-cli COMMAND --help)";
}

std::string helpText(Command command)
{
    const std::string demo = "  --demo[=N]        use N simulated instruments (default 1) instead of the HID devices\n"
                             "  --demo-interval MS  their send interval (0: back to back)\n";
    const std::string device = "  --device PATH     the instrument to use (see torvex-cli list); needed when several\n"
                               "                    are connected, which are then listed (exit code 2)\n";
    switch (command) {
    case Command::List:
        return usageLine(command)
            + "\n\nLists every HID device: the name the window shows, its path, vendor and product id and\n"
              "report lengths. TORVEX instruments are marked with *; devices that cannot be opened for\n"
              "reading and writing say why.\n\n"
            + demo;
    case Command::Watch:
        return usageLine(command)
            + "\n\nShows the live values of the instrument about 4 times a second: on one screen when the\n"
              "output is a terminal, otherwise one line per refresh.\n\n"
            + device
            + "  --settings FILE   take encoder names and units from the window's config.ini\n"
              "  --seconds N       stop after N seconds (default: Ctrl+C)\n"
              "  --exit-on-unplug  end when the instrument goes away instead of waiting for it\n"
            + demo;
    case Command::Log:
        return usageLine(command)
            + "\n\nAppends one line per measurement report to FILE, in the window's log format, until Ctrl+C,\n"
              "SIGTERM or --seconds. The file is flushed at least once a second. Lines the file cannot take\n"
              "wait in memory (up to 10 minutes at 1000 reports/s) and go in first once it can; those still\n"
              "waiting at the end go to FILE's name with .recovered before its extension (beside it, else\n"
              "in the home folder), named on standard error, and the exit code is 3.\n\n"
            + device
            + "  --seconds N       stop after N seconds\n"
              "  --columns LIST    date,time,cnt,cntmod,enc1p,enc2p,enc3p,enc1v,enc2v,enc3v,output, or all\n"
              "                    (the line's order is fixed; default: the settings file's, else all)\n"
              "  --mod M           divisor of the cntmod column, 1 to 99999999 (default: the settings file's, "
              "else 1)\n"
              "  --settings FILE   the window's config.ini: its log columns and modulo\n"
              "  --exit-on-unplug  end when the instrument goes away instead of waiting for it\n"
            + demo;
    case Command::ConfigGet:
        return usageLine(command)
            + "\n\nReads every configuration parameter of the instrument and prints it, in ini form\n"
              "(Encoder2.GateTime = 1000) or as JSON. The output is a file for config set.\n\n"
            + device
            + "  --format ini|json output form (default ini)\n"
              "  --timeout MS      wait this long for each answer (default 1000)\n"
            + demo;
    case Command::ConfigSet:
        return usageLine(command)
            + "\n\nWrites every parameter of FILE (ini or JSON, as config get prints it) to the instrument and\n"
              "waits for each acknowledgement. Values outside the window's limits are refused and nothing\n"
              "is sent.\n\n"
            + device
            + "  --verify          read everything back afterwards and list any difference\n"
              "  --timeout MS      wait this long for each answer (default 1000)\n"
            + demo;
    case Command::None:
        break;
    }
    return usageLine(command)
        + "\n\nTORVEX counter from the command line.\n\n"
          "  list              the HID devices, instruments marked\n"
          "  watch             live values in the terminal\n"
          "  log FILE          record every measurement to FILE in the window's log format\n"
          "  config get        print the instrument's configuration (backup)\n"
          "  config set FILE   write a configuration to the instrument (restore, cloning)\n\n"
          "  --help            help of a command: torvex-cli COMMAND --help\n"
          "  --version         version of the program\n\n"
          "With one TORVEX connected the commands use it; with several, name one with --device PATH.\n\n"
          "Exit codes: 0 done, 1 usage, 2 no instrument, several without --device, or no access,\n"
          "3 I/O error.\n";
}

} // namespace torvex::cli
