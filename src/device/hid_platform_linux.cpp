// Linux HID backend: devices from udev's hidraw subsystem, reads and writes on /dev/hidrawN.
#include "device/hid_platform_linux.h"

#include "device/product_name.h"
#include "device/report_descriptor.h"

#include <libudev.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <linux/hidraw.h>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace torvex {
namespace {

bool isGoneError(int error) { return error == EIO || error == ENODEV || error == ENXIO; }

std::optional<std::vector<uint8_t>> readSysfsDescriptor(const std::string &syspath)
{
    std::ifstream file(syspath + "/device/report_descriptor", std::ios::binary);
    if (!file)
        return std::nullopt;
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (bytes.empty())
        return std::nullopt;
    return bytes;
}

std::optional<std::vector<uint8_t>> readIoctlDescriptor(int fd)
{
    if (fd < 0)
        return std::nullopt;
    int size = 0;
    if (ioctl(fd, HIDIOCGRDESCSIZE, &size) < 0 || size <= 0 || size > HID_MAX_DESCRIPTOR_SIZE)
        return std::nullopt;
    hidraw_report_descriptor desc{};
    desc.size = static_cast<uint32_t>(size);
    if (ioctl(fd, HIDIOCGRDESC, &desc) < 0)
        return std::nullopt;
    return std::vector<uint8_t>(desc.value, desc.value + desc.size);
}

int pollTimeout(std::chrono::milliseconds slice)
{
    return static_cast<int>(std::clamp<long long>(slice.count(), 0, INT_MAX));
}

// ---------------------------------------------------------------------------------------------------------

class FdReader : public HidReader {
public:
    FdReader(int fd, bool numbered) : fd_(fd), numbered_(numbered) { wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK); }

    ~FdReader() override
    {
        if (wake_ >= 0)
            close(wake_);
        if (fd_ >= 0)
            close(fd_);
    }

    HidIoResult startRead(uint8_t *buffer, size_t size) override
    {
        if (pending_ || buffer == nullptr || size < (numbered_ ? 1u : 2u) || wake_ < 0)
            return {HidIoStatus::Failed, 0, EINVAL};
        buffer_ = buffer;
        size_ = size;
        pending_ = true;
        return {HidIoStatus::Ok, 0, 0};
    }

    HidIoResult waitRead(std::chrono::milliseconds slice) override
    {
        if (!pending_)
            return {HidIoStatus::Failed, 0, EINVAL};
        pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_, POLLIN, 0}};
        const int ready = poll(fds, 2, pollTimeout(slice));
        if (ready < 0)
            return errno == EINTR ? HidIoResult{HidIoStatus::Timeout, 0, 0} : finish(HidIoStatus::Failed, errno);
        if (ready == 0)
            return {HidIoStatus::Timeout, 0, 0};
        if (fds[1].revents & POLLIN) {
            uint64_t count = 0;
            [[maybe_unused]] const ssize_t drained = read(wake_, &count, sizeof count);
            return {HidIoStatus::Interrupted, 0, 0};
        }
        if (fds[0].revents & POLLIN) {
            // Unnumbered reports carry no id byte here; make room for a 0 so byte 0 is always the id.
            uint8_t *target = numbered_ ? buffer_ : buffer_ + 1;
            const size_t room = numbered_ ? size_ : size_ - 1;
            const ssize_t n = read(fd_, target, room);
            if (n < 0) {
                const int error = errno;
                if (error == EAGAIN || error == EINTR)
                    return {HidIoStatus::Timeout, 0, 0};
                return finish(isGoneError(error) ? HidIoStatus::Gone : HidIoStatus::Failed, error);
            }
            if (n == 0) // end of stream: the other side is gone
                return finish(HidIoStatus::Gone, ENODEV);
            size_t count = static_cast<size_t>(n);
            if (!numbered_) {
                buffer_[0] = 0;
                ++count;
            }
            pending_ = false;
            return {HidIoStatus::Ok, count, 0};
        }
        if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL))
            return finish(HidIoStatus::Gone, ENODEV);
        return {HidIoStatus::Timeout, 0, 0};
    }

    void interrupt() override
    {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(wake_, &one, sizeof one);
    }

    // Reads are only issued once poll() says a report is there, so nothing is pending in the kernel.
    void cancel() override { pending_ = false; }

private:
    HidIoResult finish(HidIoStatus status, int error)
    {
        pending_ = false;
        return {status, 0, static_cast<uint32_t>(error)};
    }

    int fd_;
    int wake_ = -1;
    bool numbered_;
    uint8_t *buffer_ = nullptr;
    size_t size_ = 0;
    bool pending_ = false;
};

// ---------------------------------------------------------------------------------------------------------

class LinuxHandle : public HidHandle {
public:
    LinuxHandle(udev_device *device, int fd) : device_(device), fd_(fd) {}

    ~LinuxHandle() override
    {
        if (fd_ >= 0)
            close(fd_);
        udev_device_unref(device_);
    }

    std::optional<THidAttributes> attributes() override
    {
        THidAttributes attributes;
        hidraw_devinfo info{};
        if (fd_ >= 0 && ioctl(fd_, HIDIOCGRAWINFO, &info) == 0) {
            // The kernel gives signed 16-bit ids.
            attributes.VendorId = static_cast<uint16_t>(info.vendor);
            attributes.ProductId = static_cast<uint16_t>(info.product);
        } else {
            udev_device *hid = udev_device_get_parent_with_subsystem_devtype(device_, "hid", nullptr);
            const char *id = hid ? udev_device_get_property_value(hid, "HID_ID") : nullptr;
            unsigned bus = 0;
            unsigned vendor = 0;
            unsigned product = 0;
            if (id == nullptr || std::sscanf(id, "%x:%x:%x", &bus, &vendor, &product) != 3)
                return std::nullopt;
            attributes.VendorId = static_cast<uint16_t>(vendor);
            attributes.ProductId = static_cast<uint16_t>(product);
        }
        if (udev_device *usb = usbDevice()) {
            if (const char *bcd = udev_device_get_sysattr_value(usb, "bcdDevice"))
                attributes.VersionNumber = static_cast<uint16_t>(std::strtoul(bcd, nullptr, 16));
        }
        return attributes;
    }

    std::optional<std::u16string> productString() override
    {
        // The USB product string, not the HID name (which joins manufacturer and product).
        if (udev_device *usb = usbDevice()) {
            const char *product = udev_device_get_sysattr_value(usb, "product");
            if (product == nullptr)
                return std::nullopt;
            return productStringFromUtf8(product);
        }
        udev_device *hid = udev_device_get_parent_with_subsystem_devtype(device_, "hid", nullptr);
        const char *name = hid ? udev_device_get_property_value(hid, "HID_NAME") : nullptr;
        if (name == nullptr)
            return std::nullopt;
        return productStringFromUtf8(name);
    }

    std::optional<std::u16string> serialNumber() override
    {
        udev_device *usb = usbDevice();
        const char *serial = usb ? udev_device_get_sysattr_value(usb, "serial") : nullptr;
        if (serial == nullptr)
            return std::nullopt;
        return productStringFromUtf8(serial);
    }

    std::string portPath() override
    {
        // The USB device's kernel name is its place: bus, then the port numbers from the root hub down.
        udev_device *usb = usbDevice();
        const char *name = usb ? udev_device_get_sysname(usb) : nullptr;
        return name != nullptr ? name : std::string();
    }

    std::optional<THidCaps> capabilities() override
    {
        auto descriptor = readSysfsDescriptor(udev_device_get_syspath(device_));
        if (!descriptor)
            descriptor = readIoctlDescriptor(fd_);
        if (!descriptor)
            return std::nullopt;
        const ReportDescriptorInfo info = parseReportDescriptor(*descriptor);
        return THidCaps{info.inputReportLength, info.outputReportLength, info.featureReportLength};
    }

    HidIoResult write(const uint8_t *data, size_t size) override
    {
        if (fd_ < 0)
            return {HidIoStatus::Failed, 0, EBADF};
        const ssize_t n = ::write(fd_, data, size);
        if (n < 0) {
            const int error = errno;
            return {isGoneError(error) ? HidIoStatus::Gone : HidIoStatus::Failed, 0, static_cast<uint32_t>(error)};
        }
        return {HidIoStatus::Ok, static_cast<size_t>(n), 0};
    }

private:
    udev_device *usbDevice() { return udev_device_get_parent_with_subsystem_devtype(device_, "usb", "usb_device"); }

    udev_device *device_;
    int fd_;
};

// ---------------------------------------------------------------------------------------------------------

class LinuxHidPlatform : public HidPlatform {
public:
    LinuxHidPlatform(std::chrono::milliseconds rescanWithoutDaemon, UdevEvents events)
        : rescanWithoutDaemon_(rescanWithoutDaemon)
    {
        udev_ = udev_new();
        if (udev_ == nullptr)
            return;
        // The daemon's "udev" events come once its rules have run, so the node can be opened. Without a
        // daemon such a monitor stays silent forever: take the kernel's own events (no rules will run), and
        // rescan as well, since a container may not get those either.
        daemon_ = events == UdevEvents::Auto ? access("/run/udev/control", F_OK) == 0 : events == UdevEvents::Daemon;
        monitor_ = udev_monitor_new_from_netlink(udev_, daemon_ ? "udev" : "kernel");
        if (monitor_ != nullptr
            && (udev_monitor_filter_add_match_subsystem_devtype(monitor_, "hidraw", nullptr) < 0
                || udev_monitor_enable_receiving(monitor_) < 0)) {
            udev_monitor_unref(monitor_);
            monitor_ = nullptr;
        }
    }

    ~LinuxHidPlatform() override
    {
        if (monitor_ != nullptr)
            udev_monitor_unref(monitor_);
        if (udev_ != nullptr)
            udev_unref(udev_);
    }

    bool available() const override { return udev_ != nullptr; }

    std::vector<THidPnPInfo> listInterfaces() override
    {
        std::vector<THidPnPInfo> list;
        if (udev_ == nullptr)
            return list;
        udev_enumerate *enumerate = udev_enumerate_new(udev_);
        if (enumerate == nullptr)
            return list;
        udev_enumerate_add_match_subsystem(enumerate, "hidraw");
        udev_enumerate_scan_devices(enumerate);
        udev_list_entry *entry = nullptr;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate))
        {
            const char *syspath = udev_list_entry_get_name(entry);
            udev_device *device = udev_device_new_from_syspath(udev_, syspath);
            if (device == nullptr)
                continue;
            if (const char *node = udev_device_get_devnode(device))
                list.push_back({node, syspath});
            udev_device_unref(device);
        }
        udev_enumerate_unref(enumerate);
        return list;
    }

    std::unique_ptr<HidHandle> open(const THidPnPInfo &info, HidAccess access) override
    {
        if (udev_ == nullptr)
            return nullptr;
        udev_device *device = udev_device_new_from_syspath(udev_, info.DeviceInstance.c_str());
        if (device == nullptr)
            return nullptr;
        int fd = -1;
        if (access == HidAccess::ReadWrite) {
            fd = ::open(info.DevicePath.c_str(), O_RDWR | O_CLOEXEC);
            if (fd < 0) {
                udev_device_unref(device);
                return nullptr;
            }
        }
        // Query-only needs no open: identity and descriptor come from sysfs, so a device without rights is
        // still listed.
        return std::make_unique<LinuxHandle>(device, fd);
    }

    std::unique_ptr<HidReader> openReader(const THidPnPInfo &info, uint32_t &error) override
    {
        // Runs on a read thread: plain file access only, no udev objects.
        auto descriptor = readSysfsDescriptor(info.DeviceInstance);
        const int fd = ::open(info.DevicePath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            error = static_cast<uint32_t>(errno);
            return nullptr;
        }
        if (!descriptor)
            descriptor = readIoctlDescriptor(fd);
        const bool numbered = descriptor && parseReportDescriptor(*descriptor).numberedReports;
        error = 0;
        return createFdHidReader(fd, numbered);
    }

    void setDeviceChangeSink(HidDeviceChangeSink sink) override
    {
        std::lock_guard lock(sinkMutex_);
        sink_ = std::move(sink);
    }

    std::string accessProblem(const THidPnPInfo &info) override
    {
        const int fd = ::open(info.DevicePath.c_str(), O_RDWR | O_CLOEXEC);
        if (fd >= 0) {
            ::close(fd);
            return {};
        }
        return std::strerror(errno);
    }

    int noticeFd() const override { return monitor_ != nullptr ? udev_monitor_get_fd(monitor_) : -1; }

    void processNotices() override
    {
        if (monitor_ == nullptr)
            return;
        bool any = false;
        while (udev_device *device = udev_monitor_receive_device(monitor_)) {
            any = true;
            udev_device_unref(device);
        }
        if (!any)
            return;
        std::lock_guard lock(sinkMutex_);
        if (sink_)
            sink_(7, 0);
    }

    std::chrono::milliseconds rescanInterval() const override
    {
        return monitor_ != nullptr && daemon_ ? std::chrono::milliseconds(0) : rescanWithoutDaemon_;
    }

private:
    const std::chrono::milliseconds rescanWithoutDaemon_;
    bool daemon_ = false;
    udev *udev_ = nullptr;
    udev_monitor *monitor_ = nullptr;
    std::mutex sinkMutex_;
    HidDeviceChangeSink sink_;
};

} // namespace

std::unique_ptr<HidReader> createFdHidReader(int fd, bool numberedReports)
{
    return std::make_unique<FdReader>(fd, numberedReports);
}

std::unique_ptr<HidPlatform> createLinuxHidPlatform(std::chrono::milliseconds rescanWithoutDaemon, UdevEvents events)
{
    return std::make_unique<LinuxHidPlatform>(rescanWithoutDaemon, events);
}

std::unique_ptr<HidPlatform> createNativeHidPlatform() { return createLinuxHidPlatform(); }

} // namespace torvex
