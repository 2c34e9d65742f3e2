#include "cli/cli_args.h"

#include "config/number_text.h"

#include <CLI/CLI.hpp>

#include <map>
#include <memory>
#include <utility>

namespace torvex::cli {
namespace {

// What CLI11 collects: every option as the words given, so that each is checked below with a message of our
// own, and a second use or a missing value can be told apart from a wrong one.
struct Raw {
    std::vector<std::string> device, demo, demoInterval, settings, seconds, columns, mod, format, timeout,
        decimalSeparator, output, skip, positional;
    int exitOnUnplug = 0, wait = 0, verify = 0;
    // publish
    std::vector<std::string> publishUrl, name, passwordFile, caFile, certFile, keyFile, batchMs;
    int insecure = 0;
};

struct CommandInfo {
    Command command;
    const char *usage;
};

// The usage lines, also shown after a usage error.
const std::map<std::string, CommandInfo, std::less<>> kCommands{
    {"", {Command::None, "usage: torvex-cli list|watch|log|config get|config set|config keys|help [OPTIONS]"}},
    {"help", {Command::Help, "usage: torvex-cli help [COMMAND]"}},
    {"list", {Command::List, "usage: torvex-cli list [--format text|tsv|json] [--demo[=N]]"}},
    {"watch",
     {Command::Watch,
      "usage: torvex-cli watch [--device DEVICE] [--format text|csv|json] [--settings FILE] "
      "[--seconds N] [--decimal-separator ,|.] [--wait] [--exit-on-unplug] [--demo[=N]]"}},
    {"log",
     {Command::Log,
      "usage: torvex-cli log FILE|- [--device DEVICE] [--seconds N] [--columns LIST] [--mod M] "
      "[--settings FILE] [--decimal-separator ,|.] [--wait] [--exit-on-unplug] [--publish URL [--name ID] "
      "[--password-file FILE] [--cafile FILE] [--cert FILE --key FILE] [--insecure] [--batch-ms MS]] "
      "[--demo[=N]]"}},
    {"publish",
     {Command::Publish,
      "usage: torvex-cli publish mqtt[s]://[USER@]HOST[:PORT]/PREFIX [--device DEVICE] [--name ID] [--seconds N] "
      "[--password-file FILE] [--cafile FILE] [--cert FILE --key FILE] [--insecure] [--batch-ms MS] [--wait] "
      "[--exit-on-unplug] [--demo[=N]]"}},
    {"config", {Command::None, "usage: torvex-cli config get|set|keys [OPTIONS]   (torvex-cli config COMMAND --help)"}},
    {"config get",
     {Command::ConfigGet,
      "usage: torvex-cli config get [-o FILE] [--device DEVICE] [--format ini|json] [--timeout MS] "
      "[--demo[=N]]"}},
    {"config set",
     {Command::ConfigSet,
      "usage: torvex-cli config set FILE|-|KEY=VALUE... [--device DEVICE] [--verify] "
      "[--skip KEY]... [--timeout MS] [--demo[=N]]"}},
    {"config keys", {Command::ConfigKeys, "usage: torvex-cli config keys"}},
};

const char *const kDeviceHelp = "the instrument to use: its node (/dev/hidraw3), a link to the node, its serial "
                                "number or its USB port (torvex-cli list shows them); needed when several are "
                                "connected, which are then listed (exit code 2)";
const char *const kDecimalHelp =
    "the decimal mark of the values, \",\" or \".\"; by default the window's on this machine: that of the locale "
    "in LC_ALL, LC_NUMERIC or LANG, or where none is set (cron, services) of the machine's default locale";
const char *const kExitCodes =
    "Exit codes: 0 done, 1 usage (or a refused FILE), 2 no instrument, several without --device, no access, or\n"
    "gone during a config command, 3 I/O error (log file, a missing answer or acknowledgement, differences found\n"
    "by --verify, reports the broker never acknowledged, another torvex-cli publishing the instrument), 4 the\n"
    "broker refused the connection or could not be reached at the start, 128+N stopped by signal N before the\n"
    "command was done (130 Ctrl+C, 143 SIGTERM; watch, log and publish end with 0 that way).\n";

bool anyCommandHas(const CLI::App &app, const std::string &name)
{
    for (const CLI::App *sub : app.get_subcommands({}))
        if (sub->get_option_no_throw(name) != nullptr || anyCommandHas(*sub, name))
            return true;
    return false;
}

// The path of words that names `app` ("config get").
std::string pathOf(const CLI::App *app)
{
    std::string path;
    for (; app != nullptr && app->get_parent() != nullptr; app = app->get_parent())
        path = app->get_name() + (path.empty() ? "" : " " + path);
    return path;
}

const char *usageOf(const CLI::App *app)
{
    const auto found = kCommands.find(pathOf(app));
    return found != kCommands.end() ? found->second.usage : kCommands.at("").usage;
}

constexpr std::size_t kHelpWidth = 100;
constexpr std::size_t kOptionColumn = 22;

// `text` in lines of at most `width` characters, broken at blanks.
std::string wrapped(std::string_view text, std::size_t width)
{
    std::string out;
    std::size_t lineLength = 0;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find(' '), text.size());
        const std::string_view word = text.substr(0, end);
        if (lineLength > 0 && lineLength + 1 + word.size() > width) {
            out += '\n';
            lineLength = 0;
        } else if (lineLength > 0) {
            out += ' ';
            ++lineLength;
        }
        out += word;
        lineLength += word.size();
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return out;
}

// The usage line of `app`, wrapped with its continuation lines indented.
std::string usageText(const CLI::App *app)
{
    std::string text = wrapped(usageOf(app), kHelpWidth - 6);
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1))
        text.insert(at + 1, "      ");
    return text;
}

// An option's line as the option lists show it, for the texts written by hand.
std::string footerOption(const std::string &name, std::string_view description)
{
    std::string line = "  " + name;
    line.resize(kOptionColumn, ' ');
    std::string text = wrapped(description, kHelpWidth - kOptionColumn - 2);
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1))
        text.insert(at + 1, std::string(kOptionColumn, ' '));
    return line + text + "\n";
}

// CLI11's layout with our usage line first, then what the command does at length (the list of commands shows
// only their one-line summaries), --demo[=N] as users type it, no type names, descriptions wrapped.
class HelpFormatter : public CLI::Formatter {
public:
    HelpFormatter()
    {
        column_width(kOptionColumn);
        label("Positionals", "Arguments");
        label("Subcommands", "Commands");
    }
    std::map<std::string, std::string, std::less<>> details; // by the command's words

    std::string make_help(const CLI::App *app, std::string, CLI::AppFormatMode mode) const override
    {
        if (mode == CLI::AppFormatMode::Sub)
            return make_expanded(app);
        const auto detail = details.find(pathOf(app));
        const std::string about = detail != details.end() ? detail->second : app->get_description();
        return usageText(app) + "\n\n" + wrapped(about, kHelpWidth) + "\n" + make_positionals(app)
            + make_groups(app, mode) + make_subcommands(app, mode) + "\n" + make_footer(app);
    }
    std::string make_option_desc(const CLI::Option *opt) const override
    {
        return wrapped(opt->get_description(), kHelpWidth - kOptionColumn - 2);
    }
    std::string make_option_name(const CLI::Option *opt, bool positional) const override
    {
        std::string name = CLI::Formatter::make_option_name(opt, positional);
        if (const auto brace = name.find('{'); brace != std::string::npos)
            name = name.substr(0, brace) + "[=N]";
        return name;
    }
    std::string make_option_opts(const CLI::Option *opt) const override
    {
        return opt->get_option_text().empty() ? std::string() : " " + opt->get_option_text();
    }
};

class Parser {
public:
    explicit Parser(const std::string &version) : app_("TORVEX counter from the command line.", "torvex-cli")
    {
        app_.formatter(formatter_);
        app_.allow_extras();
        app_.require_subcommand(0, 1);
        app_.set_version_flag("--version", "torvex-cli " + version);
        app_.footer("Options of the commands (torvex-cli COMMAND --help for all of them):\n"
                    + footerOption("--device DEVICE", kDeviceHelp)
                    + footerOption("--demo[=N]", "use N simulated instruments (default 1) instead of the HID devices")
                    + "\nWith one TORVEX connected the commands use it; with several, name one with --device.\n\n"
                    + kExitCodes);

        CLI::App *list = command(app_, "list", "list the HID devices and mark the TORVEX instruments");
        detail(list,
               "Lists every HID device: the name the window shows, its node, serial number and USB port, "
               "vendor and product id and report lengths. TORVEX instruments are marked with *; devices "
               "that cannot be opened for reading and writing say why. Exit code 2 when no instrument "
               "is present.");
        option(list, "--format", raw_.format, "FORMAT",
               "text (aligned, with a legend), tsv (one device a line: node, name, instrument yes/no, serial, "
               "port, vendor id, product id, input and output report length, access ok or the reason) or json "
               "(an array of objects); tsv and json put nothing but the devices on standard output");
        demo(list);

        CLI::App *watch = command(app_, "watch", "show the live values in the terminal, or one line per report");
        detail(watch,
               "Shows the live values of the instrument about 4 times a second: on one screen when the "
               "output is a terminal, otherwise one line per refresh. With --format csv or json, one "
               "line per measurement report instead.");
        device(watch);
        option(watch, "--format", raw_.format, "FORMAT",
               "text (the screen or a line per refresh), csv (a header, then one line per report: values with "
               "\".\", fields separated by \",\") or json (one object a line per report)");
        option(watch, "--settings", raw_.settings, "FILE", "take encoder names and units from the window's config.ini");
        option(watch, "--seconds", raw_.seconds, "N", "stop after N seconds (default: Ctrl+C)");
        option(watch, "--decimal-separator", raw_.decimalSeparator, ",|.", kDecimalHelp);
        unplugOptions(watch);
        demo(watch);

        CLI::App *log = command(app_, "log", "record every measurement to FILE in the window's log format");
        detail(log,
               "Appends one line per measurement report to FILE (- for standard output), in the window's "
               "log format, until Ctrl+C, SIGTERM or --seconds. The file is flushed at least once a "
               "second. Lines the file cannot take wait in memory (up to 10 minutes at 1000 reports/s) "
               "and go in first once it can; those still waiting at the end go to FILE's name with "
               ".recovered before its extension (beside it, else in the home folder), named on standard "
               "error, and the exit code is 3.");
        positional(log, "FILE", "the log file, created when missing; - writes to standard output");
        device(log);
        option(log, "--seconds", raw_.seconds, "N", "stop after N seconds");
        option(log, "--columns", raw_.columns, "LIST",
               "date,time,cnt,cntmod,enc1p,enc2p,enc3p,enc1v,enc2v,enc3v,output, or all (the line's order is "
               "fixed; default: the settings file's, else all)");
        option(log, "--mod", raw_.mod, "M",
               "divisor of the cntmod column, 1 to 99999999 (default: the settings file's, else 1)");
        option(log, "--settings", raw_.settings, "FILE", "the window's config.ini: its log columns and modulo");
        option(log, "--decimal-separator", raw_.decimalSeparator, ",|.", kDecimalHelp);
        unplugOptions(log);
        option(log, "--publish", raw_.publishUrl, "URL",
               "also publish every measurement to the MQTT broker at URL, as torvex-cli publish does, from the "
               "same reading of the instrument: a broker that is away never holds up the file, nor the file the "
               "broker");
        nameOption(log);
        publishOptions(log);
        demo(log);

        publishCommand();

        CLI::App *config = command(app_, "config", "the instrument's configuration: get, set, keys");
        detail(config, "The instrument's configuration as a file of KEY = VALUE lines (or JSON).");
        config->require_subcommand(0, 1);
        CLI::App *get = command(*config, "get", "print the configuration (a backup, a file for config set)");
        detail(get,
               "Reads every configuration parameter of the instrument and prints it, in ini form "
               "(Encoder2.GateTime = 1000, a list value with its item as a comment) or as JSON.");
        device(get);
        option(get, "-o,--output", raw_.output, "FILE",
               "write it to FILE (a backup) instead of standard output, only when every value was read: a "
               "failed or partial read leaves FILE as it was");
        option(get, "--format", raw_.format, "ini|json", "output form (default ini)");
        option(get, "--timeout", raw_.timeout, "MS", "wait this long for each answer (default 1000)");
        demo(get);

        CLI::App *set = command(*config, "set", "write a configuration to the instrument (restore, cloning)");
        detail(set,
               "Writes every parameter of FILE (ini or JSON, as config get prints it; - reads standard "
               "input) or of the KEY=VALUE arguments to the instrument and waits for each "
               "acknowledgement. Values outside the window's limits are refused and nothing is sent.");
        positional(set, "FILE|-|KEY=VALUE", "a configuration file, - for standard input, or KEY=VALUE ...");
        device(set);
        set->add_flag("--verify", raw_.verify,
                      "read everything back afterwards and list each value the instrument does not hold as asked")
            ->disable_flag_override();
        option(set, "--skip", raw_.skip, "KEY",
               "leave KEY out (may be given more than once), e.g. ModbusAddress when one file is cloned onto the "
               "instruments of one MODBUS line");
        option(set, "--timeout", raw_.timeout, "MS", "wait this long for each answer (default 1000)");
        demo(set);

        CLI::App *keys = command(*config, "keys", "every key with its items or its unit and limits");
        detail(keys,
               "Lists every key of a configuration file: a list's items with their indexes, a number's "
               "limits and unit.");

        CLI::App *help = command(app_, "help", "the help of a command: torvex-cli help COMMAND");
        detail(help, "Shows the help of a command.");
        positional(help, "COMMAND", "a command, e.g. log or config set");
    }

    ParsedArguments parse(const std::vector<std::string_view> &args)
    {
        std::vector<std::string> words(args.rbegin(), args.rend()); // CLI11 takes them in reverse
        try {
            app_.parse(words);
        } catch (const CLI::CallForHelp &) {
            result_.help = deepest()->help();
            return result_;
        } catch (const CLI::CallForVersion &) {
            result_.help = app_.version() + "\n";
            return result_;
        } catch (const CLI::ParseError &e) {
            // CLI11's own words for the few mistakes it finds itself.
            const std::string what = e.what();
            if (const auto at = what.find(" was given a disallowed flag override"); at != std::string::npos)
                return fail("--" + what.substr(0, at) + " takes no value");
            return fail(what);
        }
        check();
        return result_;
    }

private:
    void detail(const CLI::App *app, const char *text) { formatter_->details[pathOf(app)] = text; }

    CLI::App *command(CLI::App &parent, const char *name, const char *summary)
    {
        CLI::App *sub = parent.add_subcommand(name, summary);
        sub->allow_extras();
        sub->footer(kExitCodes);
        return sub;
    }

    void option(CLI::App *app, const char *name, std::vector<std::string> &into, const char *valueText,
                const char *description)
    {
        // Any number of uses and an optional value: a second use and a missing value get our own messages.
        app->add_option(name, into, description)
            ->option_text(valueText)
            ->expected(0, 1)
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    }

    void positional(CLI::App *app, const char *name, const char *description)
    {
        app->add_option(name, raw_.positional, description)->option_text("");
    }

    void device(CLI::App *app) { option(app, "--device", raw_.device, "DEVICE", kDeviceHelp); }

    void unplugOptions(CLI::App *app)
    {
        app->add_flag("--wait", raw_.wait,
                      "wait for the instrument when it is not there at the start instead of ending with exit code "
                      "2 (for services)")
            ->disable_flag_override();
        app->add_flag("--exit-on-unplug", raw_.exitOnUnplug,
                      "end when the instrument goes away instead of waiting for it")
            ->disable_flag_override();
    }

    void demo(CLI::App *app)
    {
        app->add_flag("--demo{1}", raw_.demo, "use N simulated instruments (default 1) instead of the HID devices");
        option(app, "--demo-interval", raw_.demoInterval, "MS", "their send interval (0: back to back)");
    }

    void publishCommand()
    {
        CLI::App *publish = command(app_, "publish", "publish every measurement to an MQTT broker");
        detail(publish,
               "Publishes every measurement report to the broker at URL, in batches (QoS 1, JSON) on "
               "PREFIX/ID/measurements, until Ctrl+C, SIGTERM or --seconds; PREFIX/ID/status (retained) says "
               "online, unplugged or offline, PREFIX/ID/info (retained) what publishes. ID is the instrument's "
               "serial number or --name. While the broker is away or slow, reports wait in memory (up to 10 "
               "minutes at 1000 reports/s) and go out in order once it is back; a batch counts as published "
               "only when the broker has acknowledged it. Those never acknowledged go to a recovery file of "
               "JSON lines at the end, named on standard error, and the exit code is 3.");
        positional(publish, "URL", "mqtt://HOST[:PORT]/PREFIX, or mqtts:// for TLS; a user name as USER@HOST");
        device(publish);
        nameOption(publish);
        option(publish, "--seconds", raw_.seconds, "N", "stop after N seconds");
        publishOptions(publish);
        unplugOptions(publish);
        demo(publish);
    }

    void nameOption(CLI::App *app)
    {
        option(app, "--name", raw_.name, "ID",
               "the instrument's name in the topics instead of its serial number (needed when it has none); "
               "no '/', '+', '#' or control characters");
    }

    // The broker's options, shared by publish and log --publish.
    void publishOptions(CLI::App *app)
    {
        option(app, "--password-file", raw_.passwordFile, "FILE",
               "the broker password: the first line of FILE (else the environment variable "
               "TORVEX_MQTT_PASSWORD; never on the command line)");
        option(app, "--cafile", raw_.caFile, "FILE",
               "mqtts: the authority the broker's certificate must come from (default: the system's)");
        option(app, "--cert", raw_.certFile, "FILE", "mqtts: this client's certificate, when the broker asks for one");
        option(app, "--key", raw_.keyFile, "FILE", "mqtts: the key of --cert");
        app->add_flag("--insecure", raw_.insecure,
                      "mqtts: do not check the broker's certificate (anyone on the way can read and change the "
                      "data; a warning is shown)")
            ->disable_flag_override();
        option(app, "--batch-ms", raw_.batchMs, "MS", "publish a batch at most every MS, 10 to 10000 (default 100)");
    }

    CLI::App *deepest()
    {
        CLI::App *app = &app_;
        while (!app->get_subcommands().empty())
            app = app->get_subcommands().front();
        return app;
    }

    // The first mistake is the one reported.
    ParsedArguments &fail(std::string message)
    {
        if (result_.error.empty()) {
            result_.error = std::move(message);
            result_.usage = usageText(deepest());
        }
        return result_;
    }

    // One use of an option at most; nullopt when it was not given, "" when it was given without a value.
    std::optional<std::string> once(const std::vector<std::string> &given, const std::string &name)
    {
        if (given.size() > 1)
            fail(name + " given twice");
        return given.empty() ? std::nullopt : std::optional<std::string>(given.front());
    }

    std::optional<std::int64_t> whole(const std::optional<std::string> &text)
    {
        const auto value = text ? parseInt32(*text) : std::nullopt;
        return value ? std::optional<std::int64_t>(*value) : std::nullopt;
    }

    void check();
    void checkPublish();
    void checkFormat(const std::optional<std::string> &text);
    void checkPositionals();

    std::shared_ptr<HelpFormatter> formatter_ = std::make_shared<HelpFormatter>();
    CLI::App app_;
    Raw raw_;
    ParsedArguments result_;
};

void Parser::check()
{
    CLI::App *app = deepest();
    CliOptions &o = result_.options;
    const std::string path = pathOf(app);
    o.command = path.empty() ? Command::None : kCommands.at(path).command;

    for (CLI::App *a = app; a != nullptr; a = a->get_parent()) {
        for (const std::string &extra : a->remaining()) {
            if (extra == "--")
                continue;
            if (extra.size() > 1 && extra[0] == '-') {
                const std::string name = extra.substr(0, extra.find('='));
                if (!anyCommandHas(app_, name))
                    return (void)fail("unknown option " + name);
                // Given before the command's words, it reached the program, not the command.
                if (a != app && app->get_option_no_throw(name) != nullptr)
                    return (void)fail(name + " goes after the command: torvex-cli " + path + " " + name);
                if (a != app || path.empty())
                    return (void)fail(name + " goes after the command, e.g. torvex-cli list " + name);
                return (void)fail(name + " does not apply to " + path);
            }
            if (path.empty())
                return (void)fail("unknown command " + extra);
            if (path == "config")
                return (void)fail("config needs get, set or keys, not " + extra);
            return (void)fail("unexpected argument " + extra);
        }
    }
    if (o.command == Command::None)
        return (void)fail(path == "config" ? "config needs get, set or keys" : "no command given");

    if (const auto v = once(raw_.device, "--device")) {
        if (v->empty())
            return (void)fail("--device needs a device: its node, serial number or port (see torvex-cli list)");
        o.device = *v;
    }
    if (const auto v = once(raw_.demo, "--demo")) {
        const auto n = whole(v);
        if (!n || *n < 1 || *n > 16)
            return (void)fail("--demo=N needs a number of instruments from 1 to 16");
        o.demo = static_cast<int>(*n);
    }
    if (const auto v = once(raw_.demoInterval, "--demo-interval")) {
        const auto ms = whole(v);
        if (!ms || *ms < 0 || *ms > 9999)
            return (void)fail("--demo-interval needs milliseconds from 1 to 9999, or 0 to send back to back");
        o.demoInterval = static_cast<int>(*ms);
        o.demoFlood = *ms == 0;
        o.demo = std::max(o.demo, 1);
    }
    if (const auto v = once(raw_.settings, "--settings")) {
        if (v->empty())
            return (void)fail("--settings needs the path of a config.ini");
        o.settings = *v;
    }
    if (const auto v = once(raw_.output, "-o")) {
        if (v->empty())
            return (void)fail("-o needs a FILE");
        o.output = *v == "-" ? std::string() : *v;
    }
    if (const auto v = once(raw_.seconds, "--seconds")) {
        const auto s = whole(v);
        if (!s || *s < 1)
            return (void)fail("--seconds needs a whole number of seconds, 1 or more");
        o.duration = std::chrono::seconds(*s);
    }
    if (const auto v = once(raw_.columns, "--columns")) {
        o.columns = parseColumns(*v);
        if (!o.columns) {
            std::string names;
            for (std::string_view column : kLogColumnNames)
                names += std::string(names.empty() ? "" : ", ") + std::string(column);
            return (void)fail("--columns needs a comma-separated list of " + names + " (or all, or none)");
        }
    }
    if (const auto v = once(raw_.mod, "--mod")) {
        const auto m = whole(v);
        if (!m || *m < kModuloMin || *m > kModuloMax)
            return (void)fail("--mod needs a whole number from " + std::to_string(kModuloMin) + " to "
                              + std::to_string(kModuloMax));
        o.modulo = static_cast<std::int32_t>(*m);
    }
    if (const auto v = once(raw_.decimalSeparator, "--decimal-separator")) {
        if (*v != "," && *v != ".")
            return (void)fail("--decimal-separator needs , or .");
        o.decimalSeparator = v->front();
    }
    if (const auto v = once(raw_.timeout, "--timeout")) {
        const auto ms = whole(v);
        if (!ms || *ms < 1 || *ms > 60000)
            return (void)fail("--timeout needs milliseconds from 1 to 60000");
        o.timeout = std::chrono::milliseconds(*ms);
    }
    checkFormat(once(raw_.format, "--format"));
    for (const auto &[flag, name] : {std::pair{raw_.verify, "--verify"}, std::pair{raw_.wait, "--wait"},
                                     std::pair{raw_.exitOnUnplug, "--exit-on-unplug"}})
        if (flag > 1)
            fail(std::string(name) + " given twice");
    o.verify = raw_.verify > 0;
    o.wait = raw_.wait > 0;
    o.exitOnUnplug = raw_.exitOnUnplug > 0;
    for (const std::string &key : raw_.skip) {
        if (key.empty())
            return (void)fail("--skip needs a KEY (torvex-cli config keys lists them)");
        o.skip.push_back(key);
    }
    checkPublish();
    if (result_.error.empty())
        checkPositionals();
}

void Parser::checkPublish()
{
    CliOptions::Publish &p = result_.options.publish;
    auto file = [&](const std::vector<std::string> &given, const char *name, std::string &into) {
        if (const auto v = once(given, name)) {
            if (v->empty())
                fail(std::string(name) + " needs a FILE");
            into = *v;
        }
    };
    if (const auto v = once(raw_.publishUrl, "--publish")) {
        if (v->empty())
            return (void)fail("--publish needs the broker's URL, e.g. mqtt://broker.example/plant");
        p.url = *v;
    }
    const bool anyBrokerOption = !raw_.name.empty() || !raw_.passwordFile.empty() || !raw_.caFile.empty()
        || !raw_.certFile.empty() || !raw_.keyFile.empty() || !raw_.batchMs.empty() || raw_.insecure > 0;
    if (result_.options.command == Command::Log && p.url.empty() && anyBrokerOption)
        return (void)fail("--name, --password-file, --cafile, --cert, --key, --insecure and --batch-ms go with "
                          "--publish URL");
    if (const auto v = once(raw_.name, "--name")) {
        if (v->empty())
            return (void)fail("--name needs an ID");
        p.name = *v;
    }
    file(raw_.passwordFile, "--password-file", p.passwordFile);
    file(raw_.caFile, "--cafile", p.caFile);
    file(raw_.certFile, "--cert", p.certFile);
    file(raw_.keyFile, "--key", p.keyFile);
    if (p.certFile.empty() != p.keyFile.empty())
        return (void)fail("--cert and --key go together");
    if (raw_.insecure > 1)
        return (void)fail("--insecure given twice");
    p.insecure = raw_.insecure > 0;
    if (const auto v = once(raw_.batchMs, "--batch-ms")) {
        const auto ms = whole(v);
        if (!ms || *ms < 10 || *ms > 10000)
            return (void)fail("--batch-ms needs milliseconds from 10 to 10000");
        p.batch = std::chrono::milliseconds(*ms);
    }
}

void Parser::checkFormat(const std::optional<std::string> &text)
{
    if (!text)
        return;
    struct Allowed {
        Command command;
        const char *name;
        Format format;
    };
    static constexpr Allowed kAllowed[] = {
        {Command::List, "text", Format::Text},     {Command::List, "tsv", Format::Tsv},
        {Command::List, "json", Format::Json},     {Command::Watch, "text", Format::Text},
        {Command::Watch, "csv", Format::Csv},      {Command::Watch, "json", Format::Json},
        {Command::ConfigGet, "ini", Format::Text}, {Command::ConfigGet, "json", Format::Json},
    };
    std::string names;
    for (const Allowed &a : kAllowed) {
        if (a.command != result_.options.command)
            continue;
        if (*text == a.name) {
            result_.options.format = a.format;
            return;
        }
        names += std::string(names.empty() ? "" : " or ") + a.name;
    }
    fail("--format needs " + names);
}

void Parser::checkPositionals()
{
    CliOptions &o = result_.options;
    std::vector<std::string> &words = raw_.positional;
    switch (o.command) {
    case Command::Help: {
        std::string path;
        for (const std::string &w : words)
            path += (path.empty() ? "" : " ") + w;
        CLI::App *app = &app_;
        for (const std::string &w : words) {
            const auto found = app->get_subcommands([&](const CLI::App *sub) { return sub->get_name() == w; });
            if (found.empty())
                return (void)fail("no command " + path + " (torvex-cli --help lists them)");
            app = found.front();
        }
        result_.help = app->help();
        return;
    }
    case Command::Log:
        if (words.empty())
            return (void)fail("log needs a FILE (- for standard output)");
        o.file = words.front();
        break;
    case Command::Publish:
        if (words.empty())
            return (void)fail("publish needs the broker's URL, e.g. mqtt://broker.example/plant");
        o.publish.url = words.front();
        break;
    case Command::ConfigSet: {
        if (words.empty())
            return (void)fail("config set needs a FILE, - or KEY=VALUE");
        // An assignment starts with a key: letters, digits and dots before its "="; anything else is a file.
        auto isAssignment = [](const std::string &w) {
            const auto eq = w.find('=');
            return eq != std::string::npos && eq > 0
                && w.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789.") == eq;
        };
        if (!isAssignment(words.front())) {
            o.file = words.front();
            words.erase(words.begin());
            if (!words.empty())
                return (void)fail("unexpected argument " + words.front() + " (one FILE, or KEY=VALUE arguments)");
            return;
        }
        for (const std::string &w : words) {
            if (!isAssignment(w))
                return (void)fail("unexpected argument " + w + " (one FILE, or KEY=VALUE arguments)");
            o.assignments.push_back(w);
        }
        return;
    }
    default:
        break;
    }
    const size_t allowed = o.command == Command::Log || o.command == Command::Publish ? 1 : 0;
    if (words.size() > allowed)
        fail("unexpected argument " + words[allowed]);
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

ParsedArguments parseArguments(const std::vector<std::string_view> &args, const std::string &version)
{
    return Parser(version).parse(args);
}

} // namespace torvex::cli
