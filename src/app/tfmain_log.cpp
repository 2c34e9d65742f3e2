#include "tfmain.h"

#include "error_box.h"
#include "language.h"
#include "measure/value_text.h"
#include "settings/profile_file.h"
#include "settings/program_settings.h"
#include "string_table.h"
#include "ui_tfmain.h"

#include <QDir>
#include <QFileInfo>
#include <QFileDialog>
#include <QIcon>
#include <QLocale>
#include <QPalette>
#include <QStandardPaths>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr int kLogStatusPanel = 3;

void setTextColour(QLabel *label, const QColor &colour)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

void setFieldColour(QLineEdit *field, const QColor &colour)
{
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, colour);
    field->setPalette(palette);
}

} // namespace

char TFMain::logDecimalSeparator()
{
    if (m_logSeparator == 0)
        m_logSeparator = torvex::valueTextSeparator(QLocale::system().decimalPoint().toStdString());
    return m_logSeparator;
}

void TFMain::logLineSettings(torvex::LogLineInput &in)
{
    const auto boxes = logCheckBoxes();
    torvex::LogChecks checks{};
    for (std::size_t i = 0; i < boxes.size(); ++i)
        checks[i] = boxes[i]->isChecked();
    in.columns = torvex::logColumnsOf(checks);
    in.moduloValue = moduloValue;
    in.decimalSeparator = logDecimalSeparator();
}

torvex::LocalDateTime TFMain::logLineTime() { return m_logClock.now(); }

void TFMain::handOverLogLine(std::string_view line) { WriteLogLine(ui->file_name_edit->text(), line); }

void TFMain::WriteLogLine(const QString &path, std::string_view line)
{
    if (!loggingActive)
        return;
    if (path != m_logPath) {
        m_logPath = path;
        m_logPathUtf8 = path.toStdString();
    }
    logWriter.writeLine(m_logPathUtf8, line);
}

void TFMain::SaveFileTimerTimer()
{
    logWriter.tick();
    // The report handler only stores; a file error reaches the window here, within a second, and while it
    // lasts the count of waiting lines is brought up to date every second.
    if (logStatus() != m_logStatusShown)
        showLoggingStatus();
}

bool TFMain::logFailing() const { return loggingActive && logWriter.failing(); }

TFMain::LogStatusShown TFMain::logStatus() const
{
    LogStatusShown status;
    if (loggingActive) {
        status.failing = logWriter.failing();
        status.waiting = status.failing ? logWriter.waitingLines() : 0;
        status.dropped = logWriter.droppedLines();
    }
    return status;
}

QString TFMain::logErrorText() const
{
    const std::uint64_t waiting = logWriter.waitingLines();
    return waiting > 0 ? idsText(u"IDS_LOG_WRITE_ERROR_WAITING").arg(waiting) : idsText(u"IDS_LOG_WRITE_ERROR");
}

void TFMain::showLoggingStatus()
{
    m_logStatusShown = logStatus();
    m_logErrorShown = logFailing();
    showLogLabel();
    if (!loggingActive)
        setStatusPanelText(kLogStatusPanel, idsText(u"IDS_164"));
    else if (m_logErrorShown)
        setStatusPanelText(kLogStatusPanel, logErrorText());
    else
        setStatusPanelText(kLogStatusPanel, idsText(u"IDS_161"));
    showLogFileTips();
}

void TFMain::showLogLabel()
{
    // While lines cannot be written the label says so: showing "active" then would report a failure as success.
    if (m_logErrorShown)
        ui->save_label->setText(logErrorText());
    else
        ui->save_label->setText(idsText(loggingActive ? u"IDS_159" : u"IDS_162"));
    setTextColour(ui->save_label, loggingActive ? QColor(168, 22, 6) : QColor(0, 64, 128));
}

QString TFMain::logFileFullPath() const
{
    // A bare name is relative to the working directory, which the user rarely knows: show where it really is.
    const QString path = ui->file_name_edit->text();
    return path.isEmpty() ? QString() : QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

void TFMain::showLogFileTips()
{
    const QString path = logFileFullPath();
    const QString waiting = QString::number(logWriter.waitingLines());
    const QString dropped = QString::number(logWriter.droppedLines());
    // Refused because another program holds the file: say so, and who when the system tells.
    const torvex::LogFile::Failure &refusal = logWriter.file().failure();
    // One pass over the format, so a '%' in the path is never taken for a place holder. Lines lost stay on
    // show until logging stops.
    QString tip = path;
    if (m_logErrorShown && !logWriter.isOpen() && refusal.otherWriter) {
        const QString writer = QString::fromStdString(refusal.writer);
        tip = idsText(u"IDS_LOG_OTHER_WRITER_TIP")
                  .arg(path, waiting, dropped, writer.isEmpty() ? QString() : QStringLiteral(" (") + writer + u')');
    } else if (m_logErrorShown) {
        tip = idsText(u"IDS_LOG_WRITE_ERROR_TIP").arg(path, waiting, dropped);
    } else if (loggingActive && logWriter.droppedLines() > 0) {
        tip = idsText(u"IDS_LOG_LOST_TIP").arg(path, dropped);
    }
    ui->file_name_edit->setToolTip(path);
    ui->save_label->setToolTip(tip);
    statusPanel(kLogStatusPanel)->setToolTip(tip);
}

void TFMain::ApplyLoggingState()
{
    // Off: the file's last try and the recovery file come before its lock is given up; the box after.
    torvex::LogWriter::Rescue rescue;
    if (!loggingActive)
        rescue = finishLogFile();
    logWriter.setActive(loggingActive);
    if (loggingActive) {
        ui->save_button->setIcon(QIcon(QStringLiteral(":/ID_stop")));
        ui->file_name_button->setEnabled(false);
    } else {
        ui->save_button->setIcon(QIcon(QStringLiteral(":/ID_run")));
        ui->file_name_button->setEnabled(true);
    }
    showLoggingStatus();
    reportLogRescue(rescue);
}

void TFMain::closeLogFile() { reportLogRescue(finishLogFile()); }

torvex::LogWriter::Rescue TFMain::finishLogFile()
{
    logWriter.close();
    QStringList folders = m_logRescueFolders;
    if (folders.isEmpty())
        folders = {QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation),
                   QStandardPaths::writableLocation(QStandardPaths::HomeLocation)};
    std::vector<std::string> utf8Folders;
    for (const QString &folder : folders)
        utf8Folders.push_back(folder.toStdString());
    return logWriter.saveBacklog(utf8Folders);
}

void TFMain::reportLogRescue(const torvex::LogWriter::Rescue &rescue)
{
    if (rescue.lines == 0)
        return;
    const QString logPath = QDir::toNativeSeparators(QFileInfo(m_logPath).absoluteFilePath());
    const QString lines = QString::number(rescue.lines);
    if (rescue.path.empty()) {
        torvex::showErrorBox(idsText(u"IDS_LOG_RESCUE_FAILED").arg(logPath, lines));
        return;
    }
    const QString rescuePath =
        QDir::toNativeSeparators(QFileInfo(QString::fromStdString(rescue.path)).absoluteFilePath());
    torvex::showErrorBox(idsText(u"IDS_LOG_RESCUED").arg(logPath, lines, rescuePath));
}

void TFMain::save_buttonClick()
{
    if (!ui->file_name_edit->text().isEmpty())
        loggingActive = !loggingActive;
    ApplyLoggingState();
}

void TFMain::file_name_buttonClick()
{
    QString chosen;
    if (saveDialogHook) {
        chosen = saveDialogHook();
    } else {
        QFileDialog dialog(this, otherText(u"SaveDialog.Title"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setNameFilters(fileDialogNameFilters(otherText(u"SaveDialog.Filter")));
        dialog.setDefaultSuffix(QStringLiteral("csv"));
        // The file is appended to, so choosing an existing one needs no warning.
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            chosen = dialog.selectedFiles().constFirst();
    }
    if (chosen.isEmpty())
        return;
    chosen = QDir::toNativeSeparators(chosen);
    ui->file_name_edit->setText(chosen);
    try {
        openSettings().writeText(torvex::kOptionsSection, "FileName", chosen.toStdString());
    } catch (const std::exception &) {
        // The new path is kept for this run; not being able to remember it is not worth an error box.
    }
}

void TFMain::BitBtn5Click()
{
    const std::optional<int32_t> typed = torvex::parseInt32(ui->edit_mod->text().toStdString());
    if (!typed) {
        setFieldColour(ui->edit_mod, errorColour());
        return;
    }
    const int32_t value = std::clamp(*typed, torvex::kModuloMin, torvex::kModuloMax);
    if (value != *typed) {
        ui->edit_mod->setText(QString::number(value));
        setFieldColour(ui->edit_mod, correctedColour());
    }
    moduloValue = value;
    openSettings().writeInteger(torvex::kOptionsSection, "Mod", value);
}
