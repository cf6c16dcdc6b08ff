// The "key:value" words of a settings text ("if:eth0 ttl:4 loop:0"), each option declared once with
// its name, its kind and its range, and read by one reader. A transport's settings struct declares
// its options in a table and turns what the reader found into its fields.
#pragma once

#include <QString>
#include <QStringList>

#include <span>

struct COptionDecl
{
    enum class Kind { Text, Number, Digits, Bit, HexByte };

    const char *name;
    Kind kind;
    int min = 0;   // Number and Digits: the range
    int max = 0;
    int width = 0;  // Digits: at most this many digits
};

class COptionReader
{
public:
    // What was read of one option: `given` when its word was there; `number` for the number kinds.
    struct Value
    {
        bool given = false;
        QString text;
        int number = 0;
    };

    explicit COptionReader(std::span<const COptionDecl> options, Qt::CaseSensitivity keys = Qt::CaseSensitive)
        : m_options(options), m_keys(keys)
    {
    }

    // Reads one word; false when it names no option or its value is out of the option's kind or
    // range. A later word of the same option overrides an earlier one.
    bool ReadWord(const QString &word, QList<Value> *values) const;
    // Reads the blank-separated words of `text` into one value per option, in the table's order;
    // false with the first word that does not read in `badWord`.
    bool Read(const QString &text, QList<Value> *values, QString *badWord) const;
    // The word for option `index` with `value` ("ttl:4").
    QString Word(int index, const QString &value) const;

private:
    bool ReadValue(const COptionDecl &option, const QString &text, Value *value) const;

    std::span<const COptionDecl> m_options;
    Qt::CaseSensitivity m_keys;
};
