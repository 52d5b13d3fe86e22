#pragma once
// The rights a program gave files, as a standard user and an administrator see them (the tokens of
// AccessCheck.h). Wine keeps no rights on files, so tests check the rights a program records
// (see ILATCH_RIGHTS_LOG) this way.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <map>
#include <string>

#include "platform/Handle.h"
#include "platform/Text.h"
#include "tests/support/AccessCheck.h"
#include "tests/support/TestSupport.h"

namespace testsupport {

// Whether the token is granted access to a file by rights in SDDL text; false when the text is no
// security descriptor.
inline bool AccessGranted(HANDLE token, const std::wstring& rights, DWORD access) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(rights.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
    return false;
  platform::UniqueLocal owned(descriptor);
  return Granted(token, descriptor, access, kFileMapping);
}

// Gives a file or folder rights that let every account change it (Everyone: full control, also
// for what is made inside): a folder an administrator loosened. Under Wine this makes it writable
// for every Unix account, which is what Wine then reports back.
inline bool LetEveryoneChange(const std::wstring& path) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;OICI;FA;;;WD)(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)",
                                                            SDDL_REVISION_1, &descriptor, nullptr))
    return false;
  platform::UniqueLocal owned(descriptor);
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  platform::UniqueFileHandle handle(CreateFileW(path.c_str(), READ_CONTROL | WRITE_DAC, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return handle && GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) &&
         SetSecurityInfo(handle.get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, dacl, nullptr) ==
             ERROR_SUCCESS;
}

// The last rights recorded for each path (lower-cased) in an ILATCH_RIGHTS_LOG file.
inline std::map<std::wstring, std::wstring> RecordedRights(const std::wstring& log) {
  std::map<std::wstring, std::wstring> rights;
  for (const std::wstring& line : Lines(ReadTextFile(log))) {
    const size_t tab = line.find(L'\t');
    if (tab != std::wstring::npos) rights[platform::Lower(line.substr(0, tab))] = platform::Trim(line.substr(tab + 1));
  }
  return rights;
}

}  // namespace testsupport
