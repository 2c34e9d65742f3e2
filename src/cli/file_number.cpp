#include "cli/file_number.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace torvex::cli {
namespace {

// A number taken apart: sign, the digits without their separator, how many of them follow it, the exponent.
struct Parts {
    bool negative = false;
    std::string digits;
    std::int64_t fractionDigits = 0;
    std::int64_t exponent = 0;
    bool hasExponent = false;
    bool hasSeparator = false;
};

constexpr std::int64_t kExponentCap = 100000; // far beyond any float; keeps the arithmetic in range

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::optional<Parts> split(std::string_view s)
{
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    Parts p;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        p.negative = s.front() == '-';
        s.remove_prefix(1);
    }
    while (!s.empty() && (isDigit(s.front()) || s.front() == '.' || s.front() == ',')) {
        if (!isDigit(s.front())) {
            if (p.hasSeparator)
                return std::nullopt;
            p.hasSeparator = true;
        } else {
            p.digits.push_back(s.front());
            if (p.hasSeparator)
                ++p.fractionDigits;
        }
        s.remove_prefix(1);
    }
    if (p.digits.empty())
        return std::nullopt;
    if (!s.empty() && (s.front() == 'e' || s.front() == 'E')) {
        s.remove_prefix(1);
        p.hasExponent = true;
        bool negative = false;
        if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
            negative = s.front() == '-';
            s.remove_prefix(1);
        }
        if (s.empty())
            return std::nullopt;
        for (char c : s) {
            if (!isDigit(c))
                return std::nullopt;
            p.exponent = std::min(p.exponent * 10 + (c - '0'), kExponentCap);
        }
        if (negative)
            p.exponent = -p.exponent;
        s = {};
    }
    if (!s.empty())
        return std::nullopt;
    return p;
}

} // namespace

std::optional<float> parseFileReal(std::string_view text)
{
    const auto p = split(text);
    if (!p)
        return std::nullopt;
    // The one syntax from_chars reads, rounded once to the nearest float.
    const std::string plain = p->digits + "e" + std::to_string(p->exponent - p->fractionDigits);
    float value = 0.0f;
    const auto [end, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (ec == std::errc::result_out_of_range) {
        // Too large or too small for a float: which one, the digits without leading zeros tell.
        const auto first = p->digits.find_first_not_of('0');
        const std::int64_t magnitude = first == std::string::npos
            ? std::numeric_limits<std::int64_t>::min()
            : static_cast<std::int64_t>(p->digits.size() - first) + p->exponent - p->fractionDigits;
        value = magnitude > 0 ? std::numeric_limits<float>::infinity() : 0.0f;
    } else if (ec != std::errc() || end != plain.data() + plain.size()) {
        return std::nullopt;
    }
    return p->negative ? -value : value;
}

std::optional<FileWhole> parseFileWhole(std::string_view text)
{
    const auto p = split(text);
    if (!p)
        return std::nullopt;
    if (p->hasSeparator && !p->hasExponent)
        return FileWhole{FileWhole::Kind::NotWhole};
    std::string digits = p->digits.substr(std::min(p->digits.find_first_not_of('0'), p->digits.size()));
    if (digits.empty())
        return FileWhole{FileWhole::Kind::Number, 0};
    const std::int64_t shift = p->exponent - p->fractionDigits;
    if (shift < 0) {
        // The digits that would stand after the decimal point must all be zeros.
        const std::size_t cut = static_cast<std::size_t>(std::min<std::int64_t>(-shift, kExponentCap));
        if (cut > digits.size() || digits.find_first_not_of('0', digits.size() - cut) != std::string::npos)
            return FileWhole{FileWhole::Kind::NotWhole};
        digits.resize(digits.size() - cut);
    } else if (static_cast<std::int64_t>(digits.size()) + shift > 10) {
        return FileWhole{FileWhole::Kind::TooLarge};
    } else {
        digits.append(static_cast<std::size_t>(shift), '0');
    }
    std::int64_t value = 0;
    for (char c : digits) {
        value = value * 10 + (c - '0');
        if (value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1)
            return FileWhole{FileWhole::Kind::TooLarge};
    }
    if (p->negative)
        value = -value;
    if (value > std::numeric_limits<std::int32_t>::max())
        return FileWhole{FileWhole::Kind::TooLarge};
    return FileWhole{FileWhole::Kind::Number, static_cast<std::int32_t>(value)};
}

} // namespace torvex::cli
