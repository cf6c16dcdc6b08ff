// The prompt seam: scripted answers for tests and the filter form of the Qt dialogs.
#include "platform/ui/qtprompts.h"
#include "platform/qnwin.h"
#include "platform/qttranslation.h"
#include "support/scriptedprompts.h"
#include "support/tempconfighome.h"

#include <QDir>

#include <QTemporaryDir>
#include <QTest>

class TestPrompts : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void scriptedPromptRecordsAndAnswersAsPlanned()
    {
        ScriptedPrompts prompts;
        prompts.answers.enqueue(IDNO);
        const int answer = Prompts::Instance().MessageBox(nullptr, QStringLiteral("中止しますか？"),
                                                          Prompts::AppTitle(), Prompts::YesNo, Prompts::Question);
        QCOMPARE(answer, IDNO);
        QCOMPARE(prompts.calls.size(), 1);
        QCOMPARE(prompts.calls[0].text, QStringLiteral("中止しますか？"));
        QCOMPARE(prompts.calls[0].caption, QStringLiteral("Quillnet"));
        QCOMPARE(prompts.calls[0].buttons, Prompts::YesNo);
        QCOMPARE(prompts.calls[0].icon, Prompts::Question);
        // Unplanned: the first button.
        QCOMPARE(Prompts::Instance().MessageBox(nullptr, {}, {}, Prompts::Ok, Prompts::NoIcon), IDOK);
    }

    void fileDialogsStartInTheDocumentFolderElseInTheLastOfTheirKind()
    {
        TempConfigHome config;
        QTemporaryDir files;
        QDir(files.path()).mkpath(QStringLiteral("texts"));
        QDir(files.path()).mkpath(QStringLiteral("doc"));
        const QString texts = files.filePath(QStringLiteral("texts"));
        ScriptedPrompts prompts;
        Prompts::SetDocumentFolder(QString());
        Prompts::FileRequest request;
        request.kind = QStringLiteral("txt");
        const auto startOf = [&prompts] { return prompts.calls.last().request.initialFolder; };

        prompts.fileNames.enqueue(texts + QStringLiteral("/a.txt"));
        QCOMPARE(Prompts::AskFileName(nullptr, request), texts + QStringLiteral("/a.txt"));
        QCOMPARE(startOf(), QString());  // nothing known yet: the dialog's own choice
        Prompts::AskFileName(nullptr, request);  // cancelled: remembers nothing new
        QCOMPARE(startOf(), texts);
        request.kind = QStringLiteral("csv");
        Prompts::AskFileName(nullptr, request);
        QCOMPARE(startOf(), QString());  // another kind of file

        // An open document's folder comes first, while it exists.
        Prompts::SetDocumentFolder(files.filePath(QStringLiteral("doc")));
        request.kind = QStringLiteral("txt");
        Prompts::AskFileName(nullptr, request);
        QCOMPARE(startOf(), files.filePath(QStringLiteral("doc")));
        Prompts::SetDocumentFolder(files.filePath(QStringLiteral("gone")));
        Prompts::AskFileName(nullptr, request);
        QCOMPARE(startOf(), texts);
        Prompts::SetDocumentFolder(QString());
    }

    void scriptedFileRequestRecordsTheRequest()
    {
        ScriptedPrompts prompts;
        prompts.fileNames.enqueue(QStringLiteral("/tmp/x.bin"));
        Prompts::FileRequest request;
        request.open = false;
        request.defaultExtension = QStringLiteral("bin");
        QCOMPARE(Prompts::Instance().FileName(nullptr, request), QStringLiteral("/tmp/x.bin"));
        QVERIFY(Prompts::Instance().FileName(nullptr, request).isEmpty());
        QCOMPARE(prompts.calls.size(), 2);
        QVERIFY(prompts.calls[0].fileRequest);
        QCOMPARE(prompts.calls[0].request.defaultExtension, QStringLiteral("bin"));
    }

    void scopeRestoresThePreviousImplementation()
    {
        ScriptedPrompts outer;
        {
            ScriptedPrompts inner;
            Prompts::Instance().MessageBox(nullptr, QStringLiteral("a"), {}, Prompts::Ok, Prompts::NoIcon);
            QCOMPARE(inner.calls.size(), 1);
        }
        Prompts::Instance().MessageBox(nullptr, QStringLiteral("b"), {}, Prompts::Ok, Prompts::NoIcon);
        QCOMPARE(outer.MessageTexts(), QStringList{QStringLiteral("b")});
    }

    void withoutQtsTranslationTheDialogsStayInEnglish()
    {
        QTemporaryDir empty;
        QVERIFY(!InstallQtTranslation(empty.path()));
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));
    }

    void filterBecomesQtForm_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("expected");
        QTest::newRow("described patterns") << QStringLiteral("ﾊﾞｲﾅﾘﾌｧｲﾙ (*.bin)|*.bin|全てのﾌｧｲﾙ (*.*)|*.*||")
                                            << QStringLiteral("ﾊﾞｲﾅﾘﾌｧｲﾙ (*.bin);;全てのﾌｧｲﾙ (*.*)");
        QTest::newRow("bare description") << QStringLiteral("Qn|*.qn||") << QStringLiteral("Qn (*.qn)");
        QTest::newRow("empty") << QString() << QString();
    }
    void filterBecomesQtForm()
    {
        QFETCH(QString, filter);
        QFETCH(QString, expected);
        QCOMPARE(QtPrompts::QtFilter(filter), expected);
    }
};

QTEST_GUILESS_MAIN(TestPrompts)
#include "tst_prompts.moc"
