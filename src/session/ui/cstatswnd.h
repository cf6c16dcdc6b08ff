// The "通信統計" window: the traffic counts of the session since connect and over the last second,
// the queue and drop figures of the endpoint, the response times, and a chart of the last minute or
// ten. It only reads the counts, ten times a second while it is shown; it saves them as CSV (a line a
// second) and the chart as PNG, its "一時停止" holds the chart, and its "ﾘｾｯﾄ" starts them again.
#pragma once

#include "net/cendpoint.h"
#include "session/ctrafficstats.h"

#include <QTimer>
#include <QWidget>

#include <functional>
#include <map>

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

    // Brings every figure and the chart up to `now` (the timer's work; tests call it directly).
    void Refresh(CTrafficStats::Clock::time_point now = CTrafficStats::Clock::now());
    // A figure's text by its name ("telegramsIn.total", "response.p95", …; see the .cpp's table).
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
    QLabel *AddFigure(const QString &name);
    void SetFigure(const QString &name, const QString &text);
    void AskAndSave(bool csv);

    CTrafficStats *m_pStats;
    std::function<CEndpoint::Gauges()> m_fnGauges;
    std::map<QString, QLabel *> m_figures;
    CTrafficChart *m_pChart = nullptr;
    QComboBox *m_pSpan = nullptr;
    QCheckBox *m_pPause = nullptr;
    QTimer m_timer;
    // The chart shows whole seconds: it is drawn again when a second has ended, not at every refresh.
    qint64 m_nChartSecond = -1;
};
