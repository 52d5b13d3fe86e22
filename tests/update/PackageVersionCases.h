#pragma once
// The version cases both program update roads (HTTP and FTP) are held to: the version resource of
// the package's program against the index's version and the running program's 1.0.1 (the
// project's 1.0.0.1: major, minor, revision).

namespace testsupport {

struct PackageVersionCase {
  const char* what;
  const wchar_t* index;     // the index's CurrentVersion
  const wchar_t* packaged;  // the versioned fake the package carries ("1_0_0_2"); nullptr: no version resource
  bool taken;
};

inline constexpr PackageVersionCase kPackageVersionCases[] = {
    {"newer than running, equal to the index", L"1.0.2", L"1_0_0_2", true},
    {"older than running", L"1.0.2", L"1_0_0_0", false},
    {"as old as running", L"1.0.2", L"1_0_0_1", false},
    {"lower than the index", L"1.0.3", L"1_0_0_2", false},
    {"higher than the index", L"1.0.2", L"1_0_0_3", false},
    {"without a version resource", L"1.0.2", nullptr, false},
};

}  // namespace testsupport
