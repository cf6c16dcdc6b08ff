// The application object: starts the program and runs the file commands over its one document.
#pragma once

#include "app/crecentfilelist.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class CMainFrame;
class CQnDoc;
class CQnView;

class CQnApp : public QObject
{
    Q_OBJECT
public:
    CQnApp();
    ~CQnApp() override;

    // The whole run of the program: start-up, the event loop, the end. Returns the exit code.
    int Run();
    // Start-up with the command line (program name first); false ends the program at once.
    bool InitInstance(const QStringList &arguments);
    // The end of the run: writes the profile and destroys the main window, which saves its placement.
    void ExitInstance();

    CQnDoc *GetDocument() const { return m_pDocument.get(); }
    CMainFrame *GetMainFrame() const { return m_pMainWnd.get(); }
    CQnView *GetView() const;
    const CRecentFileList &GetRecentFiles() const { return m_recentFiles; }

    // Runs an application command: New, Open, Save, Save As, a recent file, About, Exit.
    void OnCommand(int id);
    void OnFileNew();
    void OnFileOpen();
    bool OnFileSave();
    bool OnFileSaveAs();
    void OnAppAbout();
    // Opens the document after the save-changes question; false (after one message box when the
    // file cannot be read) leaves the document open before as it was.
    bool OpenDocumentFile(const QString &path);
    // Asks "… への変更を保存しますか?" for a modified document; false when the user cancelled
    // or the save did not happen.
    bool SaveModified();

    // Field `index` of the document template string ("Quillnet\n\nQn\nQn ﾌｧｲﾙ (*.qn)\n.qn\n…").
    static QString DocTemplateString(int index);
    // The file dialogs' filter: the template's file type, then all files.
    static QString FileFilter();

private:
    // Reads the file into the document; one message box when it cannot.
    bool LoadDocument(const QString &path);
    bool DoSave(const QString &path);
    void OnDocumentChanged();
    void UpdateFrameTitle();
    // File dialogs start in the folder of the document open now.
    void UpdateDocumentFolder();
    void AddToRecentFiles(const QString &path);
    void WriteRecentFiles();
    void UpdateRecentFileMenu();

    std::unique_ptr<CQnDoc> m_pDocument;
    std::unique_ptr<CMainFrame> m_pMainWnd;  // after the document: it goes first
    CRecentFileList m_recentFiles;
};
