// Cost of one measurement report on the logging path: decode, build the line, hand it to the writer, with
// every column ticked and logging on; against a plain snprintf + fwrite of the same line.
#include "measure/local_clock.h"
#include "measure/log_line.h"
#include "measure/log_writer.h"
#include "measure/measurement.h"

#include "sample_reports.h"

#include <benchmark/benchmark.h>

#include <array>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kReportsPerTick = 1000; // the 1 s tick at 1000 reports per second
constexpr int kIterations = 200000;   // ~20 MB of log per run

std::string freshLogPath(const char *name)
{
    const auto path = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove(path);
    return path.string();
}

void BM_ReportToLogFile(benchmark::State &bench)
{
    const auto reports = torvex::bench::sampleReports(3, 11);
    const std::string path = freshLogPath("torvex_bench_log.csv");
    torvex::MeasurementState state;
    torvex::LogLineInput input; // all columns
    input.moduloValue = 1000;
    torvex::LocalClock clock;
    torvex::LogLine line;
    torvex::LogWriter writer;
    writer.setActive(true);
    int i = 0;
    for (auto _ : bench) {
        const auto &report = reports[size_t(i) & 255];
        torvex::DecodeMeasurementReport(report.data(), report.size(), state);
        input.takeMeasurement(state);
        torvex::BuildLogLine(line, input, clock.now());
        writer.writeLine(path, line.view());
        ++state.MeasurementCount;
        if (++i % kReportsPerTick == 0)
            writer.tick();
    }
    writer.close();
    bench.SetItemsProcessed(bench.iterations());
    bench.counters["failing"] = writer.failing() ? 1 : 0;
    std::filesystem::remove(path);
}
BENCHMARK(BM_ReportToLogFile)->Iterations(kIterations)->Repetitions(5)->ReportAggregatesOnly(true);

// The same line the plain way: snprintf into a buffer, fwrite to a stdio stream reopened once per tick.
void BM_ReferenceSnprintfFwrite(benchmark::State &bench)
{
    const auto reports = torvex::bench::sampleReports(3, 11);
    const std::string path = freshLogPath("torvex_bench_reference.csv");
    torvex::MeasurementState state;
    torvex::LocalClock clock;
    std::FILE *file = std::fopen(path.c_str(), "ab");
    char text[1024];
    int i = 0;
    for (auto _ : bench) {
        const auto &report = reports[size_t(i) & 255];
        torvex::DecodeMeasurementReport(report.data(), report.size(), state);
        const torvex::LocalDateTime now = clock.now();
        const int d = state.DecimalPlaces;
        const auto &e = state.Encoders;
        const uint8_t io = state.IoStates;
        auto hl = [io](uint8_t bit) { return (io & bit) != 0 ? "HI" : "LO"; };
        const int n = std::snprintf(
            text, sizeof text, "%d-%d-%d;%d:%d:%d:%d;%d;%u;%.*f;%.*f;%.*f;%.*f;%.*f;%.*f;%s;%s;%s;%s;%s;%s;\r\n",
            now.day, now.month, now.year, now.hour, now.minute, now.second, now.millisecond,
            int32_t(state.MeasurementCount), unsigned(state.MeasurementCount % 1000u), d, double(e[0].Position), d,
            double(e[1].Position), d, double(e[2].Position), d, double(e[0].Velocity), d, double(e[1].Velocity), d,
            double(e[2].Velocity), hl(0x01), hl(0x02), hl(0x04), hl(0x08), hl(0x40), hl(0x80));
        std::fwrite(text, 1, size_t(n), file);
        ++state.MeasurementCount;
        if (++i % kReportsPerTick == 0) {
            std::fclose(file);
            file = std::fopen(path.c_str(), "ab");
        }
    }
    std::fclose(file);
    bench.SetItemsProcessed(bench.iterations());
    std::filesystem::remove(path);
}
BENCHMARK(BM_ReferenceSnprintfFwrite)->Iterations(kIterations)->Repetitions(5)->ReportAggregatesOnly(true);

} // namespace
