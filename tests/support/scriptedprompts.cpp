#include "support/scriptedprompts.h"

#include "platform/qnwin.h"

ScriptedPrompts::ScriptedPrompts() : m_pPrevious(Prompts::Install(this)) {}

ScriptedPrompts::~ScriptedPrompts()
{
    Prompts::Install(m_pPrevious);
}

int ScriptedPrompts::MessageBox(QObject *, const QString &text, const QString &caption, Buttons buttons,
                                Icon icon)
{
    Call call;
    call.text = text;
    call.caption = caption;
    call.buttons = buttons;
    call.icon = icon;
    calls.append(call);
    if (beforeAnswer)
        beforeAnswer(text);
    if (!answers.isEmpty())
        return answers.dequeue();
    return (buttons == YesNo || buttons == YesNoCancel) ? IDYES : IDOK;
}

QString ScriptedPrompts::FileName(QObject *, const FileRequest &request)
{
    Call call;
    call.fileRequest = true;
    call.request = request;
    calls.append(call);
    return fileNames.isEmpty() ? QString() : fileNames.dequeue();
}

bool ScriptedPrompts::Secret(QObject *, const QString &text, const QString &caption, QString *answer)
{
    Call call;
    call.text = text;
    call.caption = caption;
    calls.append(call);
    if (secrets.isEmpty())
        return false;
    *answer = secrets.dequeue();
    return true;
}

QStringList ScriptedPrompts::MessageTexts() const
{
    QStringList texts;
    for (const Call &c : calls) {
        if (!c.fileRequest)
            texts << c.text;
    }
    return texts;
}
