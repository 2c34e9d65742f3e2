// Any report descriptor a device may present: the parser must not read past it, and its lengths must agree with
// each other whatever the bytes are.
#include "device/report_descriptor.h"

#include <cstdint>
#include <cstdlib>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // An exact copy, so the sanitizer catches a read even one byte past the end.
    auto copy = std::make_unique<uint8_t[]>(size);
    for (size_t i = 0; i < size; ++i)
        copy[i] = data[i];
    const torvex::ReportDescriptorInfo info = torvex::parseReportDescriptor({copy.get(), size});

    // No input report means no hidraw input either.
    if (info.inputReportLength == 0 && info.hidrawInputLength != 0)
        std::abort();
    // hidraw's length adds the id byte only for numbered reports: at most the Windows one.
    if (info.hidrawInputLength > info.inputReportLength)
        std::abort();
    if (!info.numberedReports && info.inputReportLength != 0 && info.hidrawInputLength + 1 != info.inputReportLength
        && info.inputReportLength != 0xFFFF)
        std::abort();
    return 0;
}
