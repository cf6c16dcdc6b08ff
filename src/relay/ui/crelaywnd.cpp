#include "relay/ui/crelaywnd.h"

#include "display/ui/cmessagewnd.h"
#include "document/cqndoc.h"
#include "relay/crelay.h"
#include "relay/crelaydisturber.h"
#include "relay/crelayreplies.h"
#include "relay/crelayside.h"
#include "relay/crelaysettings.h"
#include "relay/crelaytrace.h"
#include "session/ui/cstatswnd.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QRandomGenerator>
#include <QVBoxLayout>

CRelayWnd::CRelayWnd(CQnDoc *doc, QWidget *parent) : CMsgWnd<QWidget>(parent, Qt::Window), m_pDoc(doc)
{
    setWindowTitle(QStringLiteral("中継"));
    auto *form = new QFormLayout;
    for (int i = 0; i < 2; ++i) {
        m_sides[size_t(i)] = new QLineEdit(this);
        m_sides[size_t(i)]->setPlaceholderText(i == 0 ? QStringLiteral("listen:7000") : QStringLiteral("127.0.0.1:502"));
        form->addRow(i == 0 ? QStringLiteral("相手A") : QStringLiteral("相手B"), m_sides[size_t(i)]);
    }
    for (int d = 0; d < 2; ++d) {
        m_disturb[size_t(d)] = new QLineEdit(this);
        m_disturb[size_t(d)]->setPlaceholderText(QStringLiteral("delay:5 jitter:2 drop:1 corrupt:0.1 split:8 merge:10"));
        form->addRow(QStringLiteral("妨害 ") + CRelay::DirectionText(d), m_disturb[size_t(d)]);
    }
    m_pSeed = new QLineEdit(this);
    m_pSeed->setPlaceholderText(QStringLiteral("空: 開始ごとに新しいｼｰﾄﾞ"));
    form->addRow(QStringLiteral("ｼｰﾄﾞ"), m_pSeed);
    m_pTrace = new QLineEdit(this);
    m_pTrace->setPlaceholderText(QStringLiteral("空: 記録しない"));
    form->addRow(QStringLiteral("pcapng ﾌｧｲﾙ"), m_pTrace);
    m_pReplies = new QComboBox(this);
    m_pReplies->addItems({QStringLiteral("使わない"), QStringLiteral("A>B の電文に答える"), QStringLiteral("B>A の電文に答える")});
    form->addRow(QStringLiteral("応答ﾙｰﾙ"), m_pReplies);
    m_pChecksum = new QLineEdit(this);
    m_pChecksum->setPlaceholderText(QStringLiteral("CRC-16/MODBUS:le (空: 検査しない)"));
    form->addRow(QStringLiteral("ﾁｪｯｸｻﾑ検査"), m_pChecksum);

    m_pStart = new QPushButton(QStringLiteral("開始"), this);
    m_pStop = new QPushButton(QStringLiteral("停止"), this);
    auto *history = new QPushButton(QStringLiteral("送受信履歴"), this);
    auto *statistics = new QPushButton(QStringLiteral("通信統計"), this);
    m_pStop->setEnabled(false);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_pStart);
    buttons->addWidget(m_pStop);
    buttons->addWidget(history);
    buttons->addWidget(statistics);
    m_pState = new QLabel(QStringLiteral("停止中"), this);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->addWidget(m_pState);
    for (int d = 0; d < 2; ++d) {
        m_stats[size_t(d)] = new QLabel(this);
        layout->addWidget(m_stats[size_t(d)]);
    }
    connect(m_pStart, &QPushButton::clicked, this, [this] { Start(); });
    connect(m_pStop, &QPushButton::clicked, this, &CRelayWnd::Stop);
    connect(history, &QPushButton::clicked, this, [this] {
        m_pHistory->setEnabled(true);
        m_pHistory->show();
        m_pHistory->raise();
    });

    connect(statistics, &QPushButton::clicked, this, &CRelayWnd::ShowStatsWindow);

    std::vector<CStatsWnd::Direction> directions;
    for (int d = 0; d < 2; ++d) {
        // A direction's send queue is its far side's (and its disturbance's); its drops, its near side's reader's.
        directions.push_back({CRelay::DirectionText(d), &m_traffic[size_t(d)], [this, d] {
                                  CEndpoint::Gauges gauges;
                                  if (!m_pRelay)
                                      return gauges;
                                  if (const CEndpoint *endpoint = m_pRelay->Side(d).Endpoint())
                                      gauges = endpoint->ReadGauges();
                                  gauges.sendQueued = m_pRelay->Waiting(d);
                                  return gauges;
                              }});
    }
    m_pStatsWnd = std::make_unique<CStatsWnd>(std::move(directions));

    m_pHistory = std::make_unique<CMessageWnd>();
    m_pHistory->Create(this, KIND_HISTORY);
    m_pHistory->setWindowTitle(QStringLiteral("中継 送受信履歴"));
    m_pHistory->setEnabled(true);

    m_statsTimer.setInterval(500);
    connect(&m_statsTimer, &QTimer::timeout, this, &CRelayWnd::RefreshStats);
    LoadFromDocument();
    RefreshStats();
}

CRelayWnd::~CRelayWnd()
{
    Stop();
}

void CRelayWnd::LoadFromDocument()
{
    const CRelaySettings settings = m_pDoc ? CRelaySettings::Read(*m_pDoc) : CRelaySettings();
    m_sides[0]->setText(settings.sideA);
    m_sides[1]->setText(settings.sideB);
    m_disturb[0]->setText(settings.disturbAtoB);
    m_disturb[1]->setText(settings.disturbBtoA);
    m_pSeed->setText(settings.seed);
}

void CRelayWnd::SetState(const QString &text, bool failed)
{
    m_pState->setText(text);
    m_pState->setStyleSheet(failed ? QStringLiteral("color: red") : QString());
}

bool CRelayWnd::Start()
{
    Stop();
    CRelaySettings settings;
    settings.sideA = m_sides[0]->text().trimmed();
    settings.sideB = m_sides[1]->text().trimmed();
    settings.disturbAtoB = m_disturb[0]->text().trimmed();
    settings.disturbBtoA = m_disturb[1]->text().trimmed();
    settings.seed = m_pSeed->text().trimmed();
    if (m_pDoc && settings.Write(m_pDoc))
        m_pDoc->SetModifiedFlag();

    CRelayAddress sides[2];
    QString error;
    for (int i = 0; i < 2; ++i) {
        if (!CRelayAddress::Parse(i == 0 ? settings.sideA : settings.sideB, m_pDoc, &sides[i], &error)) {
            SetState(error, true);
            return false;
        }
    }
    quint64 seed = 0;
    bool seedGiven = !settings.seed.isEmpty();
    if (seedGiven && (seed = settings.seed.toULongLong(&seedGiven), !seedGiven)) {
        SetState(QStringLiteral("ｼｰﾄﾞは 0 以上の整数で指定してください: ") + settings.seed, true);
        return false;
    }
    CRelayDisturber::Spec specs[2];
    for (int d = 0; d < 2; ++d) {
        bool directions[2];
        if (!CRelayDisturber::Parse(d == 0 ? settings.disturbAtoB : settings.disturbBtoA, &specs[d], directions, &seed, &seedGiven, &error)) {
            SetState(error, true);
            return false;
        }
    }
    if (!seedGiven)
        seed = QRandomGenerator::system()->generate64() >> 1;

    m_pRelay = std::make_unique<CRelay>(sides[0], sides[1]);
    for (int d = 0; d < 2; ++d) {
        if (specs[d].IsEmpty())
            continue;
        m_pRelay->SetDisturber(d, std::make_unique<CRelayDisturber>(specs[d], seed + quint64(d)));
        m_pHistory->AddLine(QStringLiteral("妨害 %1: %2 ｼｰﾄﾞ %3").arg(CRelay::DirectionText(d), specs[d].Text()).arg(seed));
    }
    CRelay *relay = m_pRelay.get();
    m_pRelayReplies = std::make_unique<CRelayReplies>(relay);
    if (m_pDoc && !m_pRelayReplies->UseRules(*m_pDoc, m_pReplies->currentIndex() - 1, &error)) {
        Stop();
        SetState(error, true);
        return false;
    }
    if (!m_pRelayReplies->CheckChecksum(m_pChecksum->text().trimmed(), &error)) {
        Stop();
        SetState(QStringLiteral("ﾁｪｯｸｻﾑ: ") + error, true);
        return false;
    }
    connect(m_pRelayReplies.get(), &CRelayReplies::RuleAnswered, this, [this, relay](int direction, int rule, const QByteArray &answer) {
        const QString prefix = CRelay::DirectionText(1 - direction) + QStringLiteral(" 応答ﾙｰﾙ%1 ").arg(rule) +
                               relay->Side(direction).PeerText() + QLatin1Char(' ');
        m_pHistory->AddTelegramLines({prefix}, reinterpret_cast<const unsigned char *>(answer.constData()), int(answer.size()));
    });
    connect(m_pRelayReplies.get(), &CRelayReplies::BadChecksum, this, [this](int direction, const QByteArray &received, const QByteArray &expected) {
        m_pHistory->AddLine(QStringLiteral("%1 ﾁｪｯｸｻﾑ不正 受信 %2 正しくは %3")
                                .arg(CRelay::DirectionText(direction), QString::fromLatin1(received.toHex().toUpper()),
                                     QString::fromLatin1(expected.toHex().toUpper())));
    });
    const auto now = CTrafficStats::Clock::now();
    for (CTrafficStats &traffic : m_traffic)
        traffic.Reset(now);
    connect(relay, &CRelay::Forwarded, this, [this](int direction, const QByteArray &bytes) {
        m_traffic[size_t(direction)].Sent(bytes.size());
    });
    connect(relay, &CRelay::Received, this, [this, relay](int direction, const QByteArray &bytes) {
        m_traffic[size_t(direction)].Received(bytes.size());
        const QString prefix = CRelay::DirectionText(direction) + QLatin1Char(' ') + relay->Side(direction).PeerText() + QLatin1Char(' ');
        m_pHistory->AddTelegramLines({prefix}, reinterpret_cast<const unsigned char *>(bytes.constData()), int(bytes.size()));
    });
    connect(relay, &CRelay::Disturbed, this, [this](int direction, int kind, const QString &text) {
        m_pHistory->AddMark(QStringLiteral("%1 %2 %3").arg(CRelay::DirectionText(direction),
                                                           CRelayDisturber::KindText(CRelayDisturber::Mark::Kind(kind)), text));
    });
    connect(relay, &CRelay::Log, m_pHistory.get(), &CMessageWnd::AddLine);
    const QString tracePath = m_pTrace->text().trimmed();
    if (!tracePath.isEmpty()) {
        m_pTraceWriter = std::make_unique<CRelayTrace>(relay);
        if (!m_pTraceWriter->Open(tracePath, QByteArray(), &error)) {
            Stop();
            SetState(QStringLiteral("pcapng: ") + error, true);
            return false;
        }
    }
    if (!relay->Start(&error)) {
        Stop();
        SetState(error, true);
        return false;
    }
    QString state = QStringLiteral("中継中");
    for (int i = 0; i < 2; ++i) {
        if (sides[i].role == CRelayAddress::Role::Listen)
            state += QStringLiteral("  %1: 待受中 ﾎﾟｰﾄ %2").arg(QChar(u'A' + i)).arg(relay->Side(i).OwnPort());
    }
    SetState(state, false);
    m_pStart->setEnabled(false);
    m_pStop->setEnabled(true);
    m_statsTimer.start();
    return true;
}

void CRelayWnd::Stop()
{
    m_statsTimer.stop();
    if (m_pRelay)
        RefreshStats();
    if (m_pTraceWriter)
        m_pTraceWriter->Close();
    m_pTraceWriter.reset();
    m_pRelayReplies.reset();
    m_pRelay.reset();
    if (m_pStart) {
        m_pStart->setEnabled(true);
        m_pStop->setEnabled(false);
    }
    if (m_pState && !m_pState->text().startsWith(QStringLiteral("停止中")) && m_pState->styleSheet().isEmpty())
        SetState(QStringLiteral("停止中"), false);
}

void CRelayWnd::RefreshStats()
{
    for (int d = 0; d < 2; ++d) {
        CRelay::Counts counts;
        qint64 waiting = 0;
        if (m_pRelay) {
            counts = m_pRelay->DirectionCounts(d);
            waiting = m_pRelay->Waiting(d);
        }
        m_stats[size_t(d)]->setText(QStringLiteral("%1  電文 %2  ﾊﾞｲﾄ %3  送信待ち %4  中継できず %5  受信保留 %6 回")
                                        .arg(CRelay::DirectionText(d))
                                        .arg(counts.telegrams)
                                        .arg(counts.bytes)
                                        .arg(waiting)
                                        .arg(counts.lost)
                                        .arg(counts.holds));
    }
}

void CRelayWnd::ShowStatsWindow()
{
    if (!m_pStatsWnd->isVisible())
        m_pStatsWnd->show();
    m_pStatsWnd->activateWindow();
    m_pStatsWnd->raise();
}

LRESULT CRelayWnd::WindowProc(UINT message, WPARAM, LPARAM)
{
    if (message == WM_CHILD_CLOSE && m_pHistory->isVisible())
        m_pHistory->hide();
    return 0;
}

void CRelayWnd::closeEvent(QCloseEvent *event)
{
    // Closing the window hides it; the relay goes on until 停止.
    hide();
    event->ignore();
}
