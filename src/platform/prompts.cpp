#include "platform/prompts.h"

#include "platform/cinifile.h"
#include "platform/qnwin.h"

#include <QDir>
#include <QFileInfo>

namespace {

// Used while no user interface is installed (a tool without windows): answers without asking.
class SilentPrompts : public Prompts
{
public:
    int MessageBox(QObject *, const QString &, const QString &, Buttons buttons, Icon) override
    {
        return (buttons == YesNo || buttons == YesNoCancel) ? IDYES : IDOK;
    }
    QString FileName(QObject *, const FileRequest &) override { return {}; }
};

SilentPrompts g_silent;
Prompts *g_current = nullptr;
QString g_documentFolder;

const QString kFolderSection = QStringLiteral("Folders");

// The document's folder, else the last folder chosen for `kind`; empty: the dialog's own choice.
QString StartFolder(const QString &kind)
{
    if (!g_documentFolder.isEmpty() && QDir(g_documentFolder).exists())
        return g_documentFolder;
    if (kind.isEmpty())
        return {};
    const QString last = CIniFile(CIniFile::ProfilePath()).GetString(kFolderSection, kind, QString());
    return !last.isEmpty() && QDir(last).exists() ? last : QString();
}

}  // namespace

bool Prompts::Secret(QObject *, const QString &, const QString &, QString *)
{
    return false;
}

Prompts::~Prompts() = default;

Prompts &Prompts::Instance()
{
    return g_current ? *g_current : static_cast<Prompts &>(g_silent);
}

Prompts *Prompts::Install(Prompts *prompts)
{
    Prompts *previous = g_current;
    g_current = prompts;
    return previous;
}

QString Prompts::AppTitle()
{
    return QStringLiteral("Quillnet");
}

void Prompts::SetDocumentFolder(const QString &folder)
{
    g_documentFolder = folder;
}

QString Prompts::AskFileName(QObject *owner, FileRequest request)
{
    if (request.initialFolder.isEmpty())
        request.initialFolder = StartFolder(request.kind);
    const QString path = Instance().FileName(owner, request);
    if (!path.isEmpty() && !request.kind.isEmpty()) {
        const QString folder = QFileInfo(path).absolutePath();
        CIniFile profile(CIniFile::ProfilePath());
        if (profile.GetString(kFolderSection, request.kind, QString()) != folder)
            profile.WriteString(kFolderSection, request.kind, folder);
    }
    return path;
}
