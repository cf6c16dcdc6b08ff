#include "session/ui/csockettypedlg.h"

#include "res/commandids.h"
#include "platform/qnwin.h"

#include <QButtonGroup>
#include <QRadioButton>

CSocketTypeDlg::CSocketTypeDlg(QWidget *parent)
    : CQnDialog(QStringLiteral("ﾀｲﾌﾟ"), 131, 82, parent), m_pGroup(new QButtonGroup(this))
{
    AddButton(IDOK, QStringLiteral("OK"), 84, 7, 40, 14, true);
    AddButton(IDCANCEL, QStringLiteral("ｷｬﾝｾﾙ"), 84, 25, 40, 14, false);
    // The types with their mnemonics, as wide as the room up to the buttons.
    m_pGroup->addButton(AddItem(IDC_TYPE_UDP, new QRadioButton(QStringLiteral("&UDP/IP")), 7, 7, 76, 14), TYPE_UDP);
    m_pGroup->addButton(AddItem(IDC_TYPE_TCP_SERVER, new QRadioButton(QStringLiteral("TCP/IP (ｻｰﾊﾞｰ)(&S)")), 7, 24, 76, 14),
                        TYPE_TCP_SERVER);
    m_pGroup->addButton(AddItem(IDC_TYPE_TCP_CLIENT, new QRadioButton(QStringLiteral("TCP/IP (ｸﾗｲｱﾝﾄ)(&C)")), 7, 41, 76, 14),
                        TYPE_TCP_CLIENT);
    m_pGroup->addButton(AddItem(IDC_TYPE_SERIAL, new QRadioButton(QStringLiteral("ｼﾘｱﾙ(&R)")), 7, 58, 76, 14), TYPE_SERIAL);
}

void CSocketTypeDlg::DoDataExchange(bool save)
{
    if (save) {
        m_nType = m_pGroup->checkedId();
        return;
    }
    // A type outside the group leaves no button checked, as the radio group does.
    if (QAbstractButton *button = m_pGroup->button(m_nType)) {
        button->setChecked(true);
    } else if (QAbstractButton *checked = m_pGroup->checkedButton()) {
        m_pGroup->setExclusive(false);
        checked->setChecked(false);
        m_pGroup->setExclusive(true);
    }
}

void CSocketTypeDlg::OnInitDialog()
{
    CQnDialog::OnInitDialog();
    // The dialog opens on the chosen type, so that the arrow keys move from it.
    QAbstractButton *checked = m_pGroup->checkedButton();
    (checked ? checked : m_pGroup->buttons().value(0))->setFocus(Qt::OtherFocusReason);
}
