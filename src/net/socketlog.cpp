#include "net/socketlog.h"

#include "platform/cmessageevent.h"
#include "platform/cp932.h"
#include "platform/qnwin.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

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

// Printable ASCII: the same bytes in the code page. The trace lines of every telegram are.
bool IsPrintableAscii(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7F; });
}

// Writes `prefix` and the printable ASCII parts one after the other from `dest` on, as much as fits
// in `room` bytes with a NUL behind: the code page's bytes without a conversion.
void WriteAscii(char *dest, std::size_t room, const char *prefix, std::initializer_list<QStringView> parts)
{
    if (room == 0)
        return;
    char *const end = dest + room - 1;
    while (*prefix && dest != end)
        *dest++ = *prefix++;
    for (const QStringView part : parts)
        for (const QChar c : part) {
            if (dest == end)
                break;
            *dest++ = char(c.unicode());
        }
    *dest = '\0';
}

const char *LogPrefix(int kind)
{
    switch (kind) {
    case LOG_WARN: return "+++ ";
    case LOG_ERROR: return "*** ";
    case LOG_TRACE: return ">>> ";
    default: return "--- ";
    }
}

}  // namespace

QString SocketLogLine(QStringView text, int kind, QStringView tag)
{
    QString line = QLatin1String(LogPrefix(kind));
    line += text;
    line += tag;
    return line;
}

void SendSocketLog(char *logBuf, QObject *receiver, QStringView text, int kind, QStringView tag)
{
    if (!logBuf)
        return;
    if (IsPrintableAscii(text) && IsPrintableAscii(tag))
        WriteAscii(logBuf, QN_BUFFER_SIZE, LogPrefix(kind), {text, tag});
    else
        CopyBounded(logBuf, QN_BUFFER_SIZE, ToCp932(SocketLogLine(text, kind, tag)));
    SendMessage(receiver, WM_SOCKET_LOG, 0, 0);
}

void AppendSocketLog(char *logBuf, QStringView text)
{
    if (!logBuf)
        return;
    const std::size_t used = strnlen(logBuf, QN_BUFFER_SIZE - 1);
    if (IsPrintableAscii(text))
        WriteAscii(logBuf + used, QN_BUFFER_SIZE - used, "", {text});
    else
        CopyBounded(logBuf + used, QN_BUFFER_SIZE - used, ToCp932(text));
}
