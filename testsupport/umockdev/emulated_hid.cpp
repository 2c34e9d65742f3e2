#include "emulated_hid.h"

#include "torvex_instrument.h"

#include <umockdev.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <thread>

#if defined(__SANITIZE_ADDRESS__)
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

#include <dirent.h>
#include <spawn.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

// The preload library must come first in the library list, before the sanitizer runtime that checks to be
// first; that order works (the preload passes every call on), so the check is turned off.
extern "C" const char *__asan_default_options() { return "verify_asan_link_order=0"; }

namespace torvex::emulated {

namespace {

constexpr size_t kKernelQueue = 64; // reports a hidraw reader may have waiting
constexpr size_t kMaxWrite = 16384; // HID_MAX_BUFFER_SIZE
constexpr unsigned kHidrawMajor = 247;

std::string hex(const std::vector<uint8_t> &bytes)
{
    std::string out;
    char two[3];
    for (const uint8_t b : bytes) {
        std::snprintf(two, sizeof two, "%02X", b);
        out += two;
    }
    return out;
}

std::string format(const char *pattern, auto... args)
{
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, pattern, args...);
    return buffer;
}

std::vector<uint8_t> parseHex(std::string_view text)
{
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < text.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::stoi(std::string(text.substr(i, 2)), nullptr, 16)));
    return bytes;
}

GCallback callback(auto *function) { return reinterpret_cast<GCallback>(reinterpret_cast<void (*)()>(function)); }

} // namespace

// What a device shares with the nodes of all its plugs.
struct DeviceShared {
    std::mutex mutex;
    EmulatedHidDevice::OutputHandler handler;
    std::vector<std::vector<uint8_t>> written;
    std::atomic<uint64_t> delivered{0};
};

// One hidraw node, from plug until the last descriptor on it is closed.
class HidNode {
public:
    HidNode(Testbed &testbed, int number, const EmulatedDeviceDescription &description,
            std::shared_ptr<DeviceShared> shared)
        : testbed_(testbed), number_(number), path_("/dev/hidraw" + std::to_string(number)), description_(description),
          shared_(std::move(shared))
    {
        name_ = description.product.value_or("");
        if (!description.manufacturer.empty())
            name_ = description.manufacturer + (name_.empty() ? "" : " ") + name_;
        if (name_.empty())
            name_ = format("HID %04x:%04x", description.vendorId, description.productId);
    }

    ~HidNode() { detach(); }

    const std::string &path() const { return path_; }
    int number() const { return number_; }
    const std::string &hidName() const { return name_; }
    bool gone() const { return gone_.load(); }
    uint64_t reads() const { return reads_.load(); }

    int clients()
    {
        std::lock_guard lock(clientsMutex_);
        pruneClients();
        return static_cast<int>(clients_.size());
    }

    // The pipe behind the node, under the testbed's /dev, and the handler of its calls. A pipe, not a terminal:
    // a session leader that opens a terminal (as Wine's device host does) takes it as its controlling
    // terminal and is killed by the hang-up on unplug.
    void create()
    {
        link_ = testbed_.rootDir() + path_;
        std::filesystem::remove(link_);
        if (mkfifo(link_.c_str(), 0600) != 0)
            throw std::runtime_error("emulated hidraw: cannot create " + link_);
        // Read and write: tokens go in here and are taken back here, and the pipe always has a writer.
        own_ = ::open(link_.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (own_ < 0)
            throw std::runtime_error("emulated hidraw: cannot open " + link_);

        handler_ = umockdev_ioctl_base_new();
        g_signal_connect(handler_, "handle-ioctl", callback(&HidNode::onIoctl), this);
        g_signal_connect(handler_, "handle-read", callback(&HidNode::onRead), this);
        g_signal_connect(handler_, "handle-write", callback(&HidNode::onWrite), this);
        g_signal_connect(handler_, "client-connected", callback(&HidNode::onConnected), this);
        GError *error = nullptr;
        if (!umockdev_testbed_attach_ioctl(testbed_.get(), path_.c_str(), handler_, &error)) {
            const std::string message = error ? error->message : "?";
            g_clear_error(&error);
            throw std::runtime_error("emulated hidraw: cannot attach to " + path_ + ": " + message);
        }
        attached_ = true;
    }

    void setOpenDenied(bool denied)
    {
        std::lock_guard lock(mutex_);
        if (own_ >= 0)
            fchmod(own_, denied ? 0 : 0600);
    }

    bool push(std::span<const uint8_t> report)
    {
        std::lock_guard lock(mutex_);
        if (gone_ || queue_.size() >= kKernelQueue || report.empty())
            return false;
        if (description_.numberedReports)
            queue_.emplace_back(report.begin(), report.end());
        else
            queue_.emplace_back(report.begin() + 1, report.end());
        // One byte per queued report keeps poll() on the node readable exactly while reports wait.
        writeToken();
        return true;
    }

    size_t queued() const
    {
        std::lock_guard lock(mutex_);
        return queue_.size();
    }

    // Unplug: the kernel wakes every reader; reads return what is queued, then EIO.
    void hangUp()
    {
        std::lock_guard lock(mutex_);
        gone_ = true;
        if (own_ >= 0)
            fchmod(own_, 0600);
        // A token never taken back keeps the node readable, so a reader comes to the read that fails.
        writeToken();
        closePipe();
        std::filesystem::remove(link_);
        // The preload library connects to this socket on every open of the node, even one that then fails;
        // without it a late open finds nothing, as on a kernel whose node has gone.
        std::filesystem::remove(testbed_.rootDir() + "/ioctl" + path_);
    }

    void detach()
    {
        if (attached_) {
            umockdev_testbed_detach_ioctl(testbed_.get(), path_.c_str(), nullptr);
            attached_ = false;
        }
        if (handler_) {
            g_signal_handlers_disconnect_by_data(handler_, this);
            g_object_unref(handler_);
            handler_ = nullptr;
        }
        {
            std::lock_guard lock(clientsMutex_);
            for (UMockdevIoctlClient *client : clients_)
                g_object_unref(client);
            clients_.clear();
        }
        std::lock_guard lock(mutex_);
        closePipe();
    }

private:
    void closePipe()
    {
        if (own_ >= 0)
            ::close(own_);
        own_ = -1;
    }

    void writeToken()
    {
        char token = 'r';
        if (own_ >= 0 && ::write(own_, &token, 1) != 1)
            token = 0; // a pipe of 64 KB cannot fill with at most 65 tokens
    }

    void takeToken()
    {
        char token = 0;
        if (own_ >= 0 && ::read(own_, &token, 1) != 1)
            token = 0; // none left: the reader polled nothing
    }

    static gboolean onRead(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer self)
    {
        auto &node = *static_cast<HidNode *>(self);
        ++node.reads_;
        UMockdevIoctlData *buffer = umockdev_ioctl_client_get_arg(client);
        std::unique_lock lock(node.mutex_);
        if (node.queue_.empty()) {
            lock.unlock();
            umockdev_ioctl_client_complete(client, -1, node.gone_ ? EIO : EAGAIN);
            return TRUE;
        }
        const std::vector<uint8_t> report = std::move(node.queue_.front());
        node.queue_.pop_front();
        node.takeToken();
        lock.unlock();
        // A buffer too small for the report gets its beginning; the rest is lost, as with the kernel.
        const size_t count = std::min(report.size(), static_cast<size_t>(std::max(buffer->data_len, 0)));
        std::memcpy(buffer->data, report.data(), count);
        ++node.shared_->delivered;
        umockdev_ioctl_client_complete(client, static_cast<glong>(count), 0);
        return TRUE;
    }

    static gboolean onWrite(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer self)
    {
        auto &node = *static_cast<HidNode *>(self);
        UMockdevIoctlData *buffer = umockdev_ioctl_client_get_arg(client);
        const auto size = static_cast<size_t>(std::max(buffer->data_len, 0));
        if (node.gone_) {
            umockdev_ioctl_client_complete(client, -1, ENODEV);
            return TRUE;
        }
        if (size < 2 || size > kMaxWrite) {
            umockdev_ioctl_client_complete(client, -1, EINVAL);
            return TRUE;
        }
        std::vector<uint8_t> report(buffer->data, buffer->data + size);
        EmulatedHidDevice::OutputHandler handler;
        {
            std::lock_guard lock(node.shared_->mutex);
            node.shared_->written.push_back(report);
            handler = node.shared_->handler;
        }
        // The write returns once the device has taken the report, like an interrupt transfer.
        if (handler)
            handler(report);
        umockdev_ioctl_client_complete(client, static_cast<glong>(size), 0);
        return TRUE;
    }

    static gboolean onIoctl(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer self)
    {
        auto &node = *static_cast<HidNode *>(self);
        const unsigned long request = umockdev_ioctl_client_get_request(client);
        if (node.gone_) {
            umockdev_ioctl_client_complete(client, -1, ENODEV);
            return TRUE;
        }
        UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
        auto answer = [&](size_t size, auto fill) {
            GError *error = nullptr;
            UMockdevIoctlData *data = umockdev_ioctl_data_resolve(arg, 0, size, &error);
            if (data == nullptr) {
                g_clear_error(&error);
                umockdev_ioctl_client_complete(client, -1, EFAULT);
                return;
            }
            const auto [result, errorCode] = fill(data->data);
            umockdev_ioctl_client_complete(client, result, errorCode);
            g_object_unref(data);
        };
        const std::vector<uint8_t> &descriptor = node.description_.reportDescriptor;
        if (request == HIDIOCGRAWINFO) {
            answer(sizeof(hidraw_devinfo), [&](uint8_t *memory) {
                hidraw_devinfo info{};
                info.bustype = node.description_.bus == HidBus::Usb ? 3 : 5;
                info.vendor = static_cast<int16_t>(node.description_.vendorId);
                info.product = static_cast<int16_t>(node.description_.productId);
                std::memcpy(memory, &info, sizeof info);
                return std::pair<glong, int>(0, 0);
            });
        } else if (request == HIDIOCGRDESCSIZE) {
            answer(sizeof(int), [&](uint8_t *memory) {
                const int size = static_cast<int>(descriptor.size());
                std::memcpy(memory, &size, sizeof size);
                return std::pair<glong, int>(0, 0);
            });
        } else if (request == HIDIOCGRDESC) {
            answer(sizeof(hidraw_report_descriptor), [&](uint8_t *memory) {
                hidraw_report_descriptor desc{};
                std::memcpy(&desc.size, memory, sizeof desc.size);
                if (desc.size > HID_MAX_DESCRIPTOR_SIZE - 1)
                    return std::pair<glong, int>(-1, EINVAL);
                const size_t count = std::min<size_t>(desc.size, descriptor.size());
                std::memcpy(memory + offsetof(hidraw_report_descriptor, value), descriptor.data(), count);
                return std::pair<glong, int>(0, 0);
            });
        } else if (_IOC_TYPE(request) == 'H' && _IOC_NR(request) == 0x04 && _IOC_DIR(request) == _IOC_READ) {
            // HIDIOCGRAWNAME(len): the name with its NUL, cut to len (then without one).
            const size_t room = _IOC_SIZE(request);
            answer(room, [&](uint8_t *memory) {
                const size_t count = std::min(node.name_.size() + 1, room);
                std::memcpy(memory, node.name_.c_str(), count);
                return std::pair<glong, int>(static_cast<glong>(count), 0);
            });
        } else {
            umockdev_ioctl_client_complete(client, -1, ENOTTY);
        }
        return TRUE;
    }

    // umockdev 0.17 never raises client-vanished, but keeps each client's "connected" up to date.
    void pruneClients()
    {
        std::erase_if(clients_, [](UMockdevIoctlClient *client) {
            if (umockdev_ioctl_client_get_connected(client))
                return false;
            g_object_unref(client);
            return true;
        });
    }

    static void onConnected(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer self)
    {
        auto &node = *static_cast<HidNode *>(self);
        std::lock_guard lock(node.clientsMutex_);
        node.pruneClients();
        node.clients_.push_back(static_cast<UMockdevIoctlClient *>(g_object_ref(client)));
    }

    Testbed &testbed_;
    const int number_;
    const std::string path_;
    const EmulatedDeviceDescription description_;
    const std::shared_ptr<DeviceShared> shared_;
    std::string name_;
    std::string link_;
    UMockdevIoctlBase *handler_ = nullptr;
    bool attached_ = false;
    mutable std::mutex mutex_;
    std::deque<std::vector<uint8_t>> queue_;
    int own_ = -1; // our own descriptor on the pipe
    std::atomic<bool> gone_{false};
    std::atomic<uint64_t> reads_{0};
    std::mutex clientsMutex_;
    std::vector<UMockdevIoctlClient *> clients_;
};

// ---------------------------------------------------------------------------------------------------------

Testbed::Testbed()
{
    testbed_ = umockdev_testbed_new();
    if (!umockdev_in_mock_environment()) {
        g_object_unref(testbed_);
        throw std::runtime_error("not under the umockdev preload library: run the program with umockdev-wrapper");
    }
    gchar *root = umockdev_testbed_get_root_dir(testbed_);
    root_ = root;
    g_free(root);
    std::filesystem::create_directories(root_ + "/dev");
}

Testbed::~Testbed()
{
    for (const auto &node : nodes_) {
        node->hangUp();
        node->detach();
    }
    nodes_.clear();
    g_object_unref(testbed_);
}

void Testbed::uevent(const std::string &syspath, const char *action)
{
    umockdev_testbed_uevent(testbed_, syspath.c_str(), action);
}

void Testbed::reapNodes()
{
    std::erase_if(nodes_, [](const std::shared_ptr<HidNode> &node) {
        if (!node->gone() || node->clients() > 0)
            return false;
        node->detach();
        return true;
    });
}

bool Testbed::settle(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        reapNodes();
        const bool settled = std::none_of(nodes_.begin(), nodes_.end(), [](const auto &n) { return n->gone(); });
        if (settled || std::chrono::steady_clock::now() >= deadline)
            return settled;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

int Testbed::freeNodeNumber()
{
    reapNodes();
    for (int number = 0;; ++number) {
        if (std::none_of(nodes_.begin(), nodes_.end(), [&](const auto &n) { return n->number() == number; }))
            return number;
    }
}

// ---------------------------------------------------------------------------------------------------------

EmulatedDeviceDescription instrumentDescription()
{
    EmulatedDeviceDescription description;
    description.product = sim::kProductName;
    description.vendorId = sim::kVendorId;
    description.productId = sim::kProductId;
    description.version = 0x0101;
    // Vendor page, report id 1, 64 bytes in and 64 out.
    description.reportDescriptor = parseHex("0600FF0901A1018501150026FF00750895400901810209019102C0");
    return description;
}

EmulatedDeviceDescription keyboardDescription()
{
    EmulatedDeviceDescription description;
    description.product = "USB Keyboard";
    description.manufacturer = "Generic";
    description.vendorId = 0x0F0F;
    description.productId = 0x0102;
    description.version = 0x0110;
    description.reportDescriptor =
        parseHex("05010906A101050719E029E71500250175019508810295017508810395057501050819012905"
                 "910295017503910395067508150025650507190029658100C0");
    description.numberedReports = false;
    return description;
}

// ---------------------------------------------------------------------------------------------------------

EmulatedHidDevice::EmulatedHidDevice(Testbed &testbed, EmulatedDeviceDescription description)
    : testbed_(testbed), description_(std::move(description)), usbPort_(testbed.nextUsbPort()),
      output_(std::make_shared<DeviceShared>())
{
}

EmulatedHidDevice::~EmulatedHidDevice()
{
    if (plugged())
        unplug();
}

std::string EmulatedHidDevice::deviceText(const std::string &hidName) const
{
    const bool usb = description_.bus == HidBus::Usb;
    std::string text;
    if (usb) {
        text += "P: " + usbSyspath_.substr(4) + "\n";
        text += "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: BUSNUM=001\n";
        text += format("E: DEVNUM=%03d\n", usbPort_);
        text += format("A: idVendor=%04x\nA: idProduct=%04x\nA: bcdDevice=%04x\n", description_.vendorId,
                       description_.productId, description_.version);
        if (description_.product)
            text += "A: product=" + *description_.product + "\n";
        if (!description_.manufacturer.empty())
            text += "A: manufacturer=" + description_.manufacturer + "\n";
        text += "\nP: " + usbSyspath_.substr(4) + format("/1-%d:1.0\n", usbPort_);
        text += "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nE: INTERFACE=3/0/0\nA: bInterfaceClass=03\n\n";
    }
    text += "P: " + hidSyspath_.substr(4) + "\n";
    text += "E: SUBSYSTEM=hid\nE: DRIVER=hid-generic\n";
    text += format("E: HID_ID=%04X:%08X:%08X\n", usb ? 3 : 5, description_.vendorId, description_.productId);
    text += "E: HID_NAME=" + hidName + "\n";
    if (description_.descriptorInSysfs)
        text += "H: report_descriptor=" + hex(description_.reportDescriptor) + "\n";
    text += "\nP: " + hidrawSyspath_.substr(4) + "\n";
    text += "E: SUBSYSTEM=hidraw\nE: DEVNAME=" + nodePath_ + "\n";
    text += format("E: MAJOR=%u\nE: MINOR=%d\n", kHidrawMajor, std::stoi(nodePath_.substr(11)));
    text += "L: device=../../../" + hidDir_ + "\n";
    return text;
}

void EmulatedHidDevice::plug()
{
    std::lock_guard lock(mutex_);
    if (node_ && !node_->gone())
        return;
    const int number = testbed_.freeNodeNumber();
    const int instance = testbed_.nextHidInstance();
    auto node = std::make_shared<HidNode>(testbed_, number, description_, output_);
    node->create();
    testbed_.nodes_.push_back(node);
    if (openDenied_)
        node->setOpenDenied(true);

    const bool usb = description_.bus == HidBus::Usb;
    hidDir_ = format("%04X:%04X:%04X.%04X", usb ? 3 : 5, description_.vendorId, description_.productId, instance);
    usbSyspath_ = usb ? format("/sys/devices/pci0000:00/0000:00:14.0/usb1/1-%d", usbPort_) : std::string();
    hidSyspath_ =
        usb ? usbSyspath_ + format("/1-%d:1.0/", usbPort_) + hidDir_ : "/sys/devices/virtual/misc/uhid/" + hidDir_;
    nodePath_ = node->path();
    hidrawSyspath_ = hidSyspath_ + "/hidraw/hidraw" + std::to_string(number);

    // The node exists before the uevents go out, as devtmpfs creates it before the kernel announces it.
    GError *error = nullptr;
    if (!umockdev_testbed_add_from_string(testbed_.get(), deviceText(node->hidName()).c_str(), &error)) {
        const std::string message = error ? error->message : "?";
        g_clear_error(&error);
        throw std::runtime_error("emulated hidraw: cannot add the device: " + message);
    }
    node_ = std::move(node);
}

void EmulatedHidDevice::unplug()
{
    std::lock_guard lock(mutex_);
    if (!node_ || node_->gone())
        return;
    node_->hangUp();
    std::vector<std::string> paths{hidrawSyspath_, hidSyspath_};
    if (description_.bus == HidBus::Usb) {
        paths.push_back(usbSyspath_ + format("/1-%d:1.0", usbPort_));
        paths.push_back(usbSyspath_);
    }
    for (const std::string &path : paths)
        testbed_.uevent(path, "remove");
    for (const std::string &path : paths)
        umockdev_testbed_remove_device(testbed_.get(), path.c_str());
}

bool EmulatedHidDevice::plugged() const
{
    std::lock_guard lock(mutex_);
    return node_ && !node_->gone();
}

std::string EmulatedHidDevice::nodePath() const
{
    std::lock_guard lock(mutex_);
    return nodePath_;
}

std::string EmulatedHidDevice::hidrawSyspath() const
{
    std::lock_guard lock(mutex_);
    return hidrawSyspath_;
}

bool EmulatedHidDevice::pushInputReport(std::span<const uint8_t> report)
{
    std::shared_ptr<HidNode> node;
    {
        std::lock_guard lock(mutex_);
        node = node_;
    }
    if (!node || !node->push(report))
        return false;
    std::lock_guard lock(mutex_);
    lastInput_.assign(report.begin(), report.end());
    return true;
}

std::vector<uint8_t> EmulatedHidDevice::lastInputReport() const
{
    std::lock_guard lock(mutex_);
    return lastInput_;
}

size_t EmulatedHidDevice::queuedInputReports() const
{
    std::lock_guard lock(mutex_);
    return node_ ? node_->queued() : 0;
}

uint64_t EmulatedHidDevice::deliveredInputReports() const { return output_->delivered.load(); }

void EmulatedHidDevice::setOutputHandler(OutputHandler handler)
{
    std::lock_guard lock(output_->mutex);
    output_->handler = std::move(handler);
}

std::vector<std::vector<uint8_t>> EmulatedHidDevice::writtenReports() const
{
    std::lock_guard lock(output_->mutex);
    return output_->written;
}

void EmulatedHidDevice::setOpenDenied(bool denied)
{
    std::lock_guard lock(mutex_);
    openDenied_ = denied;
    if (node_ && !node_->gone())
        node_->setOpenDenied(denied);
}

int EmulatedHidDevice::openDescriptors() const
{
    std::lock_guard lock(mutex_);
    return node_ ? node_->clients() : 0;
}

uint64_t EmulatedHidDevice::readCalls() const
{
    std::lock_guard lock(mutex_);
    return node_ ? node_->reads() : 0;
}

// ---------------------------------------------------------------------------------------------------------

EmulatedInstrument::EmulatedInstrument(Testbed &testbed, EmulatedDeviceDescription description,
                                       sim::InstrumentDriver::Clock clock)
    : device_(testbed, std::move(description))
{
    driver_ = std::make_unique<sim::InstrumentDriver>(
        [this](std::span<const uint8_t> report, sim::Origin origin) {
            // Flooding waits for room instead of losing reports, as a device waits for the host to poll; a reply
            // never waits, since the program's writing thread may be the one its reader waits for.
            if (origin == sim::Origin::Scheduled && driver_ && driver_->flooding()) {
                while (device_.plugged() && !driver_->stopRequested() && device_.queuedInputReports() >= 64)
                    std::this_thread::sleep_for(std::chrono::microseconds(50));
            }
            if (device_.pushInputReport(report))
                return sim::Delivery::Queued;
            return device_.plugged() ? sim::Delivery::QueueFull : sim::Delivery::Lost;
        },
        std::move(clock));
    sim::InstrumentDriver *driver = driver_.get();
    device_.setOutputHandler([driver](std::span<const uint8_t> report) { driver->handleOutputReport(report); });
    device_.plug();
}

EmulatedInstrument::~EmulatedInstrument()
{
    device_.setOutputHandler({});
    driver_->stop();
}

// ---------------------------------------------------------------------------------------------------------

namespace {

bool capabilities(bool set, __user_cap_data_struct (&data)[2])
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return syscall(set ? SYS_capset : SYS_capget, &header, data) == 0;
}

} // namespace

RootFileOverrideOff::RootFileOverrideOff()
{
    __user_cap_data_struct data[2] = {};
    if (!capabilities(false, data))
        return;
    saved_[0] = data[0].effective;
    saved_[1] = data[1].effective;
    data[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    changed_ = capabilities(true, data);
}

RootFileOverrideOff::~RootFileOverrideOff()
{
    if (!changed_)
        return;
    __user_cap_data_struct data[2] = {};
    if (!capabilities(false, data))
        return;
    data[0].effective = saved_[0];
    data[1].effective = saved_[1];
    capabilities(true, data);
}

int startProgram(const std::vector<std::string> &argv, const std::vector<std::string> &environment, int standardOutput)
{
    std::vector<std::string> env;
    for (char **entry = environ; *entry != nullptr; ++entry)
        env.emplace_back(*entry);
    auto set = [&](const std::string &assignment) {
        const std::string name = assignment.substr(0, assignment.find('=') + 1);
        std::erase_if(env, [&](const std::string &e) { return e.rfind(name, 0) == 0; });
        env.push_back(assignment);
    };
    const char *asan = std::getenv("ASAN_OPTIONS");
    set(std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":verify_asan_link_order=0");
    for (const std::string &assignment : environment)
        set(assignment);
    std::vector<char *> args, envp;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    for (const std::string &e : env)
        envp.push_back(const_cast<char *>(e.c_str()));
    envp.push_back(nullptr);
    pid_t pid = -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (standardOutput >= 0)
        posix_spawn_file_actions_adddup2(&actions, standardOutput, STDOUT_FILENO);
    const int result = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return result == 0 ? pid : -1;
}

namespace {

int entriesOf(const char *directory)
{
    int count = 0;
    if (DIR *dir = opendir(directory)) {
        while (const dirent *entry = readdir(dir))
            count += entry->d_name[0] != '.';
        closedir(dir);
    }
    return count;
}

} // namespace

int openFileDescriptors() { return entriesOf("/proc/self/fd") - 1; } // less the directory's own

int runningThreads() { return entriesOf("/proc/self/task"); }

size_t heapInUse()
{
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

} // namespace torvex::emulated
