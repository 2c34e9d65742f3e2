#include "measure/measurement.h"
#include "measure/value_text.h"

#include <benchmark/benchmark.h>

#include <array>
#include <bit>
#include <cstdint>
#include <random>
#include <vector>

namespace {

void putSingle(uint8_t *p, float value)
{
    const uint32_t bits = std::bit_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(bits >> (8 * i));
}

// A rotating set of reports with everyday values, so branch prediction does not see one value only.
std::vector<std::array<uint8_t, 64>> sampleReports(uint8_t decimals)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> values(-5000.0f, 5000.0f);
    std::vector<std::array<uint8_t, 64>> reports(256);
    for (auto &report : reports) {
        report.fill(0);
        report[1] = uint8_t(random());
        report[2] = decimals;
        report[5] = 0x07;
        report[6] = 0xEA;
        for (int k = 0; k < 3; ++k) {
            putSingle(report.data() + 13 + 9 * k, values(random));
            putSingle(report.data() + 17 + 9 * k, values(random));
        }
    }
    return reports;
}

void BM_DecodeAndSixValueTexts(benchmark::State &bench)
{
    const auto reports = sampleReports(uint8_t(bench.range(0)));
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
    const auto reports = sampleReports(3);
    torvex::MeasurementState state;
    size_t i = 0;
    for (auto _ : bench) {
        torvex::DecodeMeasurementReport(reports[i++ & 255].data(), 64, state);
        benchmark::DoNotOptimize(state);
    }
}
BENCHMARK(BM_DecodeOnly);

} // namespace
