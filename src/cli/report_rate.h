#pragma once
// The report rate watch shows: reports counted over the last two seconds, so that a rate that does not divide
// evenly into the refreshes (10 reports/s in 250 ms: 2, 3, 2, 3) reads steadily ("10 reports/s").

#include <cstdint>
#include <deque>

namespace torvex::cli {

class ReportRate {
public:
    static constexpr std::uint32_t kWindowMs = 2000;

    // The reports of one refresh and the time it took.
    void add(std::uint32_t reports, std::uint32_t ms);
    // Over the window (or as much of it as has passed).
    std::uint64_t reports() const { return reports_; }
    std::uint32_t ms() const { return ms_; }

private:
    struct Span {
        std::uint32_t reports;
        std::uint32_t ms;
    };
    std::deque<Span> spans_;
    std::uint64_t reports_ = 0;
    std::uint32_t ms_ = 0;
};

} // namespace torvex::cli
