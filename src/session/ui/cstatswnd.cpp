#include "session/ui/cstatswnd.h"

#include "display/ui/chartfile.h"
#include "platform/fileerrortext.h"
#include "platform/wholefile.h"
#include "session/ui/ctrafficchart.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The count rows of the table: the figure's name and its caption.
const std::pair<const char *, const char *> kCountRows[] = {
    {"telegramsIn", "受信電文"},
    {"bytesIn", "受信ﾊﾞｲﾄ"},
    {"telegramsOut", "送信電文"},
    {"bytesOut", "送信ﾊﾞｲﾄ"},
};

QString Whole(qint64 value)
{
    return QLocale::c().toString(value);
}

QString Known(qint64 value)
{
    return value < 0 ? QStringLiteral("-") : Whole(value);
}

QString Rate(double value)
{
    return QLocale::c().toString(value, 'f', 1);
}

QString Ms(qint64 micros)
{
    return QString::number(double(micros) / 1000.0, 'f', 3);
}

qint64 Field(const CTrafficStats::Counts &counts, int row)
{
    switch (row) {
    case 0: return counts.telegramsIn;
    case 1: return counts.bytesIn;
    case 2: return counts.telegramsOut;
    default: return counts.bytesOut;
    }
}

}  // namespace

CStatsWnd::CStatsWnd(CTrafficStats *stats, std::function<CEndpoint::Gauges()> gauges)
    : m_pStats(stats), m_fnGauges(std::move(gauges))
{
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    // Like the other tool windows, it does not keep the program running after the main window closes.
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(QStringLiteral("通信統計"));

    auto *layout = new QVBoxLayout(this);
    auto *table = new QGridLayout;
    const QString heads[] = {QStringLiteral("接続から"), QStringLiteral("平均/秒"), QStringLiteral("直近1秒")};
    for (int c = 0; c < 3; ++c)
        table->addWidget(new QLabel(heads[c], this), 0, c + 1, Qt::AlignRight);
    const char *const columns[] = {".total", ".rate", ".last"};
    for (int r = 0; r < 4; ++r) {
        table->addWidget(new QLabel(QString::fromUtf8(kCountRows[r].second), this), r + 1, 0);
        for (int c = 0; c < 3; ++c)
            table->addWidget(AddFigure(QLatin1String(kCountRows[r].first) + QLatin1String(columns[c])), r + 1, c + 1,
                             Qt::AlignRight);
    }
    table->setColumnStretch(4, 1);
    table->setHorizontalSpacing(24);
    layout->addLayout(table);

    // Label and figure pairs, a line each.
    const auto line = [&](std::initializer_list<std::pair<const char *, const char *>> pairs) {
        auto *row = new QHBoxLayout;
        for (const auto &[caption, name] : pairs) {
            row->addWidget(new QLabel(QString::fromUtf8(caption), this));
            row->addWidget(AddFigure(QLatin1String(name)));
            row->addSpacing(12);
        }
        row->addStretch(1);
        layout->addLayout(row);
    };
    line({{"最大電文 受信", "largestIn"}, {"送信", "largestOut"}, {"経過秒", "elapsed"}, {"再接続", "reconnects"}});
    line({{"送信待ちﾊﾞｲﾄ", "sendQueued"}, {"受信ｷｭｰ破棄", "queueDrops"}, {"ｶｰﾈﾙ破棄", "kernelDrops"}});
    line({{"応答時間(ms) 件数", "response.count"},
          {"最小", "response.min"},
          {"p50", "response.p50"},
          {"p95", "response.p95"},
          {"p99", "response.p99"},
          {"最大", "response.max"}});

    m_pChart = new CTrafficChart(this);
    layout->addWidget(m_pChart, 1);

    auto *buttons = new QHBoxLayout;
    m_pPause = new QCheckBox(QStringLiteral("一時停止"), this);
    buttons->addWidget(m_pPause);
    m_pSpan = new QComboBox(this);
    m_pSpan->addItem(QStringLiteral("60秒"), 60);
    m_pSpan->addItem(QStringLiteral("10分"), CTrafficStats::kSeconds);
    buttons->addWidget(new QLabel(QStringLiteral("表示範囲"), this));
    buttons->addWidget(m_pSpan);
    buttons->addStretch(1);
    auto *csv = new QPushButton(QStringLiteral("CSVで保存"), this);
    auto *png = new QPushButton(QStringLiteral("画像で保存"), this);
    auto *reset = new QPushButton(QStringLiteral("ﾘｾｯﾄ"), this);
    for (QPushButton *button : {csv, png, reset})
        buttons->addWidget(button);
    layout->addLayout(buttons);

    connect(m_pSpan, &QComboBox::currentIndexChanged, this, [this] { Refresh(); });
    connect(m_pPause, &QCheckBox::toggled, this, [this](bool paused) { SetPaused(paused); });
    connect(csv, &QPushButton::clicked, this, [this] { AskAndSave(true); });
    connect(png, &QPushButton::clicked, this, [this] { AskAndSave(false); });
    connect(reset, &QPushButton::clicked, this, &CStatsWnd::Reset);
    m_timer.setInterval(kRefreshMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { Refresh(); });
    resize(720, 560);
    Refresh();
}

QLabel *CStatsWnd::AddFigure(const QString &name)
{
    auto *label = new QLabel(QStringLiteral("-"), this);
    label->setObjectName(name);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_figures[name] = label;
    return label;
}

void CStatsWnd::SetFigure(const QString &name, const QString &text)
{
    QLabel *label = m_figures.at(name);
    if (label->text() != text)
        label->setText(text);
}

QString CStatsWnd::Figure(const QString &name) const
{
    const auto it = m_figures.find(name);
    return it == m_figures.end() ? QString() : it->second->text();
}

int CStatsWnd::Span() const
{
    return m_pSpan->currentData().toInt();
}

void CStatsWnd::SetSpan(int seconds)
{
    m_pSpan->setCurrentIndex(qMax(0, m_pSpan->findData(seconds)));
}

void CStatsWnd::Refresh(CTrafficStats::Clock::time_point now)
{
    const CTrafficStats &stats = *m_pStats;
    const CTrafficStats::Counts &total = stats.SinceConnect();
    const CTrafficStats::Counts last = stats.LastSecond(now).counts;
    const double elapsed = stats.Elapsed(now);
    for (int r = 0; r < 4; ++r) {
        const QString name = QLatin1String(kCountRows[r].first);
        SetFigure(name + QStringLiteral(".total"), Whole(Field(total, r)));
        SetFigure(name + QStringLiteral(".rate"), elapsed > 0.0 ? Rate(double(Field(total, r)) / elapsed) : QStringLiteral("-"));
        SetFigure(name + QStringLiteral(".last"), Whole(Field(last, r)));
    }
    SetFigure(QStringLiteral("largestIn"), Whole(stats.LargestIn()));
    SetFigure(QStringLiteral("largestOut"), Whole(stats.LargestOut()));
    SetFigure(QStringLiteral("elapsed"), QString::number(elapsed, 'f', 1));
    SetFigure(QStringLiteral("reconnects"), Whole(stats.Reconnects()));
    const CEndpoint::Gauges gauges = m_fnGauges ? m_fnGauges() : CEndpoint::Gauges{};
    SetFigure(QStringLiteral("sendQueued"), Known(gauges.sendQueued));
    SetFigure(QStringLiteral("queueDrops"), Known(gauges.queueDrops));
    SetFigure(QStringLiteral("kernelDrops"), Known(gauges.kernelDrops));
    const CTrafficStats::Responses responses = stats.ResponseTimes();
    SetFigure(QStringLiteral("response.count"), Whole(responses.count));
    const bool timed = responses.count > 0;
    SetFigure(QStringLiteral("response.min"), timed ? Ms(responses.min) : QStringLiteral("-"));
    SetFigure(QStringLiteral("response.p50"), timed ? Ms(responses.p50) : QStringLiteral("-"));
    SetFigure(QStringLiteral("response.p95"), timed ? Ms(responses.p95) : QStringLiteral("-"));
    SetFigure(QStringLiteral("response.p99"), timed ? Ms(responses.p99) : QStringLiteral("-"));
    SetFigure(QStringLiteral("response.max"), timed ? Ms(responses.max) : QStringLiteral("-"));

    // The chart's seconds and histogram change once a second (or with the span, or a reset); paused,
    // it holds its picture while the figures go on (a reset empties it still).
    const qint64 second = stats.SecondOf(now);
    if ((IsPaused() && m_nChartSecond >= 0) || (second == m_nChartSecond && m_pChart->Shown().span == Span()))
        return;
    m_nChartSecond = second;
    CTrafficChart::Picture picture;
    picture.span = Span();
    picture.seconds = stats.History(picture.span, now);
    if (responses.count > 0) {
        picture.p50 = responses.p50;
        picture.p99 = responses.p99;
    }
    for (int i = 0; i < stats.BucketCount(); ++i) {
        if (const qint64 count = stats.BucketCountAt(i))
            picture.histogram.emplace_back(CTrafficStats::BucketLowerBound(i), count);
    }
    m_pChart->SetPicture(std::move(picture));
}

bool CStatsWnd::SaveCsv(const QString &path, QString *error) const
{
    int code = 0;
    if (WriteWholeFile(path, m_pStats->Csv(QDateTime::currentDateTime()), &code))
        return true;
    if (error)
        *error = FileErrorText(code);
    return false;
}

bool CStatsWnd::SavePng(const QString &path, QString *error) const
{
    return SaveWidgetPng(m_pChart, path, error);
}

void CStatsWnd::Reset()
{
    m_pStats->Reset();
    m_nChartSecond = -1;
    Refresh();
}

void CStatsWnd::AskAndSave(bool csv)
{
    AskAndSaveChartFile(this, csv, [this, csv](const QString &path, QString *error) {
        if (!IsPaused()) {
            m_nChartSecond = -1;  // the picture saved is the latest
            Refresh();
        }
        return csv ? SaveCsv(path, error) : SavePng(path, error);
    });
}

void CStatsWnd::SetPaused(bool paused)
{
    if (m_pPause->isChecked() != paused)
        m_pPause->setChecked(paused);
    // Going on, the chart catches up at once.
    if (!paused) {
        m_nChartSecond = -1;
        Refresh();
    }
}

bool CStatsWnd::IsPaused() const
{
    return m_pPause->isChecked();
}

void CStatsWnd::showEvent(QShowEvent *event)
{
    Refresh();
    m_timer.start();
    QWidget::showEvent(event);
}

void CStatsWnd::hideEvent(QHideEvent *event)
{
    m_timer.stop();
    QWidget::hideEvent(event);
}
