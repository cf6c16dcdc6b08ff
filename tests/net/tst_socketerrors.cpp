// Every text of the seven error tables, byte for byte, and the default for codes a table lacks.
#include "net/socketerrors.h"

#include <QTest>

#include <set>

namespace {

struct Row
{
    int code;
    const char *text;
};

const char kIsConnEnglish[] = "Socket is already connected. A connect request was made on an already connected socket. "
                              "Some implementations also return this error if sendto is called on a connected "
                              "SOCK_DGRAM socket (For SOCK_STREAM sockets, the to parameter in sendto is ignored), "
                              "although other implementations treat this as a legal occurrence.  ";

void AddRows(std::initializer_list<Row> rows)
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    for (const Row &row : rows)
        QTest::addRow("%d", row.code) << row.code << QString::fromUtf8(row.text);
}

// The listed code gives its text; every code of the Winsock range the table does not list gives the
// caller's default, so a missing or an extra row shows.
void CheckTable(SocketErrorTable table, std::initializer_list<Row> rows)
{
    QFETCH(int, code);
    QFETCH(QString, text);
    QCOMPARE(SocketErrorText(table, code, QStringLiteral("default")), text);
    if (code != rows.begin()->code)
        return;
    std::set<int> listed;
    for (const Row &row : rows)
        listed.insert(row.code);
    for (int other = 0; other < 11100; ++other) {
        if (!listed.count(other))
            QCOMPARE(SocketErrorText(table, other, QStringLiteral("default")), QStringLiteral("default"));
    }
}

const std::initializer_list<Row> kConnectRows = {
    {10014, "引数 nSockAddrLen が不正です。"},
    {10022, "ソケットはまだアドレスにバインドされていません。"},
    {10024, "利用できるファイル ディスクリプタがありません。"},
    {10035, "ソケットが非ブロッキングになっていて、接続が完了できません。 "},
    {10036, "実行中の Windows ソケット操作がブロッキングされています。"},
    {10038, "ディスクリプタがソケットではありません。"},
    {10039, "宛先アドレスが必要です。"},
    {10047, "指定したアドレス ファミリは、このソケットではサポートしていません。"},
    {10048, "指定したアドレスは使用中です。"},
    {10049, "指定したアドレスは、ローカル マシンからは利用できません。"},
    {10050, "Windows ソケットのインプリメントが、ネットワーク サブシステムの異常を検出しました。"},
    {10051, "現時点で、ホストからネットワークに到達できません。"},
    {10055, "利用できるバッファ領域がありません。ソケットは接続できません。"},
    {10056, "ソケットは既に接続されています。"},
    {10060, "接続を試みましたが、タイムアウトで接続を確立できませんでした。"},
    {10061, "接続を試みましたが、リジェクトされました。"},
    {10065, "到達できないホストに対してソケット操作を試みました。"},
    {10093, "この API を使う前に AfxSocketInit の呼び出しが正常終了していることが必要です。"},
};

const std::initializer_list<Row> kListenRows = {
    {10022, "ソケットは Bind を使ってバインドされていないか、既に接続されています。"},
    {10024, "利用できるファイル ディスクリプタがありません。"},
    {10036, "実行中の Windows ソケット呼び出しがブロッキングされています。"},
    {10038, "ディスクリプタがソケットではありません。"},
    {10045, "参照されるソケットの型は、Listen 操作をサポートしていません。"},
    {10048, "使用中のアドレスに対してリスナになるよう試みました。"},
    {10050, "Windows ソケットのインプリメントが、ネットワーク サブシステムの異常を検出しました。"},
    {10055, "利用できるバッファ領域がありません。"},
    {10056, "ソケットは既に接続されています。"},
    {10093, "この API を使う前に AfxSocketInit の呼び出しが正常終了していることが必要です。"},
};

const std::initializer_list<Row> kAcceptRows = {
    {10014, "引数 lpSockAddrLen が小さすぎます。SOCKADDR 構造体のサイズよりも小さくなっています。"},
    {10022, "受け入れる前に Listen が呼び出されていません。"},
    {10024, "受け入れるエントリ上のキューが空で、利用できるディスクリプタがありません。"},
    {10035, "ソケットは非ブロッキングになっていて、受け入れる接続がありません。"},
    {10036, "実行中の Windows ソケット呼び出しがブロッキングされています。"},
    {10038, "ディスクリプタがソケットではありません。"},
    {10045, "参照しているソケットは、接続指向のサービスをサポートするタイプではありません。"},
    {10050, "Windows ソケットのインプリメントが、ネットワーク サブシステムの異常を検出しました。"},
    {10055, "利用できるバッファ領域がありません。"},
    {10093, "この API を使う前に AfxSocketInit の呼び出しが正常終了していることが必要です。"},
};

const std::initializer_list<Row> kSendRows = {
    {10013, "要求したアドレスはブロードキャスト アドレスですが、適切なフラグが設定されていませんでした。"},
    {10014, "引数 lpBuf がユーザー アドレス空間の有効な部分を指していません。"},
    {10022, "ソケットが Bind を使ってバインドされていません。"},
    {10035, "ソケットは非ブロッキングになっていて、要求した操作がブロックされました。"},
    {10036, "実行中の Windows ソケット呼び出しがブロッキングされています。"},
    {10038, "ディスクリプタがソケットではありません。"},
    {10040, "ソケットが SOCK_DGRAM 型で、Windows ソケットのインプリメントがサポートする最大長よりもデータグラムが長すぎます。"},
    {10045, "MSG_OOB が指定されましたが、SOCK_STREAM 型のソケットではありません。"},
    {10050, "Windows ソケットのインプリメントが、ネットワーク サブシステムの異常を検出しました。"},
    {10052, "Windows ソケットのインプリメントがソケットをドロップしたので、接続をリセットする必要があります。"},
    {10053, "タイムアウトまたはその他の障害により、仮想回路はアボートされました。"},
    {10054, "リモート側から仮想回路がリセットされました。 "},
    {10055, "Windows ソケットのインプリメントが、バッファのデッドロックをリポートています。"},
    {10057, "ソケットが接続されていません。"},
    {10058, "ソケットはシャット ダウンされています。nHow に 0 または 2 を指定して ShutDown を起動した後では、ソケットで Send を呼び出すことはできません。"},
    {10065, "到達できないホストに対してソケット操作を試みました。"},
    {10093, "この API を使う前に AfxSocketInit の呼び出しが正常終了していることが必要です。"},
};

const std::initializer_list<Row> kSendToRows = {
    {10013, "要求したアドレスはブロードキャスト アドレスですが、適切なフラグが設定されていませんでした。"},
    {10014, "引数 lpBuf または lpSockAddr がユーザー アドレス空間の有効な部分を指していません。または、引数 lpSockAddr 小さすぎます。SOCKADDR 構造体のサイズより小さくなっています。"},
    {10022, "ソケットが Bind を使ってバインドされていません。"},
    {10035, "ソケットは非ブロッキングになっていて、要求した操作がブロックされました。"},
    {10036, "実行中の Windows ソケット呼び出しがブロッキングされています。"},
    {10038, "ディスクリプタがソケットではありません。"},
    {10039, "宛先アドレスが必要です。"},
    {10040, "ソケットが SOCK_DGRAM 型で、Windows ソケットのインプリメントがサポートする最大長よりもデータグラムが長すぎます。"},
    {10045, "MSG_OOB が指定されましたが、SOCK_STREAM 型のソケットではありません。"},
    {10047, "指定したファミリのアドレスはこのソケットでは使用できません。"},
    {10049, "指定したアドレスはローカル マシンからは利用できません。"},
    {10050, "Windowsソケットのインプリメントが、ネットワーク サブシステムの異常を検出しました。"},
    {10051, "現時点では、ホストからネットワークに到達できません。 "},
    {10052, "Windows ソケットのインプリメントがソケットをドロップしたので、接続をリセットする必要があります。"},
    {10053, "タイムアウトまたはその他の障害により、仮想回路はアボートされました。"},
    {10054, "リモート側から仮想回路がリセットされました。"},
    {10055, "Windows ソケットのインプリメントが、バッファのデッドロックをリポートています。"},
    {10056, kIsConnEnglish},
    {10057, "ソケットが接続されていません (SOCK_STREAM 型のみ)。"},
    {10058, "ソケットはシャット ダウンされています。nHow に 0 または 2 を指定して ShutDown を起動した後では、ソケットで SendTo を呼び出すことはできません。"},
    {10065, "到達できないホストに対してソケット操作を試みました。"},
    {10093, "この API を使う前に AfxSocketInit の呼び出しが正常終了していることが必要です。"},
};

const std::initializer_list<Row> kReceiveRows = {
    {10022, "ソケットは Bind を使ってバインドされていません。 "},
    {10035, "ソケットは非ブロッキングになっていて、Receive 操作がブロックされました。 "},
    {10036, "実行中の Windows ソケット呼び出しがブロッキングされています。 "},
    {10038, "ディスクリプタがソケットではありません。 "},
    {10040, "データグラムが長すぎて、指定したバッファに入りきらないため、切り詰められました。 "},
    {10045, "MSG_OOB が指定されましたが、SOCK_STREAM 型のソケットではありません。 "},
    {10050, "Windows ソケットのインプリメントが、ネットワーク サブシステムの異常を検出しました。 "},
    {10053, "タイムアウトまたはその他の障害により、仮想回路はアボートされました。 "},
    {10054, "リモート側から仮想回路がリセットされました。  "},
    {10057, "ソケットが接続されていません。 "},
    {10058, "ソケットはシャット ダウンされました。nHow の 0 または 2 を渡して ShutDown を起動した後では、ソケットで Receive を呼び出すことはできません。 "},
    {10093, "この API を使う前に AfxSocketInit の呼び出しが正常終了していることが必要です。 "},
};

const std::initializer_list<Row> kReceiveFromRows = {
    {10014, "引数 lpSockAddrLen が不正です。ピア アドレスを格納するには、lpSockAddr バッファが小さすぎます。 "},
    {10022, "ソケットは Bind を使ってバインドされていません。 "},
    {10035, "ソケットは非ブロッキングになっていて、ReceiveFrom 操作がブロックされました。 "},
    {10036, "実行中の Windows ソケット呼び出しがブロッキングされています。 "},
    {10038, "ディスクリプタがソケットではありません。 "},
    {10040, "データグラムが長すぎて、指定したバッファに入りきらないため、切り詰められました。 "},
    {10045, "MSG_OOB が指定されましたが、SOCK_STREAM 型のソケットではありません。 "},
    {10050, "Windows ソケットのインプリメントが、ネットワーク サブシステムの異常を検出しました。 "},
    {10053, "タイムアウトまたはその他の障害により、仮想回路はアボートされました。 "},
    {10054, "リモート側から仮想回路がリセットされました。  "},
    {10057, "ソケットは接続されていません (SOCK_STREAM 型のみ)。 "},
    {10058, "ソケットはシャット ダウンされています。nHow に 0 または 2 を指定して ShutDown を起動した後では、ソケットで ReceiveFrom を呼び出すことはできません。 "},
    {10093, "この API を使う前に AfxSocketInit の呼び出しが正常終了していることが必要です。 "},
};

}  // namespace

class TestSocketErrors : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void connectTable_data() { AddRows(kConnectRows); }
    void connectTable() { CheckTable(SocketErrorTable::Connect, kConnectRows); }
    void listenTable_data() { AddRows(kListenRows); }
    void listenTable() { CheckTable(SocketErrorTable::Listen, kListenRows); }
    void acceptTable_data() { AddRows(kAcceptRows); }
    void acceptTable() { CheckTable(SocketErrorTable::Accept, kAcceptRows); }
    void sendTable_data() { AddRows(kSendRows); }
    void sendTable() { CheckTable(SocketErrorTable::Send, kSendRows); }
    void sendToTable_data() { AddRows(kSendToRows); }
    void sendToTable() { CheckTable(SocketErrorTable::SendTo, kSendToRows); }
    void receiveTable_data() { AddRows(kReceiveRows); }
    void receiveTable() { CheckTable(SocketErrorTable::Receive, kReceiveRows); }
    void receiveFromTable_data() { AddRows(kReceiveFromRows); }
    void receiveFromTable() { CheckTable(SocketErrorTable::ReceiveFrom, kReceiveFromRows); }

    void defaultTextsOfEachCaller()
    {
        // A code between listed ones (WSAEALREADY) and one outside every table (WSAEHOSTDOWN).
        for (int code : {10037, 10064}) {
            QCOMPARE(SocketErrorText(SocketErrorTable::Connect, code, QString::fromUtf8(kUnknownError)),
                     QStringLiteral("不明なエラー"));
            QCOMPARE(SocketErrorText(SocketErrorTable::Listen, code, QString::fromUtf8(kUnknownErrorAfterCall)),
                     QStringLiteral("()不明なエラー"));
            QCOMPARE(SocketErrorText(SocketErrorTable::Connect, code, QString::fromUtf8(kUdpCreateUnknownError)),
                     QStringLiteral("CAsyncSocket::Create()不明なエラー"));
            QCOMPARE(SocketErrorText(SocketErrorTable::SendTo, code, QString::fromUtf8(kUdpSendToUnknownError)),
                     QStringLiteral("CAsyncSocket::SendTo()不明なエラー"));
            QCOMPARE(SocketErrorText(SocketErrorTable::ReceiveFrom, code,
                                     QString::fromUtf8(kUdpReceiveFromUnknownError)),
                     QStringLiteral("CAsyncSocket::ReceiveFrom()不明なエラー"));
        }
    }
};

QTEST_GUILESS_MAIN(TestSocketErrors)
#include "tst_socketerrors.moc"
