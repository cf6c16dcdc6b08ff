// The program's images: application icon and tool bar icons from the resource file.
#pragma once

#include <QIcon>

// The application id: the name of the desktop entry, the metainfo and the icon in the icon theme.
inline constexpr char kAppId[] = "com.corvexa.Quillnet";

// Registers the resource file (needed once; it lives in a static library).
void InitAppResources();
// The application icon: the icon theme's, else the one built in.
QIcon AppIcon();
// A tool bar icon: the desktop theme's icon named `themeName` where there is one, else ours.
QIcon ToolIcon(const char *name, const char *themeName = nullptr);
