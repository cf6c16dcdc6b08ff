#include "session/ui/csocketsettingdlg.h"

#include "res/commandids.h"
#include "document/cconnectiontype.h"
#include "platform/qnwin.h"
#include "session/ui/cconnectionpage.h"

#include "net/ctcpserversettings.h"
#include "session/ui/ctlssettingdlg.h"
#include "net/cudpoptions.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include <algorithm>
#include <utility>

CSocketSettingDlg::CSocketSettingDlg(QWidget *parent) : CQnDialog(QStringLiteral("ｿｹｯﾄ設定"), 125, 75, parent)
{
    const int labelIds[3] = {IDC_SETTING_LABEL1, IDC_SETTING_LABEL2, IDC_SETTING_LABEL3};
    const int editIds[3] = {IDC_SETTING_VALUE1, IDC_SETTING_VALUE2, IDC_SETTING_VALUE3};
    for (int row = 0; row < 3; ++row) {
        const int top = 5 + 16 * row;
        m_pLabels[row] = AddItem(labelIds[row], new QLabel, 7, top, 60, 12);
        m_pLabels[row]->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        m_pEdits[row] = AddItem(editIds[row], new QLineEdit, 70, top, 48, 12);
    }
    AddButton(IDOK, QStringLiteral("OK"), 10, 56, 50, 14, true);
    AddButton(IDCANCEL, QStringLiteral("ｷｬﾝｾﾙ"), 65, 56, 50, 14, false);
}

int CSocketSettingDlg::DoModal(int type)
{
    m_nType = type;
    return CQnDialog::DoModal();
}

bool CSocketSettingDlg::Edit(QWidget *parent, int type, QStringList *texts, QString *reconnect)
{
    const CConnectionPage *page = CConnectionPage::Find(type);
    if (page && page->edit)
        return page->edit(parent, texts, reconnect);
    CSocketSettingDlg dialog(parent);
    dialog.m_strReconnect = reconnect ? *reconnect : QString();
    // The TLS texts follow the type's own.
    const CConnectionType *row = CConnectionType::Find(ConnectionType(type));
    const int tlsAt = row && row->Has(Capability::Tls) ? int(row->SettingSlots().size()) : int(texts->size());
    QString *const values[4] = {&dialog.m_strValue1, &dialog.m_strValue2, &dialog.m_strValue3, &dialog.m_strOptions};
    for (int i = 0; i < 4; ++i)
        *values[i] = i < tlsAt ? texts->value(i) : QString();
    dialog.m_tlsTexts = texts->mid(tlsAt);
    if (dialog.DoModal(type) != IDOK)
        return false;
    for (int i = 0; i < texts->size() && i < 4 && i < tlsAt; ++i)
        (*texts)[i] = *values[i];
    for (int i = tlsAt; i < texts->size(); ++i)
        (*texts)[i] = dialog.m_tlsTexts.value(i - tlsAt);
    if (reconnect)
        *reconnect = dialog.m_strReconnect;
    return true;
}

void CSocketSettingDlg::OnInitDialog()
{
    QString *const labels[3] = {&m_strLabel1, &m_strLabel2, &m_strLabel3};
    if (const CConnectionPage *page = CConnectionPage::Find(m_nType)) {
        for (int i = 0; i < 3; ++i) {
            *labels[i] = page->labels[i] ? QString::fromUtf16(page->labels[i]) : QString();
            m_pEdits[i]->setHidden(labels[i]->isEmpty());
        }
        if (page->addFields)
            (this->*page->addFields)();
    }
    CQnDialog::OnInitDialog();
    TabInReadingOrder();
}

void CSocketSettingDlg::TabInReadingOrder()
{
    // The fields each type adds come after OK and cancel in creation order: Tab goes through the
    // controls as they are read instead, top to bottom and left to right, the buttons last.
    QList<QWidget *> controls;
    for (QWidget *child : findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (child->focusPolicy() & Qt::TabFocus)
            controls.append(child);
    }
    std::stable_sort(controls.begin(), controls.end(), [](const QWidget *a, const QWidget *b) {
        return std::pair(a->y(), a->x()) < std::pair(b->y(), b->x());
    });
    for (qsizetype i = 1; i < controls.size(); ++i)
        setTabOrder(controls[i - 1], controls[i]);
}

void CSocketSettingDlg::AddMulticastFields()
{
    // Below the three fields; they matter only for a group destination (224.0.0.0/4, ff00::/8).
    SetTemplateSize(125, 141);
    auto *caption = AddItem(0, new QLabel(QStringLiteral("ﾏﾙﾁｷｬｽﾄ (接続先がｸﾞﾙｰﾌﾟのとき)")), 7, 53, 112, 10);
    caption->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    AddItem(0, new QLabel(QStringLiteral("ｲﾝﾀｰﾌｪｰｽ")), 7, 65, 60, 12);
    m_pInterface = AddItem(IDC_MULTICAST_INTERFACE, new QComboBox, 70, 65, 48, 12);
    m_pInterface->setEditable(true);
    m_pInterface->addItem(QString());  // the system's choice
    m_pInterface->addItems(CUdpOptions::InterfaceNames());
    m_pInterface->setToolTip(QStringLiteral("空欄: ｼｽﾃﾑの既定"));
    AddItem(0, new QLabel(QStringLiteral("TTL")), 7, 81, 60, 12);
    m_pTtl = AddItem(IDC_MULTICAST_TTL, new QSpinBox, 70, 81, 48, 12);
    m_pTtl->setRange(0, 255);
    m_pLoop = AddItem(IDC_MULTICAST_LOOP, new QCheckBox(QStringLiteral("自分の送信を受信")), 7, 97, 112, 10);
    // Any destination: many devices may send to one port, or to a group.
    m_pShowSender = AddItem(IDC_SHOW_SENDER, new QCheckBox(QStringLiteral("送受信履歴に送信元を表示")), 7, 111, 112, 10);
    m_pShowSender->setToolTip(QStringLiteral("受信した行を R@ｱﾄﾞﾚｽ:ﾎﾟｰﾄ で始めます"));
    for (int id : {IDOK, IDCANCEL})
        AddItem(id, GetDlgItem(id), id == IDOK ? 10 : 65, 122, 50, 14);
}

void CSocketSettingDlg::AddClientFields()
{
    // Below the port: off keeps the one client of the server.
    SetTemplateSize(125, 95);
    m_pManyClients = AddItem(IDC_MANY_CLIENTS, new QCheckBox(QStringLiteral("複数ｸﾗｲｱﾝﾄを受け付ける")), 7, 37, 112, 10);
    auto *limitLabel = AddItem(0, new QLabel(QStringLiteral("最大ｸﾗｲｱﾝﾄ数")), 7, 53, 60, 12);
    m_pClientLimit = AddItem(IDC_CLIENT_LIMIT, new QSpinBox, 70, 53, 48, 12);
    m_pClientLimit->setRange(1, CTcpServerSettings::kMaxClients);
    // The limit counts only while many clients are accepted.
    for (QWidget *limit : {static_cast<QWidget *>(limitLabel), static_cast<QWidget *>(m_pClientLimit)}) {
        limit->setEnabled(false);
        connect(m_pManyClients, &QCheckBox::toggled, limit, &QWidget::setEnabled);
    }
    SetTemplateSize(125, 113);
    AddTlsButton(76);
}

void CSocketSettingDlg::AddClientTlsButton()
{
    SetTemplateSize(125, 107);
    m_pReconnect = AddItem(IDC_RECONNECT, new QCheckBox(QStringLiteral("自動再接続")), 7, 55, 112, 10);
    m_pReconnect->setToolTip(QStringLiteral("相手が切断したときや接続できないとき、0.5秒から10秒まで間隔を延ばしながら接続し直します"));
    AddTlsButton(70);
}

void CSocketSettingDlg::AddTlsButton(int y)
{
    QPushButton *tls = AddButton(IDC_TLS, QStringLiteral("TLS(&L)..."), 10, y, 105, 14, false);
    connect(tls, &QPushButton::clicked, this, [this] {
        const CConnectionType *row = CConnectionType::Find(ConnectionType(m_nType));
        CTlsSettingDlg dialog(row && row->Has(Capability::AcceptsClients), this);
        dialog.m_texts = m_tlsTexts;
        if (dialog.DoModal() == IDOK)
            m_tlsTexts = dialog.m_texts;
    });
    for (int id : {IDOK, IDCANCEL})
        AddItem(id, GetDlgItem(id), id == IDOK ? 10 : 65, y + 18, 50, 14);
}

void CSocketSettingDlg::DoDataExchange(bool save)
{
    if (!save && m_pInterface) {
        // A text that holds no options (written by hand into a file) shows the defaults.
        CUdpOptions options;
        QString error;
        CUdpOptions::Parse(m_strOptions, &options, &error);
        m_pInterface->setCurrentText(options.interfaceName);
        m_pTtl->setValue(options.ttl);
        m_pLoop->setChecked(options.loop);
        m_pShowSender->setChecked(options.showSender);
    }
    if (!save && m_pManyClients) {
        CTcpServerSettings server;
        QString error;
        CTcpServerSettings::Parse({m_strValue1, m_strValue2}, &server, &error);
        m_pManyClients->setChecked(server.clientLimit > 0);
        m_pClientLimit->setValue(server.clientLimit > 0 ? server.clientLimit : kDefaultClients);
    }
    QString *labels[3] = {&m_strLabel1, &m_strLabel2, &m_strLabel3};
    QString *values[3] = {&m_strValue1, &m_strValue2, &m_strValue3};
    for (int row = 0; row < 3; ++row) {
        if (save) {
            *labels[row] = m_pLabels[row]->text();
            *values[row] = m_pEdits[row]->text();
        } else {
            m_pLabels[row]->setText(*labels[row]);
            m_pEdits[row]->setText(*values[row]);
        }
    }
    if (save && m_pInterface) {
        CUdpOptions options;
        options.interfaceName = m_pInterface->currentText().trimmed();
        options.ttl = m_pTtl->value();
        options.loop = m_pLoop->isChecked();
        options.showSender = m_pShowSender->isChecked();
        m_strOptions = options.Text();
    }
    if (m_pReconnect) {
        if (save)
            m_strReconnect = m_pReconnect->isChecked() ? QStringLiteral("1") : QString();
        else
            m_pReconnect->setChecked(m_strReconnect.trimmed() == QLatin1String("1"));
    }
    if (save && m_pManyClients) {
        CTcpServerSettings server;
        server.port = m_strValue1;
        server.clientLimit = m_pManyClients->isChecked() ? m_pClientLimit->value() : 0;
        m_strValue2 = server.Texts().value(1);
    }
}
