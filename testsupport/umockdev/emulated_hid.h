#pragma once
// An emulated Linux kernel for the native HID backend: a umockdev testbed (fake /sys, /dev and uevent socket,
// with the real libudev on top) holding USB HID devices with hidraw nodes that behave like the kernel's.
//
// How a node is served: /dev/hidrawN is a named pipe owned by the emulator, with an ioctl handler attached
// through umockdev. Reads, writes and ioctls on the node go to the handler (on umockdev's worker thread): a
// read takes one queued report (cut to the reader's buffer, id byte first for numbered reports), a write
// arrives whole with its exact length, HIDIOCGRAWINFO / HIDIOCGRDESCSIZE / HIDIOCGRDESC / HIDIOCGRAWNAME
// answer from the device's description. umockdev does not emulate poll(), so the pipe carries one byte per
// queued report: poll() on the node is readable exactly while reports are queued, and for good after unplug.
//
// Limits (umockdev 0.17): an empty node answers a read with EAGAIN whether or not the reader asked for
// O_NONBLOCK; all open descriptors of a node share one report queue (the kernel keeps one per descriptor);
// after an unplug poll() says POLLIN where the kernel says POLLERR | POLLHUP, so a reader learns of it from
// the read's EIO rather than from poll(); the preload library keeps a connection
// to the node's handler for every open of it that failed (EACCES), so openDescriptors() counts those too;
// each emulated uevent socket holds 10 messages (a Unix datagram queue) and umockdev aborts when one is full,
// so a monitor must be read before more than that are sent (a plug or an unplug sends 4, or 2 off USB).
//
// A process that uses this must run under umockdev-wrapper (the preload library redirects its file, ioctl and
// netlink calls into the testbed); Testbed's constructor fails otherwise.

#include "instrument_driver.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

typedef struct _UMockdevTestbed UMockdevTestbed;

namespace torvex::emulated {

class HidNode;

// The fake /sys and /dev, for this process and every program it starts (they inherit $UMOCKDEV_DIR and the
// preload library). Destroying it removes everything.
class Testbed {
public:
    Testbed();
    ~Testbed();
    Testbed(const Testbed &) = delete;
    Testbed &operator=(const Testbed &) = delete;

    UMockdevTestbed *get() const { return testbed_; }
    const std::string &rootDir() const { return root_; }

    // Sends a uevent ("add", "remove", "change") for a device of the testbed, as the kernel would.
    void uevent(const std::string &syspath, const char *action);

    // Nodes of unplugged devices are kept until the last descriptor on them is closed (the kernel frees the
    // minor number then too). Waits until that has happened for all of them, or `timeout` passed.
    bool settle(std::chrono::milliseconds timeout);

private:
    friend class EmulatedHidDevice;
    // The lowest hidraw number not in use, as the kernel hands out minors.
    int freeNodeNumber();
    void reapNodes();
    int nextHidInstance() { return ++hidInstances_; }
    int nextUsbPort() { return ++usbPorts_; }

    UMockdevTestbed *testbed_ = nullptr;
    std::string root_;
    std::vector<std::shared_ptr<HidNode>> nodes_;
    int hidInstances_ = 0;
    int usbPorts_ = 1;
};

enum class HidBus { Usb, Bluetooth };

struct EmulatedDeviceDescription {
    HidBus bus = HidBus::Usb;
    // The USB device's product string (its sysfs `product`); none = the device has no product string.
    std::optional<std::string> product;
    std::string manufacturer;
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint16_t version = 0; // bcdDevice
    std::vector<uint8_t> reportDescriptor;
    // false: the HID device's sysfs report_descriptor is missing, so only the ioctls give it away.
    bool descriptorInSysfs = true;
    // false: the descriptor declares no report ids, so reads carry no id byte.
    bool numberedReports = true;
};

// The instrument: product "TORVEX", vendor-defined reports with id 1, 64 data bytes both ways.
EmulatedDeviceDescription instrumentDescription();
// A USB boot keyboard (HID 1.11 appendix B.1 descriptor): 8-byte input and 1-byte output reports, no ids.
EmulatedDeviceDescription keyboardDescription();

// One HID device (USB device, its interface, the HID device, the hidraw node). Thread-safe.
class EmulatedHidDevice {
public:
    using OutputHandler = std::function<void(std::span<const uint8_t>)>;

    EmulatedHidDevice(Testbed &testbed, EmulatedDeviceDescription description);
    ~EmulatedHidDevice(); // unplugs
    EmulatedHidDevice(const EmulatedHidDevice &) = delete;
    EmulatedHidDevice &operator=(const EmulatedHidDevice &) = delete;

    const EmulatedDeviceDescription &description() const { return description_; }

    // Adds the device: sysfs entries and node first, then the "add" uevents (parents first), as the kernel.
    // Every plug gets a fresh HID instance number, so the device's syspath changes like a real re-plug.
    void plug();
    // Removes it: readers get the queued reports and then EIO, writes and ioctls fail with ENODEV, poll()
    // hangs up; then "remove" uevents (children first); then the sysfs entries and the node go.
    void unplug();
    bool plugged() const;

    // Of the current plug (or the last one while unplugged).
    std::string nodePath() const;
    std::string hidrawSyspath() const;

    // Byte 0 = report id (0 and left out of reads for unnumbered devices). Like the kernel, at most 64 reports
    // wait per node; false when the report was dropped (queue full or unplugged).
    bool pushInputReport(std::span<const uint8_t> report);
    size_t queuedInputReports() const;
    // The last report queued, as given to pushInputReport.
    std::vector<uint8_t> lastInputReport() const;
    // Reports the host has read, in total.
    uint64_t deliveredInputReports() const;

    // Called on umockdev's worker thread for every write on the node, with the bytes exactly as written.
    void setOutputHandler(OutputHandler handler);
    std::vector<std::vector<uint8_t>> writtenReports() const;

    // Opening the node read-write (or at all) fails with EACCES, as for a user without the udev rule. Works
    // for a process without CAP_DAC_OVERRIDE (see RootFileOverrideOff), so root-run tests drop it.
    void setOpenDenied(bool denied);

    // Descriptors the host holds on the current node, and the reads made on it (answered or not).
    int openDescriptors() const;
    uint64_t readCalls() const;

private:
    // The devices in umockdev's text format; `hidName` is the HID device's name (manufacturer and product).
    std::string deviceText(const std::string &hidName) const;

    Testbed &testbed_;
    const EmulatedDeviceDescription description_;
    const int usbPort_;
    mutable std::mutex mutex_;
    std::shared_ptr<HidNode> node_;
    std::string usbSyspath_;
    std::string hidSyspath_;
    std::string hidDir_; // the HID device's name in sysfs, e.g. 0003:F07E:0C01.0001
    std::string hidrawSyspath_;
    std::string nodePath_;
    bool openDenied_ = false;
    std::vector<uint8_t> lastInput_;
    std::shared_ptr<struct DeviceShared> output_;
};

// The simulated instrument model (sim/) behind an emulated hidraw node: its reports are queued on the node,
// what the host writes goes to its command handler.
class EmulatedInstrument {
public:
    explicit EmulatedInstrument(Testbed &testbed, EmulatedDeviceDescription description = instrumentDescription(),
                                sim::InstrumentDriver::Clock clock = {});
    ~EmulatedInstrument();
    EmulatedInstrument(const EmulatedInstrument &) = delete;
    EmulatedInstrument &operator=(const EmulatedInstrument &) = delete;

    // The device is plugged in at construction; the instrument sends once start() is called.
    void start() { driver_->start(); }
    void stop() { driver_->stop(); }

    EmulatedHidDevice &device() { return device_; }
    sim::InstrumentDriver &driver() { return *driver_; }

private:
    EmulatedHidDevice device_;
    std::unique_ptr<sim::InstrumentDriver> driver_;
};

// While it lives, this process (every thread created meanwhile too) is held to file permissions like a plain
// user, even when run as root: capabilities CAP_DAC_OVERRIDE and CAP_DAC_READ_SEARCH are taken out of the
// effective set of the calling thread and restored at the end. Threads created meanwhile inherit the reduced set.
class RootFileOverrideOff {
public:
    RootFileOverrideOff();
    ~RootFileOverrideOff();
    RootFileOverrideOff(const RootFileOverrideOff &) = delete;
    RootFileOverrideOff &operator=(const RootFileOverrideOff &) = delete;

private:
    bool changed_ = false;
    uint32_t saved_[2] = {0, 0};
};

// Starts a program that inherits the testbed (the preload library and $UMOCKDEV_DIR), with `environment`
// ("NAME=value") added or replacing; a sanitized program is told that the preload library comes first.
// Returns its process id, or -1.
int startProgram(const std::vector<std::string> &argv, const std::vector<std::string> &environment = {},
                 int standardOutput = -1);

// Counts of this process, for leak checks: descriptors, threads and heap bytes in use.
int openFileDescriptors();
int runningThreads();
size_t heapInUse();

} // namespace torvex::emulated
