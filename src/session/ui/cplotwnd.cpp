#include "session/ui/cplotwnd.h"

#include "batch/csvfile.h"
#include "display/ui/chartfile.h"
#include "session/cchannelvalues.h"
#include "session/ui/cplotcanvas.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr qint64 kMinute = 60LL * 1000 * 1000;

}  // namespace

CPlotWnd::CPlotWnd(CChannelValues *values, std::function<void()> editChannels) : m_pValues(values)
{
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(QStringLiteral("ｸﾞﾗﾌ"));

    auto *layout = new QVBoxLayout(this);
    m_pCanvas = new CPlotCanvas(values, this);
    layout->addWidget(m_pCanvas, 1);

    auto *bar = new QHBoxLayout;
    m_pPause = new QCheckBox(QStringLiteral("一時停止"), this);
    bar->addWidget(m_pPause);
    bar->addWidget(new QLabel(QStringLiteral("表示"), this));
    m_pSpan = new QComboBox(this);
    m_pSpan->addItem(QStringLiteral("10秒"), 10 * 1000 * 1000LL);
    m_pSpan->addItem(QStringLiteral("1分"), kMinute);
    m_pSpan->addItem(QStringLiteral("10分"), 10 * kMinute);
    m_pSpan->addItem(QStringLiteral("60分"), 60 * kMinute);
    m_pSpan->addItem(QStringLiteral("全部"), 0LL);
    m_pSpan->setCurrentIndex(1);
    m_pCanvas->SetSpan(kMinute);
    bar->addWidget(m_pSpan);
    bar->addWidget(new QLabel(QStringLiteral("保持"), this));
    m_pKeep = new QComboBox(this);
    m_pKeep->addItem(QStringLiteral("全部"), 0LL);
    m_pKeep->addItem(QStringLiteral("直近10分"), 10 * kMinute);
    m_pKeep->addItem(QStringLiteral("直近60分"), 60 * kMinute);
    bar->addWidget(m_pKeep);
    m_pStatus = new QLabel(this);
    bar->addWidget(m_pStatus, 1);
    auto *channels = new QPushButton(QStringLiteral("ﾁｬﾝﾈﾙ..."), this);
    auto *csv = new QPushButton(QStringLiteral("CSV保存..."), this);
    auto *png = new QPushButton(QStringLiteral("PNG保存..."), this);
    bar->addWidget(channels);
    bar->addWidget(csv);
    bar->addWidget(png);
    layout->addLayout(bar);

    connect(m_pPause, &QCheckBox::toggled, this, [this](bool paused) { SetPaused(paused); });
    connect(m_pSpan, &QComboBox::currentIndexChanged, this, [this] {
        m_pCanvas->SetSpan(m_pSpan->currentData().toLongLong());
        m_pCanvas->Follow();
    });
    connect(m_pKeep, &QComboBox::currentIndexChanged, this,
            [this] { m_pValues->SetKeep(CChannelValues::kDefaultPoints, m_pKeep->currentData().toLongLong()); });
    connect(channels, &QPushButton::clicked, this, [editChannels] {
        if (editChannels)
            editChannels();
    });
    connect(csv, &QPushButton::clicked, this, [this] { AskAndSave(true); });
    connect(png, &QPushButton::clicked, this, [this] { AskAndSave(false); });
    connect(&m_timer, &QTimer::timeout, this, &CPlotWnd::Refresh);
    resize(860, 520);
}

void CPlotWnd::SetPaused(bool paused)
{
    if (m_pPause->isChecked() != paused)
        m_pPause->setChecked(paused);
    // Paused, the picture holds the times it shows while values keep coming.
    if (paused)
        m_pCanvas->ShowRange(m_pCanvas->Shown().first, m_pCanvas->Shown().second);
    else
        m_pCanvas->Follow();
}

bool CPlotWnd::IsPaused() const
{
    return m_pPause->isChecked();
}

QString CPlotWnd::StatusText() const
{
    qint64 values = 0;
    for (int i = 0; i < m_pValues->ChannelCount(); ++i)
        values += m_pValues->Count(i);
    QString text = QStringLiteral("%1 ﾁｬﾝﾈﾙ %2 点").arg(m_pValues->ChannelCount()).arg(values);
    if (m_pValues->BadChecksums() > 0)
        text += QStringLiteral("  ﾁｪｯｸｻﾑ不一致 %1 件").arg(m_pValues->BadChecksums());
    return text;
}

void CPlotWnd::Refresh()
{
    if (m_pValues->Serial() == m_nSerialShown)
        return;
    // A picture that takes long to draw (a million values shown at once) is drawn less often, so that
    // reading the telegrams keeps at least three quarters of the time.
    if (m_sinceDrawn.isValid() && m_sinceDrawn.nsecsElapsed() < 3 * m_pCanvas->LastPaintNs())
        return;
    m_sinceDrawn.start();
    m_nSerialShown = m_pValues->Serial();
    m_pStatus->setText(StatusText());
    if (!IsPaused())
        m_pCanvas->update();
}

void CPlotWnd::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_nSerialShown = 0;
    Refresh();
    m_timer.start(kRefreshMs);
}

void CPlotWnd::hideEvent(QHideEvent *event)
{
    m_timer.stop();
    QWidget::hideEvent(event);
}

bool CPlotWnd::SaveCsv(const QString &path, QString *error) const
{
    return WriteCsvFile(path, m_pValues->ToCsv(), error);
}

bool CPlotWnd::SavePng(const QString &path, QString *error) const
{
    return SaveWidgetPng(m_pCanvas, path, error);
}

void CPlotWnd::AskAndSave(bool csv)
{
    AskAndSaveChartFile(this, csv, [this, csv](const QString &path, QString *error) {
        return csv ? SaveCsv(path, error) : SavePng(path, error);
    });
}
