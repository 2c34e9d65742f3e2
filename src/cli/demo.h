#pragma once
// The simulated devices of --demo: N instruments at the paths sim:demo-1 ... sim:demo-N (serial numbers DEMO1001
// ..., ports 1-1 ...), beside a keyboard
// that cannot be opened for writing and a device without a product string, as on a real desk.

#include "sim_instrument_device.h"

#include <memory>
#include <vector>

namespace torvex::cli {

class DemoDevices {
public:
    // sendIntervalMs 0 keeps the instruments' factory setting; flood sends back to back.
    DemoDevices(int instruments, int sendIntervalMs, bool flood);
    ~DemoDevices();
    DemoDevices(const DemoDevices &) = delete;
    DemoDevices &operator=(const DemoDevices &) = delete;

    const std::shared_ptr<sim::SimHidPlatform> &platform() const { return platform_; }
    sim::SimInstrumentDevice &instrument(int index) { return *instruments_.at(static_cast<size_t>(index)); }

private:
    std::shared_ptr<sim::SimHidPlatform> platform_;
    std::vector<std::unique_ptr<sim::SimInstrumentDevice>> instruments_;
};

} // namespace torvex::cli
