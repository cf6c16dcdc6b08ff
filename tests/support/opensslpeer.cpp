#include "opensslpeer.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QRegularExpression>

OpenSslCerts::OpenSslCerts()
{
    m_bValid = m_dir.isValid();
}

bool OpenSslCerts::Run(const QStringList &arguments)
{
    QProcess openssl;
    openssl.setWorkingDirectory(m_dir.path());
    openssl.start(QStringLiteral("openssl"), arguments);
    return openssl.waitForFinished(30000) && openssl.exitStatus() == QProcess::NormalExit && openssl.exitCode() == 0;
}

bool OpenSslCerts::Make(const QString &base, const QStringList &names, bool expired)
{
    QStringList alternatives;
    for (const QString &name : names)
        alternatives.append(name.startsWith(QStringLiteral("IP:")) ? name : QStringLiteral("DNS:") + name);
    const QStringList key = {QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                             QStringLiteral("ec_paramgen_curve:P-256"), QStringLiteral("-nodes"),
                             QStringLiteral("-keyout"), Key(base), QStringLiteral("-subj"),
                             QStringLiteral("/CN=") + names.value(0).remove(QStringLiteral("IP:")),
                             QStringLiteral("-addext"), QStringLiteral("subjectAltName=") + alternatives.join(QLatin1Char(','))};
    if (!expired)
        return Run(QStringList{QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-days"), QStringLiteral("2")} + key +
                   QStringList{QStringLiteral("-out"), Cert(base)});
    // `req` cannot date a certificate in the past; `ca` signing it with its own key can.
    QFile config(Path(base + QStringLiteral(".cnf")));
    if (!config.open(QIODevice::WriteOnly))
        return false;
    config.write("[ca]\ndefault_ca = d\n[d]\ndatabase = " + QFile::encodeName(base) + ".idx\nnew_certs_dir = .\n"
                 "serial = " + QFile::encodeName(base) + ".srl\ndefault_md = sha256\npolicy = p\n"
                 "copy_extensions = copy\n[p]\ncommonName = supplied\n");
    config.close();
    QFile(Path(base + QStringLiteral(".idx"))).open(QIODevice::WriteOnly);
    QFile serial(Path(base + QStringLiteral(".srl")));
    if (!serial.open(QIODevice::WriteOnly) || serial.write("01\n") != 3)
        return false;
    serial.close();
    return Run(QStringList{QStringLiteral("req"), QStringLiteral("-new")} + key +
               QStringList{QStringLiteral("-out"), Path(base + QStringLiteral(".csr"))}) &&
           Run({QStringLiteral("ca"), QStringLiteral("-batch"), QStringLiteral("-config"), config.fileName(),
                QStringLiteral("-selfsign"), QStringLiteral("-keyfile"), Key(base), QStringLiteral("-in"),
                Path(base + QStringLiteral(".csr")), QStringLiteral("-out"), Cert(base), QStringLiteral("-notext"),
                QStringLiteral("-startdate"), QStringLiteral("20200101000000Z"), QStringLiteral("-enddate"),
                QStringLiteral("20200102000000Z")});
}

bool OpenSslCerts::Encrypt(const QString &base, const QString &to, const QString &passphrase)
{
    QFile::remove(Cert(to));
    return QFile::copy(Cert(base), Cert(to)) &&
           Run({QStringLiteral("pkey"), QStringLiteral("-in"), Key(base), QStringLiteral("-aes256"), QStringLiteral("-passout"),
                QStringLiteral("pass:") + passphrase, QStringLiteral("-out"), Key(to)});
}

OpenSslPeer::~OpenSslPeer()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool OpenSslPeer::StartServer(const QStringList &arguments, const QString &host)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(QStringLiteral("openssl"), QStringList{QStringLiteral("s_server"), QStringLiteral("-accept"),
                                                           host + QStringLiteral(":0"), QStringLiteral("-naccept"),
                                                           QStringLiteral("1")} + arguments);
    const QRegularExpression accept(QStringLiteral("ACCEPT ") + QRegularExpression::escape(host) + QStringLiteral(":([0-9]+)"));
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired() && m_process.waitForReadyRead(int(qMax<qint64>(deadline.remainingTime(), 1)))) {
        const QRegularExpressionMatch match = accept.match(QString::fromLatin1(Output()));
        if (match.hasMatch()) {
            m_nPort = quint16(match.captured(1).toUInt());
            return true;
        }
    }
    return false;
}

bool OpenSslPeer::StartClient(quint16 port, const QStringList &arguments)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(QStringLiteral("openssl"), QStringList{QStringLiteral("s_client"), QStringLiteral("-connect"),
                                                           QStringLiteral("127.0.0.1:%1").arg(port)} + arguments);
    m_nPort = port;
    return m_process.waitForStarted(10000);
}

void OpenSslPeer::Write(const QByteArray &data)
{
    m_process.write(data);
}

QByteArray OpenSslPeer::Output()
{
    m_output += m_process.readAll();
    return m_output;
}
