#pragma once
// The broker as an output of torvex-cli's recorder, for publish and log --publish: the command line's part
// checked before the instrument is opened, the instrument's ID and the first connection before anything is
// recorded, the messages while the broker goes and comes, and what became of every report at the end.

#include "cli/publish_setup.h"
#include "cli/session.h"

#ifdef TORVEX_PUBLISH
#include "record/recorder.h"
#include "settings/instance_lock.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>
#endif

namespace torvex::cli {

#ifdef TORVEX_PUBLISH

class BrokerPublisher {
public:
    // The command line's part; false when it is refused (the reason shown; exit code kExitUsage).
    bool plan(Session &session);
    // Once the instrument is open: its ID, one publisher per instrument on this computer, and the first
    // connection. kExitOk, or the exit code after the reason has been shown. `recoveryFolders`: where batches
    // the broker never acknowledged go at the end, the first that takes them.
    int connect(Session &session, std::vector<std::filesystem::path> recoveryFolders);
    // Hands the broker every record from now on.
    void start(Recorder &recorder);
    // Once a second: says when the connection goes and comes back and when reports are lost.
    void tick(Session &session);
    // For the status line: "N published, W waiting for the broker (reason)".
    std::string statusText() const;
    // The end: the broker has the recorder's stop deadline for what waits, the rest goes to the recovery file.
    // True when every report recorded reached the broker.
    bool stop(Session &session);

private:
    std::string url_;
    std::optional<PublishPlan> plan_;
    std::unique_ptr<InstanceLock> lock_;
    std::shared_ptr<MqttOutput> output_;
    Recorder *recorder_ = nullptr;
    int outputId_ = 0;
    bool connectedShown_ = true;
    std::uint64_t lostShown_ = 0;
};

// Where publish's batches go at the end without a log file: a service's state folder, then the user's.
std::vector<std::filesystem::path> publishRecoveryFolders(Session &session);

#endif

} // namespace torvex::cli
