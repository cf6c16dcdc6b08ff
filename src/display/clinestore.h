// Holds the lines of a message window compactly and trims them by line count and by stored size.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <deque>
#include <vector>

class CLineStore
{
public:
    // One line: a UTF-16 head followed by a Latin-1 tail (one byte a character). Hex text and most log
    // text sit in the tail, so a 2,048,000-character hex line takes 2 MB, not 4 MB.
    struct Line
    {
        QString head;
        QByteArray tail;
        // For finding bytes in a line shown as text: the bytes of its telegram (shared by the
        // telegram's lines), of which [rawBegin, RawEnd()) are this line's, its line break included.
        QByteArray raw;
        qint32 rawBegin = 0;
        qint32 rawEnd = -1;  // -1: to the end of `raw`
        // Column where the telegram's hex digits or text (a log line: its text after the stamp) begin; -1: none.
        qint32 body = -1;
        // 'R' or 'S' for the lines of a telegram received or sent, 0 for others.
        char direction = 0;
        // How `raw` was decoded: CTextDecoding::Encoding, plus kControlMarks when control bytes are marked.
        quint8 decoding = 0;
        // A telegram shown as text only up to a zero byte: `raw` lacks the bytes after it.
        bool rawShort = false;
        // A mark of something done to the traffic (a relay's disturbance: "A>B 遅延 20 ms"): a line of
        // its own kind, neither a telegram nor a log text, stamped as a telegram is (`when`).
        bool mark = false;
        // Bytes whose hex digits are the line's tail but are not written yet (a telegram that arrived
        // while its window was hidden): the store writes them the first time the line is looked at.
        QByteArray hexPending;
        // When a telegram's line was added: microseconds since the epoch (0: not known).
        qint64 when = 0;
        static constexpr quint8 kControlMarks = 0x80;

        // Without `latin1Tail`: everything after the last character beyond Latin-1 becomes the tail.
        // With it: `text` is the head and `latin1Tail` (Latin-1 text) the tail, shared, not copied.
        static Line FromText(QStringView text, const QByteArray &latin1Tail = QByteArray());

        qsizetype Length() const { return head.size() + tail.size() + 2 * hexPending.size(); }
        qsizetype RawEnd() const { return rawEnd < 0 ? raw.size() : rawEnd; }
        QChar At(qsizetype i) const;
        QString Mid(qsizetype from, qsizetype count) const;
        QString Text() const { return Mid(0, Length()); }
        qsizetype Bytes() const;
        // The text as UTF-8, followed by a line feed.
        QByteArray Utf8() const;
    };

    // The direction filter's choice of the mark lines alone (beside 'R', 'S' and 0, all).
    static constexpr char kMarks = '*';

    // Bytes counted for every line besides its text: the line, its layout and the allocator's share.
    static constexpr qsizetype kLineOverhead = 128;
    static constexpr int kDefaultLineLimit = 1000;
    static constexpr qsizetype kDefaultBudget = 64 * 1024 * 1024;

    // Splits text at line breaks (CR LF, CR or LF each end one line) into lines; `latin1Tail`
    // continues the last line.
    static std::vector<Line> SplitLines(QStringView text, const QByteArray &latin1Tail = QByteArray());
    // The lines of a log entry, `stamp` and `text` one after the other, the first line's body after
    // the stamp: as SplitLines(stamp + text), and for the usual one-line Latin-1 entry in one step.
    static std::vector<Line> SplitStampedLines(QStringView stamp, QStringView text);

    // Appends the lines of one entry. First, when the lines plus the empty line after them already
    // reach the line limit, the oldest line goes (one per entry). Then the oldest lines go until the
    // stored bytes, the new ones included, fit the budget; an entry larger than the budget keeps
    // only its newest lines (at least one). Returns how many lines left the front.
    int Append(std::vector<Line> lines);
    void Clear();

    // True when the next Append removes a line by the line limit.
    bool AtLineLimit() const { return Count() + 1 > m_lineLimit; }

    int Count() const { return static_cast<int>(m_lines.size()); }
    // The line, with its hex tail written first when it was waiting.
    const Line &At(int index) const;
    // The line as stored: its hex tail may still wait in hexPending.
    const Line &Peek(int index) const { return m_lines[static_cast<size_t>(index)]; }
    QStringList Texts() const;
    qsizetype StoredBytes() const { return m_bytes; }
    // A number for every line appended, counting on across trimming and clearing: the first line's.
    qint64 FirstSerial() const { return m_firstSerial; }

    void SetBudget(qsizetype bytes) { m_budget = bytes; }
    qsizetype Budget() const { return m_budget; }

    // A buffer of `size` bytes for a new line's text or bytes: one that a removed line left, when
    // one of about that size is at hand (a large fresh allocation costs a page fault every 4 KB).
    QByteArray TakeBuffer(qsizetype size) const;
    // Copies a telegram's bytes into a buffer from TakeBuffer. The store reads them back only when
    // the line is looked at, so a large copy goes around the processor's cache: it neither reads the
    // buffer's old contents in first nor pushes the receive buffer out.
    static void CopyIn(char *to, const unsigned char *from, qsizetype size);

private:
    void PopFront();
    void Recycle(QByteArray &bytes) const;
    // Writes the hex tail of line `index`, and gives it to a neighbour waiting for the same bytes.
    void WriteHex(size_t index) const;

    // Buffers of at least this size are kept for reuse, at most kSpareBuffers of them.
    static constexpr qsizetype kRecycleSize = 64 * 1024;
    static constexpr size_t kSpareBuffers = 4;

    // Mutable: looking at a line may write its hex tail, which changes no line's text.
    mutable std::deque<Line> m_lines;
    mutable std::vector<QByteArray> m_spare;
    qsizetype m_bytes = 0;
    qint64 m_firstSerial = 0;
    qsizetype m_budget = kDefaultBudget;
    int m_lineLimit = kDefaultLineLimit;
};
