// Prompts for tests: records every question and answers from a plan instead of asking a person.
#pragma once

#include "platform/prompts.h"

#include <QList>
#include <QQueue>
#include <QString>

#include <functional>

class ScriptedPrompts : public Prompts
{
public:
    struct Call
    {
        bool fileRequest = false;
        QString text;
        QString caption;
        Buttons buttons = Ok;
        Icon icon = NoIcon;
        FileRequest request;
    };

    // Installs itself for its lifetime and restores the previous implementation afterwards.
    ScriptedPrompts();
    ~ScriptedPrompts() override;

    int MessageBox(QObject *owner, const QString &text, const QString &caption, Buttons buttons,
                   Icon icon) override;
    QString FileName(QObject *owner, const FileRequest &request) override;
    // A secret is asked as a box (recorded with the message boxes) and answered from `secrets`;
    // none left: cancelled.
    bool Secret(QObject *owner, const QString &text, const QString &caption, QString *answer) override;

    // Planned answers, used in order; without one a box answers its first button (OK or Yes)
    // and a file request is cancelled.
    QQueue<int> answers;
    QQueue<QString> fileNames;
    QQueue<QString> secrets;
    QList<Call> calls;
    // Runs when a box is asked for, before it is answered: the time the box would be open.
    std::function<void(const QString &text)> beforeAnswer;

    // The message boxes only, in order, as their texts.
    QStringList MessageTexts() const;

private:
    Prompts *m_pPrevious;
};
