#pragma once
// The one road by which every program sends mail: the e-mail settings (registry and settings INI),
// whether alerts are on and complete, and the alert mail with its fixed header and footer.
#include <cstdint>
#include <string>
#include <vector>

#include "notify/EmailSettings.h"

namespace modEmailSvc {

// What a mail is sent with. Made afresh for every send from what the sources hold then, so a
// value removed or a flag turned off counts at once.
struct MailSettings {
  std::wstring MailRecipients;  // one address, or two joined by ", "
  std::wstring MailFromAddress;
  std::wstring MailUser;
  std::wstring MailPassword;  // in clear
  std::wstring MailPort;
  std::wstring MailServer;
  bool MailAuth = false;
  bool MailUseSSL = false;
  std::wstring MailSendToOverride;
  std::wstring MailFromOverride;
  bool alertsOn = false;  // by either source's switch
  bool complete = true;   // a gap in one source stays a gap even when the other fills it
  bool Ready() const { return alertsOn && complete; }
};

// The registry's settings where its switch is "1", then the INI's overriding where its own is.
MailSettings MergeMailSettings(const EmailSettings& registry, const EmailSettings& ini);
// Merged from the registry and the running program's settings INI as they are now.
MailSettings LoadMailSettings();
// True when alerts are switched on (registry or INI) and the settings are complete.
bool LoadEmailConfig();
// True when the message was handed to the SMTP server. Alerts off or incomplete: False, no trace.
bool SendEmail(const std::wstring& subject, const std::wstring& body);
// A manual-reset event whose signal abandons a send under way (and every later one); null for none.
void SetAbandonEvent(void* event);
// An INI or registry switch: "1", "true", "yes" and "on" (any case, blanks around) are on.
bool FlagOn(const std::wstring& text);
std::wstring GetClientName();

// ---- The stored mail password (modEmailSvcPassword.cpp) ----
// The one road to the password the e-mail dialog and the bulk road store: DPAPI-protected under
// Product::kEmailPasswordKey, which only Administrators and SYSTEM may open. A scrambled password
// an earlier version left in Email Setup (readable by every user) is moved there and deleted by
// the first reader that may write that key (an elevated program, the service); a reader that may
// not still gets it. True when a password is stored; password receives it.
bool ReadMailPassword(std::wstring& password);
// Stores the password and deletes a scrambled one from before; false when it could not be stored.
bool StoreMailPassword(const std::wstring& password);
// The same for a password in its scrambled form (the bulk INI's); false when it does not unscramble.
bool StoreScrambledMailPassword(const std::wstring& scrambled);
// The first address of the first IP-enabled adapter, with " (DHCP)" or " (Static)"; "" for none.
std::wstring GetLanIPs();
// Where the alert mail's LAN address text comes from: GetLanIPs in this process unless a program
// sets another road (null puts GetLanIPs back). Set before the first send.
using LanIpsSource = std::wstring (*)();
void SetLanIpsSource(LanIpsSource source);

// ---- The parts of the alert mail, for the send and its tests ----

struct LanAdapter {
  bool hasAddresses = false;  // the IPAddress array is not null
  std::vector<std::wstring> addresses;
  bool dhcpEnabled = false;
};
std::wstring LanIpText(const std::vector<LanAdapter>& adapters);

std::wstring AlertHeader(const std::wstring& clientName, const std::wstring& computerName, const std::wstring& lanIps);
// exeName: the running program's executable name without extension, any case.
std::wstring AlertFooter(const std::wstring& productTitle, const std::wstring& exeName, uint16_t major,
                         uint16_t minor, uint16_t revision);

}  // namespace modEmailSvc
