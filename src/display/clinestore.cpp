#include "display/clinestore.h"

#include "platform/chexconv.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#ifdef __linux__
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

// Faults a fresh buffer's pages in with one call instead of one page fault a page: the buffer is about
// to be written whole, and on a virtual machine each fault costs more than filling its page.
void FaultIn(char *data, qsizetype size)
{
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
    static const std::uintptr_t page = std::uintptr_t(sysconf(_SC_PAGESIZE));
    const std::uintptr_t begin = (std::uintptr_t(data) + page - 1) & ~(page - 1);
    const std::uintptr_t end = (std::uintptr_t(data) + std::uintptr_t(size)) & ~(page - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void *>(begin), end - begin, MADV_POPULATE_WRITE);  // a refusal costs nothing
#else
    Q_UNUSED(data);
    Q_UNUSED(size);
#endif
}

}  // namespace

CLineStore::Line CLineStore::Line::FromText(QStringView text, const QByteArray &latin1Tail)
{
    Line line;
    if (!latin1Tail.isEmpty()) {
        // A long tail (hex text) stays shared with the caller; the short text before it is the head.
        line.head = text.toString();
        line.tail = latin1Tail;
        return line;
    }
    qsizetype split = text.size();
    while (split > 0 && text[split - 1].unicode() <= 0xFF)
        --split;
    line.head = text.left(split).toString();
    line.tail = text.mid(split).toLatin1();
    return line;
}

QChar CLineStore::Line::At(qsizetype i) const
{
    if (i < head.size())
        return head[i];
    return QLatin1Char(tail[i - head.size()]);
}

QString CLineStore::Line::Mid(qsizetype from, qsizetype count) const
{
    from = qBound<qsizetype>(0, from, Length());
    count = qBound<qsizetype>(0, count, Length() - from);
    QString text;
    text.reserve(count);
    if (from < head.size()) {
        const qsizetype n = qMin(count, head.size() - from);
        text.append(QStringView(head).mid(from, n));
        from += n;
        count -= n;
    }
    if (count > 0)
        text.append(QLatin1StringView(tail.constData() + (from - head.size()), count));
    return text;
}

qsizetype CLineStore::Line::Bytes() const
{
    // A waiting hex tail counts as the digits it becomes, so the budget keeps the same lines.
    return head.size() * qsizetype(sizeof(QChar)) + tail.size() + 2 * hexPending.size() + (RawEnd() - rawBegin) +
           kLineOverhead;
}

QByteArray CLineStore::Line::Utf8() const
{
    QByteArray text = head.toUtf8();
    const bool ascii = std::all_of(tail.cbegin(), tail.cend(), [](char c) { return static_cast<uchar>(c) < 0x80; });
    if (ascii)
        text.append(tail);
    else
        text.append(QString::fromLatin1(tail).toUtf8());
    text.append('\n');
    return text;
}

std::vector<CLineStore::Line> CLineStore::SplitLines(QStringView text, const QByteArray &latin1Tail)
{
    std::vector<Line> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c != u'\r' && c != u'\n')
            continue;
        lines.push_back(Line::FromText(text.mid(start, i - start)));
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    lines.push_back(Line::FromText(text.mid(start), latin1Tail));
    return lines;
}

std::vector<CLineStore::Line> CLineStore::SplitStampedLines(QStringView stamp, QStringView text)
{
    const auto oneLine = [](QStringView part) { return !part.contains(u'\r') && !part.contains(u'\n'); };
    std::vector<Line> lines;
    if (!oneLine(stamp) || !oneLine(text)) {
        lines = SplitLines(stamp.toString().append(text));
        lines.front().body = static_cast<qint32>(stamp.size());
        return lines;
    }
    // One line, written in place: the head up to the last character beyond Latin-1, the rest the
    // tail, as Line::FromText makes of the two joined.
    const auto beyondLatin1 = [](QChar c) { return c.unicode() > 0xFF; };
    const auto lastIn = [&beyondLatin1](QStringView part) {
        const auto found = std::find_if(part.rbegin(), part.rend(), beyondLatin1);
        return found == part.rend() ? qsizetype(-1) : qsizetype(part.rend() - found);  // index after it
    };
    const qsizetype inText = lastIn(text);
    const qsizetype split = inText >= 0 ? stamp.size() + inText : std::max<qsizetype>(lastIn(stamp), 0);
    Line &line = lines.emplace_back();
    if (split > 0) {
        line.head.reserve(split);
        line.head.append(stamp.left(std::min(split, stamp.size())));
        if (split > stamp.size())
            line.head.append(text.left(split - stamp.size()));
    }
    line.tail = QByteArray(stamp.size() + text.size() - split, Qt::Uninitialized);
    char *to = line.tail.data();
    for (qsizetype i = split; i < stamp.size(); ++i)
        *to++ = char(stamp[i].unicode());
    for (qsizetype i = std::max<qsizetype>(split - stamp.size(), 0); i < text.size(); ++i)
        *to++ = char(text[i].unicode());
    line.body = static_cast<qint32>(stamp.size());
    return lines;
}

int CLineStore::Append(std::vector<Line> lines)
{
    int removed = 0;
    if (AtLineLimit() && !m_lines.empty()) {
        PopFront();
        ++removed;
    }
    // The newest lines of the entry that fit the budget on their own (at least one).
    size_t first = lines.size();
    qsizetype incoming = 0;
    while (first > 0) {
        const qsizetype bytes = lines[first - 1].Bytes();
        if (first < lines.size() && incoming + bytes > m_budget)
            break;
        incoming += bytes;
        --first;
    }
    while (!m_lines.empty() && m_bytes + incoming > m_budget) {
        PopFront();
        ++removed;
    }
    for (size_t i = first; i < lines.size(); ++i)
        m_lines.push_back(std::move(lines[i]));
    m_bytes += incoming;
    return removed;
}

void CLineStore::Clear()
{
    m_firstSerial += Count();
    // Swapping with an empty deque hands its blocks back instead of keeping them for reuse.
    std::deque<Line>().swap(m_lines);
    std::vector<QByteArray>().swap(m_spare);
    m_bytes = 0;
}

const CLineStore::Line &CLineStore::At(int index) const
{
    const auto i = static_cast<size_t>(index);
    if (!m_lines[i].hexPending.isEmpty())
        WriteHex(i);
    return m_lines[i];
}

void CLineStore::WriteHex(size_t index) const
{
    Line &line = m_lines[index];
    const QByteArray bytes = std::move(line.hexPending);
    line.hexPending = QByteArray();
    line.tail = TakeBuffer(2 * bytes.size());
    CHexConv().Bin2HexString(reinterpret_cast<const unsigned char *>(bytes.constData()), int(bytes.size()), line.tail,
                             int(bytes.size()));
    // An echo's R and S lines wait for the same bytes: they share the digits too.
    for (const size_t other : {index - 1, index + 1}) {
        if (other < m_lines.size() && m_lines[other].hexPending.isSharedWith(bytes)) {
            m_lines[other].hexPending = QByteArray();
            m_lines[other].tail = line.tail;
        }
    }
}

QStringList CLineStore::Texts() const
{
    QStringList texts;
    texts.reserve(Count());
    for (int i = 0; i < Count(); ++i)
        texts.append(At(i).Text());
    return texts;
}

QByteArray CLineStore::TakeBuffer(qsizetype size) const
{
    QByteArray buffer;
    if (size >= kRecycleSize) {
        // One of at least the size, and not so much larger that a line would hold memory it does not count.
        const auto fits = [size](const QByteArray &b) { return b.capacity() >= size && b.capacity() <= size + size / 4; };
        const auto found = std::find_if(m_spare.begin(), m_spare.end(), fits);
        if (found != m_spare.end()) {
            buffer = std::move(*found);
            m_spare.erase(found);
        }
    }
    const bool fresh = buffer.capacity() < size;
    buffer.resize(size);
    if (fresh && size >= kRecycleSize)
        FaultIn(buffer.data(), size);
    return buffer;
}

void CLineStore::CopyIn(char *to, const unsigned char *from, qsizetype size)
{
    // Below this a copy stays in the cache and the plain one is quicker.
    constexpr qsizetype kStreamFrom = 256 * 1024;
#ifdef __SSE2__
    if (size >= kStreamFrom) {
        qsizetype head = qsizetype((16 - (std::uintptr_t(to) & 15)) & 15);
        std::memcpy(to, from, size_t(head));
        qsizetype i = head;
        for (; i + 64 <= size; i += 64) {
            const auto *s = reinterpret_cast<const __m128i *>(from + i);
            auto *d = reinterpret_cast<__m128i *>(to + i);
            const __m128i a = _mm_loadu_si128(s), b = _mm_loadu_si128(s + 1);
            const __m128i c = _mm_loadu_si128(s + 2), e = _mm_loadu_si128(s + 3);
            _mm_stream_si128(d, a);
            _mm_stream_si128(d + 1, b);
            _mm_stream_si128(d + 2, c);
            _mm_stream_si128(d + 3, e);
        }
        _mm_sfence();  // the streamed stores are seen before anything after the copy
        std::memcpy(to + i, from + i, size_t(size - i));
        return;
    }
#endif
    if (size > 0)
        std::memcpy(to, from, size_t(size));
}

void CLineStore::Recycle(QByteArray &bytes) const
{
    if (bytes.capacity() < kRecycleSize || !bytes.isDetached())
        return;  // small, or still held by another line
    if (m_spare.size() >= kSpareBuffers)
        m_spare.erase(m_spare.begin());
    m_spare.push_back(std::move(bytes));
}

void CLineStore::PopFront()
{
    Line &front = m_lines.front();
    m_bytes -= front.Bytes();
    for (QByteArray *bytes : {&front.tail, &front.hexPending, &front.raw})
        Recycle(*bytes);
    m_lines.pop_front();
    ++m_firstSerial;
}
