#pragma once
// Pieces of the Linux backend that tests reach directly.

#include "device/hid_platform.h"

#include <chrono>
#include <memory>

namespace torvex {

// A reader on an open hidraw-like descriptor (one message per report). Takes ownership of `fd`. For devices
// without numbered reports a 0 id byte is put in front of every report, as on Windows.
std::unique_ptr<HidReader> createFdHidReader(int fd, bool numberedReports);

// Where the backend hears of devices coming and going: the udev daemon's events (sent once its rules have run),
// or, where no daemon runs, the kernel's own. Auto: the daemon's when its control socket exists.
enum class UdevEvents { Auto, Daemon, Kernel };

// The backend (createNativeHidPlatform() on Linux). Without a udev daemon its owner rescans every
// `rescanWithoutDaemon`; tests that must tell the monitor from the rescan make that long.
std::unique_ptr<HidPlatform>
createLinuxHidPlatform(std::chrono::milliseconds rescanWithoutDaemon = std::chrono::seconds(2),
                       UdevEvents events = UdevEvents::Auto);

} // namespace torvex
