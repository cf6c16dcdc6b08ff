#include "res/appresources.h"

#include <QString>

void InitAppResources()
{
    Q_INIT_RESOURCE(quillnet);
}

QIcon AppIcon()
{
    InitAppResources();
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/quillnet%1.png").arg(size), QSize(size, size));
    // The installed icon theme's copy first (the one the desktop shows), ours where it is missing.
    return QIcon::fromTheme(QLatin1String(kAppId), icon);
}

QIcon ToolIcon(const char *name, const char *themeName)
{
    InitAppResources();
    const QIcon own(QStringLiteral(":/icons/%1.png").arg(QLatin1String(name)));
    return themeName ? QIcon::fromTheme(QLatin1String(themeName), own) : own;
}
