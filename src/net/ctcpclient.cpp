#include "net/ctcpclient.h"

#include "net/ctcpclientsettings.h"
#include "net/ctcpsoc.h"
#include "net/ctlscontext.h"
#include "net/ctlssoc.h"
#include "net/socketlog.h"
#include "platform/csocketaddress.h"

#include <sys/socket.h>

CTCPClient::CTCPClient(QObject *view, char *logBuf) : m_pView(view), m_pLogBuf(logBuf)
{
}

CTCPClient::~CTCPClient() = default;

QString CTCPClient::ConnectLogText(const QString &address, int port, int ownPort)
{
    // One substitution for all three: an address is free text and may itself hold "%1".
    return QStringLiteral("ｿｹｯﾄ接続  ｻｰﾊﾞｱﾄﾞﾚｽ:%1 ｻｰﾊﾞﾎﾟｰﾄ:%2 QNﾎﾟｰﾄ:%3")
        .arg(address, QString::number(port), QString::number(ownPort));
}

int CTCPClient::SocketKind() const
{
    return SOCK_STREAM;
}

QString CTCPClient::DestinationHost(const QStringList &settings) const
{
    CTcpClientSettings client;
    QString error;
    CTcpClientSettings::Parse(settings, &client, &error);
    return client.address;
}

QString CTCPClient::DestinationText(const QStringList &settings) const
{
    CTcpClientSettings client;
    QString error;
    CTcpClientSettings::Parse(settings, &client, &error);
    return QStringLiteral("接続先 ") + CSocketAddress::JoinHostPort(client.address, unsigned(client.PortNumber()));
}

bool CTCPClient::Open(const QStringList &settings, QString *logText)
{
    CTcpClientSettings client;
    QString error;
    CTcpClientSettings::Parse(settings, &client, &error);
    const QString address = client.address;
    const int port = client.PortNumber();
    const int ownPort = client.OwnPortNumber();
    Close();
    m_lastFailure = {};
    m_strDestination = DestinationText(settings);
    m_pTls = nullptr;
    if (client.tls.m_bUse) {
        std::shared_ptr<const CTlsContext> context = CTlsContext::MakeForOpen(client.tls, &m_lastFailure);
        if (!context) {
            // The Log names the file and the library's words; the pane says it briefly.
            SendSocketLog(m_pLogBuf, m_pView, m_lastFailure.LogText(), LOG_ERROR, u"[CTCPSoc(Term)]");
            return false;
        }
        auto soc = std::make_unique<CTlsSoc>(m_pView, 1, m_pLogBuf, std::move(context));
        soc->SetPeerName(address);
        m_pTls = soc.get();
        m_pSoc = std::move(soc);
    } else {
        m_pSoc = std::make_unique<CTCPSoc>(m_pView, 1, m_pLogBuf, CTCPSoc::ROLE_TERM);
    }
    if (!m_pSoc->Create(unsigned(ownPort)) || !m_pSoc->Connect(address, unsigned(port))) {
        Close();
        return false;
    }
    *logText = ConnectLogText(address, port, ownPort);
    return true;
}

void CTCPClient::Close()
{
    if (!m_pSoc)
        return;
    if (m_pSoc->LastFailure().IsSet())
        m_lastFailure = m_pSoc->LastFailure();
    m_pSoc->Close();
    m_pTls = nullptr;
    m_pSoc.reset();
}

int CTCPClient::Send(const void *data, int length)
{
    return m_pSoc ? m_pSoc->Send(data, length) : 0;
}

int CTCPClient::Receive(void *buffer, int length)
{
    return m_pSoc ? m_pSoc->Receive(buffer, length) : 0;
}

bool CTCPClient::HasPeer() const
{
    return m_pSoc && !m_pSoc->PeerClosed();
}

CEndpoint::Description CTCPClient::Describe() const
{
    Description description;
    QString own;
    if (m_pSoc)
        SocketName(m_pSoc->m_hSocket, false, &own, &description.ownPort);
    // The destination as typed; the settings cannot change while it is in use.
    description.text = m_pSoc && m_pSoc->PeerClosed() ? QStringLiteral("相手が切断しました (") + m_strDestination + QLatin1Char(')')
                                              : m_strDestination + QStringLiteral(" 接続済");
    if (m_pTls && m_pTls->IsEstablished()) {
        description.text += QLatin1Char(' ') + m_pTls->Summary();
        if (m_pTls->IsUnverified()) {
            description.text += QStringLiteral(" 未検証");
            description.warning = true;
        }
    }
    return description;
}

SocketFailure CTCPClient::LastFailure() const
{
    return m_pSoc && m_pSoc->LastFailure().IsSet() ? m_pSoc->LastFailure() : m_lastFailure;
}

bool CTCPClient::IsNoticeFrom(std::uint64_t serial) const
{
    return m_pSoc && m_pSoc->Serial() == serial;
}

CEndpoint::Gauges CTCPClient::ReadGauges() const
{
    Gauges gauges;
    if (m_pSoc)
        gauges.sendQueued = m_pSoc->QueuedBytes();
    return gauges;
}

bool CTCPClient::TraceEndsOf(int, bool, TraceEnds *ends) const
{
    if (!m_pSoc || !CachedStreamEnds(m_pSoc->m_hSocket, m_pSoc->Serial(), ends))
        return false;
    ends->ownOpened = true;
    ends->tls = m_pTls != nullptr;
    return true;
}
