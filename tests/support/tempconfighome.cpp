#include "support/tempconfighome.h"

TempConfigHome::TempConfigHome() : m_previous(qgetenv("XDG_CONFIG_HOME"))
{
    qputenv("XDG_CONFIG_HOME", m_dir.path().toLocal8Bit());
}

TempConfigHome::~TempConfigHome()
{
    qputenv("XDG_CONFIG_HOME", m_previous);
}
