#include "sim_instrument_device.h"

#include <thread>

namespace torvex::sim {

SimDeviceDescription instrumentDeviceDescription()
{
    SimDeviceDescription description;
    description.productName = u"TORVEX";
    description.vendorId = kVendorId;
    description.productId = kProductId;
    description.versionNumber = 0x0101;
    description.caps = THidCaps{static_cast<uint16_t>(kReportLength), static_cast<uint16_t>(kReportLength), 0};
    return description;
}

SimInstrumentDevice::SimInstrumentDevice(SimHidPlatform &platform, SimDeviceDescription description,
                                         InstrumentDriver::Clock clock)
    : platform_(platform)
{
    device_ = platform_.plug(std::move(description));
    std::weak_ptr<SimHidDevice> weak = device_;
    driver_ = std::make_unique<InstrumentDriver>(
        [weak, this](std::span<const uint8_t> report, Origin origin) {
            const auto device = weak.lock();
            if (!device)
                return Delivery::Lost;
            // A reply takes its place at once, pushing the oldest report out of a full queue as the system's
            // input buffer does; waiting for room there could wait for the very thread that wrote.
            if (origin == Origin::Reply)
                return device->pushInputReport(report) || device->plugged() ? Delivery::Queued : Delivery::Lost;
            for (;;) {
                switch (device->offerInputReport(report)) {
                case SimHidDevice::Offer::Queued:
                    return Delivery::Queued;
                case SimHidDevice::Offer::Unplugged:
                    return Delivery::Lost;
                case SimHidDevice::Offer::Full:
                    break;
                }
                if (!driver_ || !driver_->flooding())
                    return Delivery::QueueFull;
                if (driver_->stopRequested())
                    return Delivery::Lost; // nobody will make room; an unsent report is what a real device would lose
                std::this_thread::sleep_for(std::chrono::microseconds(50));
            }
        },
        std::move(clock));
    InstrumentDriver *driver = driver_.get();
    device_->setOutputHandler([driver](std::span<const uint8_t> report) { driver->handleOutputReport(report); });
}

SimInstrumentDevice::~SimInstrumentDevice()
{
    device_->setOutputHandler({});
    driver_->stop();
    if (device_->plugged())
        platform_.unplug(device_);
}

void SimInstrumentDevice::unplug() { platform_.unplug(device_); }

void SimInstrumentDevice::plugBack() { platform_.plug(device_); }

void SimInstrumentDevice::plugBackAt(const std::string &instance) { platform_.plug(device_, instance); }

} // namespace torvex::sim
