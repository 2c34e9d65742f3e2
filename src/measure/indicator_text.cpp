#include "measure/indicator_text.h"

namespace torvex {

std::string twoDigits(unsigned v)
{
    std::string text = std::to_string(v / 10);
    text += char('0' + v % 10);
    return text;
}

std::string fourDigits(unsigned y)
{
    return {char('0' + y % 10000 / 1000), char('0' + y % 1000 / 100), char('0' + y % 100 / 10), char('0' + y % 10)};
}

std::string deviceDateText(const DeviceDateTime &clock)
{
    // Appended step by step: GCC 12 at -O3 warns falsely (-Wrestrict) on " " + std::string&&.
    std::string text = " ";
    text += twoDigits(clock.Day) + "-" + twoDigits(clock.Month) + "-" + fourDigits(clock.Year);
    return text;
}

std::string deviceTimeText(const DeviceDateTime &clock)
{
    std::string text = " ";
    text += twoDigits(clock.Hour) + ":" + twoDigits(clock.Minute) + ":" + twoDigits(clock.Second);
    return text;
}

std::string rateText(uint32_t reportCount, uint32_t intervalMs, char separator)
{
    // A zero interval cannot be a real tick; count it as 1 ms rather than divide by zero.
    const uint64_t interval = intervalMs == 0 ? 1 : intervalMs;
    const uint64_t tenThousandths = (uint64_t(reportCount) * 20000 + interval) / (2 * interval);
    std::string text = std::to_string(tenThousandths / 10000);
    const unsigned fraction = unsigned(tenThousandths % 10000);
    text += separator;
    text += {char('0' + fraction / 1000), char('0' + fraction / 100 % 10), char('0' + fraction / 10 % 10),
             char('0' + fraction % 10)};
    text += " kHz";
    return text;
}

} // namespace torvex
