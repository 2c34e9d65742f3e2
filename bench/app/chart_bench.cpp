// Cost of one chart tick of the real window (ChartTimerTimer: six appended points, the time axis moved) plus
// one real repaint, against the length of the history and the width of the time window, and the resident
// memory at the longest history.
#include "chart_view.h"
#include "tfmain.h"
#include "up_down_control.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTabWidget>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <string>

namespace {

constexpr double kTick = 0.1;

long residentKilobytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return -1;
}

// History as the chart would hold it after `points` ticks: bulk-loaded, already sorted.
void preload(ChartView &chart, int points)
{
    QVector<double> keys(points), values(points);
    for (int i = 0; i < points; ++i)
        keys[i] = i * kTick;
    for (int s = 0; s < ChartView::kSeriesCount; ++s) {
        for (int i = 0; i < points; ++i)
            values[i] = 500 + 400 * std::sin(i * 0.01 + s);
        chart.graph(s)->setData(keys, values, true);
    }
}

void BM_ChartTick(benchmark::State &state)
{
    const int history = int(state.range(0));
    const int width = int(state.range(1));
    QTemporaryDir dir;
    TFMainOptions options;
    options.settingsPath = dir.filePath(QStringLiteral("config.ini"));
    options.startTimers = false;
    TFMain window(options);
    window.show();
    window.findChild<QTabWidget *>(QStringLiteral("PageControl1"))
        ->setCurrentWidget(window.findChild<QWidget *>(QStringLiteral("TabSheet2")));
    window.findChild<UpDownControl *>(QStringLiteral("UpDown"))->setValue(width);
    ChartView *chart = window.chartView();
    preload(*chart, history);
    window.chartTime = history * kTick;
    QApplication::processEvents();
    float value = 0;
    for (auto _ : state) {
        for (auto &encoder : window.Measurement.Encoders) {
            encoder.Position = 500 + 400 * std::sin(value);
            encoder.Velocity = 500 + 400 * std::cos(value);
        }
        value += 0.01f;
        window.Measurement.NewSampleFlag = 255;
        window.ChartTimerTimer();
        chart->replot(QCustomPlot::rpImmediateRefresh);
    }
}

BENCHMARK(BM_ChartTick)
    ->ArgsProduct({{0, 36000, 144000, 288000}, {1, 600}})
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->ComputeStatistics("max", [](const std::vector<double> &v) { return *std::max_element(v.begin(), v.end()); });

// Resident memory of the whole program after 8 hours of plotting (288,000 points per series) and a minute of
// ticks at W = 600. Run it alone (--benchmark_filter=Memory): earlier windows of the same process leave freed
// heap behind that still counts as resident.
void BM_ChartMemory(benchmark::State &state)
{
    for (auto _ : state) {
        QTemporaryDir dir;
        TFMainOptions options;
        options.settingsPath = dir.filePath(QStringLiteral("config.ini"));
        options.startTimers = false;
        TFMain window(options);
        window.show();
        window.findChild<QTabWidget *>(QStringLiteral("PageControl1"))
            ->setCurrentWidget(window.findChild<QWidget *>(QStringLiteral("TabSheet2")));
        window.findChild<UpDownControl *>(QStringLiteral("UpDown"))->setValue(600);
        const long empty = residentKilobytes();
        preload(*window.chartView(), 288000);
        window.chartTime = 288000 * kTick;
        for (int tick = 0; tick < 600; ++tick) {
            window.Measurement.NewSampleFlag = 255;
            window.ChartTimerTimer();
            window.chartView()->replot(QCustomPlot::rpImmediateRefresh);
        }
        state.counters["rss_empty_MB"] = double(empty) / 1024.0;
        state.counters["rss_288k_MB"] = double(residentKilobytes()) / 1024.0;
    }
}
BENCHMARK(BM_ChartMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
