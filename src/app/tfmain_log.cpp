#include "tfmain.h"

#include "error_box.h"
#include "language.h"
#include "measure/value_text.h"
#include "settings/profile_file.h"
#include "settings/program_settings.h"
#include "string_table.h"
#include "ui_tfmain.h"
#include "write_feedback.h"

#include <QDir>
#include <QFileInfo>
#include <QFileDialog>
#include <QIcon>
#include <QLocale>
#include <QPalette>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>
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

void TFMain::pushLogLineSettings()
{
    const auto boxes = logCheckBoxes();
    torvex::LogChecks checks{};
    for (std::size_t i = 0; i < boxes.size(); ++i)
        checks[i] = boxes[i]->isChecked();
    recorder.setLineSettings(torvex::logColumnsOf(checks), moduloValue, logDecimalSeparator());
}

void TFMain::startLogOutput()
{
    torvex::LogFileOutput::Options options;
    m_logPath = ui->file_name_edit->text();
    options.path = m_logPath.toStdString();
    for (const QString &folder : logRescueFolders())
        options.rescueFolders.push_back(folder.toStdString());
    options.backlogLines = m_logBacklogLines;
    options.openAtStart = false; // as before the writer had a thread: at the first line
    pushLogLineSettings();
    m_logOutput = std::make_shared<torvex::LogFileOutput>(std::move(options));
    m_logOutputId = recorder.addOutput(m_logOutput);
}

torvex::LogWriter::Rescue TFMain::stopLogOutput()
{
    torvex::LogWriter::Rescue rescue;
    if (m_logOutputId == 0)
        return rescue;
    const std::uint64_t queued = recorder.waiting(m_logOutputId);
    const std::uint64_t queueLost = recorder.lost(m_logOutputId);
    const bool returned =
        recorder.stopOutput(m_logOutputId, torvex::Recorder::Clock::now() + torvex::Recorder::kStopDeadline);
    m_logOutputId = 0;
    const torvex::LogFileOutput::Status status = m_logOutput->status();
    m_logEnded = status;
    m_logEnded.dropped += queueLost;
    if (!returned) {
        // Blocked in the system past every deadline: what it held is lost, and said so like a failed rescue.
        rescue.lines = status.waiting + queued;
        m_logEnded.dropped += rescue.lines;
        return rescue;
    }
    return status.rescue;
}

torvex::LogFileOutput::Status TFMain::logOutputStatus() const
{
    if (m_logOutputId == 0)
        return m_logEnded;
    torvex::LogFileOutput::Status status = m_logOutput->status();
    const std::uint64_t queued = recorder.waiting(m_logOutputId);
    const std::uint64_t lost = recorder.lost(m_logOutputId);
    status.waiting += queued;
    status.dropped += lost;
    // A file so slow that the queue's bound was reached, and still behind: lines are being lost, which is shown
    // as the error it is, not as a slow file.
    if (lost > 0 && queued >= kSlowLogWaiting)
        status.failing = true;
    return status;
}

void TFMain::settleLog()
{
    recorder.sync();
    if (logStatus() != m_logStatusShown)
        showLoggingStatus();
}

void TFMain::SaveFileTimerTimer()
{
    recorder.tick();
    // The writer works on its own thread; what it last said of the file reaches the window here, within a
    // second, and while lines wait the count of them is brought up to date every second.
    if (logStatus() != m_logStatusShown)
        showLoggingStatus();
}

bool TFMain::logFailing() const { return loggingActive && logOutputStatus().failing; }

TFMain::LogStatusShown TFMain::logStatus() const
{
    LogStatusShown status;
    if (loggingActive) {
        const torvex::LogFileOutput::Status output = logOutputStatus();
        status.failing = output.failing;
        // A slow file is shown only once a second's worth of lines waits for it.
        status.waiting = status.failing || output.waiting >= kSlowLogWaiting ? output.waiting : 0;
        status.dropped = output.dropped;
    }
    return status;
}

QString TFMain::logErrorText() const
{
    const std::uint64_t waiting = logOutputStatus().waiting;
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
    // The button shows only a picture (run or stop): its name and tip say which.
    const QString action = idsText(loggingActive ? u"IDS_A11Y_LOG_STOP" : u"IDS_A11Y_LOG_START");
    ui->save_button->setAccessibleName(action);
    ui->save_button->setToolTip(action);
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
    const torvex::LogFileOutput::Status output = logOutputStatus();
    const QString waiting = QString::number(output.waiting);
    const QString dropped = QString::number(output.dropped);
    // Refused because another program holds the file: say so, and who when the system tells.
    const torvex::LogFile::Failure &refusal = output.failure;
    // One pass over the format, so a '%' in the path is never taken for a place holder. Lines lost stay on
    // show until logging stops.
    QString tip = path;
    if (m_logErrorShown && !output.open && refusal.otherWriter) {
        const QString writer = QString::fromStdString(refusal.writer);
        tip = idsText(u"IDS_LOG_OTHER_WRITER_TIP")
                  .arg(path, waiting, dropped, writer.isEmpty() ? QString() : QStringLiteral(" (") + writer + u')');
    } else if (m_logErrorShown) {
        tip = idsText(u"IDS_LOG_WRITE_ERROR_TIP").arg(path, waiting, dropped);
    } else if (loggingActive && output.dropped > 0) {
        tip = idsText(u"IDS_LOG_LOST_TIP").arg(path, dropped);
    } else if (loggingActive && output.waiting >= kSlowLogWaiting) {
        tip = idsText(u"IDS_LOG_WAITING_TIP").arg(path, waiting);
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
        rescue = stopLogOutput();
    else if (m_logOutputId == 0)
        startLogOutput();
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

void TFMain::closeLogFile() { reportLogRescue(stopLogOutput()); }

QStringList TFMain::logRescueFolders() const
{
    if (!m_logRescueFolders.isEmpty())
        return m_logRescueFolders;
    return {QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation),
            QStandardPaths::writableLocation(QStandardPaths::HomeLocation)};
}

void TFMain::closeUnattended()
{
    if (m_closed)
        return;
    m_unattendedClose = true;
    const torvex::ErrorBoxSink previous = torvex::setErrorBoxSink([](const QString &text) {
        const QByteArray bytes = (torvex::errorBoxText(text) + u'\n').toLocal8Bit();
        std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
        std::fflush(stderr);
    });
    close();
    torvex::setErrorBoxSink(previous);
}

void TFMain::rememberLogRescue(const torvex::LogWriter::Rescue &rescue)
{
    const QString rescuePath = rescue.path.empty()
        ? QString()
        : QDir::toNativeSeparators(QFileInfo(QString::fromStdString(rescue.path)).absoluteFilePath());
    openSettings().writeTexts(torvex::kOptionsSection,
                              {{"RecoveredLines", std::to_string(rescue.lines)},
                               {"RecoveredFile", rescuePath.toStdString()},
                               {"RecoveredFrom", m_logPath.toStdString()}});
}

void TFMain::showEarlierLogRescue()
{
    torvex::ProfileFile settings = openSettings();
    const std::int32_t lines = settings.readInteger(torvex::kOptionsSection, "RecoveredLines", 0);
    if (lines <= 0)
        return;
    const QString file = QString::fromStdString(settings.readText(torvex::kOptionsSection, "RecoveredFile", ""));
    const QString from = QString::fromStdString(settings.readText(torvex::kOptionsSection, "RecoveredFrom", ""));
    settings.writeTexts(torvex::kOptionsSection,
                        {{"RecoveredLines", "0"}, {"RecoveredFile", ""}, {"RecoveredFrom", ""}});
    torvex::LogWriter::Rescue rescue;
    rescue.lines = static_cast<std::uint64_t>(lines);
    rescue.path = file.toStdString();
    reportLogRescue(rescue, from);
}

void TFMain::reportLogRescue(const torvex::LogWriter::Rescue &rescue) { reportLogRescue(rescue, m_logPath); }

void TFMain::reportLogRescue(const torvex::LogWriter::Rescue &rescue, const QString &from)
{
    if (rescue.lines == 0)
        return;
    if (m_unattendedClose)
        torvex::runHandler([&] { rememberLogRescue(rescue); });
    const QString logPath = QDir::toNativeSeparators(QFileInfo(from).absoluteFilePath());
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
        showWriteResult(ui->edit_mod, writeResultText({torvex::FieldMark::Error, {}}, std::nullopt));
        return;
    }
    const int32_t value = std::clamp(*typed, torvex::kModuloMin, torvex::kModuloMax);
    if (value != *typed) {
        ui->edit_mod->setText(QString::number(value));
        setFieldColour(ui->edit_mod, correctedColour());
        showWriteResult(ui->edit_mod,
                        writeResultText({torvex::FieldMark::Corrected, std::to_string(value)}, std::nullopt));
    }
    moduloValue = value;
    pushLogLineSettings();
    openSettings().writeInteger(torvex::kOptionsSection, "Mod", value);
}
