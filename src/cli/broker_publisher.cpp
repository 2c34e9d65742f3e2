#include "cli/broker_publisher.h"

#ifdef TORVEX_PUBLISH

#include "publish/topics.h"

#include <cstdlib>

#ifndef TORVEX_VERSION
#define TORVEX_VERSION "unknown"
#endif

namespace torvex::cli {

namespace {

std::optional<std::string> environmentVariable(const char *name)
{
    const char *value = std::getenv(name);
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

// The lock that keeps one publisher per instrument and computer lives in the service's or the user's runtime
// folder, else in the temporary folder every user shares.
std::filesystem::path lockFolder()
{
    for (const char *name : {"RUNTIME_DIRECTORY", "XDG_RUNTIME_DIR"})
        if (const auto folder = environmentVariable(name); folder && !folder->empty())
            return folder->substr(0, folder->find(':'));
    std::error_code error;
    const auto temporary = std::filesystem::temp_directory_path(error);
    return error ? std::filesystem::path("/tmp") : temporary;
}

} // namespace

std::vector<std::filesystem::path> publishRecoveryFolders(Session &session)
{
    std::vector<std::filesystem::path> folders;
    if (const auto state = environmentVariable("STATE_DIRECTORY"); state && !state->empty())
        folders.emplace_back(state->substr(0, state->find(':')));
    for (const std::string &folder : session.env().rescueFolders)
        folders.emplace_back(folder);
    return folders;
}

bool BrokerPublisher::plan(Session &session)
{
    const CliOptions::Publish &options = session.options().publish;
    url_ = options.url;
    std::string error;
    plan_ = planPublish(options, environmentVariable, error);
    if (!plan_) {
        session.message("torvex-cli: " + error);
        return false;
    }
    if (plan_->settings.insecure)
        session.message("torvex-cli: warning: --insecure: the broker's certificate is not checked; anyone on the "
                        "way to it can read and change what is published");
    return true;
}

int BrokerPublisher::connect(Session &session, std::vector<std::filesystem::path> recoveryFolders)
{
    InstrumentLink &link = session.link();
    const ListedDevice &device = link.devices().at(link.choice().chosen);
    const PublishIdentity identity{plan_->name.empty() ? idFromSerial(device.serial) : plan_->name, device.label,
                                   device.serial};
    if (identity.id.empty()) {
        session.message("torvex-cli: the instrument at " + link.deviceText()
                        + " has no serial number; name it in the topics with --name ID");
        return kExitUsage;
    }
    // A second publisher of one instrument would have the same client id: the broker would throw the two off
    // in turn, for ever.
    lock_ = std::make_unique<InstanceLock>(lockFolder() / ("torvex-publish-" + identity.id));
    if (lock_->state() == InstanceLock::State::HeldElsewhere) {
        session.message("torvex-cli: another torvex-cli on this computer publishes " + identity.id + " already");
        return kExitIo;
    }
    completePublish(*plan_, identity, TORVEX_VERSION, recoveryFolders);
    output_ = std::make_shared<MqttOutput>(plan_->settings);
    if (const std::string reason = output_->connect(std::chrono::seconds(10)); !reason.empty()) {
        session.message("torvex-cli: cannot publish to " + url_ + ": " + reason);
        return kExitBroker;
    }
    session.onInstrumentPresence = [output = output_](bool present) { output->setInstrumentPresent(present); };
    session.message("torvex-cli: publishing " + link.deviceText() + " to " + url_ + " as "
                    + plan_->settings.topics.measurements + " (run " + plan_->settings.run + ")");
    return kExitOk;
}

void BrokerPublisher::start(Recorder &recorder)
{
    recorder_ = &recorder;
    outputId_ = recorder.addOutput(output_);
}

void BrokerPublisher::tick(Session &session)
{
    const MqttOutput::Status status = output_->status();
    if (status.connected != connectedShown_) {
        if (status.connected)
            session.message("torvex-cli: connected to " + url_ + " again; the reports that waited go out now");
        else
            session.message("torvex-cli: lost the broker at " + url_ + " (" + status.reason
                            + "); reports wait for it while the connection is tried again");
        connectedShown_ = status.connected;
    }
    if (const std::uint64_t lost = recorder_->lost(outputId_); lost != lostShown_) {
        session.message("torvex-cli: " + std::to_string(lost)
                        + " reports lost: the broker was away for longer than the queue lasts");
        lostShown_ = lost;
    }
}

std::string BrokerPublisher::statusText() const
{
    const MqttOutput::Status status = output_->status();
    std::string text = std::to_string(status.acknowledged) + " published";
    const std::uint64_t waiting = recorder_->waiting(outputId_) + status.held;
    if (waiting > 0 || !status.connected)
        text += ", " + std::to_string(waiting) + " waiting for the broker";
    if (!status.connected)
        text += " (" + status.reason + ")";
    return text;
}

bool BrokerPublisher::stop(Session &session)
{
    recorder_->stopOutput(outputId_, Recorder::Clock::now() + Recorder::kStopDeadline);
    const MqttOutput::Status end = output_->status();
    const std::uint64_t lost = recorder_->lost(outputId_);
    if (end.rescued > 0)
        session.message("torvex-cli: the broker never acknowledged " + std::to_string(end.rescued)
                        + " reports; they were saved to " + std::filesystem::absolute(end.recoveryFile).string());
    if (end.unsaved > 0)
        session.message("torvex-cli: the broker never acknowledged " + std::to_string(end.unsaved)
                        + " reports, and they are lost: no recovery file could be written (" + end.recoveryError + ")");
    std::string summary = "torvex-cli: " + std::to_string(end.acknowledged) + " reports published to " + url_;
    if (lost > 0)
        summary += "; " + std::to_string(lost) + " reports lost while the broker was away";
    session.message(summary);
    return lost == 0 && end.rescued == 0 && end.unsaved == 0;
}

} // namespace torvex::cli

#endif
