#include "record/record.h"

namespace torvex {

MeasurementState MeasurementRecord::measurement() const
{
    MeasurementState state;
    state.IoStates = line.ioStates;
    state.DecimalPlaces = line.decimalPlaces;
    state.DeviceClock = deviceClock;
    for (std::size_t k = 0; k < kEncoderCount; ++k) {
        state.Encoders[k].PerMinute = perMinute[k];
        state.Encoders[k].Position = line.position[k];
        state.Encoders[k].Velocity = line.velocity[k];
    }
    state.MeasurementCount = line.measurementCount;
    return state;
}

} // namespace torvex
