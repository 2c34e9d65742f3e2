#pragma once
// The topics an instrument publishes under, PREFIX/ID/..., and the names they are made of.

#include <string>
#include <string_view>

namespace torvex {

// Why `name` cannot be an instrument's ID given by the user (--name), or empty when it can: MQTT gives '/', '+'
// and '#' a meaning in topics, and control characters have no place in one.
std::string refusedIdReason(std::string_view name);

// A serial number made fit for a topic level: those characters become '_'. Empty stays empty (no ID).
std::string idFromSerial(std::string_view serial);

struct InstrumentTopics {
    std::string measurements; // QoS 1, batches of reports
    std::string status;       // retained: online, unplugged, offline (also the last will)
    std::string info;         // retained: what publishes and which run
};

InstrumentTopics instrumentTopics(std::string_view prefix, std::string_view id);

// The MQTT client id: one per instrument and computer, so that two instruments on one computer, or two
// computers, never throw each other off the broker.
std::string mqttClientId(std::string_view id, std::string_view hostName);

} // namespace torvex
