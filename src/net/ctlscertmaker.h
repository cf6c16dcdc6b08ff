// Makes a self-signed certificate and key for testing: ECDSA P-256, SHA-256, the names the user
// gives as subject alternative names (IP addresses as such), the first of them as the common name.
#pragma once

#include <QString>
#include <QStringList>

class CTlsCertMaker
{
public:
    // Days the certificate is valid from now.
    static constexpr int kValidDays = 365;

    // The names of a comma- or blank-separated text ("localhost, 127.0.0.1").
    static QStringList Names(const QString &text);
    // Writes the certificate to `certPath` and the key (readable by the owner only, from the moment
    // its file exists) to `keyPath`, both PEM; each is written to a new file beside its path and
    // renamed over it, so a link at the path is replaced, never followed. False with the reason in
    // `error`.
    static bool Make(const QStringList &names, const QString &certPath, const QString &keyPath, QString *error);
};
