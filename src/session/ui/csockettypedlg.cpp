#include "session/ui/csockettypedlg.h"

#include "res/commandids.h"
#include "platform/qnwin.h"
#include "session/ui/cconnectionpage.h"

#include <QButtonGroup>
#include <QRadioButton>

CSocketTypeDlg::CSocketTypeDlg(QWidget *parent)
    : CQnDialog(QStringLiteral("ﾀｲﾌﾟ"), 131, 82, parent), m_pGroup(new QButtonGroup(this))
{
    AddButton(IDOK, QStringLiteral("OK"), 84, 7, 40, 14, true);
    AddButton(IDCANCEL, QStringLiteral("ｷｬﾝｾﾙ"), 84, 25, 40, 14, false);
    // The types with their mnemonics, as wide as the room up to the buttons.
    int y = 7;
    for (const CConnectionPage &page : CConnectionPage::All()) {
        m_pGroup->addButton(AddItem(page.controlId, new QRadioButton(page.Caption()), 7, y, 76, 14), page.type);
        y += 17;
    }
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
