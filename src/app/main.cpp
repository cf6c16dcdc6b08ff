// Starts Quillnet.
#include "app/cbatchcommand.h"
#include "app/cqnapp.h"
#include "platform/csignalquit.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    CSignalQuit::InstallHandlers();
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (CBatchOptions::Requested(arguments)) {
        CBatchOptions options;
        QString error;
        if (!options.ParseArguments(arguments, &error)) {
            CBatchCommand::Say(QStringLiteral("quillnet: ") + error);
            return CBatchCommand::kExitUsage;
        }
        // A batch run shows no window: the offscreen platform needs no display.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication application(argc, argv);
        CBatchCommand command(options);
        return command.Run();
    }
    QApplication application(argc, argv);
    CSignalQuit quitOnSignal;
    CQnApp app;
    return app.Run();
}
