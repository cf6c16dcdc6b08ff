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
    : m_parts{{QString(), stats, std::move(gauges)}}
{
    Build();
}

CStatsWnd::CStatsWnd(std::vector<Direction> directions) : m_parts(std::move(directions))
{
    Build();
}

void CStatsWnd::Build()
{
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    // Like the other tool windows, it does not keep the program running after the main window closes.
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(IsRelay() ? QStringLiteral("中継 通信統計") : QStringLiteral("通信統計"));

    auto *layout = new QVBoxLayout(this);
    auto *table = new QGridLayout;
    // A relay counts from its start (or ﾘｾｯﾄ), across the connections of its sides.
    const QString heads[] = {IsRelay() ? QStringLiteral("開始から") : QStringLiteral("接続から"), QStringLiteral("平均/秒"),
                             QStringLiteral("直近1秒")};
    for (int c = 0; c < 3; ++c)
        table->addWidget(new QLabel(heads[c], this), 0, c + 1, Qt::AlignRight);
    const char *const columns[] = {".total", ".rate", ".last"};
    int row = 1;
    for (const Direction &part : m_parts) {
        const QString caption = part.name.isEmpty() ? QString() : part.name + QLatin1Char(' ');
        const QString prefix = part.name.isEmpty() ? QString() : part.name + QLatin1Char('.');
        for (int r = 0; r < 4; ++r, ++row) {
            table->addWidget(new QLabel(caption + QString::fromUtf8(kCountRows[r].second), this), row, 0);
            for (int c = 0; c < 3; ++c)
                table->addWidget(AddFigure(prefix + QLatin1String(kCountRows[r].first) + QLatin1String(columns[c])), row,
                                 c + 1, Qt::AlignRight);
        }
    }
    table->setColumnStretch(4, 1);
    table->setHorizontalSpacing(24);
    layout->addLayout(table);

    // Label and figure pairs, a line each.
    const auto line = [&](const QString &prefix, std::initializer_list<std::pair<const char *, const char *>> pairs) {
        auto *row = new QHBoxLayout;
        for (const auto &[caption, name] : pairs) {
            const bool first = row->count() == 0;
            row->addWidget(new QLabel((first ? prefix : QString()) + QString::fromUtf8(caption), this));
            row->addWidget(AddFigure((prefix.isEmpty() ? QString() : prefix.trimmed() + QLatin1Char('.')) + QLatin1String(name)));
            row->addSpacing(12);
        }
        row->addStretch(1);
        layout->addLayout(row);
    };
    if (IsRelay()) {
        for (const Direction &part : m_parts)
            line(part.name + QLatin1Char(' '), {{"最大電文 受信", "largestIn"}, {"送信", "largestOut"}, {"送信待ちﾊﾞｲﾄ", "sendQueued"},
                                               {"受信ｷｭｰ破棄", "queueDrops"}, {"ｶｰﾈﾙ破棄", "kernelDrops"}});
        line(QString(), {{"経過秒", "elapsed"}});
    } else {
        line(QString(), {{"最大電文 受信", "largestIn"}, {"送信", "largestOut"}, {"経過秒", "elapsed"}, {"再接続", "reconnects"}});
        line(QString(), {{"送信待ちﾊﾞｲﾄ", "sendQueued"}, {"受信ｷｭｰ破棄", "queueDrops"}, {"ｶｰﾈﾙ破棄", "kernelDrops"}});
        line(QString(), {{"応答時間(ms) 件数", "response.count"},
                         {"最小", "response.min"},
                         {"p50", "response.p50"},
                         {"p95", "response.p95"},
                         {"p99", "response.p99"},
                         {"最大", "response.max"}});
    }

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
    resize(720, IsRelay() ? 680 : 560);
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
    for (const Direction &part : m_parts) {
        const CTrafficStats &stats = *part.stats;
        const QString prefix = part.name.isEmpty() ? QString() : part.name + QLatin1Char('.');
        const CTrafficStats::Counts &total = stats.SinceConnect();
        const CTrafficStats::Counts last = stats.LastSecond(now).counts;
        const double elapsed = stats.Elapsed(now);
        for (int r = 0; r < 4; ++r) {
            const QString name = prefix + QLatin1String(kCountRows[r].first);
            SetFigure(name + QStringLiteral(".total"), Whole(Field(total, r)));
            SetFigure(name + QStringLiteral(".rate"), elapsed > 0.0 ? Rate(double(Field(total, r)) / elapsed) : QStringLiteral("-"));
            SetFigure(name + QStringLiteral(".last"), Whole(Field(last, r)));
        }
        SetFigure(prefix + QStringLiteral("largestIn"), Whole(stats.LargestIn()));
        SetFigure(prefix + QStringLiteral("largestOut"), Whole(stats.LargestOut()));
        const CEndpoint::Gauges gauges = part.gauges ? part.gauges() : CEndpoint::Gauges{};
        SetFigure(prefix + QStringLiteral("sendQueued"), Known(gauges.sendQueued));
        SetFigure(prefix + QStringLiteral("queueDrops"), Known(gauges.queueDrops));
        SetFigure(prefix + QStringLiteral("kernelDrops"), Known(gauges.kernelDrops));
    }
    const CTrafficStats &stats = *m_parts.front().stats;
    SetFigure(QStringLiteral("elapsed"), QString::number(stats.Elapsed(now), 'f', 1));
    if (!IsRelay()) {
        SetFigure(QStringLiteral("reconnects"), Whole(stats.Reconnects()));
        const CTrafficStats::Responses responses = stats.ResponseTimes();
        SetFigure(QStringLiteral("response.count"), Whole(responses.count));
        const bool timed = responses.count > 0;
        SetFigure(QStringLiteral("response.min"), timed ? Ms(responses.min) : QStringLiteral("-"));
        SetFigure(QStringLiteral("response.p50"), timed ? Ms(responses.p50) : QStringLiteral("-"));
        SetFigure(QStringLiteral("response.p95"), timed ? Ms(responses.p95) : QStringLiteral("-"));
        SetFigure(QStringLiteral("response.p99"), timed ? Ms(responses.p99) : QStringLiteral("-"));
        SetFigure(QStringLiteral("response.max"), timed ? Ms(responses.max) : QStringLiteral("-"));
    }

    // The chart's seconds and histogram change once a second (or with the span, or a reset); paused,
    // it holds its picture while the figures go on (a reset empties it still).
    const qint64 second = stats.SecondOf(now);
    if ((IsPaused() && m_nChartSecond >= 0) || (second == m_nChartSecond && m_pChart->Shown().span == Span()))
        return;
    m_nChartSecond = second;
    CTrafficChart::Picture picture;
    picture.span = Span();
    if (IsRelay()) {
        picture.seconds = RelaySeconds(picture.span, now);
        picture.inName = m_parts[0].name;
        picture.outName = m_parts[1].name;
        m_pChart->SetPicture(std::move(picture));
        return;
    }
    picture.seconds = stats.History(picture.span, now);
    if (const CTrafficStats::Responses responses = stats.ResponseTimes(); responses.count > 0) {
        picture.p50 = responses.p50;
        picture.p99 = responses.p99;
    }
    for (int i = 0; i < stats.BucketCount(); ++i) {
        if (const qint64 count = stats.BucketCountAt(i))
            picture.histogram.emplace_back(CTrafficStats::BucketLowerBound(i), count);
    }
    m_pChart->SetPicture(std::move(picture));
}

std::vector<CTrafficStats::Second> CStatsWnd::RelaySeconds(int count, CTrafficStats::Clock::time_point now) const
{
    // The directions are reset together, so their seconds line up; aligned at the latest either way.
    const std::vector<CTrafficStats::Second> first = m_parts[0].stats->History(count, now);
    const std::vector<CTrafficStats::Second> second = m_parts[1].stats->History(count, now);
    std::vector<CTrafficStats::Second> seconds(std::max(first.size(), second.size()));
    for (size_t i = 0; i < first.size(); ++i) {
        CTrafficStats::Counts &counts = seconds[seconds.size() - first.size() + i].counts;
        counts.bytesIn = first[i].counts.bytesOut;
        counts.telegramsIn = first[i].counts.telegramsOut;
    }
    for (size_t i = 0; i < second.size(); ++i) {
        CTrafficStats::Counts &counts = seconds[seconds.size() - second.size() + i].counts;
        counts.bytesOut = second[i].counts.bytesOut;
        counts.telegramsOut = second[i].counts.telegramsOut;
    }
    return seconds;
}

bool CStatsWnd::SaveCsv(const QString &path, QString *error) const
{
    const QDateTime wallNow = QDateTime::currentDateTime();
    const auto now = CTrafficStats::Clock::now();
    QByteArray csv;
    if (!IsRelay()) {
        csv = m_parts.front().stats->Csv(wallNow, now);
    } else {
        // One file for both directions: each line starts with its direction.
        for (const Direction &part : m_parts) {
            const QList<QByteArray> lines = part.stats->Csv(wallNow, now).split('\n');
            for (qsizetype i = csv.isEmpty() ? 0 : 1; i < lines.size(); ++i) {
                if (!lines[i].isEmpty())
                    csv += (i == 0 ? QByteArray("direction") : part.name.toLatin1()) + ',' + lines[i] + '\n';
            }
        }
    }
    int code = 0;
    if (WriteWholeFile(path, csv, &code))
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
    const auto now = CTrafficStats::Clock::now();
    for (const Direction &part : m_parts)
        part.stats->Reset(now);
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
