#include "notify/modEmailSvc.h"

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <wbemidl.h>

#include <memory>

#include "common/CommonModule.h"
#include "common/Product.h"
#include "common/Variant.h"
#include "common/modRegistry.h"
#include "platform/Com.h"
#include "platform/Smtp.h"
#include "platform/Text.h"

namespace modEmailSvc {
namespace {

using Product::kSettingsKey;
constexpr uint32_t kConnectTimeoutMs = 60 * 1000;
constexpr long kBadPortCode = 10022;  // Winsock's "invalid argument"
constexpr long kWmiWaitMs = 30 * 1000;  // WMI that does not answer must not hold an alert for ever

HANDLE g_abandon = nullptr;
LanIpsSource g_lanIps = nullptr;

void SetIfNotEmpty(std::wstring& field, const std::wstring& value) {
  if (!value.empty()) field = value;
}

std::vector<std::wstring> Addresses(const std::wstring& list) {
  std::vector<std::wstring> addresses;
  for (const std::wstring& part : platform::Split(platform::ReplaceAll(list, L";", L","), L",")) {
    const std::wstring address = platform::Trim(part);
    if (!address.empty()) addresses.push_back(address);
  }
  return addresses;
}

// The running program's own version words: major, minor and revision (the fourth word).
void OwnVersion(uint16_t& major, uint16_t& minor, uint16_t& revision) {
  major = minor = revision = 0;
  bool fourParts = true;
  const std::vector<std::wstring> words =
      platform::Split(CommonModule::FileVersionNo(CommonModule::AppExeFullPath(), fourParts), L".");
  auto word = [&](size_t i) -> uint16_t {
    int64_t n = 0;
    return i < words.size() && platform::ParseInt64(words[i], n) && n >= 0 && n <= 0xFFFF ? uint16_t(n) : 0;
  };
  major = word(0);
  minor = word(1);
  revision = word(3);
}

// ---- The adapter walk over WMI ----

bool Logged(HRESULT result, const wchar_t* step) {
  if (SUCCEEDED(result)) return false;
  CommonModule::DPrint(std::wstring(L"modEmailSvc\\GetLanIPs: ") + step + L" failed: " +
                       platform::ErrorText(static_cast<unsigned long>(result)));
  return true;
}

LanAdapter ReadAdapter(IWbemClassObject* row) {
  LanAdapter adapter;
  platform::ComVariant addresses;
  if (!Logged(row->Get(L"IPAddress", 0, addresses.get(), nullptr, nullptr), L"IPAddress") &&
      addresses->vt == (VT_ARRAY | VT_BSTR) && addresses->parray) {
    adapter.hasAddresses = true;
    LONG low = 0, high = -1;
    SafeArrayGetLBound(addresses->parray, 1, &low);
    SafeArrayGetUBound(addresses->parray, 1, &high);
    for (LONG i = low; i <= high; ++i) {
      platform::Bstr item;
      if (SUCCEEDED(SafeArrayGetElement(addresses->parray, &i, item.put())))
        adapter.addresses.push_back(item ? item.get() : L"");
    }
  }
  platform::ComVariant dhcp;
  if (!Logged(row->Get(L"DHCPEnabled", 0, dhcp.get(), nullptr, nullptr), L"DHCPEnabled"))
    adapter.dhcpEnabled = dhcp->vt == VT_BOOL && dhcp->boolVal != VARIANT_FALSE;
  return adapter;
}

std::vector<LanAdapter> QueryAdapters() {
  std::vector<LanAdapter> adapters;
  const platform::ComApartment com;
  if (!com.Usable() && Logged(com.Result(), L"CoInitialize")) return adapters;
  platform::WalkWmiRows(
      L"Select * from Win32_NetworkAdapterConfiguration where IPEnabled=TRUE",
      [&](IWbemServices*, IWbemClassObject* row) {
        adapters.push_back(ReadAdapter(row));
        return !(adapters.back().hasAddresses && !adapters.back().addresses.empty());  // the first address decides
      },
      [](HRESULT result, const wchar_t* step) { Logged(result, step); }, kWmiWaitMs);
  return adapters;
}

}  // namespace

void SetAbandonEvent(void* event) { g_abandon = static_cast<HANDLE>(event); }

bool FlagOn(const std::wstring& text) {
  const std::wstring word = platform::Lower(platform::Trim(text));
  return word == L"1" || word == L"true" || word == L"yes" || word == L"on";
}

MailSettings MergeMailSettings(const EmailSettings& registry, const EmailSettings& ini) {
  MailSettings merged;
  if (registry.alerts == L"1") {
    merged.alertsOn = true;
    SetIfNotEmpty(merged.MailFromOverride, registry.fromOverride.value_or(L""));
    SetIfNotEmpty(merged.MailSendToOverride, registry.sendToOverride.value_or(L""));
    if (registry.address.empty()) {
      merged.complete = false;
    } else {
      merged.MailUser = merged.MailRecipients = merged.MailFromAddress = registry.address;
    }
    if (registry.password) merged.MailPassword = *registry.password;
    SetIfNotEmpty(merged.MailServer, registry.server);
    SetIfNotEmpty(merged.MailPort, registry.port);
    if (registry.server.empty() || registry.port.empty()) merged.complete = false;
    merged.MailAuth = FlagOn(registry.authenticate);
    merged.MailUseSSL = FlagOn(registry.useSsl);
  }

  if (ini.alerts == L"1") {
    merged.alertsOn = true;
    // The INI's switches, where it holds them, override the registry's.
    if (!platform::Trim(ini.useSsl).empty()) merged.MailUseSSL = FlagOn(ini.useSsl);
    if (!platform::Trim(ini.authenticate).empty()) merged.MailAuth = FlagOn(ini.authenticate);
    SetIfNotEmpty(merged.MailSendToOverride, ini.sendToOverride.value_or(L""));
    SetIfNotEmpty(merged.MailFromOverride, ini.fromOverride.value_or(L""));
    SetIfNotEmpty(merged.MailUser, ini.address);
    if (ini.address.empty()) merged.complete = false;

    const std::wstring& registryAddress = registry.address;
    const std::wstring& adminAddress = ini.adminEmail;
    if (registryAddress.empty() || adminAddress.empty()) {
      merged.MailRecipients = merged.MailFromAddress = registryAddress + adminAddress;
    } else {
      merged.MailRecipients = registryAddress + L", " + adminAddress;
      merged.MailFromAddress = adminAddress;
    }
    if (merged.MailRecipients.empty()) merged.complete = false;

    // A password that does not unscramble leaves the field as it was.
    if (!ini.passwordGiven) {
      merged.complete = false;
    } else if (ini.password) {
      merged.MailPassword = *ini.password;
    }
    SetIfNotEmpty(merged.MailPort, ini.port);
    SetIfNotEmpty(merged.MailServer, ini.server);
    if (ini.port.empty() || ini.server.empty()) merged.complete = false;
  }
  return merged;
}

MailSettings LoadMailSettings() {
  return MergeMailSettings(EmailSettings::Load(), EmailSettings::LoadIni(CommonModule::IniPath));
}

bool LoadEmailConfig() { return LoadMailSettings().Ready(); }

std::wstring GetClientName() {
  std::wstring name = modRegistry::ReadText(HKEY_LOCAL_MACHINE, kSettingsKey, L"ClientName");
  if (name.empty())
    name = modRegistry::ReadText(HKEY_LOCAL_MACHINE, std::wstring(Product::kMakerKey) + L"\\TarrowII", L"ClientNameForReports");
  if (name.empty())
    name = modRegistry::ReadText(HKEY_LOCAL_MACHINE, std::wstring(Product::kMakerKey) + L"\\Tarrow", L"ClientNameForReports");
  return name;
}

std::wstring LanIpText(const std::vector<LanAdapter>& adapters) {
  for (const LanAdapter& adapter : adapters) {
    if (!adapter.hasAddresses || adapter.addresses.empty()) continue;
    const std::wstring& first = adapter.addresses.front();
    if (first == L"0.0.0.0") return L"";
    return first + (adapter.dhcpEnabled ? L" (DHCP)" : L" (Static)");
  }
  return L"";
}

std::wstring GetLanIPs() { return LanIpText(QueryAdapters()); }

void SetLanIpsSource(LanIpsSource source) { g_lanIps = source; }

std::wstring AlertHeader(const std::wstring& clientName, const std::wstring& computerName, const std::wstring& lanIps) {
  std::wstring header;
  if (!clientName.empty()) header = L"Client Name:  " + clientName + L"\r\n";
  return header + L"Computer Name:  " + computerName + L"\r\n" + L"LAN IP:  " + lanIps + L"\r\n\r\n";
}

std::wstring AlertFooter(const std::wstring& productTitle, const std::wstring& exeName, uint16_t major,
                         uint16_t minor, uint16_t revision) {
  std::wstring footer = L"\r\n\r\nThis message sent by " + productTitle;
  const std::wstring version =
      std::to_wstring(major) + L"." + std::to_wstring(minor) + L"." + std::to_wstring(revision) + L")";
  const std::wstring program = platform::Lower(exeName + L".exe");
  if (program == platform::Lower(Product::kServiceProgram)) footer += L" (Service Code v" + version;
  else if (program == platform::Lower(Product::kFilterModuleProgram)) footer += L" (Filter Module Code v" + version;
  return footer;
}

bool SendEmail(const std::wstring& subject, const std::wstring& body) {
  const MailSettings settings = LoadMailSettings();
  if (!settings.Ready()) return false;
  const std::wstring client = GetClientName();
  uint16_t major = 0, minor = 0, revision = 0;
  OwnVersion(major, minor, revision);
  const std::wstring lanIps = (g_lanIps ? g_lanIps : GetLanIPs)();
  const std::wstring header = AlertHeader(client, platform::GetEnv(L"computername"), lanIps);
  const std::wstring footer =
      AlertFooter(Product::ProductTitle, CommonModule::AppExeName(), major, minor, revision);

  platform::SmtpRequest request;
  request.server = settings.MailServer;
  int64_t port = 0;
  // A port that is no port fails at the connection, like any unreachable server.
  request.port = platform::ParseInt64(settings.MailPort, port) && port > 0 && port <= 65535
                     ? static_cast<uint16_t>(port)
                     : 0;
  // SSL on: implicit TLS on the SMTPS port, STARTTLS on any other.
  if (settings.MailUseSSL)
    request.security = request.port == 465 ? platform::SmtpSecurity::Implicit : platform::SmtpSecurity::StartTls;
  request.authenticate = settings.MailAuth;
  request.user = settings.MailUser;
  request.password = settings.MailPassword;
  request.connectTimeoutMs = kConnectTimeoutMs;
  request.recipients =
      Addresses(settings.MailSendToOverride.empty() ? settings.MailRecipients : settings.MailSendToOverride);
  request.fromName = Product::ProductLabel;
  request.fromAddress = settings.MailFromOverride.empty() ? settings.MailFromAddress : settings.MailFromOverride;
  request.replyToName = Product::ProductLabel;
  request.replyToAddress = request.fromAddress;
  request.abandonEvent = g_abandon;
  request.subject = subject + L" - " + client;
  request.body = header + body + footer;

  platform::SmtpResult result;
  if (request.port == 0) {
    result = {false, kBadPortCode, L"The SMTP port \"" + settings.MailPort + L"\" is not a port number."};
  } else {
    result = platform::SendSmtpMail(request);
  }
  if (result.ok) return true;
  CommonModule::DPrint(L"SendEmail: (Resuming after error)");
  CommonModule::DPrint(L"- VB Error: " + std::to_wstring(result.code) + L" " + result.error);
  return false;
}

}  // namespace modEmailSvc
