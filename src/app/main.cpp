// Starts Quillnet.
#include "app/cqnapp.h"
#include "platform/csignalquit.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    CSignalQuit::InstallHandlers();
    QApplication application(argc, argv);
    CSignalQuit quitOnSignal;
    CQnApp app;
    return app.Run();
}
