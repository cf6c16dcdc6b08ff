// The History's checksum check: asking for the rule, the menu entries that step to the next bad
// telegram, and the choice kept in the profile.
#include "display/ui/cmessagewnd.h"

#include "display/ui/cdumpview.h"
#include "display/ui/cfindbar.h"
#include "display/ui/clineview.h"
#include "platform/cinifile.h"
#include "platform/prompts.h"

#include <QAction>
#include <QInputDialog>

namespace {

const char *const kCheckKey = "ChecksumCheck";
const char *const kRuleKey = "ChecksumRule";

}  // namespace

void CMessageWnd::CreateChecksumTools()
{
    m_pChecksum = new QAction(QStringLiteral("ﾁｪｯｸｻﾑ検査..."), this);
    m_pChecksum->setCheckable(true);
    connect(m_pChecksum, &QAction::triggered, this, [this](bool on) {
        if (on)
            StartChecksumCheck();
        else
            StopChecksumCheck();
    });
    m_pNextBad = new QAction(QStringLiteral("次のﾁｪｯｸｻﾑ異常"), this);
    m_pNextBad->setShortcut(QKeySequence(Qt::Key_F4));
    connect(m_pNextBad, &QAction::triggered, this, [this] { GoToBadChecksum(true); });
    m_pPreviousBad = new QAction(QStringLiteral("前のﾁｪｯｸｻﾑ異常"), this);
    m_pPreviousBad->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F4));
    connect(m_pPreviousBad, &QAction::triggered, this, [this] { GoToBadChecksum(false); });
    for (QAction *action : {m_pNextBad, m_pPreviousBad}) {
        action->setShortcutContext(Qt::WindowShortcut);
        action->setEnabled(false);
        addAction(action);
    }
}

void CMessageWnd::ReadChecksumOptions(const CIniFile &profile)
{
    const QString section = QString::fromLatin1(kProfileSection);
    const QString rule = profile.GetString(section, QString::fromLatin1(kRuleKey), QString());
    QString error;
    if (profile.GetInt(section, QString::fromLatin1(kCheckKey), 0) != 0)
        ApplyChecksumCheck(rule, &error);  // a rule spoilt in the profile leaves the check off
}

bool CMessageWnd::StartChecksumCheck()
{
    if (!m_pChecksum)
        return false;
    // The last rule first, then the usual ones.
    QStringList rules = CChecksumCheck::Suggestions();
    QString rule = CIniFile(CIniFile::ProfilePath())
                       .GetString(QString::fromLatin1(kProfileSection), QString::fromLatin1(kRuleKey), QString());
    const QString label = QStringLiteral("ﾁｪｯｸｻﾑの指定: 名前[:from=n,end=m,before=16進,le|be,ascii|bin]\n"
                                         "例: CRC-16/MODBUS:le (Modbus RTU), LRC/ASCII:from=1,before=0D0A (Modbus ASCII)");
    for (;;) {
        if (!rule.isEmpty()) {
            rules.removeAll(rule);
            rules.prepend(rule);
        }
        bool ok = false;
        rule = QInputDialog::getItem(this, QStringLiteral("ﾁｪｯｸｻﾑ検査"), label, rules, 0, true, &ok);
        if (!ok)
            break;
        QString error;
        if (SetChecksumCheck(rule, &error))
            return true;
        Prompts::Instance().MessageBox(this, error, Prompts::AppTitle(), Prompts::Ok, Prompts::Exclamation);
    }
    m_pChecksum->setChecked(m_pText->ChecksumCheck() != nullptr);
    return false;
}

bool CMessageWnd::SetChecksumCheck(const QString &rule, QString *error)
{
    if (!ApplyChecksumCheck(rule, error))
        return false;
    WriteOption(QString::fromLatin1(kRuleKey), ChecksumRule());
    WriteOption(QString::fromLatin1(kCheckKey), QStringLiteral("1"));
    return true;
}

bool CMessageWnd::ApplyChecksumCheck(const QString &rule, QString *error)
{
    std::unique_ptr<CChecksumCheck> check;
    if (!m_pChecksum || (!rule.isNull() && !(check = CChecksumCheck::Create(rule, error, kHexByteLimit))))
        return false;
    const bool on = check != nullptr;
    m_pText->SetChecksumCheck(std::move(check));
    if (m_pDump)
        m_pDump->SetChecksumCheck(m_pText->ChecksumCheck());
    m_pChecksum->setChecked(on);
    m_pNextBad->setEnabled(on);
    m_pPreviousBad->setEnabled(on);
    return true;
}

void CMessageWnd::StopChecksumCheck()
{
    if (ApplyChecksumCheck(QString(), nullptr))
        WriteOption(QString::fromLatin1(kCheckKey), QStringLiteral("0"));
}

QString CMessageWnd::ChecksumRule() const
{
    return m_pText && m_pText->ChecksumCheck() ? m_pText->ChecksumCheck()->RuleText() : QString();
}

bool CMessageWnd::GoToBadChecksum(bool forward)
{
    if (!m_pText || !m_pText->ChecksumCheck())
        return false;
    if (m_pFindBar->isHidden())
        ShowFindBar();
    const int row = ShowsDump() ? m_pDump->GoToBadTelegram(forward) : m_pText->GoToBadLine(forward);
    if (row >= 0)
        m_pFindBar->ShowNote(QStringLiteral("ﾁｪｯｸｻﾑ異常 %1行目").arg(row + 1), false);
    else
        m_pFindBar->ShowNote(forward ? QStringLiteral("末尾まで異常なし") : QStringLiteral("先頭まで異常なし"),
                             true);
    return row >= 0;
}
