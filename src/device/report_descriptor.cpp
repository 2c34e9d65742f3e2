#include "device/report_descriptor.h"

#include <algorithm>
#include <array>
#include <map>
#include <utility>

namespace torvex {
namespace {

struct Globals {
    uint32_t reportSize = 0;
    uint32_t reportCount = 0;
    uint8_t reportId = 0;
};

// Depth the Linux parser allows; deeper pushes are ignored rather than growing without bound.
constexpr size_t kMaxPushDepth = 4;

enum ReportType { Input = 0, Output = 1, Feature = 2 };

uint16_t clampLength(uint64_t bytes) { return static_cast<uint16_t>(std::min<uint64_t>(bytes, 0xFFFF)); }

} // namespace

ReportDescriptorInfo parseReportDescriptor(std::span<const uint8_t> d)
{
    ReportDescriptorInfo info;
    Globals globals;
    std::array<Globals, kMaxPushDepth> stack{};
    size_t depth = 0;
    // Bits per (type, report id). 64-bit sums: size and count are 32-bit item values.
    std::map<std::pair<int, uint8_t>, uint64_t> bits;

    size_t pos = 0;
    while (pos < d.size()) {
        const uint8_t prefix = d[pos];
        if (prefix == 0xFE) { // long item: size byte, tag byte, data
            if (pos + 2 >= d.size()) {
                info.truncated = true;
                break;
            }
            const size_t next = pos + 3 + d[pos + 1];
            if (next > d.size()) {
                info.truncated = true;
                break;
            }
            pos = next;
            continue;
        }
        const size_t size = (prefix & 3) == 3 ? 4 : (prefix & 3);
        if (pos + 1 + size > d.size()) {
            info.truncated = true;
            break;
        }
        uint32_t value = 0;
        for (size_t i = 0; i < size; ++i)
            value |= static_cast<uint32_t>(d[pos + 1 + i]) << (8 * i);
        pos += 1 + size;

        switch (prefix & 0xFC) {
        case 0x74:
            globals.reportSize = value;
            break;
        case 0x94:
            globals.reportCount = value;
            break;
        case 0x84:
            if (value == 0 || value > 0xFF) {
                info.malformed = true;
            } else {
                globals.reportId = static_cast<uint8_t>(value);
                info.numberedReports = true;
            }
            break;
        case 0xA4:
            if (depth < kMaxPushDepth)
                stack[depth++] = globals;
            else
                info.malformed = true;
            break;
        case 0xB4:
            if (depth > 0)
                globals = stack[--depth];
            else
                info.malformed = true;
            break;
        case 0x80:
        case 0x90:
        case 0xB0: {
            const int type = (prefix & 0xFC) == 0x80 ? Input : (prefix & 0xFC) == 0x90 ? Output : Feature;
            bits[{type, globals.reportId}] += static_cast<uint64_t>(globals.reportSize) * globals.reportCount;
            break;
        }
        default:
            break;
        }
    }

    uint64_t longest[3] = {0, 0, 0};
    bool present[3] = {false, false, false};
    uint64_t hidrawInput = 0;
    for (const auto &[key, count] : bits) {
        const auto [type, id] = key;
        const uint64_t bytes = (count + 7) / 8;
        present[type] = true;
        longest[type] = std::max(longest[type], bytes);
        if (type == Input)
            hidrawInput = std::max(hidrawInput, bytes + (id > 0 ? 1 : 0));
    }
    info.inputReportLength = present[Input] ? clampLength(longest[Input] + 1) : 0;
    info.outputReportLength = present[Output] ? clampLength(longest[Output] + 1) : 0;
    info.featureReportLength = present[Feature] ? clampLength(longest[Feature] + 1) : 0;
    info.hidrawInputLength = clampLength(hidrawInput);
    return info;
}

} // namespace torvex
