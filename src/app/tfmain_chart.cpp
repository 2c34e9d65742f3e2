#include "tfmain.h"

#include "chart_view.h"
#include "language.h"
#include "string_table.h"
#include "ui_tfmain.h"

#include <QFileDialog>
#include <QTimer>

#include <stdexcept>

static_assert(ChartView::kSeriesCount == torvex::kChartKeys.size(), "one settings key per chart series");

ChartView *TFMain::chartView() const { return ui->Chart; }

void TFMain::applyChartSeriesTitles()
{
    for (int i = 0; i < ChartView::kSeriesCount; ++i)
        chartView()->setSeriesTitle(i, otherText(QStringLiteral("Series%1.Title").arg(i + 1)));
}

void TFMain::applyChartSeriesVisibility()
{
    for (int i = 0; i < ChartView::kSeriesCount; ++i)
        chartView()->setSeriesVisible(i, chartSeriesVisible[size_t(i)]);
}

void TFMain::ChartTimerTimer()
{
    if (ui->PageControl1->currentWidget() != ui->TabSheet2 || !chartRunning || Measurement.NewSampleFlag == 0)
        return;

    ChartView *chart = chartView();
    for (int k = 0; k < torvex::kEncoderCount; ++k) {
        // Hidden series take their points too, so showing one again leaves no gap.
        chart->addPoint(k, chartTime, double(Measurement.Encoders[k].Position));
        chart->addPoint(k + torvex::kEncoderCount, chartTime, double(Measurement.Encoders[k].Velocity));
    }
    chartTime += ChartTimer->interval() * 0.001;

    const int width = ui->UpDown->value();
    if (chartTime > width)
        chart->setTimeRange(chartTime - width, chartTime);
    else
        chart->setTimeRange(0, width);
    Measurement.NewSampleFlag = 0;
}

void TFMain::PlayButtonClick()
{
    // The caption tells the state, compared in the active language as the button shows it.
    if (ui->PlayButton->text() == idsText(u"IDS_231")) {
        chartRunning = true;
        ui->PlayButton->setText(idsText(u"IDS_232"));
    } else {
        chartRunning = false;
        ui->PlayButton->setText(idsText(u"IDS_231"));
    }
}

void TFMain::ClearButtonClick()
{
    chartView()->clearPoints();
    chartTime = 0.0;
}

void TFMain::SaveChartButtonClick()
{
    QString path;
    if (saveDialogBitmapHook) {
        path = saveDialogBitmapHook();
    } else {
        QFileDialog dialog(this, otherText(u"SaveDialogBitmap.Title"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setNameFilters(fileDialogNameFilters(otherText(u"SaveDialogBitmap.Filter")));
        // Qt wants the bare suffix; "*.bmp" would give names like "x.*.bmp".
        dialog.setDefaultSuffix(QStringLiteral("bmp"));
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            path = dialog.selectedFiles().constFirst();
    }
    if (path.isEmpty())
        return;

    const QString reason = chartView()->saveBitmap(path);
    if (!reason.isEmpty())
        throw std::runtime_error(QStringLiteral("Cannot create file \"%1\". %2").arg(path, reason).toStdString());
}
