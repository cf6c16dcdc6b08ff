// The plot window's drawing: every channel over time on the History's clock, an axis for each unit,
// limit lines and the crossings marked, a legend, and a readout of every channel's value at the
// mouse. The wheel zooms the time axis around the mouse, dragging pans it, a double click follows
// the newest values again.
#pragma once

#include "display/ui/cchartpainter.h"

#include <QPoint>
#include <QStringList>
#include <QWidget>

class CChannelValues;

class CPlotCanvas : public QWidget
{
    Q_OBJECT
public:
    explicit CPlotCanvas(const CChannelValues *values, QWidget *parent = nullptr);

    // The time span shown while following the newest values (0: everything kept).
    void SetSpan(qint64 microseconds);
    qint64 Span() const { return m_spanUs; }
    // Following: the right edge is the newest value. Zooming or panning stops it.
    bool IsFollowing() const { return m_bFollow; }
    void Follow();
    // The times shown now, [low, high).
    std::pair<qint64, qint64> Shown() const;
    // Shows [low, high) and stops following.
    void ShowRange(qint64 low, qint64 high);
    // Every channel's value at `when` (the last one at or before it): "時刻", then "温度 = 21.5 ℃".
    QStringList ReadoutAt(qint64 when) const;
    // The time at pixel column `x` of the plot.
    qint64 TimeAtX(int x) const;
    QSize sizeHint() const override { return {760, 420}; }
    static QColor ChannelColour(int channel);
    // What the last picture took to draw.
    qint64 LastPaintNs() const { return m_nPaintNs; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    // The units' axes, each channel's axis index, and the plot rectangle for them.
    struct Layout
    {
        QRect plot;
        std::vector<CChartPainter::Axis> axes;
        std::vector<int> axisOf;
        qint64 low = 0;
        qint64 high = 1;
    };
    Layout MakeLayout(const QFontMetrics &metrics) const;
    void Paint();
    std::pair<qint64, qint64> DataRange() const;

    const CChannelValues *m_pValues;
    qint64 m_spanUs = 0;
    bool m_bFollow = true;
    qint64 m_low = 0;
    qint64 m_high = 1;
    QRect m_plot;  // of the last paint
    bool m_bDragging = false;
    QPoint m_dragFrom;
    std::pair<qint64, qint64> m_dragRange;
    QPoint m_mouse{-1, -1};
    qint64 m_nPaintNs = 0;
};
