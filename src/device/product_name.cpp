#include "device/product_name.h"

#include "text/utf8.h"

#include <cstdio>

namespace torvex {

std::u16string productStringFromUtf8(std::string_view in)
{
    std::u16string out;
    decodeUtf8(in, [&](char32_t cp) {
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    });
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

std::string deviceListLabel(std::u16string_view productName, std::uint16_t vendorId, std::uint16_t productId)
{
    if (!productName.empty())
        return utf16ToUtf8(productName);
    char text[32];
    std::snprintf(text, sizeof text, "Device VID=%04X PID=%04X", unsigned(vendorId), unsigned(productId));
    return text;
}

} // namespace torvex
