#include "cli/demo.h"

#include <string>

namespace torvex::cli {

DemoDevices::DemoDevices(int instruments, int sendIntervalMs, bool flood)
    : platform_(std::make_shared<sim::SimHidPlatform>())
{
    sim::SimDeviceDescription keyboard;
    keyboard.productName = u"USB Keyboard";
    keyboard.vendorId = 0x0F0F;
    keyboard.productId = 0x0102;
    keyboard.caps = THidCaps{9, 2, 0};
    keyboard.readWriteAccess = false; // held by the system, as keyboards are
    keyboard.instance = "demo-keyboard";
    platform_->plug(keyboard);

    sim::SimDeviceDescription unnamed;
    unnamed.vendorId = 0x1234;
    unnamed.productId = 0x00AB;
    unnamed.caps = THidCaps{33, 33, 0};
    unnamed.instance = "demo-unnamed";
    platform_->plug(unnamed);

    for (int i = 1; i <= instruments; ++i) {
        sim::SimDeviceDescription description = sim::instrumentDeviceDescription();
        description.instance = "demo-" + std::to_string(i);
        auto instrument = std::make_unique<sim::SimInstrumentDevice>(*platform_, description);
        if (sendIntervalMs > 0)
            instrument->driver().withInstrument([&](auto &model) { model.parameters().sendInterval = sendIntervalMs; });
        instrument->setFlood(flood);
        instrument->start();
        instruments_.push_back(std::move(instrument));
    }
}

DemoDevices::~DemoDevices()
{
    for (auto &instrument : instruments_)
        instrument->stop();
}

} // namespace torvex::cli
