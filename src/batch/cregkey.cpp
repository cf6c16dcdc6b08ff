#include "batch/cregkey.h"

#include "platform/cinifile.h"
#include "platform/cp932.h"

CRegKey::CRegKey(const QString &key) : m_strKey(key), m_pFile(std::make_unique<CIniFile>(CIniFile::StorePath()))
{
}

CRegKey::~CRegKey() = default;

QString CRegKey::ReadString(const QString &name, const QString &defaultValue) const
{
    if (!m_pFile->HasKey(m_strKey, name))
        return defaultValue;
    const QString value = m_pFile->GetString(m_strKey, name, defaultValue);
    if (ToCp932(value).size() > kMaxStringBytes)
        return defaultValue;
    return value;
}

std::uint32_t CRegKey::ReadDword(const QString &name, std::uint32_t defaultValue) const
{
    if (!m_pFile->HasKey(m_strKey, name))
        return defaultValue;
    const QString text = m_pFile->GetString(m_strKey, name, QString());
    bool ok = false;
    const uint value = text.toUInt(&ok, 10);
    if (!ok || text.isEmpty() || !text.front().isDigit())
        return defaultValue;
    return value;
}

QString CRegKey::FitString(const QString &value)
{
    if (ToCp932(value).size() <= kMaxStringBytes)
        return value;
    // Add whole characters (a surrogate pair counts as one) while the bytes still fit.
    QString fitted;
    qsizetype bytes = 0;
    for (qsizetype i = 0; i < value.size();) {
        const qsizetype length = (value[i].isHighSurrogate() && i + 1 < value.size()) ? 2 : 1;
        const QStringView character = QStringView(value).mid(i, length);
        bytes += ToCp932(character).size();
        if (bytes > kMaxStringBytes)
            break;
        fitted += character;
        i += length;
    }
    return fitted;
}

QString RegReadString(const QString &key, const QString &name, const QString &defaultValue)
{
    return CRegKey(key).ReadString(name, defaultValue);
}

void RegWriteString(const QString &key, const QString &name, const QString &value)
{
    CIniFile(CIniFile::StorePath()).WriteString(key, name, CRegKey::FitString(value));
}

std::uint32_t RegReadDword(const QString &key, const QString &name, std::uint32_t defaultValue)
{
    return CRegKey(key).ReadDword(name, defaultValue);
}

void RegWriteDword(const QString &key, const QString &name, std::uint32_t value)
{
    CIniFile(CIniFile::StorePath()).WriteString(key, name, QString::number(value));
}
