// Starts Quillnet.
#include "platform/csignalquit.h"
#include "platform/qtprompts.h"
#include "platform/uifonts.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    CSignalQuit::InstallHandlers();
    QApplication app(argc, argv);
    InstallFontSubstitutions();
    QtPrompts prompts;
    Prompts::Install(&prompts);
    CSignalQuit quitOnSignal;

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Quillnet"));
    window.resize(500, 140);
    window.show();
    const int result = app.exec();
    Prompts::Install(nullptr);
    return result;
}
