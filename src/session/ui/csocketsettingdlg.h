// The socket settings dialog: the addresses and ports of the current socket type, as free texts.
#pragma once

#include "platform/ui/cqndialog.h"

#include <QString>
#include <QStringList>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

class CSocketSettingDlg : public CQnDialog
{
    Q_OBJECT
public:
    explicit CSocketSettingDlg(QWidget *parent = nullptr);

    // Runs modally showing the labels and fields of `type`; returns IDOK or IDCANCEL.
    int DoModal(int type);
    // Edits the texts of `type`'s setting slots in the dialog of that type (this one for the socket
    // types, a page of its own for a serial line), and the text of its reconnect setting where it
    // has one ("1" on, empty off); false when the user cancels.
    static bool Edit(QWidget *parent, int type, QStringList *texts, QString *reconnect = nullptr);

    QString m_strLabel1;
    QString m_strLabel2;
    QString m_strLabel3;
    QString m_strValue1;
    QString m_strValue2;
    QString m_strValue3;
    // UDP: the added options' slot text (CUdpOptions), edited below the three fields.
    QString m_strOptions;
    int m_nType = 0;
    // TCP client and server: the TLS slots' texts, edited in CTlsSettingDlg through the "TLS" button.
    QStringList m_tlsTexts;
    // TCP client: "1" when it reconnects by itself ("自動再接続"), else empty.
    QString m_strReconnect;
    static constexpr int IDC_RECONNECT = 1307;
    static constexpr int IDC_TLS = 1306;
    static constexpr int IDC_MULTICAST_INTERFACE = 1301;
    static constexpr int IDC_MULTICAST_TTL = 1302;
    static constexpr int IDC_MULTICAST_LOOP = 1303;
    static constexpr int IDC_SHOW_SENDER = 1306;
    // TCP server: the second text is the most clients served at once (empty: one).
    static constexpr int IDC_MANY_CLIENTS = 1304;
    static constexpr int IDC_CLIENT_LIMIT = 1305;
    static constexpr int kDefaultClients = 64;

protected:
    void OnInitDialog() override;
    void DoDataExchange(bool save) override;

public:
    // The fields a type adds below the three (its CConnectionPage names one).
    void AddMulticastFields();
    void AddClientFields();
    void AddClientTlsButton();

private:
    // The "TLS..." button below the fields, at `y`; OK and cancel move below it.
    void AddTlsButton(int y);
    void TabInReadingOrder();

    QLabel *m_pLabels[3];
    QLineEdit *m_pEdits[3];
    QComboBox *m_pInterface = nullptr;
    QSpinBox *m_pTtl = nullptr;
    QCheckBox *m_pLoop = nullptr;
    QCheckBox *m_pShowSender = nullptr;
    QCheckBox *m_pManyClients = nullptr;
    QSpinBox *m_pClientLimit = nullptr;
    QCheckBox *m_pReconnect = nullptr;
};
