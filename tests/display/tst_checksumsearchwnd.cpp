// The History's ﾁｪｯｸｻﾑを推定: the received telegrams selected are searched off the user-interface
// thread and the first rule found becomes the check's; sent lines are not samples; nothing found
// leaves the check as it was.
#include "display/ui/cfindbar.h"
#include "display/ui/clineview.h"
#include "display/ui/cmessagewnd.h"
#include "support/tempconfighome.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

class TestChecksumSearchWnd : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void searchFillsTheCheck_data()
    {
        QTest::addColumn<QStringList>("telegrams");  // "R " or "S " and hex
        QTest::addColumn<bool>("searched");
        QTest::addColumn<QString>("rule");          // the check's rule after it
        QTest::addColumn<QString>("note");          // the find bar's
        QTest::newRow("Modbus RTU answers among requests")
            << QStringList{"S 01030000000AC5CD", "R 01030000000AC5CD", "R 1103006B00037687", "S 0102", "R 010600010003980B"} << true
            << QStringLiteral("CRC-16/MODBUS:le") << QStringLiteral("ﾁｪｯｸｻﾑ: CRC-16/MODBUS:le");
        QTest::newRow("sent lines only") << QStringList{"S 01030000000AC5CD", "S 1103006B00037687"} << false << QString()
                                         << QStringLiteral("受信電文の行を選択してください");
        QTest::newRow("nothing fits") << QStringList{"R 0102030405", "R 0A0B0C0D0E", "R FFEE112233"} << true << QString()
                                      << QStringLiteral("3 電文に合うﾁｪｯｸｻﾑは見つかりませんでした");
    }
    void searchFillsTheCheck()
    {
        QFETCH(QStringList, telegrams);
        QFETCH(bool, searched);
        QFETCH(QString, rule);
        QFETCH(QString, note);
        TempConfigHome home;
        auto window = std::make_unique<CMessageWnd>();
        window->Create(nullptr, KIND_HISTORY);
        for (const QString &telegram : telegrams) {
            const QByteArray bytes = QByteArray::fromHex(telegram.mid(2).toLatin1());
            window->AddTelegramLines({QStringView(telegram).left(2)}, reinterpret_cast<const unsigned char *>(bytes.constData()),
                                     int(bytes.size()));
        }
        window->TextArea()->Flush();
        window->TextArea()->SelectAll();
        QSignalSpy done(window.get(), &CMessageWnd::checksumSearched);
        QCOMPARE(window->SearchChecksum(), searched);
        if (searched)
            QVERIFY(done.wait(15000));
        QCOMPARE(window->ChecksumRule(), rule);
        QCOMPARE(window->FindBar()->CountText(), note);
    }
};

QTEST_MAIN(TestChecksumSearchWnd)
#include "tst_checksumsearchwnd.moc"
