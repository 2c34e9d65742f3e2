#pragma once
// Pieces of the Windows backend that tests reach directly.

#include "device/hid_platform.h"

namespace torvex {

// True when running under Wine (its virtual HID devices are then known).
bool runningUnderWine();

} // namespace torvex
