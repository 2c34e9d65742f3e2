#pragma once
// What torvex-cli publishes with: the broker's settings made from the command line, the environment and the
// instrument, checked before anything is recorded. Only where the broker client is built (not on Windows).

#include "cli/cli_args.h"

#ifdef TORVEX_PUBLISH
#include "publish/mqtt_output.h"
#endif

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace torvex::cli {

#ifdef TORVEX_PUBLISH

// The parts that need no instrument: URL, password, TLS files, --name. nullopt with `error` set (a usage error).
struct PublishPlan {
    MqttSettings settings; // topics, client id, info and recovery files still to come
    std::string name;      // --name, checked; empty: the serial number
};
std::optional<PublishPlan> planPublish(const CliOptions::Publish &options,
                                       const std::function<std::optional<std::string>(const char *)> &environment,
                                       std::string &error);

// The rest, once the instrument is there: its ID (--name or the serial number made fit for a topic; empty when
// it has neither), the topics, the client id, the retained info and where unacknowledged batches go at the end
// (the first of `folders` that takes the file).
struct PublishIdentity {
    std::string id;
    std::string product;
    std::string serial;
};
void completePublish(PublishPlan &plan, const PublishIdentity &identity, const std::string &version,
                     const std::vector<std::filesystem::path> &folders);

// This computer's name, for the client id.
std::string hostName();

#endif

} // namespace torvex::cli
