#pragma once
// The broker as an output of the recorder: batches of records published with QoS 1 on a connection of its own.
// A batch leaves this output only when the broker has acknowledged it; while the connection is down or the
// window of unacknowledged batches is full, ready() is false and records wait in the recorder's queue. The
// connection is made again with a growing pause and the reason is kept in words. At the end, what the broker
// never acknowledged goes to a recovery file of JSON lines, one batch a line.

#include "publish/broker_url.h"
#include "publish/topics.h"
#include "record/record_output.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace torvex {

struct MqttSettings {
    BrokerUrl url;
    std::string password; // with url.user; empty: none
    std::string caFile;   // TLS: the authority the broker's certificate must come from; empty: the system's
    std::string certFile; // TLS: this client's certificate and key, when the broker asks for one
    std::string keyFile;
    bool insecure = false; // TLS without checking the broker's certificate
    std::string clientId;
    InstrumentTopics topics;
    std::string run;  // goes into every batch
    std::string info; // published retained on every connection
    std::chrono::milliseconds batchInterval{100};
    std::size_t batchRecords = 500; // at most, so that a queue that waited goes out in batches of sensible size
    std::size_t window = 16;        // batches published and not yet acknowledged
    int keepAliveSeconds = 10;
    std::chrono::milliseconds firstRetry{500}; // the pause after a failed connection, doubled up to maxRetry
    std::chrono::milliseconds maxRetry{30'000};
    // Where batches the broker never acknowledged go at the end: the first of these files that can be created.
    std::vector<std::filesystem::path> recoveryFiles;
};

class MqttOutput : public RecordOutput {
public:
    explicit MqttOutput(MqttSettings settings);
    ~MqttOutput() override;
    MqttOutput(const MqttOutput &) = delete;
    MqttOutput &operator=(const MqttOutput &) = delete;

    // Before recording: connects and waits (at most `timeout`) for the broker's answer. Empty once the broker
    // has accepted the connection, which is then kept and made again whenever it is lost; otherwise the reason
    // (an unknown host, a refused password or certificate, no answer) and nothing is kept running.
    std::string connect(std::chrono::milliseconds timeout);

    // The instrument went away or came back: the retained status says "unplugged" or "online".
    void setInstrumentPresent(bool present);

    struct Status {
        bool connected = false;
        std::string reason; // why the connection is down (or was refused last), in words
        std::uint64_t reconnections = 0;
        std::uint64_t acknowledged = 0; // records in batches the broker acknowledged
        std::uint64_t held = 0;         // records taken, not acknowledged yet
        // After finish():
        std::uint64_t rescued = 0; // records written to the recovery file
        std::filesystem::path recoveryFile;
        std::uint64_t unsaved = 0; // records neither acknowledged nor saved: no recovery file could be written
        std::string recoveryError; // why not
    };
    Status status() const;

    bool ready() override;
    void take(std::span<const MeasurementRecord> records) override;
    void tick() override;
    Clock::duration idleWait() override;
    void finish(Clock::time_point deadline) override;
    void interrupt() override;

    struct Shared;

private:
    void seal(Clock::time_point now, bool all);
    void stopNetwork(Clock::duration grace);
    void rescue();

    std::shared_ptr<Shared> shared_;
    std::thread network_;
    // Taken and not yet made into a batch; only this output's thread uses it.
    std::deque<MeasurementRecord> pending_;
    Clock::time_point lastSeal_{};
    std::uint64_t batchesMade_ = 0; // numbers the batches, see Batch::number
};

} // namespace torvex
