#pragma once
// Pieces of the Linux backend that tests reach directly.

#include "device/hid_platform.h"

#include <memory>

namespace torvex {

// A reader on an open hidraw-like descriptor (one message per report). Takes ownership of `fd`. For devices
// without numbered reports a 0 id byte is put in front of every report, as on Windows.
std::unique_ptr<HidReader> createFdHidReader(int fd, bool numberedReports);

} // namespace torvex
