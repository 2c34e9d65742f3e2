#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <random>
#include <vector>

namespace torvex::bench {

// A rotating set of measurement reports (data part, type byte first) with everyday values between -5000 and
// 5000, so branch prediction does not see one value only.
inline std::vector<std::array<uint8_t, 64>> sampleReports(uint8_t decimals, unsigned seed)
{
    const auto putSingle = [](uint8_t *p, float value) {
        const uint32_t bits = std::bit_cast<uint32_t>(value);
        for (int i = 0; i < 4; ++i)
            p[i] = uint8_t(bits >> (8 * i));
    };
    std::mt19937 random(seed);
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

} // namespace torvex::bench
