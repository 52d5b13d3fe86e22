#include "update/cDirList.h"

#include "common/CommonModule.h"

cDirList::ItemPtr cDirList::Add(DWORD lAttrib, DATE dtCreationTime, DATE dtLastAccessTime, DATE dtLastWriteTime,
                                LONG lFileSize, const std::wstring& sFilename) {
  auto item = std::make_shared<cDirItem>();
  item->SetAttributes(lAttrib);
  item->CreationTime = dtCreationTime;
  item->LastAccessTime = dtLastAccessTime;
  item->LastWriteTime = dtLastWriteTime;
  item->FileSize = lFileSize;
  item->Filename = sFilename;
  if (Item(sFilename)) {
    CommonModule::DPrint(L"cDirList.Add: duplicate name ", sFilename);
  } else {
    items_.push_back(item);
  }
  return item;
}

void cDirList::Clear() { items_.clear(); }

cDirList::ItemPtr cDirList::Item(LONG index) const {
  if (index < 1 || index > Count()) return nullptr;
  return items_[static_cast<size_t>(index - 1)];
}

cDirList::ItemPtr cDirList::Item(const std::wstring& filename) const {
  for (const auto& item : items_) {
    if (lstrcmpiW(item->Filename.c_str(), filename.c_str()) == 0) return item;
  }
  return nullptr;
}
