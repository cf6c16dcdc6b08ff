// The relay window (送信 > 中継): the two sides and the disturbances as the document keeps them,
// start and stop, the statistics of each direction (a line each here, and a 通信統計 window of the two
// directions), and a History of its own whose lines say the direction and the sender
// ("A>B 127.0.0.1:40136 …") and the disturbances done, each a mark line of its own.
#pragma once

#include "platform/cmsgwnd.h"
#include "session/ctrafficstats.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <array>
#include <memory>

class CMessageWnd;
class CQnDoc;
class CRelay;
class CRelayReplies;
class CRelayTrace;
class CStatsWnd;

class CRelayWnd : public CMsgWnd<QWidget>
{
    Q_OBJECT
public:
    explicit CRelayWnd(CQnDoc *doc, QWidget *parent = nullptr);
    ~CRelayWnd() override;

    // Shows what the document holds (a new document: empty fields).
    void LoadFromDocument();
    // Starts with what the fields say, keeping it in the document; false with the reason shown.
    bool Start();
    void Stop();
    bool IsRunning() const { return m_pRelay != nullptr; }

    CRelay *Relay() const { return m_pRelay.get(); }
    CMessageWnd *History() const { return m_pHistory.get(); }
    QLineEdit *SideEdit(int side) const { return m_sides[size_t(side)]; }
    QLineEdit *DisturbEdit(int direction) const { return m_disturb[size_t(direction)]; }
    QLineEdit *SeedEdit() const { return m_pSeed; }
    QLineEdit *TraceEdit() const { return m_pTrace; }
    // 応答ﾙｰﾙ: index 0 none, 1 A>B, 2 B>A; the checksum rule checked on both directions.
    QComboBox *RepliesBox() const { return m_pReplies; }
    QLineEdit *ChecksumEdit() const { return m_pChecksum; }
    QString StateText() const { return m_pState->text(); }
    QString StatsText(int direction) const { return m_stats[size_t(direction)]->text(); }
    // The counts of each direction since 開始 (or the statistics window's ﾘｾｯﾄ), and their window.
    const CTrafficStats &Traffic(int direction) const { return m_traffic[size_t(direction)]; }
    CStatsWnd *StatsWindow() const { return m_pStatsWnd.get(); }
    void ShowStatsWindow();

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void RefreshStats();
    void SetState(const QString &text, bool failed);

    CQnDoc *m_pDoc;  // not owned
    std::array<QLineEdit *, 2> m_sides{};
    std::array<QLineEdit *, 2> m_disturb{};
    QLineEdit *m_pSeed = nullptr;
    QLineEdit *m_pTrace = nullptr;
    QComboBox *m_pReplies = nullptr;
    QLineEdit *m_pChecksum = nullptr;
    std::unique_ptr<CRelayReplies> m_pRelayReplies;
    QPushButton *m_pStart = nullptr;
    QPushButton *m_pStop = nullptr;
    QLabel *m_pState = nullptr;
    std::array<QLabel *, 2> m_stats{};
    std::unique_ptr<CMessageWnd> m_pHistory;
    std::unique_ptr<CRelay> m_pRelay;
    std::unique_ptr<CRelayTrace> m_pTraceWriter;
    QTimer m_statsTimer;
    std::array<CTrafficStats, 2> m_traffic;
    std::unique_ptr<CStatsWnd> m_pStatsWnd;  // after the counts it reads
};
