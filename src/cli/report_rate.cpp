#include "cli/report_rate.h"

namespace torvex::cli {

void ReportRate::add(std::uint32_t reports, std::uint32_t ms)
{
    spans_.push_back({reports, ms});
    reports_ += reports;
    ms_ += ms;
    // Only whole refreshes leave, and the latest always stays, however long it took.
    while (spans_.size() > 1 && ms_ - spans_.front().ms >= kWindowMs) {
        reports_ -= spans_.front().reports;
        ms_ -= spans_.front().ms;
        spans_.pop_front();
    }
}

} // namespace torvex::cli
