// End-to-end load on the real window: the simulated instrument behind the simulated HID platform, reports
// through the read thread and the hand-over into TFMain::DeviceDataReceived (decode, log line, counters).
#include "sim_instrument_device.h"
#include "tfmain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QEventLoop>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <memory>
#include <vector>

namespace {

void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double threadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

struct Rig {
    QTemporaryDir dir;
    std::shared_ptr<torvex::sim::SimHidPlatform> platform = std::make_shared<torvex::sim::SimHidPlatform>();
    std::unique_ptr<torvex::sim::SimInstrumentDevice> instrument;
    std::unique_ptr<TFMain> window;

    explicit Rig(int sendIntervalMs, bool flood, bool liveWindow = false)
    {
        instrument = std::make_unique<torvex::sim::SimInstrumentDevice>(*platform);
        instrument->driver().withInstrument(
            [&](torvex::sim::Instrument &i) { i.parameters().sendInterval = sendIntervalMs; });
        TFMainOptions options;
        options.settingsPath = dir.filePath(QStringLiteral("config.ini"));
        // The rate timer would reset the report counter; a live window runs its timers and paints, as the user's.
        options.startTimers = liveWindow;
        options.hidPlatform = platform;
        window = std::make_unique<TFMain>(options);
        if (liveWindow)
            window->show();
        for (int i = 0; i < 500 && !window->Connected(); ++i)
            spin(10);
        instrument->setFlood(flood);
        instrument->start();
        spin(200); // let the queue fill and the read thread settle
    }

    ~Rig()
    {
        window.reset();
        instrument.reset();
    }
};

// As many reports per second as the window handles when the instrument sends back to back (logging off).
void BM_WindowFloodThroughput(benchmark::State &state)
{
    Rig rig(1, true);
    uint64_t handled = 0;
    double seconds = 0;
    for (auto _ : state) {
        const uint32_t before = rig.window->Measurement.MeasurementCount;
        QElapsedTimer clock;
        clock.start();
        spin(1000);
        seconds += static_cast<double>(clock.nsecsElapsed()) / 1e9;
        handled += rig.window->Measurement.MeasurementCount - before;
    }
    state.counters["reports_per_s"] = static_cast<double>(handled) / seconds;
    state.counters["dropped"] = static_cast<double>(rig.instrument->driver().measurementCounts().dropped);
}
BENCHMARK(BM_WindowFloodThroughput)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// The UI thread's CPU time over wall time, and the reports handled per second, spinning the event loop for
// `spinMs` per iteration.
void measureUiThreadShare(benchmark::State &state, Rig &rig, int spinMs)
{
    double cpu = 0, wall = 0;
    uint64_t handled = 0;
    for (auto _ : state) {
        const uint32_t before = rig.window->Measurement.MeasurementCount;
        const double cpuBefore = threadCpuSeconds();
        QElapsedTimer clock;
        clock.start();
        spin(spinMs);
        wall += static_cast<double>(clock.nsecsElapsed()) / 1e9;
        cpu += threadCpuSeconds() - cpuBefore;
        handled += rig.window->Measurement.MeasurementCount - before;
    }
    state.counters["ui_core_share_pct"] = 100.0 * cpu / wall;
    state.counters["reports_per_s"] = static_cast<double>(handled) / wall;
}

// The UI thread's share of one core while the instrument sends every millisecond.
void BM_UiThreadShareAt1000PerSecond(benchmark::State &state)
{
    Rig rig(1, false);
    measureUiThreadShare(state, rig, 2000);
}
BENCHMARK(BM_UiThreadShareAt1000PerSecond)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// The same with the window shown on its indicator page and its timers running: the indicator refresh and the
// repaints it causes (and, under a screen reader, the accessibility events) come on top of the reports.
void BM_UiThreadShareAt1000PerSecondIndicatorPage(benchmark::State &state)
{
    Rig rig(1, false, true);
    measureUiThreadShare(state, rig, 5000);
}
BENCHMARK(BM_UiThreadShareAt1000PerSecondIndicatorPage)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// The data rate the status bar shows against the rate the instrument sends, at its send intervals of 1, 2 and
// 10 ms: the mean of the rate texts of 30 ticks (10 s) against the reports that left the instrument over the
// measured time from the first of those ticks to the last.
void BM_RateTextAgainstSentRate(benchmark::State &state)
{
    Rig rig(int(state.range(0)), false);
    TFMain &w = *rig.window;
    w.decimalSeparator = '.';
    auto delivered = [&] {
        return rig.instrument->driver().measurementCounts().queued - rig.instrument->device()->pendingInputReports();
    };
    struct Tick {
        qint64 ns;
        uint64_t delivered;
        double shownKHz;
    };
    std::vector<Tick> ticks;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(w.FreqTimer, &QTimer::timeout, &w, [&] {
        ticks.push_back({clock.nsecsElapsed(), delivered(), w.statusPanelText(2).section(u' ', 0, 0).toDouble()});
    });
    double shownSum = 0, sentSum = 0, lowest = 1e9, highest = 0;
    int runs = 0;
    for (auto _ : state) {
        ticks.clear();
        w.FreqTimer->start();
        while (ticks.size() < 32)
            spin(50);
        w.FreqTimer->stop();
        // The first tick counts from before the start; the span runs from the second.
        double shown = 0;
        for (size_t i = 2; i < ticks.size(); ++i) {
            shown += ticks[i].shownKHz;
            lowest = std::min(lowest, ticks[i].shownKHz);
            highest = std::max(highest, ticks[i].shownKHz);
        }
        shown /= double(ticks.size() - 2);
        const double sent =
            double(ticks.back().delivered - ticks[1].delivered) * 1e6 / double(ticks.back().ns - ticks[1].ns);
        shownSum += shown;
        sentSum += sent;
        ++runs;
    }
    state.counters["shown_khz"] = shownSum / runs;
    state.counters["sent_khz"] = sentSum / runs;
    state.counters["error_pct"] = 100.0 * (shownSum / sentSum - 1.0);
    state.counters["lowest_tick_khz"] = lowest;
    state.counters["highest_tick_khz"] = highest;
}
BENCHMARK(BM_RateTextAgainstSentRate)
    ->Arg(1)
    ->Arg(2)
    ->Arg(10)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
