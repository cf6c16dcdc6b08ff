// TLS peers for tests: certificates made with the openssl command in a temporary folder, and
// `openssl s_server` / `s_client` on loopback as the far end, driven through their standard streams.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class OpenSslCerts
{
public:
    OpenSslCerts();
    bool IsValid() const { return m_bValid; }
    // A self-signed certificate for `names` (first: the common name; "IP:…" or DNS names) with its
    // key beside it: <base>.pem and <base>.key. `expired`: valid one day in 2020 only.
    bool Make(const QString &base, const QStringList &names, bool expired = false);
    // <base>.key encrypted with `passphrase` as <to>.key (AES-256), beside <base>.pem copied to <to>.pem.
    bool Encrypt(const QString &base, const QString &to, const QString &passphrase);
    QString Cert(const QString &base) const { return m_dir.filePath(base + QStringLiteral(".pem")); }
    QString Key(const QString &base) const { return m_dir.filePath(base + QStringLiteral(".key")); }
    QString Path(const QString &name) const { return m_dir.filePath(name); }

private:
    bool Run(const QStringList &arguments);
    QTemporaryDir m_dir;
    bool m_bValid = false;
};

class OpenSslPeer
{
public:
    ~OpenSslPeer();
    // `openssl s_server` on `host` (127.0.0.1, or "[::1]") and a port of the system's choice; false
    // when it does not listen.
    bool StartServer(const QStringList &arguments, const QString &host = QStringLiteral("127.0.0.1"));
    // `openssl s_client` to 127.0.0.1:`port`.
    bool StartClient(quint16 port, const QStringList &arguments);
    quint16 Port() const { return m_nPort; }
    // Writes to the peer's standard input (the peer sends it over TLS).
    void Write(const QByteArray &data);
    // All the peer has printed so far (received data and its own lines).
    QByteArray Output();
    QProcess &Process() { return m_process; }

private:
    QProcess m_process;
    QByteArray m_output;
    quint16 m_nPort = 0;
};
