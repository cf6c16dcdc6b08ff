// The statistics window's chart, drawn by the plot window's painter (CChartPainter): bytes and
// telegrams per second each way, the response time second by second, and how the response times
// spread with their p50 and p99 marked; axes with ticks, grid lines and plain numbers with units, a
// legend, and a readout of the figures under the mouse. It draws the picture it was handed last; the
// window hands it one at most ten times a second (none while paused), so traffic never waits for it.
#pragma once

#include "display/ui/cchartpainter.h"
#include "session/ctrafficstats.h"

#include <QPoint>
#include <QStringList>
#include <QWidget>

#include <utility>
#include <vector>

class CTrafficChart : public QWidget
{
    Q_OBJECT
public:
    struct Picture
    {
        std::vector<CTrafficStats::Second> seconds;  // the whole seconds shown, oldest first
        int span = 60;                                // seconds the time axis spans
        // The response-time histogram: (bucket's lower bound in µs, count), buckets with a count only.
        std::vector<std::pair<qint64, qint64>> histogram;
        qint64 p50 = 0;  // the response times' percentiles in µs (0: none timed)
        qint64 p99 = 0;
        // The names of the two count series (a relay's: its directions).
        QString inName = QStringLiteral("受信");
        QString outName = QStringLiteral("送信");
    };
    enum Panel { PanelBytes, PanelTelegrams, PanelResponse, PanelSpread, kPanels };

    explicit CTrafficChart(QWidget *parent = nullptr);

    void SetPicture(Picture picture);
    const Picture &Shown() const { return m_picture; }
    QSize sizeHint() const override { return {640, 360}; }

    // The plot rectangle of a panel at the widget's size.
    QRect PlotOf(Panel panel) const;
    // What the readout says at `at`: for a time panel the second ("12秒前") and each line's value
    // ("受信 = 5,000 B/s"), for the spread the bin's range and count and the percentiles; empty
    // outside the plots.
    QStringList ReadoutAt(const QPoint &at) const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    struct Series
    {
        QString name;
        QColor colour;
        qreal width;
        Qt::PenStyle style;
        std::vector<double> values;  // one per second, aligned with the picture's last second; NaN: none
    };
    // The lines of a time panel and its value axis (range, unit).
    std::vector<Series> SeriesOf(Panel panel) const;
    CChartPainter::Axis AxisOf(Panel panel, const std::vector<Series> &series) const;
    // The spread: counts in bins of equal width on a logarithmic axis of µs from `low` to `high`.
    struct Spread
    {
        double low = 1.0;
        double high = 10.0;
        std::vector<qint64> bins;
        qint64 most = 0;
    };
    Spread SpreadOf() const;
    CChartPainter::Axis SpreadAxis(const Spread &spread) const;
    // The x of `micros` on the spread's axis, as a fraction of the plot's width.
    static double SpreadFraction(const Spread &spread, double micros);
    QRect AreaOf(Panel panel) const;
    QRect PlotIn(const QRect &area, const CChartPainter::Axis &axis) const;

    void DrawTimePanel(CChartPainter &chart, QPainter &painter, Panel panel, const QString &title) const;
    void DrawSpread(CChartPainter &chart, QPainter &painter) const;
    QStringList TimeReadout(Panel panel, const QRect &plot, const QPoint &at) const;
    QStringList SpreadReadout(const QRect &plot, const QPoint &at) const;

    Picture m_picture;
    QPoint m_mouse{-1, -1};
};
