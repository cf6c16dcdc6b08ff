// The History's dump view: the menu entry (Ctrl+D) and its profile key, and what find, filter, save
// and record do while it is shown.
#include "display/ui/cmessagewnd.h"

#include "display/ui/cdumpview.h"
#include "display/ui/cfindbar.h"
#include "display/ui/clineview.h"
#include "platform/cinifile.h"
#include "platform/cp932.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

namespace {

const char *const kDumpKey = "DumpView";
const char *const kSpacedHexKey = "SpacedHex";

}  // namespace

void CMessageWnd::CreateDumpTools(const CIniFile &profile)
{
    m_pDump = new CDumpView(m_pText->Store(), this);
    m_pDump->setFont(m_font);
    m_pDump->hide();
    m_pDumpView = new QAction(QStringLiteral("ﾀﾞﾝﾌﾟ表示"), this);
    m_pDumpView->setCheckable(true);
    m_pDumpView->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    m_pDumpView->setShortcutContext(Qt::WindowShortcut);
    addAction(m_pDumpView);
    connect(m_pDumpView, &QAction::triggered, this, &CMessageWnd::SetDumpView);
    connect(m_pDump, &CDumpView::CaughtUp, this, [this] {
        if (!m_pFindBar->isHidden())
            ShowMatchCount();
    });
    connect(m_pClear, &QPushButton::clicked, m_pDump, [this] { m_pDump->Refresh(false); }, Qt::QueuedConnection);
    m_bDump = profile.GetInt(QString::fromLatin1(kProfileSection), QString::fromLatin1(kDumpKey), 0) != 0;
    m_pDumpView->setChecked(m_bDump);
    m_pSpacedHex = new QAction(QStringLiteral("16進をｽﾍﾟｰｽで区切る"), this);
    m_pSpacedHex->setCheckable(true);
    connect(m_pSpacedHex, &QAction::triggered, this, &CMessageWnd::SetSpacedHex);
    const bool spaced = profile.GetInt(QString::fromLatin1(kProfileSection), QString::fromLatin1(kSpacedHexKey), 0) != 0;
    m_pSpacedHex->setChecked(spaced);
    m_pText->SetSpacedHex(spaced);
}

void CMessageWnd::SetSpacedHex(bool on)
{
    if (!m_pSpacedHex)
        return;
    m_pSpacedHex->setChecked(on);
    WriteOption(QString::fromLatin1(kSpacedHexKey), QString::number(on ? 1 : 0));
    m_pText->SetSpacedHex(on);
}

bool CMessageWnd::SpacedHex() const
{
    return m_pText && m_pText->SpacedHex();
}

void CMessageWnd::SetDumpView(bool on)
{
    if (!m_pDumpView)
        return;
    m_bDump = on;
    m_pDumpView->setChecked(on);
    WriteOption(QString::fromLatin1(kDumpKey), QString::number(on ? 1 : 0));
    m_pDump->SetChecksumCheck(m_pText->ChecksumCheck());
    PlaceTextArea();
    if (m_pFindBar && !m_pFindBar->isHidden()) {
        OnSearchChanged();
        OnFilterChanged();
    }
    (on ? static_cast<QWidget *>(m_pDump) : m_pText)->setFocus();
    if (on)
        m_pDump->Refresh(!m_pNoScroll->isChecked());
}

QByteArray CMessageWnd::DumpPattern() const
{
    const CLineSearch search = m_pFindBar->Search();
    if (!search.IsActive())
        return QByteArray();
    const QString text = m_pFindBar->Edit()->text();
    if (m_pFindBar->ModeBox()->currentIndex() == 1)
        return QByteArray::fromHex(text.toLatin1());
    // Text as the bytes it is in the History's text encoding.
    switch (m_encoding) {
    case CTextDecoding::Utf8:
        return text.toUtf8();
    case CTextDecoding::Latin1:
        return text.toLatin1();
    default:
        return ToCp932(text);
    }
}
