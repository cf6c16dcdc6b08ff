#include "session/ui/cplotcanvas.h"

#include "session/cchannelvalues.h"
#include "session/cchanneltable.h"

#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace {

const std::array<QColor, 8> kColours = {QColor(0x1f, 0x5f, 0xbf), QColor(0xc0, 0x30, 0x30), QColor(0x20, 0x90, 0x40),
                                        QColor(0xe0, 0x80, 0x10), QColor(0x80, 0x40, 0xb0), QColor(0x10, 0x90, 0xa0),
                                        QColor(0x90, 0x60, 0x30), QColor(0x50, 0x50, 0x50)};
const QColor kCrossing(0xd0, 0x00, 0x00);
constexpr qint64 kMinSpan = 1000;  // the narrowest zoom: 1 ms

}  // namespace

CPlotCanvas::CPlotCanvas(const CChannelValues *values, QWidget *parent) : QWidget(parent), m_pValues(values)
{
    CChartPainter::SetUpCanvas(this);
}

QColor CPlotCanvas::ChannelColour(int channel)
{
    return kColours[size_t(channel) % kColours.size()];
}

void CPlotCanvas::SetSpan(qint64 microseconds)
{
    m_spanUs = std::max<qint64>(0, microseconds);
    update();
}

void CPlotCanvas::Follow()
{
    m_bFollow = true;
    update();
}

void CPlotCanvas::ShowRange(qint64 low, qint64 high)
{
    m_bFollow = false;
    m_low = low;
    m_high = std::max(low + kMinSpan, high);
    update();
}

std::pair<qint64, qint64> CPlotCanvas::DataRange() const
{
    qint64 low = std::numeric_limits<qint64>::max();
    qint64 high = std::numeric_limits<qint64>::min();
    for (int i = 0; i < m_pValues->ChannelCount(); ++i) {
        const qsizetype n = m_pValues->Count(i);
        if (n == 0)
            continue;
        low = std::min(low, m_pValues->TimeAt(i, 0));
        high = std::max(high, m_pValues->TimeAt(i, n - 1));
    }
    if (low > high)
        return {0, 0};
    return {low, high};
}

std::pair<qint64, qint64> CPlotCanvas::Shown() const
{
    if (!m_bFollow)
        return {m_low, m_high};
    const auto [low, high] = DataRange();
    // The newest value sits just inside the right edge.
    const qint64 right = high + 1;
    if (m_spanUs > 0)
        return {right - m_spanUs, right};
    return {low, std::max(low + kMinSpan, right)};
}

CPlotCanvas::Layout CPlotCanvas::MakeLayout(const QFontMetrics &metrics) const
{
    Layout layout;
    std::tie(layout.low, layout.high) = Shown();
    const int channels = m_pValues->ChannelCount();
    // An axis per unit, in the order the channels first name them.
    QStringList units;
    layout.axisOf.assign(size_t(channels), 0);
    for (int i = 0; i < channels; ++i) {
        const QString unit = m_pValues->Channels()[i].unit;
        if (!units.contains(unit))
            units << unit;
        layout.axisOf[size_t(i)] = int(units.indexOf(unit));
    }
    if (units.isEmpty())
        units << QString();
    layout.axes.resize(size_t(units.size()));
    std::vector<bool> seen(units.size(), false);
    for (int i = 0; i < channels; ++i) {
        CChartPainter::Axis &axis = layout.axes[size_t(layout.axisOf[size_t(i)])];
        double low = 0.0;
        double high = 0.0;
        m_pValues->MinMax(i, m_pValues->LowerBound(i, layout.low), m_pValues->LowerBound(i, layout.high), &low, &high);
        const CChannel &c = m_pValues->Channels()[i];
        if (c.HasLow()) { low = std::min(low, c.low); high = std::max(high, c.low); }
        if (c.HasHigh()) { low = std::min(low, c.high); high = std::max(high, c.high); }
        if (!std::isfinite(low))
            continue;
        const size_t a = size_t(layout.axisOf[size_t(i)]);
        if (!seen[a]) {
            axis.low = low;
            axis.high = high;
            seen[a] = true;
        } else {
            axis.low = std::min(axis.low, low);
            axis.high = std::max(axis.high, high);
        }
    }
    for (size_t a = 0; a < layout.axes.size(); ++a) {
        CChartPainter::Axis &axis = layout.axes[a];
        axis.unit = units[qsizetype(a)];
        if (!seen[a]) {
            axis.low = 0.0;
            axis.high = 1.0;
        }
        CChartScale::Pad(&axis.low, &axis.high);
        // An axis of one channel takes its colour; shared axes stay black.
        int owner = -1;
        for (int i = 0; i < channels; ++i) {
            if (layout.axisOf[size_t(i)] == int(a))
                owner = owner == -1 ? i : -2;
        }
        axis.colour = owner >= 0 ? ChannelColour(owner) : QColor(Qt::black);
    }
    // Axes alternate left and right, outwards.
    int left = 0;
    int right = 0;
    for (size_t a = 0; a < layout.axes.size(); ++a)
        (a % 2 == 0 ? left : right) += CChartPainter::AxisWidth(metrics, layout.axes[a]);
    const int line = metrics.height();
    layout.plot = QRect(QPoint(8 + left, 2 * line + 8), QPoint(width() - 10 - std::max(right, 24), height() - line - 12));
    return layout;
}

void CPlotCanvas::paintEvent(QPaintEvent *)
{
    QElapsedTimer took;
    took.start();
    Paint();
    m_nPaintNs = took.nsecsElapsed();
}

void CPlotCanvas::Paint()
{
    QPainter painter(this);
    CChartPainter chart(painter, fontMetrics());
    const Layout layout = MakeLayout(fontMetrics());
    const QRect &plot = layout.plot;
    m_plot = plot;
    if (plot.width() < 4 || plot.height() < 4)
        return;
    const int channels = m_pValues->ChannelCount();
    if (channels == 0) {
        painter.setPen(Qt::darkGray);
        painter.drawText(rect(), Qt::AlignCenter, QStringLiteral("ﾁｬﾝﾈﾙがありません (ﾁｬﾝﾈﾙ... で設定します)"));
        return;
    }
    chart.DrawTimeAxis(plot, layout.low, layout.high, true);
    std::array<int, 2> offsets{0, 0};
    for (size_t a = 0; a < layout.axes.size(); ++a) {
        const bool left = a % 2 == 0;
        chart.DrawValueAxis(plot, layout.axes[a], left, offsets[left ? 0 : 1], a == 0);
        offsets[left ? 0 : 1] += CChartPainter::AxisWidth(fontMetrics(), layout.axes[a]);
    }
    chart.DrawFrame(plot);

    std::vector<CChartPainter::Entry> legend;
    const double span = double(layout.high - layout.low);
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (int i = 0; i < channels; ++i) {
        const CChannel &c = m_pValues->Channels()[i];
        const CChartPainter::Axis &axis = layout.axes[size_t(layout.axisOf[size_t(i)])];
        const QColor colour = ChannelColour(i);
        legend.push_back({c.Title(), colour, Qt::SolidLine});
        // The limits, dashed.
        for (double limit : {c.low, c.high}) {
            if (std::isnan(limit))
                continue;
            painter.setPen(QPen(colour.lighter(150), 1, Qt::DashLine));
            const int y = CChartPainter::Y(plot, axis, limit);
            painter.drawLine(plot.left() + 1, y, plot.right() - 1, y);
        }
        chart.DrawColumns(plot, m_pValues->Reduce(i, layout.low, layout.high, plot.width()), axis, QPen(colour, 1.5));
        // Where the channel left its limits: a red triangle pointing the way it went.
        painter.setPen(Qt::NoPen);
        painter.setBrush(kCrossing);
        const std::vector<CChannelValues::Crossing> &crossings = m_pValues->Crossings(i);
        const auto byTime = [](const CChannelValues::Crossing &crossing, qint64 when) { return crossing.when < when; };
        for (auto crossing = std::lower_bound(crossings.begin(), crossings.end(), layout.low, byTime);
             crossing != crossings.end() && crossing->when < layout.high; ++crossing) {
            const int x = plot.left() + int(double(crossing->when - layout.low) / span * plot.width());
            const int y = CChartPainter::Y(plot, axis, crossing->value);
            const int d = crossing->high ? -6 : 6;
            const QPoint triangle[3] = {QPoint(x, y), QPoint(x - 4, y + d), QPoint(x + 4, y + d)};
            painter.drawPolygon(triangle, 3);
        }
        painter.setBrush(Qt::NoBrush);
    }
    chart.DrawLegend(QPoint(plot.left(), 4), legend);

    if (plot.contains(m_mouse)) {
        painter.setPen(QPen(Qt::gray, 1, Qt::DotLine));
        painter.drawLine(m_mouse.x(), plot.top() + 1, m_mouse.x(), plot.bottom() - 1);
        chart.DrawReadout(m_mouse, ReadoutAt(TimeAtX(m_mouse.x())), plot);
    }
}

qint64 CPlotCanvas::TimeAtX(int x) const
{
    const auto [low, high] = Shown();
    const QRect plot = m_plot.isValid() ? m_plot : rect();
    return low + qint64(double(x - plot.left()) / std::max(1, plot.width()) * double(high - low));
}

QStringList CPlotCanvas::ReadoutAt(qint64 when) const
{
    QStringList lines{CChannelValues::TimeText(when)};
    for (int i = 0; i < m_pValues->ChannelCount(); ++i) {
        const CChannel &c = m_pValues->Channels()[i];
        const qsizetype n = m_pValues->Count(i);
        const qint64 *times = m_pValues->Times(i);
        const qsizetype at = std::upper_bound(times, times + n, when) - times - 1;
        QString value = at >= 0 ? CChannelTable::NumberText(m_pValues->ValueAt(i, at)) : QStringLiteral("-");
        if (at >= 0 && !c.unit.isEmpty())
            value += QLatin1Char(' ') + c.unit;
        lines << QStringLiteral("%1 = %2").arg(c.name, value);
    }
    return lines;
}

void CPlotCanvas::wheelEvent(QWheelEvent *event)
{
    const auto [low, high] = Shown();
    const qint64 at = TimeAtX(int(event->position().x()));
    const double factor = event->angleDelta().y() > 0 ? 0.8 : 1.25;
    const qint64 newLow = at - qint64(double(at - low) * factor);
    const qint64 newHigh = at + qint64(double(high - at) * factor);
    ShowRange(newLow, newHigh);
    event->accept();
}

void CPlotCanvas::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_bDragging = true;
    m_dragFrom = event->position().toPoint();
    m_dragRange = Shown();
}

void CPlotCanvas::mouseMoveEvent(QMouseEvent *event)
{
    m_mouse = event->position().toPoint();
    if (m_bDragging) {
        const qint64 span = m_dragRange.second - m_dragRange.first;
        const qint64 shift = qint64(double(m_mouse.x() - m_dragFrom.x()) / std::max(1, m_plot.width()) * double(span));
        ShowRange(m_dragRange.first - shift, m_dragRange.second - shift);
        return;
    }
    update();
}

void CPlotCanvas::mouseReleaseEvent(QMouseEvent *)
{
    m_bDragging = false;
}

void CPlotCanvas::mouseDoubleClickEvent(QMouseEvent *)
{
    Follow();
}

void CPlotCanvas::leaveEvent(QEvent *)
{
    m_mouse = QPoint(-1, -1);
    update();
}
