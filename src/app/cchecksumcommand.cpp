#include "app/cchecksumcommand.h"

#include "platform/cchecksum.h"
#include "platform/cp932.h"
#include "platform/fileerrortext.h"

#include <QCommandLineParser>
#include <QFile>
#include <QRegularExpression>

#include <cerrno>

namespace {

const char kChecksum[] = "checksum";
const char kHex[] = "hex";
const char kText[] = "text";
const char kFile[] = "file";

void Print(FILE *stream, const QString &text)
{
    std::fputs(text.toUtf8().constData(), stream);
}

QString NameList()
{
    return CChecksum::Names().join(QLatin1Char(' '));
}

}  // namespace

QList<QCommandLineOption> CChecksumCommand::Options()
{
    const auto option = [](const char *name, const char *description, const char *value) {
        return QCommandLineOption(QString::fromLatin1(name), QString::fromUtf8(description), QString::fromLatin1(value));
    };
    return {
        option(kChecksum,
               "ﾁｪｯｸｻﾑを16進数(上位桁から)で表示して終了します。入力は --hex, --text, --file のどれか、"
               "または - (標準入力、何も指定しないときも)。NAME に list を指定すると一覧を表示します。"
               "--batch と一緒に指定すると、送信する各行 (CR 付き) にﾁｪｯｸｻﾑを入れます: NAME[:from=n,end=m,before=16進,le,be,ascii,bin]。",
               "NAME"),
        option(kHex, "--checksum: 入力を16進数で指定します(空白は無視)。", "DIGITS"),
        option(kText, "--checksum: 入力を文字列で指定します(ｺｰﾄﾞﾍﾟｰｼﾞ932のﾊﾞｲﾄ)。", "TEXT"),
        option(kFile, "--checksum: 入力をﾌｧｲﾙで指定します。", "PATH"),
    };
}

bool CChecksumCommand::IsAsked(const QCommandLineParser &parser)
{
    return parser.isSet(QString::fromLatin1(kChecksum));
}

int CChecksumCommand::Run(const QCommandLineParser &parser, FILE *in, FILE *out, FILE *err)
{
    const QString name = parser.value(QString::fromLatin1(kChecksum));
    if (name.compare(QStringLiteral("list"), Qt::CaseInsensitive) == 0) {
        int count = 0;
        const CChecksum::Entry *entries = CChecksum::Entries(&count);
        for (int i = 0; i < count; ++i)
            Print(out, CChecksum::Describe(entries[i]) + QLatin1Char('\n'));
        return 0;
    }
    const auto checksum = CChecksum::Find(name);
    if (!checksum) {
        Print(err, QStringLiteral("不明なﾁｪｯｸｻﾑです: %1\n使えるもの: %2\n").arg(name, NameList()));
        return 2;
    }
    const QStringList inputs = parser.positionalArguments();
    const int given = int(parser.isSet(QString::fromLatin1(kHex))) + int(parser.isSet(QString::fromLatin1(kText))) +
                      int(parser.isSet(QString::fromLatin1(kFile))) + int(inputs.contains(QStringLiteral("-")));
    if (given > 1) {
        Print(err, QStringLiteral("入力は --hex, --text, --file, - のどれか一つにしてください。\n"));
        return 2;
    }
    QByteArray bytes;
    if (parser.isSet(QString::fromLatin1(kHex))) {
        QString digits = parser.value(QString::fromLatin1(kHex));
        digits.remove(QLatin1Char(' '));
        static const QRegularExpression hex(QStringLiteral("^([0-9A-Fa-f]{2})*$"));
        if (!hex.match(digits).hasMatch()) {
            Print(err, QStringLiteral("16進数が正しくありません (2桁ずつの 0-9 A-F): %1\n").arg(parser.value(QString::fromLatin1(kHex))));
            return 2;
        }
        bytes = QByteArray::fromHex(digits.toLatin1());
    } else if (parser.isSet(QString::fromLatin1(kText))) {
        bytes = ToCp932(parser.value(QString::fromLatin1(kText)));
    } else if (parser.isSet(QString::fromLatin1(kFile))) {
        QFile file(parser.value(QString::fromLatin1(kFile)));
        errno = 0;
        if (!file.open(QIODevice::ReadOnly)) {
            Print(err, file.fileName() + QStringLiteral(": ") + FileErrorText(errno) + QLatin1Char('\n'));
            return 2;
        }
        bytes = file.readAll();
    } else {
        QFile standardInput;
        if (!standardInput.open(in, QIODevice::ReadOnly)) {
            Print(err, QStringLiteral("標準入力を読めません。\n"));
            return 2;
        }
        bytes = standardInput.readAll();
    }
    Print(out, checksum->HexText(checksum->Compute(bytes)) + QLatin1Char('\n'));
    return 0;
}
