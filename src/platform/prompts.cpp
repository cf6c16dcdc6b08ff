#include "platform/prompts.h"

#include "platform/qnwin.h"

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

}  // namespace

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
