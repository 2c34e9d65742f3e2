#include "publish/mqtt_output.h"

#include "publish/batch_json.h"

#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <utility>
#include <vector>

namespace torvex {

namespace {

constexpr int kQos = 1;
constexpr int kLoopTimeoutMs = 20; // how long a batch taken may wait for the network thread to send it

struct Batch {
    std::string payload;
    std::size_t records = 0;
    int mid = -1;             // the message id it was published under on this connection; -1: still to be published
    std::uint64_t number = 0; // which batch it is, so that it is found again after the mutex was let go
};

std::string lowerFirst(std::string text)
{
    if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z')
        text[0] = static_cast<char>(text[0] - 'A' + 'a');
    return text;
}

std::string connackReason(int code)
{
    switch (code) {
    case 1:
        return "the broker refused the protocol version";
    case 2:
        return "the broker refused the client id";
    case 3:
        return "the broker is unavailable";
    case 4:
        return "bad user name or password";
    case 5:
        return "not authorised";
    default:
        return lowerFirst(mosquitto_connack_string(code));
    }
}

} // namespace

struct MqttOutput::Shared {
    explicit Shared(MqttSettings s) : settings(std::move(s)) {}

    const MqttSettings settings;
    mutable std::mutex mutex;
    std::condition_variable changed;

    std::deque<Batch> batches; // sealed and not acknowledged, oldest first
    bool connected = false;
    bool everConnected = false;
    bool firstFailed = false;
    bool retry = false; // false until the first connection was accepted: a first failure ends the thread
    std::string reason;
    std::string lastLogError; // libmosquitto's own words for the last error (TLS errors come only this way)
    std::uint64_t acknowledged = 0;
    std::uint64_t reconnections = 0;
    std::size_t pending = 0; // the output thread's records not made into a batch yet, for status()

    bool present = true;
    bool statusDirty = false; // status and info to be published on this connection
    bool goOffline = false;   // the end: publish the retained "offline", then disconnect
    int offlineMid = -1;
    bool offlineDone = false;
    bool stop = false;
    bool interrupted = false;
    bool ended = false;

    // After finish().
    std::uint64_t rescued = 0, unsaved = 0;
    std::filesystem::path recoveryFile;
    std::string recoveryError;

    int refusedCode = 0; // the last CONNACK refusal on this connection

    std::string reasonFor(int rc, int error)
    {
        switch (rc) {
        case MOSQ_ERR_ERRNO:
            return lowerFirst(std::strerror(error));
        case MOSQ_ERR_EAI:
            return "cannot resolve the host name " + settings.url.host;
        case MOSQ_ERR_TLS:
        case MOSQ_ERR_TLS_HANDSHAKE: {
            std::lock_guard lock(mutex);
            return "TLS error" + (lastLogError.empty() ? std::string() : ": " + lastLogError);
        }
        case MOSQ_ERR_CONN_LOST:
        case MOSQ_ERR_NO_CONN:
            return "connection lost";
        case MOSQ_ERR_KEEPALIVE:
            return "the broker stopped answering";
        default:
            return lowerFirst(mosquitto_strerror(rc));
        }
    }
};

namespace {

using Shared = MqttOutput::Shared;

void onConnect(mosquitto *, void *object, int code)
{
    auto &s = *static_cast<Shared *>(object);
    std::lock_guard lock(s.mutex);
    if (code != 0) {
        s.refusedCode = code;
        return;
    }
    if (s.everConnected)
        ++s.reconnections;
    s.connected = true;
    s.everConnected = true;
    s.reason.clear();
    s.statusDirty = true;
    // What the previous connection published and never saw acknowledged goes again, in order.
    for (Batch &b : s.batches)
        b.mid = -1;
    s.changed.notify_all();
}

void onPublish(mosquitto *, void *object, int mid)
{
    auto &s = *static_cast<Shared *>(object);
    std::lock_guard lock(s.mutex);
    if (mid == s.offlineMid) {
        s.offlineDone = true;
    } else {
        const auto batch =
            std::find_if(s.batches.begin(), s.batches.end(), [mid](const Batch &b) { return b.mid == mid; });
        if (batch != s.batches.end()) {
            s.acknowledged += batch->records;
            s.batches.erase(batch);
        }
    }
    s.changed.notify_all();
}

void onLog(mosquitto *, void *object, int level, const char *text)
{
    if ((level & MOSQ_LOG_ERR) == 0)
        return;
    auto &s = *static_cast<Shared *>(object);
    std::lock_guard lock(s.mutex);
    s.lastLogError = text;
}

// One connection attempt and its life: a libmosquitto client of its own, so that nothing it queued survives
// into the next connection (this output publishes again what was not acknowledged, itself, in order).
class Connection {
public:
    explicit Connection(Shared &s) : s_(s) {}
    ~Connection()
    {
        if (mosq_ != nullptr)
            mosquitto_destroy(mosq_);
    }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    // Empty when the connection is under way, else why not.
    std::string open()
    {
        const MqttSettings &settings = s_.settings;
        mosq_ = mosquitto_new(settings.clientId.c_str(), true, &s_);
        if (mosq_ == nullptr)
            return "cannot make an MQTT client: " + lowerFirst(std::strerror(errno));
        mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
        // No limit of its own: this output keeps its own window.
        mosquitto_max_inflight_messages_set(mosq_, 0);
        mosquitto_connect_callback_set(mosq_, onConnect);
        mosquitto_publish_callback_set(mosq_, onPublish);
        mosquitto_log_callback_set(mosq_, onLog);
        if (!settings.url.user.empty()) {
            mosquitto_username_pw_set(mosq_, settings.url.user.c_str(),
                                      settings.password.empty() ? nullptr : settings.password.c_str());
        }
        static constexpr char kOffline[] = "offline";
        mosquitto_will_set(mosq_, settings.topics.status.c_str(), sizeof kOffline - 1, kOffline, kQos, true);
        if (settings.url.tls) {
            auto file = [](const std::string &path) { return path.empty() ? nullptr : path.c_str(); };
            const int rc =
                mosquitto_tls_set(mosq_, file(settings.caFile), settings.caFile.empty() ? "/etc/ssl/certs" : nullptr,
                                  file(settings.certFile), file(settings.keyFile), nullptr);
            if (rc != MOSQ_ERR_SUCCESS)
                return "cannot use the TLS files (" + lowerFirst(mosquitto_strerror(rc)) + ")";
            if (settings.insecure) {
                mosquitto_tls_opts_set(mosq_, 0, nullptr, nullptr); // SSL_VERIFY_NONE
                mosquitto_tls_insecure_set(mosq_, true);
            }
        }
        // Blocking: libmosquitto's asynchronous connect reports a refused TLS connection nowhere. A connection
        // that hangs holds up only this thread; records wait in the recorder's queue meanwhile.
        const int rc =
            mosquitto_connect(mosq_, settings.url.host.c_str(), settings.url.port, settings.keepAliveSeconds);
        return rc == MOSQ_ERR_SUCCESS ? std::string() : s_.reasonFor(rc, errno);
    }

    // Runs the connection until it is lost (the reason) or the output stops (empty).
    std::string serve()
    {
        for (;;) {
            {
                std::lock_guard lock(s_.mutex);
                if (s_.stop)
                    return {};
            }
            if (!publishWaiting())
                return {};
            const int rc = mosquitto_loop(mosq_, kLoopTimeoutMs, 1);
            const int error = errno;
            int refused = 0;
            {
                std::lock_guard lock(s_.mutex);
                refused = std::exchange(s_.refusedCode, 0);
            }
            if (refused != 0)
                return connackReason(refused);
            if (rc != MOSQ_ERR_SUCCESS)
                return s_.reasonFor(rc, error);
        }
    }

private:
    bool publish(const std::string &topic, const std::string &payload, bool retain, int *mid)
    {
        return mosquitto_publish(mosq_, mid, topic.c_str(), static_cast<int>(payload.size()), payload.data(), kQos,
                                 retain)
            == MOSQ_ERR_SUCCESS;
    }

    // False once the retained "offline" of the end is acknowledged and the connection closed. libmosquitto's
    // calls take its own lock and it calls back into ours with its lock held: so what is to go out is gathered
    // under our mutex and published without it, never holding both.
    bool publishWaiting()
    {
        const MqttSettings &settings = s_.settings;
        bool status = false, present = false, offline = false, done = false;
        std::vector<std::pair<std::uint64_t, std::string>> toPublish;
        {
            std::lock_guard lock(s_.mutex);
            if (!s_.connected)
                return true;
            status = std::exchange(s_.statusDirty, false);
            present = s_.present;
            for (const Batch &b : s_.batches)
                if (b.mid < 0)
                    toPublish.emplace_back(b.number, b.payload);
            offline = s_.goOffline && s_.offlineMid < 0;
            done = s_.offlineDone;
        }
        if (status) {
            publish(settings.topics.info, settings.info, true, nullptr);
            publish(settings.topics.status, present ? "online" : "unplugged", true, nullptr);
        }
        for (const auto &[number, payload] : toPublish) {
            int mid = -1;
            if (!publish(settings.topics.measurements, payload, false, &mid))
                continue;
            std::lock_guard lock(s_.mutex);
            for (Batch &b : s_.batches)
                if (b.number == number)
                    b.mid = mid;
        }
        if (offline) {
            int mid = -1;
            publish(settings.topics.status, "offline", true, &mid);
            std::lock_guard lock(s_.mutex);
            s_.offlineMid = mid;
        }
        if (done) {
            // A clean disconnect does not fire the will: "offline" went out above, acknowledged.
            mosquitto_disconnect(mosq_);
            return false;
        }
        return true;
    }

    Shared &s_;
    mosquitto *mosq_ = nullptr;
};

void runNetwork(const std::shared_ptr<Shared> &shared)
{
    Shared &s = *shared;
    auto pause = s.settings.firstRetry;
    std::unique_lock lock(s.mutex);
    while (!s.stop && !s.offlineDone) {
        lock.unlock();
        std::string reason;
        bool accepted = false;
        {
            Connection connection(s);
            reason = connection.open();
            if (reason.empty())
                reason = connection.serve();
            lock.lock();
            accepted = s.connected;
            s.connected = false;
            s.offlineMid = -1;
            lock.unlock();
        }
        lock.lock();
        for (Batch &b : s.batches)
            b.mid = -1;
        if (s.stop || s.offlineDone)
            break;
        s.reason = reason.empty() ? "connection closed" : reason;
        if (!s.everConnected) {
            s.firstFailed = true;
            if (!s.retry)
                break;
        }
        if (accepted)
            pause = s.settings.firstRetry;
        s.changed.notify_all();
        s.changed.wait_for(lock, pause, [&] { return s.stop; });
        pause = std::min(pause * 2, s.settings.maxRetry);
    }
    s.ended = true;
    s.changed.notify_all();
}

void initialiseLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

} // namespace

MqttOutput::MqttOutput(MqttSettings settings) : shared_(std::make_shared<Shared>(std::move(settings)))
{
    initialiseLibrary();
}

MqttOutput::~MqttOutput() { stopNetwork(std::chrono::seconds(1)); }

std::string MqttOutput::connect(std::chrono::milliseconds timeout)
{
    Shared &s = *shared_;
    network_ = std::thread([shared = shared_] { runNetwork(shared); });
    std::unique_lock lock(s.mutex);
    const bool answered = s.changed.wait_for(lock, timeout, [&] { return s.everConnected || s.firstFailed; });
    if (s.everConnected) {
        s.retry = true;
        return {};
    }
    std::string reason = answered ? s.reason : "no answer from the broker";
    if (!answered && !s.lastLogError.empty())
        reason += " (" + s.lastLogError + ")";
    lock.unlock();
    stopNetwork(std::chrono::seconds(1));
    return reason;
}

void MqttOutput::stopNetwork(Clock::duration grace)
{
    if (!network_.joinable())
        return;
    Shared &s = *shared_;
    std::unique_lock lock(s.mutex);
    s.stop = true;
    s.changed.notify_all();
    // A name lookup cannot be cut short: a thread still in one is left to end by itself, with its own hold on
    // the shared state.
    if (s.changed.wait_for(lock, grace, [&] { return s.ended; })) {
        lock.unlock();
        network_.join();
    } else {
        network_.detach();
    }
}

void MqttOutput::setInstrumentPresent(bool present)
{
    Shared &s = *shared_;
    std::lock_guard lock(s.mutex);
    if (s.present != present) {
        s.present = present;
        s.statusDirty = s.connected;
    }
}

MqttOutput::Status MqttOutput::status() const
{
    const Shared &s = *shared_;
    std::lock_guard lock(s.mutex);
    Status status;
    status.connected = s.connected;
    status.reason = s.reason;
    status.reconnections = s.reconnections;
    status.acknowledged = s.acknowledged;
    status.held = s.pending;
    for (const Batch &b : s.batches)
        status.held += b.records;
    status.rescued = s.rescued;
    status.recoveryFile = s.recoveryFile;
    status.unsaved = s.unsaved;
    status.recoveryError = s.recoveryError;
    return status;
}

bool MqttOutput::ready()
{
    Shared &s = *shared_;
    std::lock_guard lock(s.mutex);
    return s.connected && s.batches.size() < s.settings.window && pending_.size() < s.settings.batchRecords;
}

void MqttOutput::take(std::span<const MeasurementRecord> records)
{
    pending_.insert(pending_.end(), records.begin(), records.end());
    seal(Clock::now(), false);
}

void MqttOutput::tick() { seal(Clock::now(), false); }

RecordOutput::Clock::duration MqttOutput::idleWait()
{
    using namespace std::chrono_literals;
    const MqttSettings &settings = shared_->settings;
    if (!pending_.empty()) {
        const auto due = lastSeal_ + settings.batchInterval - Clock::now();
        return std::clamp<Clock::duration>(due, 5ms, settings.batchInterval);
    }
    // Records wait in the recorder's queue until the broker is back or the window has room: look again soon.
    return ready() ? Clock::duration(1s) : Clock::duration(50ms);
}

void MqttOutput::seal(Clock::time_point now, bool all)
{
    Shared &s = *shared_;
    const MqttSettings &settings = s.settings;
    while (!pending_.empty()) {
        if (!all) {
            const bool due = pending_.size() >= settings.batchRecords || now - lastSeal_ >= settings.batchInterval;
            std::lock_guard lock(s.mutex);
            if (!due || s.batches.size() >= settings.window)
                break;
        }
        const std::size_t count = std::min(settings.batchRecords, pending_.size());
        const std::vector<MeasurementRecord> chunk(pending_.begin(), pending_.begin() + static_cast<long>(count));
        Batch batch{batchJson(settings.run, chunk), count, -1, ++batchesMade_};
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(count));
        std::lock_guard lock(s.mutex);
        s.batches.push_back(std::move(batch));
        s.pending = pending_.size();
        lastSeal_ = now;
    }
    std::lock_guard lock(s.mutex);
    s.pending = pending_.size();
}

void MqttOutput::finish(Clock::time_point deadline)
{
    using namespace std::chrono_literals;
    Shared &s = *shared_;
    seal(Clock::now(), true);
    {
        // The last part of the time is for the retained "offline".
        const auto offlineShare = std::min<Clock::duration>(300ms, (deadline - Clock::now()) / 4);
        std::unique_lock lock(s.mutex);
        s.changed.wait_until(lock, deadline - offlineShare,
                             [&] { return s.batches.empty() || s.interrupted || !network_.joinable(); });
        s.goOffline = true;
        s.changed.wait_until(lock, deadline, [&] { return s.offlineDone || !s.connected || s.interrupted; });
    }
    stopNetwork(1s);
    rescue();
}

void MqttOutput::interrupt()
{
    Shared &s = *shared_;
    std::lock_guard lock(s.mutex);
    s.interrupted = true;
    s.changed.notify_all();
}

void MqttOutput::rescue()
{
    Shared &s = *shared_;
    std::deque<Batch> left;
    {
        std::lock_guard lock(s.mutex);
        left.swap(s.batches);
    }
    if (left.empty())
        return;
    std::uint64_t records = 0;
    for (const Batch &b : left)
        records += b.records;
    std::string error = "no recovery file named";
    for (const std::filesystem::path &path : s.settings.recoveryFiles) {
        // A file of its own ("x": never one that exists), so that it holds whole lines of this run only.
        std::FILE *file = std::fopen(path.string().c_str(), "wbx");
        if (file == nullptr) {
            error = path.string() + ": " + lowerFirst(std::strerror(errno));
            continue;
        }
        bool ok = true;
        for (const Batch &b : left) {
            ok = ok && std::fwrite(b.payload.data(), 1, b.payload.size(), file) == b.payload.size()
                && std::fputc('\n', file) != EOF;
        }
        const int savedErrno = errno;
        ok = std::fclose(file) == 0 && ok;
        if (ok) {
            std::lock_guard lock(s.mutex);
            s.rescued = records;
            s.recoveryFile = path;
            return;
        }
        error = path.string() + ": " + lowerFirst(std::strerror(savedErrno != 0 ? savedErrno : errno));
        std::filesystem::remove(path);
    }
    std::lock_guard lock(s.mutex);
    s.unsaved = records;
    s.recoveryError = error;
}

} // namespace torvex
