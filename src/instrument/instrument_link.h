#pragma once
// The link to the instrument: the HID devices a device pass lists, the choice of the instrument among them, its
// claim and release, its data handler, reconnection when it comes back, and the send path. The window takes a
// pass step by step from its controller's handlers, since its device list and status bar show each step;
// torvex-cli lets the link follow the device changes by itself.

#include "device/hid_controller.h"
#include "protocol/report_link.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace torvex {

class LoopDispatcher;

// A HID device as a pass lists it.
struct ListedDevice {
    std::string label; // the device list's entry (UTF-8)
    std::string path;
    std::string serial; // USB serial number (UTF-8); empty when the device has none
    std::string port;   // USB port path (e.g. "1-1.4"); empty when the system does not tell
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    bool instrument = false; // its product string is the instrument's name
    bool readWrite = false;
    int index = -1;               // in the controller's list, during the pass that listed it
    THidDevice *device = nullptr; // claimed by the link
    bool claimFailed = false;     // such an entry can never be used
};

// While the controller visits the device (its product string can be read only then).
ListedDevice describeDevice(THidDevice &device, int index);

// Which instrument to use when nobody names one.
enum class ChoicePolicy {
    // The window: of several, the one listed last, without asking.
    LastListed,
    // torvex-cli: the only one; several are refused, so that a logger never silently picks one of them.
    OnlyOne,
};

// The device a user named: its node, a link to the node (udev rules make such names), its USB serial number or
// its USB port. Empty leaves the choice to the policy.
struct DeviceSelector {
    enum class By { Any, Path, Serial, Port };
    std::string text;
    By by = By::Any;

    bool empty() const { return text.empty(); }
    bool matches(const ListedDevice &device) const;

    // What finds this very instrument again once it has been unplugged, whatever node it gets then: its serial
    // number, else its port, else (the system tells neither) its node.
    static DeviceSelector sameInstrumentAs(const ListedDevice &device);
};

// "/dev/hidraw3 (serial TX0001, port 1-4)": the node and whatever else tells the device apart.
std::string deviceIdentity(const ListedDevice &device);

struct Choice {
    enum class Outcome { Chosen, NoInstrument, Several, NoSuchDevice, NotAnInstrument };
    Outcome outcome = Outcome::NoInstrument;
    std::size_t chosen = 0;               // Chosen, NotAnInstrument: the entry
    std::vector<std::size_t> instruments; // every usable instrument listed, or selected (for Several)
};

// With a selector, the instrument it names; two instruments that both answer to it (one serial number on two
// devices) are Several, since a guess could log the wrong one.
Choice chooseInstrument(std::span<const ListedDevice> devices, ChoicePolicy policy, const DeviceSelector &selector);

class InstrumentLink {
public:
    enum class State {
        Scanning,        // no pass yet
        Connected,       // reports flow, sends go out
        NoAccess,        // chosen, but it cannot be opened for reading and writing
        NoInstrument,    // no instrument listed
        Several,         // more than one, and none named
        NoSuchDevice,    // nothing at the named path
        NotAnInstrument, // the named device is not a TORVEX
        Gone,            // the instrument in use went away
    };

    // How a pass treats the devices it lists.
    enum class Claim {
        EveryListed, // the window: its list owns every device until the next pass
        ChosenOnly,  // torvex-cli: the others stay free for other programs
    };

    InstrumentLink(ChoicePolicy policy, Claim claim, DeviceSelector selector = {});
    ~InstrumentLink();
    InstrumentLink(const InstrumentLink &) = delete;
    InstrumentLink &operator=(const InstrumentLink &) = delete;

    // Makes the controller (which posts its start-up notice). False when the system's HID services cannot be
    // used; the controller then lists nothing.
    bool start(std::shared_ptr<HidPlatform> platform, std::shared_ptr<UiDispatcher> dispatcher);
    // The controller closes every device with itself; claimed devices are not released first.
    void shutdown();
    THidDeviceController *controller() const { return controller_.get(); }

    // Every report of the device in use, on the dispatcher's thread, one at a time.
    void setDataHandler(THidDataEvent handler) { handler_ = std::move(handler); }
    // The same for an owner that needs only the report's data (the bytes after the report id).
    void setReportHandler(std::function<void(std::span<const std::uint8_t> data)> handler);

    // ---- one pass in steps
    // Clears the data handler of the device in use, releases every listed device in list order, empties the list.
    void clear();
    // A device the controller's Enumerate visits, put at `position` of the list order (claimed at once under
    // Claim::EveryListed).
    const ListedDevice &list(ListedDevice device, std::size_t position);
    // Chooses by the policy and makes the choice the device in use: with read/write access it gets the data
    // handler (its read thread starts), without it stays idle.
    State connectChoice();

    // ---- torvex-cli: whole passes
    // From now on every device change is a pass that keeps the instrument in use while it is there and looks for
    // it again once it is gone: the same instrument (sameInstrumentAs), never another one that took its place.
    // Runs the loop until the first pass; true when it connected.
    bool follow(LoopDispatcher &loop);
    // After the instrument in use went away, and after it came back (not for the first connection).
    std::function<void()> onDisconnected;
    std::function<void()> onReconnected;

    // Frames one output report (report id 1, command, payload, zeros) and writes it. False when nothing is
    // connected or the write failed.
    bool send(std::uint8_t command, std::span<const std::uint8_t> payload);
    // The system's error code of the last send that failed at the device (kHidErrorTimeout: the instrument took
    // no report in time); nullopt when it did not fail there (it went out, or never reached a device).
    std::optional<std::uint32_t> sendError() const { return sendError_; }

    // Stops the read thread (a report handed over just before is still delivered); sends are refused afterwards.
    void stop();

    // The device in use (or chosen without access), and whether reports flow and sends go out.
    THidDevice *current() const { return current_; }
    bool connected() const { return connected_; }

    State state() const { return state_; }
    const std::vector<ListedDevice> &devices() const { return devices_; }
    const Choice &choice() const { return choice_; }
    // Path of the instrument in use (or last used, or chosen without access).
    const std::string &devicePath() const { return path_; }
    // deviceIdentity() of the instrument in use (or last used).
    const std::string &deviceText() const { return identity_; }
    const DeviceSelector &selector() const { return selector_; }
    // In NoAccess, why the system refuses the instrument, in its words; empty when it does not say.
    std::string accessProblem() const;

private:
    void pass();
    void drop(THidDevice *device);

    ChoicePolicy policy_;
    Claim claim_;
    DeviceSelector selector_;
    std::shared_ptr<HidPlatform> platform_;
    std::unique_ptr<THidDeviceController> controller_;
    std::vector<ListedDevice> devices_;
    Choice choice_;
    State state_ = State::Scanning;
    THidDataEvent handler_;
    std::string path_;
    std::string identity_;
    THidDevice *current_ = nullptr;
    bool connected_ = false;
    std::optional<std::uint32_t> sendError_;
    int passes_ = 0;
    bool everConnected_ = false;
    bool stopped_ = false;
    OutputWorkingBuffer buffer_{};
};

// torvex-cli list: runs the loop until the controller's first pass and lists every device then, claiming none;
// nullopt when the system's HID services cannot be used.
struct SurveyedDevice {
    ListedDevice listed;
    THidCaps caps;
    std::string accessProblem; // why it cannot be opened for reading and writing, when the system says
};
std::optional<std::vector<SurveyedDevice>> surveyDevices(std::shared_ptr<HidPlatform> platform,
                                                         std::shared_ptr<LoopDispatcher> loop);

} // namespace torvex
