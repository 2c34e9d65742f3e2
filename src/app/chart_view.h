#pragma once

#include <qcustomplot.h>

#include <QColor>
#include <QString>

#include <array>

// The live chart: six line series over a time axis, a legend below the plot with a check box in front of each
// series, and export to a BMP file. QCustomPlot draws only the visible key range of sorted data, so a tick
// stays cheap however long the history grows.
class ChartView : public QCustomPlot {
    Q_OBJECT

public:
    static constexpr int kSeriesCount = 6;

    explicit ChartView(QWidget *parent = nullptr);

    void setSeriesTitle(int index, const QString &title);
    QString seriesTitle(int index) const;
    QColor seriesColor(int index) const;
    void setSeriesVisible(int index, bool visible);
    bool seriesVisible(int index) const;
    int pointCount(int index) const;
    // The x and y of point i of a series (for tests and the benchmark's checks).
    QPointF point(int index, int i) const;

    // x values must arrive in ascending order; the series' data container then appends in O(1).
    void addPoint(int index, double x, double y);
    void clearPoints();
    void setTimeRange(double lower, double upper);
    QCPRange timeRange() const;
    QCPRange valueRange() const;

    // Draws the chart at its on-screen size and writes it as a BMP file, replacing an existing one. Writes to a
    // temporary file first so a failure leaves neither a partial file nor a damaged older one. Returns an empty
    // text on success, else the system's reason.
    QString saveBitmap(const QString &path);

signals:
    void seriesVisibilityToggled(int index, bool visible);

private:
    QCPGraph *graphAt(int index) const;
    std::array<QCPGraph *, kSeriesCount> m_graphs{};
};
