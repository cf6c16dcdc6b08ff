// Prompts answered by the user through Qt's message boxes, file dialogs and a
// passphrase dialog.
#pragma once

#include "platform/prompts.h"

class QtPrompts : public Prompts
{
public:
    int MessageBox(QObject *owner, const QString &text, const QString &caption, Buttons buttons,
                   Icon icon) override;
    QString FileName(QObject *owner, const FileRequest &request) override;
    bool Secret(QObject *owner, const QString &text, const QString &caption, QString *answer) override;

    // Turns a "desc|*.ext|desc|*.*||" filter into Qt's "desc (*.ext);;desc (*.*)" form.
    static QString QtFilter(const QString &filter);
};
