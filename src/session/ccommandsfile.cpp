#include "session/ccommandsfile.h"

#include <QSet>
#include <QStringDecoder>

#include <algorithm>
#include <string>
#include <unordered_map>

const char *const CCommandsFile::kHeader = "name,key,action,form,data,checksum,ms,note";

namespace {

struct Record
{
    QByteArray raw;
    QByteArray ending;
    int line = 0;
};

// Splits the text into records at line ends outside quotes.
QList<Record> SplitRecords(const QByteArray &bytes)
{
    // The two line ends, shared by every record rather than made for each.
    static const QByteArray crlf("\r\n");
    static const QByteArray lf("\n");
    QList<Record> records;
    records.reserve(bytes.count('\n') + 1);
    bool quoted = false;
    int line = 1;
    int startLine = 1;
    qsizetype start = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '"') {
            quoted = !quoted;
        } else if (c == '\n') {
            ++line;
            if (quoted)
                continue;
            const bool cr = i > start && bytes[i - 1] == '\r';
            records.append({bytes.mid(start, i - start - (cr ? 1 : 0)), cr ? crlf : lf, startLine});
            start = i + 1;
            startLine = line;
        }
    }
    if (start < bytes.size())
        records.append({bytes.mid(start), QByteArray(), startLine});
    return records;
}

// The cells of a file's records as text, the short ones made once: a file repeats its names,
// actions, forms and times on row after row, and each repeat then shares the first one's text.
class CCellReader
{
public:
    // The cells of one record (RFC 4180: a quoted cell may hold commas, line ends and "" for a
    // quote). False for text that is not UTF-8; `column` then names the cell.
    bool Split(const QByteArray &raw, QStringList *cells, int *column)
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
            if (!Text(bytes, &text)) {
                *column = int(cells->size());
                return false;
            }
            cells->append(std::move(text));
            if (i >= size)
                return true;
            ++i;  // the comma
        }
    }

private:
    static constexpr qsizetype kShared = 24;  // cells up to this many bytes are made once

    bool Text(QByteArrayView bytes, QString *text)
    {
        if (bytes.isEmpty())
            return true;
        const bool shared = bytes.size() <= kShared;
        if (shared) {
            const auto found = m_made.find(std::string(bytes.data(), size_t(bytes.size())));
            if (found != m_made.end()) {
                *text = found->second;
                return true;
            }
        }
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        *text = decoder(bytes);
        if (decoder.hasError())
            return false;
        if (shared)
            m_made.emplace(std::string(bytes.data(), size_t(bytes.size())), *text);
        return true;
    }

    std::unordered_map<std::string, QString> m_made;
};

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

bool CCommandsFile::Parse(const QByteArray &bytes, QString *error)
{
    if (bytes.size() > kMaxFileBytes) {
        *error = QStringLiteral("ﾌｧｲﾙが大きすぎます (%1 ﾊﾞｲﾄまで)").arg(kMaxFileBytes);
        return false;
    }
    CCommandsFile file;
    QByteArray text = bytes;
    if (text.startsWith("\xEF\xBB\xBF")) {
        file.m_bom = text.left(3);
        text.remove(0, 3);
    }
    const QList<::Record> records = SplitRecords(text);
    if (records.isEmpty()) {
        *error = QStringLiteral("1行目: 見出し行 (%1) がありません").arg(QString::fromLatin1(kHeader));
        return false;
    }
    int column = 0;
    CCellReader reader;
    if (!reader.Split(records[0].raw, &file.m_header, &column)) {
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
    file.m_headerRaw = records[0].raw;
    file.m_headerEnding = records[0].ending;
    file.m_lineEnding = records[0].ending.isEmpty() ? QByteArray("\r\n") : records[0].ending;
    QByteArray leading;
    file.m_rows.reserve(records.size() - 1);
    for (qsizetype r = 1; r < records.size(); ++r) {
        const ::Record &record = records[r];
        if (record.raw.trimmed().isEmpty()) {
            leading += record.raw + record.ending;
            continue;
        }
        Row row;
        if (!reader.Split(record.raw, &row.cells, &column)) {
            *error = Where(record.line, column, QStringLiteral("UTF-8 の文字ではありません"));
            return false;
        }
        while (row.cells.size() < kColumns)
            row.cells.append(QString());
        row.line = record.line;
        row.raw = record.raw;
        row.ending = record.ending;
        row.leading = std::exchange(leading, QByteArray());
        file.m_rows.append(std::move(row));
    }
    file.m_tail = leading;
    if (!Build(file.m_rows, EolColumn(file.m_header), &file.m_sequences, error))
        return false;
    *this = std::move(file);
    return true;
}

bool CCommandsFile::Build(const QList<Row> &rows, int eolColumn, QList<Sequence> *sequences, QString *error)
{
    QList<Sequence> made;
    QHash<QString, qsizetype> byName;
    QHash<QString, QString> keyOwner;
    CCommandStep::Cache compiled;
    for (qsizetype r = 0; r < rows.size(); ++r) {
        const Row &row = rows[r];
        const QString name = row.cells[COL_NAME].trimmed();
        const QString key = row.cells[COL_KEY].trimmed();
        if (name.isEmpty()) {
            *error = Where(row.line, COL_NAME, QStringLiteral("name が空です"));
            return false;
        }
        CCommandStep step;
        QString why;
        int column = 0;
        if (!CCommandStep::Compile(row.cells, &step, &why, &column, &compiled, eolColumn)) {
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
            made.append(Sequence{name, key, row.cells[COL_NOTE], {}, {}});
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
    QByteArray out = m_bom;
    out += m_headerRaw.isEmpty() ? Record(m_header) : m_headerRaw;
    out += m_headerEnding.isEmpty() && !m_rows.isEmpty() ? m_lineEnding : m_headerEnding;
    for (qsizetype r = 0; r < m_rows.size(); ++r) {
        const Row &row = m_rows[r];
        out += row.leading;
        out += row.raw.isEmpty() ? Record(row.cells) : row.raw;
        // The last record may end without a line end; one that gets a row after it needs one.
        out += row.ending.isEmpty() && r + 1 < m_rows.size() ? m_lineEnding : row.ending;
    }
    return out + m_tail;
}

QList<QStringList> CCommandsFile::Rows() const
{
    QList<QStringList> rows;
    rows.reserve(m_rows.size());
    for (const Row &row : m_rows)
        rows.append(row.cells);
    return rows;
}

bool CCommandsFile::SetRows(const QList<QStringList> &rows, QString *error)
{
    QList<Row> made;
    made.reserve(rows.size());
    // A row as it stood keeps its bytes: the rows read, by their cells (empty ones at the end aside).
    const auto key = [](QStringList cells) {
        while (!cells.isEmpty() && cells.last().isEmpty())
            cells.removeLast();
        return cells.join(QChar(0x1F));
    };
    QMultiHash<QString, qsizetype> standing;
    for (qsizetype r = m_rows.size() - 1; r >= 0; --r) {
        if (!m_rows[r].raw.isEmpty())
            standing.insert(key(m_rows[r].cells), r);
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
        Row row;
        row.cells = cells;
        // Empty cells past the header's columns (the editor's unused `eol`) are no cells of the row.
        while (row.cells.size() > std::max<qsizetype>(header.size(), eolColumn + 1) && row.cells.last().isEmpty())
            row.cells.removeLast();
        while (row.cells.size() < kColumns)
            row.cells.append(QString());
        row.line = line++;
        row.ending = m_lineEnding;
        const auto old = standing.find(key(row.cells));
        if (old != standing.end()) {
            const Row &kept = m_rows[*old];
            row.raw = kept.raw;
            row.leading = kept.leading;
            row.ending = kept.ending;
            standing.erase(old);
        }
        made.append(row);
    }
    QList<Sequence> sequences;
    if (!Build(made, eolColumn, &sequences, error))
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
