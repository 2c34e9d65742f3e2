#include "cli/cli.h"

#include "cli/demo.h"
#include "cli/link_problem.h"
#include "cli/session.h"
#include "cli/settings_file.h"
#include "cli/text_util.h"
#include "instrument/instrument_link.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>

#ifndef TORVEX_VERSION
#define TORVEX_VERSION "unknown"
#endif

namespace torvex::cli {

namespace {

std::string hex4(std::uint16_t value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04X", unsigned{value});
    return text;
}

std::string orDash(const std::string &text) { return text.empty() ? "-" : text; }

// One aligned line per device, instruments marked with "*", then the notes the marks need.
std::string deviceTable(const std::vector<SurveyedDevice> &devices)
{
    if (devices.empty())
        return "no HID devices found\n";
    std::vector<std::vector<std::string>> rows{{"", "NAME", "DEVICE", "SERIAL", "PORT", "VID:PID", "IN", "OUT", ""}};
    bool anyInstrument = false;
    bool anyWithoutAccess = false;
    for (const SurveyedDevice &d : devices) {
        const ListedDevice &l = d.listed;
        std::string access;
        if (!l.readWrite) {
            access = "no read/write access" + (d.accessProblem.empty() ? "" : ": " + d.accessProblem);
            anyWithoutAccess = anyWithoutAccess || l.instrument;
        }
        // What a device says of itself reaches the terminal with its control characters escaped.
        rows.push_back({l.instrument ? "*" : "", visibleText(l.label), visibleText(l.path),
                        visibleText(orDash(l.serial)), visibleText(orDash(l.port)),
                        hex4(l.vendorId) + ":" + hex4(l.productId), std::to_string(d.caps.InputReportLength),
                        std::to_string(d.caps.OutputReportLength), visibleText(access)});
        anyInstrument = anyInstrument || l.instrument;
    }
    std::vector<size_t> widths(rows.front().size(), 0);
    for (const auto &row : rows)
        for (size_t c = 0; c < row.size(); ++c)
            widths[c] = std::max(widths[c], row[c].size());
    std::string out;
    for (const auto &row : rows) {
        std::string line;
        for (size_t c = 0; c < row.size(); ++c) {
            std::string cell = row[c];
            // The report lengths are numbers: aligned to the right.
            if (c == 6 || c == 7)
                cell.insert(0, widths[c] - cell.size(), ' ');
            else
                cell.resize(widths[c], ' ');
            line += cell + (c == 0 ? " " : "  ");
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        out += line + "\n";
    }
    if (anyInstrument)
        out += "(* TORVEX instrument)\n";
    if (anyWithoutAccess && !accessHint().empty())
        out += accessHint() + "\n";
    return out;
}

std::string deviceTsv(const std::vector<SurveyedDevice> &devices)
{
    // Tabs and line breaks cannot be told from the separators: a name with one gets a space instead. Other
    // control characters are escaped.
    auto field = [](std::string text) {
        std::replace_if(
            text.begin(), text.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
        return visibleText(text);
    };
    std::string out;
    for (const SurveyedDevice &d : devices) {
        const ListedDevice &l = d.listed;
        out += field(l.path) + "\t" + field(l.label) + "\t" + (l.instrument ? "yes" : "no") + "\t" + field(l.serial)
            + "\t" + field(l.port) + "\t" + hex4(l.vendorId) + "\t" + hex4(l.productId) + "\t"
            + std::to_string(d.caps.InputReportLength) + "\t" + std::to_string(d.caps.OutputReportLength) + "\t"
            + (l.readWrite ? "ok" : field(d.accessProblem.empty() ? "no access" : d.accessProblem)) + "\n";
    }
    return out;
}

std::string deviceJson(const std::vector<SurveyedDevice> &devices)
{
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const SurveyedDevice &d : devices) {
        const ListedDevice &l = d.listed;
        nlohmann::ordered_json o;
        o["device"] = l.path;
        o["name"] = l.label;
        o["instrument"] = l.instrument;
        o["serial"] = l.serial.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(l.serial);
        o["port"] = l.port.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(l.port);
        o["vendorId"] = hex4(l.vendorId);
        o["productId"] = hex4(l.productId);
        o["inputReportLength"] = d.caps.InputReportLength;
        o["outputReportLength"] = d.caps.OutputReportLength;
        o["readWrite"] = l.readWrite;
        if (!l.readWrite)
            o["accessProblem"] = d.accessProblem;
        list.push_back(std::move(o));
    }
    return list.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

int run(Session &session)
{
    switch (session.options().command) {
    case Command::List:
        return runList(session);
    case Command::Watch:
        return runWatch(session);
    case Command::Log:
        return runLog(session);
    case Command::Publish:
        return runPublish(session);
    case Command::ConfigGet:
        return runConfigGet(session);
    case Command::ConfigSet:
        return runConfigSet(session);
    case Command::ConfigKeys:
        return runConfigKeys(session);
    case Command::Help:
    case Command::None:
        break;
    }
    return kExitUsage;
}

} // namespace

int runList(Session &session)
{
    const auto devices = surveyDevices(session.env().platform, session.loopPtr());
    if (session.stopSignal() != 0)
        return session.interrupted("no device was listed");
    if (!devices) {
        session.message("torvex-cli: the system's HID services cannot be used");
        return kExitNoInstrument;
    }
    switch (session.options().format) {
    case Format::Tsv:
        session.out() << deviceTsv(*devices);
        break;
    case Format::Json:
        session.out() << deviceJson(*devices);
        break;
    default:
        session.out() << deviceTable(*devices);
        break;
    }
    session.out().flush();
    if (!session.out()) {
        session.message("torvex-cli: cannot write the list to standard output");
        return kExitIo;
    }
    const bool instrument =
        std::any_of(devices->begin(), devices->end(), [](const SurveyedDevice &d) { return d.listed.instrument; });
    if (!instrument)
        session.message("torvex-cli: no TORVEX instrument found");
    return instrument ? kExitOk : kExitNoInstrument;
}

int runCli(const std::vector<std::string_view> &args, CliEnv &env)
{
    const ParsedArguments parsed = parseArguments(args, TORVEX_VERSION);
    const CliOptions &options = parsed.options;
    if (!parsed.error.empty()) {
        *env.err << "torvex-cli: " << parsed.error << "\n" << parsed.usage << "\n";
        return kExitUsage;
    }
    if (!parsed.help.empty()) {
        *env.out << parsed.help;
        return kExitOk;
    }

    // A missing --settings file is a refused FILE, like any other, before any instrument is looked for.
    if (!options.settings.empty()) {
        if (const std::string problem = settingsFileProblem(options.settings); !problem.empty()) {
            *env.err << "torvex-cli: cannot read the settings file " << options.settings << ": " << problem << "\n";
            return kExitUsage;
        }
    }

    const bool writesValues = options.command == Command::Watch || options.command == Command::Log;
    if (writesValues && !options.decimalSeparator && !env.decimalNote.empty())
        *env.err << env.decimalNote << "\n";

    std::unique_ptr<DemoDevices> demo;
    CliEnv run = env;
    if (!run.platform && options.command != Command::ConfigKeys) {
        if (options.demo > 0) {
            demo = std::make_unique<DemoDevices>(options.demo, options.demoInterval, options.demoFlood);
            run.platform = demo->platform();
        } else {
            run.platform = createNativeHidPlatform();
        }
    }

    try {
        Session session(options, run);
        return cli::run(session);
    } catch (const std::exception &e) {
        *env.err << "torvex-cli: " << e.what() << "\n";
        return kExitIo;
    }
}

} // namespace torvex::cli
