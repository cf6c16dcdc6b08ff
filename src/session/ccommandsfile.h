// The commands file: named sequences, one step a row, as UTF-8 CSV with the header
// "name,key,action,form,data,checksum,ms,note" (columns after note are kept as they are). Rows with the
// same name, in file order, are one sequence. A file read and written again without a change comes
// out byte for byte as it was; an edited row is written with quotes only where a cell needs them.
#pragma once

#include "session/ccommandstep.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

class CCommandsFile
{
public:
    enum Column { COL_NAME, COL_KEY, COL_ACTION, COL_FORM, COL_DATA, COL_CHECKSUM, COL_MS, COL_NOTE, kColumns };
    static const char *const kHeader;  // the eight column names, comma-separated
    static constexpr qsizetype kMaxFileBytes = 64 * 1024 * 1024;

    struct Sequence
    {
        QString name;
        QString key;   // the first row's key ("F1", "Shift+F3", "Ctrl+2" or empty)
        QString note;  // the first row's note: the button's tooltip
        QList<int> rows;  // indexes into Rows()
        QList<CCommandStep> steps;
        // The page (tab) its button sits on: the name before its first "/" (empty: the first page),
        // and the button's caption: the rest.
        QString Page() const;
        QString Caption() const;
    };

    // Reads the whole text; false with "<line>行目 <column>列目 (<name>): <reason>" in `error`, this
    // object then unchanged.
    bool Parse(const QByteArray &bytes, QString *error);
    // The file's text: unchanged rows exactly as read, the others written afresh.
    QByteArray ToBytes() const;
    bool IsEmpty() const { return m_rows.isEmpty(); }

    // The rows' cells (at least kColumns each; blank lines are not rows, but are written back).
    QList<QStringList> Rows() const;
    // Replaces every row (an edit): false, with the error as Parse gives it (the line counted from
    // the header as line 1), when a row is refused; this object then unchanged.
    bool SetRows(const QList<QStringList> &rows, QString *error);
    QStringList Header() const { return m_header; }
    const QList<Sequence> &Sequences() const { return m_sequences; }
    const Sequence *Find(const QString &name) const;

    // The column of the line end after a text send: the first named `eol` after note (-1: none). A
    // file without one is written without one until an edit gives some row a line end.
    static int EolColumn(const QStringList &header);
    // A key the file may give a sequence: F1–F12, Shift+F1–Shift+F12, Ctrl+1–Ctrl+9.
    static bool IsKey(const QString &key);
    // One record as written afresh, without its line end.
    static QByteArray Record(const QStringList &cells);

private:
    enum Ending : quint8 { NoEnd, Lf, CrLf };
    // A row keeps its place in the text read, not its cells: they are split again when asked for
    // (the editor, an edit), as the file is read far more often than it is edited.
    struct Row
    {
        qint32 edited = -1;   // an edited row's cells (at least kColumns) in m_edited; -1: split from the text
        qint32 line = 0;      // where the record began in the file read (1 the header)
        qint32 from = -1;     // the record as read in m_text, without its line end (-1: written afresh)
        qint32 size = 0;
        qint32 leading = 0;   // blank lines before it as read: this many bytes before `from`
        Ending ending = NoEnd;  // the line end after it as read (none at the file's end)
    };
    class CellReader;  // a record's cells as text, the short ones made once
    static QByteArrayView EndingBytes(Ending ending);
    // The row's cells, at least kColumns; false for text that is not UTF-8 (`column` then names the cell).
    static bool CellsOf(const QByteArray &text, const QList<QStringList> &edited, const Row &row, CellReader *reader,
                        QStringList *cells, int *column);
    // Groups and compiles the rows; false with the error of the first refused row.
    static bool Build(const QByteArray &text, const QList<Row> &rows, const QList<QStringList> &edited, int eolColumn,
                      QList<Sequence> *sequences, QString *error);

    QByteArray m_text;  // the file as read: the rows' records and blank lines are kept in it
    QList<Row> m_rows;
    QList<QStringList> m_edited;  // the cells of the rows an edit gave
    QStringList m_header;
    QByteArray m_headerRaw;
    QByteArray m_headerEnding = "\r\n";
    QByteArray m_bom;
    QByteArray m_lineEnding = "\r\n";  // what an edited row ends with: the file's own
    QByteArray m_tail;  // blank lines after the last row, kept as read
    QList<Sequence> m_sequences;
};
