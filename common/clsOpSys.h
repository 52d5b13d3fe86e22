#pragma once
// Which Windows this is: version, edition, server or not, suite bits, standard folders.
// Everything is worked out once in the constructor; only WindowsMode and the edition (asked of WMI
// when Platform or Version is read on Vista and later) go back to Windows afterwards.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

class clsOpSys {
 public:
  // Asks Windows: environment, version query, BuildLabEx from the registry, SKU from WMI. The
  // version is the one Windows tells this program, which its user can set: fit to name the
  // version, never to choose a folder or a road (modOpSys.h).
  clsOpSys();
  // Sees the Windows that the given version record, BuildLabEx text and SKU number describe
  // (the folders still come from the environment).
  clsOpSys(const OSVERSIONINFOEXW& record, const std::wstring& buildLabEx, int32_t sku);

  // The version query as the default constructor makes it: the extended record first, the plain
  // one when that fails, all zero when both fail. getVersion stands in for GetVersionExW.
  using GetVersionFn = BOOL(WINAPI*)(OSVERSIONINFOW*);
  static OSVERSIONINFOEXW QueryVersion(GetVersionFn getVersion);

  std::wstring WinDir;
  std::wstring SystemRoot;
  std::wstring HomeDrive;
  std::wstring SystemDrive;
  std::wstring WinSysDir;
  std::wstring CurrentUserName;
  std::wstring AllUsersProfile;  // left empty in the main program
  std::wstring UserProfile;
  std::wstring ProgramFilesPath;
  std::wstring CommonProgramFilesPath;
  std::wstring TempPath;
  std::wstring TmpPath;

  int32_t BuildNumber() const;
  std::wstring CSDVersion() const;
  int32_t MajorVersion() const;
  int32_t MinorVersion() const;
  int32_t PlatformID() const;
  int32_t ProductType() const;
  int16_t ServicePackMajor() const;
  int16_t ServicePackMinor() const;
  int16_t SuiteMask() const;
  int16_t WindowsMode() const;  // 0 normal start, 1 fail-safe, 2 fail-safe with network
  bool HasAS() const;
  bool HasBO() const;
  bool HasDC() const;
  bool HasSBS() const;
  bool HasSBSr() const;
  bool HasTS() const;
  bool Is2012() const { return is2012_; }
  bool IsWin8() const { return isWin8_; }
  bool IsWin81() const { return isWin81_; }
  bool IsWin81u1() const { return isWin81u1_; }
  bool IsWin7() const { return isWin7_; }
  bool Is2003() const { return is2003_; }
  bool Is2008() const { return is2008_; }
  bool Is2008R2() const { return is2008R2_; }
  bool IsVista() const { return isVista_; }
  std::wstring VistaSKU() const { return vistaSku_; }
  bool IsWinXP() const { return isWinXP_; }
  bool IsServer() const;
  bool IsWin2K() const { return isWin2K_; }
  bool IsWinNT() const { return isWinNT_; }
  bool IsWin9x() const;
  bool IsWin95() const { return isWin95_; }
  bool IsWin98() const { return isWin98_; }
  bool IsWinME() const { return isWinME_; }
  std::wstring Platform() const;
  std::wstring Version() const;
  std::wstring ProductTypeName() const;

 private:
  clsOpSys(const OSVERSIONINFOEXW& record, const std::function<std::wstring()>& readBuildLabEx,
           std::function<int32_t()> sku);

  static int16_t LoWord(int32_t number);
  std::wstring GetEditionName() const;
  int32_t GetOperatingSystemSKU() const { return sku_(); }

  OSVERSIONINFOEXW record_ = {};
  std::wstring csdVersion_;  // the record's service-pack text up to its first NUL
  std::function<int32_t()> sku_;
  bool isWinNT_ = false, isWin2K_ = false, isWinXP_ = false;
  bool isWin95_ = false, isWin98_ = false, isWinME_ = false;
  bool is2003_ = false, is2008_ = false, is2008R2_ = false;
  bool isVista_ = false, isWin7_ = false, isWin8_ = false, isWin81_ = false, isWin81u1_ = false, is2012_ = false;
  std::wstring vistaSku_;  // never filled
};
