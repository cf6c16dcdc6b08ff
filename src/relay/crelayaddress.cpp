#include "relay/crelayaddress.h"

#include "document/cconnectiontype.h"
#include "document/cqndoc.h"

namespace {

bool TakePrefix(const QString &text, const char *prefix, QString *rest)
{
    const QLatin1String start(prefix);
    if (!text.startsWith(start, Qt::CaseInsensitive))
        return false;
    *rest = text.mid(start.size());
    return true;
}

bool IsWildcardHost(const QString &host)
{
    return host.isEmpty() || host == QLatin1String("0.0.0.0") || host == QLatin1String("::") || host == QLatin1String("*");
}

}  // namespace

QString CRelayAddress::FormsText()
{
    return QStringLiteral("ﾎｽﾄ:ﾎﾟｰﾄ, tls://ﾎｽﾄ:ﾎﾟｰﾄ, listen:[ﾎｽﾄ:]ﾎﾟｰﾄ, tls-listen:[ﾎｽﾄ:]ﾎﾟｰﾄ, "
                          "udp://ﾎｽﾄ:ﾎﾟｰﾄ[@自ﾎﾟｰﾄ], /dev/ttyX[:ﾎﾞｰﾚｰﾄ]");
}

bool CRelayAddress::SplitHostPort(const QString &text, QString *host, QString *port)
{
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon < 0)
        return false;
    *host = text.left(colon);
    *port = text.mid(colon + 1);
    if (host->startsWith(QLatin1Char('[')) && host->endsWith(QLatin1Char(']')))
        *host = host->mid(1, host->size() - 2);
    bool number = false;
    const int value = port->toInt(&number);
    return number && value >= 0 && value <= 65535 && !port->startsWith(QLatin1Char('+'));
}

bool CRelayAddress::Parse(const QString &text, const CQnDoc *defaults, CRelayAddress *out, QString *error)
{
    CQnDoc doc = defaults ? *defaults : CQnDoc();
    CRelayAddress side;
    side.text = text;
    const auto fail = [&](const QString &why) {
        *error = why + QStringLiteral(": ") + text;
        return false;
    };
    QString rest;
    QString host;
    QString port;
    bool tls = false;
    if (TakePrefix(text, "listen:", &rest) || (tls = TakePrefix(text, "tls-listen:", &rest))) {
        const QString hostPort = rest.contains(QLatin1Char(':')) ? rest : QStringLiteral(":") + rest;
        if (!SplitHostPort(hostPort, &host, &port) || port.isEmpty())
            return fail(QStringLiteral("待ち受けは listen:[ﾎｽﾄ:]ﾎﾟｰﾄ で指定してください"));
        // The server listens on every address of the machine.
        if (!IsWildcardHost(host))
            return fail(QStringLiteral("待ち受けのﾎｽﾄは 0.0.0.0 か :: だけです (すべてのｱﾄﾞﾚｽで待ち受けます)"));
        side.type = TYPE_TCP_SERVER;
        side.role = Role::Listen;
        doc.SetSlotString(CQnDoc::SLOT_SERVER_PORT, port);
        // One client at a time, numbered, so that the relay can end its connection.
        doc.SetSlotString(CQnDoc::SLOT_SERVER_CLIENTS, QStringLiteral("1"));
        if (tls) {
            doc.SetSlotString(CQnDoc::SLOT_SERVER_TLS_FIRST, QStringLiteral("1"));
            if (doc.GetSlotString(CQnDoc::SLOT_SERVER_TLS_FIRST + 1).isEmpty() ||
                doc.GetSlotString(CQnDoc::SLOT_SERVER_TLS_FIRST + 2).isEmpty())
                return fail(QStringLiteral("tls-listen には設定ﾌｧｲﾙ (--settings) のｻｰﾊﾞｰ証明書と秘密鍵が必要です"));
        } else {
            doc.SetSlotString(CQnDoc::SLOT_SERVER_TLS_FIRST, QStringLiteral("0"));
        }
    } else if (TakePrefix(text, "udp://", &rest)) {
        QString own = QStringLiteral("0");
        const qsizetype at = rest.lastIndexOf(QLatin1Char('@'));
        if (at >= 0) {
            own = rest.mid(at + 1);
            rest = rest.left(at);
            bool number = false;
            const int value = own.toInt(&number);
            if (!number || value < 0 || value > 65535)
                return fail(QStringLiteral("UDP の自ﾎﾟｰﾄは 0～65535 で指定してください"));
        }
        if (!SplitHostPort(rest, &host, &port) || host.isEmpty() || port.toInt() == 0)
            return fail(QStringLiteral("UDP は udp://ﾎｽﾄ:ﾎﾟｰﾄ[@自ﾎﾟｰﾄ] で指定してください"));
        side.type = TYPE_UDP;
        side.role = Role::Always;
        doc.SetSlotString(CQnDoc::SLOT_UDP_ADDRESS, host);
        doc.SetSlotString(CQnDoc::SLOT_UDP_PORT, port);
        doc.SetSlotString(CQnDoc::SLOT_UDP_OWN_PORT, own);
    } else if (text.startsWith(QLatin1String("/dev/"))) {
        const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
        QString baud = colon > 0 ? text.mid(colon + 1) : QString();
        if (colon > 0 && (baud.toInt() <= 0 || baud.startsWith(QLatin1Char('+'))))
            return fail(QStringLiteral("ｼﾘｱﾙは /dev/ttyX:ﾎﾞｰﾚｰﾄ で指定してください"));
        side.type = TYPE_SERIAL;
        side.role = Role::Always;
        doc.SetSlotString(CQnDoc::SLOT_SERIAL_DEVICE, colon > 0 ? text.left(colon) : text);
        if (!baud.isEmpty())
            doc.SetSlotString(CQnDoc::SLOT_SERIAL_BAUD, baud);
    } else {
        tls = TakePrefix(text, "tls://", &rest);
        if (!tls)
            rest = text;
        if (!SplitHostPort(rest, &host, &port) || host.isEmpty() || port.toInt() == 0)
            return fail(QStringLiteral("相手は ") + FormsText() + QStringLiteral(" のどれかで指定してください"));
        side.type = TYPE_TCP_CLIENT;
        side.role = Role::Connect;
        doc.SetSlotString(CQnDoc::SLOT_CLIENT_ADDRESS, host);
        doc.SetSlotString(CQnDoc::SLOT_CLIENT_PORT, port);
        if (!defaults || doc.GetSlotString(CQnDoc::SLOT_CLIENT_OWN_PORT).isEmpty())
            doc.SetSlotString(CQnDoc::SLOT_CLIENT_OWN_PORT, QStringLiteral("0"));
        doc.SetSlotString(CQnDoc::SLOT_CLIENT_TLS_FIRST, tls ? QStringLiteral("1") : QStringLiteral("0"));
    }
    const CConnectionType *row = CConnectionType::Find(side.type);
    side.settings = CConnectionType::Texts(doc, row->EndpointSlots());
    *out = side;
    return true;
}
