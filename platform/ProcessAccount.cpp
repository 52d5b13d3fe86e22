#include "platform/ProcessAccount.h"

#include "platform/Handle.h"

namespace platform {

bool ProcessUserSid(std::vector<BYTE>& buffer, PSID& sid) {
  UniqueKernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return false;
  DWORD size = 0;
  GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  if (size < sizeof(TOKEN_USER)) return false;
  buffer.assign(size, 0);
  if (!GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) return false;
  sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
  return IsValidSid(sid) != FALSE;
}

std::wstring ProcessAccountName() {
  std::vector<BYTE> buffer;
  PSID sid = nullptr;
  if (!ProcessUserSid(buffer, sid)) return {};
  DWORD nameSize = 0;
  DWORD domainSize = 0;
  SID_NAME_USE use = SidTypeUnknown;
  LookupAccountSidW(nullptr, sid, nullptr, &nameSize, nullptr, &domainSize, &use);
  if (nameSize == 0) return {};
  std::wstring name(nameSize, L'\0');
  std::wstring domain(domainSize ? domainSize : 1, L'\0');
  if (!LookupAccountSidW(nullptr, sid, name.data(), &nameSize, domain.data(), &domainSize, &use)) return {};
  name.resize(nameSize);
  domain.resize(domainSize);
  return domain.empty() ? name : domain + L"\\" + name;
}

}  // namespace platform
