#include "measure/indicator_text.h"

#include "measure/value_text.h"

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

// Appended piece by piece: chained operator+ on temporaries trips a false -Wrestrict in GCC 12 at -O3.
std::string deviceDateText(const DeviceDateTime &clock)
{
    std::string text(1, ' ');
    text.append(twoDigits(clock.Day)).append(1, '-').append(twoDigits(clock.Month)).append(1, '-');
    text.append(fourDigits(clock.Year));
    return text;
}

std::string deviceTimeText(const DeviceDateTime &clock)
{
    std::string text(1, ' ');
    text.append(twoDigits(clock.Hour)).append(1, ':').append(twoDigits(clock.Minute)).append(1, ':');
    text.append(twoDigits(clock.Second));
    return text;
}

namespace {

std::string valueField(float value, unsigned decimals, std::string_view unit, char separator)
{
    std::string text(1, ' ');
    text.append(valueText(value, decimals, separator)).append(" [");
    text.append(unit.empty() ? std::string_view("...") : unit);
    return text;
}

} // namespace

std::string positionFieldText(const EncoderReading &encoder, unsigned decimals, std::string_view unit, char separator)
{
    return valueField(encoder.Position, decimals, unit, separator).append(1, ']');
}

std::string velocityFieldText(const EncoderReading &encoder, unsigned decimals, std::string_view unit,
                              std::string_view perMinute, std::string_view perSecond, char separator)
{
    std::string text = valueField(encoder.Velocity, decimals, unit, separator);
    text.append(1, '/').append(encoder.PerMinute != 0 ? perMinute : perSecond).append(1, ']');
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
