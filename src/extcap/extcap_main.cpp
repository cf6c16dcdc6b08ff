// quillnet-extcap: Quillnet as a capture source of the packet analyser (its extcap protocol).
#include "extcap/cextcap.h"
#include "platform/csignalquit.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    // The analyser ends a capture with SIGTERM: the trace is closed properly first.
    CSignalQuit::InstallHandlers();
    QCoreApplication app(argc, argv);
    CExtcap extcap;
    QByteArray out;
    const int code = extcap.Run(QCoreApplication::arguments(), &out);
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    std::fflush(stdout);
    return code;
}
