// The TLS settings of the TCP client or the TCP server: on or off, verification, certificate and
// key files, ALPN and version, as the texts of the document's TLS slots. The server's page also
// makes a self-signed certificate and key for testing.
#pragma once

#include "platform/ui/cqndialog.h"

#include <QStringList>

#include <vector>

class QLineEdit;

class CTlsSettingDlg : public CQnDialog
{
    Q_OBJECT
public:
    // Control ids: the fields from IDC_TLS_FIELD in slot order, their "..." buttons from IDC_TLS_BROWSE.
    enum : int {
        IDC_TLS_FIELD = 1401,
        IDC_TLS_BROWSE = 1421,
        IDC_CERT_NAMES = 1441,
        IDC_MAKE_CERT = 1442,
    };

    // `server`: the server's page, else the client's.
    explicit CTlsSettingDlg(bool server, QWidget *parent = nullptr);

    // The TLS slots' texts, in order: shown when it opens, the edited ones after OK.
    QStringList m_texts;

protected:
    void DoDataExchange(bool save) override;

private:
    void Browse(int field);
    void MakeCertificate();

    bool m_bServer;
    std::vector<QWidget *> m_fields;
    QLineEdit *m_pNames = nullptr;
};
