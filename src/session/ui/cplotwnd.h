// The "ｸﾞﾗﾌ" window: the channels' values over time (CPlotCanvas), with pause, the span shown, how
// much is kept, the table of channels, and the values saved as CSV or the picture as PNG.
#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <functional>

class CChannelValues;
class CPlotCanvas;
class QCheckBox;
class QComboBox;
class QLabel;

class CPlotWnd : public QWidget
{
    Q_OBJECT
public:
    // Reads `values` (not owned); `editChannels` opens the channel table.
    CPlotWnd(CChannelValues *values, std::function<void()> editChannels);

    CPlotCanvas *Canvas() const { return m_pCanvas; }
    void SetPaused(bool paused);
    bool IsPaused() const;
    // Draws again when values came since the last picture (the timer's work; tests call it).
    void Refresh();
    bool SaveCsv(const QString &path, QString *error = nullptr) const;
    bool SavePng(const QString &path, QString *error = nullptr) const;
    QString StatusText() const;

    static constexpr int kRefreshMs = 50;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void AskAndSave(bool csv);

    CChannelValues *m_pValues;
    CPlotCanvas *m_pCanvas = nullptr;
    QCheckBox *m_pPause = nullptr;
    QComboBox *m_pSpan = nullptr;
    QComboBox *m_pKeep = nullptr;
    QLabel *m_pStatus = nullptr;
    QTimer m_timer;
    quint64 m_nSerialShown = 0;
    QElapsedTimer m_sinceDrawn;  // since the last picture was asked for
};
