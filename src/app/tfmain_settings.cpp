#include "tfmain.h"

#include "ui_tfmain.h"

// Bodies are filled in by the settings work (config.ini reading and writing, names and units).

void TFMain::fixSettingsPath() {}
void TFMain::createDefaultSettingsIfMissing() {}
void TFMain::loadSettings() {}
void TFMain::loadLanguageIndex() {}
void TFMain::loadLoggingFlag() {}
void TFMain::saveSettingsOnClose() {}
void TFMain::BitBtn1Click() {}
void TFMain::BitBtn2Click() {}
void TFMain::BitBtn4Click() {}
void TFMain::BitBtn11Click() {}
void TFMain::BitBtn13Click() {}
void TFMain::BitBtn6Click() {}
