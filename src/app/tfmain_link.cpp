#include "tfmain.h"

#include "ui_tfmain.h"

// Bodies are filled in by the device link work (discovery, connection, report framing and dispatch).

void TFMain::HidDeviceController1DeviceChange() {}
void TFMain::SendCommand(uint8_t, const uint8_t *, unsigned) {}
void TFMain::SendReadRequest(uint8_t, uint8_t) {}
