// The application's file commands: save-changes question, open failures, recent files, command line.
#include "app/ui/caboutdlg.h"
#include "app/ui/cmainframe.h"
#include "res/commandids.h"
#include "app/ui/cqnapp.h"
#include "document/cqndoc.h"
#include "platform/cinifile.h"
#include "platform/csignalquit.h"
#include "platform/qnwin.h"
#include "session/ui/cqnview.h"
#include "support/scriptedprompts.h"
#include "support/tempconfighome.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QDir>
#include <QTest>
#include <QTimer>

#include <csignal>

#include <memory>

namespace {

QString MakeDocument(const QString &path, const QString &address)
{
    CQnDoc doc;
    doc.SetSlotString(0, address);
    doc.SetSlotInt(0, 1);
    QString error;
    return doc.OnSaveDocument(path, &error) ? path : QString();
}

// Runs the event loop as the program does; a loop still running after 10 seconds ends with 1.
int RunEventLoop()
{
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    watchdog.start(10000);
    return QApplication::exec();
}

bool PlacementWritten()
{
    return !CIniFile(CIniFile::ProfilePath()).GetString(QStringLiteral("Window size"), QStringLiteral("Rect"), {}).isEmpty();
}

}  // namespace

class TestQnApp : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<TempConfigHome> m_pDir;

    QString Path(const QString &name) const { return m_pDir->FilePath(name); }

private Q_SLOTS:
    void init()
    {
        m_pDir.reset();
        m_pDir = std::make_unique<TempConfigHome>();
    }

    void startsWithANewDocumentInAShownWindow()
    {
        ScriptedPrompts prompts;
        CQnApp app;
        QVERIFY(app.InitInstance({QStringLiteral("quillnet")}));
        QVERIFY(app.GetMainFrame()->isVisible());
        QCOMPARE(app.GetMainFrame()->windowTitle(), QStringLiteral("無題 - Quillnet"));
        QCOMPARE(app.GetView()->GetDocument(), app.GetDocument());
        QCOMPARE(app.GetDocument()->GetSlotInt(0), 0);
        QVERIFY(!app.GetDocument()->IsModified());
        QVERIFY(prompts.calls.isEmpty());
    }

    void newAsksToSaveAModifiedDocument_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("saveAs");
        QTest::addColumn<bool>("cleared");
        QTest::addColumn<bool>("saved");
        QTest::newRow("yes, saved") << IDYES << QStringLiteral("kept.qn") << true << true;
        QTest::newRow("yes, file dialog cancelled") << IDYES << QString() << false << false;
        QTest::newRow("no") << IDNO << QString() << true << false;
        QTest::newRow("cancel") << IDCANCEL << QString() << false << false;
    }
    void newAsksToSaveAModifiedDocument()
    {
        QFETCH(int, answer);
        QFETCH(QString, saveAs);
        QFETCH(bool, cleared);
        QFETCH(bool, saved);
        ScriptedPrompts prompts;
        CQnApp app;
        QVERIFY(app.InitInstance({QStringLiteral("quillnet")}));
        app.GetDocument()->SetSlotString(4, QStringLiteral("server"));
        app.GetDocument()->SetModifiedFlag();
        prompts.answers.enqueue(answer);
        if (!saveAs.isEmpty())
            prompts.fileNames.enqueue(Path(saveAs));
        app.GetMainFrame()->GetAction(ID_FILE_NEW)->trigger();

        QCOMPARE(prompts.MessageTexts(), QStringList{QStringLiteral("無題 への変更を保存しますか?")});
        const ScriptedPrompts::Call &question = prompts.calls.constFirst();
        QCOMPARE(question.caption, QStringLiteral("Quillnet"));
        QCOMPARE(question.buttons, Prompts::YesNoCancel);
        QCOMPARE(question.icon, Prompts::Exclamation);
        QCOMPARE(app.GetDocument()->GetSlotString(4), cleared ? QString() : QStringLiteral("server"));
        QCOMPARE(app.GetDocument()->IsModified(), !cleared);
        QCOMPARE(QFile::exists(Path(QStringLiteral("kept.qn"))), saved);
        if (saved) {
            CQnDoc reread;
            QString error;
            QVERIFY(reread.OnOpenDocument(Path(QStringLiteral("kept.qn")), &error));
            QCOMPARE(reread.GetSlotString(4), QStringLiteral("server"));
        }
    }

    void saveOfANewDocumentAsksForANameWithTheDocumentFilter()
    {
        ScriptedPrompts prompts;
        CQnApp app;
        QVERIFY(app.InitInstance({QStringLiteral("quillnet")}));
        prompts.fileNames.enqueue(Path(QStringLiteral("first.qn")));
        app.GetMainFrame()->GetAction(ID_FILE_SAVE)->trigger();
        QCOMPARE(prompts.calls.size(), 1);
        const Prompts::FileRequest &request = prompts.calls.constFirst().request;
        QVERIFY(!request.open);
        QCOMPARE(request.filter, QStringLiteral("Qn ﾌｧｲﾙ (*.qn)|*.qn|全てのﾌｧｲﾙ (*.*)|*.*||"));
        QCOMPARE(request.defaultExtension, QStringLiteral("qn"));
        QCOMPARE(request.initialName, QStringLiteral("無題.qn"));
        QVERIFY(request.overwritePrompt);
        QCOMPARE(QFileInfo(Path(QStringLiteral("first.qn"))).size(), 50022);
        QCOMPARE(app.GetMainFrame()->windowTitle(), QStringLiteral("first.qn - Quillnet"));

        // A document with a name is saved without asking.
        app.GetDocument()->SetSlotString(0, QStringLiteral("x"));
        app.GetMainFrame()->GetAction(ID_FILE_SAVE)->trigger();
        QCOMPARE(prompts.calls.size(), 1);
        QCOMPARE(QFileInfo(Path(QStringLiteral("first.qn"))).size(), 50023);
    }

    void openReadsTheFileAndUpdatesTheView()
    {
        ScriptedPrompts prompts;
        CQnApp app;
        QVERIFY(app.InitInstance({QStringLiteral("quillnet")}));
        const QString path = MakeDocument(Path(QStringLiteral("server.qn")), QStringLiteral("10.0.0.1"));
        prompts.fileNames.enqueue(path);
        app.GetMainFrame()->GetAction(ID_FILE_OPEN)->trigger();
        QVERIFY(prompts.calls.constFirst().request.open);
        QCOMPARE(app.GetDocument()->GetSlotString(0), QStringLiteral("10.0.0.1"));
        QCOMPARE(app.GetDocument()->GetSlotInt(0), 1);
        QCOMPARE(app.GetMainFrame()->windowTitle(), QStringLiteral("server.qn - Quillnet"));
        QCOMPARE(app.GetView()->GetDocument(), app.GetDocument());
    }

    void anUnreadableFileGivesOneMessageAndKeepsTheDocument_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("folder");
        QTest::newRow("truncated") << QByteArray("\x15QN FileVersion '2.00'\x00\x00", 24) << false;
        QTest::newRow("length beyond the end") << QByteArray("\xFF\xFF\xFF\x00\x00\x00\x40") << false;
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("folder") << QByteArray() << true;
    }
    void anUnreadableFileGivesOneMessageAndKeepsTheDocument()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, folder);
        ScriptedPrompts prompts;
        CQnApp app;
        QVERIFY(app.InitInstance({QStringLiteral("quillnet")}));
        const QString good = MakeDocument(Path(QStringLiteral("good.qn")), QStringLiteral("keep me"));
        QVERIFY(app.OpenDocumentFile(good));

        const QString bad = Path(QStringLiteral("bad.qn"));
        if (folder) {
            QVERIFY(QDir().mkpath(bad));
        } else {
            QFile file(bad);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        prompts.fileNames.enqueue(bad);
        app.GetMainFrame()->GetAction(ID_FILE_OPEN)->trigger();
        QCOMPARE(prompts.MessageTexts().size(), 1);
        QVERIFY2(prompts.MessageTexts().constFirst().contains(QStringLiteral("bad.qn")), qPrintable(prompts.MessageTexts().constFirst()));
        QCOMPARE(prompts.calls.last().caption, QStringLiteral("Quillnet"));
        QCOMPARE(app.GetDocument()->GetSlotString(0), QStringLiteral("keep me"));
        QCOMPARE(app.GetDocument()->GetPathName(), good);
        QCOMPARE(app.GetMainFrame()->windowTitle(), QStringLiteral("good.qn - Quillnet"));
        QCOMPARE(app.GetRecentFiles().Entries(), QStringList{good});
    }

    void recentFilesAreKeptInTheProfile()
    {
        QStringList paths;
        for (int i = 1; i <= 5; ++i)
            paths << MakeDocument(Path(QStringLiteral("doc%1.qn").arg(i)), QString::number(i));
        {
            ScriptedPrompts prompts;
            CQnApp app;
            QVERIFY(app.InitInstance({QStringLiteral("quillnet")}));
            for (const QString &path : paths)
                QVERIFY(app.OpenDocumentFile(path));
            QVERIFY(app.OpenDocumentFile(paths.at(2)));
            QCOMPARE(app.GetRecentFiles().Entries(), (QStringList{paths[2], paths[4], paths[3], paths[1]}));
        }
        const CIniFile profile(CIniFile::ProfilePath());
        for (int i = 1; i <= 4; ++i)
            QVERIFY(!profile.GetString(QStringLiteral("Recent File List"), QStringLiteral("File%1").arg(i), {}).isEmpty());
        QCOMPARE(profile.GetString(QStringLiteral("Recent File List"), QStringLiteral("File1"), {}), paths[2]);

        ScriptedPrompts prompts;
        CQnApp app;
        QVERIFY(app.InitInstance({QStringLiteral("quillnet")}));
        QAction *second = app.GetMainFrame()->GetAction(ID_FILE_MRU_FILE1 + 1);
        QCOMPARE(second->text(), QStringLiteral("&2 ") + CRecentFileList::DisplayName(paths[4], 40));
        QVERIFY(second->isEnabled());
        second->trigger();
        QCOMPARE(app.GetDocument()->GetSlotString(0), QStringLiteral("5"));
        QCOMPARE(app.GetRecentFiles().At(0), paths[4]);

        // An entry that no longer opens is reported once and leaves the list.
        QVERIFY(QFile::remove(paths[3]));
        app.GetMainFrame()->GetAction(ID_FILE_MRU_FILE1 + 2)->trigger();
        QCOMPARE(prompts.MessageTexts().size(), 1);
        QCOMPARE(app.GetRecentFiles().Entries(), (QStringList{paths[4], paths[2], paths[1]}));
        QVERIFY(!app.GetMainFrame()->GetAction(ID_FILE_MRU_FILE1 + 3)->isVisible());
    }

    void commandLinePathOpensAndADamagedOneEndsTheStart()
    {
        const QString path = MakeDocument(Path(QStringLiteral("cmd.qn")), QStringLiteral("from command line"));
        {
            ScriptedPrompts prompts;
            CQnApp app;
            QVERIFY(app.InitInstance({QStringLiteral("quillnet"), path}));
            QCOMPARE(app.GetDocument()->GetSlotString(0), QStringLiteral("from command line"));
            QCOMPARE(app.GetMainFrame()->windowTitle(), QStringLiteral("cmd.qn - Quillnet"));
        }
        ScriptedPrompts prompts;
        CQnApp app;
        QVERIFY(!app.InitInstance({QStringLiteral("quillnet"), Path(QStringLiteral("missing.qn"))}));
        QCOMPARE(prompts.MessageTexts().size(), 1);
        QVERIFY(!app.GetMainFrame()->isVisible());
    }

    void droppedFileOpensLikeOpen()
    {
        ScriptedPrompts prompts;
        CQnApp app;
        QVERIFY(app.InitInstance({QStringLiteral("quillnet")}));
        app.GetDocument()->SetModifiedFlag();
        prompts.answers.enqueue(IDNO);
        emit app.GetMainFrame()->FileDropped(MakeDocument(Path(QStringLiteral("drop.qn")), QStringLiteral("dropped")));
        QCOMPARE(prompts.MessageTexts().size(), 1);
        QCOMPARE(app.GetDocument()->GetSlotString(0), QStringLiteral("dropped"));
    }

    void closingAModifiedDocumentAsksFirst()
    {
        ScriptedPrompts prompts;
        CQnApp app;
        QVERIFY(app.InitInstance({QStringLiteral("quillnet")}));
        app.GetDocument()->SetModifiedFlag();
        prompts.answers.enqueue(IDCANCEL);
        app.GetMainFrame()->GetAction(ID_APP_EXIT)->trigger();
        QVERIFY(app.GetMainFrame()->isVisible());
        prompts.answers.enqueue(IDNO);
        app.GetMainFrame()->GetAction(ID_APP_EXIT)->trigger();
        QVERIFY(!app.GetMainFrame()->isVisible());
        QCOMPARE(prompts.MessageTexts().size(), 2);
    }

    void closingTheFrameEndsTheProgramWhateverToolWindowIsOpen_data()
    {
        QTest::addColumn<QList<int>>("commands");
        QTest::addColumn<bool>("exitCommand");
        QTest::newRow("command send") << QList<int>{ID_COMMAND_SEND} << false;
        QTest::newRow("batch send") << QList<int>{ID_BATCH_SEND} << true;
        QTest::newRow("history") << QList<int>{ID_VIEW_HISTORY} << false;
        QTest::newRow("log") << QList<int>{ID_VIEW_LOG} << true;
        QTest::newRow("history and log") << QList<int>{ID_VIEW_HISTORY, ID_VIEW_LOG} << false;
    }
    void closingTheFrameEndsTheProgramWhateverToolWindowIsOpen()
    {
        QFETCH(QList<int>, commands);
        QFETCH(bool, exitCommand);
        ScriptedPrompts prompts;
        CQnApp app;
        QVERIFY(app.InitInstance({QStringLiteral("quillnet")}));
        CMainFrame *frame = app.GetMainFrame();
        for (int id : commands)
            frame->OnCommand(id);
        QTimer::singleShot(0, frame, [frame, exitCommand] {
            if (exitCommand)
                frame->GetAction(ID_APP_EXIT)->trigger();
            else
                frame->close();
        });
        QCOMPARE(RunEventLoop(), 0);
        app.ExitInstance();
        QVERIFY(PlacementWritten());
        QVERIFY(prompts.calls.isEmpty());
    }

    void aSignalEndsTheProgramWithoutQuestions()
    {
        ScriptedPrompts prompts;
        CSignalQuit::InstallHandlers();
        CSignalQuit quitOnSignal;
        CQnApp app;
        QVERIFY(app.InitInstance({QStringLiteral("quillnet")}));
        const QString path = MakeDocument(Path(QStringLiteral("kept.qn")), QStringLiteral("on disk"));
        QVERIFY(app.OpenDocumentFile(path));
        app.GetDocument()->SetSlotString(0, QStringLiteral("not saved"));
        app.GetDocument()->SetModifiedFlag();
        prompts.answers << IDCANCEL << IDCANCEL;
        ::raise(SIGTERM);
        QCOMPARE(RunEventLoop(), 0);
        app.ExitInstance();
        QVERIFY(prompts.calls.isEmpty());
        QVERIFY(PlacementWritten());
        CQnDoc reread;
        QString error;
        QVERIFY(reread.OnOpenDocument(path, &error));
        QCOMPARE(reread.GetSlotString(0), QStringLiteral("on disk"));
    }

    void standardDialogsSpeakJapanese()
    {
        if (!QFileInfo::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_ja.qm")))
            QSKIP("Qt's Japanese translation (qt6-translations-l10n) is not installed");
        ScriptedPrompts prompts;
        CQnApp app;
        QVERIFY(app.InitInstance({QStringLiteral("quillnet")}));
        QMessageBox box;
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QCOMPARE(box.button(QMessageBox::Cancel)->text(), QStringLiteral("キャンセル"));
        QCOMPARE(box.button(QMessageBox::Yes)->text(), QStringLiteral("はい(&Y)"));
        QCOMPARE(QCoreApplication::translate("QFileDialog", "File &name:"), QStringLiteral("ファイル名(&N):"));
    }

    void aboutShowsTheAboutBox()
    {
        ScriptedPrompts prompts;
        CQnApp app;
        QVERIFY(app.InitInstance({QStringLiteral("quillnet")}));
        QString shown;
        QTimer::singleShot(0, this, [&] {
            if (auto *dialog = qobject_cast<CAboutDlg *>(QApplication::activeModalWidget())) {
                shown = dialog->windowTitle();
                dialog->accept();
            }
        });
        app.GetMainFrame()->GetAction(ID_APP_ABOUT)->trigger();
        QCOMPARE(shown, QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報 (Quillnet)"));
    }
};

QTEST_MAIN(TestQnApp)
#include "tst_qnapp.moc"
