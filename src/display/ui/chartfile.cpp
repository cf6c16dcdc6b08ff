#include "display/ui/chartfile.h"

#include "platform/fileerrortext.h"
#include "platform/prompts.h"
#include "platform/wholefile.h"

#include <QBuffer>
#include <QImageWriter>
#include <QWidget>

bool SaveWidgetPng(QWidget *widget, const QString &path, QString *error)
{
    QBuffer encoded;
    encoded.open(QIODevice::WriteOnly);
    QImageWriter writer(&encoded, "png");
    if (!writer.write(widget->grab().toImage())) {
        if (error)
            *error = writer.errorString();
        return false;
    }
    int code = 0;
    if (WriteWholeFile(path, encoded.data(), &code))
        return true;
    if (error)
        *error = FileErrorText(code);
    return false;
}

void AskAndSaveChartFile(QWidget *parent, bool csv, const std::function<bool(const QString &, QString *)> &save)
{
    Prompts::FileRequest request;
    request.open = false;
    request.filter = csv ? QStringLiteral("CSVﾌｧｲﾙ (*.csv)|*.csv|全てのﾌｧｲﾙ (*.*)|*.*||")
                         : QStringLiteral("PNGﾌｧｲﾙ (*.png)|*.png|全てのﾌｧｲﾙ (*.*)|*.*||");
    request.defaultExtension = csv ? QStringLiteral("csv") : QStringLiteral("png");
    request.overwritePrompt = true;
    request.kind = request.defaultExtension;
    const QString path = Prompts::AskFileName(parent, request);
    if (path.isEmpty())
        return;
    QString error;
    if (!save(path, &error))
        Prompts::Instance().MessageBox(parent, QStringLiteral("ﾌｧｲﾙに書き込めません: %1\n%2").arg(path, error),
                                       Prompts::AppTitle(), Prompts::Ok, Prompts::Exclamation);
}
