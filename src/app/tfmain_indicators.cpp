#include "tfmain.h"

#include "lamp_widget.h"
#include "measure/indicator_text.h"
#include "measure/value_text.h"

#include <string>
#include "string_table.h"
#include "ui_tfmain.h"

#include <QColor>
#include <QLocale>
#include <QTimer>

namespace {

const QColor kOutputActive(0, 0, 255);
const QColor kTriggerActive(0, 128, 0);
const QColor kInactive(192, 192, 192);

} // namespace

char TFMain::systemDecimalSeparator()
{
    return torvex::valueTextSeparator(QLocale::system().decimalPoint().toStdString());
}

void TFMain::UpdateDataTimerTimer()
{
    if (ui->PageControl1->currentWidget() != ui->TabSheet1)
        return;

    QLineEdit *const positionFields[torvex::kEncoderCount] = {ui->Edit1_encp1, ui->Edit1_encp2, ui->Edit1_encp3};
    QLineEdit *const velocityFields[torvex::kEncoderCount] = {ui->Edit1_encv1, ui->Edit1_encv2, ui->Edit1_encv3};
    const unsigned decimals = Measurement.DecimalPlaces;
    const std::string perMinute = idsText(u"IDS_153").toStdString();
    const std::string perSecond = idsText(u"IDS_154").toStdString();
    for (size_t n = 0; n < torvex::kEncoderCount; ++n) {
        const torvex::EncoderReading &encoder = Measurement.Encoders[n];
        const std::string unit = channelUnits[n].toStdString();
        positionFields[n]->setText(
            QString::fromStdString(torvex::positionFieldText(encoder, decimals, unit, decimalSeparator)));
        velocityFields[n]->setText(QString::fromStdString(
            torvex::velocityFieldText(encoder, decimals, unit, perMinute, perSecond, decimalSeparator)));
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

    ui->Edit_time->setText(QString::fromStdString(torvex::deviceTimeText(Measurement.DeviceClock)));
    ui->Edit_date->setText(QString::fromStdString(torvex::deviceDateText(Measurement.DeviceClock)));
}

void TFMain::FreqTimerTimer()
{
    setStatusPanelText(2,
                       QString::fromStdString(
                           torvex::rateText(ReceivedReportCount, uint32_t(FreqTimer->interval()), decimalSeparator)));
    ReceivedReportCount = 0;
}
