#pragma once
// The machine state that tests of the programs start from: the restriction policy's key, a
// fixture that clears the product's settings and the policy around each test, and the recording
// stand-in for the group-policy refresh program.
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace testsupport {

// The restriction policy under HKLM; its levels "0" (disallowed) and "262144" (unrestricted)
// each hold "Paths" and "Hashes".
inline constexpr wchar_t kRestrictionPolicyKey[] = L"SOFTWARE\\Policies\\Microsoft\\Windows\\safer\\codeidentifiers";

// The product's keys under HKLM and its folder below a root (the all-users data root, Program
// Files), as the programs must write them; spelled here once for every test.
inline constexpr wchar_t kMakerKey[] = L"Software\\Merrowind IT";
inline constexpr wchar_t kSettingsKey[] = L"Software\\Merrowind IT\\Ironlatch";
inline constexpr wchar_t kFilterModuleKey[] = L"Software\\Merrowind IT\\Ironlatch\\FilterModule";
inline constexpr wchar_t kEmailSetupKey[] = L"Software\\Merrowind IT\\Ironlatch\\Email Setup";
// The mail password: DPAPI-protected (machine scope) in this value, under a key only
// Administrators and SYSTEM may open.
inline constexpr wchar_t kEmailPasswordKey[] = L"Software\\Merrowind IT\\Ironlatch\\Email Setup\\Protected";
inline constexpr wchar_t kEmailPasswordValue[] = L"Password";
inline constexpr wchar_t kMakerFolder[] = L"\\Merrowind IT";
inline constexpr wchar_t kProductFolder[] = L"\\Merrowind IT\\Ironlatch";

// Every test starts and ends with neither the product's settings nor any restriction policy. A
// fixture whose tests leave more behind extends Clean.
class ClearedProductTest : public testing::Test {
 protected:
  void SetUp() override { Clean(); }
  void TearDown() override { Clean(); }
  virtual void Clean();
};

// gpupdate.exe is not part of Wine: while installed, a recording stand-in takes its place in the
// system folder. Each start of it adds one line to CallsLog.
class GpUpdateStandIn {
 public:
  GpUpdateStandIn();
  ~GpUpdateStandIn() { Remove(); }
  GpUpdateStandIn(const GpUpdateStandIn&) = delete;
  GpUpdateStandIn& operator=(const GpUpdateStandIn&) = delete;

  bool Install();  // false when the stand-in could not be copied into place
  void Remove();   // ends a stand-in still running and removes it with what it wrote

  std::wstring Path() const { return path_; }
  // The stand-in's file name without ".exe": "<base>.calls.log" is its record, "<base>.fake.ini"
  // what it is told to do.
  std::wstring Base() const { return path_.substr(0, path_.size() - 4); }
  std::wstring CallsLog() const { return Base() + L".calls.log"; }
  std::vector<std::wstring> Calls() const;

 private:
  std::wstring path_;
};

}  // namespace testsupport
