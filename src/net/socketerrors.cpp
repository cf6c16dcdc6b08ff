#include "net/socketerrors.h"

#include "platform/casyncsocket.h"

#include <cstddef>

namespace {

struct Entry
{
    int code;
    const char *text;  // UTF-8
};

const Entry kConnectTable[] = {
    {WSAEFAULT, "引数 nSockAddrLen が不正です。"},
    {WSAEINVAL, "ソケットはまだアドレスにバインドされていません。"},
    {WSAEMFILE, "利用できるファイル ディスクリプタがありません。"},
    {WSAEWOULDBLOCK, "ソケットが非ブロッキングになっていて、接続が完了できません。 "},
    {WSAEINPROGRESS, "実行中の Windows ソケット操作がブロッキングされています。"},
    {WSAENOTSOCK, "ディスクリプタがソケットではありません。"},
    {WSAEDESTADDRREQ, "宛先アドレスが必要です。"},
    {WSAEAFNOSUPPORT, "指定したアドレス ファミリは、このソケットではサポートしていません。"},
    {WSAEADDRINUSE, "指定したアドレスは使用中です。"},
    {WSAEADDRNOTAVAIL, "指定したアドレスは、ローカル マシンからは利用できません。"},
    {WSAENETDOWN, "Windows ソケットのインプリメントが、ネットワーク サブシステムの異常を検出しました。"},
    {WSAENETUNREACH, "現時点で、ホストからネットワークに到達できません。"},
    {WSAENOBUFS, "利用できるバッファ領域がありません。ソケットは接続できません。"},
    {WSAEISCONN, "ソケットは既に接続されています。"},
    {WSAETIMEDOUT, "接続を試みましたが、タイムアウトで接続を確立できませんでした。"},
    {WSAECONNREFUSED, "接続を試みましたが、リジェクトされました。"},
    {WSAEHOSTUNREACH, "到達できないホストに対してソケット操作を試みました。"},
    {WSANOTINITIALISED, "この API を使う前に AfxSocketInit の呼び出しが正常終了していることが必要です。"},
};

const Entry kListenTable[] = {
    {WSAEINVAL, "ソケットは Bind を使ってバインドされていないか、既に接続されています。"},
    {WSAEMFILE, "利用できるファイル ディスクリプタがありません。"},
    {WSAEINPROGRESS, "実行中の Windows ソケット呼び出しがブロッキングされています。"},
    {WSAENOTSOCK, "ディスクリプタがソケットではありません。"},
    {WSAEOPNOTSUPP, "参照されるソケットの型は、Listen 操作をサポートしていません。"},
    {WSAEADDRINUSE, "使用中のアドレスに対してリスナになるよう試みました。"},
    {WSAENETDOWN, "Windows ソケットのインプリメントが、ネットワーク サブシステムの異常を検出しました。"},
    {WSAENOBUFS, "利用できるバッファ領域がありません。"},
    {WSAEISCONN, "ソケットは既に接続されています。"},
    {WSANOTINITIALISED, "この API を使う前に AfxSocketInit の呼び出しが正常終了していることが必要です。"},
};

const Entry kAcceptTable[] = {
    {WSAEFAULT, "引数 lpSockAddrLen が小さすぎます。SOCKADDR 構造体のサイズよりも小さくなっています。"},
    {WSAEINVAL, "受け入れる前に Listen が呼び出されていません。"},
    {WSAEMFILE, "受け入れるエントリ上のキューが空で、利用できるディスクリプタがありません。"},
    {WSAEWOULDBLOCK, "ソケットは非ブロッキングになっていて、受け入れる接続がありません。"},
    {WSAEINPROGRESS, "実行中の Windows ソケット呼び出しがブロッキングされています。"},
    {WSAENOTSOCK, "ディスクリプタがソケットではありません。"},
    {WSAEOPNOTSUPP, "参照しているソケットは、接続指向のサービスをサポートするタイプではありません。"},
    {WSAENETDOWN, "Windows ソケットのインプリメントが、ネットワーク サブシステムの異常を検出しました。"},
    {WSAENOBUFS, "利用できるバッファ領域がありません。"},
    {WSANOTINITIALISED, "この API を使う前に AfxSocketInit の呼び出しが正常終了していることが必要です。"},
};

const Entry kSendTable[] = {
    {WSAEACCES, "要求したアドレスはブロードキャスト アドレスですが、適切なフラグが設定されていませんでした。"},
    {WSAEFAULT, "引数 lpBuf がユーザー アドレス空間の有効な部分を指していません。"},
    {WSAEINVAL, "ソケットが Bind を使ってバインドされていません。"},
    {WSAEWOULDBLOCK, "ソケットは非ブロッキングになっていて、要求した操作がブロックされました。"},
    {WSAEINPROGRESS, "実行中の Windows ソケット呼び出しがブロッキングされています。"},
    {WSAENOTSOCK, "ディスクリプタがソケットではありません。"},
    {WSAEMSGSIZE, "ソケットが SOCK_DGRAM 型で、Windows ソケットのインプリメントがサポートする最大長よりもデータグラムが長すぎます。"},
    {WSAEOPNOTSUPP, "MSG_OOB が指定されましたが、SOCK_STREAM 型のソケットではありません。"},
    {WSAENETDOWN, "Windows ソケットのインプリメントが、ネットワーク サブシステムの異常を検出しました。"},
    {WSAENETRESET, "Windows ソケットのインプリメントがソケットをドロップしたので、接続をリセットする必要があります。"},
    {WSAECONNABORTED, "タイムアウトまたはその他の障害により、仮想回路はアボートされました。"},
    {WSAECONNRESET, "リモート側から仮想回路がリセットされました。 "},
    {WSAENOBUFS, "Windows ソケットのインプリメントが、バッファのデッドロックをリポートています。"},
    {WSAENOTCONN, "ソケットが接続されていません。"},
    {WSAESHUTDOWN, "ソケットはシャット ダウンされています。nHow に 0 または 2 を指定して ShutDown を起動した後では、ソケットで Send を呼び出すことはできません。"},
    {WSAEHOSTUNREACH, "到達できないホストに対してソケット操作を試みました。"},
    {WSANOTINITIALISED, "この API を使う前に AfxSocketInit の呼び出しが正常終了していることが必要です。"},
};

const Entry kSendToTable[] = {
    {WSAEACCES, "要求したアドレスはブロードキャスト アドレスですが、適切なフラグが設定されていませんでした。"},
    {WSAEFAULT, "引数 lpBuf または lpSockAddr がユーザー アドレス空間の有効な部分を指していません。または、引数 lpSockAddr 小さすぎます。SOCKADDR 構造体のサイズより小さくなっています。"},
    {WSAEINVAL, "ソケットが Bind を使ってバインドされていません。"},
    {WSAEWOULDBLOCK, "ソケットは非ブロッキングになっていて、要求した操作がブロックされました。"},
    {WSAEINPROGRESS, "実行中の Windows ソケット呼び出しがブロッキングされています。"},
    {WSAENOTSOCK, "ディスクリプタがソケットではありません。"},
    {WSAEDESTADDRREQ, "宛先アドレスが必要です。"},
    {WSAEMSGSIZE, "ソケットが SOCK_DGRAM 型で、Windows ソケットのインプリメントがサポートする最大長よりもデータグラムが長すぎます。"},
    {WSAEOPNOTSUPP, "MSG_OOB が指定されましたが、SOCK_STREAM 型のソケットではありません。"},
    {WSAEAFNOSUPPORT, "指定したファミリのアドレスはこのソケットでは使用できません。"},
    {WSAEADDRNOTAVAIL, "指定したアドレスはローカル マシンからは利用できません。"},
    {WSAENETDOWN, "Windowsソケットのインプリメントが、ネットワーク サブシステムの異常を検出しました。"},
    {WSAENETUNREACH, "現時点では、ホストからネットワークに到達できません。 "},
    {WSAENETRESET, "Windows ソケットのインプリメントがソケットをドロップしたので、接続をリセットする必要があります。"},
    {WSAECONNABORTED, "タイムアウトまたはその他の障害により、仮想回路はアボートされました。"},
    {WSAECONNRESET, "リモート側から仮想回路がリセットされました。"},
    {WSAENOBUFS, "Windows ソケットのインプリメントが、バッファのデッドロックをリポートています。"},
    {WSAEISCONN,
     "Socket is already connected. A connect request was made on an already connected socket. "
     "Some implementations also return this error if sendto is called on a connected SOCK_DGRAM socket (For SOCK_STREAM sockets, the to parameter in sendto is ignored), "
     "although other implementations treat this as a legal occurrence.  "},
    {WSAENOTCONN, "ソケットが接続されていません (SOCK_STREAM 型のみ)。"},
    {WSAESHUTDOWN, "ソケットはシャット ダウンされています。nHow に 0 または 2 を指定して ShutDown を起動した後では、ソケットで SendTo を呼び出すことはできません。"},
    {WSAEHOSTUNREACH, "到達できないホストに対してソケット操作を試みました。"},
    {WSANOTINITIALISED, "この API を使う前に AfxSocketInit の呼び出しが正常終了していることが必要です。"},
};

const Entry kReceiveTable[] = {
    {WSAEINVAL, "ソケットは Bind を使ってバインドされていません。 "},
    {WSAEWOULDBLOCK, "ソケットは非ブロッキングになっていて、Receive 操作がブロックされました。 "},
    {WSAEINPROGRESS, "実行中の Windows ソケット呼び出しがブロッキングされています。 "},
    {WSAENOTSOCK, "ディスクリプタがソケットではありません。 "},
    {WSAEMSGSIZE, "データグラムが長すぎて、指定したバッファに入りきらないため、切り詰められました。 "},
    {WSAEOPNOTSUPP, "MSG_OOB が指定されましたが、SOCK_STREAM 型のソケットではありません。 "},
    {WSAENETDOWN, "Windows ソケットのインプリメントが、ネットワーク サブシステムの異常を検出しました。 "},
    {WSAECONNABORTED, "タイムアウトまたはその他の障害により、仮想回路はアボートされました。 "},
    {WSAECONNRESET, "リモート側から仮想回路がリセットされました。  "},
    {WSAENOTCONN, "ソケットが接続されていません。 "},
    {WSAESHUTDOWN, "ソケットはシャット ダウンされました。nHow の 0 または 2 を渡して ShutDown を起動した後では、ソケットで Receive を呼び出すことはできません。 "},
    {WSANOTINITIALISED, "この API を使う前に AfxSocketInit の呼び出しが正常終了していることが必要です。 "},
};

const Entry kReceiveFromTable[] = {
    {WSAEFAULT, "引数 lpSockAddrLen が不正です。ピア アドレスを格納するには、lpSockAddr バッファが小さすぎます。 "},
    {WSAEINVAL, "ソケットは Bind を使ってバインドされていません。 "},
    {WSAEWOULDBLOCK, "ソケットは非ブロッキングになっていて、ReceiveFrom 操作がブロックされました。 "},
    {WSAEINPROGRESS, "実行中の Windows ソケット呼び出しがブロッキングされています。 "},
    {WSAENOTSOCK, "ディスクリプタがソケットではありません。 "},
    {WSAEMSGSIZE, "データグラムが長すぎて、指定したバッファに入りきらないため、切り詰められました。 "},
    {WSAEOPNOTSUPP, "MSG_OOB が指定されましたが、SOCK_STREAM 型のソケットではありません。 "},
    {WSAENETDOWN, "Windows ソケットのインプリメントが、ネットワーク サブシステムの異常を検出しました。 "},
    {WSAECONNABORTED, "タイムアウトまたはその他の障害により、仮想回路はアボートされました。 "},
    {WSAECONNRESET, "リモート側から仮想回路がリセットされました。  "},
    {WSAENOTCONN, "ソケットは接続されていません (SOCK_STREAM 型のみ)。 "},
    {WSAESHUTDOWN, "ソケットはシャット ダウンされています。nHow に 0 または 2 を指定して ShutDown を起動した後では、ソケットで ReceiveFrom を呼び出すことはできません。 "},
    {WSANOTINITIALISED, "この API を使う前に AfxSocketInit の呼び出しが正常終了していることが必要です。 "},
};

template <std::size_t N>
const char *Find(const Entry (&table)[N], int code)
{
    for (const Entry &entry : table) {
        if (entry.code == code)
            return entry.text;
    }
    return nullptr;
}

const char *Lookup(SocketErrorTable table, int code)
{
    switch (table) {
    case SocketErrorTable::Connect: return Find(kConnectTable, code);
    case SocketErrorTable::Listen: return Find(kListenTable, code);
    case SocketErrorTable::Accept: return Find(kAcceptTable, code);
    case SocketErrorTable::Send: return Find(kSendTable, code);
    case SocketErrorTable::SendTo: return Find(kSendToTable, code);
    case SocketErrorTable::Receive: return Find(kReceiveTable, code);
    case SocketErrorTable::ReceiveFrom: return Find(kReceiveFromTable, code);
    }
    return nullptr;
}

}  // namespace

QString SocketErrorText(SocketErrorTable table, int code, const QString &defaultText)
{
    if (code == QN_EMALFORMEDADDRESS)
        return QStringLiteral("アドレスの形式が正しくありません (IPv4 は 4 つの 0～255 の数、IPv6 は ::1 や [fe80::1%eth0]、名前は 253 文字まで)。");
    const char *text = Lookup(table, code);
    return text ? QString::fromUtf8(text) : defaultText;
}
