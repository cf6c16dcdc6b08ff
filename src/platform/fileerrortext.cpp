#include "platform/fileerrortext.h"

#include <QString>

#include <cerrno>
#include <cstring>

QString FileErrorText(int errorNumber)
{
    switch (errorNumber) {
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("ﾃﾞｨｽｸの空き容量が不足しています。");
    case EACCES:
    case EPERM:
        return QStringLiteral("ｱｸｾｽが拒否されました。");
    case EROFS:
        return QStringLiteral("読み取り専用のﾌｧｲﾙｼｽﾃﾑです。");
    case ENOENT:
        return QStringLiteral("ﾌｧｲﾙまたはﾌｫﾙﾀﾞが見つかりません。");
    case ENXIO:
        return QStringLiteral("読み出す側のないﾊﾟｲﾌﾟです。");
    case EPIPE:
        return QStringLiteral("読み出す側がﾊﾟｲﾌﾟを閉じました。");
    default:
        return QString::fromLocal8Bit(std::strerror(errorNumber));
    }
}
