#pragma once
// The deployment settings file (Product::kSettingsIni), its bulk twin (bulk.ini) and the whitelist
// text file beside them: what the configuration builder writes and loads, and the readers' rules
// for flags.
#include <string>
#include <vector>

#include "common/ProtectionCatalogue.h"

namespace SettingsIni {

// Everything the configuration builder owns in the INI, plus the whitelist that travels beside it.
// Hand-set keys ([Config] ClientName, EmailAlerts, UTCAdjustment, [FilterModule] AlertAllow,
// [EmailConfig]) are not here: a save leaves them as they are.
struct Settings {
  std::wstring RegName;
  // The protection options the builder offers, each under its catalogue key in [Config] or
  // [FilterModule]: Sidebar, the folders, TempArchives, FakeExtensions, the tools, AutoWhitelist,
  // SilentBlock and NoAllow.
  ProtectionCatalogue::ChoiceSet choices;
  // [Config]
  bool NoRestartPrompt = false, EnableSchedule = false;
  std::wstring ScheduledHour, ScheduledDay;
  // [Installer]
  bool UpdateOnInstall = false, Advanced = false;
  std::wstring Website;
  bool ApplySilent = false, RebootSilent = false;
  std::wstring EULA, PreInfo, PostInfo;
  // [FilterSuspicious] and [FilterConstant]
  bool SuspiciousCPL = false, SuspiciousSCR = false, SuspiciousPIF = false;
  bool ConstantCPL = false, ConstantSCR = false, ConstantPIF = false;
  // %appdata%-relative program paths, in list order; duplicates allowed.
  std::vector<std::wstring> Whitelist;

  bool operator==(const Settings&) const = default;
};

std::wstring BulkIniPath();            // "bulk.ini" in the program folder
std::wstring WhitelistTextFilePath();  // Product::kWhitelistFile in the program folder

// Writes every owned key, one profile write a key, then replaces the whitelist file with the
// entries (no file when the list is empty). Never fails loudly: what cannot be written is skipped.
void Save(const std::wstring& iniFile, const std::wstring& whitelistFile, const Settings& settings);

// Reads the owned keys back into settings when the INI exists (false when it does not, settings
// untouched). A flag that is not a number keeps its current state; a number is on only when it is 1.
// The whitelist is replaced by the file's non-empty lines when the file exists.
bool Load(const std::wstring& iniFile, const std::wstring& whitelistFile, Settings& settings);

// The common reader's rule: on only when the text is exactly "1".
bool FlagOn(const std::wstring& iniFile, const std::wstring& section, const std::wstring& key);

// Whether the filter module hooks a file class ("CPL", "SCR", "PIF") in a mode
// ("FilterSuspicious" or "FilterConstant"): suspicious .cpl/.scr and constant .pif are on unless
// the INI says "0"; the other three are on only when it says "1".
bool FilterClassOn(const std::wstring& iniFile, const std::wstring& section, const std::wstring& fileClass);

}  // namespace SettingsIni
