#pragma once
// The import of a definitions package's "Hashes.reg": the program reads the registry-export text
// itself and writes only disallowed hash rules, each a braced GUID key under the policy's
// "0\Hashes" with its "SHA256" subkey and the values such a rule holds (LastModified, Description,
// FriendlyName, SaferFlags, ItemSize, ItemData, HashAlg). Every other key, value, deletion or
// default value is refused and logged; nothing of it is written.
#include <string>

namespace HashRuleImport {

struct Result {
  bool read = false;  // the file is a registry export and was read whole
  int written = 0;    // values written
  int refused = 0;    // keys and values refused
  bool failed = false;  // a write that should have worked did not
  bool Ok() const { return read && !failed; }
};

Result ImportFile(const std::wstring& regFile);

}  // namespace HashRuleImport
