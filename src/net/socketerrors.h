// The Japanese texts of Winsock error codes: one table per socket operation, with a default per caller.
#pragma once

#include <QString>

enum class SocketErrorTable { Connect, Listen, Accept, Send, SendTo, Receive, ReceiveFrom };

// The table's text for `code`, or `defaultText` when the table has no row for it.
QString SocketErrorText(SocketErrorTable table, int code, const QString &defaultText);

// Texts for a code the table does not list, as each caller words it.
inline constexpr char kUnknownError[] = "不明なエラー";
inline constexpr char kUnknownErrorAfterCall[] = "()不明なエラー";
inline constexpr char kUdpCreateUnknownError[] = "CAsyncSocket::Create()不明なエラー";
inline constexpr char kUdpSendToUnknownError[] = "CAsyncSocket::SendTo()不明なエラー";
inline constexpr char kUdpReceiveFromUnknownError[] = "CAsyncSocket::ReceiveFrom()不明なエラー";

// A socket call that failed: its Winsock code and the text the table gave it (code 0 and no text:
// none has failed).
struct SocketFailure
{
    int code = 0;
    QString text;
    bool IsSet() const { return code != 0 || !text.isEmpty(); }
};
