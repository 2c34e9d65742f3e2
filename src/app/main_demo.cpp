// The demo: the same program with a simulated HID platform holding one simulated TORVEX instrument and two
// other HID devices, so every page can be tried without hardware.

#include "app_main.h"

#include "demo_devices.h"

int main(int argc, char *argv[])
{
    auto platform = std::make_shared<torvex::sim::SimHidPlatform>();
    const auto instrument = torvex::sim::plugDemoDevices(*platform);
    instrument->start();

    TFMainOptions options;
    options.hidPlatform = platform;
    return runTorvexApp(argc, argv, options);
}
