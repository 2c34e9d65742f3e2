#include "cli/demo.h"

#include "demo_devices.h"

#include <string>

namespace torvex::cli {

DemoDevices::DemoDevices(int instruments, int sendIntervalMs, bool flood)
    : platform_(std::make_shared<sim::SimHidPlatform>())
{
    sim::plugOtherDemoDevices(*platform_);

    for (int i = 1; i <= instruments; ++i) {
        sim::SimDeviceDescription description = sim::instrumentDeviceDescription();
        description.instance = "demo-" + std::to_string(i);
        const std::string serial = "DEMO" + std::to_string(1000 + i);
        description.serialNumber.assign(serial.begin(), serial.end());
        description.portPath = "1-" + std::to_string(i);
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
