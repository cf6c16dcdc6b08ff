// Starts Quillnet.
#include "app/ccommandline.h"
#include "app/cqnapp.h"
#include "platform/csignalquit.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // Help, version and a wrong option are answered before the window system is opened.
    CCommandLine commandLine;
    const int answered = commandLine.Answer(CCommandLine::Arguments(argc, argv));
    if (answered >= 0)
        return answered;
    CSignalQuit::InstallHandlers();
    QApplication application(argc, argv);
    CSignalQuit quitOnSignal;
    CQnApp app;
    return app.Run();
}
