// Hot-plug on the native Linux backend, against the emulated kernel: how long an "add" or "remove" uevent takes
// to reach the window (its OnDeviceChange handler, and the end of its pass), and what 200 unplug/replug cycles
// with reports flowing leave behind (descriptors, threads, heap, resident memory).
// Run: umockdev-wrapper build/bench/bench/torvex_bench_hotplug [cycles]
#include "device/hid_platform_linux.h"
#include "emulated_hid.h"
#include "tfmain.h"
#include "torvex_application.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using namespace torvex::emulated;
using Clock = std::chrono::steady_clock;

namespace {

bool waitFor(const std::function<bool()> &done, std::chrono::milliseconds timeout = 10s)
{
    const auto deadline = Clock::now() + timeout;
    while (!done()) {
        if (Clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

long residentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void summary(const char *what, std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    auto at = [&](double q) { return values[static_cast<size_t>(q * static_cast<double>(values.size() - 1))]; };
    std::printf("| %s | %.2f | %.2f | %.2f | %.2f |\n", what, at(0.0), at(0.5), at(0.9), values.back());
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const int cycles = argc > 1 ? std::atoi(argv[1]) : 200;
    TorvexApplication app(argc, argv);
    QTemporaryDir dir;
    Testbed testbed;
    EmulatedInstrument instrument(testbed);
    instrument.driver().withInstrument([](torvex::sim::Instrument &i) { i.parameters().sendInterval = 5; });
    EmulatedHidDevice keyboard(testbed, keyboardDescription());
    keyboard.plug();
    instrument.start();

    TFMainOptions options;
    options.settingsPath = dir.filePath(QStringLiteral("config.ini"));
    options.startTimers = false;
    options.hidPlatform = torvex::createLinuxHidPlatform(24h); // changes come only through the monitor
    TFMain window(options);
    if (!waitFor([&] { return window.Connected(); })) {
        std::fprintf(stderr, "the window never connected\n");
        return 1;
    }
    // Stamp the moment the controller calls the window's handler.
    Clock::time_point changed;
    auto handler = window.HidDeviceController1->OnDeviceChange;
    window.HidDeviceController1->OnDeviceChange = [&] {
        changed = Clock::now();
        handler();
    };

    std::vector<double> removeNotice, removePass, addNotice, addPass, plugCall, cycleTotal;
    auto cycle = [&](bool measure) {
        const auto start = Clock::now();
        instrument.device().unplug();
        const auto unplugged = Clock::now();
        if (!waitFor([&] { return !window.Connected(); }))
            return false;
        const auto removed = Clock::now();
        const auto removeChanged = changed;
        const auto plugStart = Clock::now();
        instrument.device().plug(); // builds the sysfs entries, then sends the uevents
        const auto plugged = Clock::now();
        if (!waitFor([&] { return window.Connected(); }))
            return false;
        const auto added = Clock::now();
        const uint32_t count = window.ReceivedReportCount;
        if (!waitFor([&] { return window.ReceivedReportCount > count; }))
            return false;
        if (measure) {
            removeNotice.push_back(ms(removeChanged - unplugged));
            removePass.push_back(ms(removed - unplugged));
            plugCall.push_back(ms(plugged - plugStart));
            addNotice.push_back(ms(changed - plugged));
            addPass.push_back(ms(added - plugged));
            cycleTotal.push_back(ms(Clock::now() - start));
        }
        return true;
    };

    if (!cycle(false) || !testbed.settle(5s))
        return 1;
    const int fds = openFileDescriptors();
    const int threads = runningThreads();
    const size_t heap = heapInUse();
    const long rss = residentKiB();
    for (int i = 0; i < cycles; ++i) {
        if (!cycle(true)) {
            std::fprintf(stderr, "cycle %d did not complete\n", i);
            return 1;
        }
    }
    testbed.settle(5s);
    waitFor([&] { return openFileDescriptors() == fds; }, 2s);

    std::printf("%d unplug/replug cycles, reports every 5 ms, window on the native backend\n\n", cycles);
    std::printf("| ms | min | median | p90 | max |\n|---|---|---|---|---|\n");
    summary("remove uevent to OnDeviceChange", removeNotice);
    summary("remove uevent to the end of the window's pass", removePass);
    summary("plug() building sysfs before its add uevent", plugCall);
    summary("add uevent to OnDeviceChange", addNotice);
    summary("add uevent to connected (end of the pass)", addPass);
    summary("whole cycle incl. first report after re-plug", cycleTotal);
    std::printf("\n| after %d cycles | before | after |\n|---|---|---|\n", cycles);
    std::printf("| open descriptors | %d | %d |\n", fds, openFileDescriptors());
    std::printf("| threads | %d | %d |\n", threads, runningThreads());
    std::printf("| heap in use (bytes) | %zu | %zu (%+ld) |\n", heap, heapInUse(),
                static_cast<long>(heapInUse()) - static_cast<long>(heap));
    std::printf("| resident (KiB) | %ld | %ld |\n", rss, residentKiB());
    return 0;
}
