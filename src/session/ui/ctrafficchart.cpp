#include "session/ui/ctrafficchart.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

const QColor kReceived(0x1f, 0x5f, 0xbf);
const QColor kSent(0xc0, 0x30, 0x30);
const QColor kMean(0x20, 0x90, 0x40);
const QColor kWorst(0xe0, 0x80, 0x10);
const QColor kPercentile(0x50, 0x50, 0x50);
constexpr int kHistogramBins = 24;
// The first line of each pair is drawn wide and solid, the second narrow and dashed over it: equal
// values show both.
constexpr qreal kWide = 3.0;
constexpr qreal kNarrow = 1.5;

QString Ms(double micros)
{
    return CChartScale::Amount(micros / 1000.0, QStringLiteral("ms"));
}

}  // namespace

CTrafficChart::CTrafficChart(QWidget *parent) : QWidget(parent)
{
    CChartPainter::SetUpCanvas(this);
}

void CTrafficChart::SetPicture(Picture picture)
{
    m_picture = std::move(picture);
    update();
}

std::vector<CTrafficChart::Series> CTrafficChart::SeriesOf(Panel panel) const
{
    std::vector<Series> series;
    switch (panel) {
    case PanelBytes:
    case PanelTelegrams:
        series = {{m_picture.inName, kReceived, kWide, Qt::SolidLine, {}},
                  {m_picture.outName, kSent, kNarrow, Qt::DashLine, {}}};
        break;
    case PanelResponse:
        series = {{QStringLiteral("平均"), kMean, kWide, Qt::SolidLine, {}},
                  {QStringLiteral("最大"), kWorst, kNarrow, Qt::DashLine, {}}};
        break;
    default: return series;
    }
    for (const CTrafficStats::Second &second : m_picture.seconds) {
        const CTrafficStats::Counts &c = second.counts;
        if (panel == PanelBytes) {
            series[0].values.push_back(double(c.bytesIn));
            series[1].values.push_back(double(c.bytesOut));
        } else if (panel == PanelTelegrams) {
            series[0].values.push_back(double(c.telegramsIn));
            series[1].values.push_back(double(c.telegramsOut));
        } else {
            // A second without responses leaves a gap (NaN), not a fall to zero.
            const bool timed = second.responses > 0;
            series[0].values.push_back(timed ? double(second.responseMicros) / double(second.responses) / 1000.0
                                             : std::nan(""));
            series[1].values.push_back(timed ? double(second.responseMaxMicros) / 1000.0 : std::nan(""));
        }
    }
    return series;
}

CChartPainter::Axis CTrafficChart::AxisOf(Panel panel, const std::vector<Series> &series) const
{
    CChartPainter::Axis axis;
    double top = 0.0;
    const int span = std::max(1, m_picture.span);
    for (const Series &one : series) {
        const size_t from = one.values.size() > size_t(span) ? one.values.size() - size_t(span) : 0;
        for (size_t i = from; i < one.values.size(); ++i) {
            if (std::isfinite(one.values[i]))
                top = std::max(top, one.values[i]);
        }
    }
    axis.low = 0.0;
    // Room above the highest value; counts never get fractional ticks from an empty panel.
    axis.high = std::max(top * 1.1, panel == PanelResponse ? 1.0 : 5.0);
    axis.unit = panel == PanelBytes ? QStringLiteral("B/s") : panel == PanelTelegrams ? QStringLiteral("件/秒") : QStringLiteral("ms");
    axis.metric = panel == PanelBytes;
    return axis;
}

CTrafficChart::Spread CTrafficChart::SpreadOf() const
{
    Spread spread;
    const auto &buckets = m_picture.histogram;
    if (buckets.empty())
        return spread;
    double low = double(std::max<qint64>(1, buckets.front().first)) / 1.25;
    double high = double(std::max<qint64>(1, buckets.back().first)) * 1.25;
    // At least a factor of ten, so that the axis has ticks to read.
    if (high / low < 10.0) {
        const double widen = std::sqrt(10.0 / (high / low));
        low /= widen;
        high *= widen;
    }
    spread.low = low;
    spread.high = high;
    spread.bins.assign(kHistogramBins, 0);
    for (const auto &[lower, count] : buckets) {
        const int bin = std::clamp(int(SpreadFraction(spread, double(std::max<qint64>(1, lower))) * kHistogramBins), 0,
                                   kHistogramBins - 1);
        spread.bins[size_t(bin)] += count;
    }
    spread.most = *std::max_element(spread.bins.begin(), spread.bins.end());
    return spread;
}

double CTrafficChart::SpreadFraction(const Spread &spread, double micros)
{
    return (std::log(micros) - std::log(spread.low)) / (std::log(spread.high) - std::log(spread.low));
}

CChartPainter::Axis CTrafficChart::SpreadAxis(const Spread &spread) const
{
    CChartPainter::Axis axis;
    axis.low = 0.0;
    axis.high = std::max(double(spread.most) * 1.1, 5.0);
    axis.unit = QStringLiteral("件");
    return axis;
}

QRect CTrafficChart::AreaOf(Panel panel) const
{
    const QRect all = rect().adjusted(4, 4, -4, -4);
    const int halfWidth = all.width() / 2;
    const int halfHeight = all.height() / 2;
    const bool right = panel == PanelTelegrams || panel == PanelSpread;
    const bool bottom = panel == PanelResponse || panel == PanelSpread;
    const int left = right ? all.left() + halfWidth + 6 : all.left();
    const int top = bottom ? all.top() + halfHeight + 6 : all.top();
    const int width = right ? all.width() - halfWidth - 6 : halfWidth - 6;
    const int height = bottom ? all.height() - halfHeight - 6 : halfHeight - 6;
    return QRect(left, top, width, height);
}

QRect CTrafficChart::PlotIn(const QRect &area, const CChartPainter::Axis &axis) const
{
    const QFontMetrics metrics = fontMetrics();
    const int line = metrics.height();
    // The title and legend row above, the x labels below, the value labels on the left.
    return QRect(QPoint(area.left() + CChartPainter::AxisWidth(metrics, axis), area.top() + line + 4),
                 QPoint(area.right() - 12, area.bottom() - line - 6));
}

QRect CTrafficChart::PlotOf(Panel panel) const
{
    if (panel == PanelSpread)
        return PlotIn(AreaOf(panel), SpreadAxis(SpreadOf()));
    return PlotIn(AreaOf(panel), AxisOf(panel, SeriesOf(panel)));
}

void CTrafficChart::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    CChartPainter chart(painter, fontMetrics());
    DrawTimePanel(chart, painter, PanelBytes, QStringLiteral("ﾊﾞｲﾄ/秒"));
    DrawTimePanel(chart, painter, PanelTelegrams, QStringLiteral("電文/秒"));
    DrawTimePanel(chart, painter, PanelResponse, QStringLiteral("応答時間"));
    DrawSpread(chart, painter);
    const QStringList readout = ReadoutAt(m_mouse);
    if (!readout.isEmpty()) {
        painter.setPen(QPen(Qt::gray, 1, Qt::DotLine));
        for (int p = 0; p < kPanels; ++p) {
            const QRect plot = PlotOf(Panel(p));
            if (plot.contains(m_mouse))
                painter.drawLine(m_mouse.x(), plot.top() + 1, m_mouse.x(), plot.bottom() - 1);
        }
        chart.DrawReadout(m_mouse, readout, rect());
    }
}

void CTrafficChart::DrawTimePanel(CChartPainter &chart, QPainter &painter, Panel panel, const QString &title) const
{
    const std::vector<Series> series = SeriesOf(panel);
    const CChartPainter::Axis axis = AxisOf(panel, series);
    const QRect plot = PlotIn(AreaOf(panel), axis);
    if (plot.width() < 8 || plot.height() < 8)
        return;
    const int span = std::max(1, m_picture.span);
    chart.DrawValueAxis(plot, axis, true, 0, true);
    // The newest whole second at the right edge (0), the oldest shown `span` seconds before it.
    chart.DrawNumberAxis(plot, -double(span), 0.0,
                         [](double tick, double) {
                             return tick == 0.0 ? QStringLiteral("0") : QStringLiteral("%1秒").arg(qlonglong(tick));
                         },
                         true);
    chart.DrawFrame(plot);
    std::vector<CChartPainter::Entry> legend;
    // The lines smooth; axes, grid and frame on whole pixels.
    painter.setRenderHint(QPainter::Antialiasing, true);
    for (const Series &one : series) {
        const int count = int(one.values.size());
        std::vector<QPointF> points;
        for (int i = std::max(0, count - span - 1); i < count; ++i)
            points.emplace_back(double(i - (count - 1)), one.values[size_t(i)]);
        chart.DrawPoints(plot, -double(span), 0.0, points, axis, QPen(one.colour, one.width, one.style));
        legend.push_back({one.name, one.colour, one.style, one.width});
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(Qt::black);
    const QFontMetrics metrics = fontMetrics();
    const int top = AreaOf(panel).top();
    painter.drawText(plot.left() + 4, top + metrics.ascent(), title);
    chart.DrawLegend(QPoint(plot.left() + 4 + metrics.horizontalAdvance(title) + 12, top), legend);
}

void CTrafficChart::DrawSpread(CChartPainter &chart, QPainter &painter) const
{
    const Spread spread = SpreadOf();
    const CChartPainter::Axis axis = SpreadAxis(spread);
    const QRect area = AreaOf(PanelSpread);
    const QRect plot = PlotIn(area, axis);
    const QFontMetrics metrics = fontMetrics();
    painter.setPen(Qt::black);
    const QString title = QStringLiteral("応答時間の分布");
    painter.drawText(plot.left() + 4, area.top() + metrics.ascent(), title);
    if (plot.width() < 8 || plot.height() < 8)
        return;
    if (spread.bins.empty()) {
        chart.DrawFrame(plot);
        painter.setPen(Qt::darkGray);
        painter.drawText(plot, Qt::AlignCenter, QStringLiteral("応答なし"));
        return;
    }
    chart.DrawValueAxis(plot, axis, true, 0, true);
    // The time axis in milliseconds, logarithmic.
    const int most = std::max(2, plot.width() / (metrics.horizontalAdvance(QStringLiteral("0.05 ms")) + 10));
    std::vector<std::pair<double, QString>> ticks;
    for (double ms : CChartScale::LogTicks(spread.low / 1000.0, spread.high / 1000.0, most))
        ticks.emplace_back(SpreadFraction(spread, ms * 1000.0), CChartScale::Amount(ms, QStringLiteral("ms")));
    chart.DrawBottomTicks(plot, ticks, true);
    const double barWidth = double(plot.width()) / kHistogramBins;
    for (int i = 0; i < kHistogramBins; ++i) {
        const qint64 count = spread.bins[size_t(i)];
        if (count == 0)
            continue;
        const int y = CChartPainter::Y(plot, axis, double(count));
        painter.fillRect(QRectF(plot.left() + i * barWidth + 1, y, std::max(1.0, barWidth - 2), plot.bottom() - y), kReceived);
    }
    chart.DrawFrame(plot);
    // The percentiles: dashed lines, named at the top (p99 a line lower, so that equal ones both read).
    const std::pair<const char *, qint64> marks[] = {{"p50", m_picture.p50}, {"p99", m_picture.p99}};
    int row = 0;
    for (const auto &[name, micros] : marks) {
        if (micros > 0) {
            const int x = plot.left() + int(SpreadFraction(spread, double(micros)) * plot.width());
            painter.setPen(QPen(kPercentile, 1, Qt::DashLine));
            painter.drawLine(x, plot.top() + 1, x, plot.bottom() - 1);
            const QString text = QLatin1String(name) + QLatin1Char(' ') + Ms(double(micros));
            const int w = metrics.horizontalAdvance(text);
            const int left = x + 3 + w > plot.right() ? x - 3 - w : x + 3;
            // On a light box, readable over the bars and the other line.
            const int top = plot.top() + 2 + row * metrics.height();
            painter.fillRect(QRect(left - 2, top, w + 4, metrics.height()), QColor(255, 255, 255, 225));
            painter.setPen(kPercentile);
            painter.drawText(left, top + metrics.ascent(), text);
        }
        ++row;
    }
    const std::vector<CChartPainter::Entry> legend = {{QStringLiteral("p50, p99"), kPercentile, Qt::DashLine, 1.0}};
    chart.DrawLegend(QPoint(plot.left() + 4 + metrics.horizontalAdvance(title) + 12, area.top()), legend);
}

QStringList CTrafficChart::ReadoutAt(const QPoint &at) const
{
    for (int p = 0; p < kPanels; ++p) {
        const QRect plot = PlotOf(Panel(p));
        if (!plot.contains(at) || plot.width() < 8)
            continue;
        return p == PanelSpread ? SpreadReadout(plot, at) : TimeReadout(Panel(p), plot, at);
    }
    return {};
}

QStringList CTrafficChart::TimeReadout(Panel panel, const QRect &plot, const QPoint &at) const
{
    const std::vector<Series> series = SeriesOf(panel);
    const CChartPainter::Axis axis = AxisOf(panel, series);
    const int span = std::max(1, m_picture.span);
    // The second nearest the mouse, counted back from the newest.
    const double t = -double(span) + double(at.x() - plot.left()) / double(plot.width()) * double(span);
    const int ago = std::clamp(int(std::lround(-t)), 0, span);
    const int count = int(m_picture.seconds.size());
    if (ago >= count)
        return {};
    QStringList lines{QStringLiteral("%1秒前").arg(ago)};
    for (const Series &one : series)
        lines << one.name + QStringLiteral(" = ") +
                     CChartScale::Amount(one.values[size_t(count - 1 - ago)], axis.unit, axis.metric);
    return lines;
}

QStringList CTrafficChart::SpreadReadout(const QRect &plot, const QPoint &at) const
{
    const Spread spread = SpreadOf();
    if (spread.bins.empty())
        return {};
    const int bin = std::clamp(int(double(at.x() - plot.left()) / plot.width() * kHistogramBins), 0, kHistogramBins - 1);
    // The bin's edges on the logarithmic axis.
    const double ratio = std::log(spread.high / spread.low) / kHistogramBins;
    const double from = spread.low * std::exp(ratio * bin);
    const double to = spread.low * std::exp(ratio * (bin + 1));
    QStringList lines{Ms(from) + QStringLiteral(" – ") + Ms(to),
                      CChartScale::Amount(double(spread.bins[size_t(bin)]), QStringLiteral("件"))};
    if (m_picture.p50 > 0)
        lines << QStringLiteral("p50 = ") + Ms(double(m_picture.p50)) << QStringLiteral("p99 = ") + Ms(double(m_picture.p99));
    return lines;
}

void CTrafficChart::mouseMoveEvent(QMouseEvent *event)
{
    m_mouse = event->position().toPoint();
    update();
}

void CTrafficChart::leaveEvent(QEvent *)
{
    m_mouse = QPoint(-1, -1);
    update();
}
