#include "device/hid_controller.h"

#include "device/product_name.h"
#include "text/utf8.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <utility>

namespace torvex {
namespace {

constexpr int kMinSleepTime = 10;
constexpr int kMaxSleepTime = 10000;
// How long starting a read thread waits for its first open of the device (normally a few milliseconds).
constexpr auto kFirstOpenWait = std::chrono::seconds(2);

// Clears a flag when the scope ends, also by an exception from a handler.
class FlagScope {
public:
    explicit FlagScope(bool &flag) : flag_(flag) { flag_ = true; }
    ~FlagScope() { flag_ = false; }
    FlagScope(const FlagScope &) = delete;
    FlagScope &operator=(const FlagScope &) = delete;

private:
    bool &flag_;
};

} // namespace

// ---------------------------------------------------------------------------------------------------------
// Read thread

THidDeviceReadThread::THidDeviceReadThread(THidDevice &device) : device_(device), dispatcher_(device.dispatcher_)
{
    // Sized once, on the UI thread: the thread itself never asks the device for anything.
    buffer_.resize(device.Caps().InputReportLength);
    thread_ = std::thread([this] { run(); });
    // Windows keeps no report for a device handle that is not open yet: a request sent right after the handler
    // is set would lose its reply. The thread touches nothing of ours before it has tried, so this cannot
    // deadlock; bounded, so that a system that hangs in the open cannot hang the caller.
    std::unique_lock lock(pauseMutex_);
    openedCv_.wait_for(lock, kFirstOpenWait, [this] { return firstOpenTried_; });
}

THidDeviceReadThread::~THidDeviceReadThread()
{
    try {
        stop();
    } catch (...) {
        // A handler's exception during the final stop has nowhere to go.
    }
}

void THidDeviceReadThread::requestStop()
{
    std::lock_guard lock(pauseMutex_);
    terminate_ = true;
    if (reader_)
        reader_->interrupt();
    pauseCv_.notify_all();
}

void THidDeviceReadThread::stop()
{
    requestStop();
    if (!thread_.joinable())
        return;
    std::exception_ptr error;
    try {
        dispatcher_->serveUntil([this] { return finished_.load(); });
    } catch (...) {
        error = std::current_exception();
    }
    thread_.join();
    if (error)
        std::rethrow_exception(error);
}

void THidDeviceReadThread::pause()
{
    std::unique_lock lock(pauseMutex_);
    pauseCv_.wait_for(lock, std::chrono::milliseconds(device_.ThreadSleepTime()), [this] { return terminate_.load(); });
}

void THidDeviceReadThread::run()
{
    const THidPnPInfo info = device_.pnpInfo_;
    const std::shared_ptr<HidPlatform> platform = device_.platform_;
    bool pending = false;

    auto failed = [&](const HidIoResult &result) {
        const uint32_t error = result.error;
        const bool gone = result.status == HidIoStatus::Gone;
        lastError_ = error;
        dispatcher_->invoke([this, error, gone] { device_.deliverReadError(error, gone); });
        // Wait one slice before trying again: a device that keeps failing must not spin a core.
        pause();
    };

    while (!terminate_) {
        std::fill(buffer_.begin(), buffer_.end(), uint8_t{0});
        if (!reader_) {
            uint32_t error = 0;
            auto reader = platform->openReader(info, error);
            const bool opened = reader != nullptr;
            {
                std::lock_guard lock(pauseMutex_);
                reader_ = std::move(reader);
                firstOpenTried_ = true;
            }
            openedCv_.notify_all();
            if (!opened) {
                failed({HidIoStatus::Failed, 0, error});
                continue;
            }
            if (terminate_)
                break;
        }
        if (buffer_.empty()) {
            failed({HidIoStatus::Failed, 0, kHidErrorInvalidParameter});
            continue;
        }
        const HidIoResult started = reader_->startRead(buffer_.data(), buffer_.size());
        if (started.status != HidIoStatus::Ok) {
            failed(started);
            continue;
        }
        pending = true;
        HidIoResult result;
        while (!terminate_) {
            result = reader_->waitRead(std::chrono::milliseconds(device_.ThreadSleepTime()));
            if (result.status != HidIoStatus::Timeout && result.status != HidIoStatus::Interrupted) {
                pending = false;
                break;
            }
        }
        if (pending)
            break;
        const size_t count = result.status == HidIoStatus::Ok ? result.count : 0;
        lastCount_ = count;
        if (count == 0) {
            if (result.status != HidIoStatus::Ok) {
                lastError_ = result.error;
                if (result.status == HidIoStatus::Gone)
                    dispatcher_->invoke([this] { device_.noteGone(); });
                pause();
            }
            continue;
        }
        dispatcher_->invoke([this, count] { device_.deliverReport(buffer_.data(), count); });
    }

    {
        std::lock_guard lock(pauseMutex_);
        if (reader_) {
            if (pending)
                reader_->cancel();
            reader_.reset();
        }
    }
    finished_ = true;
    dispatcher_->wake();
}

// ---------------------------------------------------------------------------------------------------------
// Device

THidDevice::THidDevice(THidDeviceController *controller, std::shared_ptr<HidPlatform> platform,
                       std::shared_ptr<UiDispatcher> dispatcher, THidPnPInfo info)
    : controller_(controller), platform_(std::move(platform)), dispatcher_(std::move(dispatcher)),
      pnpInfo_(std::move(info))
{
}

THidDevice::~THidDevice()
{
    deliver_ = false;
    try {
        stopReadThread();
        if (stoppingThread_)
            stoppingThread_->stop();
    } catch (...) {
        // No handler runs any more (deliver_ is false), so nothing can be lost here.
    }
    closeHandles();
}

bool THidDevice::openGeneral()
{
    if (general_)
        return true;
    general_ = platform_->open(pnpInfo_, HidAccess::ReadWrite);
    readWriteAccess_ = general_ != nullptr;
    if (!general_)
        general_ = platform_->open(pnpInfo_, HidAccess::QueryOnly);
    return general_ != nullptr;
}

void THidDevice::closeHandles() { general_.reset(); }

void THidDevice::readProductName()
{
    std::u16string name;
    if (auto read = general_->productString())
        name = productNameFromString(*read);
    productName_ = name;
}

void THidDevice::readSerialNumber()
{
    const auto read = general_->serialNumber();
    serialNumber_ = read ? utf16ToUtf8(productNameFromString(*read)) : std::string();
}

void THidDevice::prefetch()
{
    readProductName();
    readSerialNumber();
    portPath_ = general_->portPath();
    caps_ = general_->capabilities();
}

std::u16string THidDevice::ProductName()
{
    if (!productName_ && IsAccessible() && openGeneral())
        readProductName();
    return productName_.value_or(std::u16string());
}

std::string THidDevice::SerialNumber()
{
    if (!serialNumber_ && IsAccessible() && openGeneral())
        readSerialNumber();
    return serialNumber_.value_or(std::string());
}

std::string THidDevice::PortPath()
{
    if (!portPath_ && IsAccessible() && openGeneral())
        portPath_ = general_->portPath();
    return portPath_.value_or(std::string());
}

THidCaps THidDevice::Caps()
{
    THidCaps caps{};
    if (!caps_ && IsAccessible() && openGeneral())
        caps_ = general_->capabilities();
    if (caps_)
        caps = *caps_;
    return caps;
}

void THidDevice::SetThreadSleepTime(int value)
{
    if (value >= kMinSleepTime && value <= kMaxSleepTime)
        threadSleepTime_ = value;
}

void THidDevice::SetDataHandler(THidDataEvent handler)
{
    if (!handler)
        stopReadThread();
    dataHandler_ = std::move(handler);
    startReadThreadIfAllowed();
}

void THidDevice::startReadThreadIfAllowed()
{
    if (!dataHandler_ || !present_ || !claimed_ || !readWriteAccess_ || readThread_)
        return;
    if (stoppingThread_ && handOverDepth_ == 0) {
        stoppingThread_->stop();
        stoppingThread_.reset();
    }
    readThread_ = std::make_unique<THidDeviceReadThread>(*this);
}

void THidDevice::stopReadThread()
{
    if (stoppingThread_ && handOverDepth_ == 0) {
        auto thread = std::move(stoppingThread_);
        thread->stop();
    }
    if (!readThread_)
        return;
    if (handOverDepth_ > 0) {
        // Called from this device's own handler: the thread waits for that handler, so it cannot be joined
        // here. It ends as soon as the handler returns and is joined at the next start or stop.
        readThread_->requestStop();
        stoppingThread_ = std::move(readThread_);
        return;
    }
    // The object stays in readThread_ while it stops, so a handler served meanwhile starts no second thread.
    std::exception_ptr error;
    try {
        readThread_->stop();
    } catch (...) {
        error = std::current_exception();
    }
    readThread_.reset();
    if (error)
        std::rethrow_exception(error);
}

void THidDevice::deliverReport(const uint8_t *buffer, size_t count)
{
    if (!deliver_ || !dataHandler_)
        return;
    // A copy: the handler may replace itself while it runs.
    THidDataEvent handler = dataHandler_;
    ++handOverDepth_;
    struct Depth {
        int &depth;
        ~Depth() { --depth; }
    } depth{handOverDepth_};
    const auto size = static_cast<uint16_t>(std::min<size_t>(count - 1, 0xFFFF));
    handler(this, buffer[0], buffer + 1, size);
}

void THidDevice::noteGone()
{
    if (!deliver_ || stale_ || !present_ || controller_ == nullptr)
        return;
    stale_ = true;
    controller_->requestPass();
}

void THidDevice::deliverReadError(uint32_t error, bool gone)
{
    if (gone)
        noteGone();
    if (!deliver_ || !dataErrorHandler_)
        return;
    THidDataErrorEvent handler = dataErrorHandler_;
    ++handOverDepth_;
    struct Depth {
        int &depth;
        ~Depth() { --depth; }
    } depth{handOverDepth_};
    handler(this, error);
}

bool THidDevice::WriteReport(const void *Report, uint32_t ToWrite, uint32_t &Written)
{
    Written = 0;
    lastWriteError_ = kHidErrorInvalidParameter;
    if (!IsAccessible() || (Report == nullptr && ToWrite > 0))
        return false;
    lastWriteError_ = kHidErrorDeviceNotConnected;
    if (!openGeneral())
        return false;
    const HidIoResult result = general_->write(static_cast<const uint8_t *>(Report), ToWrite);
    lastWriteError_ = result.status == HidIoStatus::Ok ? 0 : result.error;
    if (result.status == HidIoStatus::Gone)
        noteGone();
    if (result.status != HidIoStatus::Ok)
        return false;
    Written = static_cast<uint32_t>(result.count);
    return true;
}

void THidDevice::Release()
{
    if (!claimed_ || controller_ == nullptr)
        return;
    THidDataEvent data = dataHandler_;
    THidPlugEvent unplug = unplugHandler_;
    std::exception_ptr error;
    try {
        SetDataHandler(nullptr);
    } catch (...) {
        // The thread has stopped; finish the release before the handler's exception goes on.
        error = std::current_exception();
    }
    unplugHandler_ = nullptr;
    closeHandles();
    caps_.reset();
    controller_->releaseDevice(this, std::move(data), std::move(unplug)); // destroys this object
    if (error)
        std::rethrow_exception(error);
}

// ---------------------------------------------------------------------------------------------------------
// Controller

THidDeviceController::THidDeviceController(std::shared_ptr<HidPlatform> platform,
                                           std::shared_ptr<UiDispatcher> dispatcher)
    : platform_(std::move(platform)), dispatcher_(std::move(dispatcher)), alive_(std::make_shared<bool>(true))
{
    available_ = platform_ && platform_->available();
    if (!available_)
        return;
    std::weak_ptr<bool> alive = alive_;
    auto post = [this, alive, dispatcher = dispatcher_](uint32_t code, intptr_t param) {
        dispatcher->post([this, alive, code, param] {
            if (alive.lock())
                DeviceChangeMessage(code, param);
        });
    };
    if (platform_->queriesMayBlock() || platform_->noticeMergeDelay().count() > 0) {
        scanWorker_ = std::make_unique<ScanWorker>(platform_->noticeMergeDelay(), [this, alive](bool startup) {
            auto fresh = std::make_shared<std::vector<std::unique_ptr<THidDevice>>>(scan(true));
            dispatcher_->post([this, alive, fresh, startup] {
                if (alive.lock())
                    apply(std::move(*fresh), startup);
            });
        });
    }
    platform_->setDeviceChangeSink(post);
    if (platform_->noticeFd() >= 0)
        noticeWatch_ = dispatcher_->watchReadable(platform_->noticeFd(), [this] { platform_->processNotices(); });
    // Also beside a descriptor: a backend asks for it when its notices may not come at all.
    if (platform_->rescanInterval().count() > 0)
        rescanWatch_ = dispatcher_->repeatEvery(platform_->rescanInterval(),
                                                [this] { DeviceChangeMessage(kDeviceNodesChanged, 0); });
    // Posted, not run now: the first scan must come from the event loop once the window has finished loading.
    if (!platform_->postNotice(kDeviceNodesChanged, kStartupNoticeParam))
        post(kDeviceNodesChanged, kStartupNoticeParam);
}

THidDeviceController::~THidDeviceController()
{
    destroying_ = true;
    alive_.reset();
    OnEnumerate = nullptr;
    OnDeviceChange = nullptr;
    OnArrival = nullptr;
    OnRemoval = nullptr;
    OnDeviceData = nullptr;
    OnDeviceDataError = nullptr;
    OnDeviceUnplug = nullptr;
    noticeWatch_.reset();
    rescanWatch_.reset();
    if (available_)
        platform_->setDeviceChangeSink(nullptr);
    // Waits for a scan under way; what it finds reaches nobody (alive_ is gone).
    scanWorker_.reset();
    for (auto &device : list_) {
        // From here on no report reaches a handler: the owner is going away.
        device->deliver_ = false;
        try {
            device->stopReadThread();
        } catch (...) {
        }
        if (device->claimed_) {
            device->controller_ = nullptr;
            device->closeHandles();
            device->present_ = false;
            THidPlugEvent unplug = std::move(device->unplugHandler_);
            device->unplugHandler_ = nullptr;
            try {
                if (unplug)
                    unplug(device.get());
            } catch (...) {
            }
        }
    }
    // Claimed devices are destroyed with the controller as well: their owner (the window) goes with it.
    list_.clear();
}

THidDevice *THidDeviceController::Device(int Idx) const
{
    if (Idx < 0 || Idx >= Count())
        return nullptr;
    return list_[static_cast<size_t>(Idx)].get();
}

int THidDeviceController::Enumerate()
{
    int visited = 0;
    for (size_t i = 0; i < list_.size(); ++i) {
        THidDevice *device = list_[i].get();
        if (!device->present_)
            continue;
        ++visited;
        bool more = true;
        {
            FlagScope enumerating(device->enumerating_);
            if (OnEnumerate)
                more = OnEnumerate(device, static_cast<int>(i));
        }
        if (i < list_.size() && list_[i].get() == device && !device->claimed_)
            device->closeHandles();
        if (!more)
            break;
    }
    return visited;
}

THidDevice *THidDeviceController::ClaimByIndex(int Idx)
{
    THidDevice *device = Device(Idx);
    if (device == nullptr || device->claimed_)
        return nullptr;
    device->claimed_ = true;
    device->startReadThreadIfAllowed();
    return device;
}

void THidDeviceController::SetDevThreadSleepTime(int value)
{
    const int old = devThreadSleepTime_;
    devThreadSleepTime_ = value;
    for (auto &device : list_)
        if (device->ThreadSleepTime() == old)
            device->SetThreadSleepTime(value);
}

void THidDeviceController::DeviceChangeMessage(uint32_t eventCode, intptr_t param)
{
    if (eventCode != kDeviceNodesChanged || destroying_ || !available_)
        return;
    if (scanWorker_) {
        scanWorker_->request(param == kStartupNoticeParam);
        return;
    }
    if (!refreshing_)
        refresh(param == kStartupNoticeParam);
}

void THidDeviceController::requestPass()
{
    std::weak_ptr<bool> alive = alive_;
    dispatcher_->post([this, alive] {
        if (alive.lock())
            DeviceChangeMessage(kDeviceNodesChanged, 0);
    });
}

std::unique_ptr<THidDevice> THidDeviceController::probe(const THidPnPInfo &info, bool prefetch)
{
    std::unique_ptr<THidDevice> device(new THidDevice(this, platform_, dispatcher_, info));
    if (!device->openGeneral())
        return nullptr;
    const std::optional<THidAttributes> attributes = device->general_->attributes();
    if (!attributes)
        return nullptr;
    device->attributes_ = *attributes;
    if (prefetch)
        device->prefetch();
    device->closeHandles();
    return device;
}

std::vector<std::unique_ptr<THidDevice>> THidDeviceController::scan(bool prefetch)
{
    std::vector<std::unique_ptr<THidDevice>> fresh;
    for (const THidPnPInfo &info : platform_->listInterfaces()) {
        // One that cannot be opened or identified is left out of the list, shown nowhere.
        if (auto device = probe(info, prefetch))
            fresh.push_back(std::move(device));
    }
    return fresh;
}

std::unique_ptr<THidDevice> THidDeviceController::createDevice(const THidPnPInfo &info)
{
    std::unique_ptr<THidDevice> device(new THidDevice(this, platform_, dispatcher_, info));
    if (!device->openGeneral())
        throw EHidControllerError("Device cannot be opened");
    const std::optional<THidAttributes> attributes = device->general_->attributes();
    if (!attributes)
        throw EHidControllerError("Device cannot be identified");
    device->attributes_ = *attributes;
    device->closeHandles();
    device->dataHandler_ = OnDeviceData;
    device->dataErrorHandler_ = OnDeviceDataError;
    device->unplugHandler_ = OnDeviceUnplug;
    return device;
}

void THidDeviceController::refresh(bool startup) { apply(scan(false), startup); }

void THidDeviceController::apply(std::vector<std::unique_ptr<THidDevice>> fresh, bool startup)
{
    if (destroying_)
        return;
    if (refreshing_) {
        // A handler of the pass under way runs an event loop: this scan may be older than what it has seen.
        requestPass();
        return;
    }
    for (auto &device : fresh) {
        device->dataHandler_ = OnDeviceData;
        device->dataErrorHandler_ = OnDeviceDataError;
        device->unplugHandler_ = OnDeviceUnplug;
    }
    bool changed = startup;
    {
        FlagScope guard(refreshing_);

        auto inFresh = [&](const std::string &instance) {
            return std::any_of(fresh.begin(), fresh.end(),
                               [&](const auto &f) { return f->pnpInfo_.DeviceInstance == instance; });
        };

        for (size_t i = list_.size(); i-- > 0;) {
            if (i >= list_.size())
                continue; // a handler released devices meanwhile
            THidDevice *device = list_[i].get();
            // A device already marked gone (claimed, waiting for its release) does not leave a second time. A
            // stale one leaves even when listed: its successor under the same instance arrives below.
            if (!device->present_ || (!device->stale_ && inFresh(device->pnpInfo_.DeviceInstance)))
                continue;
            changed = true;
            // Stop the reader before its handle goes: closing a handle under a pending read is unsafe.
            device->stopReadThread();
            device->closeHandles();
            device->present_ = false;
            THidPlugEvent unplug = std::move(device->unplugHandler_);
            device->unplugHandler_ = nullptr;
            if (unplug)
                unplug(device);
            const bool stillListed = i < list_.size() && list_[i].get() == device;
            if (stillListed && OnRemoval)
                OnRemoval(device);
            if (i < list_.size() && list_[i].get() == device && !device->claimed_)
                list_.erase(list_.begin() + static_cast<std::ptrdiff_t>(i));
        }

        std::vector<THidDevice *> arrived;
        for (auto &candidate : fresh) {
            const bool known = std::any_of(list_.begin(), list_.end(), [&](const auto &d) {
                return d->present_ && d->pnpInfo_.DeviceInstance == candidate->pnpInfo_.DeviceInstance;
            });
            if (known)
                continue;
            arrived.push_back(candidate.get());
            list_.push_back(std::move(candidate));
        }
        for (THidDevice *device : arrived) {
            changed = true;
            if (OnArrival)
                OnArrival(device);
        }
    }
    if (changed && OnDeviceChange)
        OnDeviceChange();
}

void THidDeviceController::releaseDevice(THidDevice *device, THidDataEvent data, THidPlugEvent unplug)
{
    const auto it = std::find_if(list_.begin(), list_.end(), [&](const auto &d) { return d.get() == device; });
    if (it == list_.end())
        return;
    if (device->present_) {
        try {
            std::unique_ptr<THidDevice> replacement = createDevice(device->pnpInfo_);
            // The same device: what it said of itself stands, and is not asked again on the UI thread.
            replacement->productName_ = device->productName_;
            replacement->serialNumber_ = device->serialNumber_;
            replacement->portPath_ = device->portPath_;
            replacement->dataHandler_ = std::move(data);
            replacement->unplugHandler_ = std::move(unplug);
            replacement->threadSleepTime_ = device->ThreadSleepTime();
            *it = std::move(replacement); // destroys the released object
            return;
        } catch (const EHidControllerError &) {
            // Gone between the last refresh and now: the next refresh would find nothing to replace either.
        }
    }
    list_.erase(it);
}

} // namespace torvex
