#pragma once
// The prevention test's program from its write to its removal. The folders on the way to it and
// the file itself are held from the write until the program has ended, so that what starts is
// the file written: no folder on the way can be renamed or be a junction, and the file, shared for
// reading only, cannot be changed, replaced or deleted by anybody else meanwhile.
#include <windows.h>

#include <string>

#include "platform/HeldFolders.h"
#include "platform/Handle.h"

class TestProgram {
 public:
  // Writes bytes afresh as folder\fileName (an older file of that name is deleted first) and holds
  // it. False, with the reason in refusal, nothing held and nothing of ours left behind, when a
  // folder on the way cannot be held, the file cannot be written, or what it holds is not what was
  // written.
  bool Write(const std::wstring& folder, const std::wstring& fileName, const BYTE* bytes, DWORD size,
             std::wstring& refusal);
  const std::wstring& Path() const { return path_; }
  // Deletes the file, its folders still held, giving an ended program a moment to let it go; then
  // lets everything go. False when the file stays.
  bool Remove();

 private:
  bool Refuse(std::wstring& refusal, const std::wstring& reason, bool created);

  platform::HeldFolders folders_;
  platform::UniqueFileHandle file_;
  std::wstring path_;
};
