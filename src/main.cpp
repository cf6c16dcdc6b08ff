// Starts Quillnet.
#include "app/ui/cbatchcommand.h"
#include "app/ui/ccommandscommand.h"
#include "app/ccommandline.h"
#include "app/crelaycommand.h"
#include "app/ui/cqnapp.h"
#include "platform/csignalquit.h"
#include "platform/descriptorlimit.h"

#include <QApplication>
#include <QCoreApplication>

int main(int argc, char *argv[])
{
    // Help, version and a wrong option are answered before the window system is opened.
    CCommandLine commandLine;
    const int answered = commandLine.Answer(CCommandLine::Arguments(argc, argv));
    if (answered >= 0)
        return answered;
    CSignalQuit::InstallHandlers();
    RaiseDescriptorLimit();
    if (commandLine.IsRelay()) {
        // A relay needs neither window nor display.
        QCoreApplication application(argc, argv);
        return CRelayCommand(commandLine.Relay()).Run();
    }
    if (commandLine.IsBatch()) {
        // A batch run shows no window: the offscreen platform needs no display.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        CBatchCommand::QuietPlatformNotices();
        QApplication application(argc, argv);
        if (commandLine.Batch().IsCommandsRun())
            return CCommandsCommand(commandLine.Batch()).Run();
        CBatchCommand command(commandLine.Batch());
        return command.Run();
    }
    QApplication application(argc, argv);
    CSignalQuit quitOnSignal;
    CQnApp app;
    return app.Run();
}
