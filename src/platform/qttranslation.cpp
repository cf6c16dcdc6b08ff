#include "platform/qttranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

bool InstallQtTranslation(const QString &directory)
{
    static QTranslator *installed = nullptr;
    if (installed)
        return true;
    auto translator = std::make_unique<QTranslator>(QCoreApplication::instance());
    const QString folder = directory.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : directory;
    if (!translator->load(QStringLiteral("qtbase_ja"), folder) || !QCoreApplication::installTranslator(translator.get()))
        return false;
    installed = translator.release();
    return true;
}
