#include "chart_view.h"
#include "up_down_control.h"
#include "window_fixture.h"

#include <QComboBox>
#include <QFileInfo>
#include <QImage>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <gmock/gmock.h>

namespace {

class ChartWindowTest : public WindowFixture {
protected:
    ChartView *chart() { return control<ChartView>("Chart"); }

    void showChartPage()
    {
        auto *pages = control<QTabWidget>("PageControl1");
        pages->setCurrentWidget(control<QWidget>("TabSheet2"));
    }

    // What one measurement report leaves behind for the chart.
    void newSample(float base)
    {
        auto &m = window().Measurement;
        for (int k = 0; k < 3; ++k) {
            m.Encoders[k].Position = base + float(k);
            m.Encoders[k].Velocity = base + 10.0f + float(k);
        }
        m.NewSampleFlag = 255;
    }

    void setWidth(int seconds) { window().findChild<UpDownControl *>(QStringLiteral("UpDown"))->setValue(seconds); }
};

TEST_F(ChartWindowTest, PlotsOnePointPerSeriesPerTickAndScrollsPastTheWidth)
{
    showChartPage();
    setWidth(1);
    for (int tick = 0; tick < 15; ++tick) {
        newSample(100.0f + float(tick));
        window().ChartTimerTimer();
        EXPECT_EQ(window().Measurement.NewSampleFlag, 0);
        const QCPRange range = chart()->timeRange();
        const double t = (tick + 1) * 0.1;
        if (t > 1.0 + 1e-9) {
            EXPECT_NEAR(range.upper, t, 1e-9) << tick;
            EXPECT_NEAR(range.lower, t - 1.0, 1e-9) << tick;
        } else {
            EXPECT_DOUBLE_EQ(range.lower, 0.0) << tick;
            EXPECT_DOUBLE_EQ(range.upper, 1.0) << tick;
        }
    }
    for (int s = 0; s < ChartView::kSeriesCount; ++s)
        ASSERT_EQ(chart()->pointCount(s), 15);
    for (int i = 0; i < 15; ++i) {
        EXPECT_NEAR(chart()->point(0, i).x(), i * 0.1, 1e-9);
        EXPECT_DOUBLE_EQ(chart()->point(0, i).y(), 100.0 + i); // position of encoder 1
        EXPECT_DOUBLE_EQ(chart()->point(2, i).y(), 102.0 + i); // position of encoder 3
        EXPECT_DOUBLE_EQ(chart()->point(3, i).y(), 110.0 + i); // velocity of encoder 1
        EXPECT_DOUBLE_EQ(chart()->point(5, i).y(), 112.0 + i); // velocity of encoder 3
    }
}

TEST_F(ChartWindowTest, WidthChangedWhileRunningAppliesFromTheNextTick)
{
    showChartPage();
    setWidth(1);
    for (int tick = 0; tick < 20; ++tick) {
        newSample(1.0f);
        window().ChartTimerTimer();
    }
    EXPECT_NEAR(chart()->timeRange().lower, 1.0, 1e-9);
    setWidth(600);
    newSample(1.0f);
    window().ChartTimerTimer();
    EXPECT_DOUBLE_EQ(chart()->timeRange().lower, 0.0);
    EXPECT_DOUBLE_EQ(chart()->timeRange().upper, 600.0);
}

TEST_F(ChartWindowTest, NothingIsPlottedWithoutANewSampleOnAnotherPageOrWhilePaused)
{
    setWidth(1);
    // Another page on view: nothing, and the flag is left for later.
    newSample(5.0f);
    window().ChartTimerTimer();
    EXPECT_EQ(chart()->pointCount(0), 0);
    EXPECT_EQ(window().Measurement.NewSampleFlag, 255);

    showChartPage();
    window().ChartTimerTimer();
    EXPECT_EQ(chart()->pointCount(0), 1);
    // No report since the last tick (an instrument that is gone sends none): the time stands still.
    window().ChartTimerTimer();
    EXPECT_EQ(chart()->pointCount(0), 1);
    EXPECT_NEAR(window().chartTime, 0.1, 1e-12);

    click("PlayButton");
    EXPECT_EQ(control<QPushButton>("PlayButton")->text(), QStringLiteral("Uruchom wykres"));
    newSample(6.0f);
    newSample(7.0f);
    window().ChartTimerTimer();
    EXPECT_EQ(chart()->pointCount(0), 1);

    click("PlayButton");
    EXPECT_EQ(control<QPushButton>("PlayButton")->text(), QStringLiteral("Zatrzymaj wykres"));
    window().ChartTimerTimer();
    ASSERT_EQ(chart()->pointCount(0), 2);
    // Only the latest measurement of the pause is plotted, right at the next tick.
    EXPECT_DOUBLE_EQ(chart()->point(0, 1).y(), 7.0);
    EXPECT_NEAR(chart()->point(0, 1).x(), 0.1, 1e-12);
}

TEST_F(ChartWindowTest, ClearEmptiesEverySeriesAndRestartsTheTimeAtZero)
{
    showChartPage();
    setWidth(1);
    for (int tick = 0; tick < 12; ++tick) {
        newSample(2.0f);
        window().ChartTimerTimer();
    }
    const QCPRange before = chart()->timeRange();
    click("ClearButton");
    for (int s = 0; s < ChartView::kSeriesCount; ++s)
        EXPECT_EQ(chart()->pointCount(s), 0) << s;
    // The axis keeps its range until the next plotted tick.
    EXPECT_DOUBLE_EQ(chart()->timeRange().lower, before.lower);
    newSample(3.0f);
    window().ChartTimerTimer();
    EXPECT_DOUBLE_EQ(chart()->point(0, 0).x(), 0.0);
    EXPECT_DOUBLE_EQ(chart()->timeRange().lower, 0.0);
}

TEST_F(ChartWindowTest, HiddenSeriesKeepReceivingPointsAndVisibilityIsStoredAtClose)
{
    writeSettingsFile("[Options]\r\nChart2=0\r\nChart5=1\r\n");
    EXPECT_FALSE(chart()->seriesVisible(1));
    EXPECT_TRUE(chart()->seriesVisible(4));

    window().show();
    showChartPage();
    processEvents();
    chart()->replot();
    // Hide series 5 through its legend check box, as the user does.
    QTest::mouseClick(chart(), Qt::LeftButton, {}, chart()->legend->item(4)->rect().center());
    EXPECT_FALSE(chart()->seriesVisible(4));

    newSample(4.0f);
    window().ChartTimerTimer();
    EXPECT_EQ(chart()->pointCount(1), 1);
    EXPECT_EQ(chart()->pointCount(4), 1);

    closeWindow();
    const QByteArray file = readSettingsFile();
    EXPECT_THAT(file.toStdString(), testing::HasSubstr("Chart2=0"));
    EXPECT_THAT(file.toStdString(), testing::HasSubstr("Chart5=0"));
    EXPECT_THAT(file.toStdString(), testing::HasSubstr("Chart1=1"));
}

TEST_F(ChartWindowTest, SavedBitmapHasTheChartsSize)
{
    const QString path = tempPath(QStringLiteral("chart.bmp"));
    window().saveDialogBitmapHook = [&] { return path; };
    window().show();
    showChartPage();
    click("SaveChartButton");
    EXPECT_THAT(errors(), testing::IsEmpty());
    QImage image(path, "BMP");
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), chart()->size());
}

TEST_F(ChartWindowTest, UnwritablePathShowsTheErrorAndWritesNothing)
{
    QFile blocker(tempPath(QStringLiteral("not-a-folder")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString path = tempPath(QStringLiteral("not-a-folder/chart.bmp"));
    window().saveDialogBitmapHook = [&] { return path; };
    showChartPage();
    newSample(1.0f);
    window().ChartTimerTimer();

    click("SaveChartButton");
    ASSERT_EQ(errors().size(), 1);
    EXPECT_TRUE(errors().constFirst().contains(path)) << errors().constFirst().toStdString();
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_EQ(chart()->pointCount(0), 1);
}

TEST_F(ChartWindowTest, CancelledDialogDoesNothing)
{
    window().saveDialogBitmapHook = [] { return QString(); };
    click("SaveChartButton");
    EXPECT_THAT(errors(), testing::IsEmpty());
}

} // namespace

namespace {

TEST_F(ChartWindowTest, SeriesTitlesFollowTheLanguage)
{
    EXPECT_EQ(chart()->seriesTitle(0), QStringLiteral("pozycja ENKODER 1"));
    EXPECT_EQ(chart()->seriesTitle(5), QStringLiteral("prędkość ENKODER3"));
    auto *picker = control<QComboBox>("LangCombo1");
    picker->setCurrentIndex(1);
    window().LangCombo1Change();
    EXPECT_EQ(chart()->seriesTitle(3), QStringLiteral("velocity ENCODER 1"));
    EXPECT_EQ(chart()->seriesTitle(5), QStringLiteral("velocity ENCODER 3"));
    // The axis titles stay Polish.
    EXPECT_EQ(chart()->xAxis->label(), QStringLiteral("Czas [s]"));
    picker->setCurrentIndex(0);
    window().LangCombo1Change();
    EXPECT_EQ(chart()->seriesTitle(3), QStringLiteral("prędkość ENKODER 1"));
}

} // namespace
