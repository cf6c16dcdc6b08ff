#include "platform/ui/dialogunits.h"

#include <QFont>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPushButton>

QSize DialogBaseUnits(const QFont &font)
{
    const QFontMetrics metrics(font);
    // The Windows rule: the width of the 52 Latin letters, averaged and rounded.
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return QSize(qMax(1, (letters / 26 + 1) / 2), qMax(1, metrics.height()));
}

QRect DluToPixels(const QFont &font, int x, int y, int width, int height)
{
    const QSize base = DialogBaseUnits(font);
    const int left = x * base.width() / 4;
    const int top = y * base.height() / 8;
    const int right = (x + width) * base.width() / 4;
    const int bottom = (y + height) * base.height() / 8;
    return QRect(left, top, right - left, bottom - top);
}

QSize DluToPixels(const QFont &font, int width, int height)
{
    const QSize base = DialogBaseUnits(font);
    return QSize(width * base.width() / 4, height * base.height() / 8);
}

QPushButton *AddDialogButton(QWidget *dialog, int id, const QString &text, int x, int y, int width, int height)
{
    auto *button = new QPushButton(text, dialog);
    button->setObjectName(QString::number(id));
    button->setAutoDefault(false);
    button->setDefault(false);
    button->setGeometry(DluToPixels(dialog->font(), x, y, width, height));
    return button;
}

bool SwallowEnterAndEscape(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->accept();
        return true;
    default:
        return false;
    }
}
