#pragma once
// The hash lists (definitions and the user's own) and the check of a launched file against them.
#include <string>
#include <vector>

namespace modEXEScan {

extern std::vector<std::wstring> ExecFilterMd5Hashes;
extern std::vector<std::wstring> ExecFilterSha256Hashes;
extern std::vector<std::wstring> UserExecFilterMd5Hashes;
extern std::vector<std::wstring> UserExecFilterSha256Hashes;

// Upper-case hex digests; "" when the file cannot be hashed.
std::wstring GetFileMD5(const std::wstring& path);
std::wstring GetFileSHA256(const std::wstring& path);

void LoadHashLists();

// True when the file matches a list entry and must not start. silent: no message box (the alert
// mail still goes out).
bool CheckHashRules(const std::wstring& path, bool silent);

// The first entry of a list that equals the digest (lines trimmed and upper-cased, ";" comments
// and empty lines skipped); false for an empty digest.
bool ListHolds(const std::vector<std::wstring>& lines, const std::wstring& digest);

}  // namespace modEXEScan
