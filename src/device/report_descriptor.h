#pragma once
// Report lengths from a HID report descriptor, computed the way Windows reports them, so every platform gives
// the layer above the same InputReportLength/OutputReportLength.

#include <cstddef>
#include <cstdint>
#include <span>

namespace torvex {

struct ReportDescriptorInfo {
    // Windows rule: the longest report of the type over all report ids, plus 1 for the id byte (also when ids
    // are not used), or 0 when there is no report of that type.
    uint16_t inputReportLength = 0;
    uint16_t outputReportLength = 0;
    uint16_t featureReportLength = 0;
    // Longest input report as hidraw delivers it: data bytes, plus the id byte only for numbered reports.
    uint16_t hidrawInputLength = 0;
    bool numberedReports = false; // at least one Report ID item with a non-zero id
    bool truncated = false;       // the last item ran past the end (it was ignored)
    bool malformed = false;       // Report ID 0, pop without push, push too deep: item ignored
};

ReportDescriptorInfo parseReportDescriptor(std::span<const uint8_t> descriptor);

} // namespace torvex
