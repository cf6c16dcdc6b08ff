// The scenario of a batch run: 200 rows of destination address, port, send file and result, and
// its CSV file, shared by the batch window and the command line.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class CBatchScenario
{
public:
    static constexpr int kRows = 200;  // rows 1 to 200
    // Columns, numbered as in the window's table and the fields of a CSV line.
    static constexpr int COL_ADDRESS = 1;
    static constexpr int COL_PORT = 2;
    static constexpr int COL_FILE = 3;
    static constexpr int COL_RESULT = 4;

    CBatchScenario();

    // A cell of rows 1 to 200, columns 1 to 4; anything outside reads "" and ignores writes.
    QString Cell(int row, int col) const;
    void SetCell(int row, int col, const QString &text);
    void ClearResults();
    // The rows a run reaches: those before the first row without an address.
    int RunnableRows() const;
    // An address written "tls://HOST" (the prefix in any case) asks for TLS on that row: true, with
    // `host` the HOST as written (a name, IPv4, or IPv6 with or without brackets). Any other
    // address: false, `host` the address itself.
    static bool SplitTlsAddress(const QString &address, QString *host);

    // What a reading passes over without a word (the batch window reads so), for a run that must
    // not: line numbers count from 1.
    struct ReadNotes
    {
        int lines = 0;                // lines read, at most kRows
        bool pastLastRow = false;     // text follows line kRows
        QList<int> afterBlank;        // lines with text after the first row without an address
        QList<int> strayQuotes;       // lines with an odd number of double quotes
        bool utf8Bom = false;         // the file starts with a UTF-8 byte order mark
        QList<int> notCp932;          // lines holding bytes that are no code page 932 text
    };

    // Reads the CSV file into rows 1, 2, …; rows after the file's last line are emptied. False
    // (the scenario unchanged) when the file cannot be opened; `error` then holds the cause.
    bool ReadCsv(const QString &path, QString *error = nullptr, ReadNotes *notes = nullptr);
    // The 200 lines the CSV file holds for this scenario.
    QList<QByteArray> CsvLines() const;
    // False when the file cannot be written; `error` then holds the cause.
    bool WriteCsv(const QString &path, QString *error = nullptr) const;

private:
    QList<QString> m_cells;  // row-major, kRows x 4
};
