#include "app/ui/cqnapp.h"

#include "res/appresources.h"
#include "app/ui/caboutdlg.h"
#include "app/ccommandline.h"
#include "app/ui/cmainframe.h"
#include "res/commandids.h"
#include "document/cqndoc.h"
#include "platform/cinifile.h"
#include "platform/prompts.h"
#include "platform/qnwin.h"
#include "platform/ui/qtprompts.h"
#include "platform/qttranslation.h"
#include "platform/ui/uifonts.h"
#include "session/ui/cqnview.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QThread>

#include <csignal>

namespace {

const char *const kDocTemplate = "Quillnet\n\nQn\nQn ﾌｧｲﾙ (*.qn)\n.qn\nQn.Document\nQn Document";
constexpr int kTemplateWindowTitle = 0;
constexpr int kTemplateFilterName = 3;
constexpr int kTemplateFilterExt = 4;

// Socket start-up as Linux needs it: a peer's reset must end a send with an error, not the process.
bool InitSockets()
{
    struct sigaction action = {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    return ::sigaction(SIGPIPE, &action, nullptr) == 0;
}

}  // namespace

CQnApp::CQnApp()
    : m_recentFiles(ID_FILE_MRU_COUNT, QStringLiteral("Recent File List"), QStringLiteral("File%1"))
{
}

CQnApp::~CQnApp()
{
    ExitInstance();
}

int CQnApp::Run()
{
    QtPrompts prompts;
    Prompts *previous = Prompts::Install(&prompts);
    int result = 1;
    if (InitInstance(QCoreApplication::arguments()))
        result = QApplication::exec();
    ExitInstance();
    Prompts::Install(previous);
    return result;
}

bool CQnApp::InitInstance(const QStringList &arguments)
{
    // Qt's standard dialogs in Japanese, as the rest of the program; English where it is missing.
    InstallQtTranslation();
    if (!InitSockets()) {
        Prompts::Instance().MessageBox(nullptr, QStringLiteral("Windows ｿｹｯﾄの初期化に失敗しました。"),
                                       Prompts::AppTitle(), Prompts::Ok, Prompts::Exclamation);
        return false;
    }
    InstallFontSubstitutions();
    InitAppResources();
    QApplication::setWindowIcon(AppIcon());
    QGuiApplication::setDesktopFileName(QLatin1String(kAppId));
    m_recentFiles.ReadList(CIniFile(CIniFile::ProfilePath()));

    m_pDocument = std::make_unique<CQnDoc>();
    m_pMainWnd = std::make_unique<CMainFrame>();
    m_pMainWnd->SetCloseQuery([this] { return GetView()->CanCloseFrame() && SaveModified(); });
    // The program ends with its main window, whatever tool windows are still open: they are windows
    // of their own, and Qt's quit would wait for them. Outside the event loop there is nothing to end.
    connect(m_pMainWnd.get(), &CMainFrame::Closed, this, [] {
        if (QThread::currentThread()->loopLevel() > 0)
            QCoreApplication::exit(0);
    });
    connect(m_pMainWnd.get(), &CMainFrame::AppCommand, this, &CQnApp::OnCommand);
    connect(m_pMainWnd.get(), &CMainFrame::FileDropped, this, &CQnApp::OpenDocumentFile);
    UpdateRecentFileMenu();

    // The command line: an optional document path (the window system's options are gone by now).
    CCommandLine commandLine;
    if (commandLine.Parse(arguments) != CCommandLine::Run)
        return false;
    const QString path = commandLine.DocumentPath();
    if (path.isEmpty()) {
        OnFileNew();
    } else if (!OpenDocumentFile(path)) {
        return false;
    }
    m_pMainWnd->ActivateFrame();
    return true;
}

void CQnApp::ExitInstance()
{
    m_pMainWnd.reset();
}

CQnView *CQnApp::GetView() const
{
    return m_pMainWnd ? m_pMainWnd->GetActiveView() : nullptr;
}

void CQnApp::OnCommand(int id)
{
    if (id >= ID_FILE_MRU_FILE1 && id < ID_FILE_MRU_FILE1 + ID_FILE_MRU_COUNT) {
        // An entry that cannot be opened is dropped from the list.
        const int index = id - ID_FILE_MRU_FILE1;
        const QString path = m_recentFiles.At(index);
        if (path.isEmpty() || !SaveModified())
            return;
        if (!LoadDocument(path)) {
            m_recentFiles.Remove(index);
            WriteRecentFiles();
        }
        return;
    }
    switch (id) {
    case ID_FILE_NEW: OnFileNew(); break;
    case ID_FILE_OPEN: OnFileOpen(); break;
    case ID_FILE_SAVE: OnFileSave(); break;
    case ID_FILE_SAVE_AS: OnFileSaveAs(); break;
    case ID_APP_ABOUT: OnAppAbout(); break;
    case ID_APP_EXIT: m_pMainWnd->close(); break;
    default: break;
    }
}

void CQnApp::OnFileNew()
{
    if (!SaveModified())
        return;
    m_pDocument->OnNewDocument();
    OnDocumentChanged();
}

void CQnApp::OnFileOpen()
{
    Prompts::FileRequest request;
    request.open = true;
    request.filter = FileFilter();
    request.defaultExtension = DocTemplateString(kTemplateFilterExt).mid(1);
    request.kind = request.defaultExtension;
    const QString path = Prompts::AskFileName(m_pMainWnd.get(), request);
    if (!path.isEmpty())
        OpenDocumentFile(path);
}

bool CQnApp::OpenDocumentFile(const QString &path)
{
    return SaveModified() && LoadDocument(path);
}

bool CQnApp::LoadDocument(const QString &path)
{
    QString error;
    if (!m_pDocument->OnOpenDocument(path, &error)) {
        Prompts::Instance().MessageBox(m_pMainWnd.get(), error, Prompts::AppTitle(), Prompts::Ok, Prompts::Exclamation);
        return false;
    }
    AddToRecentFiles(m_pDocument->GetPathName());
    OnDocumentChanged();
    return true;
}

bool CQnApp::OnFileSave()
{
    const QString path = m_pDocument->GetPathName();
    // A document never saved, or whose file has become read-only, is saved under a new name.
    const QFileInfo info(path);
    if (path.isEmpty() || (info.exists() && !info.isWritable()))
        return OnFileSaveAs();
    return DoSave(path);
}

bool CQnApp::OnFileSaveAs()
{
    Prompts::FileRequest request;
    request.open = false;
    request.filter = FileFilter();
    request.defaultExtension = DocTemplateString(kTemplateFilterExt).mid(1);
    request.overwritePrompt = true;
    request.initialName = m_pDocument->GetPathName().isEmpty()
                              ? m_pDocument->GetTitle() + DocTemplateString(kTemplateFilterExt)
                              : m_pDocument->GetPathName();
    request.kind = request.defaultExtension;
    const QString path = Prompts::AskFileName(m_pMainWnd.get(), request);
    return !path.isEmpty() && DoSave(path);
}

bool CQnApp::DoSave(const QString &path)
{
    QString error;
    if (!m_pDocument->OnSaveDocument(path, &error)) {
        Prompts::Instance().MessageBox(m_pMainWnd.get(), error, Prompts::AppTitle(), Prompts::Ok, Prompts::Exclamation);
        return false;
    }
    AddToRecentFiles(m_pDocument->GetPathName());
    UpdateFrameTitle();
    UpdateDocumentFolder();
    return true;
}

bool CQnApp::SaveModified()
{
    if (!m_pDocument || !m_pDocument->IsModified())
        return true;
    const QString name = m_pDocument->GetPathName().isEmpty() ? m_pDocument->GetTitle()
                                                               : QDir::toNativeSeparators(m_pDocument->GetPathName());
    switch (Prompts::Instance().MessageBox(m_pMainWnd.get(), QStringLiteral("%1 への変更を保存しますか?").arg(name),
                                           Prompts::AppTitle(), Prompts::YesNoCancel, Prompts::Exclamation)) {
    case IDYES: return OnFileSave();
    case IDNO: return true;
    default: return false;
    }
}

void CQnApp::OnAppAbout()
{
    CAboutDlg dialog(m_pMainWnd.get());
    dialog.DoModal();
}

void CQnApp::UpdateFrameTitle()
{
    m_pMainWnd->setWindowTitle(m_pDocument->GetTitle() + QStringLiteral(" - ") + DocTemplateString(kTemplateWindowTitle));
}

void CQnApp::UpdateDocumentFolder()
{
    const QString path = m_pDocument->GetPathName();
    Prompts::SetDocumentFolder(path.isEmpty() ? QString() : QFileInfo(path).absolutePath());
}

void CQnApp::OnDocumentChanged()
{
    UpdateFrameTitle();
    UpdateDocumentFolder();
    m_pMainWnd->GetActiveView()->OnInitialUpdate(m_pDocument.get());
    m_pMainWnd->UpdateCommandUI();
}

void CQnApp::AddToRecentFiles(const QString &path)
{
    m_recentFiles.Add(path);
    WriteRecentFiles();
}

void CQnApp::WriteRecentFiles()
{
    UpdateRecentFileMenu();
    CIniFile profile(CIniFile::ProfilePath());
    m_recentFiles.WriteList(profile);
}

void CQnApp::UpdateRecentFileMenu()
{
    QStringList texts;
    for (int i = 0; i < m_recentFiles.Count(); ++i)
        texts << m_recentFiles.MenuText(i);
    m_pMainWnd->SetRecentFiles(texts);
}

QString CQnApp::DocTemplateString(int index)
{
    return QString::fromUtf8(kDocTemplate).split(QLatin1Char('\n')).value(index);
}

QString CQnApp::FileFilter()
{
    const QString ext = DocTemplateString(kTemplateFilterExt);
    return DocTemplateString(kTemplateFilterName) + QStringLiteral("|*") + ext
         + QStringLiteral("|全てのﾌｧｲﾙ (*.*)|*.*||");
}
