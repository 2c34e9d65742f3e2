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

#ifdef TORVEX_BENCH_PUBLISH
#include "test_broker.h"

#include <nlohmann/json.hpp>

#include <map>
#include <set>
#include <thread>
#endif

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

// Runs `log` for `seconds` against one instrument; every column ticked, as the window's default. With
// `publishTo`, the same run also publishes every report to that broker (log FILE --publish URL).
void runLog(benchmark::State &state, int sendIntervalMs, bool flood, int seconds, const std::string &publishTo = {})
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
        std::vector<std::string_view> args{"log", file, "--seconds", duration};
        if (!publishTo.empty())
            args.insert(args.end(), {"--publish", publishTo, "--name", "bench"});
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

#ifdef TORVEX_BENCH_PUBLISH
// log FILE --publish URL against a local mosquitto: set its process_us_per_report against
// BM_CliLogAt1000PerSecond's of the same run.
void BM_CliLogPublishAt1000PerSecond(benchmark::State &state)
{
    broker_test::TestBroker broker;
    if (!broker.running()) {
        state.SkipWithError("mosquitto did not start");
        return;
    }
    runLog(state, 1, false, 3, "mqtt://127.0.0.1:" + std::to_string(broker.port()) + "/bench");
}
BENCHMARK(BM_CliLogPublishAt1000PerSecond)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3)->UseRealTime();

// Ten instruments at 1,000 reports/s each, ten publish commands (threads of one process here) into one local
// broker; a persistent subscriber counts what arrived: every report each command read, none lost.
void BM_TenInstrumentsIntoOneBroker(benchmark::State &state)
{
    constexpr int kInstruments = 10;
    broker_test::TestBroker broker;
    if (!broker.running()) {
        state.SkipWithError("mosquitto did not start");
        return;
    }
    const std::string url = "mqtt://127.0.0.1:" + std::to_string(broker.port()) + "/plant";
    double published = 0, received = 0, missing = 0, wall = 0;
    for (auto _ : state) {
        broker_test::Subscriber subscriber(broker, "plant/+/measurements", "bench-plant");
        if (!subscriber.waitSubscribed()) {
            state.SkipWithError("the subscriber did not subscribe");
            return;
        }
        std::vector<std::shared_ptr<torvex::sim::SimHidPlatform>> platforms;
        std::vector<std::unique_ptr<torvex::sim::SimInstrumentDevice>> instruments;
        for (int n = 0; n < kInstruments; ++n) {
            platforms.push_back(std::make_shared<torvex::sim::SimHidPlatform>());
            instruments.push_back(std::make_unique<torvex::sim::SimInstrumentDevice>(*platforms.back()));
            instruments.back()->driver().withInstrument([](auto &model) { model.parameters().sendInterval = 1; });
            instruments.back()->start();
        }
        std::vector<std::string> errors(kInstruments);
        std::vector<std::thread> commands;
        const auto begin = std::chrono::steady_clock::now();
        for (int n = 0; n < kInstruments; ++n) {
            commands.emplace_back([&, n] {
                std::ostringstream out, err;
                torvex::cli::CliEnv env;
                env.out = &out;
                env.err = &err;
                env.platform = platforms[std::size_t(n)];
                const std::string name = "bench" + std::to_string(n);
                const std::vector<std::string_view> args{"publish", url, "--name", name, "--seconds", "5"};
                torvex::cli::runCli(args, env);
                errors[std::size_t(n)] = err.str();
            });
        }
        for (std::thread &command : commands)
            command.join();
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        for (auto &instrument : instruments)
            instrument->stop();
        std::this_thread::sleep_for(std::chrono::seconds(2)); // the subscriber's last messages
        subscriber.stop();
        // Distinct counters per instrument, as a consumer that drops duplicates counts them.
        std::map<std::string, std::set<long>> counters;
        for (const std::string &line : subscriber.lines()) {
            const auto space = line.find(' ');
            const auto json = nlohmann::json::parse(line.substr(space + 1), nullptr, false);
            if (json.is_discarded() || !json.contains("reports"))
                continue;
            for (const auto &report : json["reports"])
                counters[line.substr(0, space)].insert(report["counter"].get<long>());
        }
        for (int n = 0; n < kInstruments; ++n) {
            std::smatch m;
            if (std::regex_search(errors[std::size_t(n)], m, std::regex("(\\d+) reports published")))
                published += std::stod(m[1]);
            const auto &got = counters["plant/bench" + std::to_string(n) + "/measurements"];
            received += double(got.size());
            if (!got.empty())
                missing += double(*got.rbegin() - *got.begin() + 1) - double(got.size());
        }
    }
    state.counters["published"] = published;
    state.counters["received_distinct"] = received;
    state.counters["gaps"] = missing;
    state.counters["reports_per_s_all"] = received / wall;
}
BENCHMARK(BM_TenInstrumentsIntoOneBroker)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(1)->UseRealTime();
#endif

} // namespace
