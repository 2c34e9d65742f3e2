#include "tfmain.h"

#include "ui_tfmain.h"

// Bodies are filled in by the language work (switching between Polish and English).

void TFMain::LangCombo1Change() {}
