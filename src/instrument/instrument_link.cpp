#include "instrument/instrument_link.h"

#include "device/loop_dispatcher.h"
#include "device/product_name.h"
#include "protocol/instrument.h"

#include <chrono>
#include <filesystem>
#include <utility>

namespace torvex {
namespace {

// The controller's start-up notice comes through the loop at once; the bound only guards a broken backend.
constexpr auto kFirstPassBound = std::chrono::seconds(10);

} // namespace

ListedDevice describeDevice(THidDevice &device, int index)
{
    ListedDevice d;
    const std::u16string name = device.ProductName();
    d.label = deviceListLabel(name, device.VendorId(), device.ProductId());
    d.path = device.PnPInfo().DevicePath;
    d.serial = device.SerialNumber();
    d.port = device.PortPath();
    d.vendorId = device.VendorId();
    d.productId = device.ProductId();
    d.instrument = name == kInstrumentName;
    d.readWrite = device.ReadWriteAccess();
    d.index = index;
    return d;
}

bool DeviceSelector::matches(const ListedDevice &device) const
{
    switch (by) {
    case By::Path:
        return device.path == text;
    case By::Serial:
        return !device.serial.empty() && device.serial == text;
    case By::Port:
        return !device.port.empty() && device.port == text;
    case By::Any:
        break;
    }
    if (text.empty())
        return false;
    if (device.path == text || device.serial == text || device.port == text)
        return true;
    // A link is followed at every pass: after a replug udev points it at the new node.
    std::error_code error;
    const std::filesystem::path target = std::filesystem::canonical(text, error);
    return !error && target == std::filesystem::path(device.path);
}

DeviceSelector DeviceSelector::sameInstrumentAs(const ListedDevice &device)
{
    if (!device.serial.empty())
        return {device.serial, By::Serial};
    if (!device.port.empty())
        return {device.port, By::Port};
    return {device.path, By::Path};
}

std::string deviceIdentity(const ListedDevice &device)
{
    std::string more;
    if (!device.serial.empty())
        more = "serial " + device.serial;
    if (!device.port.empty())
        more += (more.empty() ? "" : ", ") + std::string("port ") + device.port;
    return more.empty() ? device.path : device.path + " (" + more + ")";
}

Choice chooseInstrument(std::span<const ListedDevice> devices, ChoicePolicy policy, const DeviceSelector &selector)
{
    Choice choice;
    if (!selector.empty()) {
        std::optional<std::size_t> firstMatch;
        for (std::size_t i = 0; i < devices.size(); ++i) {
            if (!selector.matches(devices[i]))
                continue;
            if (!firstMatch)
                firstMatch = i;
            if (devices[i].instrument)
                choice.instruments.push_back(i);
        }
        if (!firstMatch) {
            choice.outcome = Choice::Outcome::NoSuchDevice;
        } else if (choice.instruments.empty()) {
            choice.outcome = Choice::Outcome::NotAnInstrument;
            choice.chosen = *firstMatch;
        } else if (choice.instruments.size() > 1) {
            choice.outcome = Choice::Outcome::Several;
        } else {
            choice.outcome = Choice::Outcome::Chosen;
            choice.chosen = choice.instruments.front();
        }
        return choice;
    }
    for (std::size_t i = 0; i < devices.size(); ++i) {
        if (devices[i].instrument && !devices[i].claimFailed)
            choice.instruments.push_back(i);
    }
    if (choice.instruments.empty()) {
        choice.outcome = Choice::Outcome::NoInstrument;
    } else if (policy == ChoicePolicy::OnlyOne && choice.instruments.size() > 1) {
        choice.outcome = Choice::Outcome::Several;
    } else {
        choice.outcome = Choice::Outcome::Chosen;
        choice.chosen = choice.instruments.back();
    }
    return choice;
}

InstrumentLink::InstrumentLink(ChoicePolicy policy, Claim claim, DeviceSelector selector)
    : policy_(policy), claim_(claim), selector_(std::move(selector))
{
}

InstrumentLink::~InstrumentLink()
{
    stop();
    shutdown();
}

bool InstrumentLink::start(std::shared_ptr<HidPlatform> platform, std::shared_ptr<UiDispatcher> dispatcher)
{
    platform_ = platform;
    controller_ = std::make_unique<THidDeviceController>(std::move(platform), std::move(dispatcher));
    return controller_->Available();
}

void InstrumentLink::shutdown()
{
    current_ = nullptr;
    for (ListedDevice &d : devices_)
        d.device = nullptr;
    controller_.reset();
}

void InstrumentLink::setReportHandler(std::function<void(std::span<const std::uint8_t> data)> handler)
{
    if (!handler) {
        handler_ = nullptr;
        return;
    }
    handler_ = [handler = std::move(handler)](THidDevice *, std::uint8_t, const std::uint8_t *data,
                                              std::uint16_t size) {
        handler({data, data != nullptr ? size : std::size_t{0}});
    };
}

void InstrumentLink::clear()
{
    if (current_ != nullptr) {
        current_->SetDataHandler(nullptr);
        current_ = nullptr;
    }
    connected_ = false;
    for (ListedDevice &d : devices_) {
        if (THidDevice *device = std::exchange(d.device, nullptr))
            device->Release();
    }
    devices_.clear();
}

const ListedDevice &InstrumentLink::list(ListedDevice device, std::size_t position)
{
    if (claim_ == Claim::EveryListed) {
        device.device = controller_->ClaimByIndex(device.index);
        device.claimFailed = device.device == nullptr;
    }
    position = std::min(position, devices_.size());
    return *devices_.insert(devices_.begin() + static_cast<std::ptrdiff_t>(position), std::move(device));
}

InstrumentLink::State InstrumentLink::connectChoice()
{
    choice_ = chooseInstrument(devices_, policy_, selector_);
    switch (choice_.outcome) {
    case Choice::Outcome::Chosen:
        break;
    case Choice::Outcome::NoInstrument:
        return state_ = State::NoInstrument;
    case Choice::Outcome::Several:
        return state_ = State::Several;
    case Choice::Outcome::NoSuchDevice:
        return state_ = State::NoSuchDevice;
    case Choice::Outcome::NotAnInstrument:
        path_ = devices_[choice_.chosen].path;
        identity_ = deviceIdentity(devices_[choice_.chosen]);
        return state_ = State::NotAnInstrument;
    }
    ListedDevice &chosen = devices_[choice_.chosen];
    path_ = chosen.path;
    identity_ = deviceIdentity(chosen);
    if (chosen.device == nullptr)
        chosen.device = controller_->ClaimByIndex(chosen.index);
    if (chosen.device == nullptr)
        return state_ = selector_.empty() ? State::NoInstrument : State::NoSuchDevice;
    current_ = chosen.device;
    if (current_->ReadWriteAccess()) {
        current_->SetDataHandler(
            [this](THidDevice *device, std::uint8_t reportId, const std::uint8_t *data, std::uint16_t size) {
                if (handler_)
                    handler_(device, reportId, data, size);
            });
        connected_ = true;
        return state_ = State::Connected;
    }
    current_->SetDataHandler(nullptr);
    connected_ = false;
    if (claim_ == Claim::ChosenOnly) {
        // Nothing can be done with it; another program may have more luck.
        drop(current_);
        chosen.device = nullptr;
    }
    return state_ = State::NoAccess;
}

void InstrumentLink::drop(THidDevice *device)
{
    if (device == current_) {
        current_ = nullptr;
        connected_ = false;
    }
    device->SetDataHandler(nullptr);
    device->Release();
}

bool InstrumentLink::follow(LoopDispatcher &loop)
{
    controller_->OnEnumerate = [this](THidDevice *device, int index) {
        list(describeDevice(*device, index), devices_.size());
        return true;
    };
    controller_->OnDeviceChange = [this] { pass(); };
    loop.runFor(kFirstPassBound, [this] { return passes_ > 0; });
    return connected_;
}

void InstrumentLink::pass()
{
    ++passes_;
    if (stopped_)
        return;
    if (current_ != nullptr && !current_->IsPluggedIn()) {
        for (ListedDevice &d : devices_) {
            if (d.device == current_)
                d.device = nullptr;
        }
        drop(current_);
        state_ = State::Gone;
        if (onDisconnected)
            onDisconnected();
    }
    // The instrument in use stays as it is: its reads go on undisturbed by other devices coming and going.
    if (current_ != nullptr)
        return;
    clear();
    controller_->Enumerate();
    if (connectChoice() == State::Connected) {
        if (everConnected_ && onReconnected)
            onReconnected();
        everConnected_ = true;
        // From now on only this instrument will do: a recording must not go on with another one that is
        // plugged in while it is away, nor lose it to one that takes its node.
        selector_ = DeviceSelector::sameInstrumentAs(devices_[choice_.chosen]);
    }
}

void InstrumentLink::stop()
{
    if (stopped_)
        return;
    stopped_ = true;
    if (current_ != nullptr)
        current_->SetDataHandler(nullptr);
}

bool InstrumentLink::send(std::uint8_t command, std::span<const std::uint8_t> payload)
{
    buffer_.fill(0);
    sendError_.reset();
    if (!connected_ || current_ == nullptr || stopped_)
        return false;
    // The length is asked at every send: a device may be replaced by another under the same path.
    const THidCaps caps = current_->Caps();
    const auto report = frameOutputReport(buffer_, command, payload, caps.OutputReportLength);
    if (report.empty())
        return false;
    std::uint32_t written = 0;
    if (current_->WriteReport(report.data(), static_cast<std::uint32_t>(report.size()), written)
        && written == report.size())
        return true;
    sendError_ = current_->LastWriteError();
    return false;
}

std::string InstrumentLink::accessProblem() const
{
    return platform_ && !path_.empty() ? platform_->accessProblem(THidPnPInfo{path_, {}}) : std::string();
}

std::optional<std::vector<SurveyedDevice>> surveyDevices(std::shared_ptr<HidPlatform> platform,
                                                         std::shared_ptr<LoopDispatcher> loop)
{
    THidDeviceController controller(platform, loop);
    if (!controller.Available())
        return std::nullopt;
    bool passed = false;
    controller.OnDeviceChange = [&] { passed = true; };
    loop->runFor(kFirstPassBound, [&] { return passed; });

    std::vector<SurveyedDevice> devices;
    controller.OnEnumerate = [&](THidDevice *device, int index) {
        SurveyedDevice d{describeDevice(*device, index), device->Caps(), {}};
        if (!d.listed.readWrite)
            d.accessProblem = platform->accessProblem(device->PnPInfo());
        devices.push_back(std::move(d));
        return true;
    };
    controller.Enumerate();
    return devices;
}

} // namespace torvex
