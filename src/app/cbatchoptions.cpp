#include "app/cbatchoptions.h"

#include "net/ctlscontext.h"
#include "net/ctlsfile.h"
#include "platform/escapedtext.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include <cmath>

#include <openssl/crypto.h>

namespace {

const char *const kBatch = "batch";
const char *const kSettings = "settings";
const char *const kResults = "results";
const char *const kJUnit = "junit";
const char *const kTimings = "timings";
const char *const kRowTimeout = "row-timeout";
const char *const kPrompt = "prompt";
const char *const kIgnorePrompt = "ignore-prompt";
const char *const kQuiet = "quiet";
const char *const kReplyRules = "reply-rules";
const char *const kTls = "tls";
const char *const kCa = "ca";
const char *const kInsecure = "insecure";
const char *const kKeyPassFile = "key-pass-file";
const char *const kPcapng = "pcapng";
const char *const kPcapngSerial = "pcapng-serial";
const char *const kCommands = "commands";
const char *const kRun = "run";
const char *const kTo = "to";
const char *const kListen = "listen";
const char *const kValues = "values";

QCommandLineOption Option(const char *name, const char *description, const char *valueName = nullptr)
{
    return QCommandLineOption(QString::fromLatin1(name), QString::fromUtf8(description),
                              valueName ? QString::fromLatin1(valueName) : QString());
}

QString Dashed(const char *name)
{
    return QStringLiteral("--") + QString::fromLatin1(name);
}

}  // namespace

QList<QCommandLineOption> CBatchOptions::Options()
{
    return {
        Option(kBatch,
               "ｼﾅﾘｵ(CSVﾌｧｲﾙ)を画面を出さずに一括送信して終了します。終了ｺｰﾄﾞ: 0 全行が正常終了, "
               "1 正常終了しなかった行がある, 2 使い方またはﾌｧｲﾙの誤り(何も送信していない), "
               "3 送信後にﾚﾎﾟｰﾄを書き込めなかった, 130 SIGINT/SIGTERM で中止。",
               "SCENARIO.csv"),
        Option(kSettings,
               "--batch: 使う設定ﾌｧｲﾙ(*.qn)。ｿｹｯﾄ種別は TCP/IP(ｸﾗｲｱﾝﾄ) になり、QNﾎﾟｰﾄはﾌｧｲﾙの値を使います。"
               "既定: 新規の設定(QNﾎﾟｰﾄ 0)。",
               "DOC.qn"),
        Option(kResults, "--batch: 結果欄を埋めたｼﾅﾘｵを一括送信画面と同じ形式で書き込みます。", "OUT.csv"),
        Option(kJUnit, "--batch: JUnit XML 形式の報告を書き込みます(1行1ﾃｽﾄ)。", "OUT.xml"),
        Option(kTimings, "--batch: 送信した行ごとの応答時間(ﾐﾘ秒)と行の所要時間を書き込みます。", "OUT.csv"),
        Option(kRowTimeout,
               "--batch: ﾌﾟﾛﾝﾌﾟﾄを待つ時間の上限(接続から最初のﾌﾟﾛﾝﾌﾟﾄまで、各行の送信から次のﾌﾟﾛﾝﾌﾟﾄまで)。"
               "超えた行は「×:応答がありません」で終わり、次の行に進みます。既定: 上限なし"
               "(ﾌﾟﾛﾝﾌﾟﾄを返さず切断もしない機器が相手だと終わりません)。",
               "SECONDS"),
        Option(kPrompt,
               "--batch: 保存された設定の代わりに使うﾌﾟﾛﾝﾌﾟﾄ文字列(10個まで繰り返し指定可、\\r \\n \\xHH \\\\ を使えます)。"
               "保存された設定は変わりません。",
               "TEXT"),
        Option(kIgnorePrompt, "--batch: ﾌﾟﾛﾝﾌﾟﾄを判定せず、受信するたびに次の行を送ります。"),
        Option(kQuiet, "--batch: 進行状況を表示しません。"),
        Option(kReplyRules, "--batch: 設定ﾌｧｲﾙの応答ﾙｰﾙを使います。既定: 一括送信中は応答ﾙｰﾙを使いません。"),
        Option(kTls, "--batch: TLS で接続し、ｻｰﾊﾞｰ証明書をｼｽﾃﾑのCAｽﾄｱで検証します。既定: 設定ﾌｧｲﾙのTLS設定"
                     "(接続先ｱﾄﾞﾚｽを tls://ﾎｽﾄ と書いた行はその行だけ TLS で接続します)。"),
        Option(kCa, "--batch: ｻｰﾊﾞｰ証明書をこのCAﾌｧｲﾙ(PEM)で検証します(--tls を含みます)。", "FILE"),
        Option(kInsecure, "--batch: ｻｰﾊﾞｰ証明書を検証しません(--tls を含みます)。証明書の内容はﾛｸﾞに出ます。"),
        Option(kKeyPassFile,
               "--batch: 設定ﾌｧｲﾙのｸﾗｲｱﾝﾄ証明書の秘密鍵がﾊﾟｽﾌﾚｰｽﾞ付きのとき、そのﾊﾟｽﾌﾚｰｽﾞをこのﾌｧｲﾙの1行目から読みます。"
               "指定がなければ環境変数 QUILLNET_KEY_PASS の値を使います。どちらもなければその行は"
               "「秘密鍵にﾊﾟｽﾌﾚｰｽﾞが必要です」で終わります。",
               "FILE"),
        Option(kPcapng,
               "--batch: 送受信した電文を pcapng 形式のﾊﾟｹｯﾄ ﾄﾚｰｽとして届くたびに書き込みます。"
               "- は標準出力 (例: --pcapng - | wireshark -k -i -)。",
               "FILE"),
        Option(kPcapngSerial, "--batch: ﾄﾚｰｽでｼﾘｱﾙの電文を渡すﾃﾞｨｾｸﾀ (例: mbrtu)。既定: data。", "NAME"),
        Option(kCommands,
               "--batch: ｼﾅﾘｵの代わりにｺﾏﾝﾄﾞﾌｧｲﾙ(CSV)のｼｰｹﾝｽを実行します(--batch の後のｼﾅﾘｵﾌｧｲﾙは不要)。"
               "--run と、--to か --listen のどちらかが必要です。",
               "FILE"),
        Option(kRun, "--commands: 実行するｼｰｹﾝｽの名前(ｶﾝﾏ区切り、繰り返し指定可)。指定の順に実行します。", "NAME[,NAME...]"),
        Option(kTo, "--commands: 接続先。ﾎｽﾄ:ﾎﾟｰﾄ (TCP), tls://ﾎｽﾄ:ﾎﾟｰﾄ (TLS), /dev/ttyX:ﾎﾞｰﾚｰﾄ (ｼﾘｱﾙ)。", "ADDRESS"),
        Option(kListen, "--commands: このﾎﾟｰﾄで待ち受け、接続したｸﾗｲｱﾝﾄ1つにｼｰｹﾝｽを実行します。", "[HOST:]PORT"),
        Option(kValues,
               "--batch: 設定ﾌｧｲﾙのﾁｬﾝﾈﾙが電文から読んだ値を CSV (時刻とﾁｬﾝﾈﾙごとの列) で書き込みます。"
               "ﾁｬﾝﾈﾙの下限・上限を外れた値があると、その行 (ｼｰｹﾝｽ) は失敗です。",
               "FILE"),
    };
}

bool CBatchOptions::ReadKeyPassphrase(const QString &file, QByteArray *passphrase, QString *reason)
{
    if (file.isEmpty()) {
        if (!qEnvironmentVariableIsSet(kKeyPassVariable))
            return false;
        *passphrase = qgetenv(kKeyPassVariable);
        return true;
    }
    QString why;
    if (!CTlsFile::Read(file, passphrase, &why)) {
        if (reason)
            *reason = why;
        return false;
    }
    // The first line, without its line end, as the usual passphrase files hold it.
    const qsizetype end = passphrase->indexOf('\n');
    if (end >= 0) {
        OPENSSL_cleanse(passphrase->data() + end, size_t(passphrase->size() - end));
        passphrase->truncate(end);
    }
    if (passphrase->endsWith('\r'))
        passphrase->chop(1);
    return true;
}

bool CBatchOptions::DecodePrompt(const QString &text, QByteArray *bytes)
{
    return DecodeEscapedText(text, bytes, TextEscapes::Basic);
}

bool CBatchOptions::Read(const QCommandLineParser &parser, QString *error)
{
    const auto value = [&](const char *name) { return parser.value(QString::fromLatin1(name)); };
    const auto isSet = [&](const char *name) { return parser.isSet(QString::fromLatin1(name)); };
    scenario = value(kBatch);
    if (!isSet(kBatch)) {
        for (const char *name :
             {kSettings, kResults, kJUnit, kTimings, kRowTimeout, kPrompt, kIgnorePrompt, kQuiet, kReplyRules, kTls, kCa, kInsecure,
              kKeyPassFile, kPcapng, kPcapngSerial, kCommands, kRun, kTo, kListen, kValues}) {
            if (isSet(name)) {
                *error = QStringLiteral("%1 は --batch と一緒に指定してください").arg(Dashed(name));
                return false;
            }
        }
        return true;
    }
    if (!ReadCommandsRun(parser, error))
        return false;
    if (scenario.isEmpty() && commands.isEmpty()) {
        *error = QStringLiteral("--batch にｼﾅﾘｵﾌｧｲﾙを指定してください");
        return false;
    }
    settings = value(kSettings);
    results = value(kResults);
    junit = value(kJUnit);
    timings = value(kTimings);
    quiet = isSet(kQuiet);
    replyRules = isSet(kReplyRules);
    caFile = value(kCa);
    insecure = isSet(kInsecure);
    tls = isSet(kTls) || isSet(kCa) || insecure;
    if (isSet(kCa) && insecure) {
        *error = QStringLiteral("--ca と --insecure は一緒に指定できません");
        return false;
    }
    // Read as each row will read it: a folder, a FIFO, a device or a file without a certificate
    // stops the run before anything is sent.
    QString reason;
    if (isSet(kCa) && !CTlsContext::CheckCaFile(caFile, &reason)) {
        *error = QStringLiteral("CAﾌｧｲﾙを読めません: ") + caFile + QStringLiteral(" (") + reason + QLatin1Char(')');
        return false;
    }
    keyPassFile = value(kKeyPassFile);
    pcapng = value(kPcapng);
    values = value(kValues);
    if (isSet(kValues) && values.isEmpty()) {
        *error = QStringLiteral("--values にﾌｧｲﾙを指定してください");
        return false;
    }
    pcapngSerial = value(kPcapngSerial).toLatin1();
    if (isSet(kPcapng) && pcapng.isEmpty()) {
        *error = QStringLiteral("--pcapng にﾌｧｲﾙを指定してください");
        return false;
    }
    if (pcapng == QStringLiteral("-") && (results == pcapng || junit == pcapng || timings == pcapng)) {
        *error = QStringLiteral("--pcapng - と同時にﾚﾎﾟｰﾄを標準出力に書くことはできません");
        return false;
    }
    QByteArray passphrase;
    if (isSet(kKeyPassFile) && !ReadKeyPassphrase(keyPassFile, &passphrase, &reason)) {
        *error = QStringLiteral("ﾊﾟｽﾌﾚｰｽﾞﾌｧｲﾙを読めません: ") + keyPassFile + QStringLiteral(" (") + reason + QLatin1Char(')');
        return false;
    }
    OPENSSL_cleanse(passphrase.data(), size_t(passphrase.size()));
    checksum.reset();
    if (isSet("checksum")) {
        QString reason;
        checksum = CChecksumRule::Parse(value("checksum"), &reason);
        if (!checksum) {
            *error = QStringLiteral("--checksum: ") + reason;
            return false;
        }
    }

    rowTimeoutMs = 0;
    if (isSet(kRowTimeout)) {
        bool ok = false;
        const double seconds = value(kRowTimeout).toDouble(&ok);
        if (!ok || !std::isfinite(seconds) || seconds <= 0 || seconds > kMaxRowTimeoutSeconds) {
            *error = QStringLiteral("--row-timeout には 0 より大きく %1 以下の秒数を指定してください: %2")
                         .arg(kMaxRowTimeoutSeconds)
                         .arg(value(kRowTimeout));
            return false;
        }
        rowTimeoutMs = qMax(1, int(std::lround(seconds * 1000)));
    }

    prompts.reset();
    const QStringList texts = parser.values(QString::fromLatin1(kPrompt));
    if (texts.size() > kPromptCount) {
        *error = QStringLiteral("--prompt は %1 個までです").arg(kPromptCount);
        return false;
    }
    if (isSet(kIgnorePrompt) || !texts.isEmpty()) {
        PromptSettings given;
        given.ignore = isSet(kIgnorePrompt);
        for (const QString &text : texts) {
            QByteArray bytes;
            if (!DecodePrompt(text, &bytes)) {
                *error = QStringLiteral("--prompt の \\ の使い方が誤っています(\\r \\n \\xHH \\\\): %1").arg(text);
                return false;
            }
            given.strings.append(bytes);
        }
        prompts = given;
    }
    return true;
}

bool CBatchOptions::ReadCommandsRun(const QCommandLineParser &parser, QString *error)
{
    const auto isSet = [&](const char *name) { return parser.isSet(QString::fromLatin1(name)); };
    commands = parser.value(QString::fromLatin1(kCommands));
    run.clear();
    for (const QString &names : parser.values(QString::fromLatin1(kRun))) {
        for (const QString &name : names.split(QLatin1Char(',')))
            if (!name.trimmed().isEmpty())
                run << name.trimmed();
    }
    to = parser.value(QString::fromLatin1(kTo));
    listen = parser.value(QString::fromLatin1(kListen));
    if (!isSet(kCommands)) {
        for (const char *name : {kRun, kTo, kListen}) {
            if (isSet(name)) {
                *error = QStringLiteral("%1 は --commands と一緒に指定してください").arg(Dashed(name));
                return false;
            }
        }
        return true;
    }
    if (commands.isEmpty()) {
        *error = QStringLiteral("--commands にｺﾏﾝﾄﾞﾌｧｲﾙを指定してください");
        return false;
    }
    if (!scenario.isEmpty()) {
        *error = QStringLiteral("--commands と一緒にｼﾅﾘｵﾌｧｲﾙは指定できません: %1").arg(scenario);
        return false;
    }
    for (const char *name : {kResults, kRowTimeout, kPrompt, kIgnorePrompt}) {
        if (isSet(name)) {
            *error = QStringLiteral("%1 は --commands と使えません").arg(Dashed(name));
            return false;
        }
    }
    if (run.isEmpty()) {
        *error = QStringLiteral("--commands には --run で実行するｼｰｹﾝｽを指定してください");
        return false;
    }
    if (to.isEmpty() == listen.isEmpty()) {
        *error = QStringLiteral("--commands には --to か --listen のどちらか一つを指定してください");
        return false;
    }
    return true;
}
