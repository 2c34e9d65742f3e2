#pragma once

#include "protocol/instrument.h"

#include <cstddef>
#include <cstdint>

namespace torvex {

// The instrument's own clock as it sends it; values are stored unchecked (month 0 or 13 stay as they are).
struct DeviceDateTime {
    uint16_t Year = 0;
    uint8_t Month = 0;
    uint8_t Day = 0;
    uint8_t Hour = 0;
    uint8_t Minute = 0;
    uint8_t Second = 0;
};

struct EncoderReading {
    uint8_t PerMinute = 0; // time-base byte as received: non-zero means per minute
    float Position = 0.0f;
    float Velocity = 0.0f;
};

// Latest measurement report; zero-filled until the first one arrives.
struct MeasurementState {
    uint8_t IoStates = 0; // bits 0-3 OUT1-OUT4, bit 6 TRIG1, bit 7 TRIG2
    uint8_t DecimalPlaces = 0;
    DeviceDateTime DeviceClock;
    EncoderReading Encoders[kEncoderCount];
    uint32_t MeasurementCount = 0; // wraps at 2^32; advanced by the report handler, not the decoder
    uint8_t NewSampleFlag = 0;     // 255 after each measurement report, cleared by the chart
};

inline constexpr size_t kMeasurementReportSize = 39; // bytes of the data part that carry the measurement

inline constexpr uint8_t kIoOut1 = 0x01;
inline constexpr uint8_t kIoOut2 = 0x02;
inline constexpr uint8_t kIoOut3 = 0x04;
inline constexpr uint8_t kIoOut4 = 0x08;
inline constexpr uint8_t kIoTrig1 = 0x40;
inline constexpr uint8_t kIoTrig2 = 0x80;
// The bits of OUT1..OUT4, then TRIG1 and TRIG2.
inline constexpr uint8_t kIoBits[kOutputCount + kTriggerCount] = {kIoOut1, kIoOut2,  kIoOut3,
                                                                  kIoOut4, kIoTrig1, kIoTrig2};

// Fills IoStates, DecimalPlaces, DeviceClock and Encoders from a report's data part (type byte at offset 0).
// A data part shorter than the measurement leaves the state untouched and returns false, so bytes of an
// earlier report never pass for a new measurement. MeasurementCount and NewSampleFlag are not touched.
bool DecodeMeasurementReport(const uint8_t *data, size_t size, MeasurementState &state);

// What the report handler does for each measurement report after the log line has been handled.
inline void markMeasurementHandled(MeasurementState &state)
{
    ++state.MeasurementCount;
    state.NewSampleFlag = 255;
}

} // namespace torvex
