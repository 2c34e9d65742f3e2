#include "chart_view.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QImage>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>

TEST(ChartView, SeriesHaveTheirColoursNoMarksAndThinPens)
{
    ChartView chart;
    const QColor expected[] = {{0, 0, 128}, {128, 0, 0}, {128, 128, 0}, {0, 255, 0}, {0, 255, 255}, {128, 0, 128}};
    for (int i = 0; i < ChartView::kSeriesCount; ++i) {
        EXPECT_EQ(chart.seriesColor(i), expected[i]) << i;
        EXPECT_EQ(chart.graph(i)->pen().widthF(), 1.0);
        EXPECT_EQ(chart.graph(i)->scatterStyle().shape(), QCPScatterStyle::ssNone);
    }
    EXPECT_EQ(chart.xAxis->label(), QStringLiteral("Czas [s]"));
    EXPECT_EQ(chart.yAxis->label(), QStringLiteral("Wartość"));
    EXPECT_DOUBLE_EQ(chart.valueRange().lower, 19.44052204768016);
    EXPECT_DOUBLE_EQ(chart.valueRange().upper, 1755.576476449486);
}

TEST(ChartView, ClickOnLegendEntryTogglesItsSeriesOnly)
{
    ChartView chart;
    chart.resize(697, 438);
    chart.show();
    chart.replot();
    QCPAbstractLegendItem *entry = chart.legend->item(2);
    ASSERT_NE(entry, nullptr);
    const QPoint at = entry->rect().center();

    int toggled = -1;
    bool toggledTo = true;
    QObject::connect(&chart, &ChartView::seriesVisibilityToggled, [&](int index, bool visible) {
        toggled = index;
        toggledTo = visible;
    });
    QTest::mouseClick(&chart, Qt::LeftButton, {}, at);
    EXPECT_EQ(toggled, 2);
    EXPECT_FALSE(toggledTo);
    EXPECT_FALSE(chart.seriesVisible(2));
    for (int i : {0, 1, 3, 4, 5})
        EXPECT_TRUE(chart.seriesVisible(i)) << i;

    QTest::mouseClick(&chart, Qt::LeftButton, {}, at);
    EXPECT_TRUE(chart.seriesVisible(2));
}

TEST(ChartView, BitmapHasTheOnScreenSizeAndReplacesAnOldFile)
{
    QTemporaryDir dir;
    ChartView chart;
    chart.resize(697, 438);
    const QString path = dir.filePath(QStringLiteral("chart.bmp"));
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(100000, 'x'));
    }
    EXPECT_EQ(chart.saveBitmap(path), QString());
    QImage image(path, "BMP");
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(697, 438));
}

TEST(ChartView, UnwritablePathGivesReasonAndNoFile)
{
    QTemporaryDir dir;
    ChartView chart;
    chart.resize(200, 100);
    // A folder below a regular file cannot exist, whoever runs the test.
    QFile blocker(dir.filePath(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString path = dir.filePath(QStringLiteral("file/chart.bmp"));
    EXPECT_FALSE(chart.saveBitmap(path).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(path));
}
