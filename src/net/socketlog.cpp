#include "net/socketlog.h"

#include "platform/cmessageevent.h"
#include "platform/cp932.h"
#include "platform/qnwin.h"

#include <cstring>

namespace {

bool IsLeadByte(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// Copies as much of `bytes` as fits in `room` bytes with a NUL behind, never half a character.
void CopyBounded(char *dest, std::size_t room, const QByteArray &bytes)
{
    if (room == 0)
        return;
    std::size_t length = static_cast<std::size_t>(bytes.size());
    if (length >= room) {
        std::size_t whole = 0;
        for (std::size_t i = 0; i < room - 1;) {
            const std::size_t width = IsLeadByte(static_cast<unsigned char>(bytes[i])) ? 2 : 1;
            if (i + width > room - 1)
                break;
            i += width;
            whole = i;
        }
        length = whole;
    }
    std::memcpy(dest, bytes.constData(), length);
    dest[length] = '\0';
}

}  // namespace

QString SocketLogLine(QStringView text, int kind, QStringView tag)
{
    const char *prefix = "--- ";
    switch (kind) {
    case LOG_WARN: prefix = "+++ "; break;
    case LOG_ERROR: prefix = "*** "; break;
    case LOG_TRACE: prefix = ">>> "; break;
    default: break;
    }
    QString line = QLatin1String(prefix);
    line += text;
    line += tag;
    return line;
}

void SendSocketLog(char *logBuf, QObject *receiver, QStringView text, int kind, QStringView tag)
{
    if (!logBuf)
        return;
    CopyBounded(logBuf, QN_BUFFER_SIZE, ToCp932(SocketLogLine(text, kind, tag)));
    SendMessage(receiver, WM_SOCKET_LOG, 0, 0);
}

void AppendSocketLog(char *logBuf, QStringView text)
{
    if (!logBuf)
        return;
    const std::size_t used = strnlen(logBuf, QN_BUFFER_SIZE - 1);
    CopyBounded(logBuf + used, QN_BUFFER_SIZE - used, ToCp932(text));
}
