// Reads or writes the document file's fields: length-prefixed strings and 32-bit little-endian integers.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

class QIODevice;

class CArchive
{
public:
    enum Mode { Store, Load };
    enum Status {
        Ok,
        EndOfFile,   // a fixed-size field runs past the end of the data
        BadLength,   // a length prefix announces more bytes than remain, or an absurd length
        DeviceError  // the device refused to read or write
    };

    // A string longer than this is taken for damage rather than read into memory.
    static constexpr qint64 kMaxStringBytes = 16 * 1024 * 1024;

    CArchive(QIODevice *device, Mode mode);

    bool IsStoring() const { return m_mode == Store; }
    bool IsLoading() const { return m_mode == Load; }
    Status GetStatus() const { return m_status; }

    // Writes the length prefix and the bytes (text already in code page 932).
    bool WriteString(QByteArrayView bytes);
    bool WriteInt32(qint32 value);

    // Reads one string as 8-bit bytes; a string of 16-bit characters is converted to code page 932.
    // After a failure every further read fails with the same status.
    bool ReadString(QByteArray *bytes);
    bool ReadInt32(qint32 *value);

    // The prefix announcing `length` bytes: 1 byte below 255, 0xFF + 2 bytes below 65,534,
    // else 0xFF 0xFF 0xFF + 4 bytes (all little-endian).
    static QByteArray LengthPrefix(quint32 length);

private:
    bool ReadRaw(char *data, qint64 size);
    bool ReadLength(quint32 *length, bool *wide);
    bool Fail(Status status);
    qint64 Remaining() const;

    QIODevice *m_pDevice;
    Mode m_mode;
    Status m_status = Ok;
    qint64 m_nSize;  // size of a random-access device being loaded, else -1
};
