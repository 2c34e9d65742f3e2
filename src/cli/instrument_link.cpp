#include "cli/instrument_link.h"

#include "cli/text_util.h"
#include "device/product_name.h"

#include <cstdio>
#include <utility>

namespace torvex::cli {

std::string deviceLabel(THidDevice &device)
{
    return deviceListLabel(device.ProductName(), device.VendorId(), device.ProductId());
}

InstrumentLink::InstrumentLink(std::shared_ptr<HidPlatform> platform, std::shared_ptr<LoopDispatcher> loop,
                               std::string wantedPath, std::ostream &err)
    : platform_(std::move(platform)), loop_(std::move(loop)), wanted_(std::move(wantedPath)), err_(err)
{
}

InstrumentLink::~InstrumentLink()
{
    stop();
    // The controller closes the claimed device with itself.
    device_ = nullptr;
    controller_.reset();
}

bool InstrumentLink::start()
{
    controller_ = std::make_unique<THidDeviceController>(platform_, loop_);
    if (!controller_->Available())
        return false;
    controller_->OnDeviceChange = [this] { deviceChange(); };
    // The controller's start-up notice comes through the loop at once; the bound only guards a broken backend.
    loop_->runFor(std::chrono::seconds(10), [this] { return state_ != State::Scanning; });
    if (state_ == State::Scanning)
        state_ = State::NotFound;
    return true;
}

std::string InstrumentLink::problemText() const
{
    switch (state_) {
    case State::Scanning:
    case State::NotFound:
        if (wanted_.empty())
            return "no TORVEX instrument found (torvex-cli list shows the HID devices)";
        return "no HID device at " + wanted_ + " (torvex-cli list shows the HID devices)";
    case State::NoAccess: {
        std::string text = "cannot open the instrument at " + path_ + " for reading and writing";
        if (!accessProblem_.empty())
            text += ": " + accessProblem_;
        if (const std::string hint = udevHint(); !hint.empty())
            text += "\n" + hint;
        return text;
    }
    case State::NotAnInstrument:
        return path_ + " is not a TORVEX instrument (it is \"" + foreignLabel_ + "\")";
    case State::Connected:
        break;
    }
    return {};
}

void InstrumentLink::deviceChange()
{
    if (stopped_)
        return;
    if (device_ != nullptr && !device_->IsPluggedIn()) {
        disconnect();
        state_ = State::NotFound;
        if (onDisconnected)
            onDisconnected();
    }
    if (device_ == nullptr) {
        connect();
        if (state_ == State::Connected) {
            if (everConnected_ && onReconnected)
                onReconnected();
            everConnected_ = true;
        }
    }
}

void InstrumentLink::connect()
{
    struct Candidate {
        int index;
        std::string path;
        std::string label;
        bool instrument;
        bool readWrite;
    };
    std::vector<Candidate> candidates;
    controller_->OnEnumerate = [&](THidDevice *device, int index) {
        // The product string can be read only while the controller holds the device open for this visit.
        candidates.push_back({index, device->PnPInfo().DevicePath, deviceLabel(*device),
                              device->ProductName() == kInstrumentName, device->ReadWriteAccess()});
        return true;
    };
    controller_->Enumerate();
    controller_->OnEnumerate = nullptr;

    const Candidate *chosen = nullptr;
    std::vector<std::string> others;
    for (const Candidate &c : candidates) {
        if (!wanted_.empty()) {
            if (c.path == wanted_)
                chosen = &c;
        } else if (c.instrument) {
            if (chosen == nullptr)
                chosen = &c;
            else
                others.push_back(c.path);
        }
    }
    if (chosen == nullptr) {
        state_ = State::NotFound;
        return;
    }
    path_ = chosen->path;
    if (!chosen->instrument) {
        foreignLabel_ = chosen->label;
        state_ = State::NotAnInstrument;
        return;
    }
    if (!chosen->readWrite) {
        accessProblem_ = platform_->accessProblem(THidPnPInfo{chosen->path, {}});
        state_ = State::NoAccess;
        return;
    }
    device_ = controller_->ClaimByIndex(chosen->index);
    if (device_ == nullptr || !device_->ReadWriteAccess()) {
        state_ = device_ == nullptr ? State::NotFound : State::NoAccess;
        if (device_ != nullptr)
            disconnect();
        return;
    }
    if (!everConnected_ && !others.empty()) {
        err_ << "torvex-cli: using the instrument at " << path_ << "; also found:";
        for (const std::string &other : others)
            err_ << ' ' << other;
        err_ << " (choose one with --device PATH)\n";
    }
    device_->SetDataHandler([this](THidDevice *, std::uint8_t, const std::uint8_t *data, std::uint16_t size) {
        if (handler_)
            handler_(data, data != nullptr ? size : 0);
    });
    state_ = State::Connected;
}

void InstrumentLink::disconnect()
{
    if (device_ == nullptr)
        return;
    THidDevice *device = std::exchange(device_, nullptr);
    device->SetDataHandler(nullptr);
    device->Release();
}

void InstrumentLink::stop()
{
    if (stopped_)
        return;
    stopped_ = true;
    if (device_ != nullptr)
        device_->SetDataHandler(nullptr);
}

bool InstrumentLink::send(std::uint8_t command, std::span<const std::uint8_t> payload)
{
    if (!connected() || stopped_ || device_ == nullptr)
        return false;
    const THidCaps caps = device_->Caps();
    const auto report = frameOutputReport(buffer_, command, payload, caps.OutputReportLength);
    if (report.empty())
        return false;
    std::uint32_t written = 0;
    return device_->WriteReport(report.data(), static_cast<std::uint32_t>(report.size()), written)
        && written == report.size();
}

} // namespace torvex::cli
