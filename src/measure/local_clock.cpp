#include "measure/local_clock.h"

#include <ctime>

namespace torvex {

namespace {

bool toLocal(std::int64_t epochSecond, std::tm &out)
{
    const std::time_t t = static_cast<std::time_t>(epochSecond);
#ifdef _WIN32
    return localtime_s(&out, &t) == 0;
#else
    return localtime_r(&t, &out) != nullptr;
#endif
}

} // namespace

LocalDateTime LocalClock::now() { return at(std::chrono::system_clock::now()); }

LocalDateTime LocalClock::at(std::chrono::system_clock::time_point t)
{
    using namespace std::chrono;
    const std::int64_t ms = duration_cast<milliseconds>(t.time_since_epoch()).count();
    // Floor division, so instants before the epoch still get a millisecond of 0..999.
    std::int64_t second = ms / 1000;
    std::int64_t milli = ms % 1000;
    if (milli < 0) {
        milli += 1000;
        second -= 1;
    }

    if (second != cachedSecond_) {
        std::tm tm{};
        if (!toLocal(second, tm)) {
            // Out of the platform's range: an all-zero date is plainly wrong rather than silently shifted.
            cachedSecond_ = kNoSecond;
            return LocalDateTime{};
        }
        cached_ = LocalDateTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, 0};
        cachedSecond_ = second;
    }
    LocalDateTime result = cached_;
    result.millisecond = static_cast<int>(milli);
    return result;
}

} // namespace torvex
