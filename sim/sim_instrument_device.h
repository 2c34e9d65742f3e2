#pragma once

// A simulated TORVEX instrument behind a virtual HID device: what the host writes goes to the instrument,
// what the instrument sends is queued as input reports of the device.

#include "instrument_driver.h"
#include "sim_hid_platform.h"

#include <memory>

namespace torvex::sim {

// Product "TORVEX", numbered reports of 65 bytes (report id + 64 data bytes) in both directions.
SimDeviceDescription instrumentDeviceDescription();

class SimInstrumentDevice {
public:
    // Plugs the device into the platform at once; the instrument starts sending when start() is called.
    explicit SimInstrumentDevice(SimHidPlatform &platform,
                                 SimDeviceDescription description = instrumentDeviceDescription(),
                                 InstrumentDriver::Clock clock = {});
    ~SimInstrumentDevice();
    SimInstrumentDevice(const SimInstrumentDevice &) = delete;
    SimInstrumentDevice &operator=(const SimInstrumentDevice &) = delete;

    void start() { driver_->start(); }
    void stop() { driver_->stop(); }

    void unplug();
    void plugBack();
    // Back under another instance (and path): the system gave it another node this time.
    void plugBackAt(const std::string &instance);

    InstrumentDriver &driver() { return *driver_; }
    const std::shared_ptr<SimHidDevice> &device() const { return device_; }

    // In flood mode the device's input queue is kept full instead of overflowing: the instrument waits for
    // room, as a real device waits for the host to poll it.
    void setFlood(bool on) { driver_->setFlood(on); }

private:
    SimHidPlatform &platform_;
    std::shared_ptr<SimHidDevice> device_;
    std::unique_ptr<InstrumentDriver> driver_;
};

} // namespace torvex::sim
