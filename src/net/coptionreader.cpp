#include "net/coptionreader.h"

#include <algorithm>
#include <cctype>

bool COptionReader::ReadValue(const COptionDecl &option, const QString &text, Value *value) const
{
    bool ok = false;
    switch (option.kind) {
    case COptionDecl::Kind::Text:
        ok = !text.isEmpty();
        break;
    case COptionDecl::Kind::Number:
        value->number = text.toInt(&ok);
        ok = ok && value->number >= option.min && value->number <= option.max;
        break;
    case COptionDecl::Kind::Digits: {
        ok = !text.isEmpty() && text.size() <= option.width &&
             std::all_of(text.begin(), text.end(), [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
        value->number = ok ? text.toInt() : 0;
        ok = ok && value->number >= option.min && value->number <= option.max;
        break;
    }
    case COptionDecl::Kind::Bit:
        ok = text == QLatin1String("0") || text == QLatin1String("1");
        value->number = ok && text == QLatin1String("1");
        break;
    case COptionDecl::Kind::HexByte:
        ok = text.size() == 2 && std::all_of(text.begin(), text.end(), [](QChar c) { return std::isxdigit(c.unicode()) && c.unicode() < 128; });
        value->number = ok ? int(text.toUInt(nullptr, 16)) : 0;
        break;
    }
    if (ok) {
        value->given = true;
        value->text = text;
    }
    return ok;
}

bool COptionReader::ReadWord(const QString &word, QList<Value> *values) const
{
    values->resize(qsizetype(m_options.size()));
    const qsizetype colon = word.indexOf(QLatin1Char(':'));
    const QString key = colon < 0 ? word : word.left(colon);
    const QString text = colon < 0 ? QString() : word.mid(colon + 1);
    for (std::size_t i = 0; i < m_options.size(); ++i) {
        if (key.compare(QLatin1String(m_options[i].name), m_keys) != 0)
            continue;
        Value value;
        if (!ReadValue(m_options[i], text, &value))
            return false;
        (*values)[qsizetype(i)] = value;
        return true;
    }
    return false;
}

bool COptionReader::Read(const QString &text, QList<Value> *values, QString *badWord) const
{
    values->clear();
    values->resize(qsizetype(m_options.size()));
    for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!ReadWord(word, values)) {
            *badWord = word;
            return false;
        }
    }
    return true;
}

QString COptionReader::Word(int index, const QString &value) const
{
    return QLatin1String(m_options[std::size_t(index)].name) + QLatin1Char(':') + value;
}
