// Prompts answered by the user through Qt's message boxes and file dialogs.
#pragma once

#include "platform/prompts.h"

class QtPrompts : public Prompts
{
public:
    int MessageBox(QObject *owner, const QString &text, const QString &caption, Buttons buttons,
                   Icon icon) override;
    QString FileName(QObject *owner, const FileRequest &request) override;

    // Turns a "desc|*.ext|desc|*.*||" filter into Qt's "desc (*.ext);;desc (*.*)" form.
    static QString QtFilter(const QString &filter);
};
