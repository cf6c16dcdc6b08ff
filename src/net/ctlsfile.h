// Reads a certificate, key or CA file, or a passphrase file: only a regular file of a sane size is
// taken, checked on the open descriptor before a byte is read, so a FIFO, a device or a huge file
// never blocks the caller.
#pragma once

#include <QByteArray>
#include <QString>

class CTlsFile
{
public:
    // The largest file read: far above any PEM bundle a test tool needs.
    static constexpr qint64 kMaxBytes = 1024 * 1024;

    // The whole of `path`; false with the reason in words ("通常のﾌｧｲﾙではありません", …).
    static bool Read(const QString &path, QByteArray *bytes, QString *reason);
};
