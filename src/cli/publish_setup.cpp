#include "cli/publish_setup.h"

#ifdef TORVEX_PUBLISH

#include "publish/batch_json.h"
#include "publish/topics.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <unistd.h>

namespace torvex::cli {

namespace {

std::optional<std::string> firstLine(const std::string &path, std::string &error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read the password file " + path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

} // namespace

std::optional<PublishPlan> planPublish(const CliOptions::Publish &options,
                                       const std::function<std::optional<std::string>(const char *)> &environment,
                                       std::string &error)
{
    PublishPlan plan;
    MqttSettings &s = plan.settings;
    const auto url = parseBrokerUrl(options.url, error);
    if (!url)
        return std::nullopt;
    s.url = *url;
    if (!options.name.empty()) {
        if (const std::string reason = refusedIdReason(options.name); !reason.empty()) {
            error = "--name " + options.name + ": " + reason;
            return std::nullopt;
        }
        plan.name = options.name;
    }
    if (!options.passwordFile.empty()) {
        if (s.url.user.empty()) {
            error = "a password needs a user name in the URL: mqtt://USER@HOST/PREFIX";
            return std::nullopt;
        }
        const auto password = firstLine(options.passwordFile, error);
        if (!password)
            return std::nullopt;
        s.password = *password;
    } else if (const auto password = environment("TORVEX_MQTT_PASSWORD"); password && !s.url.user.empty()) {
        s.password = *password;
    }
    const bool tlsOptions =
        !options.caFile.empty() || !options.certFile.empty() || !options.keyFile.empty() || options.insecure;
    if (tlsOptions && !s.url.tls) {
        error = "--cafile, --cert, --key and --insecure are for a TLS connection: mqtts://";
        return std::nullopt;
    }
    s.caFile = options.caFile;
    s.certFile = options.certFile;
    s.keyFile = options.keyFile;
    s.insecure = options.insecure;
    s.batchInterval = options.batch;
    const auto nowMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count();
    s.run = newRunId(nowMs);
    return plan;
}

void completePublish(PublishPlan &plan, const PublishIdentity &identity, const std::string &version,
                     const std::vector<std::filesystem::path> &folders)
{
    MqttSettings &s = plan.settings;
    s.topics = instrumentTopics(s.url.prefix, identity.id);
    s.clientId = mqttClientId(identity.id, hostName());
    s.info = infoJson({identity.product, identity.serial, version, s.run});
    s.recoveryFiles.clear();
    for (const std::filesystem::path &folder : folders)
        s.recoveryFiles.push_back(folder / ("torvex-" + identity.id + "-" + s.run + ".unpublished.jsonl"));
}

std::string hostName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
        return "localhost";
    return name;
}

} // namespace torvex::cli

#endif
