// The application a windowed benchmark runs in: Qt with the program's font substitutions, and the
// program's prompts installed for as long as it lives.
#pragma once

#include "platform/ui/qtprompts.h"
#include "platform/ui/uifonts.h"

#include <QApplication>

class BenchApp
{
public:
    BenchApp(int &argc, char **argv) : m_app(argc, argv)
    {
        InstallFontSubstitutions();
        Prompts::Install(&m_prompts);
    }
    ~BenchApp() { Prompts::Install(nullptr); }
    BenchApp(const BenchApp &) = delete;
    BenchApp &operator=(const BenchApp &) = delete;

    QStringList arguments() const { return QCoreApplication::arguments(); }

private:
    QApplication m_app;
    QtPrompts m_prompts;
};
