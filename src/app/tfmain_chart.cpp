#include "tfmain.h"

#include "ui_tfmain.h"

// Bodies are filled in by the live chart work.

void TFMain::PlayButtonClick() {}
void TFMain::ClearButtonClick() {}
void TFMain::SaveChartButtonClick() {}
void TFMain::ChartTimerTimer() {}
