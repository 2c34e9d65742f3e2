#include "config/number_text.h"

#include "measure/value_text.h"

#include <charconv>
#include <limits>

namespace torvex {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// Removes a leading sign; returns true when it was a minus.
bool takeSign(std::string_view &s)
{
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        const bool negative = s.front() == '-';
        s.remove_prefix(1);
        return negative;
    }
    return false;
}

std::string_view otherSeparator(std::string_view decimal) { return decimal == "." ? "," : "."; }

} // namespace

std::optional<std::int32_t> parseInt32(std::string_view text)
{
    std::string_view s = trimmed(text);
    const bool negative = takeSign(s);
    if (s.empty())
        return std::nullopt;
    std::int64_t value = 0;
    for (char c : s) {
        if (!isDigit(c))
            return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<std::int32_t>::max() || value < std::numeric_limits<std::int32_t>::min())
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::optional<float> parseReal(std::string_view text, const NumberFormat &format)
{
    std::string_view s = trimmed(text);
    const bool negative = takeSign(s);

    const std::string_view decimal = format.decimal.empty() ? std::string_view(".") : format.decimal;
    const std::string_view other = otherSeparator(decimal);
    const bool otherAccepted = other != format.group && other != decimal;

    // Rebuild in the one syntax from_chars understands.
    std::string plain;
    plain.reserve(s.size() + 1);
    bool separatorSeen = false;
    bool digitSeen = false;
    bool nonZeroIntegerDigit = false;
    while (!s.empty()) {
        if (isDigit(s.front())) {
            digitSeen = true;
            if (!separatorSeen && s.front() != '0')
                nonZeroIntegerDigit = true;
            plain.push_back(s.front());
            s.remove_prefix(1);
            continue;
        }
        std::size_t sepLength = 0;
        if (s.starts_with(decimal))
            sepLength = decimal.size();
        else if (otherAccepted && s.starts_with(other))
            sepLength = other.size();
        if (sepLength == 0 || separatorSeen)
            return std::nullopt;
        separatorSeen = true;
        plain.push_back('.');
        s.remove_prefix(sepLength);
    }
    if (!digitSeen)
        return std::nullopt;

    float value = 0.0f;
    const auto [end, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), value, std::chars_format::fixed);
    if (end != plain.data() + plain.size())
        return std::nullopt;
    if (ec == std::errc::result_out_of_range) {
        // Without an exponent only a nonzero integer part can overflow; anything else is a tiny fraction.
        value = nonZeroIntegerDigit ? std::numeric_limits<float>::infinity() : 0.0f;
    } else if (ec != std::errc()) {
        return std::nullopt;
    }
    return negative ? -value : value;
}

std::string formatReal3(float value, const NumberFormat &format)
{
    // The indicators' routine, so that a value reads the same on every page and in the settings it is saved to.
    std::string text = valueText(value, 3, '.');
    if (const std::size_t dot = text.find('.'); dot != std::string::npos)
        text.replace(dot, 1, format.decimal);
    return text;
}

std::string formatInt(std::int64_t value) { return std::to_string(value); }

} // namespace torvex
