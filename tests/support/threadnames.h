// The names of this process's threads, as top -H and a debugger show them.
#pragma once

#include <QStringList>

QStringList ThreadNames();
