#pragma once
// The program's own zip reader: it reads the archive's records itself and hands only the deflate
// data to zlib. Every entry's name and records are checked before anything is written; each file
// is written under a temporary name and takes its place only after its CRC-32 matched, existing
// files being replaced only once every entry has passed. One failing entry fails the archive, and
// what it had written is taken away again, so a damaged or hostile archive changes nothing.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "platform/Handle.h"
#include "zip/ZipFormat.h"

class ZipExtractionClass {
 public:
  // ZipError numbers.
  enum : int32_t {
    kErrZlibNotInstalled = 1,
    kErrNotAZip = 2,
    kErrNoZipOpen = 3,
    kErrUnsupportedMethod = 4,
    kErrChecksum = 5,         // CRC-32 mismatch or deflate data that do not inflate
    kErrDamaged = 6,          // records that are cut short or point outside the archive
    kErrCantWrite = 7,
    kErrUnsupportedEntry = 8, // encrypted or Zip64 entries
    kErrCantRead = 9,
    kErrFileMissing = 10,
    kErrAlreadyExists = 11,
    kErrCantRemove = 12,
    kErrCantCreateFolder = 13,
    kErrUnsafeName = 14,      // absolute, drive, ".." or device names: the archive is refused
  };

  // Events; a handler left empty is not called.
  std::function<void(int32_t& percent, bool& cancel)> Progress;
  std::function<void(const std::wstring& text)> Status;
  std::function<void(int32_t number, const std::wstring& description)> ZipError;

  ZipExtractionClass() = default;
  ~ZipExtractionClass();
  ZipExtractionClass(const ZipExtractionClass&) = delete;
  ZipExtractionClass& operator=(const ZipExtractionClass&) = delete;

  bool OpenZip(const std::wstring& zipPath);
  // Raises Status "Zip Closed" when a file was open; the destructor does the same, so handlers
  // must outlive the object.
  void CloseZip();
  // True only when every entry was extracted (or, without overwrite, left alone) without a cancel.
  bool Extract(const std::wstring& folderPath, bool preservePath, bool overwrite);
  std::wstring ZLibVersion();

 private:
  struct Entry;
  struct Staged;

  size_t FindEndRecord() const;
  void ReadEndRecord();
  bool ReadCentralRecord(size_t position);
  bool ReadEntries(std::vector<Entry>& entries);
  bool CheckEntry(Entry& entry);
  bool ExtractAll(const std::wstring& folder, bool preservePath, bool overwrite, std::vector<Staged>& staged,
                  std::vector<std::wstring>& createdFolders);
  bool CreateFolderPath(const std::wstring& folder, const std::wstring& relativeFolder,
                        std::vector<std::wstring>& createdFolders);
  bool ExtractEntry(const Entry& entry, const std::wstring& target, std::vector<Staged>& staged);
  bool InflateData(const Entry& entry, HANDLE file, uint32_t& crc, const std::wstring& target);
  bool WriteBytesToFile(HANDLE file, const uint8_t* bytes, size_t count, const std::wstring& target);
  void RaiseStatus(const std::wstring& text);
  void RaiseError(int32_t number, const std::wstring& description);

  platform::UniqueFileHandle m_FileNumber;
  ZipCentralRecord m_Central;
  ZipEndRecord m_End;
  size_t m_EndPosition = 0;  // 1-based position of the end record; 0 = no zip open
  std::vector<uint8_t> m_Bytes;         // the whole archive
  std::vector<uint8_t> m_Buffer;        // inflate output, reused for every entry
  std::set<std::wstring> m_Folders;     // folders known to exist during one Extract (upper case)
  std::wstring m_ZipPath;
};
