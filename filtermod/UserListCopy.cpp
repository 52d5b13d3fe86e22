#include "filtermod/UserListCopy.h"

#include <windows.h>
#include <sddl.h>
#include <shlobj.h>

#include <vector>

#include "common/CommonModule.h"
#include "common/Product.h"
#include "platform/Handle.h"
#include "platform/ProcessAccount.h"

namespace UserListCopy {

namespace {

const wchar_t kTemporaryEnding[] = L".tmp";

// The user's local application data as the system names it for this process's token, never from
// the environment.
std::wstring LocalAppData() {
  platform::UniqueKernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_IMPERSONATE, token.put())) return L"";
  wchar_t folder[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, token.get(), SHGFP_TYPE_CURRENT, folder)) || !folder[0])
    return L"";
  return folder;
}

std::wstring CopyFolder() {
  const std::wstring root = LocalAppData();
  return root.empty() ? L"" : root + Product::kFolder;
}

// The copy's folder: made with rights of its own, not inherited, for this user, Administrators
// and SYSTEM alone. One that is there already is taken as it is: it lies in the user's own profile.
bool MakeFolder(const std::wstring& folder) {
  const std::wstring maker = folder.substr(0, folder.find_last_of(L'\\'));
  if (!CreateDirectoryW(maker.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
  std::vector<BYTE> buffer;
  PSID user = nullptr;
  wchar_t* userText = nullptr;
  if (!platform::ProcessUserSid(buffer, user) || !ConvertSidToStringSidW(user, &userText)) return false;
  platform::UniqueLocal userOwned(userText);
  const std::wstring rights =
      L"D:P(A;OICI;FA;;;" + std::wstring(userText) + L")(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(rights.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
    return false;
  platform::UniqueLocal owned(descriptor);
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
  return CreateDirectoryW(folder.c_str(), &attributes) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool WriteAll(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1 << 20));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), want, &written, nullptr) || written == 0) return false;
    bytes.remove_prefix(written);
  }
  return true;
}

}  // namespace

std::wstring Path() {
  const std::wstring folder = CopyFolder();
  return folder.empty() ? L"" : folder + L"\\" + Product::kUserListCopy;
}

void Refresh(const HashListIndex::View& checked) {
  const std::wstring path = Path();
  if (path.empty()) return;
  {
    HashListIndex::MappedIndex copy;
    if (copy.Open(path, HashListIndex::Owner::Anyone) == HashListIndex::Opened::Usable &&
        copy.Index().Header() == checked.Header())
      return;
  }
  if (!MakeFolder(path.substr(0, path.find_last_of(L'\\')))) {
    CommonModule::DPrint(L"UserListCopy\\Refresh: ", L"- No folder for the copy: " + path,
                         static_cast<uint32_t>(GetLastError()));
    return;
  }
  // Written whole under another name, then renamed over the copy: a launch that reads the copy
  // meanwhile finds the old one or the new one. Two launches refreshing at once: the second
  // finds the name taken and leaves it to the first.
  const std::wstring temporary = path + kTemporaryEnding;
  bool written = false;
  {
    platform::UniqueFileHandle file(
        CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    written = file && WriteAll(file.get(), checked.Bytes());
  }
  if (!written || !MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    CommonModule::DPrint(L"UserListCopy\\Refresh: ", L"- Not written: " + path, static_cast<uint32_t>(GetLastError()));
    DeleteFileW(temporary.c_str());
  }
}

bool Open(HashListIndex::MappedIndex& copy) {
  const std::wstring path = Path();
  return !path.empty() && copy.Open(path, HashListIndex::Owner::Anyone) == HashListIndex::Opened::Usable;
}

}  // namespace UserListCopy
