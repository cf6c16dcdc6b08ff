#include "platform/cinifile.h"

#include "platform/wholefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// A profile larger than this is not a profile; it is read as empty instead of filling memory.
constexpr qint64 kMaxFileSize = 4 * 1024 * 1024;

bool SameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

}  // namespace

CIniFile::CIniFile(const QString &path) : m_strPath(path)
{
    Reload();
}

void CIniFile::Reload()
{
    m_sections.clear();
    if (m_strPath.isEmpty())
        return;  // a profile held in memory only
    QFile file(m_strPath);
    if (file.size() > kMaxFileSize || !file.open(QIODevice::ReadOnly))
        return;
    // As much as the file holds: read(kMaxFileSize) would set aside the whole limit on every reading,
    // and the store is read for every block a batch run receives.
    Parse(file.read(qBound<qint64>(0, file.size(), kMaxFileSize)));
}

void CIniFile::Parse(const QByteArray &text)
{
    m_sections.clear();
    Section *current = nullptr;
    for (QByteArray rawLine : text.split('\n')) {
        if (rawLine.endsWith('\r'))
            rawLine.chop(1);
        const QString line = QString::fromUtf8(rawLine);
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(QLatin1Char('[')) && trimmed.endsWith(QLatin1Char(']'))) {
            const QString name = trimmed.mid(1, trimmed.size() - 2);
            current = nullptr;
            for (Section &s : m_sections) {
                if (SameName(s.name, name))
                    current = &s;
            }
            if (!current) {
                m_sections.push_back({name, {}});
                current = &m_sections.back();
            }
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (!current || eq <= 0 || trimmed.startsWith(QLatin1Char(';')))
            continue;
        const QString key = line.left(eq).trimmed();
        if (key.isEmpty())
            continue;  // blanks only before the '=': no key, as written back it would be none either
        const QString value = UnescapeValue(line.mid(eq + 1));
        bool replaced = false;
        for (Entry &e : current->entries) {
            if (SameName(e.key, key)) {
                e.value = value;
                replaced = true;
            }
        }
        if (!replaced)
            current->entries.push_back({key, value});
    }
}

QByteArray CIniFile::Serialize() const
{
    QString text;
    for (const Section &s : m_sections) {
        text += QLatin1Char('[') + s.name + QStringLiteral("]\n");
        for (const Entry &e : s.entries)
            text += e.key + QLatin1Char('=') + EscapeValue(e.value) + QLatin1Char('\n');
        text += QLatin1Char('\n');
    }
    return text.toUtf8();
}

const CIniFile::Entry *CIniFile::Find(const QString &section, const QString &key) const
{
    for (const Section &s : m_sections) {
        if (!SameName(s.name, section))
            continue;
        for (const Entry &e : s.entries) {
            if (SameName(e.key, key))
                return &e;
        }
    }
    return nullptr;
}

QString CIniFile::GetString(const QString &section, const QString &key, const QString &defaultValue) const
{
    const Entry *e = Find(section, key);
    return e ? e->value : defaultValue;
}

bool CIniFile::HasKey(const QString &section, const QString &key) const
{
    return Find(section, key) != nullptr;
}

int CIniFile::GetInt(const QString &section, const QString &key, int defaultValue) const
{
    const Entry *e = Find(section, key);
    if (!e)
        return defaultValue;
    // Leading blanks, an optional sign, then digits up to the first other character.
    const QString &v = e->value;
    qsizetype i = 0;
    while (i < v.size() && (v[i] == QLatin1Char(' ') || v[i] == QLatin1Char('\t')))
        ++i;
    bool negative = false;
    if (i < v.size() && (v[i] == QLatin1Char('-') || v[i] == QLatin1Char('+')))
        negative = v[i++] == QLatin1Char('-');
    qint64 n = 0;
    while (i < v.size() && v[i].isDigit() && v[i].unicode() < 128 && n <= 0x7FFFFFFF)
        n = n * 10 + (v[i++].unicode() - '0');
    n = qMin<qint64>(n, 0x7FFFFFFF);
    return static_cast<int>(negative ? -n : n);
}

bool CIniFile::WriteString(const QString &section, const QString &key, const QString &value)
{
    Section *target = nullptr;
    for (Section &s : m_sections) {
        if (SameName(s.name, section))
            target = &s;
    }
    if (!target) {
        m_sections.push_back({section, {}});
        target = &m_sections.back();
    }
    bool found = false;
    for (Entry &e : target->entries) {
        if (SameName(e.key, key)) {
            e.value = value;
            found = true;
        }
    }
    if (!found)
        target->entries.push_back({key, value});
    return Save();
}

bool CIniFile::WriteInt(const QString &section, const QString &key, int value)
{
    return WriteString(section, key, QString::number(value));
}

bool CIniFile::Save() const
{
    if (m_strPath.isEmpty())
        return false;
    QDir().mkpath(QFileInfo(m_strPath).absolutePath());
    // In a folder the user may not write, a file the user may write is written in place.
    return WriteWholeFile(m_strPath, Serialize());
}

QString CIniFile::ConfigHome()
{
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return xdg;
    return QDir::homePath() + QStringLiteral("/.config");
}

QString CIniFile::ProfilePath()
{
    return ConfigHome() + QStringLiteral("/Quillnet/Quillnet.ini");
}

QString CIniFile::StorePath()
{
    return ConfigHome() + QStringLiteral("/Corvexa/qn.ini");
}

QString CIniFile::EscapeValue(const QString &value)
{
    QString out;
    out.reserve(value.size());
    for (QChar c : value) {
        if (c == QLatin1Char('\\'))
            out += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\n'))
            out += QStringLiteral("\\n");
        else if (c == QLatin1Char('\r'))
            out += QStringLiteral("\\r");
        else
            out += c;
    }
    return out;
}

QString CIniFile::UnescapeValue(const QString &value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const QChar next = value[++i];
        if (next == QLatin1Char('n'))
            out += QLatin1Char('\n');
        else if (next == QLatin1Char('r'))
            out += QLatin1Char('\r');
        else
            out += next;
    }
    return out;
}
