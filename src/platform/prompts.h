// The one seam through which the program asks the user: message boxes, file-name dialogs and
// secrets.
#pragma once

#include <QString>

class QObject;

class Prompts
{
public:
    enum Buttons { Ok, OkCancel, YesNo, YesNoCancel };
    enum Icon { NoIcon, Information, Question, Exclamation, Error };

    // A file-name request. `filter` is in the "desc|*.ext|desc|*.*||" form; `defaultExtension`
    // (without dot) is added to a name typed without one.
    struct FileRequest
    {
        bool open = true;
        QString filter;
        QString defaultExtension;
        QString initialName;
        bool overwritePrompt = false;
        // The kind of file ("qn", "txt", "csv", "bin", "send"): the dialog starts in the last folder
        // chosen for it when no document folder is known (see AskFileName).
        QString kind;
        // The folder the dialog starts in; empty: the dialog's own choice.
        QString initialFolder;
    };

    virtual ~Prompts();

    // Shows a message box and returns the button pressed (IDOK, IDCANCEL, IDYES, IDNO).
    virtual int MessageBox(QObject *owner, const QString &text, const QString &caption, Buttons buttons,
                           Icon icon) = 0;
    // Asks for a file name; returns the full path, or an empty string when the user cancelled.
    virtual QString FileName(QObject *owner, const FileRequest &request) = 0;
    // Asks for a secret (a key's passphrase), typed hidden and never kept; false when the user
    // cancelled or no one can be asked.
    virtual bool Secret(QObject *owner, const QString &text, const QString &caption, QString *answer);

    // The implementation in force; without an installed one, every box answers its first
    // button and every file request is cancelled.
    static Prompts &Instance();
    // Installs an implementation (not owned); null returns to the default. Returns the previous one.
    static Prompts *Install(Prompts *prompts);

    // The caption of the program's message boxes.
    static QString AppTitle();

    // Asks Instance() for a file name with the dialog starting in the open document's folder, else
    // in the last folder chosen for the request's kind, and remembers the chosen file's folder for
    // that kind (profile section "Folders").
    static QString AskFileName(QObject *owner, FileRequest request);
    // The folder of the document open now; empty for a document not saved yet.
    static void SetDocumentFolder(const QString &folder);
};
