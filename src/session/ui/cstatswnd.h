// The "通信統計" window: the traffic counts of the session since connect and over the last second,
// the queue and drop figures of the endpoint, the response times, and a chart of the last minute or
// ten. It only reads the counts, ten times a second while it is shown; it saves them as CSV (a line a
// second) and the chart as PNG, its "一時停止" holds the chart, and its "ﾘｾｯﾄ" starts them again. A
// relay's window counts each direction on its own (A>B, B>A): received is what the direction's first
// side read, sent what went out on the other side; the chart shows the two directions' sent traffic.
#pragma once

#include "net/cendpoint.h"
#include "session/ctrafficstats.h"

#include <QTimer>
#include <QWidget>

#include <functional>
#include <map>
#include <vector>

class CTrafficChart;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

class CStatsWnd : public QWidget
{
    Q_OBJECT
public:
    // Reads `stats` (not owned; reset by the window's "ﾘｾｯﾄ") and the endpoint's gauges.
    CStatsWnd(CTrafficStats *stats, std::function<CEndpoint::Gauges()> gauges);
    // A relay's directions: their names ("A>B"), counts (not owned) and gauges (the send queue of the
    // direction's far side, the drops of its near side's receive queue).
    struct Direction
    {
        QString name;
        CTrafficStats *stats = nullptr;
        std::function<CEndpoint::Gauges()> gauges;
    };
    explicit CStatsWnd(std::vector<Direction> directions);

    // Brings every figure and the chart up to `now` (the timer's work; tests call it directly).
    void Refresh(CTrafficStats::Clock::time_point now = CTrafficStats::Clock::now());
    // A figure's text by its name ("telegramsIn.total", "response.p95", …; see the .cpp's table); a
    // relay's figures of a direction are named after it ("A>B.bytesOut.rate", "B>A.sendQueued").
    QString Figure(const QString &name) const;
    CTrafficChart *Chart() const { return m_pChart; }
    // The seconds the chart spans: 60 or 600.
    int Span() const;
    void SetSpan(int seconds);
    // What the two save buttons write; false when the file cannot be written (`error` says why).
    bool SaveCsv(const QString &path, QString *error = nullptr) const;
    bool SavePng(const QString &path, QString *error = nullptr) const;
    void Reset();
    // Paused, the chart holds its picture (the figures above go on); the hover readout still reads it.
    void SetPaused(bool paused);
    bool IsPaused() const;

    // The refresh period while shown: at most ten pictures a second.
    static constexpr int kRefreshMs = 100;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    // Builds the table, the figure lines, the chart and the buttons for m_parts.
    void Build();
    bool IsRelay() const { return !m_parts.front().name.isEmpty(); }
    // A relay's chart: each second, A>B's sent counts as the first series and B>A's as the second.
    std::vector<CTrafficStats::Second> RelaySeconds(int count, CTrafficStats::Clock::time_point now) const;
    QLabel *AddFigure(const QString &name);
    void SetFigure(const QString &name, const QString &text);
    void AskAndSave(bool csv);

    // The session's one part (no name), or the relay's two directions.
    std::vector<Direction> m_parts;
    std::map<QString, QLabel *> m_figures;
    CTrafficChart *m_pChart = nullptr;
    QComboBox *m_pSpan = nullptr;
    QCheckBox *m_pPause = nullptr;
    QTimer m_timer;
    // The chart shows whole seconds: it is drawn again when a second has ended, not at every refresh.
    qint64 m_nChartSecond = -1;
};
