// The view's friend in the tests: the private entries that no user action reaches.
#pragma once

#include "session/cqnview.h"

class SessionProbe
{
public:
    // Opens a tool window as the view's own commands do, even where the enable rule would not.
    static void OpenToolWindow(CQnView *view, ToolWindowKind kind) { view->OpenToolWindow(kind); }
    static int DecimalValue(const QString &text) { return CQnView::DecimalValue(text); }
    static QString ConnectLogText(int type, const QString &address, int port, int ownPort)
    {
        return CQnView::ConnectLogText(static_cast<ConnectionType>(type), address, port, ownPort);
    }
};
