#include "publish/topics.h"

namespace torvex {

namespace {

bool reserved(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return c == '/' || c == '+' || c == '#' || u < 0x20 || u == 0x7f;
}

} // namespace

std::string refusedIdReason(std::string_view name)
{
    if (name.empty())
        return "the name is empty";
    for (const char c : name) {
        if (c == '/' || c == '+' || c == '#')
            return std::string("the name must not contain '") + c + "': MQTT reserves it in topics";
        if (reserved(c))
            return "the name must not contain control characters";
    }
    return {};
}

std::string idFromSerial(std::string_view serial)
{
    std::string id(serial);
    for (char &c : id)
        if (reserved(c))
            c = '_';
    return id;
}

InstrumentTopics instrumentTopics(std::string_view prefix, std::string_view id)
{
    std::string base(prefix);
    if (!base.empty())
        base += '/';
    base += id;
    return {base + "/measurements", base + "/status", base + "/info"};
}

std::string mqttClientId(std::string_view id, std::string_view hostName)
{
    return "torvex-" + std::string(id) + "@" + std::string(hostName);
}

} // namespace torvex
