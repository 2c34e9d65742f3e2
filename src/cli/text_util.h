#pragma once
// Small text helpers of torvex-cli.

#include <cstdint>
#include <string>

namespace torvex::cli {

// "812 B", "12.3 kB", "4.5 MB", "1.2 GB" (powers of 1000).
std::string byteCountText(std::uint64_t bytes);

// "10 reports/s": reports over `seconds`, rounded to whole ones (0 for no time).
std::string reportRateText(std::uint64_t reports, double seconds);

} // namespace torvex::cli
