#include "display/ctextpiecereader.h"

#include <QIODevice>

namespace {

constexpr qint64 kChunk = 64 * 1024;

}  // namespace

CTextPieceReader::CTextPieceReader(QIODevice *device)
    : m_pDevice(device)
{
}

void CTextPieceReader::Fill(qsizetype bytes)
{
    while (m_buffer.size() - m_nPos < bytes) {
        const QByteArray more = m_pDevice->read(kChunk);
        if (more.isEmpty())
            return;
        m_buffer.remove(0, m_nPos);
        m_nPos = 0;
        m_buffer += more;
    }
}

bool CTextPieceReader::ReadPiece(QByteArray &piece)
{
    piece.clear();
    Fill(kPieceBytes + 2);  // a full piece and the CR LF behind it
    const auto *p = reinterpret_cast<const unsigned char *>(m_buffer.constData()) + m_nPos;
    const qsizetype available = m_buffer.size() - m_nPos;
    if (available == 0)
        return false;
    // Length of the line break at n (LF or CR LF), 0 if there is none.
    const auto lineBreak = [&](qsizetype n) -> qsizetype {
        if (n < available && p[n] == '\n')
            return 1;
        return n + 1 < available && p[n] == '\r' && p[n + 1] == '\n' ? 2 : 0;
    };
    qsizetype n = 0;
    qsizetype skip = 0;
    while (n < available) {
        skip = lineBreak(n);
        if (skip)
            break;
        const qsizetype width = IsLeadByte(p[n]) && n + 1 < available && IsTrailByte(p[n + 1]) ? 2 : 1;
        if (n + width > kPieceBytes)
            break;  // full; had a line break come next, it would have ended this piece above
        n += width;
    }
    piece = QByteArray(reinterpret_cast<const char *>(p), n);
    m_nPos += n + skip;
    return true;
}
