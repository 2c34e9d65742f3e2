#pragma once
// The connection to one instrument: the HID controller on a plain loop, the choice of the device (a given path,
// or the first TORVEX), its read thread with a report handler, sends, and reconnection when it comes back.

#include "device/hid_controller.h"
#include "device/loop_dispatcher.h"
#include "device/report_link.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <span>
#include <string>
#include <vector>

namespace torvex::cli {

inline constexpr char16_t kInstrumentName[] = u"TORVEX";

// How the window labels a device: its product string, or "Device VID=%04X PID=%04X" without one.
std::string deviceLabel(THidDevice &device);

class InstrumentLink {
public:
    using ReportHandler = std::function<void(const std::uint8_t *data, std::size_t size)>;

    enum class State {
        Scanning,        // the first device scan has not finished
        Connected,       // reports flow, sends go out
        NotFound,        // no instrument (or none at the given path)
        NoAccess,        // found, but it cannot be opened for reading and writing
        NotAnInstrument, // the given path is a HID device that is not a TORVEX
    };

    InstrumentLink(std::shared_ptr<HidPlatform> platform, std::shared_ptr<LoopDispatcher> loop, std::string wantedPath,
                   std::ostream &err);
    ~InstrumentLink();
    InstrumentLink(const InstrumentLink &) = delete;
    InstrumentLink &operator=(const InstrumentLink &) = delete;

    // Runs the loop until the first device scan has chosen (or not found) the instrument. False when the
    // system's HID services cannot be used.
    bool start();

    State state() const { return state_; }
    bool connected() const { return state_ == State::Connected; }
    // Path of the instrument in use (or last used, or found without access).
    const std::string &devicePath() const { return path_; }
    // Why the found instrument cannot be opened for reading and writing (State::NoAccess).
    const std::string &accessProblem() const { return accessProblem_; }
    // The message for a state other than Connected, for standard error.
    std::string problemText() const;

    // Reports of the instrument, on the loop thread, one at a time, as the window's report handler gets them.
    void setReportHandler(ReportHandler handler) { handler_ = std::move(handler); }
    // Called after the instrument went away, and after it came back (not for the first connection).
    std::function<void()> onDisconnected;
    std::function<void()> onReconnected;

    // Frames one output report (report id 1, command, payload, zeros) and writes it. False when not connected
    // or the write failed.
    bool send(std::uint8_t command, std::span<const std::uint8_t> payload);

    // Stops the read thread; a report handed over just before is still delivered. Sends are refused afterwards.
    void stop();

private:
    void deviceChange();
    void connect();
    void disconnect();

    std::shared_ptr<HidPlatform> platform_;
    std::shared_ptr<LoopDispatcher> loop_;
    std::string wanted_;
    std::ostream &err_;
    std::unique_ptr<THidDeviceController> controller_;
    THidDevice *device_ = nullptr;
    State state_ = State::Scanning;
    bool everConnected_ = false;
    bool stopped_ = false;
    std::string path_;
    std::string accessProblem_;
    std::string foreignLabel_;
    ReportHandler handler_;
    OutputWorkingBuffer buffer_{};
};

} // namespace torvex::cli
