// The Japanese texts of Winsock error codes: one table per socket operation, with a default per caller;
// and the failure an endpoint reports, whichever layer it came from.
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

// Where a failure's code comes from.
enum class FailureDomain {
    Winsock,   // a Winsock code, as the socket layer maps the system's errors
    Errno,     // the system's errno value (a serial line)
    Tls,       // the TLS library or a TLS file; no code
    Settings,  // a setting that cannot be used; no code
};

// What an endpoint or socket last failed at: the code in its domain, the brief text the connection
// pane shows, and the Log's words where they say more (empty: the brief text). Code 0 and no text:
// nothing has failed.
struct SocketFailure
{
    int code = 0;
    QString text;
    FailureDomain domain = FailureDomain::Winsock;
    QString detail;

    static SocketFailure Winsock(int code, const QString &text) { return {code, text, FailureDomain::Winsock, {}}; }
    static SocketFailure Errno(int code, const QString &text) { return {code, text, FailureDomain::Errno, {}}; }
    static SocketFailure Tls(const QString &text, const QString &detail = {}) { return {0, text, FailureDomain::Tls, detail}; }
    static SocketFailure Settings(const QString &text) { return {0, text, FailureDomain::Settings, {}}; }

    bool IsSet() const { return code != 0 || !text.isEmpty(); }
    // The Log's words for it.
    QString LogText() const { return detail.isEmpty() ? text : detail; }
};
