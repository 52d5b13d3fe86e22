#pragma once
// The mail settings as values. EmailSettings is what one source keeps: the registry (the settings
// key's switch, Email Setup and the protected password), which the e-mail dialog and the bulk road
// save, or an INI's [EmailConfig], which an administrator writes by hand. MailSettings is what a
// mail is sent with, made of both. Every value name and INI key of the mail settings is spelled
// in EmailSettings.cpp alone.
#include <optional>
#include <string>

namespace modEmailSvc {

struct EmailSettings {
  // The switches are kept as their source holds them: the dialog writes "1" or "0", the bulk road
  // an INI's own word.
  std::wstring alerts;        // "1": alerts on
  std::wstring address;       // registry: user, recipient and sender; INI: the user name
  std::wstring server;
  std::wstring port;
  std::wstring authenticate;  // a switch
  std::wstring useSsl;        // a switch
  // None: Save leaves what is stored (the dialog never sets them).
  std::optional<std::wstring> fromOverride;
  std::optional<std::wstring> sendToOverride;
  // In clear. None: none given (Save keeps the stored one; an INI's that does not unscramble).
  std::optional<std::wstring> password;
  // INI only: a password was written there, whether or not it unscrambles.
  bool passwordGiven = false;
  // INI only: a second recipient, who is then the sender.
  std::wstring adminEmail;

  // The registry's settings. A scrambled password an earlier version left is moved to the
  // protected store on the way (see ReadMailPassword).
  static EmailSettings Load();
  // An INI's [EmailConfig]. Its scrambled form carries one byte a character (codes 0 to 255), so
  // no password beyond that comes from an INI: the dialog's protected store takes any.
  static EmailSettings LoadIni(const std::wstring& iniPath);
  // What the bulk road copies from its INI: [EmailConfig] under the switch of its [Config].
  static EmailSettings LoadBulkIni(const std::wstring& iniPath);
  // To the registry, the password first: when a password given cannot be stored, nothing is
  // written and the result is false.
  bool Save() const;

  bool operator==(const EmailSettings&) const = default;
};

// Whether alerts are switched on, by the registry's switch or the settings INI's.
bool EmailAlertsSwitchedOn();

}  // namespace modEmailSvc
