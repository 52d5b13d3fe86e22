#include "notify/EmailSettings.h"

#include "common/CommonModule.h"
#include "common/Product.h"
#include "common/Variant.h"
#include "common/modRegistry.h"
#include "notify/modBase85.h"
#include "notify/modEmailSvc.h"

namespace modEmailSvc {
namespace {

// The switch: a value of the settings key, and a key of [EmailConfig] (and of the bulk INI's [Config]).
constexpr wchar_t kAlerts[] = L"EmailAlerts";
constexpr wchar_t kIniSection[] = L"EmailConfig";
constexpr wchar_t kBulkSwitchSection[] = L"Config";

// One setting both sources hold: its value in Email Setup and its key in [EmailConfig].
struct Names {
  const wchar_t* value;
  const wchar_t* iniKey;
};
constexpr Names kFrom{L"FromEmail", L"FromEmail"};
constexpr Names kAddress{L"EmailAddress", L"SMTPUserName"};
constexpr Names kSendTo{L"SendToEmail", L"SendToEmail"};
constexpr Names kServer{L"SMTPServer", L"SMTPServer"};
constexpr Names kPort{L"SMTPPort", L"SMTPPort"};
constexpr Names kAuthenticate{L"Authenticate", L"SMTPAuth"};
constexpr Names kUseSsl{L"UseSSL", L"UseSSL"};
// The INI's own: the scrambled password and the second recipient.
constexpr wchar_t kPasswordKey[] = L"SMTPPassword";
constexpr wchar_t kAdminEmailKey[] = L"AdminEmail";

std::wstring RegText(const std::wstring& key, const wchar_t* name) {
  return modRegistry::ReadText(HKEY_LOCAL_MACHINE, key, name);
}
void WriteText(const std::wstring& key, const wchar_t* name, const std::wstring& text) {
  modRegistry::fWriteValue(L"HKLM", key, name, L"S", Variant(text));
}
std::wstring Stored(const Names& names) { return RegText(Product::kEmailSetupKey, names.value); }
void Store(const Names& names, const std::wstring& text) { WriteText(Product::kEmailSetupKey, names.value, text); }

}  // namespace

EmailSettings EmailSettings::Load() {
  EmailSettings settings;
  settings.alerts = RegText(Product::kSettingsKey, kAlerts);
  settings.fromOverride = Stored(kFrom);
  settings.address = Stored(kAddress);
  settings.sendToOverride = Stored(kSendTo);
  std::wstring password;
  if (ReadMailPassword(password)) settings.password = password;
  settings.server = Stored(kServer);
  settings.port = Stored(kPort);
  settings.authenticate = Stored(kAuthenticate);
  settings.useSsl = Stored(kUseSsl);
  return settings;
}

EmailSettings EmailSettings::LoadIni(const std::wstring& iniPath) {
  const auto ini = [&](const wchar_t* key) { return CommonModule::ReadIni(iniPath, kIniSection, key); };
  EmailSettings settings;
  settings.alerts = ini(kAlerts);
  settings.fromOverride = ini(kFrom.iniKey);
  settings.address = ini(kAddress.iniKey);
  settings.sendToOverride = ini(kSendTo.iniKey);
  settings.adminEmail = ini(kAdminEmailKey);
  const std::wstring scrambled = ini(kPasswordKey);
  settings.passwordGiven = !scrambled.empty();
  std::wstring password;
  if (settings.passwordGiven && modBase85::UnscrambleString(scrambled, modBase85::kScrambleKey, password))
    settings.password = password;
  settings.server = ini(kServer.iniKey);
  settings.port = ini(kPort.iniKey);
  settings.authenticate = ini(kAuthenticate.iniKey);
  settings.useSsl = ini(kUseSsl.iniKey);
  return settings;
}

EmailSettings EmailSettings::LoadBulkIni(const std::wstring& iniPath) {
  EmailSettings settings = LoadIni(iniPath);
  settings.alerts = CommonModule::ReadIni(iniPath, kBulkSwitchSection, kAlerts);
  return settings;
}

bool EmailSettings::Save() const {
  if (password && !StoreMailPassword(*password)) return false;
  WriteText(Product::kSettingsKey, kAlerts, alerts);
  if (fromOverride) Store(kFrom, *fromOverride);
  Store(kAddress, address);
  if (sendToOverride) Store(kSendTo, *sendToOverride);
  Store(kServer, server);
  Store(kPort, port);
  Store(kAuthenticate, authenticate);
  Store(kUseSsl, useSsl);
  return true;
}

bool EmailAlertsSwitchedOn() {
  return RegText(Product::kSettingsKey, kAlerts) == L"1" ||
         CommonModule::ReadIni(CommonModule::IniPath, kIniSection, kAlerts) == L"1";
}

}  // namespace modEmailSvc
