#include "app/ui/caboutdlg.h"

#include "res/appresources.h"
#include "res/commandids.h"
#include "platform/qnwin.h"

#include <QLabel>

CAboutDlg::CAboutDlg(QWidget *parent) : CQnDialog(QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報 (Quillnet)"), 242, 83, parent)
{
    // An icon control takes the icon's own size (32 × 32 pixels) at its template position.
    auto *icon = AddItem(IDC_ABOUT_ICON, new QLabel, 11, 17, 21, 20);
    icon->setPixmap(AppIcon().pixmap(32, 32));
    icon->resize(32, 32);
    auto *text = AddItem(IDC_ABOUT_TEXT, new QLabel(QStringLiteral("Quillnet ver.3.01")), 61, 27, 119, 8);
    text->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    AddButton(IDOK, QStringLiteral("OK"), 203, 7, 32, 14, true);
}
