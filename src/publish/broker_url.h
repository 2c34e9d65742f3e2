#pragma once
// Where torvex-cli publishes: mqtt://[USER@]HOST[:PORT]/PREFIX or mqtts://... for TLS. The password is never part
// of it: a URL is shown in messages and process lists.

#include <optional>
#include <string>
#include <string_view>

namespace torvex {

struct BrokerUrl {
    bool tls = false;
    std::string host;   // a name, an IPv4 address or an IPv6 address (without its brackets)
    int port = 0;       // 1883 or 8883 when the URL names none
    std::string prefix; // the topics' first levels, without a leading or trailing '/'; may be empty
    std::string user;   // empty: none
};

// The URL checked, or nullopt with the reason in `error`.
std::optional<BrokerUrl> parseBrokerUrl(std::string_view text, std::string &error);

} // namespace torvex
