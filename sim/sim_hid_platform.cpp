#include "sim_hid_platform.h"

#include "device/report_descriptor.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <utility>

namespace torvex::sim {
namespace {

std::string nextInstance()
{
    static std::atomic<unsigned> counter{0};
    return "SIM\\HID\\" + std::to_string(++counter);
}

} // namespace

SimHidDevice::SimHidDevice(SimDeviceDescription description) : description_(std::move(description))
{
    setInstance(description_.instance.empty() ? nextInstance() : description_.instance);
    if (description_.caps) {
        caps_ = *description_.caps;
    } else {
        const ReportDescriptorInfo parsed = parseReportDescriptor(description_.reportDescriptor);
        caps_ = {parsed.inputReportLength, parsed.outputReportLength, parsed.featureReportLength};
    }
}

void SimHidDevice::setInstance(const std::string &instance)
{
    description_.instance = instance;
    info_.DeviceInstance = instance;
    info_.DevicePath = "sim:" + instance;
}

THidCaps SimHidDevice::caps() const { return caps_; }

void SimHidDevice::setOutputHandler(OutputHandler handler)
{
    std::lock_guard lock(mutex_);
    outputHandler_ = std::move(handler);
}

bool SimHidDevice::pushInputReport(std::span<const uint8_t> report)
{
    bool whole = true;
    {
        std::lock_guard lock(mutex_);
        if (!plugged_)
            return false;
        if (input_.size() >= std::max<size_t>(description_.inputBufferCount, 1)) {
            input_.pop_front();
            ++dropped_;
            whole = false;
        }
        input_.emplace_back(report.begin(), report.end());
        ++generation_;
    }
    inputCv_.notify_all();
    return whole;
}

SimHidDevice::Offer SimHidDevice::offerInputReport(std::span<const uint8_t> report)
{
    {
        std::lock_guard lock(mutex_);
        if (!plugged_)
            return Offer::Unplugged;
        if (input_.size() >= std::max<size_t>(description_.inputBufferCount, 1))
            return Offer::Full;
        input_.emplace_back(report.begin(), report.end());
        ++generation_;
    }
    inputCv_.notify_all();
    return Offer::Queued;
}

size_t SimHidDevice::pendingInputReports() const
{
    std::lock_guard lock(mutex_);
    return input_.size();
}

bool SimHidDevice::waitForInputRoom(size_t below, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    roomBelow_ = below;
    roomCv_.wait_for(lock, timeout, [&] { return input_.size() < below || !plugged_; });
    roomBelow_ = 0;
    return plugged_ && input_.size() < below;
}

size_t SimHidDevice::droppedInputReports() const
{
    std::lock_guard lock(mutex_);
    return dropped_;
}

void SimHidDevice::setReadStartError(uint32_t error)
{
    std::lock_guard lock(mutex_);
    readStartError_ = error;
}

void SimHidDevice::setWriteFails(bool fails)
{
    std::lock_guard lock(mutex_);
    writeFails_ = fails;
}

void SimHidDevice::setWriteTimesOut(bool timesOut)
{
    std::lock_guard lock(mutex_);
    writeTimesOut_ = timesOut;
}

size_t SimHidDevice::readStarts() const
{
    std::lock_guard lock(mutex_);
    return readStarts_;
}

size_t SimHidDevice::readsPending() const
{
    std::lock_guard lock(mutex_);
    return readsPending_;
}

size_t SimHidDevice::openReaders() const
{
    std::lock_guard lock(mutex_);
    return openReaders_;
}

std::vector<std::vector<uint8_t>> SimHidDevice::writtenReports() const
{
    std::lock_guard lock(mutex_);
    return written_;
}

bool SimHidDevice::plugged() const
{
    std::lock_guard lock(mutex_);
    return plugged_;
}

void SimHidDevice::setPlugged(bool plugged)
{
    {
        std::lock_guard lock(mutex_);
        plugged_ = plugged;
        if (!plugged)
            input_.clear();
        else
            ++plugCount_;
        ++generation_;
    }
    inputCv_.notify_all();
    roomCv_.notify_all();
}

// ---------------------------------------------------------------------------------------------------------

class SimHandle : public HidHandle {
public:
    SimHandle(std::shared_ptr<SimHidDevice> device, HidAccess access)
        : device_(std::move(device)), access_(access), plugCount_(device_->plugCount())
    {
    }

    std::optional<THidAttributes> attributes() override
    {
        if (!alive() || !device_->description_.identifiable)
            return std::nullopt;
        const auto &s = device_->description_;
        return THidAttributes{s.vendorId, s.productId, s.versionNumber};
    }

    std::optional<std::u16string> productString() override
    {
        if (device_->description_.productStringDelay.count() > 0)
            std::this_thread::sleep_for(device_->description_.productStringDelay);
        if (!alive() || !device_->description_.productStringReadable)
            return std::nullopt;
        return device_->description_.productName;
    }

    std::optional<std::u16string> serialNumber() override
    {
        if (!alive() || device_->description_.serialNumber.empty())
            return std::nullopt;
        return device_->description_.serialNumber;
    }

    std::string portPath() override { return alive() ? device_->description_.portPath : std::string(); }

    std::optional<THidCaps> capabilities() override
    {
        if (!alive() || !device_->description_.descriptorReadable)
            return std::nullopt;
        return device_->caps_;
    }

    HidIoResult write(const uint8_t *data, size_t size) override
    {
        SimHidDevice::OutputHandler handler;
        {
            std::lock_guard lock(device_->mutex_);
            if (!device_->aliveLocked(plugCount_))
                return {HidIoStatus::Gone, 0, kHidErrorDeviceNotConnected};
            if (access_ != HidAccess::ReadWrite)
                return {HidIoStatus::Failed, 0, 5}; // access denied
            if (device_->writeFails_)
                return {HidIoStatus::Failed, 0, 31}; // device not functioning
            if (device_->writeTimesOut_)
                return {HidIoStatus::Failed, 0, kHidErrorTimeout};
            if (size == 0 || (device_->description_.strictWriteLength && size != device_->caps_.OutputReportLength))
                return {HidIoStatus::Failed, 0, kHidErrorInvalidParameter};
            device_->written_.emplace_back(data, data + size);
            handler = device_->outputHandler_;
        }
        // Outside the lock: the model usually answers by pushing input reports.
        if (handler)
            handler(std::span<const uint8_t>(data, size));
        return {HidIoStatus::Ok, size, 0};
    }

private:
    bool alive() const
    {
        std::lock_guard lock(device_->mutex_);
        return device_->aliveLocked(plugCount_);
    }

    std::shared_ptr<SimHidDevice> device_;
    HidAccess access_;
    const uint64_t plugCount_;
};

class SimReader : public HidReader {
public:
    explicit SimReader(std::shared_ptr<SimHidDevice> device) : device_(std::move(device))
    {
        std::lock_guard lock(device_->mutex_);
        ++device_->openReaders_;
        plugCount_ = device_->plugCount_;
    }

    ~SimReader() override
    {
        cancel();
        std::lock_guard lock(device_->mutex_);
        --device_->openReaders_;
    }

    HidIoResult startRead(uint8_t *buffer, size_t size) override
    {
        std::lock_guard lock(device_->mutex_);
        ++device_->readStarts_;
        if (!device_->aliveLocked(plugCount_))
            return {HidIoStatus::Gone, 0, kHidErrorDeviceNotConnected};
        if (device_->readStartError_ != 0)
            return {HidIoStatus::Failed, 0, device_->readStartError_};
        if (pending_ || size == 0)
            return {HidIoStatus::Failed, 0, kHidErrorInvalidParameter};
        buffer_ = buffer;
        size_ = size;
        pending_ = true;
        ++device_->readsPending_;
        return {HidIoStatus::Ok, 0, 0};
    }

    HidIoResult waitRead(std::chrono::milliseconds slice) override
    {
        std::unique_lock lock(device_->mutex_);
        if (!pending_)
            return {HidIoStatus::Failed, 0, kHidErrorInvalidParameter};
        const bool ready = device_->inputCv_.wait_for(
            lock, slice, [&] { return interrupted_ || !device_->input_.empty() || !device_->aliveLocked(plugCount_); });
        if (!ready)
            return {HidIoStatus::Timeout, 0, 0};
        // Before the queue: after a re-plug it holds the new connection's reports, which this handle never sees.
        if (!device_->aliveLocked(plugCount_)) {
            finish();
            return {HidIoStatus::Gone, 0, kHidErrorDeviceNotConnected};
        }
        if (!device_->input_.empty()) {
            std::vector<uint8_t> report = std::move(device_->input_.front());
            device_->input_.pop_front();
            // Wake a waiting producer only when its threshold is reached, not on every report.
            if (device_->input_.size() < device_->roomBelow_)
                device_->roomCv_.notify_all();
            // Like the system, a read returns at most the buffer size and the rest of the report is lost.
            const size_t count = std::min(report.size(), size_);
            std::copy_n(report.begin(), count, buffer_);
            finish();
            return {HidIoStatus::Ok, count, 0};
        }
        interrupted_ = false;
        return {HidIoStatus::Interrupted, 0, 0};
    }

    void interrupt() override
    {
        {
            std::lock_guard lock(device_->mutex_);
            interrupted_ = true;
        }
        device_->inputCv_.notify_all();
    }

    void cancel() override
    {
        std::lock_guard lock(device_->mutex_);
        if (pending_)
            finish();
    }

private:
    void finish()
    {
        pending_ = false;
        buffer_ = nullptr;
        --device_->readsPending_;
    }

    std::shared_ptr<SimHidDevice> device_;
    uint8_t *buffer_ = nullptr;
    size_t size_ = 0;
    bool pending_ = false;
    bool interrupted_ = false;
    uint64_t plugCount_ = 0;
};

// ---------------------------------------------------------------------------------------------------------

SimHidPlatform::SimHidPlatform() = default;

SimHidPlatform::~SimHidPlatform() = default;

std::shared_ptr<SimHidDevice> SimHidPlatform::plug(SimDeviceDescription description)
{
    auto device = std::make_shared<SimHidDevice>(std::move(description));
    plug(device);
    return device;
}

void SimHidPlatform::plug(const std::shared_ptr<SimHidDevice> &device)
{
    {
        std::lock_guard lock(mutex_);
        if (std::find(devices_.begin(), devices_.end(), device) == devices_.end())
            devices_.push_back(device);
    }
    device->setPlugged(true);
    raiseNotice();
}

void SimHidPlatform::plug(const std::shared_ptr<SimHidDevice> &device, const std::string &instance)
{
    {
        std::lock_guard lock(mutex_);
        // Only an unplugged device changes its name: nobody can be looking it up then.
        if (std::find(devices_.begin(), devices_.end(), device) == devices_.end())
            device->setInstance(instance);
    }
    plug(device);
}

void SimHidPlatform::unplug(const std::shared_ptr<SimHidDevice> &device)
{
    {
        std::lock_guard lock(mutex_);
        devices_.erase(std::remove(devices_.begin(), devices_.end(), device), devices_.end());
    }
    device->setPlugged(false);
    raiseNotice();
}

void SimHidPlatform::raiseNotice(uint32_t eventCode, intptr_t param)
{
    std::lock_guard lock(sinkMutex_);
    if (sink_)
        sink_(eventCode, param);
}

void SimHidPlatform::setAvailable(bool available)
{
    std::lock_guard lock(mutex_);
    available_ = available;
}

void SimHidPlatform::setQueriesMayBlock(bool mayBlock, std::chrono::milliseconds mergeDelay)
{
    std::lock_guard lock(mutex_);
    queriesMayBlock_ = mayBlock;
    mergeDelay_ = mergeDelay;
}

bool SimHidPlatform::queriesMayBlock() const
{
    std::lock_guard lock(mutex_);
    return queriesMayBlock_;
}

std::chrono::milliseconds SimHidPlatform::noticeMergeDelay() const
{
    std::lock_guard lock(mutex_);
    return mergeDelay_;
}

std::vector<std::shared_ptr<SimHidDevice>> SimHidPlatform::devices() const
{
    std::lock_guard lock(mutex_);
    return devices_;
}

size_t SimHidPlatform::listCalls() const
{
    std::lock_guard lock(mutex_);
    return listCalls_;
}

bool SimHidPlatform::available() const
{
    std::lock_guard lock(mutex_);
    return available_;
}

std::vector<THidPnPInfo> SimHidPlatform::listInterfaces()
{
    std::lock_guard lock(mutex_);
    ++listCalls_;
    std::vector<THidPnPInfo> list;
    if (!available_)
        return list;
    for (const auto &device : devices_)
        list.push_back(device->pnpInfo());
    return list;
}

std::shared_ptr<SimHidDevice> SimHidPlatform::find(const std::string &path) const
{
    std::lock_guard lock(mutex_);
    for (const auto &device : devices_)
        if (device->pnpInfo().DevicePath == path)
            return device;
    return nullptr;
}

std::unique_ptr<HidHandle> SimHidPlatform::open(const THidPnPInfo &info, HidAccess access)
{
    auto device = find(info.DevicePath);
    if (!device || !device->plugged() || !device->description().openable)
        return nullptr;
    if (access == HidAccess::ReadWrite && !device->description().readWriteAccess)
        return nullptr;
    return std::make_unique<SimHandle>(device, access);
}

std::unique_ptr<HidReader> SimHidPlatform::openReader(const THidPnPInfo &info, uint32_t &error)
{
    auto device = find(info.DevicePath);
    if (!device || !device->plugged()) {
        error = kHidErrorDeviceNotConnected;
        return nullptr;
    }
    if (!device->description().openable || !device->description().readWriteAccess) {
        error = 5; // access denied
        return nullptr;
    }
    error = 0;
    return std::make_unique<SimReader>(device);
}

std::string SimHidPlatform::accessProblem(const THidPnPInfo &info)
{
    auto device = find(info.DevicePath);
    if (!device || !device->plugged())
        return "No such device";
    if (!device->description().openable || !device->description().readWriteAccess)
        return "Permission denied";
    return {};
}

void SimHidPlatform::setDeviceChangeSink(HidDeviceChangeSink sink)
{
    std::lock_guard lock(sinkMutex_);
    sink_ = std::move(sink);
}

} // namespace torvex::sim
