// Reads a code page 932 text file the way a text-mode line read with a 1024-byte buffer does.
#pragma once

#include <QByteArray>

class QIODevice;

class CTextPieceReader
{
public:
    // At most this many bytes per piece (a 1024-byte buffer less its terminating zero).
    static constexpr int kPieceBytes = 1023;

    explicit CTextPieceReader(QIODevice *device);

    // The next piece without its line break; false at the end of the file. CR LF reads as one line
    // break. A longer line is cut into pieces of at most kPieceBytes, never inside a double-byte
    // character; the line break right behind a full piece ends that piece.
    bool ReadPiece(QByteArray &piece);

    // First byte of a double-byte character in code page 932.
    static bool IsLeadByte(unsigned char byte) { return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC); }
    static bool IsTrailByte(unsigned char byte) { return byte >= 0x40 && byte <= 0xFC && byte != 0x7F; }

private:
    // Reads ahead until `bytes` unread bytes are buffered or the file has ended.
    void Fill(qsizetype bytes);

    QIODevice *m_pDevice;
    QByteArray m_buffer;   // bytes read ahead from the device
    qsizetype m_nPos = 0;  // next unread byte in m_buffer
};
