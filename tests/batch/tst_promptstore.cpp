// The prompt-judgement store and the rule that judges a received block against it.
#include "batch/cregkey.h"
#include "batch/promptjudge.h"
#include "platform/cinifile.h"
#include "platform/cp932.h"

#include <QFile>
#include <QTest>

namespace {

const QString kKey = QString::fromUtf8(kPromptKey);

// Writes the strings to REGI_PRO_01 onward; `ignore` < 0 leaves the flag unwritten.
void StorePrompts(const QStringList &prompts, int ignore)
{
    for (int k = 1; k <= prompts.size(); ++k)
        RegWriteString(kKey, PromptValueName(k), prompts[k - 1]);
    if (ignore >= 0)
        RegWriteDword(kKey, QString::fromUtf8(kPromptIgnoreName), std::uint32_t(ignore));
}

}  // namespace

class TestPromptStore : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init() { QFile::remove(CIniFile::StorePath()); }

    void stringsKeepTheirBlanks_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("trailing blank") << QStringLiteral("> ");
        QTest::newRow("blanks around") << QStringLiteral("  $  ");
        QTest::newRow("empty") << QString();
        QTest::newRow("kanji and half-width kana") << QStringLiteral("処理ｺﾏﾝﾄﾞ> ");
        QTest::newRow("ini syntax inside") << QStringLiteral("[a]=b;c\\n");
    }
    void stringsKeepTheirBlanks()
    {
        QFETCH(QString, value);
        RegWriteString(kKey, QStringLiteral("REGI_PRO_03"), value);
        QCOMPARE(RegReadString(kKey, QStringLiteral("REGI_PRO_03"), QStringLiteral("default")), value);
    }

    void missingValuesGiveDefaults()
    {
        QCOMPARE(RegReadString(kKey, QStringLiteral("REGI_PRO_01"), QStringLiteral("def")), QStringLiteral("def"));
        QCOMPARE(RegReadDword(kKey, QStringLiteral("REGI_PRO_NO"), 7u), 7u);
        // A value of another key is not this key's value.
        RegWriteString(QStringLiteral("SOFTWARE\\Other"), QStringLiteral("REGI_PRO_01"), QStringLiteral("x"));
        QCOMPARE(RegReadString(kKey, QStringLiteral("REGI_PRO_01"), QStringLiteral("def")), QStringLiteral("def"));
    }

    void dwordsRoundTripAndRejectText_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<uint>("expected");
        QTest::newRow("0") << QStringLiteral("0") << 0u;
        QTest::newRow("1") << QStringLiteral("1") << 1u;
        QTest::newRow("largest") << QStringLiteral("4294967295") << 4294967295u;
        QTest::newRow("too large") << QStringLiteral("4294967296") << 9u;
        QTest::newRow("negative") << QStringLiteral("-1") << 9u;
        QTest::newRow("text") << QStringLiteral("yes") << 9u;
        QTest::newRow("empty") << QString() << 9u;
    }
    void dwordsRoundTripAndRejectText()
    {
        QFETCH(QString, stored);
        QFETCH(uint, expected);
        CIniFile(CIniFile::StorePath()).WriteString(kKey, QStringLiteral("REGI_PRO_NO"), stored);
        QCOMPARE(RegReadDword(kKey, QStringLiteral("REGI_PRO_NO"), 9u), expected);
    }

    void longStringsAreCutBetweenCharacters_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("stored");
        const QString ascii255(255, QLatin1Char('a'));
        const QString kanji128(128, QChar(0x6F22));  // 256 bytes in code page 932
        QTest::newRow("255 bytes fit") << ascii255 << ascii255;
        QTest::newRow("256 bytes lose the last") << ascii255 + QLatin1Char('b') << ascii255;
        QTest::newRow("no half character") << kanji128 << kanji128.left(127);
        QTest::newRow("one byte then kanji") << QLatin1Char('x') + kanji128 << QLatin1Char('x') + kanji128.left(127);
    }
    void longStringsAreCutBetweenCharacters()
    {
        QFETCH(QString, value);
        QFETCH(QString, stored);
        RegWriteString(kKey, QStringLiteral("REGI_PRO_01"), value);
        const QString read = RegReadString(kKey, QStringLiteral("REGI_PRO_01"), QStringLiteral("def"));
        QCOMPARE(read, stored);
        QVERIFY(ToCp932(read).size() <= 255);
    }

    void overlongStoredValueReadsAsMissing()
    {
        CIniFile(CIniFile::StorePath()).WriteString(kKey, QStringLiteral("REGI_PRO_01"), QString(256, QLatin1Char('a')));
        QCOMPARE(RegReadString(kKey, QStringLiteral("REGI_PRO_01"), QStringLiteral("def")), QStringLiteral("def"));
        QCOMPARE(CRegKey(kKey).ReadString(QStringLiteral("REGI_PRO_01"), QString()), QString());
    }

    void blocksAreJudgedAgainstTheStoredStrings_data()
    {
        QTest::addColumn<QStringList>("prompts");
        QTest::addColumn<int>("ignore");
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<bool>("prompt");
        const QStringList defaults = DefaultPromptStrings();
        QTest::newRow("fresh store, any text") << QStringList() << -1 << QByteArray("abc") << true;
        QTest::newRow("fresh store, empty block") << QStringList() << -1 << QByteArray() << true;
        QTest::newRow("ten empty strings") << QStringList(10, QString()) << 0 << QByteArray("abc") << true;
        QTest::newRow("defaults: '> '") << defaults << 0 << QByteArray("user> ") << true;
        QTest::newRow("defaults: '>'") << defaults << 0 << QByteArray("user>") << true;
        QTest::newRow("defaults: '#'") << defaults << 0 << QByteArray("root#") << true;
        QTest::newRow("defaults: ': ' only through the fifth") << defaults << 0 << QByteArray("Password: ") << true;
        QTest::newRow("defaults: ':' without blank") << defaults << 0 << QByteArray("Password:") << false;
        QTest::newRow("defaults: prompt not at the end") << defaults << 0 << QByteArray("> ok") << false;
        QTest::newRow("blanks must match") << QStringList{QStringLiteral("$  ")} << 0 << QByteArray("x$  ") << true;
        QTest::newRow("one blank too few") << QStringList{QStringLiteral("$  ")} << 0 << QByteArray("x$ ") << false;
        QTest::newRow("no blank") << QStringList{QStringLiteral("$  ")} << 0 << QByteArray("x$") << false;
        QTest::newRow("'>' does not match '> '") << QStringList{QStringLiteral(">")} << 0 << QByteArray("a> ") << false;
        QTest::newRow("first half of a split prompt") << QStringList{QStringLiteral(">>> ")} << 0 << QByteArray("ab>>") << false;
        QTest::newRow("second half of a split prompt") << QStringList{QStringLiteral(">>> ")} << 0 << QByteArray("> ") << false;
        QTest::newRow("second half is itself a string")
            << QStringList{QStringLiteral(">>> "), QStringLiteral("> ")} << 0 << QByteArray("> ") << true;
        QTest::newRow("text shorter than the string") << QStringList{QStringLiteral("login: ")} << 0 << QByteArray(": ") << false;
        QTest::newRow("strings after empty ones count")
            << QStringList{QString(), QString(), QStringLiteral("#")} << 0 << QByteArray("x#") << true;
        QTest::newRow("case matters") << QStringList{QStringLiteral("OK")} << 0 << QByteArray("ok") << false;
        QTest::newRow("zero byte before the prompt") << QStringList{QStringLiteral(">")} << 0 << QByteArray("ab\0c>", 5) << false;
        QTest::newRow("zero byte after the prompt") << QStringList{QStringLiteral(">")} << 0 << QByteArray("abc>\0xy", 7) << true;
        QTest::newRow("code page 932 bytes") << QStringList{QStringLiteral("完了>")} << 0 << ToCp932(u"処理完了>") << true;
        QTest::newRow("ignore flag, no match") << QStringList{QStringLiteral(">")} << 1 << QByteArray("abc") << true;
        QTest::newRow("ignore flag, empty block") << QStringList{QStringLiteral(">")} << 1 << QByteArray() << true;
        QTest::newRow("flag 2 is not the ignore flag") << QStringList{QStringLiteral(">")} << 2 << QByteArray("abc") << false;
    }
    void blocksAreJudgedAgainstTheStoredStrings()
    {
        QFETCH(QStringList, prompts);
        QFETCH(int, ignore);
        QFETCH(QByteArray, block);
        QFETCH(bool, prompt);
        StorePrompts(prompts, ignore);
        QCOMPARE(JudgePromptBlock(block.constData(), int(block.size())), prompt ? 1 : 0);
    }

    void aSavedChangeAppliesToTheNextBlock()
    {
        StorePrompts({QStringLiteral(">")}, 0);
        QCOMPARE(JudgePromptBlock("a>", 2), 1);
        StorePrompts({QStringLiteral("#")}, 0);
        QCOMPARE(JudgePromptBlock("a>", 2), 0);
        StorePrompts({}, 1);
        QCOMPARE(JudgePromptBlock("a>", 2), 1);
    }

    void valueNamesHaveTwoDigits()
    {
        QCOMPARE(PromptValueName(1), QStringLiteral("REGI_PRO_01"));
        QCOMPARE(PromptValueName(10), QStringLiteral("REGI_PRO_10"));
        QCOMPARE(DefaultPromptStrings().size(), kPromptCount);
    }
};

QTEST_GUILESS_MAIN(TestPromptStore)
#include "tst_promptstore.moc"
