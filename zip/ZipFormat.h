#pragma once
// The zip format as both the reader (ZipExtractionClass) and the writer (ZipClass) use it: the
// three records and the field values they share.
#include <cstddef>
#include <cstdint>

namespace ZipFormat {

constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagUtf8Name = 0x0800;
constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflate = 8;
// A field of this value says the real one lies in a Zip64 record.
constexpr uint32_t kZip64Marker = 0xFFFFFFFF;
constexpr uint32_t kZip64LocatorSignature = 0x07064B50;
constexpr size_t kZip64LocatorSize = 20;

}  // namespace ZipFormat

// The three records of the zip format as the reader reads them (and the writer writes them).
struct ZipLocalHeader {
  static constexpr uint32_t kSignature = 0x04034B50;
  static constexpr size_t kSize = 30;
  uint32_t Signature = 0;
  uint16_t VersionNeeded = 0;
  uint16_t Flags = 0;
  uint16_t Method = 0;
  uint16_t DosTime = 0;
  uint16_t DosDate = 0;
  uint32_t Crc32 = 0;
  uint32_t CompressedSize = 0;
  uint32_t UncompressedSize = 0;
  uint16_t NameLength = 0;
  uint16_t ExtraLength = 0;
};

struct ZipCentralRecord {
  static constexpr uint32_t kSignature = 0x02014B50;
  static constexpr size_t kSize = 46;
  uint32_t Signature = 0;
  uint16_t VersionMadeBy = 0;
  uint16_t VersionNeeded = 0;
  uint16_t Flags = 0;
  uint16_t Method = 0;
  uint16_t DosTime = 0;
  uint16_t DosDate = 0;
  uint32_t Crc32 = 0;
  uint32_t CompressedSize = 0;
  uint32_t UncompressedSize = 0;
  uint16_t NameLength = 0;
  uint16_t ExtraLength = 0;
  uint16_t CommentLength = 0;
  uint16_t DiskNumberStart = 0;
  uint16_t InternalAttributes = 0;
  uint32_t ExternalAttributes = 0;
  uint32_t LocalHeaderOffset = 0;
};

struct ZipEndRecord {
  static constexpr uint32_t kSignature = 0x06054B50;
  static constexpr size_t kSize = 22;
  uint32_t Signature = 0;
  uint16_t DiskNumber = 0;
  uint16_t CentralDirectoryDisk = 0;
  uint16_t EntriesOnDisk = 0;
  uint16_t TotalEntries = 0;
  uint32_t CentralDirectorySize = 0;
  uint32_t CentralDirectoryOffset = 0;
  uint16_t CommentLength = 0;
};
