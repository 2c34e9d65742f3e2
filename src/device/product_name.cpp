#include "device/product_name.h"

#include <cstdio>

namespace torvex {

std::u16string productStringFromUtf8(std::string_view in)
{
    std::u16string out;
    for (size_t i = 0; i < in.size();) {
        const auto c = static_cast<unsigned char>(in[i]);
        uint32_t cp = 0xFFFD;
        size_t len = 1;
        if (c < 0x80) {
            cp = c;
        } else if ((c >> 5) == 0x6 || (c >> 4) == 0xE || (c >> 3) == 0x1E) {
            len = (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : 4;
            if (i + len <= in.size()) {
                cp = c & (0xFF >> (len + 1));
                for (size_t k = 1; k < len; ++k) {
                    const auto cc = static_cast<unsigned char>(in[i + k]);
                    if ((cc >> 6) != 0x2) {
                        cp = 0xFFFD;
                        len = k;
                        break;
                    }
                    cp = (cp << 6) | (cc & 0x3F);
                }
            } else {
                len = in.size() - i;
            }
        }
        i += len;
        // An overlong form (a character in more bytes than it needs) is refused like any other malformed one.
        static constexpr uint32_t kShortestFor[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF) || (len > 1 && cp < kShortestFor[len]))
            cp = 0xFFFD;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

std::u16string productStringFromUtf16(std::span<const char16_t> buffer)
{
    std::u16string name;
    for (char16_t c : buffer) {
        if (c == 0)
            break;
        name.push_back(c);
    }
    return name;
}

std::u16string productNameFromString(std::u16string_view raw)
{
    std::u16string name(raw.substr(0, kProductNameUnits));
    if (const auto nul = name.find(u'\0'); nul != std::u16string::npos)
        name.resize(nul);
    for (size_t i = 0; i < name.size(); ++i) {
        const bool high = name[i] >= 0xD800 && name[i] <= 0xDBFF;
        const bool low = name[i] >= 0xDC00 && name[i] <= 0xDFFF;
        if (high && i + 1 < name.size() && name[i + 1] >= 0xDC00 && name[i + 1] <= 0xDFFF)
            ++i; // a whole pair
        else if (high || low)
            name[i] = 0xFFFD;
    }
    return name;
}

std::u16string deviceListLabel(std::u16string_view productName, std::uint16_t vendorId, std::uint16_t productId)
{
    if (!productName.empty())
        return std::u16string(productName);
    char text[32];
    const int n = std::snprintf(text, sizeof text, "Device VID=%04X PID=%04X", unsigned(vendorId), unsigned(productId));
    return std::u16string(text, text + n);
}

} // namespace torvex
