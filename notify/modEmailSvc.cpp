#include "notify/modEmailSvc.h"

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <wbemidl.h>

#include <memory>
#include <mutex>

#include "notify/modBase85.h"
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
constexpr const wchar_t* kEmailKey = Product::kEmailSetupKey;
constexpr wchar_t kIniSection[] = L"EmailConfig";
constexpr uint32_t kConnectTimeoutMs = 60 * 1000;
constexpr long kBadPortCode = 10022;  // Winsock's "invalid argument"
constexpr long kWmiWaitMs = 30 * 1000;  // WMI that does not answer must not hold an alert for ever

// The e-mail dialog sends from a thread of its own: the record is replaced and copied under a lock.
EmailSettings g_settings;
std::mutex g_settingsLock;
HANDLE g_abandon = nullptr;
LanIpsSource g_lanIps = nullptr;

std::wstring RegText(const std::wstring& key, const std::wstring& name) {
  Variant value;
  modRegistry::fReadValue(L"HKLM", key, name, L"S", Variant(L""), value);
  return value.Text();
}

std::wstring IniText(const std::wstring& key) { return CommonModule::ReadIni(CommonModule::IniPath, kIniSection, key); }

void SetIfNotEmpty(std::wstring& field, const std::wstring& value) {
  if (!value.empty()) field = value;
}

// An unreadable stored password leaves the field as it was.
void Unscramble(const std::wstring& stored, std::wstring& field) {
  std::wstring password;
  if (modBase85::UnscrambleString(stored, modBase85::kScrambleKey, password)) field = password;
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

const EmailSettings& Settings() { return g_settings; }

void SetAbandonEvent(void* event) { g_abandon = static_cast<HANDLE>(event); }

bool FlagOn(const std::wstring& text) {
  const std::wstring word = platform::Lower(platform::Trim(text));
  return word == L"1" || word == L"true" || word == L"yes" || word == L"on";
}

bool LoadEmailConfig() {
  EmailSettings loaded;
  bool alertsOn = false;
  bool complete = true;

  if (RegText(kSettingsKey, L"EmailAlerts") == L"1") {
    alertsOn = true;
    SetIfNotEmpty(loaded.MailFromOverride, RegText(kEmailKey, L"FromEmail"));
    SetIfNotEmpty(loaded.MailSendToOverride, RegText(kEmailKey, L"SendToEmail"));
    const std::wstring address = RegText(kEmailKey, L"EmailAddress");
    if (address.empty()) {
      complete = false;
    } else {
      loaded.MailUser = loaded.MailRecipients = loaded.MailFromAddress = address;
    }
    ReadMailPassword(loaded.MailPassword);
    const std::wstring server = RegText(kEmailKey, L"SMTPServer");
    const std::wstring port = RegText(kEmailKey, L"SMTPPort");
    SetIfNotEmpty(loaded.MailServer, server);
    SetIfNotEmpty(loaded.MailPort, port);
    if (server.empty() || port.empty()) complete = false;
    loaded.MailAuth = FlagOn(RegText(kEmailKey, L"Authenticate"));
    loaded.MailUseSSL = FlagOn(RegText(kEmailKey, L"UseSSL"));
  }

  if (IniText(L"EmailAlerts") == L"1") {
    alertsOn = true;
    // The INI's switches, where it holds them, override the registry's.
    const std::wstring useSsl = IniText(L"UseSSL"), auth = IniText(L"SMTPAuth");
    if (!platform::Trim(useSsl).empty()) loaded.MailUseSSL = FlagOn(useSsl);
    if (!platform::Trim(auth).empty()) loaded.MailAuth = FlagOn(auth);
    SetIfNotEmpty(loaded.MailSendToOverride, IniText(L"SendToEmail"));
    SetIfNotEmpty(loaded.MailFromOverride, IniText(L"FromEmail"));
    const std::wstring user = IniText(L"SMTPUserName");
    SetIfNotEmpty(loaded.MailUser, user);
    if (user.empty()) complete = false;

    const std::wstring registryAddress = RegText(kEmailKey, L"EmailAddress");
    const std::wstring adminAddress = IniText(L"AdminEmail");
    if (registryAddress.empty() || adminAddress.empty()) {
      loaded.MailRecipients = loaded.MailFromAddress = registryAddress + adminAddress;
    } else {
      loaded.MailRecipients = registryAddress + L", " + adminAddress;
      loaded.MailFromAddress = adminAddress;
    }
    if (loaded.MailRecipients.empty()) complete = false;

    const std::wstring password = IniText(L"SMTPPassword");
    if (password.empty()) {
      complete = false;
    } else {
      Unscramble(password, loaded.MailPassword);
    }
    const std::wstring port = IniText(L"SMTPPort");
    const std::wstring server = IniText(L"SMTPServer");
    SetIfNotEmpty(loaded.MailPort, port);
    SetIfNotEmpty(loaded.MailServer, server);
    if (port.empty() || server.empty()) complete = false;
  }
  std::lock_guard<std::mutex> hold(g_settingsLock);
  g_settings = std::move(loaded);
  return alertsOn && complete;
}

std::wstring GetClientName() {
  std::wstring name = RegText(kSettingsKey, L"ClientName");
  if (name.empty()) name = RegText(std::wstring(Product::kMakerKey) + L"\\TarrowII", L"ClientNameForReports");
  if (name.empty()) name = RegText(std::wstring(Product::kMakerKey) + L"\\Tarrow", L"ClientNameForReports");
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
  if (!LoadEmailConfig()) return false;
  EmailSettings settings;
  {
    std::lock_guard<std::mutex> hold(g_settingsLock);
    settings = g_settings;
  }
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
