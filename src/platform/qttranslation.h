// Qt's own Japanese texts for the standard dialogs (message box buttons, file dialogs).
#pragma once

#include <QString>

// Loads qtbase_ja.qm from `directory` (Qt's translations folder when empty) into the application
// once. False where the file is missing or unreadable: the standard dialogs then stay in English.
bool InstallQtTranslation(const QString &directory = QString());
