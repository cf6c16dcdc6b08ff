// The program's images: application icon and tool bar icons from the resource file.
#pragma once

#include <QIcon>

// Registers the resource file (needed once; it lives in a static library).
void InitAppResources();
// The application icon.
QIcon AppIcon();
// A tool bar icon: the desktop theme's icon named `themeName` where there is one, else ours.
QIcon ToolIcon(const char *name, const char *themeName = nullptr);
