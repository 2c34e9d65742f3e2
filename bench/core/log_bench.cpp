// Cost of one measurement report on the logging path: decode, build the line, hand it to the writer, with
// every column ticked and logging on; the same through the recorder and its writer thread; against a plain
// snprintf + fwrite of the same line. And the backlog of a
// log file that cannot be written: its memory, and the catch-up.
#include "measure/local_clock.h"
#include "measure/log_line.h"
#include "measure/log_writer.h"
#include "measure/measurement.h"
#include "record/log_file_output.h"
#include "record/recorder.h"

#include "sample_reports.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <bit>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <thread>
#include <random>
#include <string>
#include <time.h>
#include <vector>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

constexpr int kReportsPerTick = 1000; // the 1 s tick at 1000 reports per second
constexpr int kIterations = 200000;   // ~20 MB of log per run

double processCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double threadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

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
    const double processCpuStart = processCpuSeconds();
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
    // Everything, the last lines' write included: the same measure as the recorder's below.
    bench.counters["processNsPerReport"] = (processCpuSeconds() - processCpuStart) * 1e9 / double(bench.iterations());
    bench.SetItemsProcessed(bench.iterations());
    bench.counters["failing"] = writer.failing() ? 1 : 0;
    std::filesystem::remove(path);
}
BENCHMARK(BM_ReportToLogFile)
    ->Iterations(kIterations)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->MeasureProcessCPUTime();

// The same path through the recorder: the report handler's side only decodes and queues the record; the line is
// built and written on the file output's own thread. CPU of the whole process (both threads) per report, to set
// against BM_ReportToLogFile, and the reading thread's own share as a counter.
void BM_ReportToRecorder(benchmark::State &bench)
{
    const auto reports = torvex::bench::sampleReports(3, 11);
    const std::string path = freshLogPath("torvex_bench_recorder.csv");
    torvex::MeasurementState state;
    torvex::Recorder recorder;
    recorder.setLineSettings(torvex::LogColumns::all(true), 1000, '.');
    torvex::LogFileOutput::Options options;
    options.path = path;
    auto output = std::make_shared<torvex::LogFileOutput>(options);
    const int id = recorder.addOutput(output);
    const double readerCpuStart = threadCpuSeconds();
    const double processCpuStart = processCpuSeconds();
    int i = 0;
    for (auto _ : bench) {
        const auto &report = reports[size_t(i) & 255];
        torvex::DecodeMeasurementReport(report.data(), report.size(), state);
        recorder.handOverMeasurement(state);
        ++state.MeasurementCount;
        if (++i % kReportsPerTick == 0)
            recorder.tick();
    }
    const double readerCpu = threadCpuSeconds() - readerCpuStart;
    recorder.sync(std::chrono::seconds(60)); // the writer's work is part of the cost
    recorder.stopOutput(id, std::chrono::steady_clock::now() + std::chrono::seconds(10));
    // Both threads, until the last line is in the file: the loop's own time leaves out what the writer still had.
    bench.counters["processNsPerReport"] = (processCpuSeconds() - processCpuStart) * 1e9 / double(bench.iterations());
    bench.SetItemsProcessed(bench.iterations());
    bench.counters["readerNsPerReport"] = readerCpu * 1e9 / double(bench.iterations());
    bench.counters["lost"] = double(output->status().dropped);
    std::filesystem::remove(path);
}
BENCHMARK(BM_ReportToRecorder)
    ->Iterations(kIterations)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->MeasureProcessCPUTime();

// The two paths above at the instrument's fastest rate, paced to 1,000 reports a second (5 s each): the CPU of
// the whole process per report, the writer's last lines included, and the reading thread's own share. Flat out,
// the two threads of the recorder fight over its queue's lock, which at 1 kHz they do not.
void paceReports(benchmark::State &bench, const std::function<void(const std::array<std::uint8_t, 64> &, int)> &report,
                 const std::function<void()> &finish)
{
    using Clock = std::chrono::steady_clock;
    const auto reports = torvex::bench::sampleReports(3, 11);
    const double processCpuStart = processCpuSeconds();
    const double readerCpuStart = threadCpuSeconds();
    Clock::time_point next = Clock::now();
    int i = 0;
    for (auto _ : bench) {
        report(reports[size_t(i) & 255], i);
        ++i;
        next += std::chrono::milliseconds(1);
        std::this_thread::sleep_until(next);
    }
    const double readerCpu = threadCpuSeconds() - readerCpuStart;
    finish();
    const double n = double(bench.iterations());
    bench.counters["processNsPerReport"] = (processCpuSeconds() - processCpuStart) * 1e9 / n;
    bench.counters["readerNsPerReport"] = readerCpu * 1e9 / n;
}

void BM_LogFileAt1000PerSecond(benchmark::State &bench)
{
    const std::string path = freshLogPath("torvex_bench_log_1k.csv");
    torvex::MeasurementState state;
    torvex::LogLineInput input;
    input.moduloValue = 1000;
    torvex::LocalClock clock;
    torvex::LogLine line;
    torvex::LogWriter writer;
    writer.setActive(true);
    paceReports(
        bench,
        [&](const std::array<std::uint8_t, 64> &report, int i) {
            torvex::DecodeMeasurementReport(report.data(), report.size(), state);
            input.takeMeasurement(state);
            torvex::BuildLogLine(line, input, clock.now());
            writer.writeLine(path, line.view());
            ++state.MeasurementCount;
            if ((i + 1) % kReportsPerTick == 0)
                writer.tick();
        },
        [&] { writer.close(); });
    std::filesystem::remove(path);
}
BENCHMARK(BM_LogFileAt1000PerSecond)->Iterations(5000)->Repetitions(3)->ReportAggregatesOnly(true)->UseRealTime();

void BM_RecorderAt1000PerSecond(benchmark::State &bench)
{
    const std::string path = freshLogPath("torvex_bench_recorder_1k.csv");
    torvex::MeasurementState state;
    torvex::Recorder recorder;
    recorder.setLineSettings(torvex::LogColumns::all(true), 1000, '.');
    torvex::LogFileOutput::Options options;
    options.path = path;
    const int id = recorder.addOutput(std::make_shared<torvex::LogFileOutput>(options));
    paceReports(
        bench,
        [&](const std::array<std::uint8_t, 64> &report, int i) {
            torvex::DecodeMeasurementReport(report.data(), report.size(), state);
            recorder.handOverMeasurement(state);
            ++state.MeasurementCount;
            if ((i + 1) % kReportsPerTick == 0)
                recorder.tick();
        },
        [&] { recorder.stopOutput(id, std::chrono::steady_clock::now() + std::chrono::seconds(10)); });
    std::filesystem::remove(path);
}
BENCHMARK(BM_RecorderAt1000PerSecond)->Iterations(5000)->Repetitions(3)->ReportAggregatesOnly(true)->UseRealTime();

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

#ifdef __GLIBC__
std::size_t heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// Ten minutes of lines at 1000 reports/s (every column, 3 decimals) while the log folder is missing: the
// backlog's memory when full, the cost of a line while waiting, and the catch-up once the folder is back, with
// a line every millisecond: how many lines and ticks it takes, and the longest a line or a tick held the report
// handler up.
void BM_BacklogOfTenMinutes(benchmark::State &bench)
{
    using Clock = std::chrono::steady_clock;
    const auto reports = torvex::bench::sampleReports(3, 11);
    const auto folder = std::filesystem::temp_directory_path() / "torvex_bench_backlog";
    std::filesystem::remove_all(folder);
    const std::string path = (folder / "pomiary.csv").string();
    torvex::MeasurementState state;
    torvex::LogLineInput input; // all columns
    input.moduloValue = 1000;
    torvex::LocalClock clock;
    torvex::LogLine line;
    std::uint64_t lineBytes = 0;
    auto nextLine = [&](int i) {
        const auto &report = reports[size_t(i) & 255];
        torvex::DecodeMeasurementReport(report.data(), report.size(), state);
        input.takeMeasurement(state);
        torvex::BuildLogLine(line, input, clock.now());
        ++state.MeasurementCount;
        return line.view();
    };

    for (auto _ : bench) {
        const std::size_t heapBefore = heapInUse();
        torvex::LogWriter writer;
        writer.setActive(true);
        const auto fillStart = Clock::now();
        int i = 0;
        for (; i < int(torvex::LogWriter::kBacklogLines); ++i) {
            const std::string_view text = nextLine(i);
            lineBytes += text.size();
            writer.writeLine(path, text);
            if ((i + 1) % kReportsPerTick == 0)
                writer.tick(); // the retry, once a second
        }
        const double fillSeconds = std::chrono::duration<double>(Clock::now() - fillStart).count();
        const std::size_t heapFull = heapInUse();
        bench.counters["waiting_lines"] = double(writer.waitingLines());
        bench.counters["line_bytes_MB"] = double(lineBytes) / 1e6;
        bench.counters["heap_MB"] = double(heapFull - heapBefore) / 1e6;
        bench.counters["heap_bytes_per_line"] = double(heapFull - heapBefore) / double(writer.waitingLines());
        bench.counters["ns_per_line_waiting"] = fillSeconds * 1e9 / double(i);
        writer.writeLine(path, nextLine(i++));
        bench.counters["dropped_beyond_bound"] = double(writer.droppedLines());

        std::filesystem::create_directories(folder);
        double longestLine = 0;
        double longestTick = 0;
        int linesToCatchUp = 0;
        int ticksToCatchUp = 0;
        const auto catchUpStart = Clock::now();
        while (writer.failing()) {
            if (linesToCatchUp % kReportsPerTick == 0) {
                const auto t = Clock::now();
                writer.tick();
                longestTick = std::max(longestTick, std::chrono::duration<double>(Clock::now() - t).count());
                ++ticksToCatchUp;
                if (!writer.failing())
                    break;
            }
            const std::string_view text = nextLine(i++);
            const auto t = Clock::now();
            writer.writeLine(path, text);
            longestLine = std::max(longestLine, std::chrono::duration<double>(Clock::now() - t).count());
            ++linesToCatchUp;
        }
        bench.counters["catch_up_ms"] = std::chrono::duration<double>(Clock::now() - catchUpStart).count() * 1e3;
        bench.counters["catch_up_lines"] = linesToCatchUp;
        bench.counters["catch_up_ticks"] = ticksToCatchUp;
        bench.counters["longest_line_ms"] = longestLine * 1e3;
        bench.counters["longest_tick_ms"] = longestTick * 1e3;
        writer.close();
        bench.counters["heap_after_MB"] = double(heapInUse() - heapBefore) / 1e6;
    }
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_BacklogOfTenMinutes)->Iterations(1)->Unit(benchmark::kMillisecond);
#endif
