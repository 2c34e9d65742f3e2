#include "cli/cli.h"

#include "cli/demo.h"
#include "instrument/instrument_link.h"

#include <algorithm>
#include <cstdio>

#ifndef TORVEX_VERSION
#define TORVEX_VERSION "unknown"
#endif

namespace torvex::cli {

namespace {

// One aligned line per device, instruments marked with "*", then the notes the marks need.
std::string formatDeviceList(const std::vector<SurveyedDevice> &devices)
{
    if (devices.empty())
        return "no HID devices found\n";
    size_t labelWidth = 0;
    size_t pathWidth = 0;
    for (const SurveyedDevice &d : devices) {
        labelWidth = std::max(labelWidth, d.listed.label.size());
        pathWidth = std::max(pathWidth, d.listed.path.size());
    }
    auto padded = [](std::string text, size_t width) {
        text.resize(std::max(text.size(), width), ' ');
        return text;
    };
    std::string out;
    bool anyInstrument = false;
    bool anyWithoutAccess = false;
    for (const SurveyedDevice &d : devices) {
        const ListedDevice &l = d.listed;
        char ids[64];
        std::snprintf(ids, sizeof ids, "VID=%04X PID=%04X  in %-3u out %-3u", l.vendorId, l.productId,
                      unsigned{d.caps.InputReportLength}, unsigned{d.caps.OutputReportLength});
        std::string line =
            (l.instrument ? "* " : "  ") + padded(l.label, labelWidth) + "  " + padded(l.path, pathWidth) + "  " + ids;
        if (!l.readWrite) {
            line += " no read/write access";
            if (!d.accessProblem.empty())
                line += ": " + d.accessProblem;
            anyWithoutAccess = anyWithoutAccess || l.instrument;
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        out += line + "\n";
        anyInstrument = anyInstrument || l.instrument;
    }
    if (anyInstrument)
        out += "(* TORVEX instrument)\n";
    if (anyWithoutAccess && !accessHint().empty())
        out += accessHint() + "\n";
    return out;
}

} // namespace

int runList(const CliOptions &, CliEnv &env)
{
    const auto devices = surveyDevices(env.platform, std::make_shared<LoopDispatcher>());
    if (!devices) {
        *env.err << "torvex-cli: the system's HID services cannot be used\n";
        return kExitNoInstrument;
    }
    *env.out << formatDeviceList(*devices);
    return kExitOk;
}

int runCli(const std::vector<std::string_view> &args, CliEnv &env)
{
    const ParsedArguments parsed = parseArguments(args);
    const CliOptions &options = parsed.options;
    if (!parsed.error.empty()) {
        *env.err << "torvex-cli: " << parsed.error << "\n" << usageLine(options.command) << "\n";
        return kExitUsage;
    }
    if (options.help) {
        *env.out << helpText(options.command);
        return kExitOk;
    }
    if (options.version) {
        *env.out << "torvex-cli " << TORVEX_VERSION << "\n";
        return kExitOk;
    }

    std::unique_ptr<DemoDevices> demo;
    CliEnv run = env;
    if (!run.platform) {
        if (options.demo > 0) {
            demo = std::make_unique<DemoDevices>(options.demo, options.demoInterval, options.demoFlood);
            run.platform = demo->platform();
        } else {
            run.platform = createNativeHidPlatform();
        }
    }

    try {
        switch (options.command) {
        case Command::List:
            return runList(options, run);
        case Command::Watch:
            return runWatch(options, run);
        case Command::Log:
            return runLog(options, run);
        case Command::ConfigGet:
            return runConfigGet(options, run);
        case Command::ConfigSet:
            return runConfigSet(options, run);
        case Command::None:
            break;
        }
    } catch (const std::exception &e) {
        *env.err << "torvex-cli: " << e.what() << "\n";
        return kExitIo;
    }
    return kExitUsage;
}

} // namespace torvex::cli
