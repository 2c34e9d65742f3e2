// Cost of one chart tick (six appended points, the time axis moved, one real repaint) against the length of
// the history and the width of the time window, plus the resident memory at the longest history.
#include "chart_view.h"

#include <benchmark/benchmark.h>

#include <QApplication>

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
    const double width = double(state.range(1));
    ChartView chart;
    chart.resize(697, 438);
    chart.show();
    preload(chart, history);
    double t = history * kTick;
    for (auto _ : state) {
        for (int s = 0; s < ChartView::kSeriesCount; ++s)
            chart.addPoint(s, t, 500 + 400 * std::sin(t + s));
        t += kTick;
        if (t > width)
            chart.setTimeRange(t - width, t);
        else
            chart.setTimeRange(0, width);
        chart.replot(QCustomPlot::rpImmediateRefresh);
    }
    state.counters["rss_MB"] = double(residentKilobytes()) / 1024.0;
}

BENCHMARK(BM_ChartTick)
    ->ArgsProduct({{0, 36000, 144000, 288000}, {1, 600}})
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->ComputeStatistics("max", [](const std::vector<double> &v) { return *std::max_element(v.begin(), v.end()); });

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
