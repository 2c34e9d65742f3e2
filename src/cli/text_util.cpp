#include "cli/text_util.h"

#include <cstdio>

namespace torvex::cli {

std::string byteCountText(std::uint64_t bytes)
{
    if (bytes < 1000)
        return std::to_string(bytes) + " B";
    const char *units[] = {"kB", "MB", "GB", "TB"};
    double value = static_cast<double>(bytes) / 1000.0;
    int unit = 0;
    while (value >= 999.95 && unit < 3) {
        value /= 1000.0;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
    return text;
}

std::string reportRateText(std::uint64_t reports, double seconds)
{
    char text[48];
    std::snprintf(text, sizeof text, "%.0f reports/s", seconds > 0 ? static_cast<double>(reports) / seconds : 0.0);
    return text;
}

std::string visibleText(std::string_view text, bool keepLineFeeds)
{
    std::string out;
    out.reserve(text.size());
    char escaped[8];
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte < 0x20 && !(keepLineFeeds && byte == '\n')) || byte == 0x7F) {
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            out += escaped;
        } else if (byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80
                   && static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            // The C1 controls, which terminals also obey (CSI is U+009B).
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(text[++i]));
            out += escaped;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace torvex::cli
