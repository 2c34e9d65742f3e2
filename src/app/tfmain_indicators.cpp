#include "tfmain.h"

#include "lamp_widget.h"
#include "measure/indicator_text.h"
#include "measure/value_text.h"
#include "periodic_text.h"
#include "string_table.h"
#include "ui_tfmain.h"

#include <QColor>
#include <QLocale>
#include <QTimer>

namespace {

const QColor kOutputActive(0, 0, 255);
const QColor kTriggerActive(0, 128, 0);
const QColor kInactive(192, 192, 192);

QString valueQText(float value, unsigned decimals, char separator)
{
    char text[torvex::kValueTextCapacity];
    return QString::fromLatin1(text, qsizetype(torvex::formatValueText(text, value, decimals, separator)));
}

} // namespace

char TFMain::systemDecimalSeparator()
{
    // The value texts go into a single-byte log file as well; a separator outside ASCII cannot, so use '.'.
    const QString point = QLocale::system().decimalPoint();
    if (point.size() == 1 && point.at(0).unicode() > 0x20 && point.at(0).unicode() < 0x7F)
        return char(point.at(0).unicode());
    return '.';
}

void TFMain::UpdateDataTimerTimer()
{
    if (ui->PageControl1->currentWidget() != ui->TabSheet1)
        return;

    QLineEdit *const positionFields[3] = {ui->Edit1_encp1, ui->Edit1_encp2, ui->Edit1_encp3};
    QLineEdit *const velocityFields[3] = {ui->Edit1_encv1, ui->Edit1_encv2, ui->Edit1_encv3};
    const unsigned decimals = Measurement.DecimalPlaces;
    for (size_t n = 0; n < 3; ++n) {
        const torvex::EncoderReading &encoder = Measurement.Encoders[n];
        const QString unitOpening =
            QStringLiteral(" [") + (channelUnits[n].isEmpty() ? QStringLiteral("...") : channelUnits[n]);
        showPeriodicText(positionFields[n],
                         QLatin1Char(' ') + valueQText(encoder.Position, decimals, decimalSeparator) + unitOpening
                             + QLatin1Char(']'));
        const QString timeBase = idsText(encoder.PerMinute != 0 ? u"IDS_153" : u"IDS_154");
        showPeriodicText(velocityFields[n],
                         QLatin1Char(' ') + valueQText(encoder.Velocity, decimals, decimalSeparator) + unitOpening
                             + QLatin1Char('/') + timeBase + QLatin1Char(']'));
    }

    const uint8_t io = Measurement.IoStates;
    const std::pair<LampWidget *, uint8_t> outputs[] = {{ui->Shape1, torvex::kIoOut1},
                                                        {ui->Shape2, torvex::kIoOut2},
                                                        {ui->Shape3, torvex::kIoOut3},
                                                        {ui->Shape4, torvex::kIoOut4}};
    for (auto [lamp, bit] : outputs)
        lamp->setBrushColor((io & bit) != 0 ? kOutputActive : kInactive);
    ui->Shape7->setBrushColor((io & torvex::kIoTrig1) != 0 ? kTriggerActive : kInactive);
    ui->Shape8->setBrushColor((io & torvex::kIoTrig2) != 0 ? kTriggerActive : kInactive);

    showPeriodicText(ui->Edit_time, QString::fromStdString(torvex::deviceTimeText(Measurement.DeviceClock)));
    showPeriodicText(ui->Edit_date, QString::fromStdString(torvex::deviceDateText(Measurement.DeviceClock)));
}

void TFMain::FreqTimerTimer()
{
    setStatusPanelText(2,
                       QString::fromStdString(
                           torvex::rateText(ReceivedReportCount, uint32_t(FreqTimer->interval()), decimalSeparator)));
    ReceivedReportCount = 0;
}
