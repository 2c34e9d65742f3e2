// Configuration replies come from the device: any bytes must decode to nothing or to a reply whose effects
// name only parameters and channels that exist and in-range list indexes.
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
        for (const ValueUpdate &u : fx.updates) {
            const ParamInfo *p = findParam(static_cast<std::uint8_t>(u.id));
            const int channels = p && p->encoding == Encoding::OutputRules ? kOutputCount : p ? p->channelCount() : 0;
            if (u.channel >= channels)
                std::abort();
            if (u.kind == ValueUpdate::Kind::Select && (u.index < -1 || u.index > 246))
                std::abort();
        }
        if (fx.stats && fx.memoLines.size() != kStatsCounterCount + 1)
            std::abort();
    }
    return 0;
}
