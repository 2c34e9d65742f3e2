#pragma once

#include "config/number_text.h"
#include "config/param_catalogue.h"
#include "config/write_payload.h"
#include "device/hid_controller.h"
#include "instrument/instrument_link.h"
#include "instrument/report_dispatch.h"
#include "language.h"
#include "measure/local_clock.h"
#include "measure/log_line.h"
#include "measure/log_writer.h"
#include "record/log_file_output.h"
#include "record/recorder.h"
#include "measure/measurement.h"
#include "settings/program_settings.h"
#include "write_feedback.h"

#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class ChartView;
class QCheckBox;
class QColor;
class QComboBox;
class QLabel;
class QLineEdit;
class QTimer;

class WindowPositionTracker;
namespace torvex {
class ProfileFile;
class SettingsError;
} // namespace torvex

namespace Ui {
class TFMain;
}

struct TFMainOptions {
    // Full path of the settings file; empty means the settings file of the executable's folder (beside it, or
    // the user's configuration folder for an installed program or a folder that cannot be written).
    QString settingsPath;
    // Folder taken as the executable's for that decision; empty means the running executable's.
    QString executableFolder;
    // Tests pass false and call the timer handlers themselves.
    bool startTimers = true;
    // Test seam: called with the step number (1..16) before each start-up step; what it throws ends the
    // start-up at that step, exactly like a failing step would.
    std::function<void(int step)> beforeStartupStep;
    // Where HID devices come from: the system's (createNativeHidPlatform()) or a simulated one. None = the
    // window lists no devices.
    std::shared_ptr<torvex::HidPlatform> hidPlatform;
    // Where log lines that could not be written go at stop and close when the log file's own folder cannot
    // take them. Empty: the user's documents folder, then the home folder.
    QStringList logRescueFolders;
    // Test seam: how many lines may wait for a log file that cannot be written.
    std::size_t logBacklogLines = torvex::LogWriter::kBacklogLines;
};

// The settings file of a window made with `options` (start-up step 6). The program's entry asks too, to lock
// that file before the window exists.
QString settingsPathFor(const TFMainOptions &options);
// A settings path as the settings store takes it.
std::filesystem::path filesystemPath(const QString &path);

// The main window. It owns every control, the timers and the program's state; each subsystem keeps its
// members in its own section below and its handlers in its own tfmain_<subsystem>.cpp.
class TFMain : public QMainWindow {
    Q_OBJECT

public:
    explicit TFMain(const TFMainOptions &options, QWidget *parent = nullptr);
    ~TFMain() override;

    // ===================================================================================== lifecycle (window)
    // tfmain.cpp
    void FormCreate();
    void FormClose();
    // Every resize request is refused: the window keeps its designed size.
    bool FormCanResize(int newWidth, int newHeight) const;

    // Status bar panels 0..3 (200, 150 and 100 pixels wide; the last one reaches the language picker).
    static constexpr int kStatusPanelCount = 4;
    void setStatusPanelText(int panel, const QString &text);
    QString statusPanelText(int panel) const;
    QLabel *statusPanel(int panel) const;

    // Non-wrapping labels grow to fit their text, like the design's auto-sized labels; check boxes grow up to
    // their group's edge. Run it again after captions change (language switch).
    void fitCaptionsToText();

    QTimer *FreqTimer;
    QTimer *UpdateDataTimer;
    QTimer *ChartTimer;
    QTimer *SaveFileTimer;

    // Channel control tables: index 0 is encoder/output/slot 1.
    std::array<QComboBox *, torvex::kEncoderCount> encModeTable{};
    std::array<QComboBox *, torvex::kEncoderCount> encClearTable{};
    std::array<QLineEdit *, torvex::kEncoderCount> encTimeTable{};
    std::array<QLineEdit *, torvex::kEncoderCount> encResolutionTable{};
    std::array<QLineEdit *, torvex::kEncoderCount> encCoeffTable{};
    std::array<QLineEdit *, torvex::kEncoderCount> encOffsetTable{};
    std::array<QComboBox *, torvex::kOutputCount> outSourceTable{};
    std::array<QComboBox *, torvex::kOutputCount> outConditionTable{};
    std::array<QLineEdit *, torvex::kOutputCount> outValueTable{};
    std::array<QComboBox *, torvex::kOutputCount> outStateTable{};
    std::array<QComboBox *, torvex::kChannelCount> trigTypeTable{};

    // Main-window state shared by the subsystems.
    QString settingsPath;
    std::array<QString, torvex::kEncoderCount> channelUnits;
    std::array<QString, torvex::kEncoderCount> channelNames;
    int32_t moduloValue = 0;
    bool loggingActive = false;
    bool chartRunning = false;
    // While FormCreate runs; it ends with FormCreate, also when a step fails.
    bool startingUp = false;

    // ===================================================================================== settings
    // tfmain_settings.cpp
    void fixSettingsPath();                // start-up step 6
    void createDefaultSettingsIfMissing(); // start-up step 7
    void loadSettings();                   // start-up step 8
    void loadLanguageIndex();              // start-up step 10
    void loadLoggingFlag();                // start-up step 11
    void saveSettingsOnClose();            // close steps 1-7
    // Name apply buttons (start-up step 14 runs them too).
    void BitBtn1Click();
    void BitBtn2Click();
    void BitBtn4Click();
    // Unit apply buttons.
    void BitBtn11Click();
    void BitBtn13Click();
    void BitBtn6Click();
    // Visibility of chart series 1..6 as stored in the settings file; the chart shows and changes it.
    std::array<bool, torvex::kChartKeys.size()> chartSeriesVisible = [] {
        std::array<bool, torvex::kChartKeys.size()> all{};
        all.fill(true);
        return all;
    }();
    // Settings helpers (tfmain_settings.cpp).
    torvex::ProfileFile openSettings() const;
    std::array<QCheckBox *, torvex::kLogCheckKeys.size()> logCheckBoxes() const;
    void applyChannelName(int channel);
    void applyChannelUnit(int channel);
    void writeChannelSetting(const std::string &key, const QString &value);
    void reportStartupSettingsError(const torvex::SettingsError &error);
    bool settingsStartupErrorShown = false; // at most one settings write error box per start-up
    WindowPositionTracker *settingsPositionTracker = nullptr;

    // ===================================================================================== language
    // tfmain_language.cpp
    void LangCombo1Change();    // start-up step 16 and every pick in the language picker
    int activeLanguage() const; // 1 Polish, 2 English
    void setUpLanguagePicker(); // flags and item drawing of LangCombo1; the constructor calls it

Q_SIGNALS:
    // After a switch: owners of dialog titles/filters and series titles re-read them with otherText().
    void otherStringsChanged();

private:
    void applyFormTexts();     // captions and item lists through retranslateUi, keeping user state
    void applyStateCaptions(); // save_label and PlayButton from the logging and chart-running flags
    LanguageSwitcher m_language;

public:
    // ===================================================================================== link
    // tfmain_link.cpp
    // The link lists the devices, chooses the instrument (of several, the last listed), holds the claimed
    // devices for the ListBox1 entries and sends; the window keeps its state under the names below.
    torvex::InstrumentLink deviceLink{torvex::ChoicePolicy::LastListed, torvex::InstrumentLink::Claim::EveryListed};
    // The link's controller; none when the window was given no HID platform.
    torvex::THidDeviceController *HidDeviceController1 = nullptr;
    // The device in use, and whether reports flow and sends go out; the link alone changes them.
    torvex::THidDevice *CurrentDevice() const { return deviceLink.current(); }
    bool Connected() const { return deviceLink.connected(); }
    // What a report does is decided in the core; the handler keeps the state below, under the window's names.
    torvex::InputReportHandler reportHandler;
    // Data of the latest input report (type byte first); never cleared, each report overwrites its own length.
    torvex::RxBuffer &RxBuffer = reportHandler.rxBuffer();
    // Bytes of RxBuffer the latest report filled (its data cut to the buffer).
    uint16_t &RxReportSize = reportHandler.rxSize;
    uint32_t &ReceivedReportCount = reportHandler.receivedCount;
    bool HidDeviceController1Enumerate(torvex::THidDevice *HidDev, int Idx);
    void HidDeviceController1DeviceChange();
    // True when the report was written to the instrument.
    bool SendCommand(uint8_t command, const uint8_t *payload, unsigned count);
    void SendReadRequest(uint8_t item, uint8_t channel);
    void DeviceDataReceived(torvex::THidDevice *HidDev, uint8_t ReportID, const uint8_t *Data, uint16_t Size);
    // The devices held by ListBox1, in list order (entries whose claim failed hold none).
    std::vector<torvex::THidDevice *> listedDevices() const;

    // ===================================================================================== config
    // tfmain_config.cpp
    // Write handlers; shared ones are told apart by the control that raised the event.
    void button_encmode1Click(QObject *Sender);
    void button_time1Click(QObject *Sender);
    void button_resolution1Click(QObject *Sender);
    void button_enccoeff1Click(QObject *Sender);
    void button_encoffset1Click();
    void button_encoffset2Click();
    void button_encoffset3Click();
    void button_encclearC3Click(QObject *Sender);
    void button_encclear1Click(QObject *Sender);
    void enc_time_1Change(QObject *Sender);
    void out1_WChange(QObject *Sender);
    void BitBtn43Click();
    void BitBtn9Click();
    void BitBtn55Click();
    void BitBtn53Click();
    void BitBtn45Click();
    void button_trigmastetype_1Click(QObject *Sender);
    void BitBtn20Click();
    void BitBtn22Click();
    void BitBtn24Click();
    void BitBtn18Click();
    void BitBtn7Click();
    void BitBtn16Click();
    // Read handlers, one per Read button of the binding table.
    void button_1Click();
    void button_2Click();
    void BitBtn14Click();
    void BitBtn44Click();
    void BitBtn10Click();
    void BitBtn56Click();
    void BitBtn54Click();
    void BitBtn46Click();
    void BitBtn12Click();
    void BitBtn3Click();
    void BitBtn8Click();
    void BitBtn21Click();
    void BitBtn23Click();
    void BitBtn25Click();
    void BitBtn19Click();
    void BitBtn15Click();
    void BitBtn17Click();
    void DebugMemoClick();
    using Handler = void (TFMain::*)();
    // The data of one type-1 report (type byte first), exactly as many bytes as arrived.
    void DecodeConfigReply(std::span<const uint8_t> reply);
    // Puts the values of a decoded reply into their controls.
    void applyConfigReply(const torvex::ConfigReply &reply);
    void UpdateOutputEnable(int output);
    void WriteIntParam(QObject *Sender, uint8_t id, const std::array<QLineEdit *, torvex::kChannelCount> &fields,
                       int32_t lower, int32_t upper);
    void WriteFloatParam(QObject *Sender, uint8_t id, const std::array<QLineEdit *, torvex::kChannelCount> &fields);
    // The user's number symbols, taken once from the system locale when the window is made.
    torvex::NumberFormat configNumberFormat = systemNumberFormat();
    static torvex::NumberFormat systemNumberFormat();
    // Counters of the latest MODBUS statistics reply.
    std::array<int32_t, torvex::kStatsCounterCount> modbusStats{};
    // Field feedback colours; the normal colour is the system's text-entry background.
    static QColor errorColour();
    static QColor correctedColour();
    static QColor normalFieldColour(const QLineEdit *field);
    // A list whose write was refused for want of a selection carries the corrected colour until its
    // selection changes or a later write accepts it.
    static bool isListMarked(const QComboBox *list);

private:
    void writeListParam(QObject *Sender, torvex::ParamId id);
    void setListMarked(QComboBox *list, bool marked);
    void showNoSelection();
    void wireListMarks();
    void applyFieldOutcome(QLineEdit *field, const torvex::FieldOutcome &outcome);
    void finishNumberWrite(QLineEdit *field, const torvex::NumberWrite &write);
    SendResult sendWrite(const torvex::Payload &payload);
    void requestRead(torvex::ParamId id, uint8_t channel);
    void requestReadOf(const QObject *readButton);
    QWidget *configControl(const char *name) const;

public:
    // ===================================================================================== indicators
    // tfmain_indicators.cpp
    // Latest measurement; the report handler advances MeasurementCount and NewSampleFlag.
    torvex::MeasurementState &Measurement = reportHandler.measurement;
    // The regional decimal separator, taken once since value texts are written at the report rate.
    // Tests may set it.
    char decimalSeparator = systemDecimalSeparator();
    static char systemDecimalSeparator();
    void UpdateDataTimerTimer();
    void FreqTimerTimer();

    // ===================================================================================== log
    // tfmain_log.cpp
    void ApplyLoggingState(); // start-up step 13
    void closeLogFile();      // close step 8
    // Closes as the close button does, for a request that comes without a user at the screen (SIGTERM, the end
    // of the session): no modal box waits for a click; what a box would say goes to standard error.
    void closeUnattended();
    bool m_unattendedClose = false;
    bool m_closed = false; // a request to end that comes after the close has nothing left to do
    void save_buttonClick();
    void file_name_buttonClick();
    void BitBtn5Click();
    void SaveFileTimerTimer();

    // Every measurement goes to the recorder; while logging is on, the log file is its output, written from a
    // thread of its own.
    torvex::Recorder recorder;
    // Tests: waits until the log's writer has handled everything handed over so far, then shows its state.
    void settleLog();
    // What the log's writer last said, with the lines still queued for it.
    torvex::LogFileOutput::Status logOutputStatus() const;
    // Test seam: stands in for the modal SaveDialog; returns the chosen path, or an empty text for cancel.
    std::function<QString()> saveDialogHook;

private:
    // The ticked columns, the modulo value and the decimal separator, handed to the recorder when they change.
    void pushLogLineSettings();
    void startLogOutput();
    // Logging off and close: the writer's last try, then the lines it still could not take to a recovery file.
    torvex::LogWriter::Rescue stopLogOutput();
    QStringList logRescueFolders() const;
    // A rescue at an unattended close (a signal, the end of the session) was told on standard error only: the
    // next start shows it in a box.
    void rememberLogRescue(const torvex::LogWriter::Rescue &rescue);
    void showEarlierLogRescue();
    // A second's worth of lines at the fastest rate: fewer waiting is the writer's normal batching.
    static constexpr std::uint64_t kSlowLogWaiting = 1000;
    std::shared_ptr<torvex::LogFileOutput> m_logOutput;
    int m_logOutputId = 0;
    torvex::LogFileOutput::Status m_logEnded; // the output's last status once logging is off
    std::size_t m_logBacklogLines;
    bool logFailing() const;  // logging on and the file cannot take the lines
    void showLoggingStatus(); // save_label, panel 3 and the tooltips that name the file
    void showLogLabel();      // save_label: text and colour
    void showLogFileTips();   // full path of the log file; while failing the lines waiting; the lines lost
    QString logErrorText() const;
    // After a stop or close that could not write everything: where the waiting lines went, in an error box.
    void reportLogRescue(const torvex::LogWriter::Rescue &rescue);
    void reportLogRescue(const torvex::LogWriter::Rescue &rescue, const QString &logPath);
    QString logFileFullPath() const;
    char logDecimalSeparator();
    QString m_logPath;       // the path logging last started with
    char m_logSeparator = 0; // regional decimal separator, taken once
    bool m_logErrorShown = false;
    // What the logging texts show, so that the tick rewrites them only when it changed.
    struct LogStatusShown {
        bool failing = false;
        std::uint64_t waiting = 0;
        std::uint64_t dropped = 0;
        bool operator==(const LogStatusShown &) const = default;
    };
    LogStatusShown logStatus() const;
    LogStatusShown m_logStatusShown;

public:
    // ===================================================================================== chart
    // tfmain_chart.cpp
    void PlayButtonClick();
    void ClearButtonClick();
    void SaveChartButtonClick();
    void ChartTimerTimer();
    ChartView *chartView() const;
    // Series titles in the active language (start-up and every language switch).
    void applyChartSeriesTitles();
    // Series visibility from chartSeriesVisible (after the settings are read).
    void applyChartSeriesVisibility();
    // x value of the next point, seconds; advances 0.1 per plotted tick, not with the clock.
    double chartTime = 0.0;
    // Test seam: stands in for the modal SaveDialogBitmap; returns the chosen path, or an empty text for cancel.
    std::function<QString()> saveDialogBitmapHook;

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createStatusPanels();
    void hideChartTab(); // start-up step 9
    void fillChannelTables();
    void wireControls();
    void startupStep(int step, const std::function<void()> &action);
    // Link: the controller is made with the window (its start-up notice is served once the event loop runs)
    // and taken down before the controls its handlers use.
    void createDeviceLink(const TFMainOptions &options);
    void destroyDeviceLink();
    std::shared_ptr<torvex::UiDispatcher> m_uiDispatcher;

    std::unique_ptr<Ui::TFMain> ui;
    std::array<QLabel *, kStatusPanelCount> m_statusPanels{};
    std::function<void(int)> m_beforeStartupStep;
    QString m_requestedSettingsPath;
    QString m_executableFolder;
    QStringList m_logRescueFolders;
};
