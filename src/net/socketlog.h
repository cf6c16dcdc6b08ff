// One socket log line: built from kind, text and tag, written into the shared log buffer and announced.
#pragma once

#include <QString>
#include <QStringView>

class QObject;

// Kinds of log line, shown by their prefix.
constexpr int LOG_WARN = 1;   // "+++ "
constexpr int LOG_ERROR = 2;  // "*** "
constexpr int LOG_TRACE = 3;  // ">>> "; any other kind "--- "

// Prefix by kind, the text and the tag, joined with nothing between them.
QString SocketLogLine(QStringView text, int kind, QStringView tag);

// Puts the line, as code page 932 bytes with a NUL, at the start of `logBuf` (QN_BUFFER_SIZE bytes),
// then sends WM_SOCKET_LOG to `receiver`, which reads it before this returns. Nothing with a null buffer.
void SendSocketLog(char *logBuf, QObject *receiver, QStringView text, int kind, QStringView tag);

// Appends `text` to the NUL-terminated line in `logBuf`. A line that would pass the buffer's end is
// cut there, at a character boundary, and stays NUL-terminated.
void AppendSocketLog(char *logBuf, QStringView text);
