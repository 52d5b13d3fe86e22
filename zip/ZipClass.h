#pragma once
// The zip writer, counterpart of ZipExtractionClass: collects files as deflated entries and
// writes them as one archive. Each source file is read and compressed when it is added, so the
// archive holds the files as they were then.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "zip/ZipFormat.h"

class ZipClass;

// One entry; only ZipClass works with it.
class ZipFile {
 private:
  friend class ZipClass;

  ZipFile();
  bool LoadFromFile(const std::wstring& sourcePath);
  void SetFileName(const std::wstring& name);
  void SetComment(const std::wstring& comment);
  static std::wstring GetFileName(const std::wstring& path);
  bool CompressFile(const std::wstring& sourcePath);
  bool WriteLocalRecord(HANDLE file, uint64_t& position);
  bool WriteCentralRecord(HANDLE file, uint64_t& position) const;
  static uint16_t ToDosDate(const SYSTEMTIME& time);
  static uint16_t ToDosTime(const SYSTEMTIME& time);
  static void SetBit(uint16_t& value, int bit, bool on);
  static bool IsBitSet(uint32_t value, int bit);

  std::wstring m_Name;
  std::wstring m_Extra;  // always empty
  std::wstring m_Comment;
  std::vector<uint8_t> m_Data;  // raw deflate data
  ZipLocalHeader m_Local;
  ZipCentralRecord m_Central;
  std::string m_NameBytes;
  std::string m_CommentBytes;
};

class ZipClass {
 public:
  ZipClass();
  ~ZipClass();
  ZipClass(const ZipClass&) = delete;
  ZipClass& operator=(const ZipClass&) = delete;

  int32_t FileCount() const;
  // The archive comment, written after the end record.
  void Comment(const std::wstring& comment);
  // False when no file is at filePath or it cannot be read or is too large for a zip entry;
  // an empty filename keeps the source's own name, an empty comment leaves the entry without one.
  bool AddFile(const std::wstring& filePath, const std::wstring& filename = L"", const std::wstring& comment = L"");
  // False when a file is at filePath and overwrite is off (it is left alone), or the archive
  // could not be written (an existing file then stays as it was).
  bool WriteZip(const std::wstring& filePath, bool overwrite = false);

 private:
  bool WriteAll(HANDLE file);

  std::wstring m_Comment;
  ZipEndRecord m_End;
  std::vector<std::unique_ptr<ZipFile>> m_Files;
  std::string m_CommentBytes;
};
