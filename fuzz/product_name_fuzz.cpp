// A device's product string decides whether it is taken for the instrument. Whatever bytes sysfs (UTF-8,
// possibly malformed or overlong) or the Windows services (a buffer of UTF-16 units) give, the listed name must
// be valid text without NUL, no longer than the name buffer, and read "TORVEX" only when the device said exactly
// that. Whatever is decoded without a replacement character must be exactly what the device sent.
//
// Input: one byte choosing the system (even: Linux, odd: Windows), then the string's bytes.
#include "device/product_name.h"
#include "fuzz_check.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace torvex;

bool isHigh(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLow(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Straightforward UTF-8 encoding of valid UTF-16, as a second opinion on the decoder.
std::string toUtf8(const std::u16string &s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        std::uint32_t cp = s[i];
        if (isHigh(s[i]))
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[++i] - 0xDC00);
        if (cp < 0x80) {
            out += char(cp);
        } else if (cp < 0x800) {
            out += char(0xC0 | cp >> 6);
            out += char(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += char(0xE0 | cp >> 12);
            out += char(0x80 | (cp >> 6 & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        } else {
            out += char(0xF0 | cp >> 18);
            out += char(0x80 | (cp >> 12 & 0x3F));
            out += char(0x80 | (cp >> 6 & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

// Valid UTF-16 without NUL, within the name buffer; the label is the name itself when there is one.
void checkName(const std::u16string &name)
{
    require(name.size() <= kProductNameUnits, "name fits its buffer");
    for (std::size_t i = 0; i < name.size(); ++i) {
        require(name[i] != 0, "no NUL in a name");
        if (isHigh(name[i])) {
            require(i + 1 < name.size() && isLow(name[i + 1]), "high surrogate followed by a low one");
            ++i;
        } else {
            require(!isLow(name[i]), "no low surrogate alone");
        }
    }
    const std::string label = deviceListLabel(name, 0x1234, 0xABCD);
    require(!label.empty(), "every device has a label");
    require(name.empty() ? label == "Device VID=1234 PID=ABCD" : label == toUtf8(name), "label is the name");
}

void fromLinux(std::string_view bytes)
{
    // sysfs hands over a C string: it ends at the first NUL.
    const std::string_view sent = bytes.substr(0, bytes.find('\0'));
    const std::u16string name = productNameFromString(productStringFromUtf8(sent));
    checkName(name);
    require((name == u"TORVEX") == (sent == "TORVEX"), "only \"TORVEX\" lists as the instrument");
    const bool replaced = name.find(u'\uFFFD') != std::u16string::npos;
    if (!replaced && name.size() + 1 < kProductNameUnits)
        require(toUtf8(name) == sent, "what decodes cleanly is what was sent");
}

void fromWindows(const std::uint8_t *data, std::size_t size)
{
    // The services fill a zeroed buffer of 254 units; a longer string is cut to it.
    std::vector<char16_t> buffer(kProductNameUnits, 0);
    for (std::size_t i = 0; i < buffer.size() && 2 * i + 1 < size; ++i)
        buffer[i] = char16_t(data[2 * i] | data[2 * i + 1] << 8);
    const std::u16string name = productNameFromString(productStringFromUtf16(buffer));
    checkName(name);

    std::size_t sentLength = 0;
    while (sentLength < buffer.size() && buffer[sentLength] != 0)
        ++sentLength;
    require(name.size() == sentLength, "the name runs to the first NUL");
    for (std::size_t i = 0; i < sentLength; ++i) {
        const bool lone = (isHigh(buffer[i]) && !(i + 1 < sentLength && isLow(buffer[i + 1])))
            || (isLow(buffer[i]) && !(i > 0 && isHigh(buffer[i - 1])));
        require(name[i] == (lone ? u'\uFFFD' : buffer[i]), "units kept unless a surrogate is alone");
    }
    const std::u16string sent(buffer.data(), sentLength);
    require((name == u"TORVEX") == (sent == u"TORVEX"), "only \"TORVEX\" lists as the instrument");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    if (data[0] % 2 == 0)
        fromLinux(std::string_view(reinterpret_cast<const char *>(data + 1), size - 1));
    else
        fromWindows(data + 1, size - 1);
    return 0;
}
