#include "session/ui/ctrafficchart.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

const QColor kReceived(0x1f, 0x5f, 0xbf);
const QColor kSent(0xc0, 0x30, 0x30);
const QColor kMean(0x20, 0x90, 0x40);
const QColor kWorst(0xe0, 0x80, 0x10);
constexpr int kHistogramBins = 24;

// The smallest of 1, 2, 5 times a power of ten that is not below `value`: the scale's top.
double NiceTop(double value)
{
    if (value <= 0.0)
        return 1.0;
    const double power = std::pow(10.0, std::floor(std::log10(value)));
    for (double step : {1.0, 2.0, 5.0, 10.0}) {
        if (step * power >= value)
            return step * power;
    }
    return 10.0 * power;
}

QString Amount(double value)
{
    if (value >= 1e9)
        return QString::number(value / 1e9, 'g', 3) + QLatin1Char('G');
    if (value >= 1e6)
        return QString::number(value / 1e6, 'g', 3) + QLatin1Char('M');
    if (value >= 1e3)
        return QString::number(value / 1e3, 'g', 3) + QLatin1Char('K');
    return QString::number(value, 'g', 3);
}

QString Milliseconds(double value)
{
    return QString::number(value, 'g', 3) + QStringLiteral(" ms");
}

}  // namespace

CTrafficChart::CTrafficChart(QWidget *parent) : QWidget(parent)
{
    setMinimumSize(320, 200);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, Qt::white);
    setPalette(colours);
}

void CTrafficChart::SetPicture(Picture picture)
{
    m_picture = std::move(picture);
    update();
}

void CTrafficChart::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, false);
    const QRect all = rect().adjusted(4, 4, -4, -4);
    const int halfWidth = all.width() / 2;
    const int halfHeight = all.height() / 2;
    const QRect topLeft(all.left(), all.top(), halfWidth - 4, halfHeight - 4);
    const QRect topRight(all.left() + halfWidth + 4, all.top(), all.width() - halfWidth - 4, halfHeight - 4);
    const QRect bottomLeft(all.left(), all.top() + halfHeight + 4, halfWidth - 4, all.height() - halfHeight - 4);
    const QRect bottomRight(topRight.left(), bottomLeft.top(), topRight.width(), bottomLeft.height());

    Series bytesIn{m_picture.inName, kReceived, {}}, bytesOut{m_picture.outName, kSent, {}};
    Series telegramsIn = bytesIn, telegramsOut = bytesOut;
    Series mean{QStringLiteral("平均"), kMean, {}}, worst{QStringLiteral("最大"), kWorst, {}};
    for (const CTrafficStats::Second &second : m_picture.seconds) {
        bytesIn.values.push_back(double(second.counts.bytesIn));
        bytesOut.values.push_back(double(second.counts.bytesOut));
        telegramsIn.values.push_back(double(second.counts.telegramsIn));
        telegramsOut.values.push_back(double(second.counts.telegramsOut));
        // A second without responses leaves a gap (NaN), not a fall to zero.
        const bool timed = second.responses > 0;
        mean.values.push_back(timed ? double(second.responseMicros) / double(second.responses) / 1000.0 : std::nan(""));
        worst.values.push_back(timed ? double(second.responseMaxMicros) / 1000.0 : std::nan(""));
    }
    DrawTimePanel(painter, topLeft, QStringLiteral("ﾊﾞｲﾄ/秒"), {bytesIn, bytesOut}, Amount);
    DrawTimePanel(painter, topRight, QStringLiteral("電文/秒"), {telegramsIn, telegramsOut}, Amount);
    DrawTimePanel(painter, bottomLeft, QStringLiteral("応答時間"), {mean, worst}, Milliseconds);
    DrawHistogram(painter, bottomRight);
}

QRect CTrafficChart::DrawFrame(QPainter &painter, const QRect &area, const QString &title) const
{
    const int line = fontMetrics().height();
    painter.setPen(Qt::black);
    painter.drawText(area.left(), area.top() + fontMetrics().ascent(), title);
    const QRect plot = area.adjusted(0, line + 2, 0, -line - 2);
    painter.setPen(QColor(0xb0, 0xb0, 0xb0));
    painter.drawRect(plot.adjusted(0, 0, -1, -1));
    return plot.adjusted(1, 1, -2, -2);
}

void CTrafficChart::DrawTimePanel(QPainter &painter, const QRect &area, const QString &title,
                                  const std::vector<Series> &series, QString (*format)(double)) const
{
    const QRect plot = DrawFrame(painter, area, title);
    double top = 0.0;
    for (const Series &one : series) {
        for (double value : one.values) {
            if (!std::isnan(value))
                top = std::max(top, value);
        }
    }
    top = NiceTop(top);
    const int line = fontMetrics().height();
    const int baseline = area.bottom() - fontMetrics().descent();
    painter.setPen(Qt::darkGray);
    painter.drawText(QRect(area.left(), area.top(), area.width(), line), Qt::AlignRight, format(top));
    painter.drawText(area.left(), baseline, QStringLiteral("-%1秒").arg(m_picture.span));
    painter.drawText(QRect(area.left(), baseline - fontMetrics().ascent(), area.width(), line), Qt::AlignRight,
                     QStringLiteral("0"));
    // Legend, right after the title.
    int x = area.left() + fontMetrics().horizontalAdvance(title) + 12;
    for (const Series &one : series) {
        painter.fillRect(x, area.top() + line / 2 - 2, 10, 4, one.colour);
        painter.setPen(Qt::black);
        painter.drawText(x + 13, area.top() + fontMetrics().ascent(), one.name);
        x += 13 + fontMetrics().horizontalAdvance(one.name) + 10;
    }
    if (plot.width() < 2 || plot.height() < 2)
        return;
    const int span = std::max(1, m_picture.span);
    const double step = double(plot.width()) / double(span);
    for (const Series &one : series) {
        const int count = int(one.values.size());
        QPainterPath path;
        bool drawing = false;
        for (int i = std::max(0, count - span); i < count; ++i) {
            const double value = one.values[size_t(i)];
            if (std::isnan(value)) {
                drawing = false;
                continue;
            }
            // The newest second ends at the right edge.
            const QPointF point(plot.right() - (count - 1 - i) * step,
                                plot.bottom() - value / top * double(plot.height()));
            if (drawing)
                path.lineTo(point);
            else
                path.moveTo(point);
            drawing = true;
        }
        painter.setPen(QPen(one.colour, 1.5));
        painter.drawPath(path);
    }
}

void CTrafficChart::DrawHistogram(QPainter &painter, const QRect &area) const
{
    const QRect plot = DrawFrame(painter, area, QStringLiteral("応答時間の分布"));
    const auto &buckets = m_picture.histogram;
    if (buckets.empty()) {
        painter.setPen(Qt::darkGray);
        painter.drawText(plot, Qt::AlignCenter, QStringLiteral("応答なし"));
        return;
    }
    // The buckets gathered into bins of equal width on a logarithmic axis from the least to the most.
    const double low = std::log(double(std::max<qint64>(1, buckets.front().first)));
    const double high = std::log(double(std::max<qint64>(1, buckets.back().first)) * 1.01);
    const double width = std::max(1e-9, high - low) / kHistogramBins;
    std::vector<qint64> bins(kHistogramBins, 0);
    for (const auto &[lower, count] : buckets) {
        const int bin = std::clamp(int((std::log(double(std::max<qint64>(1, lower))) - low) / width), 0, kHistogramBins - 1);
        bins[size_t(bin)] += count;
    }
    const qint64 most = *std::max_element(bins.begin(), bins.end());
    const int line = fontMetrics().height();
    const int baseline = area.bottom() - fontMetrics().descent();
    painter.setPen(Qt::darkGray);
    painter.drawText(QRect(area.left(), area.top(), area.width(), line), Qt::AlignRight,
                     QStringLiteral("%1 件").arg(most));
    painter.drawText(area.left(), baseline, Milliseconds(double(buckets.front().first) / 1000.0));
    painter.drawText(QRect(area.left(), baseline - fontMetrics().ascent(), area.width(), line), Qt::AlignRight,
                     Milliseconds(double(buckets.back().first) / 1000.0));
    const double barWidth = double(plot.width()) / kHistogramBins;
    for (int i = 0; i < kHistogramBins; ++i) {
        if (bins[size_t(i)] == 0)
            continue;
        const double height = double(bins[size_t(i)]) / double(most) * plot.height();
        painter.fillRect(QRectF(plot.left() + i * barWidth + 1, plot.bottom() - height, std::max(1.0, barWidth - 2), height),
                         kReceived);
    }
}
