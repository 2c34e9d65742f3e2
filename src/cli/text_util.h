#pragma once
// Small text helpers of torvex-cli.

#include <cstdint>
#include <string>

namespace torvex::cli {

// "812 B", "12.3 kB", "4.5 MB", "1.2 GB" (powers of 1000).
std::string byteCountText(std::uint64_t bytes);

} // namespace torvex::cli
