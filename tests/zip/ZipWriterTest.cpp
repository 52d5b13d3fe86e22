// The zip writer: record values, archives read back by the program's own reader, refusals and
// replacing. ZipWriterForUnzip writes archives that check_written_zips.py then tests with
// Debian's unzip and Python's zipfile.
#include <windows.h>

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Text.h"
#include "tests/support/ProductState.h"
#include "tests/support/TestSupport.h"
#include "zip/ZipClass.h"
#include "zip/ZipExtractionClass.h"

using testsupport::ReadFileBytes;
using testsupport::ScratchDir;
using testsupport::WriteTextFile;

namespace {

uint16_t At16(const std::string& b, size_t i) {
  return static_cast<uint16_t>(static_cast<uint8_t>(b[i]) | static_cast<uint8_t>(b[i + 1]) << 8);
}
uint32_t At32(const std::string& b, size_t i) { return At16(b, i) | static_cast<uint32_t>(At16(b, i + 2)) << 16; }

std::string Random(size_t size, uint32_t seed) {
  std::string bytes(size, '\0');
  for (auto& c : bytes) {
    seed = seed * 1103515245u + 12345u;
    c = static_cast<char>(seed >> 16);
  }
  return bytes;
}

std::string Repetitive(size_t size) {
  std::string bytes;
  for (int i = 0; bytes.size() < size; ++i) bytes += "update definitions line " + std::to_string(i % 97) + "\r\n";
  bytes.resize(size);
  return bytes;
}

bool SetLocalWriteTime(const std::wstring& path, WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
  SYSTEMTIME local = {year, month, 0, day, hour, minute, second, 0};
  FILETIME localTime, utc;
  platform::UniqueFileHandle file(
      CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  return file && SystemTimeToFileTime(&local, &localTime) && LocalFileTimeToFileTime(&localTime, &utc) &&
         SetFileTime(file.get(), nullptr, nullptr, &utc);
}

struct Source {
  const wchar_t* relative;  // below the source folder
  std::string bytes;
  const wchar_t* entryName;  // empty: the file's own name
  const wchar_t* comment;
};

std::vector<Source> Sources() {
  return {
      {L"readme.txt", std::string(testsupport::kProductNameA) + " update\r\n", L"", L"the read-me"},
      {L"random.bin", Random(300000, 7), L"", L""},
      {L"defs.txt", Repetitive(1500000), L"", L""},
      {L"empty.txt", "", L"", L""},
      {L"one\\same.txt", "first of two\r\n", L"", L""},
      {L"two\\same.txt", "second of two\r\n", L"", L""},
      {L"renamed.src", "renamed on the way in\r\n", L"sub\\inner.txt", L""},
      {L"greek.txt", "omega\r\n", L"\u03A9mega.txt", L"\u03A9 comment"},
  };
}

// Writes the sources under folder and adds each to zip.
void AddSources(const std::wstring& folder, ZipClass& zip) {
  CreateDirectoryW((folder + L"one").c_str(), nullptr);
  CreateDirectoryW((folder + L"two").c_str(), nullptr);
  for (const auto& s : Sources()) {
    ASSERT_TRUE(WriteTextFile(folder + s.relative, s.bytes));
    ASSERT_TRUE(zip.AddFile(folder + s.relative, s.entryName, s.comment)) << s.relative;
  }
}

TEST(ZipWriter, EmptyArchiveIsTheEndRecordAlone) {
  ScratchDir dir;
  for (const std::string comment : {"", "no entries"}) {
    ZipClass zip;
    if (!comment.empty()) zip.Comment(platform::FromAnsi(comment));
    ASSERT_TRUE(zip.WriteZip(dir / L"empty.zip", true));
    const std::string b = ReadFileBytes(dir / L"empty.zip");
    ASSERT_EQ(b.size(), 22 + comment.size());
    EXPECT_EQ(At32(b, 0), 0x06054B50u);
    for (size_t i : {4, 6, 8, 10}) EXPECT_EQ(At16(b, i), 0) << i;
    EXPECT_EQ(At32(b, 12), 0u);
    EXPECT_EQ(At32(b, 16), 0u);
    EXPECT_EQ(At16(b, 20), comment.size());
    EXPECT_EQ(b.substr(22), comment);
  }
}

TEST(ZipWriter, WritesTheRecordValues) {
  ScratchDir dir;
  const std::string data = Repetitive(5000);
  ASSERT_TRUE(WriteTextFile(dir / L"a.txt", data));
  ASSERT_TRUE(WriteTextFile(dir / L"b.txt", "bb"));
  ASSERT_TRUE(SetLocalWriteTime(dir / L"a.txt", 2021, 7, 15, 13, 45, 58));
  ASSERT_TRUE(SetLocalWriteTime(dir / L"b.txt", 1975, 3, 1, 8, 0, 0));
  ZipClass zip;
  ASSERT_TRUE(zip.AddFile(dir / L"a.txt"));
  ASSERT_TRUE(zip.AddFile(dir / L"b.txt", L"", L"note"));
  EXPECT_EQ(zip.FileCount(), 2);
  zip.Comment(L"archive comment");
  ASSERT_TRUE(zip.WriteZip(dir / L"out.zip"));
  const std::string b = ReadFileBytes(dir / L"out.zip");

  // First local header.
  EXPECT_EQ(At32(b, 0), 0x04034B50u);
  EXPECT_EQ(At16(b, 4), 20);
  EXPECT_EQ(At16(b, 6), 2);
  EXPECT_EQ(At16(b, 8), 8);
  EXPECT_EQ(At16(b, 10), 29 + 45 * 32 + 13 * 2048);
  EXPECT_EQ(At16(b, 12), 15 + 7 * 32 + (2021 - 1980) * 512);
  EXPECT_EQ(At32(b, 14), static_cast<uint32_t>(crc32_z(0, reinterpret_cast<const Bytef*>(data.data()), data.size())));
  EXPECT_EQ(At32(b, 22), data.size());
  EXPECT_EQ(At16(b, 26), 5);
  EXPECT_EQ(At16(b, 28), 0);
  EXPECT_EQ(b.substr(30, 5), "a.txt");
  const uint32_t packed = At32(b, 18);
  EXPECT_LT(packed, data.size());
  const size_t second = 35 + packed;
  EXPECT_EQ(At32(b, second), 0x04034B50u);
  EXPECT_EQ(At16(b, second + 12), 1 + 1 * 32) << "dates before 1980 are pinned to its first day";

  // End record and central directory.
  const size_t end = b.size() - 22 - 15;
  EXPECT_EQ(At32(b, end), 0x06054B50u);
  EXPECT_EQ(At16(b, end + 8), 2);
  EXPECT_EQ(At16(b, end + 10), 2);
  const uint32_t central = At32(b, end + 16);
  EXPECT_EQ(At32(b, end + 12), end - central);
  EXPECT_EQ(b.substr(end + 22), "archive comment");
  size_t c = central;
  for (uint32_t localOffset : {0u, static_cast<uint32_t>(second)}) {
    EXPECT_EQ(At32(b, c), 0x02014B50u);
    EXPECT_EQ(At16(b, c + 4), 20);
    EXPECT_EQ(At16(b, c + 6), 20);
    EXPECT_EQ(At16(b, c + 8), 2);
    EXPECT_EQ(At16(b, c + 10), 8);
    EXPECT_EQ(b.substr(c + 12, 16), b.substr(localOffset + 10, 16)) << "time, date, CRC and sizes as in the local header";
    EXPECT_EQ(At16(b, c + 34), 0);
    EXPECT_EQ(At16(b, c + 36), 32);
    EXPECT_EQ(At32(b, c + 38), 0u);
    EXPECT_EQ(At32(b, c + 42), localOffset);
    c += 46 + At16(b, c + 28) + At16(b, c + 30) + At16(b, c + 32);
  }
  EXPECT_EQ(b.substr(c - 4, 4), "note");
  EXPECT_EQ(c, end);
}

// Everything written reads back through the program's own reader, byte for byte.
TEST(ZipWriter, ReadsBackThroughTheReader) {
  ScratchDir dir;
  ZipClass zip;
  AddSources(dir.Path(), zip);
  ASSERT_TRUE(zip.AddFile(dir / L"readme.txt", L"caf\u00E9.txt"));  // an ANSI name outside ASCII
  ASSERT_TRUE(zip.WriteZip(dir / L"all.zip"));

  ZipExtractionClass reader;
  std::vector<int32_t> errors;
  reader.ZipError = [&](int32_t number, const std::wstring&) { errors.push_back(number); };
  ASSERT_TRUE(reader.OpenZip(dir / L"all.zip"));
  ASSERT_TRUE(reader.Extract(dir / L"out", true, true));
  EXPECT_TRUE(errors.empty());
  for (const auto& s : Sources()) {
    if (s.bytes.empty() || std::wstring(s.relative) == L"one\\same.txt") continue;  // the later same-named entry wins
    const std::wstring name = *s.entryName ? s.entryName : s.relative;
    const std::wstring target = dir / L"out\\" + (*s.entryName ? name : name.substr(name.find_last_of(L'\\') + 1));
    EXPECT_TRUE(ReadFileBytes(target) == s.bytes) << target;
  }
  EXPECT_EQ(ReadFileBytes(dir / L"out\\caf\u00E9.txt"), std::string(testsupport::kProductNameA) + " update\r\n");
}

TEST(ZipWriter, RefusesWhatIsNoFile) {
  ScratchDir dir;
  ZipClass zip;
  EXPECT_FALSE(zip.AddFile(dir / L"missing.txt"));
  EXPECT_FALSE(zip.AddFile(dir.Path().substr(0, dir.Path().size() - 1)));
  EXPECT_EQ(zip.FileCount(), 0);
  CreateDirectoryW((dir / L"folder.zip").c_str(), nullptr);
  EXPECT_FALSE(zip.WriteZip(dir / L"folder.zip", true));
  EXPECT_TRUE(testsupport::FolderExists(dir / L"folder.zip"));
  EXPECT_FALSE(zip.WriteZip(dir / L"no such folder\\x.zip", true));
}

TEST(ZipWriter, ReplacesOnlyWithOverwrite) {
  ScratchDir dir;
  ASSERT_TRUE(WriteTextFile(dir / L"a.txt", "content"));
  ASSERT_TRUE(WriteTextFile(dir / L"target.zip", "old"));
  ZipClass zip;
  ASSERT_TRUE(zip.AddFile(dir / L"a.txt"));
  EXPECT_FALSE(zip.WriteZip(dir / L"target.zip"));
  EXPECT_FALSE(zip.WriteZip(dir / L"target.zip", false));
  EXPECT_EQ(ReadFileBytes(dir / L"target.zip"), "old");
  EXPECT_TRUE(zip.WriteZip(dir / L"target.zip", true));
  const std::string b = ReadFileBytes(dir / L"target.zip");
  EXPECT_EQ(At32(b, 0), 0x04034B50u);
  // Nothing is left behind beside the target.
  WIN32_FIND_DATAW found;
  platform::UniqueFindHandle find(FindFirstFileW((dir / L"*.tmp").c_str(), &found));
  EXPECT_FALSE(find);
}

// Run by CTest with ILATCH_ZIPWRITER_EXPORT set, before check_written_zips.py; skipped otherwise.
TEST(ZipWriterForUnzip, WritesArchivesToCheck) {
  if (platform::GetEnv(L"ILATCH_ZIPWRITER_EXPORT").empty()) GTEST_SKIP() << "run by the unzip check";
  const std::wstring out = testsupport::TestsDir() + L"zipwriter\\";
  const std::wstring src = out + L"src\\";
  CreateDirectoryW(out.c_str(), nullptr);
  CreateDirectoryW(src.c_str(), nullptr);
  ZipClass all;
  AddSources(src, all);
  all.Comment(L"written by the test");
  ASSERT_TRUE(all.WriteZip(out + L"all.zip", true));
  ZipClass none;
  ASSERT_TRUE(none.WriteZip(out + L"none.zip", true));

  // zip name, entry name, source (relative to src), entry comment; UTF-8.
  std::wstring manifest;
  for (const auto& s : Sources()) {
    std::wstring name = *s.entryName ? s.entryName : s.relative;
    if (!*s.entryName) name = name.substr(name.find_last_of(L'\\') + 1);
    manifest += L"all.zip\t" + platform::ReplaceAll(name, L"\\", L"/") + L"\t" +
                platform::ReplaceAll(s.relative, L"\\", L"/") + L"\t" + s.comment + L"\r\n";
  }
  manifest += L"none.zip\t\t\t\r\n";
  ASSERT_TRUE(WriteTextFile(out + L"manifest.tsv", platform::ToUtf8(manifest)));
}

}  // namespace
