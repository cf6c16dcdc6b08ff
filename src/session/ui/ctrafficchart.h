// The statistics window's chart, drawn with QPainter: bytes and telegrams per second each way, the
// response time second by second, and how the response times spread. It draws the picture it was
// handed last; the window hands it one at most ten times a second, so traffic never waits for it.
#pragma once

#include "session/ctrafficstats.h"

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
        // The names of the two count series (a relay's: its directions).
        QString inName = QStringLiteral("受信");
        QString outName = QStringLiteral("送信");
    };

    explicit CTrafficChart(QWidget *parent = nullptr);

    void SetPicture(Picture picture);
    const Picture &Shown() const { return m_picture; }
    QSize sizeHint() const override { return {640, 360}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    struct Series
    {
        QString name;
        QColor colour;
        std::vector<double> values;  // one per second, aligned with the picture's last second
    };
    // One panel over time: a frame, the title and scale, and each series as a line.
    void DrawTimePanel(QPainter &painter, const QRect &area, const QString &title, const std::vector<Series> &series,
                       QString (*format)(double)) const;
    void DrawHistogram(QPainter &painter, const QRect &area) const;
    // The panel's frame and title; returns the plot area inside it.
    QRect DrawFrame(QPainter &painter, const QRect &area, const QString &title) const;

    Picture m_picture;
};
