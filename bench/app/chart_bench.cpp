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

// The real window, shown, with the chart page on view, the width W set and `history` points per series.
class ChartWindow {
public:
    ChartWindow(int width, int history)
        : m_window([this] {
              TFMainOptions options;
              options.settingsPath = m_dir.filePath(QStringLiteral("config.ini"));
              options.startTimers = false;
              return options;
          }())
    {
        m_window.show();
        m_window.findChild<QTabWidget *>(QStringLiteral("PageControl1"))
            ->setCurrentWidget(m_window.findChild<QWidget *>(QStringLiteral("TabSheet2")));
        m_window.findChild<UpDownControl *>(QStringLiteral("UpDown"))->setValue(width);
        emptyKilobytes = residentKilobytes();
        preload(*m_window.chartView(), history);
        m_window.chartTime = history * kTick;
        QApplication::processEvents();
    }

    // What one report and one timer tick do, then the repaint the tick asked for.
    void tick(float value)
    {
        for (auto &encoder : m_window.Measurement.Encoders) {
            encoder.Position = 500 + 400 * std::sin(value);
            encoder.Velocity = 500 + 400 * std::cos(value);
        }
        m_window.Measurement.NewSampleFlag = 255;
        m_window.ChartTimerTimer();
        m_window.chartView()->replot(QCustomPlot::rpImmediateRefresh);
    }

    long emptyKilobytes = 0;

private:
    QTemporaryDir m_dir;
    TFMain m_window;
};

void BM_ChartTick(benchmark::State &state)
{
    ChartWindow window(int(state.range(1)), int(state.range(0)));
    float value = 0;
    for (auto _ : state) {
        window.tick(value);
        value += 0.01f;
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
        ChartWindow window(600, 288000);
        for (int tick = 0; tick < 600; ++tick)
            window.tick(float(tick) * 0.01f);
        state.counters["rss_empty_MB"] = double(window.emptyKilobytes) / 1024.0;
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
