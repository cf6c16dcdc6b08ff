#include "platform/ui/uifonts.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

const char *const kFaceMsPGothic = "ＭＳ Ｐゴシック";
const char *const kFaceMsGothic = "ＭＳ ゴシック";

void InstallFontSubstitutions()
{
    QFont::insertSubstitutions(QString::fromUtf8(kFaceMsPGothic),
                               {QStringLiteral("IPAPGothic"), QStringLiteral("IPAexGothic"), QStringLiteral("Noto Sans CJK JP")});
    QFont::insertSubstitutions(QString::fromUtf8(kFaceMsGothic),
                               {QStringLiteral("IPAGothic"), QStringLiteral("IPAexGothic"), QStringLiteral("Noto Sans Mono CJK JP")});
}

QFont LogFont(const QString &face, int height, int weight)
{
    QFont font(face);
    if (height < 0) {
        font.setPixelSize(-height);
    } else if (height > 0) {
        // A cell height includes the internal leading; the character height is a little smaller.
        font.setPixelSize(qMax(1, height * 5 / 6));
    }
    font.setWeight(weight >= 700 ? QFont::Bold : QFont::Normal);
    return font;
}

QFont DialogFont(const QString &face, int pointSize)
{
    QFont font(face);
    font.setPointSize(pointSize);
    return font;
}

int LogicalDpiX(const QWidget *widget)
{
    if (widget)
        return widget->logicalDpiX();
    if (QScreen *screen = QGuiApplication::primaryScreen())
        return qRound(screen->logicalDotsPerInchX());
    return 96;
}

QColor ColorFromRef(COLORREF colour)
{
    return QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}
