#include "demo_devices.h"

namespace torvex::sim {

void plugOtherDemoDevices(SimHidPlatform &platform)
{
    SimDeviceDescription keyboard;
    keyboard.productName = u"USB Keyboard";
    keyboard.vendorId = 0x0F0F;
    keyboard.productId = 0x0102;
    keyboard.caps = THidCaps{9, 2, 0};
    keyboard.readWriteAccess = false; // keyboards are held by the system
    keyboard.instance = "demo-keyboard";
    platform.plug(keyboard);

    SimDeviceDescription unnamed;
    unnamed.vendorId = 0x1234;
    unnamed.productId = 0x00AB;
    unnamed.caps = THidCaps{33, 33, 0};
    unnamed.instance = "demo-unnamed";
    platform.plug(unnamed);
}

std::unique_ptr<SimInstrumentDevice> plugDemoDevices(SimHidPlatform &platform)
{
    plugOtherDemoDevices(platform);
    return std::make_unique<SimInstrumentDevice>(platform);
}

} // namespace torvex::sim
