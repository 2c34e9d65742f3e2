#include "measure/measurement.h"

#include <bit>

namespace torvex {

namespace {

float littleEndianSingle(const uint8_t *p)
{
    // Assemble the bits explicitly so the result does not depend on the host's byte order.
    const uint32_t bits = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    return std::bit_cast<float>(bits);
}

} // namespace

bool DecodeMeasurementReport(const uint8_t *data, size_t size, MeasurementState &state)
{
    if (data == nullptr || size < kMeasurementReportSize)
        return false;

    state.IoStates = data[1];
    state.DecimalPlaces = data[2];

    DeviceDateTime &clock = state.DeviceClock;
    clock.Year = uint16_t(data[5] << 8 | data[6]);
    clock.Month = data[7];
    clock.Day = data[8];
    clock.Hour = data[9];
    clock.Minute = data[10];
    clock.Second = data[11];

    for (size_t k = 0; k < kEncoderCount; ++k) {
        const uint8_t *record = data + 12 + 9 * k;
        EncoderReading &encoder = state.Encoders[k];
        encoder.PerMinute = record[0];
        encoder.Position = littleEndianSingle(record + 1);
        encoder.Velocity = littleEndianSingle(record + 5);
    }
    return true;
}

} // namespace torvex
