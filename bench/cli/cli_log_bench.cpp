// torvex-cli log end to end: the simulated instrument behind the simulated HID platform, reports through the
// read thread and the plain loop's hand-over into the recorder (decode, log line, log writer with logging on,
// the 1 s tick), exactly the command the program runs; the benchmark thread is the command's loop thread.
#include "cli/cli.h"
#include "sim_instrument_device.h"

#include <benchmark/benchmark.h>

#include <ctime>
#include <filesystem>
#include <regex>
#include <sstream>
#include <sys/resource.h>

namespace {

double threadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval &t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Runs `log` for `seconds` against one instrument; every column ticked, as the window's default.
void runLog(benchmark::State &state, int sendIntervalMs, bool flood, int seconds)
{
    const auto path = std::filesystem::temp_directory_path() / "torvex-cli-bench.csv";
    double lines = 0;
    double wall = 0;
    double loopCpu = 0;
    double processCpu = 0;
    for (auto _ : state) {
        std::filesystem::remove(path);
        auto platform = std::make_shared<torvex::sim::SimHidPlatform>();
        torvex::sim::SimInstrumentDevice instrument(*platform);
        instrument.driver().withInstrument([&](auto &model) { model.parameters().sendInterval = sendIntervalMs; });
        instrument.setFlood(flood);
        instrument.start();

        std::ostringstream out;
        std::ostringstream err;
        torvex::cli::CliEnv env;
        env.out = &out;
        env.err = &err;
        env.platform = platform;
        const std::string file = path.string();
        const std::string duration = std::to_string(seconds);
        const std::vector<std::string_view> args{"log", file, "--seconds", duration};
        const auto begin = std::chrono::steady_clock::now();
        const double cpu0 = threadCpuSeconds();
        const double process0 = processCpuSeconds();
        if (torvex::cli::runCli(args, env) != 0)
            state.SkipWithError(err.str().c_str());
        loopCpu += threadCpuSeconds() - cpu0;
        processCpu += processCpuSeconds() - process0;
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        instrument.stop();
        std::smatch m;
        const std::string text = err.str();
        if (std::regex_search(text, m, std::regex("(\\d+) lines written")))
            lines += std::stod(m[1]);
    }
    std::filesystem::remove(path);
    state.counters["reports_per_s"] = lines / wall;
    state.counters["loop_thread_us_per_report"] = lines > 0 ? loopCpu / lines * 1e6 : 0;
    state.counters["loop_thread_share"] = loopCpu / wall;
    // The whole process, the simulated instrument's own thread included: an upper bound for the program.
    state.counters["process_us_per_report"] = lines > 0 ? processCpu / lines * 1e6 : 0;
}

void BM_CliLogFlood(benchmark::State &state) { runLog(state, 1, true, 3); }
void BM_CliLogAt1000PerSecond(benchmark::State &state) { runLog(state, 1, false, 3); }

BENCHMARK(BM_CliLogFlood)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3)->UseRealTime();
BENCHMARK(BM_CliLogAt1000PerSecond)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3)->UseRealTime();

} // namespace
