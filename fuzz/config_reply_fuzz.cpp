// Configuration replies come from the device: any bytes must decode to nothing or to a reply whose effects
// name only existing controls and in-range list indexes.
#include "config/config_reply.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace torvex;
    const auto reply = decodeConfigReply({data, size});
    if (!reply)
        return 0;
    for (const NumberFormat &format : {NumberFormat{",", " "}, NumberFormat{".", ","}}) {
        const ReplyEffects fx = replyEffects(*reply, format);
        for (const ControlUpdate &u : fx.updates) {
            if (u.control.empty())
                std::abort();
            if (u.kind == ControlUpdate::Kind::Select && (u.index < -1 || u.index > 246))
                std::abort();
        }
        if (fx.stats && fx.memoLines.size() != kStatsCounterCount + 1)
            std::abort();
    }
    return 0;
}
