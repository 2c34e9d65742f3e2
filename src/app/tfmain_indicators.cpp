#include "tfmain.h"

#include "ui_tfmain.h"

// Bodies are filled in by the measurement indicators work (report decoding, live values, data rate).

void TFMain::DecodeMeasurementReport() {}
void TFMain::UpdateDataTimerTimer() {}
void TFMain::FreqTimerTimer() {}
