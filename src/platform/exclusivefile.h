// Opening a file for writing that no other holder writes at the same time.
#pragma once

class QFile;
class QString;

// Opens `file` on `path` write-only and unbuffered: created when missing, locked exclusively, then
// emptied when it is a regular file. A named pipe without a reader fails at once. The lock is taken
// before the file is cut, so a file that another holder has locked is neither opened nor emptied.
// False when any step fails (`file` stays closed). The lock lasts as long as the file is open.
bool OpenExclusive(QFile &file, const QString &path);
