#include "measure/value_text_reference.h"

#include "measure/value_text.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace torvex {
namespace {

constexpr uint32_t kLimbBase = 1'000'000'000;

void multiply(std::vector<uint32_t> &limbs, uint32_t factor)
{
    uint64_t carry = 0;
    for (uint32_t &limb : limbs) {
        const uint64_t x = uint64_t(limb) * factor + carry;
        limb = uint32_t(x % kLimbBase);
        carry = x / kLimbBase;
    }
    for (; carry != 0; carry /= kLimbBase)
        limbs.push_back(uint32_t(carry % kLimbBase));
}

// Rounds half away from zero to the first `keep` digits; the later digits become zeros.
void roundDigits(ExactDecimal &x, size_t keep)
{
    if (keep >= x.digits.size())
        return;
    const bool up = x.digits[keep] >= '5';
    std::fill(x.digits.begin() + std::ptrdiff_t(keep), x.digits.end(), '0');
    if (!up)
        return;
    for (size_t i = keep; i-- > 0;) {
        if (x.digits[i] != '9') {
            ++x.digits[i];
            return;
        }
        x.digits[i] = '0';
    }
    x.digits.insert(x.digits.begin(), '1');
    ++x.integerDigits;
}

std::string exponentText(const ExactDecimal &x, const std::string &sign)
{
    std::string mantissa = x.digits.substr(0, 15);
    while (mantissa.size() > 1 && mantissa.back() == '0')
        mantissa.pop_back();
    std::string text = sign + mantissa[0];
    if (mantissa.size() > 1)
        text += "." + mantissa.substr(1);
    return text + "E+" + std::to_string(x.integerDigits - 1);
}

} // namespace

ExactDecimal exactDecimal(float value)
{
    if (value == 0.0f)
        return {"0", 1};
    int exponent = 0;
    const double fraction = std::frexp(std::fabs(double(value)), &exponent);
    const auto mantissa = uint32_t(std::ldexp(fraction, 24)); // a single has at most 24 significant bits
    std::vector<uint32_t> limbs{mantissa};
    size_t fractionDigits = 0;
    for (int e = exponent - 24; e != 0;) {
        if (e > 0) {
            const int step = std::min(e, 29);
            multiply(limbs, uint32_t(1) << step);
            e -= step;
        } else {
            const int step = std::min(-e, 13); // 5^13 still fits a limb multiplier
            uint32_t power = 1;
            for (int i = 0; i < step; ++i)
                power *= 5;
            multiply(limbs, power);
            fractionDigits += size_t(step);
            e += step;
        }
    }
    std::string digits = std::to_string(limbs.back());
    for (size_t i = limbs.size() - 1; i-- > 0;) {
        const std::string limb = std::to_string(limbs[i]);
        digits += std::string(9 - limb.size(), '0') + limb;
    }
    for (; fractionDigits > 0 && digits.back() == '0'; --fractionDigits)
        digits.pop_back();
    if (digits.size() <= fractionDigits)
        digits.insert(0, fractionDigits + 1 - digits.size(), '0');
    return {digits, digits.size() - fractionDigits};
}

std::string referenceValueText(ExactDecimal x, bool negative, unsigned decimals)
{
    decimals = std::min(decimals, kMaxValueDecimals);
    std::string sign = negative ? "-" : "";
    const size_t first = x.digits.find_first_not_of('0');
    // The decimal places that 15 significant digits leave; negative for more than 15 integer digits.
    const long places = first == std::string::npos ? long(decimals) : 14 - (long(x.integerDigits) - 1 - long(first));
    if (places < 0) {
        roundDigits(x, first + 15);
        return exponentText(x, sign);
    }
    const size_t shown = size_t(std::min(long(decimals), places));
    roundDigits(x, x.integerDigits + shown);
    while (x.integerDigits > 1 && x.digits[0] == '0') {
        x.digits.erase(x.digits.begin());
        --x.integerDigits;
    }
    if (x.integerDigits > 15)
        return exponentText(x, sign);
    x.digits.resize(x.integerDigits + shown, '0');
    std::string text = x.digits.substr(0, x.integerDigits);
    if (decimals > 0)
        text += "." + x.digits.substr(x.integerDigits) + std::string(decimals - shown, '0');
    if (text.find_first_not_of("0.") == std::string::npos)
        sign.clear();
    return sign + text;
}

std::string referenceValueText(float value, unsigned decimals)
{
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    return referenceValueText(exactDecimal(value), std::signbit(value), decimals);
}

} // namespace torvex
