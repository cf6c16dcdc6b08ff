#include "app/cchecksumcommand.h"

#include "app/cchecksumparts.h"
#include "display/cchecksumsearch.h"
#include "platform/cchecksum.h"
#include "platform/cp932.h"
#include "platform/fileerrortext.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include <sys/stat.h>

namespace {

const char kChecksum[] = "checksum";
const char kHex[] = "hex";
const char kText[] = "text";
const char kFile[] = "file";
const char kSearch[] = "checksum-search";
const char kHistory[] = "history";
// Sample files are read whole, up to this size.
constexpr qint64 kMaxSamples = 16 * 1024 * 1024;
// Bytes read at a time from a file or standard input.
constexpr qint64 kPiece = 1024 * 1024;

void Print(FILE *stream, const QString &text)
{
    std::fputs(text.toUtf8().constData(), stream);
}

// Reads `file` to its end on a thread of its own and hands each piece to `use` on the calling thread
// while the next ones are read: the copy out of the page cache and the checksum overlap, in the same
// few buffers however long the input. The errno of a failed read, or 0.
int ReadAhead(QFile &file, const std::function<void(const char *, qint64)> &use)
{
    constexpr int kBuffers = 3;
    std::unique_ptr<char[]> buffers[kBuffers];
    qint64 sizes[kBuffers] = {};
    for (auto &buffer : buffers)
        buffer.reset(new char[kPiece]);
    std::mutex mutex;
    std::condition_variable changed;
    qint64 filled = 0;  // pieces read
    qint64 used = 0;    // pieces handed on
    bool ended = false;
    int failure = 0;
    std::thread reader([&] {
        for (qint64 n = 0;; ++n) {
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return n - used < kBuffers; });
            }
            errno = 0;
            const qint64 read = file.read(buffers[n % kBuffers].get(), kPiece);
            const int code = errno;
            std::lock_guard lock(mutex);
            if (read <= 0) {
                ended = true;
                failure = read < 0 ? (code ? code : EIO) : 0;
            } else {
                sizes[n % kBuffers] = read;
                ++filled;
            }
            changed.notify_all();
            if (ended)
                return;
        }
    });
    for (qint64 n = 0;; ++n) {
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return filled > n || ended; });
            if (filled <= n)
                break;
        }
        use(buffers[n % kBuffers].get(), sizes[n % kBuffers]);
        std::lock_guard lock(mutex);
        ++used;
        changed.notify_all();
    }
    reader.join();
    return failure;
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
        QCommandLineOption(QString::fromLatin1(kSearch),
                           QStringLiteral("ｻﾝﾌﾟﾙ電文 (16進数で1行に1電文、末尾がﾁｪｯｸｻﾑ) に合うﾁｪｯｸｻﾑを探して、"
                                          "ﾙｰﾙを1行に1つ表示して終了します。入力は FILE または - (標準入力、何も指定しないときも)。")),
        option(kHistory, "--checksum-search: 保存した履歴ﾌｧｲﾙの受信電文 (16進表示の R 行) をｻﾝﾌﾟﾙにします。", "FILE"),
    };
}

bool CChecksumCommand::InputIsNamed(const QCommandLineParser &parser, QString *error)
{
    const QStringList arguments = parser.positionalArguments();
    if (parser.isSet(QString::fromLatin1(kSearch))) {
        if (arguments.size() > 1 || (!arguments.isEmpty() && parser.isSet(QString::fromLatin1(kHistory)))) {
            *error = QStringLiteral("--checksum-search の入力は FILE, -, --history FILE のどれか一つにしてください");
            return false;
        }
        return true;
    }
    for (const QString &argument : arguments) {
        if (argument != QLatin1String("-")) {
            *error = QStringLiteral("--checksum の入力は --hex, --text, --file, - のどれかで指定してください: %1").arg(argument);
            return false;
        }
    }
    return true;
}

int CChecksumCommand::Search(const QCommandLineParser &parser, FILE *in, FILE *out, FILE *err)
{
    const bool history = parser.isSet(QString::fromLatin1(kHistory));
    const QString path = history ? parser.value(QString::fromLatin1(kHistory)) : parser.positionalArguments().value(0);
    QFile file;
    errno = 0;
    if (!path.isEmpty() && path != QStringLiteral("-")) {
        file.setFileName(path);
        if (QFileInfo(path).isDir()) {
            Print(err, path + QStringLiteral(": ﾌｫﾙﾀﾞです。ﾌｧｲﾙを指定してください。\n"));
            return 2;
        }
        if (!file.open(QIODevice::ReadOnly)) {
            Print(err, path + QStringLiteral(": ") + FileErrorText(errno ? errno : EIO) + QLatin1Char('\n'));
            return 2;
        }
    } else if (!file.open(fileno(in), QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
        Print(err, QStringLiteral("標準入力を読めません。\n"));
        return 2;
    }
    const QByteArray text = file.read(kMaxSamples + 1);
    if (text.size() > kMaxSamples) {
        Print(err, QStringLiteral("ｻﾝﾌﾟﾙが大きすぎます (16 MB まで)。\n"));
        return 2;
    }
    QString error;
    const QList<QByteArray> samples = history ? CChecksumSearch::FromHistory(text) : CChecksumSearch::FromHexLines(text, &error);
    if (!error.isEmpty() || samples.isEmpty()) {
        Print(err, (error.isEmpty() ? QStringLiteral("ｻﾝﾌﾟﾙ電文がありません。") : error) + QLatin1Char('\n'));
        return 2;
    }
    const QStringList rules = CChecksumSearch::Find(samples);
    if (rules.isEmpty()) {
        Print(err, QStringLiteral("%1 個のｻﾝﾌﾟﾙに合うﾁｪｯｸｻﾑは見つかりませんでした。\n").arg(samples.size()));
        return 1;
    }
    for (const QString &rule : rules)
        Print(out, rule + QLatin1Char('\n'));
    return 0;
}

bool CChecksumCommand::IsAsked(const QCommandLineParser &parser)
{
    return parser.isSet(QString::fromLatin1(kChecksum)) || parser.isSet(QString::fromLatin1(kSearch));
}

int CChecksumCommand::Run(const QCommandLineParser &parser, FILE *in, FILE *out, FILE *err)
{
    if (parser.isSet(QString::fromLatin1(kSearch))) {
        if (parser.isSet(QString::fromLatin1(kChecksum))) {
            Print(err, QStringLiteral("--checksum と --checksum-search は一緒に使えません。\n"));
            return 2;
        }
        return Search(parser, in, out, err);
    }
    if (parser.isSet(QString::fromLatin1(kHistory))) {
        Print(err, QStringLiteral("--history は --checksum-search と使います。\n"));
        return 2;
    }
    const QString name = parser.value(QString::fromLatin1(kChecksum));
    if (name.compare(QStringLiteral("list"), Qt::CaseInsensitive) == 0) {
        int count = 0;
        const CChecksum::Entry *entries = CChecksum::Entries(&count);
        for (int i = 0; i < count; ++i)
            Print(out, CChecksum::Describe(entries[i]) + QLatin1Char('\n'));
        return 0;
    }
    QString modelError;
    const auto checksum = CChecksum::Find(name, &modelError);
    if (!checksum && !modelError.isEmpty()) {
        Print(err, modelError + QLatin1Char('\n'));
        return 2;
    }
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
    CChecksum::State state = checksum->Init();
    if (parser.isSet(QString::fromLatin1(kHex))) {
        QString digits = parser.value(QString::fromLatin1(kHex));
        digits.remove(QLatin1Char(' '));
        static const QRegularExpression hex(QStringLiteral("^([0-9A-Fa-f]{2})*$"));
        if (!hex.match(digits).hasMatch()) {
            Print(err, QStringLiteral("16進数が正しくありません (2桁ずつの 0-9 A-F): %1\n").arg(parser.value(QString::fromLatin1(kHex))));
            return 2;
        }
        const QByteArray bytes = QByteArray::fromHex(digits.toLatin1());
        checksum->Update(state, bytes.constData(), bytes.size());
    } else if (parser.isSet(QString::fromLatin1(kText))) {
        // A character the code page lacks would become a substitute byte: a value of other bytes.
        const QString text = parser.value(QString::fromLatin1(kText));
        const qsizetype bad = FirstNotInCp932(text);
        if (bad >= 0) {
            const qsizetype units = text[bad].isHighSurrogate() && bad + 1 < text.size() ? 2 : 1;
            Print(err, QStringLiteral("ｺｰﾄﾞﾍﾟｰｼﾞ932にない文字があります: \"%1\" (%2 文字目)\n")
                           .arg(text.mid(bad, units))
                           .arg(QStringView(text).left(bad).toUcs4().size() + 1));
            return 2;
        }
        const QByteArray bytes = ToCp932(text);
        checksum->Update(state, bytes.constData(), bytes.size());
    } else {
        // A file or standard input, read in pieces: any length in the same little memory. A CRC of a
        // regular file reads its parts side by side, one per core.
        QFile file;
        errno = 0;
        if (parser.isSet(QString::fromLatin1(kFile))) {
            file.setFileName(parser.value(QString::fromLatin1(kFile)));
            if (QFileInfo(file.fileName()).isDir()) {
                Print(err, file.fileName() + QStringLiteral(": ﾌｫﾙﾀﾞです。ﾌｧｲﾙを指定してください。\n"));
                return 2;
            }
            if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
                Print(err, file.fileName() + QStringLiteral(": ") + FileErrorText(errno ? errno : EIO) + QLatin1Char('\n'));
                return 2;
            }
        } else if (!file.open(fileno(in), QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle)) {
            Print(err, QStringLiteral("標準入力を読めません。\n"));
            return 2;
        }
        struct stat status {};
        const bool inParts = parser.isSet(QString::fromLatin1(kFile)) && checksum->Combines() &&
                             ::fstat(file.handle(), &status) == 0 && S_ISREG(status.st_mode);
        const qint64 size = status.st_size;
        const int failure = inParts ? CChecksumParts::Read(*checksum, file.handle(), size, CChecksumParts::PartsFor(size), state)
                                    : ReadAhead(file, [&](const char *piece, qint64 length) { checksum->Update(state, piece, length); });
        if (failure) {
            const QString source = file.fileName().isEmpty() ? QStringLiteral("標準入力") : file.fileName();
            const QString why = failure == CChecksumParts::kChanged ? QStringLiteral("読み込み中にﾌｧｲﾙが変わりました。")
                                                                    : QStringLiteral("読み込めません: ") + FileErrorText(failure);
            Print(err, source + QStringLiteral(": ") + why + QLatin1Char('\n'));
            return 2;
        }
    }
    Print(out, checksum->HexText(checksum->Final(state)) + QLatin1Char('\n'));
    return 0;
}
