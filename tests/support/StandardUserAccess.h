#pragma once
// The rights a program gave files, as a standard user and an administrator see them (the tokens of
// AccessCheck.h). Wine keeps no rights on files, so tests check the rights a program records
// (see ILATCH_RIGHTS_LOG) this way.
#include <windows.h>
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
