#include "display/ui/cchartpainter.h"

#include <QPainter>
#include <QPainterPath>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace {

const QColor kGrid(0xe4, 0xe4, 0xe4);
const QColor kFrame(0xa0, 0xa0, 0xa0);
constexpr int kTick = 4;

// The axis's labels as shown: its range divided by the prefix's factor, and the unit with the prefix.
struct Labels
{
    double factor = 1.0;
    QString unit;
};

Labels LabelsOf(const CChartPainter::Axis &axis)
{
    Labels labels;
    QString prefix;
    if (axis.metric)
        labels.factor = CChartScale::Prefix(std::max(std::fabs(axis.low), std::fabs(axis.high)), &prefix);
    labels.unit = axis.unit.isEmpty() ? QString() : prefix + axis.unit;
    return labels;
}

}  // namespace

CChartPainter::CChartPainter(QPainter &painter, const QFontMetrics &metrics) : m_painter(painter), m_metrics(metrics) {}

void CChartPainter::SetUpCanvas(QWidget *widget)
{
    widget->setMinimumSize(320, 200);
    widget->setAutoFillBackground(true);
    QPalette colours = widget->palette();
    colours.setColor(QPalette::Window, Qt::white);
    widget->setPalette(colours);
    widget->setMouseTracking(true);
}

int CChartPainter::Y(const QRect &plot, const Axis &axis, double value)
{
    const double span = axis.high - axis.low;
    const double f = span > 0.0 ? (value - axis.low) / span : 0.5;
    return plot.bottom() - int(std::lround(std::clamp(f, -1.0, 2.0) * plot.height()));
}

int CChartPainter::AxisWidth(const QFontMetrics &metrics, const Axis &axis)
{
    const Labels labels = LabelsOf(axis);
    double step = 0.0;
    int widest = 0;
    for (double tick : CChartScale::Ticks(axis.low / labels.factor, axis.high / labels.factor, 6, &step))
        widest = std::max(widest, metrics.horizontalAdvance(CChartScale::Number(tick, step)));
    widest = std::max(widest, metrics.horizontalAdvance(labels.unit));
    return widest + kTick + 6;
}

void CChartPainter::DrawValueAxis(const QRect &plot, const Axis &axis, bool left, int offset, bool grid)
{
    const int most = std::max(2, plot.height() / (m_metrics.height() * 2));
    const Labels labels = LabelsOf(axis);
    double step = 0.0;
    const std::vector<double> ticks = CChartScale::Ticks(axis.low / labels.factor, axis.high / labels.factor, most, &step);
    const int x = left ? plot.left() - offset : plot.right() + offset;
    m_painter.setPen(axis.colour);
    m_painter.drawLine(x, plot.top(), x, plot.bottom());
    for (double tick : ticks) {
        const int y = Y(plot, axis, tick * labels.factor);
        if (grid) {
            m_painter.setPen(kGrid);
            m_painter.drawLine(plot.left() + 1, y, plot.right() - 1, y);
        }
        m_painter.setPen(axis.colour);
        m_painter.drawLine(left ? x - kTick : x, y, left ? x : x + kTick, y);
        const QString text = CChartScale::Number(tick, step);
        const int w = m_metrics.horizontalAdvance(text);
        const int baseline = y + m_metrics.ascent() / 2 - 1;
        m_painter.drawText(left ? x - kTick - 2 - w : x + kTick + 2, baseline, text);
    }
    // The unit above the axis.
    if (!labels.unit.isEmpty()) {
        const int w = m_metrics.horizontalAdvance(labels.unit);
        m_painter.drawText(left ? std::max(0, x - w) : x, plot.top() - m_metrics.descent() - 2, labels.unit);
    }
}

void CChartPainter::DrawTimeAxis(const QRect &plot, qint64 low, qint64 high, bool grid)
{
    const int most = std::max(2, plot.width() / (m_metrics.horizontalAdvance(QStringLiteral("00:00:00.000")) + 16));
    qint64 step = 0;
    const std::vector<qint64> ticks = CChartScale::TimeTicks(low, high, most, &step);
    const double span = double(high - low);
    for (qint64 tick : ticks) {
        const int x = plot.left() + int(double(tick - low) / span * plot.width());
        if (grid) {
            m_painter.setPen(kGrid);
            m_painter.drawLine(x, plot.top() + 1, x, plot.bottom() - 1);
        }
        m_painter.setPen(Qt::black);
        m_painter.drawLine(x, plot.bottom(), x, plot.bottom() + kTick);
        const QString text = CChartScale::TimeText(tick, step);
        m_painter.drawText(x - m_metrics.horizontalAdvance(text) / 2, plot.bottom() + kTick + m_metrics.ascent() + 1, text);
    }
}

void CChartPainter::DrawNumberAxis(const QRect &plot, double low, double high,
                                   const std::function<QString(double, double)> &label, bool grid)
{
    const int most = std::max(2, plot.width() / (m_metrics.horizontalAdvance(QStringLiteral("00000 ms")) + 12));
    double step = 0.0;
    std::vector<std::pair<double, QString>> ticks;
    for (double tick : CChartScale::Ticks(low, high, most, &step))
        ticks.emplace_back((tick - low) / (high - low), label(tick, step));
    DrawBottomTicks(plot, ticks, grid);
}

void CChartPainter::DrawBottomTicks(const QRect &plot, const std::vector<std::pair<double, QString>> &ticks, bool grid)
{
    for (const auto &[fraction, text] : ticks) {
        const int x = plot.left() + int(fraction * plot.width());
        if (grid) {
            m_painter.setPen(kGrid);
            m_painter.drawLine(x, plot.top() + 1, x, plot.bottom() - 1);
        }
        m_painter.setPen(Qt::black);
        m_painter.drawLine(x, plot.bottom(), x, plot.bottom() + kTick);
        const int w = m_metrics.horizontalAdvance(text);
        const int left = std::clamp(x - w / 2, plot.left() - w / 2, plot.right() - w / 2);
        m_painter.drawText(left, plot.bottom() + kTick + m_metrics.ascent() + 1, text);
    }
}

void CChartPainter::DrawFrame(const QRect &plot)
{
    m_painter.setPen(kFrame);
    m_painter.setBrush(Qt::NoBrush);
    m_painter.drawRect(plot);
}

int CChartPainter::DrawLegend(const QPoint &at, const std::vector<Entry> &entries)
{
    int x = at.x();
    const int middle = at.y() + m_metrics.height() / 2;
    for (const Entry &entry : entries) {
        m_painter.setPen(QPen(entry.colour, entry.width, entry.style));
        m_painter.drawLine(x, middle, x + 18, middle);
        m_painter.setPen(Qt::black);
        m_painter.drawText(x + 22, at.y() + m_metrics.ascent(), entry.name);
        x += 22 + m_metrics.horizontalAdvance(entry.name) + 12;
    }
    return x - at.x();
}

void CChartPainter::DrawColumns(const QRect &plot, const std::vector<CChartScale::Column> &columns, const Axis &axis,
                                const QPen &pen)
{
    m_painter.save();
    m_painter.setClipRect(plot.adjusted(1, 1, 0, 0));
    m_painter.setPen(pen);
    const int n = int(columns.size());
    QPainterPath path;
    bool started = false;
    for (int i = 0; i < n; ++i) {
        const CChartScale::Column &c = columns[size_t(i)];
        if (!c.any)
            continue;
        const double x = plot.left() + (i + 0.5) * double(plot.width()) / std::max(1, n);
        const int first = Y(plot, axis, c.first);
        if (started)
            path.lineTo(x, first);
        else
            path.moveTo(x, first);
        started = true;
        if (c.min != c.max) {
            // Every value of the column: a vertical stroke from the lowest to the highest.
            path.moveTo(x, Y(plot, axis, c.min));
            path.lineTo(x, Y(plot, axis, c.max));
        }
        path.moveTo(x, Y(plot, axis, c.last));
    }
    m_painter.drawPath(path);
    m_painter.restore();
}

void CChartPainter::DrawPoints(const QRect &plot, double xLow, double xHigh, const std::vector<QPointF> &points,
                               const Axis &axis, const QPen &pen)
{
    const double span = xHigh - xLow;
    if (!(span > 0.0))
        return;
    m_painter.save();
    m_painter.setClipRect(plot.adjusted(1, 1, 0, 0));
    m_painter.setPen(pen);
    QPainterPath path;
    bool drawing = false;
    for (const QPointF &point : points) {
        if (!std::isfinite(point.y())) {
            drawing = false;
            continue;
        }
        const QPointF at(plot.left() + (point.x() - xLow) / span * plot.width(), Y(plot, axis, point.y()));
        if (drawing)
            path.lineTo(at);
        else
            path.moveTo(at);
        drawing = true;
    }
    m_painter.drawPath(path);
    m_painter.restore();
}

void CChartPainter::DrawReadout(const QPoint &at, const QStringList &lines, const QRect &bounds)
{
    if (lines.isEmpty())
        return;
    int width = 0;
    for (const QString &line : lines)
        width = std::max(width, m_metrics.horizontalAdvance(line));
    QRect box(at.x() + 12, at.y() + 12, width + 10, int(lines.size()) * m_metrics.height() + 6);
    if (box.right() > bounds.right())
        box.moveRight(at.x() - 12);
    if (box.bottom() > bounds.bottom())
        box.moveBottom(at.y() - 12);
    box.moveLeft(std::max(bounds.left(), box.left()));
    box.moveTop(std::max(bounds.top(), box.top()));
    m_painter.setPen(kFrame);
    m_painter.setBrush(QColor(255, 255, 240, 235));
    m_painter.drawRect(box);
    m_painter.setPen(Qt::black);
    for (int i = 0; i < lines.size(); ++i)
        m_painter.drawText(box.left() + 5, box.top() + 3 + i * m_metrics.height() + m_metrics.ascent(), lines[i]);
}
