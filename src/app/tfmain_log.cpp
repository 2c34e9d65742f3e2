#include "tfmain.h"

#include "ui_tfmain.h"

// Bodies are filled in by the measurement log work (log line, log file, logging controls).

QString TFMain::BuildLogLine()
{
    return {};
}
void TFMain::WriteLogLine(const QString &, const QString &) {}
void TFMain::ApplyLoggingState() {}
void TFMain::closeLogFile() {}
void TFMain::save_buttonClick() {}
void TFMain::file_name_buttonClick() {}
void TFMain::BitBtn5Click() {}
void TFMain::SaveFileTimerTimer() {}
