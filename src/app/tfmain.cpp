#include "tfmain.h"

#include "stop_signals.h"

#include "chart_view.h"

#include "accessible_interfaces.h"
#include "accessible_names.h"
#include "config_bindings.h"
#include "design_font.h"
#include "error_box.h"
#include "keyboard_navigation.h"
#include "ui_tfmain.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFont>
#include <QLayout>
#include <QMouseEvent>
#include <QProxyStyle>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QTimer>

#include <algorithm>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <type_traits>

// The pictures live in a static library; without this the linker may drop them.
static void initWindowResources() { Q_INIT_RESOURCE(resources); }

namespace {

#ifdef Q_OS_WIN
// The five tabs were laid out for the system's own tab control, which pads a caption by 6 px on each side; the
// Windows styles of Qt pad by 12, and the last tab then goes behind scroll arrows. Only the padding changes.
class DesignTabPadding : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    int pixelMetric(PixelMetric metric, const QStyleOption *option, const QWidget *widget) const override
    {
        const int value = QProxyStyle::pixelMetric(metric, option, widget);
        if (metric == PM_TabBarTabHSpace)
            return std::min(value, 12);
        return value;
    }
};
#endif

constexpr int kClientWidth = 700;
constexpr int kClientHeight = 534;
constexpr int kStatusBarHeight = 24;
constexpr std::array<int, TFMain::kStatusPanelCount> kStatusPanelWidths{200, 150, 100, 50};
constexpr int kStatusPanelTop = 3;
// Design places of the modulo field and its apply button, on the line of the save_cntmod caption.
constexpr int kModuloFieldLeft = 288;
constexpr int kModuloButtonLeft = 359;
constexpr int kCaptionGap = 4;
// Design left edges of the indicator name labels ("- " + name) after the position and the velocity captions.
constexpr int kPositionNameLeft = 140;
constexpr int kVelocityNameLeft = 475;

// Where the design font is missing, the carried narrow face keeps the captions within the widths they were
// designed for; no face of the machine is consulted first (the usual default sans is much wider, and narrower
// ones that some machines have would make the window look different there).
void useDesignFont(QWidget *window)
{
    registerEmbeddedFonts();
    QFont designFont = window->font();
    designFont.setFamilies(designFontFamilies());
    window->setFont(designFont);
}

// Handlers run through runHandler so that nothing they throw crosses a Qt frame.
template <class Control, class Signal>
void wire(TFMain *window, Control *control, Signal signal, void (TFMain::*handler)())
{
    QObject::connect(control, signal, window, [window, handler] { torvex::runHandler([&] { (window->*handler)(); }); });
}

template <class Control, class Signal>
void wire(TFMain *window, Control *control, Signal signal, void (TFMain::*handler)(QObject *))
{
    QObject::connect(control, signal, window,
                     [window, control, handler] { torvex::runHandler([&] { (window->*handler)(control); }); });
}

} // namespace

TFMain::TFMain(const TFMainOptions &options, QWidget *parent)
    : QMainWindow(parent), FreqTimer(new QTimer(this)), UpdateDataTimer(new QTimer(this)), ChartTimer(new QTimer(this)),
      SaveFileTimer(new QTimer(this)), m_logBacklogLines(options.logBacklogLines), ui(std::make_unique<Ui::TFMain>()),
      m_beforeStartupStep(options.beforeStartupStep), m_requestedSettingsPath(options.settingsPath),
      m_executableFolder(options.executableFolder), m_logRescueFolders(options.logRescueFolders)
{
    // Before any control exists: an interface, once made for a control, is kept for its life.
    installAccessibleInterfaces();
    initWindowResources();
    ui->setupUi(this);
    useDesignFont(this);

    // System menu and minimise only: the window has one size.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    if (!FormCanResize(kClientWidth, kClientHeight))
        setFixedSize(kClientWidth, kClientHeight);
    move(0, 0);

    for (int address = 1; address <= torvex::kModbusAddressCount; ++address)
        ui->mod_adr->addItem(QString::number(address));
    ui->mod_adr->setCurrentIndex(0);
    ui->UpDown->setRange(torvex::kChartTimeMin, torvex::kChartTimeMax);
    ui->UpDown->setSingleStep(1);
    ui->UpDown->setValue(1);
    ui->UpDown->setBuddy(ui->ChartTime);

    createStatusPanels();
    setUpLanguagePicker();
#ifdef Q_OS_WIN
    auto *tabStyle = new DesignTabPadding(QApplication::style()->name());
    tabStyle->setParent(ui->PageControl1->tabBar());
    ui->PageControl1->tabBar()->setStyle(tabStyle);
#endif
    fitCaptionsToText();
    // Lay the window out now: start-up places the language picker relative to the status bar's width.
    if (layout())
        layout()->activate();

    FreqTimer->setObjectName(QStringLiteral("FreqTimer"));
    FreqTimer->setInterval(333);
    // The rate divides a tick's reports by the interval: a coarse timer, free to fire some 8 ms early, would show
    // a steady rate about 2.4 % low.
    FreqTimer->setTimerType(Qt::PreciseTimer);
    UpdateDataTimer->setObjectName(QStringLiteral("UpdateDataTimer"));
    UpdateDataTimer->setInterval(100);
    ChartTimer->setObjectName(QStringLiteral("ChartTimer"));
    ChartTimer->setInterval(100);
    SaveFileTimer->setObjectName(QStringLiteral("SaveFileTimer"));
    SaveFileTimer->setInterval(1000);

    wireControls();
    if (options.startTimers) {
        for (QTimer *timer : {FreqTimer, UpdateDataTimer, ChartTimer, SaveFileTimer})
            timer->start();
    }

    createDeviceLink(options);
    // A modal box runs an event loop, which would run the first device pass and other queued work in the
    // middle of the start-up; its errors are shown once it is over.
    torvex::HeldErrorBoxes startupErrors;
    FormCreate();
    setUpKeyboard(this, ui->PageControl1);
    applyAccessibleNames(this);
    connect(this, &TFMain::otherStringsChanged, this, [this] { applyAccessibleNames(this); });
    startupErrors.show();
}

TFMain::~TFMain() { destroyDeviceLink(); }

void TFMain::createStatusPanels()
{
    ui->StatusBar->setFixedHeight(kStatusBarHeight);
    // Placed by hand, not added to the status bar's layout, which would put its spacing between them: the
    // panels touch, and the language picker is laid over the bar's right-hand end beyond them.
    int left = 0;
    for (int panel = 0; panel < kStatusPanelCount; ++panel) {
        const int width = kStatusPanelWidths[static_cast<size_t>(panel)];
        auto *label = new QLabel(ui->StatusBar);
        label->setObjectName(QStringLiteral("StatusPanel%1").arg(panel));
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setGeometry(left, kStatusPanelTop, width, kStatusBarHeight - kStatusPanelTop - 2);
        m_statusPanels[static_cast<size_t>(panel)] = label;
        left += width;
    }
}

void TFMain::hideChartTab()
{
    QTabBar *tabs = ui->PageControl1->tabBar();
    const int index = ui->PageControl1->indexOf(ui->TabSheet2);
    tabs->setTabVisible(index, false);
    // A hidden tab is still taken by Ctrl+Tab, the arrow keys and the wheel, which skip only disabled tabs.
    // Disabling it on the tab row alone keeps the page itself, and the chart on it, working.
    tabs->setTabEnabled(index, false);
}

QLabel *TFMain::statusPanel(int panel) const
{
    if (panel < 0 || panel >= kStatusPanelCount)
        return nullptr;
    return m_statusPanels[static_cast<size_t>(panel)];
}

void TFMain::setStatusPanelText(int panel, const QString &text)
{
    if (QLabel *label = statusPanel(panel))
        label->setText(text);
}

QString TFMain::statusPanelText(int panel) const
{
    const QLabel *label = statusPanel(panel);
    return label ? label->text() : QString();
}

void TFMain::fitCaptionsToText()
{
    for (QLabel *label : findChildren<QLabel *>()) {
        if (label->wordWrap() || label->parentWidget() == ui->StatusBar)
            continue;
        const QSize hint = label->sizeHint();
        label->resize(std::max(label->width(), hint.width()), std::max(label->height(), hint.height()));
    }
    // A check box may not grow past its group's edge, where it would be cut anyway.
    for (QCheckBox *box : findChildren<QCheckBox *>()) {
        const int room = box->parentWidget()->width() - box->x() - 3;
        box->resize(std::clamp(box->sizeHint().width(), box->width(), std::max(box->width(), room)), box->height());
    }
    // The modulo field and its button stand on the line of their caption, right after its text; where the text
    // runs longer than the design allows (the face is a little wider than the design's), they make room.
    QStyleOptionButton option;
    option.initFrom(ui->save_cntmod);
    option.text = ui->save_cntmod->text();
    const int textLeft = style()->subElementRect(QStyle::SE_CheckBoxContents, &option, ui->save_cntmod).left();
    const int textEnd = ui->save_cntmod->x() + textLeft
        + ui->save_cntmod->fontMetrics().horizontalAdvance(option.text.trimmed()) + kCaptionGap;
    const int shift = std::max(0, textEnd - kModuloFieldLeft);
    ui->edit_mod->move(kModuloFieldLeft + shift, ui->edit_mod->y());
    ui->BitBtn5->move(kModuloButtonLeft + shift, ui->BitBtn5->y());

    // An indicator caption runs straight into its name label where its text fills the design's room (English
    // in the narrow face): the name label moves right by what the text needs, keeping its right-hand edge.
    const struct {
        QLabel *caption;
        QLabel *name;
        int designLeft;
    } named[] = {{ui->Label9, ui->n1, kPositionNameLeft},  {ui->Label10, ui->n2, kPositionNameLeft},
                 {ui->Label1, ui->n3, kPositionNameLeft},  {ui->Label, ui->n4, kVelocityNameLeft},
                 {ui->Label12, ui->n5, kVelocityNameLeft}, {ui->Label2, ui->n6, kVelocityNameLeft}};
    for (const auto &[caption, name, designLeft] : named) {
        const int captionEnd = caption->x() + caption->contentsRect().left()
            + caption->fontMetrics().horizontalAdvance(caption->text()) + kCaptionGap;
        const int right = name->geometry().right();
        const int left = std::max(designLeft, captionEnd);
        name->setGeometry(left, name->y(), right - left + 1, name->height());
    }
}

void TFMain::fillChannelTables()
{
    using torvex::ConfigField;
    using torvex::ParamId;
    // Each table holds the controls of one parameter (of the output rules, one field), by channel.
    const auto fill = [this](auto &table, ParamId id, ConfigField field = ConfigField::Value) {
        using Control = std::remove_pointer_t<typename std::remove_reference_t<decltype(table)>::value_type>;
        for (const ConfigBinding &row : configBindings()) {
            if (row.id == id && row.field == field && row.channel < table.size())
                table[row.channel] = findChild<Control *>(QLatin1String(row.control));
        }
    };
    fill(encModeTable, ParamId::EncMode);
    fill(encClearTable, ParamId::EncClearByIndex);
    fill(encTimeTable, ParamId::EncGateTime);
    fill(encResolutionTable, ParamId::EncResolution);
    fill(encCoeffTable, ParamId::EncCoeff);
    fill(encOffsetTable, ParamId::EncOffset);
    fill(outSourceTable, ParamId::OutputRules, ConfigField::Source);
    fill(outConditionTable, ParamId::OutputRules, ConfigField::Condition);
    fill(outValueTable, ParamId::OutputRules, ConfigField::Threshold);
    fill(outStateTable, ParamId::OutputRules, ConfigField::State);
    fill(trigTypeTable, ParamId::TriggerRegisterType);
}

void TFMain::wireControls()
{
    using Button = QAbstractButton;
    const auto clicked = &Button::clicked;

    // Settings: names and units.
    wire(this, ui->BitBtn1, clicked, &TFMain::BitBtn1Click);
    wire(this, ui->BitBtn2, clicked, &TFMain::BitBtn2Click);
    wire(this, ui->BitBtn4, clicked, &TFMain::BitBtn4Click);
    wire(this, ui->BitBtn11, clicked, &TFMain::BitBtn11Click);
    wire(this, ui->BitBtn13, clicked, &TFMain::BitBtn13Click);
    wire(this, ui->BitBtn6, clicked, &TFMain::BitBtn6Click);

    // Language: every pick, also of the language already active.
    wire(this, ui->LangCombo1, &QComboBox::activated, &TFMain::LangCombo1Change);

    // Configuration: every Write and Read button of the binding table to its handler; the output sources to the
    // enable rule; the numeric fields' colour reset on a click (through eventFilter) and for some on a text change.
    for (const ConfigBinding &row : configBindings()) {
        if (row.writeButton) {
            auto *button = findChild<QAbstractButton *>(QLatin1String(row.writeButton));
            if (!button || (!row.write && !row.sharedWrite))
                throw std::logic_error(std::string("Write button without its control or handler: ") + row.writeButton);
            if (row.sharedWrite)
                wire(this, button, clicked, row.sharedWrite);
            else
                wire(this, button, clicked, row.write);
        }
        if (row.readButton) {
            auto *button = findChild<QAbstractButton *>(QLatin1String(row.readButton));
            if (!button || !row.read)
                throw std::logic_error(std::string("Read button without its control or handler: ") + row.readButton);
            wire(this, button, clicked, row.read);
        }
        if (!row.control)
            continue;
        QWidget *control = findChild<QWidget *>(QLatin1String(row.control));
        if (!control)
            throw std::logic_error(std::string("Configuration value without its control: ") + row.control);
        if (row.field == torvex::ConfigField::Source)
            wire(this, qobject_cast<QComboBox *>(control), &QComboBox::activated, &TFMain::out1_WChange);
        if (auto *field = qobject_cast<QLineEdit *>(control)) {
            if (row.resetsOnTextChange)
                wire(this, field, &QLineEdit::textChanged, &TFMain::enc_time_1Change);
            field->installEventFilter(this);
        }
    }
    wireListMarks();
    // The memo's text area is its viewport; clicks land there.
    ui->DebugMemo->viewport()->installEventFilter(this);

    // A signal to end the program closes the window as its close button does, without a box.
    new StopSignals([this](int) { closeUnattended(); }, this);

    // Logging.
    wire(this, ui->save_button, clicked, &TFMain::save_buttonClick);
    wire(this, ui->file_name_button, clicked, &TFMain::file_name_buttonClick);
    wire(this, ui->BitBtn5, clicked, &TFMain::BitBtn5Click);
    connect(ui->file_name_edit, &QLineEdit::textChanged, this, [this] { showLogFileTips(); });
    // The recorder stamps each measurement with the columns as they are when it comes.
    for (QCheckBox *box : logCheckBoxes())
        connect(box, &QCheckBox::toggled, this, [this] { pushLogLineSettings(); });
    pushLogLineSettings();

    // Chart.
    wire(this, ui->PlayButton, clicked, &TFMain::PlayButtonClick);
    wire(this, ui->ClearButton, clicked, &TFMain::ClearButtonClick);
    wire(this, ui->SaveChartButton, clicked, &TFMain::SaveChartButtonClick);
    // The legend's check boxes change what the settings file stores at close.
    connect(chartView(), &ChartView::seriesVisibilityToggled, this,
            [this](int index, bool visible) { chartSeriesVisible[size_t(index)] = visible; });
    applyChartSeriesTitles();
    connect(this, &TFMain::otherStringsChanged, this, &TFMain::applyChartSeriesTitles);

    // Timers.
    wire(this, FreqTimer, &QTimer::timeout, &TFMain::FreqTimerTimer);
    wire(this, UpdateDataTimer, &QTimer::timeout, &TFMain::UpdateDataTimerTimer);
    wire(this, ChartTimer, &QTimer::timeout, &TFMain::ChartTimerTimer);
    wire(this, SaveFileTimer, &QTimer::timeout, &TFMain::SaveFileTimerTimer);
}

bool TFMain::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        if (watched == ui->DebugMemo->viewport())
            torvex::runHandler([this] { DebugMemoClick(); });
        else if (qobject_cast<QLineEdit *>(watched))
            torvex::runHandler([this, watched] { enc_time_1Change(watched); });
    }
    return QMainWindow::eventFilter(watched, event);
}

void TFMain::startupStep(int step, const std::function<void()> &action)
{
    if (m_beforeStartupStep)
        m_beforeStartupStep(step);
    action();
}

void TFMain::FormCreate()
{
    startingUp = true;
    // An error ends the start-up at the failing step; the window still opens with the later steps not done.
    torvex::runHandler([this] {
        startupStep(1, [this] { ui->DebugMemo->hide(); });
        startupStep(2, [this] {
            ui->LangCombo1->setParent(ui->StatusBar);
            ui->LangCombo1->move(ui->StatusBar->width() - 115, 2);
            ui->LangCombo1->show();
            ui->LangCombo1->raise();
            // As a status bar's last part, panel 3 takes the room up to the picker: the logging texts need it.
            QLabel *last = statusPanel(kStatusPanelCount - 1);
            last->resize(ui->LangCombo1->x() - last->x(), last->height());
        });
        startupStep(3, [this] { fillChannelTables(); });
        startupStep(4, [this] { ui->PageControl1->setCurrentWidget(ui->TabSheet1); });
        startupStep(5, [this] {
            setWindowTitle(QStringLiteral("TORVEX PC [") + QStringLiteral("STANDARD") + QStringLiteral("] - ")
                           + QStringLiteral("1.01"));
        });
        startupStep(6, [this] { fixSettingsPath(); });
        startupStep(7, [this] { createDefaultSettingsIfMissing(); });
        startupStep(8, [this] { loadSettings(); });
        startupStep(9, [this] { hideChartTab(); });
        startupStep(10, [this] { loadLanguageIndex(); });
        startupStep(11, [this] { loadLoggingFlag(); });
        // Step 12 releases the settings object: every settings user opens and releases its own.
        startupStep(12, [] {});
        startupStep(13, [this] { ApplyLoggingState(); });
        startupStep(14, [this] {
            BitBtn1Click();
            BitBtn2Click();
            BitBtn4Click();
            BitBtn11Click();
            BitBtn13Click();
            BitBtn6Click();
        });
        startupStep(15, [this] { chartRunning = true; });
        startupStep(16, [this] { LangCombo1Change(); });
    });
    startingUp = false;
    // A rescue told only on standard error when the window last ended unattended is shown now.
    torvex::runHandler([this] { showEarlierLogRescue(); });
}

bool TFMain::FormCanResize(int, int) const { return false; }

void TFMain::FormClose()
{
    // Reading ends before the log closes, so that every report read from the instrument is in the log; one
    // handed over just now is still handled here.
    deviceLink.stop();
    // A failing settings write is reported, but the log file is still closed so no recorded line is lost.
    torvex::runHandler([this] { saveSettingsOnClose(); });
    torvex::runHandler([this] { closeLogFile(); });
}

void TFMain::closeEvent(QCloseEvent *event)
{
    FormClose();
    m_closed = true;
    event->accept();
}
