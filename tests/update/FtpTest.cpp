// The FTP client against the local server of the ftpserver fixture (tests/update/ftp_server.py).
// Cases run in parallel against one server root, so each keeps to names of its own.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/support/TestSupport.h"
#include "update/cFTP.h"

using testsupport::FileExists;
using testsupport::ReadFileBytes;
using testsupport::ScratchDir;
using testsupport::WriteTextFile;

namespace {

const std::wstring kServer = L"127.0.0.1:47121";
const std::wstring kSilentServer = L"127.0.0.1:47122";  // accepts and never answers
const std::wstring kNoServer = L"127.0.0.1:47129";      // nothing listens there
const std::wstring kUser = L"ftpuser";
const std::wstring kPassword = L"s3cret";

// The server's root folder as this process sees it (the build folder is a drive of the prefix).
std::wstring ServerRoot() { return testsupport::TestsDir() + L"ftpserver\\root\\"; }

std::string Bytes(size_t count, char seed) {
  std::string bytes(count, '\0');
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>(seed + i * 7);
  return bytes;
}

class FtpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ftp_.SetModePassive();
    ftp_.SetTransferBinary();
    ASSERT_TRUE(ftp_.OpenConnection(kServer, kUser, kPassword)) << ftp_.GetLastErrorMessage();
  }
  void TearDown() override { ftp_.CloseConnection(); }

  // Records every progress event of the chunked transfers.
  void RecordProgress() {
    ftp_.FileTransferProgress = [this](LONG& current, LONG& total) { progress_.emplace_back(current, total); };
  }

  cFTP ftp_;
  ScratchDir local_;
  std::vector<std::pair<LONG, LONG>> progress_;
};

TEST_F(FtpTest, ConnectsAndMovesBetweenFolders) {
  EXPECT_EQ(ftp_.GetFTPDirectory(), L"/");
  ASSERT_TRUE(ftp_.CreateFTPDirectory(L"cwd_case"));
  EXPECT_TRUE(testsupport::FolderExists(ServerRoot() + L"cwd_case"));
  EXPECT_TRUE(ftp_.SetFTPDirectory(L"cwd_case"));
  EXPECT_EQ(ftp_.GetFTPDirectory(), L"/cwd_case");
  EXPECT_FALSE(ftp_.SetFTPDirectory(L"/no_such_folder"));
  EXPECT_FALSE(ftp_.GetLastErrorMessage().empty());
  EXPECT_TRUE(ftp_.SetFTPDirectory(L"/"));
  EXPECT_TRUE(ftp_.RemoveFTPDirectory(L"cwd_case"));
  EXPECT_FALSE(testsupport::FolderExists(ServerRoot() + L"cwd_case"));
  // Opening again replaces the connection.
  EXPECT_TRUE(ftp_.OpenConnection(kServer, kUser, kPassword));
  EXPECT_EQ(ftp_.GetFTPDirectory(), L"/");
}

TEST(FtpConnect, RefusedConnectionsFailWithAnErrorText) {
  struct Case {
    const wchar_t* server;
    const wchar_t* password;
  };
  const Case cases[] = {
      {L"127.0.0.1:47121", L"wrong"},  // wrong password
      {L"127.0.0.1:47129", L"s3cret"},  // no server
      {L"127.0.0.1:abc", L"s3cret"},    // no port number
      {L"127.0.0.1:99999", L"s3cret"},  // no port number either
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.server);
    cFTP ftp;
    ftp.SetModePassive();
    const DWORD start = GetTickCount();
    EXPECT_FALSE(ftp.OpenConnection(c.server, kUser, c.password));
    EXPECT_LT(GetTickCount() - start, 10000u);
    EXPECT_FALSE(ftp.GetLastErrorMessage().empty());
    EXPECT_EQ(ftp.GetFTPFileSize(L"x"), -2);  // no connection: an error, not "absent"
    ftp.CloseConnection();
  }
}

TEST(FtpConnect, ServerThatNeverAnswersTimesOut) {
  cFTP ftp;
  const DWORD start = GetTickCount();
  EXPECT_FALSE(ftp.OpenConnection(kSilentServer, kUser, kPassword));
  const DWORD elapsed = GetTickCount() - start;
  EXPECT_LT(elapsed, 70000u);  // Wine ignores the timeout options and gives up after 60 s
  EXPECT_NE(ftp.GetLastErrorMessage().find(L"InternetConnect error code: "), std::wstring::npos)
      << ftp.GetLastErrorMessage();
}

TEST_F(FtpTest, ChunkedTransfersMoveEveryByteAndReportProgress) {
  struct Case {
    size_t size;
    std::vector<std::pair<LONG, LONG>> progress;
  };
  const Case cases[] = {
      {1, {{1, 1}}},
      {254, {{254, 254}}},
      {255, {{255, 255}, {255, 255}}},
      {510, {{255, 510}, {510, 510}, {510, 510}}},
      {600, {{255, 600}, {510, 600}, {600, 600}}},
  };
  RecordProgress();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    const std::wstring name = L"chunk_" + std::to_wstring(c.size) + L".bin";
    const std::string bytes = Bytes(c.size, static_cast<char>(c.size));

    ASSERT_TRUE(WriteTextFile(local_ / name, bytes));
    std::wstring localPath = L"  " + (local_ / name) + L" ", remote = L" " + name;
    progress_.clear();
    ASSERT_TRUE(ftp_.FTPUploadFile(localPath, remote)) << ftp_.GetLastErrorMessage();
    EXPECT_EQ(remote, name);  // the caller's texts come back trimmed
    EXPECT_EQ(progress_, c.progress);
    EXPECT_EQ(ReadFileBytes(ServerRoot() + name), bytes);
    EXPECT_EQ(ftp_.GetFTPFileSize(name), static_cast<LONG>(c.size));

    std::wstring back = local_ / (L"back_" + name);
    progress_.clear();
    ASSERT_TRUE(ftp_.FTPDownloadFile(back, remote)) << ftp_.GetLastErrorMessage();
    EXPECT_EQ(progress_, c.progress);
    EXPECT_EQ(ReadFileBytes(back), bytes);
    EXPECT_TRUE(ftp_.DeleteFTPFile(name));
  }
}

TEST_F(FtpTest, DownloadReplacesALongerLocalFile) {
  ASSERT_TRUE(WriteTextFile(ServerRoot() + L"short.txt", "new"));
  std::wstring target = local_ / L"short.txt", remote = L"short.txt";
  ASSERT_TRUE(WriteTextFile(target, "an older and much longer file"));
  ASSERT_TRUE(ftp_.FTPDownloadFile(target, remote)) << ftp_.GetLastErrorMessage();
  EXPECT_EQ(ReadFileBytes(target), "new");
}

// A server that trickles never trips WinInet's time-outs: the download's own limit ends it, and
// the file is not reported as fetched.
TEST_F(FtpTest, ADownloadThatOutlastsItsLimitIsGivenUp) {
  ASSERT_TRUE(WriteTextFile(ServerRoot() + L"trickle.bin", Bytes(64 * 1024, 'q')));
  ASSERT_TRUE(WriteTextFile(ServerRoot() + L"trickle.bin.slow", ""));
  ASSERT_TRUE(SetEnvironmentVariableW(L"ILATCH_DOWNLOAD_SECONDS", L"2"));
  std::wstring target = local_ / L"trickle.bin", remote = L"trickle.bin";
  const DWORD started = GetTickCount();
  const bool fetched = ftp_.FTPDownloadFile(target, remote);
  const DWORD took = GetTickCount() - started;
  SetEnvironmentVariableW(L"ILATCH_DOWNLOAD_SECONDS", nullptr);
  EXPECT_FALSE(fetched);
  EXPECT_LT(took, 20000u) << "64 KB at 1.25 KB/s would take 50 s";
  EXPECT_NE(ftp_.GetLastErrorMessage().find(L"1460"), std::wstring::npos) << ftp_.GetLastErrorMessage();
}

TEST_F(FtpTest, SizeQueryTellsAbsentFromPresent) {
  // (Names with blanks are not tried: Wine's listing parser cuts them at the first blank.)
  ASSERT_TRUE(WriteTextFile(ServerRoot() + L"size_case.txt", "twelve bytes"));
  ASSERT_TRUE(WriteTextFile(ServerRoot() + L"empty_size.txt", ""));
  EXPECT_EQ(ftp_.GetFTPFileSize(L"size_case.txt"), 12);
  EXPECT_EQ(ftp_.GetFTPFileSize(L"empty_size.txt"), 0);

  // A missing file is -1 and leaves the last error alone.
  EXPECT_FALSE(ftp_.SetFTPDirectory(L"/no_such_folder"));
  const std::wstring before = ftp_.GetLastErrorMessage();
  EXPECT_EQ(ftp_.GetFTPFileSize(L"missing_size.txt"), -1);
  EXPECT_EQ(ftp_.GetLastErrorMessage(), before);

  // Neither a missing nor an empty file comes down in chunks; the one-call fetch takes the empty one.
  std::wstring target = local_ / L"got.txt", missing = L"missing_size.txt", empty = L"empty_size.txt";
  EXPECT_FALSE(ftp_.FTPDownloadFile(target, missing));
  EXPECT_FALSE(ftp_.FTPDownloadFile(target, empty));
  EXPECT_FALSE(FileExists(target));
  EXPECT_TRUE(ftp_.SimpleFTPGetFile(target, L"empty_size.txt")) << ftp_.GetLastErrorMessage();
  EXPECT_TRUE(FileExists(target));
  EXPECT_EQ(ReadFileBytes(target), "");
}

TEST_F(FtpTest, OneCallPutGetRenameDelete) {
  ASSERT_TRUE(WriteTextFile(local_ / L"up.txt", "line one\r\nline two\r\n"));
  ASSERT_TRUE(ftp_.SimpleFTPPutFile(local_ / L"up.txt", L"put_case.txt")) << ftp_.GetLastErrorMessage();
  EXPECT_EQ(ReadFileBytes(ServerRoot() + L"put_case.txt"), "line one\r\nline two\r\n");

  ASSERT_TRUE(ftp_.RenameFTPFile(L"put_case.txt", L"put_case_renamed.txt")) << ftp_.GetLastErrorMessage();
  EXPECT_FALSE(FileExists(ServerRoot() + L"put_case.txt"));
  ASSERT_TRUE(FileExists(ServerRoot() + L"put_case_renamed.txt"));

  ASSERT_TRUE(ftp_.SimpleFTPGetFile(local_ / L"down.txt", L"put_case_renamed.txt")) << ftp_.GetLastErrorMessage();
  EXPECT_EQ(ReadFileBytes(local_ / L"down.txt"), "line one\r\nline two\r\n");

  ASSERT_TRUE(ftp_.DeleteFTPFile(L"put_case_renamed.txt")) << ftp_.GetLastErrorMessage();
  EXPECT_FALSE(FileExists(ServerRoot() + L"put_case_renamed.txt"));

  // Failures: false and a readable text each.
  struct Failure {
    const wchar_t* what;
    bool result;
  };
  const Failure failures[] = {
      {L"delete", ftp_.DeleteFTPFile(L"put_case_renamed.txt")},
      {L"rename", ftp_.RenameFTPFile(L"put_case_gone.txt", L"put_case_other.txt")},
      {L"get", ftp_.SimpleFTPGetFile(local_ / L"none.txt", L"put_case_gone.txt")},
      {L"put", ftp_.SimpleFTPPutFile(local_ / L"no_local.txt", L"put_case_none.txt")},
  };
  for (const auto& f : failures) {
    SCOPED_TRACE(f.what);
    EXPECT_FALSE(f.result);
  }
  EXPECT_FALSE(ftp_.GetLastErrorMessage().empty());
  EXPECT_FALSE(FileExists(ServerRoot() + L"put_case_none.txt"));
}

TEST_F(FtpTest, UploadOfAMissingLocalFileLeavesTheServerAlone) {
  std::wstring missing = local_ / L"absent.bin", remote = L"upload_absent.bin";
  EXPECT_FALSE(ftp_.FTPUploadFile(missing, remote));
  EXPECT_NE(ftp_.GetLastErrorMessage().find(L"error code: 2 "), std::wstring::npos) << ftp_.GetLastErrorMessage();
  EXPECT_FALSE(FileExists(ServerRoot() + L"upload_absent.bin"));
  std::wstring blank = L"   ";
  EXPECT_FALSE(ftp_.FTPUploadFile(blank, remote));
}

TEST_F(FtpTest, ListsAFolder) {
  RemoveDirectoryW((ServerRoot() + L"list_case\\sub").c_str());  // left by an earlier run
  DeleteFileW((ServerRoot() + L"list_case\\Alpha.txt").c_str());
  DeleteFileW((ServerRoot() + L"list_case\\beta.dat").c_str());
  RemoveDirectoryW((ServerRoot() + L"list_case").c_str());
  ASSERT_TRUE(ftp_.CreateFTPDirectory(L"list_case"));
  ASSERT_TRUE(WriteTextFile(ServerRoot() + L"list_case\\Alpha.txt", "12345"));
  ASSERT_TRUE(WriteTextFile(ServerRoot() + L"list_case\\beta.dat", ""));
  ASSERT_TRUE(CreateDirectoryW((ServerRoot() + L"list_case\\sub").c_str(), nullptr));

  auto list = ftp_.GetDirectoryListing(L"list_case/*");
  ASSERT_TRUE(list) << ftp_.GetLastErrorMessage();
  EXPECT_EQ(list, ftp_.Directory());
  ASSERT_EQ(list->Count(), 3);
  auto alpha = list->Item(L"ALPHA.TXT");  // names match in any case
  ASSERT_TRUE(alpha);
  EXPECT_EQ(alpha->Filename, L"Alpha.txt");
  EXPECT_EQ(alpha->FileSize, 5);
  EXPECT_FALSE(alpha->Directory);
  SYSTEMTIME now;
  GetLocalTime(&now);
  DATE today = 0;
  SystemTimeToVariantTime(&now, &today);
  EXPECT_NEAR(alpha->LastWriteTime, today, 1.0);
  auto sub = list->Item(L"sub");
  ASSERT_TRUE(sub);
  EXPECT_TRUE(sub->Directory);
  EXPECT_EQ(list->Item(1)->Filename, L"Alpha.txt");
  EXPECT_FALSE(list->Item(4));
  EXPECT_FALSE(list->Item(0));

  // No match: none, and no error text.
  EXPECT_FALSE(ftp_.SetFTPDirectory(L"/no_such_folder"));
  const std::wstring before = ftp_.GetLastErrorMessage();
  EXPECT_FALSE(ftp_.GetDirectoryListing(L"list_case/*.none"));
  EXPECT_EQ(ftp_.GetLastErrorMessage(), before);
  EXPECT_EQ(ftp_.Directory()->Count(), 0);
}

TEST(FtpDirList, KeepsOrderFlagsAndOneEntryPerName) {
  cDirList list;
  auto item = list.Add(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_OFFLINE, 1.0, 2.0, 3.0, 42,
                       L"One");
  EXPECT_TRUE(item->ReadOnly);
  EXPECT_TRUE(item->Directory);
  EXPECT_TRUE(item->Offline);
  EXPECT_FALSE(item->Hidden || item->System || item->Archive || item->Normal || item->Temporary || item->Compressed);
  EXPECT_EQ(item->LastWriteTime, 3.0);
  list.Add(FILE_ATTRIBUTE_NORMAL, 0, 0, 0, 1, L"two");
  list.Add(FILE_ATTRIBUTE_NORMAL, 0, 0, 0, 2, L"ONE");  // same name: the first stays
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Item(L"one")->FileSize, 42);
  std::vector<std::wstring> names;
  for (const auto& entry : list) names.push_back(entry->Filename);
  EXPECT_EQ(names, (std::vector<std::wstring>{L"One", L"two"}));
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
}

TEST(FtpDates, FileTimesBecomeLocalDates) {
  SYSTEMTIME noon = {2024, 2, 0, 29, 12, 0, 0, 0};
  FILETIME local, utc;
  ASSERT_TRUE(SystemTimeToFileTime(&noon, &local));
  ASSERT_TRUE(LocalFileTimeToFileTime(&local, &utc));
  DATE expected = 0;
  SystemTimeToVariantTime(&noon, &expected);
  EXPECT_NEAR(cFTP::FileTimeToDate(utc), expected, 1e-6);
}

}  // namespace
