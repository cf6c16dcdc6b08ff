// The dump view's rows over a message window's line store: one telegram per line (the lines of a
// telegram shown as text are one), each a heading row and its byte rows; what the filter lets
// through, a byte sequence looked for, and the checksum verdicts. Row texts are made when asked for.
#pragma once

#include "display/cchecksumcheck.h"
#include "display/clinestore.h"

#include <QByteArray>
#include <QString>

#include <deque>
#include <vector>

class CDumpModel
{
public:
    enum RowKind : quint8 { Heading, Bytes, End };
    struct Row
    {
        int telegram = -1;  // the shown telegram
        RowKind kind = Heading;
        qsizetype offset = 0;  // its first byte (Bytes), the telegram's size (End)
    };
    struct Telegram
    {
        qint64 serial = 0;  // of its first line
        int lines = 1;
        qsizetype size = 0;
        qint64 gapUs = -1;   // since the telegram before it; -1 not known
        char direction = 0;  // 'R', 'S', 0
        bool data = false;   // false: a line of no telegram, shown as it stands
        bool mark = false;   // a mark line (CLineStore::Line::mark)
        bool cut = false;    // shown as text: the bytes after a zero byte were not kept
        int matches = 0;
        quint8 verdict = 0;  // 0 not judged yet, else CChecksumCheck::Verdict + 1
    };

    explicit CDumpModel(const CLineStore &store) : m_store(store) {}

    // Takes in the lines appended and lets go of the ones trimmed or cleared since the last call.
    // True when anything changed.
    bool Sync();
    // Only telegrams of the direction ('R', 'S'; CLineStore::kMarks the mark lines alone; 0 all) and, with `matchingOnly` and a pattern, with a match.
    void SetFilter(char direction, bool matchingOnly);
    // The bytes to find (empty: none); every occurrence counts, overlapping ones too.
    void SetPattern(const QByteArray &pattern);
    const QByteArray &Pattern() const { return m_pattern; }
    // The check whose verdicts the headings show (null: none); not owned.
    void SetChecksumCheck(const CChecksumCheck *check);
    const CChecksumCheck *ChecksumCheck() const { return m_pCheck; }

    // Telegrams shown, and rows.
    int Count() const { return int(m_shown.size()); }
    const Telegram &At(int shown) const { return m_all[size_t(m_shown[size_t(shown)])]; }
    int RowCount() const { return m_rowCount; }
    int FirstRow(int shown) const { return m_firstRows[size_t(shown)]; }
    int RowsOf(int shown) const;
    Row RowAt(int row) const;
    QString RowText(int row);
    // The heading's lead: the stamp and direction as the line view shows them.
    QString Lead(int shown) const;

    // Bytes [from, from + count) of a shown telegram (fewer at its end).
    QByteArray BytesOf(int shown, qsizetype from, qsizetype count) const;
    QByteArray BytesOf(int shown) const { return BytesOf(shown, 0, At(shown).size); }
    // Offsets of the pattern's matches in a shown telegram, in order.
    std::vector<qsizetype> Matches(int shown) const;
    qint64 MatchTotal() const { return m_total; }
    // Matches in the shown telegrams before this one.
    qint64 MatchesBefore(int shown) const;
    CChecksumCheck::Verdict Verdict(int shown);
    // Where the checksum's bytes and the bytes it covers are in a shown telegram (all empty when
    // it is not judged).
    CChecksumCheck::Field FieldOf(int shown);

    // Every row, each ended by a line feed, in UTF-8: what a saved dump holds.
    QByteArray Text();
    // The dump of the lines of one entry as they arrive (for recording): `previousWhen` is the time of
    // the telegram before, and is set to this one's.
    static QByteArray EntryText(const std::vector<CLineStore::Line> &lines, qint64 *previousWhen,
                                const CChecksumCheck *check);
    static QString Mark(CChecksumCheck::Verdict verdict);

private:
    // The telegram bytes a line holds: raw bytes, or hex digits (two a byte) when `hex`.
    struct Source
    {
        const char *data = nullptr;
        qsizetype size = 0;  // bytes
        bool hex = false;
        QByteArray keep;     // holds the digits when they had to be copied
    };
    static Source SourceOf(const CLineStore::Line &line);
    static bool IsData(const CLineStore::Line &line) { return line.direction != 0 && line.body >= 0; }
    static int CountIn(const Source &source, const QByteArray &pattern, const QByteArray &hexPattern,
                       std::vector<qsizetype> *offsets);
    static QByteArray Copy(const Source &source, qsizetype from, qsizetype count);
    const CLineStore::Line &FirstLine(const Telegram &telegram) const
    {
        return m_store.Peek(int(telegram.serial - m_store.FirstSerial()));
    }
    void Recount();
    void Rebuild();

    const CLineStore &m_store;
    std::deque<Telegram> m_all;
    qint64 m_nextSerial = 0;  // the first line not taken in yet
    qint64 m_lastWhen = 0;
    std::vector<int> m_shown;  // indices into m_all
    std::vector<int> m_firstRows;
    std::vector<qint64> m_matchesBefore;
    int m_rowCount = 0;
    char m_direction = 0;
    bool m_matchingOnly = false;
    QByteArray m_pattern;
    QByteArray m_hexPattern;  // the same as upper-case digits
    qint64 m_total = 0;
    const CChecksumCheck *m_pCheck = nullptr;
    // The last telegram whose matches or checksum field were asked for (rows of it are drawn together).
    mutable qint64 m_matchesSerial = -1;
    mutable std::vector<qsizetype> m_matches;
    qint64 m_fieldSerial = -1;
    CChecksumCheck::Field m_field;
};
