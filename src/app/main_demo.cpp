// The demo: the same program with a simulated HID platform holding one simulated TORVEX instrument and two
// other HID devices, so every page can be tried without hardware.

#include "app_main.h"

#include "sim_instrument_device.h"

int main(int argc, char *argv[])
{
    auto platform = std::make_shared<torvex::sim::SimHidPlatform>();

    torvex::sim::SimDeviceDescription keyboard;
    keyboard.productName = u"USB Keyboard";
    keyboard.vendorId = 0x0F0F;
    keyboard.productId = 0x0102;
    keyboard.caps = torvex::THidCaps{9, 2, 0};
    keyboard.readWriteAccess = false; // keyboards are held by the system
    platform->plug(keyboard);

    torvex::sim::SimDeviceDescription unnamed;
    unnamed.vendorId = 0x1234;
    unnamed.productId = 0x00AB;
    unnamed.caps = torvex::THidCaps{33, 33, 0};
    platform->plug(unnamed);

    torvex::sim::SimInstrumentDevice instrument(*platform);
    instrument.start();

    TFMainOptions options;
    options.hidPlatform = platform;
    return runTorvexApp(argc, argv, options);
}
