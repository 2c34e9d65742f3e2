#include "tfmain.h"

#include "ui_tfmain.h"

// Bodies are filled in by the device configuration work (parameter writes and read-back).

void TFMain::button_encmode1Click(QObject *) {}
void TFMain::button_time1Click(QObject *) {}
void TFMain::button_resolution1Click(QObject *) {}
void TFMain::button_enccoeff1Click(QObject *) {}
void TFMain::button_encoffset1Click() {}
void TFMain::button_encoffset2Click() {}
void TFMain::button_encoffset3Click() {}
void TFMain::button_encclearC3Click(QObject *) {}
void TFMain::button_encclear1Click(QObject *) {}
void TFMain::enc_time_1Change(QObject *) {}
void TFMain::out1_WChange(QObject *) {}
void TFMain::BitBtn43Click() {}
void TFMain::BitBtn9Click() {}
void TFMain::BitBtn55Click() {}
void TFMain::BitBtn53Click() {}
void TFMain::BitBtn45Click() {}
void TFMain::button_trigmastetype_1Click(QObject *) {}
void TFMain::BitBtn20Click() {}
void TFMain::BitBtn22Click() {}
void TFMain::BitBtn24Click() {}
void TFMain::BitBtn18Click() {}
void TFMain::BitBtn7Click() {}
void TFMain::BitBtn16Click() {}

void TFMain::button_1Click() {}
void TFMain::button_2Click() {}
void TFMain::BitBtn14Click() {}
void TFMain::BitBtn44Click() {}
void TFMain::BitBtn10Click() {}
void TFMain::BitBtn56Click() {}
void TFMain::BitBtn54Click() {}
void TFMain::BitBtn46Click() {}
void TFMain::BitBtn12Click() {}
void TFMain::BitBtn3Click() {}
void TFMain::BitBtn8Click() {}
void TFMain::BitBtn21Click() {}
void TFMain::BitBtn23Click() {}
void TFMain::BitBtn25Click() {}
void TFMain::BitBtn19Click() {}
void TFMain::BitBtn15Click() {}
void TFMain::BitBtn17Click() {}
void TFMain::DebugMemoClick() {}

void TFMain::DecodeConfigReply() {}
void TFMain::UpdateOutputEnable(int) {}
void TFMain::WriteIntParam(QObject *, uint8_t, const std::array<QLineEdit *, 3> &, int32_t, int32_t) {}
void TFMain::WriteFloatParam(QObject *, uint8_t, const std::array<QLineEdit *, 3> &) {}
