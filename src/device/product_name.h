#pragma once

// How a device's product string, as each system gives it, becomes the name the device list shows.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace torvex {

// Units a product name keeps: the size of the buffer the Windows services fill (508 bytes).
inline constexpr std::size_t kProductNameUnits = 254;

// Linux gives the USB product string as UTF-8 (sysfs, or the HID name from udev). Anything that is not
// well-formed UTF-8 becomes U+FFFD.
std::u16string productStringFromUtf8(std::string_view utf8);

// Windows fills a buffer of UTF-16 units; the string ends at the first NUL, or at the buffer's end.
std::u16string productStringFromUtf16(std::span<const char16_t> buffer);

// The name a device keeps: up to the first NUL, at most kProductNameUnits units; a surrogate without its
// pair (from the device, or split by the cut) becomes U+FFFD, so the name is always valid text.
std::u16string productNameFromString(std::u16string_view raw);

// The device list's entry, UTF-8: the product name, or "Device VID=xxxx PID=xxxx" (upper-case hex) without one.
std::string deviceListLabel(std::u16string_view productName, std::uint16_t vendorId, std::uint16_t productId);

} // namespace torvex
