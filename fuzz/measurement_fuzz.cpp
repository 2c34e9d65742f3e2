// Any bytes from the instrument: the decoder must not read past them, and every decoded value must have a text
// that fits the buffer and agrees with the std::string form.
#include "measure/measurement.h"
#include "measure/value_text.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    torvex::MeasurementState state;
    if (!torvex::DecodeMeasurementReport(data, size, state))
        return 0;

    char text[torvex::kValueTextCapacity];
    for (const torvex::EncoderReading &encoder : state.Encoders) {
        for (float value : {encoder.Position, encoder.Velocity}) {
            const size_t n = torvex::formatValueText(text, value, state.DecimalPlaces, ',');
            if (n == 0 || n > 35)
                std::abort();
            const std::string again = torvex::valueText(value, state.DecimalPlaces, ',');
            if (again.size() != n || std::memcmp(again.data(), text, n) != 0)
                std::abort();
        }
    }
    return 0;
}
