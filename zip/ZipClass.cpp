#include "zip/ZipClass.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

#include "common/CommonModule.h"
#include "platform/Handle.h"
#include "platform/Text.h"

namespace {

constexpr uint16_t kVersion = 20;
constexpr uint16_t kFlagsWritten = 2;
using ZipFormat::kMethodDeflate;
constexpr uint16_t kInternalAttributes = 32;
constexpr size_t kZlibHeader = 2, kZlibTrailer = 4;
// Without Zip64 every size, offset and count must fit its record field.
constexpr uint64_t kLargestField = 0xFFFFFFFEULL;
constexpr size_t kMostEntries = 0xFFFF;

void Put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(v >> shift));
}
void PutBytes(std::vector<uint8_t>& out, const std::string& bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }

bool WriteBytes(HANDLE file, const uint8_t* bytes, size_t count, uint64_t& position) {
  while (count > 0) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(count, 16u << 20));
    DWORD written = 0;
    if (!WriteFile(file, bytes, chunk, &written, nullptr) || written != chunk) return false;
    bytes += chunk;
    count -= chunk;
    position += chunk;
  }
  return true;
}
bool WriteBytes(HANDLE file, const std::vector<uint8_t>& bytes, uint64_t& position) {
  return WriteBytes(file, bytes.data(), bytes.size(), position);
}

bool IsFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FitsAnsi(const std::wstring& text) { return platform::FromAnsi(platform::ToAnsi(text)) == text; }

// Zip lengths are 16-bit: longer texts are cut, never wrapped round.
std::string Cut16(std::string bytes) {
  if (bytes.size() > 0xFFFF) bytes.resize(0xFFFF);
  return bytes;
}

}  // namespace

ZipFile::ZipFile() {
  m_Local.Signature = ZipLocalHeader::kSignature;
  m_Local.VersionNeeded = kVersion;
  m_Local.Flags = kFlagsWritten;
  m_Local.Method = kMethodDeflate;
  m_Central.Signature = ZipCentralRecord::kSignature;
  m_Central.VersionMadeBy = kVersion;
  m_Central.VersionNeeded = kVersion;
  m_Central.Flags = kFlagsWritten;
  m_Central.Method = kMethodDeflate;
  m_Central.InternalAttributes = kInternalAttributes;
}

void ZipFile::SetBit(uint16_t& value, int bit, bool on) {
  if (on) value = static_cast<uint16_t>(value | (1u << bit));
  else value = static_cast<uint16_t>(value & ~(1u << bit));
}

bool ZipFile::IsBitSet(uint32_t value, int bit) { return (value >> bit) & 1u; }

// Day in bits 0-4, month in 5-8, years since 1980 in 9-15; dates outside what the field can hold
// are pinned to its ends.
uint16_t ZipFile::ToDosDate(const SYSTEMTIME& time) {
  uint16_t date = 0;
  if (time.wYear < 1980) return static_cast<uint16_t>(1 | 1 << 5);
  const uint32_t year = std::min<uint32_t>(time.wYear - 1980u, 127u);
  for (int bit = 0; bit < 5; ++bit) SetBit(date, bit, IsBitSet(time.wDay, bit));
  for (int bit = 0; bit < 4; ++bit) SetBit(date, 5 + bit, IsBitSet(time.wMonth, bit));
  for (int bit = 0; bit < 7; ++bit) SetBit(date, 9 + bit, IsBitSet(year, bit));
  return date;
}

// Seconds / 2 in bits 0-4, minutes in 5-10, hours in 11-15.
uint16_t ZipFile::ToDosTime(const SYSTEMTIME& time) {
  uint16_t value = 0;
  for (int bit = 0; bit < 5; ++bit) SetBit(value, bit, IsBitSet(time.wSecond / 2u, bit));
  for (int bit = 0; bit < 6; ++bit) SetBit(value, 5 + bit, IsBitSet(time.wMinute, bit));
  for (int bit = 0; bit < 5; ++bit) SetBit(value, 11 + bit, IsBitSet(time.wHour, bit));
  return value;
}

std::wstring ZipFile::GetFileName(const std::wstring& path) {
  const size_t slash = path.find_last_of(L'\\');
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// Names and comments are ANSI bytes; an entry whose texts the ANSI code page cannot hold is
// written in UTF-8 and flagged so, rather than with question marks.
void ZipFile::SetFileName(const std::wstring& name) {
  m_Name = name;
  // Zip names separate folders by "/".
  std::replace(m_Name.begin(), m_Name.end(), L'\\', L'/');
  const bool utf8 = !FitsAnsi(m_Name) || !FitsAnsi(m_Comment);
  m_NameBytes = Cut16(utf8 ? platform::ToUtf8(m_Name) : platform::ToAnsi(m_Name));
  m_CommentBytes = Cut16(utf8 ? platform::ToUtf8(m_Comment) : platform::ToAnsi(m_Comment));
  SetBit(m_Local.Flags, 11, utf8);
  m_Central.Flags = m_Local.Flags;
  m_Local.NameLength = m_Central.NameLength = static_cast<uint16_t>(m_NameBytes.size());
  m_Central.CommentLength = static_cast<uint16_t>(m_CommentBytes.size());
}

void ZipFile::SetComment(const std::wstring& comment) {
  m_Comment = comment;
  SetFileName(m_Name);
}

bool ZipFile::LoadFromFile(const std::wstring& sourcePath) {
  platform::UniqueFileHandle file(CreateFileW(sourcePath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                              nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  FILETIME written = {}, local = {};
  SYSTEMTIME time = {};
  if (!file || !GetFileTime(file.get(), nullptr, nullptr, &written) || !FileTimeToLocalFileTime(&written, &local) ||
      !FileTimeToSystemTime(&local, &time)) {
    CommonModule::DPrint(L"ZipClass: can't read the file", sourcePath);
    return false;
  }
  file.reset();
  SetFileName(GetFileName(sourcePath));
  m_Local.DosTime = m_Central.DosTime = ToDosTime(time);
  m_Local.DosDate = m_Central.DosDate = ToDosDate(time);
  return CompressFile(sourcePath);
}

// zlib's compress at the default level, kept as raw deflate: without the zlib header and the
// Adler-32 trailer. An empty file becomes the two-byte deflate stream of nothing.
bool ZipFile::CompressFile(const std::wstring& sourcePath) {
  platform::UniqueFileHandle file(CreateFileW(sourcePath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                              nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  LARGE_INTEGER size = {};
  if (!file || !GetFileSizeEx(file.get(), &size) || static_cast<uint64_t>(size.QuadPart) > kLargestField) {
    CommonModule::DPrint(L"ZipClass: can't read the file or it is too large", sourcePath);
    return false;
  }
  std::vector<uint8_t> bytes;
  std::vector<uint8_t> packed;
  try {
    bytes.resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < bytes.size()) {
      DWORD got = 0;
      const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 16u << 20));
      if (!ReadFile(file.get(), bytes.data() + done, want, &got, nullptr) || got == 0) break;
      done += got;
    }
    if (done != bytes.size()) {
      CommonModule::DPrint(L"ZipClass: can't read the file", sourcePath);
      return false;
    }
    uLongf packedLength = compressBound(static_cast<uLong>(bytes.size()));
    packed.resize(packedLength);
    if (compress(packed.data(), &packedLength, bytes.data(), static_cast<uLong>(bytes.size())) != Z_OK ||
        packedLength < kZlibHeader + kZlibTrailer) {
      CommonModule::DPrint(L"ZipClass: can't compress the file", sourcePath);
      return false;
    }
    m_Data.assign(packed.begin() + kZlibHeader, packed.begin() + (packedLength - kZlibTrailer));
  } catch (const std::bad_alloc&) {
    CommonModule::DPrint(L"ZipClass: not enough memory for the file", sourcePath);
    return false;
  }
  const uint32_t crc = static_cast<uint32_t>(crc32_z(0, bytes.data(), bytes.size()));
  m_Local.Crc32 = m_Central.Crc32 = crc;
  m_Local.CompressedSize = m_Central.CompressedSize = static_cast<uint32_t>(m_Data.size());
  m_Local.UncompressedSize = m_Central.UncompressedSize = static_cast<uint32_t>(bytes.size());
  return true;
}

bool ZipFile::WriteLocalRecord(HANDLE file, uint64_t& position) {
  if (position > kLargestField) return false;
  m_Central.LocalHeaderOffset = static_cast<uint32_t>(position);
  const ZipLocalHeader& h = m_Local;
  std::vector<uint8_t> out;
  out.reserve(ZipLocalHeader::kSize + m_NameBytes.size());
  Put32(out, h.Signature);
  Put16(out, h.VersionNeeded);
  Put16(out, h.Flags);
  Put16(out, h.Method);
  Put16(out, h.DosTime);
  Put16(out, h.DosDate);
  Put32(out, h.Crc32);
  Put32(out, h.CompressedSize);
  Put32(out, h.UncompressedSize);
  Put16(out, h.NameLength);
  Put16(out, h.ExtraLength);
  PutBytes(out, m_NameBytes);
  return WriteBytes(file, out, position) && WriteBytes(file, m_Data, position);
}

bool ZipFile::WriteCentralRecord(HANDLE file, uint64_t& position) const {
  const ZipCentralRecord& c = m_Central;
  std::vector<uint8_t> out;
  out.reserve(ZipCentralRecord::kSize + m_NameBytes.size() + m_CommentBytes.size());
  Put32(out, c.Signature);
  Put16(out, c.VersionMadeBy);
  Put16(out, c.VersionNeeded);
  Put16(out, c.Flags);
  Put16(out, c.Method);
  Put16(out, c.DosTime);
  Put16(out, c.DosDate);
  Put32(out, c.Crc32);
  Put32(out, c.CompressedSize);
  Put32(out, c.UncompressedSize);
  Put16(out, c.NameLength);
  Put16(out, c.ExtraLength);
  Put16(out, c.CommentLength);
  Put16(out, c.DiskNumberStart);
  Put16(out, c.InternalAttributes);
  Put32(out, c.ExternalAttributes);
  Put32(out, c.LocalHeaderOffset);
  PutBytes(out, m_NameBytes);
  PutBytes(out, m_CommentBytes);
  return WriteBytes(file, out, position);
}

ZipClass::ZipClass() { m_End.Signature = ZipEndRecord::kSignature; }

ZipClass::~ZipClass() = default;

int32_t ZipClass::FileCount() const { return static_cast<int32_t>(m_Files.size()); }

void ZipClass::Comment(const std::wstring& comment) {
  m_Comment = comment;
  m_CommentBytes = Cut16(platform::ToAnsi(comment));
  m_End.CommentLength = static_cast<uint16_t>(m_CommentBytes.size());
}

bool ZipClass::AddFile(const std::wstring& filePath, const std::wstring& filename, const std::wstring& comment) {
  if (!IsFile(filePath)) return false;
  try {
    auto entry = std::unique_ptr<ZipFile>(new ZipFile());
    if (!entry->LoadFromFile(filePath)) return false;
    if (!filename.empty()) entry->SetFileName(filename);
    if (!comment.empty()) entry->SetComment(comment);
    m_Files.push_back(std::move(entry));
  } catch (const std::bad_alloc&) {
    CommonModule::DPrint(L"ZipClass: not enough memory for the file", filePath);
    return false;
  }
  return true;
}

// The archive is written under a temporary name beside the target and takes the target's name
// only when complete, so a failed write never costs the file it was to replace.
bool ZipClass::WriteZip(const std::wstring& filePath, bool overwrite) {
  if (GetFileAttributesW(filePath.c_str()) != INVALID_FILE_ATTRIBUTES && !overwrite) return false;
  if (m_Files.size() > kMostEntries) {
    CommonModule::DPrint(L"ZipClass: too many entries for a zip file", filePath);
    return false;
  }
  const size_t slash = filePath.find_last_of(L'\\');
  const std::wstring folder = slash == std::wstring::npos ? std::wstring(L".") : filePath.substr(0, slash);
  static unsigned counter = 0;
  std::wstring temp;
  platform::UniqueFileHandle file;
  for (int attempt = 0; attempt < 100 && !file; ++attempt) {
    temp = folder + L"\\~ilzw" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++counter) + L".tmp";
    file.reset(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file && GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  if (!file) {
    CommonModule::DPrint(L"ZipClass: can't write the file", filePath);
    return false;
  }
  bool written = WriteAll(file.get());
  written = file.close() && written;
  if (written) {
    written = MoveFileExW(temp.c_str(), filePath.c_str(), overwrite ? MOVEFILE_REPLACE_EXISTING : 0) != 0;
  }
  if (!written) {
    CommonModule::DPrint(L"ZipClass: can't write the file", filePath);
    DeleteFileW(temp.c_str());
  }
  return written;
}

bool ZipClass::WriteAll(HANDLE file) {
  uint64_t position = 0;
  for (auto& entry : m_Files) {
    if (!entry->WriteLocalRecord(file, position)) return false;
  }
  const uint64_t central = position;
  for (const auto& entry : m_Files) {
    if (!entry->WriteCentralRecord(file, position)) return false;
  }
  if (position > kLargestField) return false;
  m_End.EntriesOnDisk = m_End.TotalEntries = static_cast<uint16_t>(m_Files.size());
  m_End.CentralDirectorySize = static_cast<uint32_t>(position - central);
  m_End.CentralDirectoryOffset = static_cast<uint32_t>(central);
  std::vector<uint8_t> out;
  Put32(out, m_End.Signature);
  Put16(out, m_End.DiskNumber);
  Put16(out, m_End.CentralDirectoryDisk);
  Put16(out, m_End.EntriesOnDisk);
  Put16(out, m_End.TotalEntries);
  Put32(out, m_End.CentralDirectorySize);
  Put32(out, m_End.CentralDirectoryOffset);
  Put16(out, m_End.CommentLength);
  PutBytes(out, m_CommentBytes);
  return WriteBytes(file, out, position);
}
