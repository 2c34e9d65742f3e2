#pragma once
// Small text helpers of torvex-cli.

#include <cstdint>
#include <string>
#include <string_view>

namespace torvex::cli {

// "812 B", "12.3 kB", "4.5 MB", "1.2 GB" (powers of 1000).
std::string byteCountText(std::uint64_t bytes);

// "10 reports/s": reports over `seconds`, rounded to whole ones (0 for no time).
std::string reportRateText(std::uint64_t reports, double seconds);

// `text` (UTF-8, from a device or a file) safe for a terminal: control characters (C0, DEL and C1) escaped as
// "\x1b" or "\u009b", so that none can move the cursor or rewrite the screen. Line feeds stay where
// `keepLineFeeds` is set (the program's own messages of several lines).
std::string visibleText(std::string_view text, bool keepLineFeeds = false);

} // namespace torvex::cli
