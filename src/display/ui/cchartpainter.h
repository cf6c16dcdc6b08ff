// The drawing both charts share (the plot window's and the statistics window's): value axes with
// ticks, grid lines and plain-number labels with their unit, a time axis, a legend, a series drawn
// from its pixel columns, and a readout box.
#pragma once

#include "display/cchartscale.h"

#include <QColor>
#include <QFontMetrics>
#include <QPen>
#include <QPointF>
#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>
#include <utility>
#include <vector>

class QPainter;
class QWidget;

class CChartPainter
{
public:
    struct Entry
    {
        QString name;
        QColor colour;
        Qt::PenStyle style = Qt::SolidLine;
        qreal width = 2.0;
    };
    // A value axis: its range, unit and colour (the colour of its series when it holds one kind).
    struct Axis
    {
        double low = 0.0;
        double high = 1.0;
        QString unit;
        QColor colour = Qt::black;
        // The labels divided by a power of a thousand (millions up) and the unit prefixed: "1.5" "MB/s".
        bool metric = false;
    };

    CChartPainter(QPainter &painter, const QFontMetrics &metrics);

    // Makes `widget` a chart's canvas: white, at least 320 × 200, following the mouse for the readout.
    static void SetUpCanvas(QWidget *widget);

    // Room an axis's labels take beside the plot.
    static int AxisWidth(const QFontMetrics &metrics, const Axis &axis);
    int LineHeight() const { return m_metrics.height(); }

    // Ticks and labels of `axis` on the left (`left`) or right of `plot`, `offset` pixels out from it;
    // with `grid` the tick lines go across the plot.
    void DrawValueAxis(const QRect &plot, const Axis &axis, bool left, int offset, bool grid);
    // A horizontal axis under the plot: times of day (microseconds since the epoch) or, with
    // `label` given, plain numbers formatted by it.
    void DrawTimeAxis(const QRect &plot, qint64 low, qint64 high, bool grid);
    void DrawNumberAxis(const QRect &plot, double low, double high, const std::function<QString(double, double)> &label,
                        bool grid);
    // Ticks under the plot at fractions of its width (0 left, 1 right), each with its label.
    void DrawBottomTicks(const QRect &plot, const std::vector<std::pair<double, QString>> &ticks, bool grid);
    // The frame around the plot.
    void DrawFrame(const QRect &plot);
    // The entries in a row from `at` (their line samples and names); returns the width taken.
    int DrawLegend(const QPoint &at, const std::vector<Entry> &entries);
    // Pixel columns of a series in `plot` scaled to `axis`, joined in order.
    void DrawColumns(const QRect &plot, const std::vector<CChartScale::Column> &columns, const Axis &axis, const QPen &pen);
    // A line through the points (x in [xLow, xHigh] across the plot, y on `axis`), broken where y is
    // not a number.
    void DrawPoints(const QRect &plot, double xLow, double xHigh, const std::vector<QPointF> &points, const Axis &axis,
                    const QPen &pen);
    // A box of lines next to `at`, kept inside `bounds`.
    void DrawReadout(const QPoint &at, const QStringList &lines, const QRect &bounds);

    static int Y(const QRect &plot, const Axis &axis, double value);

private:
    QPainter &m_painter;
    QFontMetrics m_metrics;
};
