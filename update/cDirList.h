#pragma once
// An ordered list of remote folder entries, also reachable by file name (any case).
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "update/cDirItem.h"

class cDirList {
 public:
  using ItemPtr = std::shared_ptr<cDirItem>;

  // Adds an entry and returns it. A name already in the list (any case) keeps the first entry;
  // the new one is returned but not listed.
  ItemPtr Add(DWORD lAttrib, DATE dtCreationTime, DATE dtLastAccessTime, DATE dtLastWriteTime, LONG lFileSize,
              const std::wstring& sFilename);
  void Clear();
  ItemPtr Item(LONG index) const;  // 1-based; none when out of range
  ItemPtr Item(const std::wstring& filename) const;  // none when absent
  LONG Count() const { return static_cast<LONG>(items_.size()); }

  std::vector<ItemPtr>::const_iterator begin() const { return items_.begin(); }
  std::vector<ItemPtr>::const_iterator end() const { return items_.end(); }

 private:
  std::vector<ItemPtr> items_;
};
