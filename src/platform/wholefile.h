// Writing a file whole: every byte arrives, or the file that was there stays as it was.
#pragma once

#include <QByteArrayView>

class QString;

// Writes `bytes` as the whole content of `path`. A regular file (or a new one) is written to a
// temporary file beside it, synchronised and renamed over it, keeping the old file's permissions; in
// a folder the user may not write, a file the user may write is written in place after its room is
// reserved, so a full disk still leaves it untouched. Any other path (a terminal, /dev/stdout, a pipe)
// is written straight. On failure returns false with the error number in `*errorNumber`.
bool WriteWholeFile(const QString &path, QByteArrayView bytes, int *errorNumber = nullptr);
