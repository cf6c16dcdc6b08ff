// Socket log lines in the shared buffer: the code page's bytes of prefix, text and tag, whichever way
// they are written, and cut at the buffer's end on a character boundary.
#include "net/socketlog.h"
#include "platform/cmsgwnd.h"
#include "platform/cp932.h"
#include "platform/qnwin.h"

#include <QTest>

#include <memory>

namespace {

// Copies the buffer's line when told, as the view does.
class LineReader : public CMsgWnd<QObject>
{
public:
    explicit LineReader(const char *buffer) : m_buffer(buffer) {}
    QByteArray line;

protected:
    LRESULT WindowProc(UINT message, WPARAM, LPARAM) override
    {
        if (message == WM_SOCKET_LOG)
            line = QByteArray(m_buffer);
        return 0;
    }

private:
    const char *m_buffer;
};

}  // namespace

class TestSocketLog : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void linesAreTheCodePagesBytes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("tag");
        QTest::addColumn<QString>("appended");
        QTest::newRow("trace") << QStringLiteral("Send") << LOG_TRACE << QStringLiteral("[CTCPSoc(Term)]") << QStringLiteral("<-[TCPSrvr]");
        QTest::newRow("warning") << QStringLiteral("ON CLOSE") << LOG_WARN << QStringLiteral("[TCPSrvr]") << QString();
        QTest::newRow("error in Japanese") << QStringLiteral("Send() 接続がﾘｾｯﾄされました") << LOG_ERROR
                                           << QStringLiteral("[CTCPSoc(Term)]") << QStringLiteral("<-[TCPSrvr]");
        QTest::newRow("client info") << QStringLiteral("ｸﾗｲｱﾝﾄ情報 ADR:127.0.0.1 PORT:5000") << 0 << QStringLiteral("[TCPSrvr]")
                                     << QStringLiteral("<-[ｻｰﾊﾞ]");
        QTest::newRow("tab and backslash") << QStringLiteral("a\tb\\c~") << LOG_TRACE << QStringLiteral("[x]") << QString();
    }
    void linesAreTheCodePagesBytes()
    {
        QFETCH(QString, text);
        QFETCH(int, kind);
        QFETCH(QString, tag);
        QFETCH(QString, appended);
        auto buffer = std::make_unique<char[]>(QN_BUFFER_SIZE);
        LineReader reader(buffer.get());
        SendSocketLog(buffer.get(), &reader, text, kind, tag);
        QCOMPARE(reader.line, ToCp932(SocketLogLine(text, kind, tag)));
        AppendSocketLog(buffer.get(), appended);
        QCOMPARE(QByteArray(buffer.get()), ToCp932(SocketLogLine(text, kind, tag) + appended));
    }

    void aLineLongerThanTheBufferIsCutAtItsEnd_data()
    {
        QTest::addColumn<QChar>("fill");
        QTest::addColumn<int>("width");  // bytes a character
        QTest::newRow("ascii") << QChar(u'x') << 1;
        QTest::newRow("two-byte characters") << QChar(u'情') << 2;
    }
    void aLineLongerThanTheBufferIsCutAtItsEnd()
    {
        QFETCH(QChar, fill);
        QFETCH(int, width);
        auto buffer = std::make_unique<char[]>(QN_BUFFER_SIZE);
        LineReader reader(buffer.get());
        SendSocketLog(buffer.get(), &reader, QString(QN_BUFFER_SIZE, fill), LOG_TRACE, u"[t]");
        // ">>> " and then whole characters up to the last byte, which holds the NUL.
        const int whole = 4 + (QN_BUFFER_SIZE - 1 - 4) / width * width;
        QCOMPARE(reader.line.size(), whole);
        QVERIFY(reader.line.startsWith(">>> "));
        AppendSocketLog(buffer.get(), u"<-[TCPSrvr]");
        // What room is left takes the start of the addition, and the NUL stays inside the buffer.
        QCOMPARE(qsizetype(strlen(buffer.get())), qsizetype(QN_BUFFER_SIZE - 1));
        QCOMPARE(QByteArray(buffer.get() + whole), QByteArray("<-[TCPSrvr]").left(QN_BUFFER_SIZE - 1 - whole));
    }
};

QTEST_GUILESS_MAIN(TestSocketLog)
#include "tst_socketlog.moc"
