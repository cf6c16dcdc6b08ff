// The message windows' working tools: find bar and filter, save, record to file, and the display
// choices of the context menu, kept in the profile.
#include "display/ui/cmessagewnd.h"

#include "display/ui/cdumpview.h"
#include "display/ui/cfindbar.h"
#include "display/clinerecorder.h"
#include "display/ui/clineview.h"
#include "platform/cinifile.h"
#include "platform/fileerrortext.h"
#include "platform/prompts.h"
#include "platform/wholefile.h"

#include <QAction>
#include <QActionGroup>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

namespace {

const char *const kFileFilter = "ﾃｷｽﾄ ﾌｧｲﾙ (*.txt)|*.txt|ﾛｸﾞ ﾌｧｲﾙ (*.log)|*.log|すべてのﾌｧｲﾙ (*.*)|*.*||";

QAction *Toggle(QWidget *owner, const QString &text)
{
    auto *action = new QAction(text, owner);
    action->setCheckable(true);
    return action;
}

}  // namespace

void CMessageWnd::CreateTools()
{
    const bool history = m_nKind == KIND_HISTORY;
    m_pFindBar = new CFindBar(history, this);
    m_pFindBar->hide();
    connect(m_pFindBar, &CFindBar::SearchChanged, this, &CMessageWnd::OnSearchChanged);
    connect(m_pFindBar, &CFindBar::FilterChanged, this, &CMessageWnd::OnFilterChanged);
    connect(m_pFindBar, &CFindBar::NextRequested, this, [this] { GoToMatch(true); });
    connect(m_pFindBar, &CFindBar::PreviousRequested, this, [this] { GoToMatch(false); });
    connect(m_pFindBar, &CFindBar::CloseRequested, this, &CMessageWnd::HideFindBar);
    // After ｸﾘｱ has emptied the text area (queued: the button's own handler runs first).
    connect(m_pClear, &QPushButton::clicked, this, [this] {
        if (!m_pFindBar->isHidden())
            ShowMatchCount();
    }, Qt::QueuedConnection);

    m_pFind = new QAction(QStringLiteral("検索(&F)..."), this);
    m_pFind->setShortcut(QKeySequence::Find);
    connect(m_pFind, &QAction::triggered, this, &CMessageWnd::ShowFindBar);
    m_pSave = new QAction(QStringLiteral("名前を付けて保存..."), this);
    m_pSave->setShortcut(QKeySequence::Save);
    connect(m_pSave, &QAction::triggered, this, &CMessageWnd::SaveAs);
    for (QAction *action : {m_pFind, m_pSave}) {
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
    }

    m_pRecord = Toggle(this, QStringLiteral("ファイルに記録..."));
    connect(m_pRecord, &QAction::triggered, this, [this](bool on) {
        if (on)
            StartRecording();
        else
            StopRecording();
    });
    m_pMilliseconds = Toggle(this, QStringLiteral("ﾐﾘ秒まで表示"));
    connect(m_pMilliseconds, &QAction::triggered, this, &CMessageWnd::SetMilliseconds);
    if (history) {
        m_pResponseTime = Toggle(this, QStringLiteral("応答時間を表示"));
        connect(m_pResponseTime, &QAction::triggered, this, &CMessageWnd::SetResponseTime);
        m_pEncodingMenu = new QMenu(QStringLiteral("ﾃｷｽﾄ表示の文字ｺｰﾄﾞ"), this);
        m_pEncodings = new QActionGroup(this);
        const QString names[] = {QStringLiteral("日本語 (Shift-JIS)"), QStringLiteral("UTF-8"), QStringLiteral("Latin-1")};
        for (int e = 0; e < CTextDecoding::kEncodings; ++e) {
            QAction *action = m_pEncodingMenu->addAction(names[e]);
            action->setCheckable(true);
            action->setData(e);
            m_pEncodings->addAction(action);
            connect(action, &QAction::triggered, this,
                    [this, e] { SetEncoding(static_cast<CTextDecoding::Encoding>(e)); });
        }
        m_pControlMarks = Toggle(this, QStringLiteral("制御文字を表示"));
        connect(m_pControlMarks, &QAction::triggered, this, &CMessageWnd::SetControlMarks);
        CreateChecksumTools();
        CreateDumpTools(CIniFile(CIniFile::ProfilePath()));
        CreateTraceTools();
        CreateSequenceTools();
        CreatePrintTools();
    }
    m_pText->SetMenuActions(MenuActions());
    if (m_pDump)
        m_pDump->SetMenuActions(MenuActions());
    ReadOptions();
}

bool CMessageWnd::event(QEvent *event)
{
    // F3 and Shift+F3 step through the finds while this window is active, before any shortcut: a key
    // of the whole program (a command of the ｺﾏﾝﾄﾞ一覧) would otherwise make both ambiguous, and
    // neither would run. Elsewhere that key works as it is.
    if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
        if (key->key() == Qt::Key_F3 && (modifiers == Qt::NoModifier || modifiers == Qt::ShiftModifier)) {
            if (event->type() == QEvent::KeyPress)
                GoToMatch(modifiers == Qt::NoModifier);
            event->accept();
            return true;
        }
    }
    return CMsgWnd<QWidget>::event(event);
}

QList<QAction *> CMessageWnd::MenuActions() const
{
    QList<QAction *> actions{m_pFind, m_pSave, m_pRecord, m_pMilliseconds};
    if (m_nKind == KIND_HISTORY)
        actions << m_pResponseTime << m_pEncodingMenu->menuAction() << m_pControlMarks << m_pChecksum << m_pChecksumSearch
                << m_pNextBad << m_pPreviousBad << m_pDumpView << m_pSpacedHex << m_pSaveTrace << m_pRecordTrace << m_pTraceDissector
                << m_pSaveSequence << m_pPrint;
    return actions;
}

QString CMessageWnd::MillisecondsKey() const
{
    return m_nKind == KIND_HISTORY ? QStringLiteral("HistoryMilliseconds") : QStringLiteral("LogMilliseconds");
}

void CMessageWnd::ReadOptions()
{
    const CIniFile profile(CIniFile::ProfilePath());
    const QString section = QString::fromLatin1(kProfileSection);
    auto read = [&](bool &option, QAction *action, const QString &key) {
        option = profile.GetInt(section, key, 0) != 0;
        action->setChecked(option);
    };
    read(m_bMilliseconds, m_pMilliseconds, MillisecondsKey());
    if (m_nKind != KIND_HISTORY)
        return;
    read(m_bResponseTime, m_pResponseTime, QStringLiteral("ResponseTime"));
    m_encoding = CTextDecoding::FromName(profile.GetString(section, QStringLiteral("Encoding"), QString()));
    m_pEncodings->actions().at(m_encoding)->setChecked(true);
    read(m_bControlMarks, m_pControlMarks, QStringLiteral("ControlMarks"));
    ReadChecksumOptions(profile);
}

void CMessageWnd::WriteOption(const QString &key, const QString &value) const
{
    CIniFile profile(CIniFile::ProfilePath());
    profile.WriteString(QString::fromLatin1(kProfileSection), key, value);
}

void CMessageWnd::SetToggle(bool &option, QAction *action, const QString &key, bool on)
{
    if (!action)
        return;  // a choice the window does not offer (the Log's History-only ones)
    option = on;
    action->setChecked(on);
    WriteOption(key, QString::number(on ? 1 : 0));
}

void CMessageWnd::SetMilliseconds(bool on)
{
    SetToggle(m_bMilliseconds, m_pMilliseconds, MillisecondsKey(), on);
}

void CMessageWnd::SetResponseTime(bool on)
{
    SetToggle(m_bResponseTime, m_pResponseTime, QStringLiteral("ResponseTime"), on);
}

void CMessageWnd::SetEncoding(CTextDecoding::Encoding encoding)
{
    if (!m_pEncodings)
        return;
    m_encoding = encoding;
    m_pEncodings->actions().at(encoding)->setChecked(true);
    WriteOption(QStringLiteral("Encoding"), CTextDecoding::Name(encoding));
}

void CMessageWnd::SetControlMarks(bool on)
{
    SetToggle(m_bControlMarks, m_pControlMarks, QStringLiteral("ControlMarks"), on);
}

QString CMessageWnd::ResponseText(std::chrono::nanoseconds since)
{
    const double ms = std::chrono::duration<double, std::milli>(since).count();
    return QStringLiteral("(+%1 ms) ").arg(ms, 0, 'f', 3);
}

void CMessageWnd::ShowFindBar()
{
    if (!m_pFindBar)
        return;
    const bool wasHidden = m_pFindBar->isHidden();
    m_pFindBar->show();
    PlaceTextArea();
    m_pFindBar->Edit()->setFocus();
    m_pFindBar->Edit()->selectAll();
    if (wasHidden) {
        OnSearchChanged();
        OnFilterChanged();
    }
}

void CMessageWnd::HideFindBar()
{
    if (!m_pFindBar || m_pFindBar->isHidden())
        return;
    m_pFindBar->hide();
    m_pText->SetSearch(CLineSearch());
    m_pText->SetFilter(false, 0);
    if (m_pDump) {
        m_pDump->SetPattern(QByteArray());
        m_pDump->SetFilter(0, false);
    }
    PlaceTextArea();
    (ShowsDump() ? static_cast<QWidget *>(m_pDump) : m_pText)->setFocus();
}

void CMessageWnd::OnSearchChanged()
{
    if (m_pFindBar->isHidden())
        return;
    if (ShowsDump()) {
        m_pDump->SetPattern(DumpPattern());
        m_pDump->GoToMatch(true);
        ShowMatchCount();
        return;
    }
    m_pText->SetSearch(m_pFindBar->Search());
    m_pText->GoToMatch(true);
    ShowMatchCount();
}

void CMessageWnd::OnFilterChanged()
{
    if (m_pFindBar->isHidden())
        return;
    if (ShowsDump())
        m_pDump->SetFilter(m_pFindBar->Direction(), m_pFindBar->MatchingOnly());
    else
        m_pText->SetFilter(m_pFindBar->MatchingOnly(), m_pFindBar->Direction());
    ShowMatchCount();
}

void CMessageWnd::GoToMatch(bool forward)
{
    if (m_pFindBar->isHidden()) {
        ShowFindBar();
        return;
    }
    if (ShowsDump())
        m_pDump->GoToMatch(forward);
    else
        m_pText->GoToMatch(forward);
    ShowMatchCount();
}

void CMessageWnd::ShowMatchCount()
{
    if (ShowsDump())
        m_pFindBar->ShowCount(m_pDump->CurrentMatch(), m_pDump->Model().MatchTotal(), m_pFindBar->Search().IsValid());
    else
        m_pFindBar->ShowCount(m_pText->CurrentMatch(), m_pText->MatchTotal(), m_pText->Search().IsValid());
}

bool CMessageWnd::SaveAs()
{
    Prompts::FileRequest request;
    request.open = false;
    request.filter = QString::fromUtf8(kFileFilter);
    request.defaultExtension = QStringLiteral("txt");
    request.overwritePrompt = true;
    request.kind = QStringLiteral("txt");
    const QString path = Prompts::Instance().FileName(this, request);
    if (path.isEmpty())
        return false;
    QString error;
    if (SaveTo(path, &error))
        return true;
    Prompts::Instance().MessageBox(this, QStringLiteral("%1 に保存できません。\n%2").arg(path, error),
                                   Prompts::AppTitle(), Prompts::Ok, Prompts::Exclamation);
    return false;
}

bool CMessageWnd::SaveTo(const QString &path, QString *error) const
{
    // Written beside the file and renamed over it at the end: a failure leaves the old file.
    const QByteArray bytes = ShownText();
    int code = 0;
    if (WriteWholeFile(path, bytes, &code))
        return true;
    if (error)
        *error = FileErrorText(code);
    return false;
}

QByteArray CMessageWnd::ShownText() const
{
    QByteArray bytes;
    const CLineStore &store = m_pText->Store();
    if (ShowsDump())
        bytes = m_pDump->Model().Text();
    for (int row = 0; row < m_pText->RowCount() && !ShowsDump(); ++row)
        bytes += store.At(m_pText->LineOfRow(row)).Utf8();
    return bytes;
}

bool CMessageWnd::StartRecording()
{
    Prompts::FileRequest request;
    request.open = false;
    request.filter = QString::fromUtf8(kFileFilter);
    request.defaultExtension = QStringLiteral("log");
    request.kind = QStringLiteral("txt");
    const QString path = Prompts::Instance().FileName(this, request);
    if (path.isEmpty() || !StartRecordingTo(path)) {
        m_pRecord->setChecked(IsRecording());
        return false;
    }
    return true;
}

bool CMessageWnd::StartRecordingTo(const QString &path)
{
    StopRecording();
    auto recorder = std::make_unique<CLineRecorder>();
    QString error;
    if (!recorder->Open(path, &error)) {
        m_pRecord->setChecked(false);
        Prompts::Instance().MessageBox(this, QStringLiteral("%1 に記録できません。\n%2").arg(path, error),
                                       Prompts::AppTitle(), Prompts::Ok, Prompts::Exclamation);
        return false;
    }
    connect(recorder.get(), &CLineRecorder::Failed, this, &CMessageWnd::OnRecordFailed);
    m_recordWhen = 0;
    m_pRecorder = std::move(recorder);
    m_pRecord->setChecked(true);
    // The caption says so while it lasts: a menu tick alone is easily missed.
    m_strPlainTitle = windowTitle();
    setWindowTitle(m_strPlainTitle + QStringLiteral("  記録中: ") + QFileInfo(path).fileName());
    return true;
}

void CMessageWnd::StopRecording()
{
    if (m_pRecorder)
        setWindowTitle(m_strPlainTitle);
    m_pRecorder.reset();
    if (m_pRecord)
        m_pRecord->setChecked(false);
}

void CMessageWnd::OnRecordFailed(const QString &cause)
{
    if (!m_pRecorder)
        return;
    const QString path = m_pRecorder->Path();
    StopRecording();
    Prompts::Instance().MessageBox(
        this, QStringLiteral("%1 に記録できません。\n%2\nﾌｧｲﾙへの記録を終了しました。").arg(path, cause),
        Prompts::AppTitle(), Prompts::Ok, Prompts::Exclamation);
}
