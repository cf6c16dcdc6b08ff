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
        QTest::addColumn<int>("first");              // the rows selected; -1: all, -2: none
        QTest::addColumn<int>("last");
        QTest::addColumn<bool>("searched");
        QTest::addColumn<QString>("rule");          // the check's rule after it
        QTest::addColumn<QString>("note");          // the find bar's
        QTest::newRow("Modbus RTU answers among requests")
            << QStringList{"S 01030000000AC5CD", "R 01030000000AC5CD", "R 1103006B00037687", "S 0102", "R 010600010003980B"} << -1 << -1 << true
            << QStringLiteral("CRC-16/MODBUS:le") << QStringLiteral("ﾁｪｯｸｻﾑ: CRC-16/MODBUS:le");
        QTest::newRow("two of them selected") << QStringList{"R 01030000000AC5CD", "R 0102030405", "R 1103006B00037687", "R 010600010003980B"}
                                              << 2 << 3 << true << QStringLiteral("CRC-16/MODBUS:le") << QStringLiteral("ﾁｪｯｸｻﾑ: CRC-16/MODBUS:le");
        QTest::newRow("sent lines only") << QStringList{"S 01030000000AC5CD", "S 1103006B00037687"} << -1 << -1 << false << QString()
                                         << QStringLiteral("受信電文の行を選択してください");
        QTest::newRow("nothing selected") << QStringList{"R 01030000000AC5CD"} << -2 << -2 << false << QString()
                                          << QStringLiteral("受信電文の行を選択してください");
        QTest::newRow("nothing fits") << QStringList{"R 0102030405", "R 0A0B0C0D0E", "R FFEE112233"} << -1 << -1 << true << QString()
                                      << QStringLiteral("3 電文に合うﾁｪｯｸｻﾑは見つかりませんでした");
    }
    void searchFillsTheCheck()
    {
        QFETCH(QStringList, telegrams);
        QFETCH(int, first);
        QFETCH(int, last);
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
        if (first == -1)
            window->TextArea()->SelectAll();
        else if (first >= 0)  // from the start of one row to the start of the row after the last
            window->TextArea()->SetSelection(CLineView::Position{first, 0}, CLineView::Position{last + 1, 0});
        QSignalSpy done(window.get(), &CMessageWnd::checksumSearched);
        QCOMPARE(window->SearchChecksum(), searched);
        if (searched) {
            QVERIFY(done.wait(15000));
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // the search's thread
        }
        QCOMPARE(window->ChecksumRule(), rule);
        QCOMPARE(window->FindBar()->CountText(), note);
    }
};

QTEST_MAIN(TestChecksumSearchWnd)
#include "tst_checksumsearchwnd.moc"
