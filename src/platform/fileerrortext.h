// The Japanese text for why a file could not be opened, written or renamed.
#pragma once

class QString;

// The program's own text for the common causes (no space, no permission, a read-only file system, a
// missing file or folder), the system's text for any other error number.
QString FileErrorText(int errorNumber);
