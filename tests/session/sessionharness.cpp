#include "sessionharness.h"

#include "display/ui/cmessagewnd.h"
#include "net/loopbackpeer.h"
#include "support/sessionprobe.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>

namespace {

constexpr int kStampLength = 19;  // "12/07/06 09:05:03  "

QStringList WithoutStamps(const QStringList &lines)
{
    QStringList out;
    for (const QString &line : lines)
        out << line.mid(kStampLength);
    return out;
}

// Posted last: once it is handled, every message posted before it has been handled too.
class Marker : public QObject
{
public:
    bool seen = false;
    bool event(QEvent *e) override
    {
        if (e->type() == QEvent::User) {
            seen = true;
            return true;
        }
        return QObject::event(e);
    }
};

}  // namespace

SessionHarness::SessionHarness() : m_pFrame(std::make_unique<CMainFrame>())
{
    m_doc.OnNewDocument();
    View()->OnInitialUpdate(&m_doc);
}

SessionHarness::~SessionHarness()
{
    m_pFrame.reset();
}

void SessionHarness::Configure(int type, const QStringList &slotTexts, int firstSlot)
{
    m_doc.SetSocketType(static_cast<ConnectionType>(type));
    for (int i = 0; i < slotTexts.size(); ++i)
        m_doc.SetSlotString(firstSlot + i, slotTexts[i]);
    View()->OnInitialUpdate(&m_doc);
}

void SessionHarness::ConfigureTcpServer()
{
    // Never a port found free and released: another process may take it before the program binds it.
    Configure(TYPE_TCP_SERVER, {QStringLiteral("0")}, CQnDoc::SLOT_SERVER_PORT);
}

void SessionHarness::ConfigureUdp(quint16 peerPort)
{
    Configure(TYPE_UDP, {QStringLiteral("127.0.0.1"), QString::number(peerPort), QStringLiteral("0")}, 0);
}

quint16 SessionHarness::OwnPort() const
{
    return quint16(SessionProbe::OwnPort(View()));
}

void SessionHarness::Event(int event, LPARAM lParam)
{
    PostMessage(View(), WM_SESSION_EVENT, static_cast<WPARAM>(event), lParam);
    Settle();
}

void SessionHarness::Command(int id)
{
    m_pFrame->OnCommand(id);
    Settle();
}

void SessionHarness::Settle()
{
    // Several rounds: a handler may post again (a relay posts to the view, the view to itself).
    for (int round = 0; round < 3; ++round) {
        Marker marker;
        QCoreApplication::postEvent(&marker, new QEvent(QEvent::User), Qt::LowEventPriority);
        while (!marker.seen)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
}

QStringList SessionHarness::LogLines() const
{
    return WithoutStamps(View()->LogWindow()->Lines());
}

QStringList SessionHarness::HistoryLines() const
{
    return WithoutStamps(View()->HistoryWindow()->Lines());
}

QStringList SessionHarness::NewLogLines()
{
    const QStringList all = LogLines();
    const QStringList fresh = all.mid(m_nLogSeen);
    m_nLogSeen = int(all.size());
    return fresh;
}

QString SessionHarness::TempPath(const QString &name)
{
    const QString dir = qEnvironmentVariable("QN_TEST_TMP", QDir::tempPath());
    QDir().mkpath(dir);
    return QDir(dir).filePath(name);
}
