#include "measure/measurement.h"
#include "measure/value_text.h"

#include "sample_reports.h"

#include <benchmark/benchmark.h>

#include <array>
#include <bit>
#include <cstdint>
#include <random>
#include <vector>

namespace {

void BM_DecodeAndSixValueTexts(benchmark::State &bench)
{
    const auto reports = torvex::bench::sampleReports(uint8_t(bench.range(0)), 7);
    torvex::MeasurementState state;
    char text[torvex::kValueTextCapacity];
    size_t i = 0;
    for (auto _ : bench) {
        const auto &report = reports[i++ & 255];
        torvex::DecodeMeasurementReport(report.data(), report.size(), state);
        for (const auto &encoder : state.Encoders) {
            benchmark::DoNotOptimize(torvex::formatValueText(text, encoder.Position, state.DecimalPlaces, ','));
            benchmark::DoNotOptimize(torvex::formatValueText(text, encoder.Velocity, state.DecimalPlaces, ','));
            benchmark::ClobberMemory();
        }
    }
    bench.SetItemsProcessed(int64_t(bench.iterations()));
}
BENCHMARK(BM_DecodeAndSixValueTexts)->Arg(0)->Arg(3)->Arg(18);

void BM_DecodeOnly(benchmark::State &bench)
{
    const auto reports = torvex::bench::sampleReports(3, 7);
    torvex::MeasurementState state;
    size_t i = 0;
    for (auto _ : bench) {
        torvex::DecodeMeasurementReport(reports[i++ & 255].data(), 64, state);
        benchmark::DoNotOptimize(state);
    }
}
BENCHMARK(BM_DecodeOnly);

} // namespace
