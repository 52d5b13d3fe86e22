#pragma once
// What a delete fallback changes before its retry, taken down first so that it can be put back
// when the delete still fails: the owner and access list of files, folders and registry keys,
// and the attributes of files and folders. Nothing here logs or throws.
#include <windows.h>

#include <string>
#include <vector>

namespace SavedSecurity {

// Whether a refused delete was a refusal of rights: only then may a fallback widen anything.
// A sharing violation (another program holds the file) is not.
inline bool IsRefusalOfRights(DWORD error) { return error == ERROR_ACCESS_DENIED; }

// Files and folders, given as the Windows calls take them (a long path in its "\\?\" form).
class FileStates {
 public:
  // Takes down the item's owner, access list and attributes; false when they cannot be read.
  bool Add(const std::wstring& path);
  // Every item that still exists gets back what it had, the last added first.
  void PutBack() const;
  bool Empty() const { return items_.empty(); }

 private:
  struct Item {
    std::wstring path;
    std::vector<BYTE> descriptor;  // self-relative: owner and access list
    DWORD attributes = 0;
  };
  std::vector<Item> items_;
};

// Registry keys, each opened in the view given (KEY_WOW64_64KEY, KEY_WOW64_32KEY or 0).
class KeyStates {
 public:
  // Takes down the key's owner and access list, once per key; false when they cannot be read.
  bool Add(HKEY root, const std::wstring& keyPath, REGSAM viewFlag);
  // The key and every subkey that can be listed, the key first.
  void AddTree(HKEY root, const std::wstring& keyPath, REGSAM viewFlag);
  // Every key that still exists gets back what it had, the last added (the deepest) first.
  void PutBack() const;
  bool Empty() const { return items_.empty(); }

 private:
  struct Item {
    HKEY root = nullptr;
    std::wstring keyPath;
    REGSAM viewFlag = 0;
    std::vector<BYTE> descriptor;
  };
  std::vector<Item> items_;
};

}  // namespace SavedSecurity
