#pragma once
// Deleting a file or folder through a handle that stays open.
#include <windows.h>

namespace platform {

// Deletes the object the handle was opened on (with DELETE and FILE_WRITE_ATTRIBUTES access): a
// link opened as itself goes as a link, what it points to stays. It is gone once the last handle
// to it closes. A read-only attribute is cleared first. False when refused (a folder that is not
// empty, say).
bool DeleteOpenFile(HANDLE file);

}  // namespace platform
