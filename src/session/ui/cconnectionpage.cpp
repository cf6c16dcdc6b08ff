#include "session/ui/cconnectionpage.h"

#include "res/commandids.h"
#include "session/ui/cserialsettingdlg.h"
#include "session/ui/csocketsettingdlg.h"

namespace {

bool EditSerial(QWidget *parent, QStringList *texts, QString *reconnect)
{
    CSerialSettingDlg dialog(parent);
    dialog.m_texts = *texts;
    dialog.m_strReconnect = reconnect ? *reconnect : QString();
    if (dialog.DoModal() != IDOK)
        return false;
    *texts = dialog.m_texts;
    if (reconnect)
        *reconnect = dialog.m_strReconnect;
    return true;
}

const CConnectionPage kPages[] = {
    {TYPE_UDP, u"&UDP/IP", IDC_TYPE_UDP, nullptr, {u"接続先ｱﾄﾞﾚｽ", u"接続先ﾎﾟｰﾄ", u"ﾎﾟｰﾄ"},
     &CSocketSettingDlg::AddMulticastFields},
    {TYPE_TCP_SERVER, u"TCP/IP (ｻｰﾊﾞｰ)(&S)", IDC_TYPE_TCP_SERVER, nullptr, {u"ﾎﾟｰﾄ", u"", u""},
     &CSocketSettingDlg::AddClientFields},
    {TYPE_TCP_CLIENT, u"TCP/IP (ｸﾗｲｱﾝﾄ)(&C)", IDC_TYPE_TCP_CLIENT, nullptr, {u"ｻｰﾊﾞｰ ｱﾄﾞﾚｽ", u"ｻｰﾊﾞｰ ﾎﾟｰﾄ", u"ｸﾗｲｱﾝﾄﾎﾟｰﾄ (0)"},
     &CSocketSettingDlg::AddClientTlsButton},
    {TYPE_SERIAL, u"ｼﾘｱﾙ(&R)", IDC_TYPE_SERIAL, &EditSerial, {}, nullptr},
};

}  // namespace

std::span<const CConnectionPage> CConnectionPage::All()
{
    return kPages;
}

const CConnectionPage *CConnectionPage::Find(int type)
{
    for (const CConnectionPage &page : kPages) {
        if (page.type == type)
            return &page;
    }
    return nullptr;
}
