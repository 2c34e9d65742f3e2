#pragma once

// What the demo program finds on its simulated HID platform: one TORVEX instrument and two other HID devices,
// so every page can be tried without hardware. The soak runs and tests use the same set.

#include "sim_instrument_device.h"

#include <memory>

namespace torvex::sim {

// Plugs the devices beside the instrument: a keyboard (held by the system: no read/write access) and a device
// with an empty product string, with the fixed instances "demo-keyboard" and "demo-unnamed".
void plugOtherDemoDevices(SimHidPlatform &platform);

// The other devices, then the instrument. The instrument is not started.
std::unique_ptr<SimInstrumentDevice> plugDemoDevices(SimHidPlatform &platform);

} // namespace torvex::sim
