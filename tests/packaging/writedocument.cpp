// Writes a document the way the program saves one: qn_write_document PATH [ADDRESS].
#include "document/cqndoc.h"

#include <QString>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc < 2)
        return 2;
    CQnDoc document;
    document.SetSlotString(0, argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("127.0.0.1"));
    QString error;
    if (!document.OnSaveDocument(QString::fromLocal8Bit(argv[1]), &error)) {
        std::fprintf(stderr, "%s\n", error.toUtf8().constData());
        return 1;
    }
    return 0;
}
