#include "zip/ZipExtractionClass.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <cwchar>

#include "platform/Forms.h"
#include "platform/OpenFileRename.h"
#include "platform/Text.h"

namespace {

using ZipFormat::kFlagEncrypted;
using ZipFormat::kFlagUtf8Name;
using ZipFormat::kMethodDeflate;
using ZipFormat::kMethodStored;
using ZipFormat::kZip64LocatorSignature;
using ZipFormat::kZip64LocatorSize;
using ZipFormat::kZip64Marker;
constexpr size_t kInflateChunk = 256 * 1024;
constexpr DWORD kEventsIntervalMs = 50;
// The archive is held in memory whole; anything larger is no update package.
constexpr ULONGLONG kLargestArchive = 1ULL << 30;

uint16_t Read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Read32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

std::wstring FileNamePart(const std::wstring& path) {
  size_t slash = path.find_last_of(L'\\');
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring FolderPart(const std::wstring& path) {
  size_t slash = path.find_last_of(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

bool FileExists(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A name part that climbs out (".." and the dotted and blank forms Windows trims to it), holds a
// character Windows refuses or that selects a drive or stream, or names a device.
bool IsUnsafeNamePart(const std::wstring& part) {
  if (part.find_first_not_of(L". ") == std::wstring::npos) return true;
  for (wchar_t c : part) {
    if (c < 32 || std::wcschr(L"<>:\"|?*", c)) return true;
  }
  std::wstring base = platform::Upper(part.substr(0, part.find(L'.')));
  while (!base.empty() && base.back() == L' ') base.pop_back();
  for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"}) {
    if (base == device) return true;
  }
  return base.size() == 4 && (base.compare(0, 3, L"COM") == 0 || base.compare(0, 3, L"LPT") == 0) &&
         base[3] >= L'0' && base[3] <= L'9';
}

// The entry name ("\"-separated) as a path below the destination folder; false when it is not one.
bool SafeRelativePath(const std::wstring& name, std::wstring& relative) {
  relative.clear();
  if (name.empty() || name[0] == L'\\') return false;
  size_t start = 0;
  while (start < name.size()) {
    size_t end = name.find(L'\\', start);
    if (end == std::wstring::npos) end = name.size();
    std::wstring part = name.substr(start, end - start);
    if (!part.empty() && part != L".") {
      if (IsUnsafeNamePart(part)) return false;
      if (!relative.empty()) relative += L'\\';
      relative += part;
    }
    start = end + 1;
  }
  return true;
}

}  // namespace

struct ZipExtractionClass::Entry {
  ZipCentralRecord central;
  std::wstring name;      // as stored, "/" turned into "\"
  std::wstring relative;  // the same, checked and tidied, below the destination
  bool folder = false;
  size_t dataOffset = 0;
};

struct ZipExtractionClass::Staged {
  std::wstring temp;  // empty once in place
  std::wstring target;
  bool placed;  // a new file put in place already: a failed archive takes it away again
  std::wstring backup = {};  // the file it replaced, kept until every file is in place
};

ZipExtractionClass::~ZipExtractionClass() {
  try {
    CloseZip();
  } catch (...) {
  }
}

void ZipExtractionClass::RaiseStatus(const std::wstring& text) {
  if (Status) Status(text);
}

void ZipExtractionClass::RaiseError(int32_t number, const std::wstring& description) {
  if (ZipError) ZipError(number, description);
}

std::wstring ZipExtractionClass::ZLibVersion() {
  const char* version = zlibVersion();
  if (!version || !*version) {
    RaiseError(kErrZlibNotInstalled, L"Zlib is not installed");
    return {};
  }
  return platform::FromAnsi(version);
}

bool ZipExtractionClass::OpenZip(const std::wstring& zipPath) {
  RaiseStatus(L"Opening Zip");
  CloseZip();
  if (!FileExists(zipPath)) {
    RaiseError(kErrFileMissing, L"The file " + zipPath + L" doesn't exist");
    return false;
  }
  m_ZipPath = zipPath;
  m_FileNumber.reset(CreateFileW(zipPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  LARGE_INTEGER size = {};
  bool read = m_FileNumber && GetFileSizeEx(m_FileNumber.get(), &size) &&
              static_cast<ULONGLONG>(size.QuadPart) <= kLargestArchive;
  if (read) {
    try {
      m_Bytes.resize(static_cast<size_t>(size.QuadPart));
    } catch (...) {
      read = false;
    }
  }
  for (size_t done = 0; read && done < m_Bytes.size();) {
    DWORD got = 0;
    DWORD want = static_cast<DWORD>(std::min<size_t>(m_Bytes.size() - done, 64u << 20));
    read = ReadFile(m_FileNumber.get(), m_Bytes.data() + done, want, &got, nullptr) && got > 0;
    done += got;
  }
  if (!read) {
    m_Bytes.clear();
    RaiseError(kErrCantRead, L"Can't read the file " + zipPath);
    return false;
  }
  size_t position = FindEndRecord();
  if (position == 0) {
    RaiseError(kErrNotAZip, L"The file " + zipPath + L" is not a Zip file");
    return false;
  }
  m_EndPosition = position;
  RaiseStatus(L"Zip Opened");
  return true;
}

// The last end record from the file's end whose comment and central directory lie inside the
// file (a comment may itself hold the signature); 1-based, 0 when there is none.
size_t ZipExtractionClass::FindEndRecord() const {
  const size_t size = m_Bytes.size();
  if (size < ZipEndRecord::kSize) return 0;
  for (size_t i = size - ZipEndRecord::kSize + 1; i-- > 0;) {
    const uint8_t* p = m_Bytes.data() + i;
    if (Read32(p) != ZipEndRecord::kSignature) continue;
    const uint64_t commentEnd = i + ZipEndRecord::kSize + Read16(p + 20);
    const uint32_t offset = Read32(p + 16), length = Read32(p + 12);
    const bool zip64 = offset == kZip64Marker || length == kZip64Marker;  // refused later, with its own error
    if (commentEnd <= size && (zip64 || static_cast<uint64_t>(offset) + length <= i)) return i + 1;
  }
  return 0;
}

void ZipExtractionClass::CloseZip() {
  m_EndPosition = 0;
  m_Bytes.clear();
  m_Bytes.shrink_to_fit();
  if (m_FileNumber) {
    m_FileNumber.reset();
    RaiseStatus(L"Zip Closed");
  }
}

void ZipExtractionClass::ReadEndRecord() {
  const uint8_t* p = m_Bytes.data() + (m_EndPosition - 1);
  m_End.Signature = Read32(p);
  m_End.DiskNumber = Read16(p + 4);
  m_End.CentralDirectoryDisk = Read16(p + 6);
  m_End.EntriesOnDisk = Read16(p + 8);
  m_End.TotalEntries = Read16(p + 10);
  m_End.CentralDirectorySize = Read32(p + 12);
  m_End.CentralDirectoryOffset = Read32(p + 16);
  m_End.CommentLength = Read16(p + 20);
}

bool ZipExtractionClass::ReadCentralRecord(size_t position) {
  if (position + ZipCentralRecord::kSize > m_EndPosition - 1) return false;
  const uint8_t* p = m_Bytes.data() + position;
  ZipCentralRecord& c = m_Central;
  c.Signature = Read32(p);
  if (c.Signature != ZipCentralRecord::kSignature) return false;
  c.VersionMadeBy = Read16(p + 4);
  c.VersionNeeded = Read16(p + 6);
  c.Flags = Read16(p + 8);
  c.Method = Read16(p + 10);
  c.DosTime = Read16(p + 12);
  c.DosDate = Read16(p + 14);
  c.Crc32 = Read32(p + 16);
  c.CompressedSize = Read32(p + 20);
  c.UncompressedSize = Read32(p + 24);
  c.NameLength = Read16(p + 28);
  c.ExtraLength = Read16(p + 30);
  c.CommentLength = Read16(p + 32);
  c.DiskNumberStart = Read16(p + 34);
  c.InternalAttributes = Read16(p + 36);
  c.ExternalAttributes = Read32(p + 38);
  c.LocalHeaderOffset = Read32(p + 42);
  return position + ZipCentralRecord::kSize + c.NameLength + c.ExtraLength + c.CommentLength <= m_EndPosition - 1;
}

// Reads the whole central directory; nothing is written before every entry has passed.
bool ZipExtractionClass::ReadEntries(std::vector<Entry>& entries) {
  const size_t endOffset = m_EndPosition - 1;
  const bool zip64 = m_End.TotalEntries == 0xFFFF || m_End.CentralDirectoryOffset == kZip64Marker ||
                     m_End.CentralDirectorySize == kZip64Marker;
  if (zip64 && endOffset >= kZip64LocatorSize &&
      Read32(m_Bytes.data() + endOffset - kZip64LocatorSize) == kZip64LocatorSignature) {
    RaiseError(kErrUnsupportedEntry, L"The Zip64 format of " + m_ZipPath + L" is unsupported");
    return false;
  }
  size_t position = m_End.CentralDirectoryOffset;
  entries.reserve(m_End.TotalEntries);
  for (unsigned i = 0; i < m_End.TotalEntries; ++i) {
    if (!ReadCentralRecord(position)) {
      RaiseError(kErrDamaged, L"The Zip file " + m_ZipPath + L" is damaged");
      return false;
    }
    Entry entry;
    entry.central = m_Central;
    std::string raw(reinterpret_cast<const char*>(m_Bytes.data() + position + ZipCentralRecord::kSize),
                    m_Central.NameLength);
    entry.name = (m_Central.Flags & kFlagUtf8Name) ? platform::FromUtf8(raw) : platform::FromAnsi(raw);
    for (auto& c : entry.name) {
      if (c == L'/') c = L'\\';
    }
    position += ZipCentralRecord::kSize + m_Central.NameLength + m_Central.ExtraLength + m_Central.CommentLength;
    if (!CheckEntry(entry)) return false;
    entries.push_back(std::move(entry));
  }
  return true;
}

bool ZipExtractionClass::CheckEntry(Entry& entry) {
  const ZipCentralRecord& c = entry.central;
  entry.folder = !entry.name.empty() && entry.name.back() == L'\\';
  if (!SafeRelativePath(entry.name, entry.relative) || (!entry.folder && entry.relative.empty())) {
    RaiseError(kErrUnsafeName, L"The entry name " + entry.name + L" is unsafe");
    return false;
  }
  if (entry.folder) return true;
  if (c.Flags & kFlagEncrypted) {
    RaiseError(kErrUnsupportedEntry, L"The file " + entry.name + L" is encrypted");
    return false;
  }
  if (c.CompressedSize == kZip64Marker || c.UncompressedSize == kZip64Marker || c.LocalHeaderOffset == kZip64Marker) {
    RaiseError(kErrUnsupportedEntry, L"The Zip64 format of " + entry.name + L" is unsupported");
    return false;
  }
  if (c.Method != kMethodStored && c.Method != kMethodDeflate) {
    RaiseError(kErrUnsupportedMethod, L"The compression Method for " + entry.name + L" is unsupported");
    return false;
  }
  // The local header only tells where the data start; sizes and CRC are the central record's,
  // because an entry written with a data descriptor has zeros there.
  const uint64_t local = c.LocalHeaderOffset;
  bool sound = local + ZipLocalHeader::kSize <= m_Bytes.size() &&
               Read32(m_Bytes.data() + local) == ZipLocalHeader::kSignature;
  if (sound) {
    const uint8_t* p = m_Bytes.data() + local;
    const uint64_t data = local + ZipLocalHeader::kSize + Read16(p + 26) + Read16(p + 28);
    sound = data + c.CompressedSize <= m_Bytes.size() &&
            (c.Method != kMethodStored || c.CompressedSize == c.UncompressedSize);
    entry.dataOffset = static_cast<size_t>(data);
  }
  if (!sound) RaiseError(kErrDamaged, L"The Zip file " + m_ZipPath + L" is damaged");
  return sound;
}

bool ZipExtractionClass::Extract(const std::wstring& folderPath, bool preservePath, bool overwrite) {
  if (ZLibVersion().empty()) return false;
  RaiseStatus(L"Extracting Files");
  if (m_EndPosition == 0) {
    RaiseError(kErrNoZipOpen, L"There is no Zip File Open");
    return false;
  }
  if (!FolderExists(folderPath) && !CreateDirectoryW(folderPath.c_str(), nullptr)) {
    RaiseError(kErrCantCreateFolder, L"Can't create the folder " + folderPath);
    return false;
  }
  ReadEndRecord();
  if (m_End.DiskNumber != m_End.CentralDirectoryDisk) {
    RaiseStatus(L"Extraction Complete");
    return false;
  }
  std::wstring folder = folderPath;
  while (!folder.empty() && folder.back() == L'\\') folder.pop_back();

  std::vector<Staged> staged;
  std::vector<std::wstring> createdFolders;
  bool done = false;
  try {
    done = ExtractAll(folder, preservePath, overwrite, staged, createdFolders);
  } catch (...) {
    done = false;
  }
  m_Folders.clear();
  if (!done) {
    // Every file goes back to what it was: new ones away, replaced ones under their names again.
    for (auto it = staged.rbegin(); it != staged.rend(); ++it) {
      if (!it->temp.empty()) DeleteFileW(it->temp.c_str());
      if (it->placed) DeleteFileW(it->target.c_str());
      if (!it->backup.empty() && !MoveFileExW(it->backup.c_str(), it->target.c_str(), MOVEFILE_REPLACE_EXISTING))
        RaiseError(kErrCantRemove, L"Can't restore the file " + it->target);
    }
    for (auto it = createdFolders.rbegin(); it != createdFolders.rend(); ++it) RemoveDirectoryW(it->c_str());
    return false;
  }
  RaiseStatus(L"Extraction Complete");
  return true;
}

bool ZipExtractionClass::ExtractAll(const std::wstring& folder, bool preservePath, bool overwrite,
                                    std::vector<Staged>& staged, std::vector<std::wstring>& createdFolders) {
  std::vector<Entry> entries;
  if (!ReadEntries(entries)) return false;
  m_Folders.clear();
  m_Folders.insert(platform::Upper(folder));

  const size_t total = entries.size();
  DWORD lastEvents = GetTickCount() - kEventsIntervalMs;
  for (size_t i = 0; i < total; ++i) {
    const Entry& entry = entries[i];
    if (entry.folder) {
      if (preservePath && !CreateFolderPath(folder, entry.relative, createdFolders)) return false;
    } else {
      const std::wstring outName = preservePath ? entry.relative : FileNamePart(entry.relative);
      if (preservePath && !CreateFolderPath(folder, FolderPart(outName), createdFolders)) return false;
      RaiseStatus(L"Extracting ...\\" + outName);
      const std::wstring target = folder + L"\\" + outName;
      if (!overwrite && GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES) {
        RaiseError(kErrAlreadyExists, L"The file " + target + L" already exists");
      } else {
        if (!ExtractEntry(entry, target, staged)) return false;
      }
    }
    // Window messages run after an entry, but not more often than a repaint needs.
    if (GetTickCount() - lastEvents >= kEventsIntervalMs) {
      platform::DoEvents();
      lastEvents = GetTickCount();
    }
    if (Progress) {
      int32_t percent = static_cast<int32_t>(std::nearbyint(static_cast<double>(i + 1) / total * 100.0));
      bool cancel = false;
      Progress(percent, cancel);
      if (cancel) return false;
    }
  }

  // Every entry has passed: only now are the old files replaced, each kept under a backup name
  // until the last is in place, so that a file that cannot be replaced puts every other one back.
  for (auto& s : staged) {
    if (s.temp.empty()) continue;
    const std::wstring backup = s.temp.substr(0, s.temp.size() - 4) + L".bak";
    if (GetFileAttributesW(s.target.c_str()) != INVALID_FILE_ATTRIBUTES) {
      if (!MoveFileExW(s.target.c_str(), backup.c_str(), 0)) {
        RaiseError(kErrCantRemove, L"Can't remove the file " + s.target);
        return false;
      }
      s.backup = backup;
    }
    if (!MoveFileExW(s.temp.c_str(), s.target.c_str(), 0)) {
      RaiseError(kErrCantRemove, L"Can't remove the file " + s.target);
      return false;
    }
    s.temp.clear();
    s.placed = true;
  }
  for (auto& s : staged) {
    if (!s.backup.empty() && !DeleteFileW(s.backup.c_str()))
      MoveFileExW(s.backup.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);  // still in use: goes at the next start
    s.backup.clear();
  }
  return true;
}

bool ZipExtractionClass::CreateFolderPath(const std::wstring& folder, const std::wstring& relativeFolder,
                                          std::vector<std::wstring>& createdFolders) {
  if (relativeFolder.empty()) return true;
  if (m_Folders.count(platform::Upper(folder + L"\\" + relativeFolder))) return true;
  std::wstring path = folder;
  for (const auto& part : platform::Split(relativeFolder, L"\\")) {
    path += L"\\" + part;
    const std::wstring key = platform::Upper(path);
    if (m_Folders.count(key)) continue;
    if (!FolderExists(path)) {
      if (!CreateDirectoryW(path.c_str(), nullptr)) {
        RaiseError(kErrCantCreateFolder, L"Can't create the folder " + path);
        return false;
      }
      createdFolders.push_back(path);
    }
    m_Folders.insert(key);
  }
  return true;
}

// Writes the entry to a fresh temporary file beside its target and checks its CRC-32. A file that
// is new to the folder takes its name at once; one that replaces an existing file waits until
// every entry has passed.
bool ZipExtractionClass::ExtractEntry(const Entry& entry, const std::wstring& target, std::vector<Staged>& staged) {
  static unsigned counter = 0;
  const std::wstring folder = FolderPart(target);
  const bool replaces = GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES;
  platform::UniqueFileHandle file;
  std::wstring temp;
  for (int attempt = 0; attempt < 100 && !file; ++attempt) {
    temp = folder + L"\\~ilz" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++counter) + L".tmp";
    file.reset(CreateFileW(temp.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file && GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  if (!file) {
    RaiseError(kErrCantWrite, L"Can't write the file " + target);
    return false;
  }
  staged.push_back({temp, target, false});

  uint32_t crc = 0;
  bool written = true;
  if (entry.central.Method == kMethodStored) {
    const uint8_t* data = m_Bytes.data() + entry.dataOffset;
    crc = static_cast<uint32_t>(crc32_z(0, data, entry.central.CompressedSize));
    written = WriteBytesToFile(file.get(), data, entry.central.CompressedSize, target);
  } else {
    written = InflateData(entry, file.get(), crc, target);
  }
  if (!written) return false;
  if (crc != entry.central.Crc32) {
    RaiseError(kErrChecksum, L"Data checksum error in " + target);
    return false;
  }
  if (!replaces && platform::RenameOpenFile(file.get(), target)) {
    staged.back().temp.clear();
    staged.back().placed = true;
  }
  if (!file.close()) {
    RaiseError(kErrCantWrite, L"Can't write the file " + target);
    return false;
  }
  return true;
}

// Inflates the raw deflate data into the file, exactly the central record's size, and sums
// the CRC-32 on the way.
bool ZipExtractionClass::InflateData(const Entry& entry, HANDLE file, uint32_t& crc, const std::wstring& target) {
  if (m_Buffer.size() < kInflateChunk) m_Buffer.resize(kInflateChunk);
  z_stream stream = {};
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) {
    RaiseError(kErrChecksum, L"Data checksum error in " + target);
    return false;
  }
  stream.next_in = const_cast<Bytef*>(m_Bytes.data() + entry.dataOffset);
  stream.avail_in = entry.central.CompressedSize;
  uLong sum = crc32(0, Z_NULL, 0);
  uint64_t produced = 0;
  int code = Z_OK;
  bool sound = true;
  while (sound && code != Z_STREAM_END) {
    stream.next_out = m_Buffer.data();
    stream.avail_out = static_cast<uInt>(m_Buffer.size());
    code = inflate(&stream, Z_NO_FLUSH);
    const size_t got = m_Buffer.size() - stream.avail_out;
    produced += got;
    if ((code != Z_OK && code != Z_STREAM_END) || produced > entry.central.UncompressedSize) {
      RaiseError(kErrChecksum, L"Data checksum error in " + target);
      sound = false;
    } else if (got) {
      sum = crc32_z(sum, m_Buffer.data(), got);
      sound = WriteBytesToFile(file, m_Buffer.data(), got, target);
    }
  }
  inflateEnd(&stream);
  if (sound && produced != entry.central.UncompressedSize) {
    RaiseError(kErrChecksum, L"Data checksum error in " + target);
    sound = false;
  }
  crc = static_cast<uint32_t>(sum);
  return sound;
}

bool ZipExtractionClass::WriteBytesToFile(HANDLE file, const uint8_t* bytes, size_t count, const std::wstring& target) {
  while (count > 0) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(count, 16u << 20));
    DWORD written = 0;
    if (!WriteFile(file, bytes, chunk, &written, nullptr) || written != chunk) {
      RaiseError(kErrCantWrite, L"Can't write the file " + target);
      return false;
    }
    bytes += chunk;
    count -= chunk;
  }
  return true;
}
