#pragma once
// A simulated HID platform: virtual devices that can be plugged and unplugged at run time, each with a model
// hook behind it. Writes go to the device's output handler; anybody can push input reports, which the device's
// reader takes one at a time (like the system's input buffer).

#include "device/hid_platform.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace torvex::sim {

struct SimDeviceDescription {
    std::u16string productName;        // empty = the device reports an empty product string
    bool productStringReadable = true; // false = reading the product string fails
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint16_t versionNumber = 0;
    // Either a report descriptor (lengths computed from it) or the lengths themselves (id byte included).
    std::vector<uint8_t> reportDescriptor;
    std::optional<THidCaps> caps;
    bool descriptorReadable = true; // false = capabilities cannot be had
    bool readWriteAccess = true;    // false = only a query-only open succeeds
    bool openable = true;           // false = no open succeeds ("cannot be opened")
    bool identifiable = true;       // false = attributes cannot be read ("cannot be identified")
    bool strictWriteLength = true;  // true = a write must be exactly OutputReportLength bytes, as on Windows
    size_t inputBufferCount = 64;   // queued input reports kept; the oldest is dropped beyond that
    std::string instance;           // device instance; generated when empty
    std::u16string serialNumber;    // the USB serial number; empty = the device has none
    std::string portPath;           // the USB port, as Linux names it ("1-4"); empty = unknown
    std::chrono::milliseconds productStringDelay{0}; // how long reading the product string takes
};

class SimHidPlatform;

// One virtual device. Thread-safe: the model may push input reports from any thread.
class SimHidDevice {
public:
    using OutputHandler = std::function<void(std::span<const uint8_t>)>;

    explicit SimHidDevice(SimDeviceDescription description);

    const SimDeviceDescription &description() const { return description_; }
    const THidPnPInfo &pnpInfo() const { return info_; }
    THidCaps caps() const;

    // Called on the writer's thread for every report written (byte 0 = report id). It may push input reports.
    void setOutputHandler(OutputHandler handler);

    // Queues one input report (byte 0 = report id, 0 for unnumbered devices). Returns false when the report
    // was not queued whole: device unplugged, or the buffer was full and the oldest report was dropped.
    bool pushInputReport(std::span<const uint8_t> report);
    // Queues one input report only when there is room, so that nothing already queued is lost: a device whose
    // report the host has not fetched in time loses the new one, and knows it.
    enum class Offer { Queued, Full, Unplugged };
    Offer offerInputReport(std::span<const uint8_t> report);
    size_t pendingInputReports() const;
    // Blocks until fewer than `below` reports are queued (a producer that must not overrun the buffer), the
    // device is unplugged or `timeout` passed. Returns whether there is room.
    bool waitForInputRoom(size_t below, std::chrono::milliseconds timeout);
    size_t droppedInputReports() const;

    // Failure switches for tests: every read start fails with `error` (0 = reads work again).
    void setReadStartError(uint32_t error);
    // Every write fails (false = writes work again).
    void setWriteFails(bool fails);
    // Every write is not taken in time and fails as the backend's bounded write does (false = writes work again).
    void setWriteTimesOut(bool timesOut);

    // Observation for tests.
    size_t readStarts() const;
    size_t readsPending() const; // reads started and neither completed nor cancelled
    size_t openReaders() const;
    std::vector<std::vector<uint8_t>> writtenReports() const;

    bool plugged() const;

private:
    friend class SimHidPlatform;
    friend class SimHandle;
    friend class SimReader;

    void setPlugged(bool plugged);
    void setInstance(const std::string &instance);
    // A handle lives as long as the connection it was opened on: after a re-plug it stays dead, as the system's.
    uint64_t plugCount() const
    {
        std::lock_guard lock(mutex_);
        return plugCount_;
    }
    bool aliveLocked(uint64_t openedAt) const { return plugged_ && plugCount_ == openedAt; }

    SimDeviceDescription description_;
    THidPnPInfo info_;
    THidCaps caps_{};

    mutable std::mutex mutex_;
    std::condition_variable inputCv_;
    std::condition_variable roomCv_;
    size_t roomBelow_ = 0; // threshold of a producer waiting for room; 0 = none waits
    std::deque<std::vector<uint8_t>> input_;
    OutputHandler outputHandler_;
    std::vector<std::vector<uint8_t>> written_;
    bool plugged_ = false;
    uint32_t readStartError_ = 0;
    bool writeFails_ = false;
    bool writeTimesOut_ = false;
    size_t readStarts_ = 0;
    size_t readsPending_ = 0;
    size_t openReaders_ = 0;
    size_t dropped_ = 0;
    uint64_t generation_ = 0; // bumped on every push and unplug, wakes waiting readers
    uint64_t plugCount_ = 0;  // connections so far
};

class SimHidPlatform : public HidPlatform {
public:
    SimHidPlatform();
    ~SimHidPlatform() override;

    // Adds a device and raises a device-change notice (7, 0). The device stays listed until unplugged.
    std::shared_ptr<SimHidDevice> plug(SimDeviceDescription description);
    // Plugs a device object again (a re-plug keeps its instance unless the description said otherwise).
    void plug(const std::shared_ptr<SimHidDevice> &device);
    // Plugs an unplugged device object again under another instance and path, as a system may hand a device
    // that comes back another node (another's former one, say).
    void plug(const std::shared_ptr<SimHidDevice> &device, const std::string &instance);
    // Removes the device: pending reads fail as unplugged, opens and writes fail. Raises a notice.
    void unplug(const std::shared_ptr<SimHidDevice> &device);

    // Raises a device-change notice without changing anything (the system sometimes does).
    void raiseNotice(uint32_t eventCode = 7, intptr_t param = 0);

    void setAvailable(bool available);
    // Behave like a backend whose queries go to the devices (Windows): the owner scans off the UI thread,
    // gathering notices for `mergeDelay` first.
    void setQueriesMayBlock(bool mayBlock, std::chrono::milliseconds mergeDelay = std::chrono::milliseconds(0));

    std::vector<std::shared_ptr<SimHidDevice>> devices() const;
    size_t listCalls() const;

    // HidPlatform
    bool available() const override;
    std::vector<THidPnPInfo> listInterfaces() override;
    std::unique_ptr<HidHandle> open(const THidPnPInfo &info, HidAccess access) override;
    std::unique_ptr<HidReader> openReader(const THidPnPInfo &info, uint32_t &error) override;
    void setDeviceChangeSink(HidDeviceChangeSink sink) override;
    std::string accessProblem(const THidPnPInfo &info) override;
    bool queriesMayBlock() const override;
    std::chrono::milliseconds noticeMergeDelay() const override;

private:
    std::shared_ptr<SimHidDevice> find(const std::string &path) const;

    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<SimHidDevice>> devices_;
    size_t listCalls_ = 0;
    bool available_ = true;
    bool queriesMayBlock_ = false;
    std::chrono::milliseconds mergeDelay_{0};

    std::mutex sinkMutex_; // held while a notice is delivered, so removing the sink waits for it
    HidDeviceChangeSink sink_;
};

} // namespace torvex::sim
