#include "tfmain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>

#include <filesystem>

#include "accessible_names.h"
#include "error_box.h"
#include "settings/program_settings.h"
#include "settings/settings_location.h"
#include "string_table.h"
#include "ui_tfmain.h"
#include "up_down_control.h"
#include "window_position_tracker.h"

namespace {

std::string toUtf8(const QString &text) { return text.toUtf8().toStdString(); }

QString fromUtf8(const std::string &text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Beside the executable (never the working folder), unless the program is installed or that folder cannot be
// written.
QString settingsPathForExecutableFolder(const QString &folder)
{
    const std::filesystem::path file = torvex::settingsFileForExecutableFolder(filesystemPath(folder));
#ifdef _WIN32
    return QDir::toNativeSeparators(QString::fromStdWString(file.wstring()));
#else
    return QFile::decodeName(QByteArray::fromStdString(file.string()));
#endif
}

} // namespace

std::filesystem::path filesystemPath(const QString &path)
{
#ifdef _WIN32
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

QString settingsPathFor(const TFMainOptions &options)
{
    if (!options.settingsPath.isEmpty())
        return options.settingsPath;
    return settingsPathForExecutableFolder(options.executableFolder.isEmpty() ? QCoreApplication::applicationDirPath()
                                                                              : options.executableFolder);
}

torvex::ProfileFile TFMain::openSettings() const { return torvex::ProfileFile(filesystemPath(settingsPath)); }

std::array<QCheckBox *, torvex::kLogCheckKeys.size()> TFMain::logCheckBoxes() const
{
    // Same order as the keys they are stored under.
    return {ui->save_auto,  ui->save_date,  ui->save_time,  ui->save_cnt,   ui->save_cntmod, ui->save_enc1p,
            ui->save_enc2p, ui->save_enc3p, ui->save_enc1v, ui->save_enc2v, ui->save_enc3v,  ui->save_output};
}

void TFMain::reportStartupSettingsError(const torvex::SettingsError &error)
{
    // One unwritable settings folder would otherwise raise the same box for every write of the start-up.
    if (settingsStartupErrorShown)
        return;
    settingsStartupErrorShown = true;
    torvex::showErrorBox(QString::fromUtf8(error.what()));
}

void TFMain::fixSettingsPath()
{
    if (!settingsPositionTracker)
        settingsPositionTracker = new WindowPositionTracker(this);

    TFMainOptions where;
    where.settingsPath = m_requestedSettingsPath;
    where.executableFolder = m_executableFolder;
    settingsPath = settingsPathFor(where);
}

void TFMain::createDefaultSettingsIfMissing()
{
    if (torvex::ProfileFile::fileExists(filesystemPath(settingsPath)))
        return;
    auto settings = openSettings();
    try {
        torvex::writeDefaultSettings(settings, toUtf8(idsText(u"IDS_31")));
    } catch (const torvex::SettingsError &error) {
        // The start-up goes on with the defaults; the user learns once that nothing will be kept.
        reportStartupSettingsError(error);
    }
}

void TFMain::loadSettings()
{
    const auto settings = openSettings();
    const torvex::StartupSettings s = torvex::readStartupSettings(settings, toUtf8(idsText(u"IDS_31")));

    const std::array<QLineEdit *, torvex::kEncoderCount> nameEdits = {ui->enc_name_1, ui->enc_name_2, ui->enc_name_3};
    const std::array<QLineEdit *, torvex::kEncoderCount> unitEdits = {ui->enc_unit_1, ui->enc_unit_2, ui->enc_unit_3};
    for (std::size_t i = 0; i < torvex::kEncoderCount; ++i) {
        nameEdits[i]->setText(fromUtf8(s.encNames[i]));
        unitEdits[i]->setText(fromUtf8(s.encUnits[i]));
    }
    for (std::size_t i = 0; i < torvex::kEncoderCount; ++i)
        channelUnits[i] = unitEdits[i]->text();

    const auto boxes = logCheckBoxes();
    for (std::size_t i = 0; i < boxes.size(); ++i)
        boxes[i]->setChecked(s.logChecks[i]);

    moduloValue = s.mod;
    ui->edit_mod->setText(QString::number(s.mod));
    pushLogLineSettings();

    chartSeriesVisible = s.chartVisible;
    applyChartSeriesVisibility();

    move(s.screenLeft, s.screenTop);

    ui->file_name_edit->setText(fromUtf8(s.fileName));

    int chartWidth = torvex::kChartTimeMin;
    try {
        chartWidth = torvex::convertChartTime(s.chartTimeText);
    } catch (const torvex::InvalidIntegerError &error) {
        // Reported, then the start-up goes on with the shortest width instead of stopping half done.
        torvex::showErrorBox(QString::fromUtf8(error.what()));
    }
    ui->UpDown->setValue(chartWidth);
}

void TFMain::loadLanguageIndex()
{
    const std::int32_t index = openSettings().readInteger(torvex::kOptionsSection, "Language", 0);
    // Only the selection is set here; the language is applied later in the start-up.
    const QSignalBlocker blocker(ui->LangCombo1);
    ui->LangCombo1->setCurrentIndex(index >= 0 && index < ui->LangCombo1->count() ? index : -1);
}

void TFMain::loadLoggingFlag()
{
    // Unlike the check box, a missing key means "do not start logging".
    loggingActive =
        !ui->file_name_edit->text().isEmpty() && openSettings().readBool(torvex::kOptionsSection, "SaveAuto", false);
}

void TFMain::saveSettingsOnClose()
{
    torvex::CloseSettings values;
    std::optional<QPoint> position;
    if (settingsPositionTracker)
        position = settingsPositionTracker->restoredPosition();
    else if (platformReportsWindowPosition())
        position = pos(); // start-up ended before the tracker was made
    values.storePosition = position.has_value();
    if (position) {
        values.screenTop = position->y();
        values.screenLeft = position->x();
    }
    const auto boxes = logCheckBoxes();
    for (std::size_t i = 0; i < boxes.size(); ++i)
        values.logChecks[i] = boxes[i]->isChecked();
    values.chartVisible = chartSeriesVisible;
    values.chartTime = ui->UpDown->value();
    values.language = ui->LangCombo1->currentIndex();
    auto settings = openSettings();
    torvex::writeCloseSettings(settings, values);
}

void TFMain::applyChannelName(int channel)
{
    const std::array<QLineEdit *, torvex::kEncoderCount> edits = {ui->enc_name_1, ui->enc_name_2, ui->enc_name_3};
    const std::array<std::array<QLabel *, 2>, torvex::kEncoderCount> labels = {
        {{ui->n1, ui->n4}, {ui->n2, ui->n5}, {ui->n3, ui->n6}}};
    const std::size_t i = static_cast<std::size_t>(channel - 1);
    const QString name = edits[i]->text();
    writeChannelSetting(torvex::encNameKey(channel), name);
    channelNames[i] = name;
    const QString caption = name.isEmpty() ? QString() : QStringLiteral("- ") + name;
    for (QLabel *label : labels[i])
        label->setText(caption);
    applyAccessibleNames(this); // the indicators' names end with the encoder's name, as their captions do
}

void TFMain::applyChannelUnit(int channel)
{
    const std::array<QLineEdit *, torvex::kEncoderCount> edits = {ui->enc_unit_1, ui->enc_unit_2, ui->enc_unit_3};
    const std::size_t i = static_cast<std::size_t>(channel - 1);
    const QString unit = edits[i]->text();
    writeChannelSetting(torvex::encUnitKey(channel), unit);
    channelUnits[i] = unit;
}

void TFMain::writeChannelSetting(const std::string &key, const QString &value)
{
    auto settings = openSettings();
    try {
        settings.writeText(torvex::kOptionsSection, key, toUtf8(value));
    } catch (const torvex::SettingsError &error) {
        // From the button the failure ends the action; during start-up the names still have to be shown.
        if (!startingUp)
            throw;
        reportStartupSettingsError(error);
    }
}

void TFMain::BitBtn1Click() { applyChannelName(1); }
void TFMain::BitBtn2Click() { applyChannelName(2); }
void TFMain::BitBtn4Click() { applyChannelName(3); }
void TFMain::BitBtn11Click() { applyChannelUnit(1); }
void TFMain::BitBtn13Click() { applyChannelUnit(2); }

void TFMain::BitBtn6Click() { applyChannelUnit(3); }
