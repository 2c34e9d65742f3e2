// Field texts are typed by the user: parsing must never crash, and every finite value it accepts must come
// back unchanged through the three-decimal text when that text holds it exactly.
#include "config/number_text.h"

#include <cmath>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace torvex;
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    (void)parseInt32(text);
    for (const NumberFormat &format : {NumberFormat{",", "\xc2\xa0"}, NumberFormat{".", ","}}) {
        const auto value = parseReal(text, format);
        if (!value || !std::isfinite(*value) || std::fabs(*value) >= 1e15f)
            continue;
        const auto back = parseReal(formatReal3(*value, format), format);
        if (!back)
            std::abort();
        // Three decimals round; whole thousandths must survive exactly.
        if (std::nearbyint(*value * 1000.0) == *value * 1000.0 && *back != *value)
            std::abort();
    }
    return 0;
}
