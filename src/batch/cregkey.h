// One key of the program's small settings store, read once and queried by value name.
#pragma once

#include <QString>

#include <cstdint>
#include <memory>

class CIniFile;

// The store keeps each key as a section of CIniFile::StorePath(); a value keeps its blanks exactly.
// Strings are limited to 255 bytes in code page 932: a stored string longer than that reads as missing.
class CRegKey
{
public:
    // Reads the store once; every query of this object answers from that reading.
    explicit CRegKey(const QString &key);
    ~CRegKey();
    CRegKey(const CRegKey &) = delete;
    CRegKey &operator=(const CRegKey &) = delete;

    QString ReadString(const QString &name, const QString &defaultValue) const;
    // A value that is not a whole unsigned decimal number below 2^32 reads as missing.
    std::uint32_t ReadDword(const QString &name, std::uint32_t defaultValue) const;

    // Most bytes a stored string may have (the terminator of a 256-byte buffer excluded).
    static constexpr int kMaxStringBytes = 255;
    // The longest start of `value` that fits kMaxStringBytes in code page 932, cut between characters.
    static QString FitString(const QString &value);

private:
    QString m_strKey;
    std::unique_ptr<CIniFile> m_pFile;
};

// Stateless store operations. Failures are silent: reads give the default, writes keep the old value.
// A string longer than 255 bytes is stored as its longest start that fits (see CRegKey::FitString).
QString RegReadString(const QString &key, const QString &name, const QString &defaultValue);
void RegWriteString(const QString &key, const QString &name, const QString &value);
std::uint32_t RegReadDword(const QString &key, const QString &name, std::uint32_t defaultValue);
void RegWriteDword(const QString &key, const QString &name, std::uint32_t value);
