#include "publish/broker_url.h"

#include <charconv>

namespace torvex {

namespace {

bool hasControl(std::string_view text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return true;
    return false;
}

} // namespace

std::optional<BrokerUrl> parseBrokerUrl(std::string_view text, std::string &error)
{
    BrokerUrl url;
    constexpr std::string_view kPlain = "mqtt://", kTls = "mqtts://";
    if (text.starts_with(kPlain)) {
        text.remove_prefix(kPlain.size());
    } else if (text.starts_with(kTls)) {
        url.tls = true;
        text.remove_prefix(kTls.size());
    } else {
        error = "the broker's URL must start with mqtt:// or mqtts://";
        return std::nullopt;
    }
    if (hasControl(text)) {
        error = "the broker's URL contains a control character";
        return std::nullopt;
    }
    const std::size_t slash = text.find('/');
    std::string_view authority = text.substr(0, slash);
    std::string_view prefix = slash == std::string_view::npos ? std::string_view{} : text.substr(slash + 1);

    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
        const std::string_view user = authority.substr(0, at);
        if (user.find(':') != std::string_view::npos) {
            error = "the password does not go in the URL: use --password-file or TORVEX_MQTT_PASSWORD";
            return std::nullopt;
        }
        if (user.empty()) {
            error = "the user name before '@' is empty";
            return std::nullopt;
        }
        url.user = user;
        authority.remove_prefix(at + 1);
    }

    std::string_view portText;
    if (authority.starts_with('[')) {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos) {
            error = "the IPv6 address in the URL lacks its ']'";
            return std::nullopt;
        }
        url.host = authority.substr(1, close - 1);
        const std::string_view rest = authority.substr(close + 1);
        if (!rest.empty() && !rest.starts_with(':')) {
            error = "unexpected text after the IPv6 address in the URL";
            return std::nullopt;
        }
        if (!rest.empty())
            portText = rest.substr(1);
        if (rest == ":")
            portText = ":"; // an empty port, refused below
    } else {
        const std::size_t colon = authority.find(':');
        url.host = authority.substr(0, colon);
        if (colon != std::string_view::npos)
            portText = authority.substr(colon + 1).empty() ? std::string_view{":"} : authority.substr(colon + 1);
    }
    if (url.host.empty()) {
        error = "the broker's URL names no host";
        return std::nullopt;
    }
    url.port = url.tls ? 8883 : 1883;
    if (!portText.empty()) {
        int port = 0;
        const auto [end, ec] = std::from_chars(portText.data(), portText.data() + portText.size(), port);
        if (ec != std::errc{} || end != portText.data() + portText.size() || port < 1 || port > 65535) {
            error = "the port in the broker's URL must be a number from 1 to 65535";
            return std::nullopt;
        }
        url.port = port;
    }

    while (prefix.ends_with('/'))
        prefix.remove_suffix(1);
    if (prefix.find_first_of("+#") != std::string_view::npos) {
        error = "the topic prefix in the URL must not contain '+' or '#'";
        return std::nullopt;
    }
    if (prefix.starts_with('/') || prefix.find("//") != std::string_view::npos) {
        error = "the topic prefix in the URL has an empty level";
        return std::nullopt;
    }
    url.prefix = prefix;
    return url;
}

} // namespace torvex
