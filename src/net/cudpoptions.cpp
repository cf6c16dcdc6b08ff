#include "net/cudpoptions.h"

#include <ifaddrs.h>
#include <net/if.h>

bool CUdpOptions::Parse(const QString &text, CUdpOptions *out, QString *error)
{
    CUdpOptions options;
    for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString key = word.section(QLatin1Char(':'), 0, 0);
        const QString value = word.section(QLatin1Char(':'), 1);
        bool number = false;
        const int n = value.toInt(&number);
        if (key == QStringLiteral("if") && !value.isEmpty())
            options.interfaceName = value;
        else if (key == QStringLiteral("ttl") && number && n >= 0 && n <= 255)
            options.ttl = n;
        else if (key == QStringLiteral("loop") && number && (n == 0 || n == 1))
            options.loop = n == 1;
        else if (key == QStringLiteral("from") && number && (n == 0 || n == 1))
            options.showSender = n == 1;
        else {
            *error = QStringLiteral("UDPの指定 \"%1\" が分かりません (if:名前, ttl:0～255, loop:0|1, from:0|1)").arg(word);
            return false;
        }
    }
    *out = options;
    return true;
}

QString CUdpOptions::Text() const
{
    QStringList words;
    if (!interfaceName.isEmpty())
        words << QStringLiteral("if:") + interfaceName;
    if (ttl != 1)
        words << QStringLiteral("ttl:%1").arg(ttl);
    if (!loop)
        words << QStringLiteral("loop:0");
    if (showSender)
        words << QStringLiteral("from:1");
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
