#include "platform/carchive.h"

#include "platform/cp932.h"

#include <QIODevice>
#include <QString>

namespace {

constexpr quint8 kLongMark8 = 0xFF;
constexpr quint16 kWideMark16 = 0xFFFE;
constexpr quint16 kLongMark16 = 0xFFFF;

quint16 Read16(const uchar *p)
{
    return static_cast<quint16>(p[0] | (p[1] << 8));
}

quint32 Read32(const uchar *p)
{
    return static_cast<quint32>(p[0]) | (static_cast<quint32>(p[1]) << 8) | (static_cast<quint32>(p[2]) << 16)
         | (static_cast<quint32>(p[3]) << 24);
}

void Append16(QByteArray *out, quint16 value)
{
    out->append(static_cast<char>(value & 0xFF));
    out->append(static_cast<char>(value >> 8));
}

void Append32(QByteArray *out, quint32 value)
{
    Append16(out, static_cast<quint16>(value & 0xFFFF));
    Append16(out, static_cast<quint16>(value >> 16));
}

}  // namespace

CArchive::CArchive(QIODevice *device, Mode mode)
    : m_pDevice(device), m_mode(mode),
      // Taken once: a document has 20,000 fields, and asking a file its size costs a system call.
      m_nSize(mode == Load && !device->isSequential() ? device->size() : -1)
{
}

QByteArray CArchive::LengthPrefix(quint32 length)
{
    QByteArray prefix;
    if (length < kLongMark8) {
        prefix.append(static_cast<char>(length));
    } else if (length < kWideMark16) {
        prefix.append(static_cast<char>(kLongMark8));
        Append16(&prefix, static_cast<quint16>(length));
    } else {
        prefix.append(static_cast<char>(kLongMark8));
        Append16(&prefix, kLongMark16);
        Append32(&prefix, length);
    }
    return prefix;
}

bool CArchive::WriteString(QByteArrayView bytes)
{
    if (m_status != Ok || !IsStoring())
        return false;
    if (bytes.size() > 0xFFFFFFFFLL)
        return Fail(BadLength);
    QByteArray data = LengthPrefix(static_cast<quint32>(bytes.size()));
    data.append(bytes);
    if (m_pDevice->write(data) != data.size())
        return Fail(DeviceError);
    return true;
}

bool CArchive::WriteInt32(qint32 value)
{
    if (m_status != Ok || !IsStoring())
        return false;
    QByteArray data;
    Append32(&data, static_cast<quint32>(value));
    if (m_pDevice->write(data) != data.size())
        return Fail(DeviceError);
    return true;
}

bool CArchive::ReadString(QByteArray *bytes)
{
    quint32 length = 0;
    bool wide = false;
    if (!ReadLength(&length, &wide))
        return false;
    // Every length is measured against what is left before anything is allocated for it.
    const qint64 size = wide ? 2 * static_cast<qint64>(length) : static_cast<qint64>(length);
    if (size > Remaining() || size > kMaxStringBytes)
        return Fail(BadLength);
    QByteArray raw(size, Qt::Uninitialized);
    if (!ReadRaw(raw.data(), size))
        return false;
    if (!wide) {
        *bytes = raw;
        return true;
    }
    QString text(static_cast<qsizetype>(length), Qt::Uninitialized);
    const auto *p = reinterpret_cast<const uchar *>(raw.constData());
    for (qsizetype i = 0; i < text.size(); ++i)
        text[i] = QChar(Read16(p + 2 * i));
    *bytes = ToCp932(text);
    return true;
}

bool CArchive::ReadInt32(qint32 *value)
{
    uchar data[4];
    if (!ReadRaw(reinterpret_cast<char *>(data), 4))
        return false;
    *value = static_cast<qint32>(Read32(data));
    return true;
}

bool CArchive::ReadLength(quint32 *length, bool *wide)
{
    *wide = false;
    uchar data[4];
    if (!ReadRaw(reinterpret_cast<char *>(data), 1))
        return false;
    if (data[0] != kLongMark8) {
        *length = data[0];
        return true;
    }
    if (!ReadRaw(reinterpret_cast<char *>(data), 2))
        return false;
    quint16 value = Read16(data);
    if (value == kWideMark16) {
        // 16-bit characters: the character count follows in the same encoding.
        *wide = true;
        if (!ReadRaw(reinterpret_cast<char *>(data), 1))
            return false;
        if (data[0] != kLongMark8) {
            *length = data[0];
            return true;
        }
        if (!ReadRaw(reinterpret_cast<char *>(data), 2))
            return false;
        value = Read16(data);
    }
    if (value != kLongMark16) {
        *length = value;
        return true;
    }
    if (!ReadRaw(reinterpret_cast<char *>(data), 4))
        return false;
    *length = Read32(data);
    return true;
}

bool CArchive::ReadRaw(char *data, qint64 size)
{
    if (m_status != Ok || !IsLoading())
        return false;
    if (size > Remaining())
        return Fail(EndOfFile);
    if (m_pDevice->read(data, size) != size)
        return Fail(DeviceError);
    return true;
}

qint64 CArchive::Remaining() const
{
    if (m_nSize < 0)
        return m_pDevice->bytesAvailable();
    // A file cut short meanwhile makes the read itself fail (DeviceError).
    return qMax<qint64>(0, m_nSize - m_pDevice->pos());
}

bool CArchive::Fail(Status status)
{
    if (m_status == Ok)
        m_status = status;
    return false;
}
