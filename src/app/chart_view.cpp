#include "chart_view.h"

#include <QImageWriter>
#include <QSaveFile>

namespace {

// navy, maroon, olive for the positions; lime, aqua, purple for the velocities.
const std::array<QColor, ChartView::kSeriesCount> kSeriesColours{
    QColor(0, 0, 128), QColor(128, 0, 0),   QColor(128, 128, 0),
    QColor(0, 255, 0), QColor(0, 255, 255), QColor(128, 0, 128),
};

constexpr double kValueAxisLower = 19.44052204768016;
constexpr double kValueAxisUpper = 1755.576476449486;

// A legend entry with a check box in front: the box shows and toggles whether the series is drawn.
class CheckableLegendItem : public QCPPlottableLegendItem {
public:
    CheckableLegendItem(QCPLegend *legend, QCPAbstractPlottable *plottable) : QCPPlottableLegendItem(legend, plottable)
    {
    }

protected:
    static constexpr int kBox = 11;
    static constexpr int kGap = 4;

    void draw(QCPPainter *painter) override
    {
        if (!mPlottable)
            return;
        const QSize icon = mParentLegend->iconSize();
        const QRect box(mRect.x(), mRect.y() + (mRect.height() - kBox) / 2, kBox, kBox);

        painter->setPen(QPen(QColor(64, 64, 64), 1));
        painter->setBrush(Qt::white);
        painter->drawRect(box);
        if (mPlottable->visible()) {
            painter->setPen(QPen(Qt::black, 1.5));
            painter->drawLine(QPointF(box.left() + 2.5, box.center().y() + 0.5),
                              QPointF(box.left() + 4.5, box.bottom() - 2.5));
            painter->drawLine(QPointF(box.left() + 4.5, box.bottom() - 2.5), QPointF(box.right() - 2, box.top() + 2.5));
        }

        const QRect iconRect(QPoint(box.right() + kGap + 1, mRect.y() + (mRect.height() - icon.height()) / 2), icon);
        painter->setPen(QPen(mPlottable->pen().color(), 1));
        painter->drawLine(QPointF(iconRect.left(), iconRect.center().y() + 0.5),
                          QPointF(iconRect.right(), iconRect.center().y() + 0.5));

        painter->setFont(getFont());
        painter->setPen(QPen(getTextColor()));
        const int textLeft = iconRect.right() + mParentLegend->iconTextPadding();
        painter->drawText(QRect(textLeft, mRect.y(), mRect.right() - textLeft + 1, mRect.height()),
                          Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip, mPlottable->name());
    }

    QSize minimumOuterSizeHint() const override
    {
        if (!mPlottable)
            return {};
        const QSize icon = mParentLegend->iconSize();
        const QFontMetrics metrics(getFont());
        const QRect text = metrics.boundingRect(0, 0, 0, icon.height(), Qt::TextDontClip, mPlottable->name());
        return {kBox + kGap + icon.width() + mParentLegend->iconTextPadding() + text.width() + mMargins.left()
                    + mMargins.right(),
                qMax(qMax(text.height(), icon.height()), kBox) + mMargins.top() + mMargins.bottom()};
    }
};

} // namespace

ChartView::ChartView(QWidget *parent) : QCustomPlot(parent)
{
    setObjectName(QStringLiteral("Chart"));
    // Thin pens keep the fast polyline path; wider ones cost hundreds of milliseconds per tick at long histories.
    setPlottingHint(QCP::phFastPolylines, true);

    // The axis titles stay Polish in every language.
    xAxis->setLabel(QStringLiteral("Czas [s]"));
    yAxis->setLabel(QStringLiteral("Wartość"));
    yAxis->setRange(kValueAxisLower, kValueAxisUpper);
    xAxis->setRange(0, 1);

    legend->setVisible(true);
    legend->setFillOrder(QCPLegend::foColumnsFirst);
    legend->setWrap(3);
    legend->setIconSize(18, 9);
    // Below the plot, across its width.
    plotLayout()->addElement(1, 0, legend);
    plotLayout()->setRowStretchFactor(1, 0.001);
    legend->setMargins(QMargins(4, 2, 4, 2));

    for (int i = 0; i < kSeriesCount; ++i) {
        QCPGraph *graph = addGraph(xAxis, yAxis);
        graph->setPen(QPen(kSeriesColours[size_t(i)], 1));
        graph->setLineStyle(QCPGraph::lsLine);
        graph->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssNone));
        graph->setAdaptiveSampling(true);
        m_graphs[size_t(i)] = graph;
        legend->removeItem(legend->itemWithPlottable(graph));
        legend->addItem(new CheckableLegendItem(legend, graph));
    }

    connect(this, &QCustomPlot::legendClick, this, [this](QCPLegend *, QCPAbstractLegendItem *item, QMouseEvent *) {
        auto *entry = qobject_cast<QCPPlottableLegendItem *>(item);
        if (!entry)
            return;
        for (int i = 0; i < kSeriesCount; ++i) {
            if (m_graphs[size_t(i)] == entry->plottable()) {
                setSeriesVisible(i, !seriesVisible(i));
                emit seriesVisibilityToggled(i, seriesVisible(i));
                return;
            }
        }
    });
}

QCPGraph *ChartView::graphAt(int index) const
{
    Q_ASSERT(index >= 0 && index < kSeriesCount);
    return m_graphs[size_t(index)];
}

void ChartView::setSeriesTitle(int index, const QString &title)
{
    if (graphAt(index)->name() == title)
        return;
    graphAt(index)->setName(title);
    replot(rpQueuedReplot);
}

QString ChartView::seriesTitle(int index) const { return graphAt(index)->name(); }

QColor ChartView::seriesColor(int index) const { return graphAt(index)->pen().color(); }

void ChartView::setSeriesVisible(int index, bool visible)
{
    graphAt(index)->setVisible(visible);
    replot(rpQueuedReplot);
}

bool ChartView::seriesVisible(int index) const { return graphAt(index)->visible(); }

int ChartView::pointCount(int index) const { return graphAt(index)->dataCount(); }

QPointF ChartView::point(int index, int i) const
{
    const auto it = graphAt(index)->data()->at(i);
    return {it->key, it->value};
}

void ChartView::addPoint(int index, double x, double y) { graphAt(index)->addData(x, y); }

void ChartView::clearPoints()
{
    for (QCPGraph *graph : m_graphs)
        graph->data()->clear();
    replot(rpQueuedReplot);
}

void ChartView::setTimeRange(double lower, double upper)
{
    xAxis->setRange(lower, upper);
    replot(rpQueuedReplot);
}

QCPRange ChartView::timeRange() const { return xAxis->range(); }

QCPRange ChartView::valueRange() const { return yAxis->range(); }

QString ChartView::saveBitmap(const QString &path)
{
    const QImage image = toPixmap(width(), height()).toImage();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    QImageWriter writer(&file, "bmp");
    if (!writer.write(image)) {
        file.cancelWriting();
        return writer.errorString();
    }
    if (!file.commit())
        return file.errorString();
    return {};
}
