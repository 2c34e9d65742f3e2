#pragma once

#include "measure/measurement.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace torvex {

// The indicator page's clock digits: v div 10 in decimal, then the digit v mod 10 (7 -> "07", 255 -> "255").
std::string twoDigits(unsigned v);
// Always four characters, the thousands digit of y mod 10000 first (5 -> "0005", 12026 -> "2026").
std::string fourDigits(unsigned y);

// " DD-MM-YYYY" and " HH:MM:SS" of the instrument's clock.
std::string deviceDateText(const DeviceDateTime &clock);
std::string deviceTimeText(const DeviceDateTime &clock);

// An encoder's indicator fields, with the field's leading space: " 12.50 [mm]" and " 1.20 [mm/sec]"; an empty
// unit shows as "...". The time base is `perMinute` or `perSecond` by the encoder's time-base byte.
std::string positionFieldText(const EncoderReading &encoder, unsigned decimals, std::string_view unit, char separator);
std::string velocityFieldText(const EncoderReading &encoder, unsigned decimals, std::string_view unit,
                              std::string_view perMinute, std::string_view perSecond, char separator);

// Reports per millisecond (= kHz) over one rate tick, 4 decimals rounded half away from zero, " kHz" after.
// Exact integer arithmetic, so 1/3 or 100/333 cannot land on the wrong side of a half.
std::string rateText(uint32_t reportCount, uint32_t intervalMs, char separator);

} // namespace torvex
