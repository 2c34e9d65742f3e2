#pragma once
// The one seam between the HID layer and the operating system. The controller above it is the same on every
// platform; a backend implements these few operations (hidraw + libudev, Windows HID, or the simulated one).

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace torvex {

// Error codes handed to data-error handlers. Backends pass the operating system's own code where it has one;
// these are the codes the layer itself and the simulated platform use.
inline constexpr uint32_t kHidErrorInvalidParameter = 87;
inline constexpr uint32_t kHidErrorTimeout = 1460; // a write the device did not take in time, cancelled
inline constexpr uint32_t kHidErrorOperationAborted = 995;
inline constexpr uint32_t kHidErrorDeviceNotConnected = 1167;

// Plug-and-play description of one HID interface.
struct THidPnPInfo {
    std::string DevicePath;     // what the backend opens
    std::string DeviceInstance; // identity across refreshes
};

struct THidAttributes {
    uint16_t VendorId = 0;
    uint16_t ProductId = 0;
    uint16_t VersionNumber = 0;
};

// Report lengths in the Windows convention: maximum over report ids, counting the report id byte, 0 when the
// collection has no report of that type.
struct THidCaps {
    uint16_t InputReportLength = 0;
    uint16_t OutputReportLength = 0;
    uint16_t FeatureReportLength = 0;
};

enum class HidAccess { ReadWrite, QueryOnly };

enum class HidIoStatus {
    Ok,          // done; count is valid
    Timeout,     // the wait slice passed with the read still pending
    Interrupted, // interrupt() was called; the read (if any) is still pending
    Gone,        // the device has been unplugged
    Failed,      // any other error; error holds the system code
};

struct HidIoResult {
    HidIoStatus status = HidIoStatus::Failed;
    size_t count = 0;
    uint32_t error = 0;
};

// The general handle: synchronous queries and writes. Closing = destroying the object.
class HidHandle {
public:
    virtual ~HidHandle() = default;
    virtual std::optional<THidAttributes> attributes() = 0;
    // The product string as the device reports it (UTF-16, without terminator); nullopt when it cannot be read.
    virtual std::optional<std::u16string> productString() = 0;
    // Report lengths from the descriptor data; nullopt when the descriptor cannot be had.
    virtual std::optional<THidCaps> capabilities() = 0;
    // The USB serial number string as the device reports it; nullopt when it has none or it cannot be read.
    virtual std::optional<std::u16string> serialNumber() { return std::nullopt; }
    // The USB port the device is plugged into, as the system names it (Linux: "1-1.4", bus and the ports from
    // the root hub down); empty when the system does not tell. With the serial number it tells two devices of
    // one kind apart whatever their nodes.
    virtual std::string portPath() { return {}; }
    // Writes exactly `size` bytes (byte 0 = report id, 0 for unnumbered devices) in one synchronous write.
    // A write the device does not take within the backend's bound is cancelled and fails with kHidErrorTimeout.
    virtual HidIoResult write(const uint8_t *data, size_t size) = 0;
};

// The read handle. One reader serves one read thread; only interrupt() may be called from another thread.
// Every completed read delivers byte 0 = report id (0 for devices without numbered reports).
class HidReader {
public:
    virtual ~HidReader() = default;
    // Starts one read of up to `size` bytes into `buffer`, which must stay valid until the read completed or
    // cancel() returned. Ok = started; otherwise the read is not pending.
    virtual HidIoResult startRead(uint8_t *buffer, size_t size) = 0;
    // Waits up to `slice` for the pending read. Ok = completed with `count` bytes (may be 0), Gone/Failed =
    // completed with an error, Timeout/Interrupted = still pending.
    virtual HidIoResult waitRead(std::chrono::milliseconds slice) = 0;
    // Any thread: makes the current or the next waitRead return Interrupted at once.
    virtual void interrupt() = 0;
    // Cancels the pending read, if any; when it returns, no read is pending and the buffer is free.
    virtual void cancel() = 0;
};

// Called with a device-change event code (7 = device nodes changed) and its parameter. Backends may call it
// from any thread; the controller moves it onto the UI thread.
using HidDeviceChangeSink = std::function<void(uint32_t eventCode, intptr_t param)>;

class HidPlatform {
public:
    virtual ~HidPlatform() = default;

    // False when the system's HID services cannot be used: the controller then lists nothing.
    virtual bool available() const = 0;

    // The present HID interfaces, in the system's order. Interfaces whose details cannot be read are left out.
    virtual std::vector<THidPnPInfo> listInterfaces() = 0;

    // Opens the general handle. QueryOnly asks for no access rights (identity and capabilities only).
    // nullptr when refused or when the device is gone.
    virtual std::unique_ptr<HidHandle> open(const THidPnPInfo &info, HidAccess access) = 0;

    // Opens the read handle; on failure returns nullptr and sets `error`.
    virtual std::unique_ptr<HidReader> openReader(const THidPnPInfo &info, uint32_t &error) = 0;

    // Installs (or with an empty function removes) the receiver of device-change notices. Removing waits for a
    // notice that is being delivered.
    virtual void setDeviceChangeSink(HidDeviceChangeSink sink) = 0;

    // Backends that learn of changes through a file descriptor (Linux udev monitor) return it here; the owner
    // watches it on the UI thread and calls processNotices() when it is readable. -1 when not used.
    virtual int noticeFd() const { return -1; }
    virtual void processNotices() {}

    // Posts a notice through the system's own channel (the Windows notification window), so it arrives like a
    // real one. False when the backend has no such channel; the owner then posts it itself.
    virtual bool postNotice(uint32_t eventCode, intptr_t param)
    {
        (void)eventCode;
        (void)param;
        return false;
    }

    // Why opening the device for reading and writing fails now, in words for the user (e.g. "Permission
    // denied"); empty when it does not fail or the backend cannot tell.
    virtual std::string accessProblem(const THidPnPInfo &info)
    {
        (void)info;
        return {};
    }

    // When the backend cannot be sure to learn of every change (no notices at all, or notices that may not
    // come), the interval at which the owner should rescan, beside watching noticeFd().
    virtual std::chrono::milliseconds rescanInterval() const { return std::chrono::milliseconds(0); }

    // True when listing and identity queries (product and serial strings) go to the devices themselves, so that
    // one misbehaving device can hold a query for seconds: the owner then scans off the UI thread.
    virtual bool queriesMayBlock() const { return false; }

    // How long the owner gathers notices before one scan, for systems that send many for one plug-in (0 = scan
    // at once).
    virtual std::chrono::milliseconds noticeMergeDelay() const { return std::chrono::milliseconds(0); }
};

// The backend of the platform the program is built for (hidraw on Linux, HID.dll on Windows).
std::unique_ptr<HidPlatform> createNativeHidPlatform();

} // namespace torvex
