#include "cli/cli.h"

#include "cli/demo.h"
#include "cli/device_list.h"
#include "cli/instrument_link.h"
#include "cli/text_util.h"

#include <algorithm>
#include <cstdio>

#ifndef TORVEX_VERSION
#define TORVEX_VERSION "unknown"
#endif

namespace torvex::cli {

std::string formatDeviceList(const std::vector<ListedDevice> &devices)
{
    if (devices.empty())
        return "no HID devices found\n";
    size_t labelWidth = 0;
    size_t pathWidth = 0;
    for (const ListedDevice &d : devices) {
        labelWidth = std::max(labelWidth, d.label.size());
        pathWidth = std::max(pathWidth, d.path.size());
    }
    auto padded = [](std::string text, size_t width) {
        text.resize(std::max(text.size(), width), ' ');
        return text;
    };
    std::string out;
    bool anyInstrument = false;
    bool anyWithoutAccess = false;
    for (const ListedDevice &d : devices) {
        char ids[64];
        std::snprintf(ids, sizeof ids, "VID=%04X PID=%04X  in %-3u out %-3u", d.vendorId, d.productId,
                      unsigned{d.inputLength}, unsigned{d.outputLength});
        std::string line =
            (d.instrument ? "* " : "  ") + padded(d.label, labelWidth) + "  " + padded(d.path, pathWidth) + "  " + ids;
        if (!d.readWrite) {
            line += " no read/write access";
            if (!d.accessProblem.empty())
                line += ": " + d.accessProblem;
            anyWithoutAccess = anyWithoutAccess || d.instrument;
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        out += line + "\n";
        anyInstrument = anyInstrument || d.instrument;
    }
    if (anyInstrument)
        out += "(* TORVEX instrument)\n";
    if (anyWithoutAccess && !udevHint().empty())
        out += udevHint() + "\n";
    return out;
}

int runList(const CliOptions &, CliEnv &env)
{
    auto loop = std::make_shared<LoopDispatcher>();
    THidDeviceController controller(env.platform, loop);
    if (!controller.Available()) {
        *env.err << "torvex-cli: the system's HID services cannot be used\n";
        return kExitNoInstrument;
    }
    bool scanned = false;
    controller.OnDeviceChange = [&] { scanned = true; };
    loop->runFor(std::chrono::seconds(10), [&] { return scanned; });

    std::vector<ListedDevice> devices;
    controller.OnEnumerate = [&](THidDevice *device, int) {
        ListedDevice d;
        d.label = deviceLabel(*device);
        d.path = device->PnPInfo().DevicePath;
        d.vendorId = device->VendorId();
        d.productId = device->ProductId();
        const THidCaps caps = device->Caps();
        d.inputLength = caps.InputReportLength;
        d.outputLength = caps.OutputReportLength;
        d.instrument = device->ProductName() == kInstrumentName;
        d.readWrite = device->ReadWriteAccess();
        if (!d.readWrite)
            d.accessProblem = env.platform->accessProblem(device->PnPInfo());
        devices.push_back(std::move(d));
        return true;
    };
    controller.Enumerate();
    *env.out << formatDeviceList(devices);
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
