#include "session/ccommandsfile.h"

#include <QSet>
#include <QStringDecoder>

#include <algorithm>
#include <cstring>

const char *const CCommandsFile::kHeader = "name,key,action,form,data,checksum,ms,note";

namespace {

// The records of a text, one at a time: split at line ends outside quotes.
class CRecordScanner
{
public:
    struct Span
    {
        qsizetype from = 0;
        qsizetype size = 0;  // without the line end
        int ending = 0;      // as CCommandsFile::Ending: 0 none (the text's end), 1 "\n", 2 "\r\n"
        int line = 0;        // where it begins (1 the first)
    };
    CRecordScanner(QByteArrayView text, qsizetype from) : m_text(text), m_nPos(from) {}

    bool Next(Span *span)
    {
        const qsizetype size = m_text.size();
        if (m_nPos >= size)
            return false;
        const char *const bytes = m_text.data();
        const qsizetype start = m_nPos;
        span->line = m_nLine;
        bool quoted = false;
        for (qsizetype i = start; i < size; ++i) {
            const char c = bytes[i];
            if (c == '"') {
                quoted = !quoted;
            } else if (c == '\n') {
                ++m_nLine;
                if (quoted)
                    continue;
                const bool cr = i > start && bytes[i - 1] == '\r';
                span->from = start;
                span->size = i - start - (cr ? 1 : 0);
                span->ending = cr ? 2 : 1;
                m_nPos = i + 1;
                return true;
            }
        }
        span->from = start;
        span->size = size - start;
        span->ending = 0;
        m_nPos = size;
        return true;
    }

private:
    QByteArrayView m_text;
    qsizetype m_nPos;
    int m_nLine = 1;
};

}  // namespace

// The cells of a file's records as text, the short ones made once: a file repeats its names,
// actions, forms and times on row after row, and each repeat then shares the first one's text.
class CCommandsFile::CellReader
{
public:
    // The cells of one record (RFC 4180: a quoted cell may hold commas, line ends and "" for a
    // quote), the first `upTo` of them (-1: all). False for text that is not UTF-8; `column` then
    // names the cell. `raw` is kept in view while the reader lasts.
    bool Split(QByteArrayView raw, QStringList *cells, int *column, int upTo = -1)
    {
        cells->clear();
        cells->reserve(CCommandsFile::kColumns);
        QByteArray cell;
        const char *const begin = raw.constData();
        const qsizetype size = raw.size();
        qsizetype i = 0;
        for (;;) {
            QByteArrayView bytes;
            if (i < size && begin[i] == '"') {
                cell.clear();
                ++i;
                while (i < size) {
                    if (begin[i] == '"') {
                        if (i + 1 < size && begin[i + 1] == '"') {
                            cell += '"';
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    cell += begin[i++];
                }
                const qsizetype from = i;
                while (i < size && begin[i] != ',')
                    ++i;
                cell.append(begin + from, i - from);
                bytes = cell;
            } else {
                const qsizetype from = i;
                while (i < size && begin[i] != ',')
                    ++i;
                bytes = QByteArrayView(begin + from, i - from);
            }
            QString text;
            if (!Text(bytes, &text, bytes.data() != cell.constData())) {
                *column = int(cells->size());
                return false;
            }
            cells->append(std::move(text));
            if (i >= size || cells->size() == upTo)
                return true;
            ++i;  // the comma
        }
    }

private:
    static constexpr qsizetype kShared = 24;  // cells up to this many bytes are made once

    // `bytes` is a view of the record (which outlives the reader) or of a quoted cell taken out of it.
    bool Text(QByteArrayView bytes, QString *text, bool inRecord)
    {
        if (bytes.isEmpty())
            return true;
        const bool shared = bytes.size() <= kShared;
        if (shared) {
            const auto found = m_made.constFind(bytes);
            if (found != m_made.cend()) {
                *text = *found;
                return true;
            }
        }
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        *text = decoder(bytes);
        if (decoder.hasError())
            return false;
        if (shared) {
            if (!inRecord) {
                m_kept.append(bytes.toByteArray());
                bytes = m_kept.last();
            }
            m_made.insert(bytes, *text);
        }
        return true;
    }

    QHash<QByteArrayView, QString> m_made;  // by the cell's bytes in the text read or in m_kept
    QList<QByteArray> m_kept;  // quoted cells' bytes, kept for m_made
};

namespace {

QString ColumnName(int column)
{
    const QStringList names = QString::fromLatin1(CCommandsFile::kHeader).split(QLatin1Char(','));
    return names.value(column, QStringLiteral("列%1").arg(column + 1));
}

QString Where(int line, int column, const QString &reason, int eolColumn = -1)
{
    const QString name = column == eolColumn ? QStringLiteral("eol") : ColumnName(column);
    return QStringLiteral("%1行目 %2列目 (%3): %4").arg(line).arg(column + 1).arg(name, reason);
}

}  // namespace

QString CCommandsFile::Sequence::Page() const
{
    const qsizetype slash = name.indexOf(QLatin1Char('/'));
    return slash > 0 ? name.left(slash) : QString();
}

QString CCommandsFile::Sequence::Caption() const
{
    const qsizetype slash = name.indexOf(QLatin1Char('/'));
    return slash > 0 ? name.mid(slash + 1) : name;
}

int CCommandsFile::EolColumn(const QStringList &header)
{
    for (qsizetype i = kColumns; i < header.size(); ++i) {
        if (header[i].trimmed() == QLatin1String("eol"))
            return int(i);
    }
    return -1;
}

bool CCommandsFile::IsKey(const QString &key)
{
    static const QSet<QString> keys = [] {
        QSet<QString> all;
        for (int i = 1; i <= 12; ++i) {
            all.insert(QStringLiteral("F%1").arg(i));
            all.insert(QStringLiteral("Shift+F%1").arg(i));
        }
        for (int i = 1; i <= 9; ++i)
            all.insert(QStringLiteral("Ctrl+%1").arg(i));
        return all;
    }();
    return keys.contains(key);
}

QByteArray CCommandsFile::Record(const QStringList &cells)
{
    QByteArray out;
    for (int i = 0; i < cells.size(); ++i) {
        if (i > 0)
            out += ',';
        QByteArray cell = cells[i].toUtf8();
        if (cell.contains(',') || cell.contains('"') || cell.contains('\n') || cell.contains('\r'))
            cell = '"' + cell.replace("\"", "\"\"") + '"';
        out += cell;
    }
    return out;
}

QByteArrayView CCommandsFile::EndingBytes(Ending ending)
{
    return ending == CrLf ? QByteArrayView("\r\n") : ending == Lf ? QByteArrayView("\n") : QByteArrayView();
}

bool CCommandsFile::CellsOf(const QByteArray &text, const QList<QStringList> &edited, const Row &row, CellReader *reader,
                            QStringList *cells, int *column)
{
    if (row.edited >= 0) {
        *cells = edited[row.edited];
        return true;
    }
    if (!reader->Split(QByteArrayView(text).sliced(row.from, row.size), cells, column))
        return false;
    while (cells->size() < kColumns)
        cells->append(QString());
    return true;
}

bool CCommandsFile::Parse(const QByteArray &bytes, QString *error)
{
    if (bytes.size() > kMaxFileBytes) {
        *error = QStringLiteral("ﾌｧｲﾙが大きすぎます (%1 ﾊﾞｲﾄまで)").arg(kMaxFileBytes);
        return false;
    }
    CCommandsFile file;
    file.m_text = bytes;
    const qsizetype begin = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    file.m_bom = bytes.left(begin);
    CRecordScanner records(bytes, begin);
    CRecordScanner::Span record;
    if (!records.Next(&record)) {
        *error = QStringLiteral("1行目: 見出し行 (%1) がありません").arg(QString::fromLatin1(kHeader));
        return false;
    }
    int column = 0;
    CellReader reader;
    if (!reader.Split(QByteArrayView(bytes).sliced(record.from, record.size), &file.m_header, &column)) {
        *error = Where(1, column, QStringLiteral("UTF-8 の文字ではありません"));
        return false;
    }
    const QStringList expected = QString::fromLatin1(kHeader).split(QLatin1Char(','));
    for (int i = 0; i < kColumns; ++i) {
        if (file.m_header.value(i).trimmed() != expected[i]) {
            *error = Where(1, i, QStringLiteral("見出し行は %1 で始まります").arg(QString::fromLatin1(kHeader)));
            return false;
        }
    }
    file.m_headerRaw = bytes.mid(record.from, record.size);
    file.m_headerEnding = EndingBytes(Ending(record.ending)).toByteArray();
    file.m_lineEnding = record.ending == NoEnd ? QByteArray("\r\n") : file.m_headerEnding;
    // Text that is UTF-8 as a whole is so in every cell; only other text is split here, to name
    // the cell that is not.
    const bool utf8 = QByteArrayView(bytes).sliced(begin).isValidUtf8();
    QStringList cells;
    qsizetype blankFrom = -1;  // blank lines not yet before a row
    qsizetype lines = 0;
    const char *const end = bytes.constData() + bytes.size();
    for (const char *at = bytes.constData(); (at = static_cast<const char *>(std::memchr(at, '\n', size_t(end - at)))); ++at)
        ++lines;
    file.m_rows.reserve(lines);
    while (records.Next(&record)) {
        const QByteArrayView raw = QByteArrayView(bytes).sliced(record.from, record.size);
        if (raw.trimmed().isEmpty()) {
            if (blankFrom < 0)
                blankFrom = record.from;
            continue;
        }
        if (!utf8 && !reader.Split(raw, &cells, &column)) {
            *error = Where(record.line, column, QStringLiteral("UTF-8 の文字ではありません"));
            return false;
        }
        Row row;
        row.line = record.line;
        row.from = qint32(record.from);
        row.size = qint32(record.size);
        row.leading = blankFrom < 0 ? 0 : qint32(record.from - blankFrom);
        row.ending = Ending(record.ending);
        blankFrom = -1;
        file.m_rows.append(row);
    }
    file.m_tail = blankFrom < 0 ? QByteArray() : bytes.mid(blankFrom);
    if (!Build(file.m_text, file.m_rows, file.m_edited, EolColumn(file.m_header), &file.m_sequences, error))
        return false;
    *this = std::move(file);
    return true;
}

bool CCommandsFile::Build(const QByteArray &text, const QList<Row> &rows, const QList<QStringList> &edited, int eolColumn,
                          QList<Sequence> *sequences, QString *error)
{
    CellReader reader;
    QStringList cells;
    int column = 0;
    // Each sequence's rows counted first: its lists are then made at their size at once.
    QHash<QString, qsizetype> sizes;
    for (const Row &row : rows) {
        if (row.edited >= 0)
            cells = QStringList{edited[row.edited].value(COL_NAME)};
        else if (!reader.Split(QByteArrayView(text).sliced(row.from, row.size), &cells, &column, 1))
            cells = QStringList{QString()};
        ++sizes[cells.value(COL_NAME).trimmed()];
    }
    QList<Sequence> made;
    made.reserve(sizes.size());
    QHash<QString, qsizetype> byName;
    QHash<QString, QString> keyOwner;
    CCommandStep::Cache compiled;
    for (qsizetype r = 0; r < rows.size(); ++r) {
        const Row &row = rows[r];
        if (!CellsOf(text, edited, row, &reader, &cells, &column)) {
            *error = Where(row.line, column, QStringLiteral("UTF-8 の文字ではありません"));
            return false;
        }
        const QString name = cells[COL_NAME].trimmed();
        const QString key = cells[COL_KEY].trimmed();
        if (name.isEmpty()) {
            *error = Where(row.line, COL_NAME, QStringLiteral("name が空です"));
            return false;
        }
        CCommandStep step;
        QString why;
        if (!CCommandStep::Compile(cells, &step, &why, &column, &compiled, eolColumn)) {
            *error = Where(row.line, column, why, eolColumn);
            return false;
        }
        auto found = byName.find(name);
        if (found == byName.end()) {
            if (!key.isEmpty() && !IsKey(key)) {
                *error = Where(row.line, COL_KEY, QStringLiteral("key は F1～F12, Shift+F1～Shift+F12, Ctrl+1～Ctrl+9 のどれかです"));
                return false;
            }
            if (!key.isEmpty() && keyOwner.contains(key)) {
                *error = Where(row.line, COL_KEY, QStringLiteral("%1 は「%2」に割り当て済みです").arg(key, keyOwner[key]));
                return false;
            }
            if (!key.isEmpty())
                keyOwner.insert(key, name);
            found = byName.insert(name, made.size());
            made.append(Sequence{name, key, cells[COL_NOTE], {}, {}});
            made.last().rows.reserve(sizes.value(name));
            made.last().steps.reserve(sizes.value(name));
        } else if (!key.isEmpty() && key != made[*found].key) {
            *error = Where(row.line, COL_KEY, QStringLiteral("key はｼｰｹﾝｽの最初の行に書きます"));
            return false;
        }
        made[*found].rows.append(int(r));
        made[*found].steps.append(std::move(step));
    }
    *sequences = std::move(made);
    return true;
}

QByteArray CCommandsFile::ToBytes() const
{
    if (m_header.isEmpty() && m_rows.isEmpty())
        return QByteArray();
    QByteArray out;
    out.reserve(m_text.size());
    out += m_bom;
    out += m_headerRaw.isEmpty() ? Record(m_header) : m_headerRaw;
    out += m_headerEnding.isEmpty() && !m_rows.isEmpty() ? m_lineEnding : m_headerEnding;
    const QByteArrayView text(m_text);
    for (qsizetype r = 0; r < m_rows.size(); ++r) {
        const Row &row = m_rows[r];
        if (row.from < 0) {
            out += Record(m_edited[row.edited]);
        } else {
            out += text.sliced(row.from - row.leading, row.leading);
            out += text.sliced(row.from, row.size);
        }
        // The last record may end without a line end; one that gets a row after it needs one.
        out += row.ending == NoEnd && r + 1 < m_rows.size() ? QByteArrayView(m_lineEnding) : EndingBytes(row.ending);
    }
    return out + m_tail;
}

QList<QStringList> CCommandsFile::Rows() const
{
    QList<QStringList> rows;
    rows.reserve(m_rows.size());
    CellReader reader;
    int column = 0;
    for (const Row &row : m_rows) {
        // The text was read as UTF-8 before the row was kept: its cells split again as they did.
        QStringList cells;
        CellsOf(m_text, m_edited, row, &reader, &cells, &column);
        rows.append(std::move(cells));
    }
    return rows;
}

bool CCommandsFile::SetRows(const QList<QStringList> &rows, QString *error)
{
    QList<Row> made;
    made.reserve(rows.size());
    QList<QStringList> edited;
    edited.reserve(rows.size());
    // A row as it stood keeps its bytes: the rows read, by their cells (empty ones at the end aside).
    const auto key = [](QStringList cells) {
        while (!cells.isEmpty() && cells.last().isEmpty())
            cells.removeLast();
        return cells.join(QChar(0x1F));
    };
    QMultiHash<QString, qsizetype> standing;
    CellReader reader;
    QStringList cells;
    int column = 0;
    for (qsizetype r = m_rows.size() - 1; r >= 0; --r) {
        if (m_rows[r].from >= 0 && CellsOf(m_text, m_edited, m_rows[r], &reader, &cells, &column))
            standing.insert(key(cells), r);
    }
    // A line end in the column after the header's last (the editor's `eol` of a file without one)
    // adds the column to the header.
    QStringList header = m_header.isEmpty() ? QString::fromLatin1(kHeader).split(QLatin1Char(',')) : m_header;
    int eolColumn = EolColumn(header);
    if (eolColumn < 0) {
        for (const QStringList &cells : rows) {
            if (!cells.value(header.size()).trimmed().isEmpty())
                eolColumn = int(header.size());
        }
    }
    int line = 2;
    for (const QStringList &cells : rows) {
        bool blank = true;
        for (const QString &cell : cells)
            blank = blank && cell.trimmed().isEmpty();
        if (blank)
            continue;
        QStringList given = cells;
        // Empty cells past the header's columns (the editor's unused `eol`) are no cells of the row.
        while (given.size() > std::max<qsizetype>(header.size(), eolColumn + 1) && given.last().isEmpty())
            given.removeLast();
        while (given.size() < kColumns)
            given.append(QString());
        Row row;
        row.edited = qint32(edited.size());
        row.line = line++;
        row.ending = m_lineEnding == "\n" ? Lf : CrLf;
        const auto old = standing.find(key(given));
        if (old != standing.end()) {
            const Row &kept = m_rows[*old];
            row.from = kept.from;
            row.size = kept.size;
            row.leading = kept.leading;
            row.ending = kept.ending;
            standing.erase(old);
        }
        made.append(row);
        edited.append(std::move(given));
    }
    QList<Sequence> sequences;
    if (!Build(m_text, made, edited, eolColumn, &sequences, error))
        return false;
    if (m_header.isEmpty()) {
        m_header = QString::fromLatin1(kHeader).split(QLatin1Char(','));
        m_headerEnding = m_lineEnding;
    }
    if (eolColumn >= m_header.size()) {
        m_header.append(QStringLiteral("eol"));
        m_headerRaw.clear();  // written afresh with the column
    }
    if (!made.isEmpty() && m_headerEnding.isEmpty())
        m_headerEnding = m_lineEnding;
    m_rows = std::move(made);
    m_edited = std::move(edited);
    m_sequences = std::move(sequences);
    return true;
}

const CCommandsFile::Sequence *CCommandsFile::Find(const QString &name) const
{
    for (const Sequence &sequence : m_sequences) {
        if (sequence.name == name)
            return &sequence;
    }
    return nullptr;
}
