#include "update/cDirItem.h"

void cDirItem::SetAttributes(DWORD attributes) {
  ReadOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  Hidden = (attributes & FILE_ATTRIBUTE_HIDDEN) != 0;
  System = (attributes & FILE_ATTRIBUTE_SYSTEM) != 0;
  Directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  Archive = (attributes & FILE_ATTRIBUTE_ARCHIVE) != 0;
  Normal = (attributes & FILE_ATTRIBUTE_NORMAL) != 0;
  Temporary = (attributes & FILE_ATTRIBUTE_TEMPORARY) != 0;
  Compressed = (attributes & FILE_ATTRIBUTE_COMPRESSED) != 0;
  Offline = (attributes & FILE_ATTRIBUTE_OFFLINE) != 0;
}
