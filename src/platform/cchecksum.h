// Checksums by name: the parametric CRC model (width 1 to 128 bits, polynomial, initial value,
// reflected input and output, final XOR) with the catalogue entries engineers use, and the simple
// sums (SUM8/16/32, two's- and one's-complement SUM8, XOR8/BCC, XOR16, LRC, LRC over ASCII hex,
// Fletcher-16/32, Adler-32, the Internet checksum). Names and aliases as the public CRC catalogue
// writes them; a CRC may also be given by its parameters in the catalogue's model notation. CRCs are
// table-driven, sixteen bytes a step, or folded with carry-less multiplication (and CRC-32C with the
// processor's own instruction) where the processor has it. Widths over 64 bits take a register of
// two words, folded thirty-two bytes at a time where the processor allows, else one table, a byte a
// step; the narrower ones never touch it. A CRC's parts may be computed apart and joined (Append).
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <array>
#include <memory>

class CChecksum
{
public:
    enum Kind {
        KIND_CRC, KIND_SUM8, KIND_SUM16, KIND_SUM8_NEGATED, KIND_XOR8, KIND_LRC_ASCII,
        KIND_SUM32, KIND_SUM8_ONES, KIND_XOR16, KIND_FLETCHER16, KIND_FLETCHER32, KIND_ADLER32, KIND_INTERNET
    };

    // A value of any width (a CRC's parameters and results); the narrower ones in its low bits.
    __extension__ typedef unsigned __int128 Value;
    static constexpr int kMaxWidth = 128;
    static constexpr Value Wide(quint64 high, quint64 low) { return Value(high) << 64 | low; }

    // One entry of the catalogue.
    struct Entry
    {
        const char *name;
        const char *aliases;  // separated by spaces, or empty
        Kind kind;
        int width;            // bits of the value
        Value poly;
        Value init;
        bool refin;
        bool refout;
        Value xorout;
        Value check;          // the value over the nine bytes "123456789"
        Value residue;        // CRC: the register after a message and its CRC, before the final XOR
    };

    // The entry of `name` or one of its aliases (any case); null when there is none.
    static std::unique_ptr<CChecksum> Find(const QString &name);
    // The same, and a CRC given by its parameters in the catalogue's model notation ("width=16
    // poly=0x8005 init=0xFFFF refin=true refout=true xorout=0x0000", any order; check= and residue=
    // are verified, name= is ignored); null with the reason in `error`.
    static std::unique_ptr<CChecksum> Find(const QString &name, QString *error);
    // A CRC by its model notation alone; null with the reason in `error`.
    static std::unique_ptr<CChecksum> FromModel(const QString &model, QString *error);
    // "width=16 poly=0x8005 init=0xFFFF refin=true refout=true xorout=0x0000" of a CRC.
    static QString ModelText(const Entry &entry);
    // The catalogue entry of a CRC with these parameters (width, poly, init, refin, refout, xorout);
    // null when the catalogue has none.
    static const Entry *CatalogueEntry(const Entry &parameters);
    // The residue of a CRC's parameters (see Entry::residue).
    static Value Residue(const Entry &parameters);
    // The low `width` bits set (up to 64; WideMask up to 128).
    static quint64 Mask(int width);
    static Value WideMask(int width);
    // The low `width` bits of `value` in reverse order.
    static quint64 Reflect(quint64 value, int width);
    static Value WideReflect(Value value, int width);
    static const Entry *Entries(int *count);
    // Every entry's name, in the catalogue's order.
    static QStringList Names();
    // "CRC-16/MODBUS  width=16 poly=0x8005 init=0xFFFF refin=true refout=true xorout=0x0000 check=0x4B37"
    // and its aliases, one entry.
    static QString Describe(const Entry &entry);

    explicit CChecksum(const Entry &entry);
    CChecksum(const CChecksum &) = delete;
    CChecksum &operator=(const CChecksum &) = delete;
    const Entry &Parameters() const { return m_entry; }
    // Bytes the value takes when appended in binary.
    int Bytes() const { return (m_entry.width + 7) / 8; }

    // The value of a run of bytes that arrives in pieces: Init, then Update with each piece in order,
    // then Final; the value is the one Compute gives over the pieces joined, however they are cut.
    struct State
    {
        quint64 crc = 0;      // the CRC register (reflected input: at its low end, else at its high end)
        quint64 sum = 0;      // the sum of the bytes
        quint64 bits = 0;     // their exclusive or
        quint64 decoded = 0;  // LRC over ASCII hex: the sum of the bytes the digit pairs stand for
        int high = -1;        // LRC over ASCII hex: the first digit of a pair still waiting for its second;
                              // 16-bit words: the first byte of a word still waiting for its second
        quint64 a = 0;        // Fletcher, Adler: the two running sums
        quint64 b = 0;
        Value wide = 0;       // the CRC register of widths over 64 bits, placed as `crc` is
    };
    State Init() const;
    void Update(State &state, const void *data, qsizetype length) const;
    Value Final(const State &state) const;

    // A CRC over parts computed apart, on threads of their own say: each part but the first starts
    // from InitPart (a zero register) instead of Init and is updated alone; Append then puts a
    // part of `length` bytes after the state of all bytes before it. CRCs only (Combines).
    bool Combines() const { return m_entry.kind == KIND_CRC; }
    State InitPart() const { return State(); }
    void Append(State &state, const State &part, qint64 length) const;

    Value Compute(const void *data, qsizetype length) const;
    Value Compute(const QByteArray &data) const { return Compute(data.constData(), data.size()); }
    // The value as upper-case hex digits, most significant first, as the catalogue writes check values.
    QString HexText(Value value) const;
    // The value as the bytes appended: binary in the byte order asked for, or its hex digits as ASCII.
    QByteArray ValueBytes(Value value, bool bigEndian, bool asciiHex) const;

private:
    // The CRC register of Init/Update over `data`: folded where the processor allows, then tables.
    quint64 Crc(quint64 crc, const unsigned char *data, qsizetype length) const;
    quint64 CrcByTables(quint64 crc, const unsigned char *data, qsizetype length) const;
    // The register of a CRC wider than 64 bits over `data`: folded where the processor allows, then
    // the table, a byte a step.
    Value WideCrc(Value crc, const unsigned char *data, qsizetype length) const;
    Value WideCrcByTable(Value crc, const unsigned char *data, qsizetype length) const;
    // A CRC's register in the normal bit order (the CRC before its final reflection and XOR), and
    // back into the state as Update holds it.
    Value Register(const State &state) const;
    void SetRegister(State &state, Value normal) const;
    void UpdateSum(State &state, const unsigned char *data, qsizetype length) const;

    Entry m_entry;
    QByteArray m_name;    // a model's own name (m_entry.name points into it)
    // Sixteen tables of the CRC, one per byte of a step (empty for the sums).
    std::unique_ptr<std::array<std::array<quint64, 256>, 16>> m_pTables;
    // The one table of a CRC wider than 64 bits (empty otherwise).
    std::unique_ptr<std::array<Value, 256>> m_pWideTable;
    // Carry-less multiplication constants for folding 64 and 16 bytes at a time.
    std::array<quint64, 4> m_fold{};
    std::array<quint64, 8> m_wideFold{};
};
