#include "net/cudpoptions.h"

#include "net/coptionreader.h"

#include <ifaddrs.h>
#include <net/if.h>

namespace {

// The options in the order of the table.
constexpr int IF = 0, TTL = 1, LOOP = 2, FROM = 3;
const COptionDecl kOptions[] = {
    {"if", COptionDecl::Kind::Text},
    {"ttl", COptionDecl::Kind::Number, 0, 255},
    {"loop", COptionDecl::Kind::Number, 0, 1},
    {"from", COptionDecl::Kind::Number, 0, 1},
};

}  // namespace

bool CUdpOptions::Parse(const QString &text, CUdpOptions *out, QString *error)
{
    QList<COptionReader::Value> values;
    QString word;
    if (!COptionReader(kOptions).Read(text, &values, &word)) {
        *error = QStringLiteral("UDPの指定 \"%1\" が分かりません (if:名前, ttl:0～255, loop:0|1, from:0|1)").arg(word);
        return false;
    }
    CUdpOptions options;
    if (values[IF].given)
        options.interfaceName = values[IF].text;
    if (values[TTL].given)
        options.ttl = values[TTL].number;
    if (values[LOOP].given)
        options.loop = values[LOOP].number == 1;
    if (values[FROM].given)
        options.showSender = values[FROM].number == 1;
    *out = options;
    return true;
}

QString CUdpOptions::Text() const
{
    const COptionReader reader(kOptions);
    QStringList words;
    if (!interfaceName.isEmpty())
        words << reader.Word(IF, interfaceName);
    if (ttl != 1)
        words << reader.Word(TTL, QString::number(ttl));
    if (!loop)
        words << reader.Word(LOOP, QStringLiteral("0"));
    if (showSender)
        words << reader.Word(FROM, QStringLiteral("1"));
    return words.join(QLatin1Char(' '));
}

QStringList CUdpOptions::InterfaceNames()
{
    QStringList names;
    ifaddrs *interfaces = nullptr;
    if (getifaddrs(&interfaces) != 0)
        return names;
    for (const ifaddrs *i = interfaces; i; i = i->ifa_next) {
        const QString name = QString::fromLocal8Bit(i->ifa_name);
        if ((i->ifa_flags & IFF_MULTICAST) && !names.contains(name))
            names.append(name);
    }
    freeifaddrs(interfaces);
    return names;
}
