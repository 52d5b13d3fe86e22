#pragma once
// A small SMTP client: one plain-text message to one server, over Winsock, with TLS through
// SChannel. Every wait is bounded; nothing is thrown.
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

enum class SmtpSecurity {
  None,      // plain text throughout; STARTTLS is not attempted
  Implicit,  // TLS from the first byte (port 465)
  StartTls,  // plain greeting, then STARTTLS, which the server must offer
};

struct SmtpRequest {
  std::wstring server;
  uint16_t port = 25;
  SmtpSecurity security = SmtpSecurity::None;
  bool authenticate = false;  // AUTH LOGIN (PLAIN when the server offers only that)
  std::wstring user;
  std::wstring password;

  std::wstring fromName;     // display name, may be empty
  std::wstring fromAddress;  // bare address: the envelope sender and the From line
  std::wstring replyToName;     // display name of the Reply-To line, may be empty
  std::wstring replyToAddress;  // bare address; empty: no Reply-To line
  std::vector<std::wstring> recipients;  // bare addresses; each refused when it holds control
                                         // characters, "<", ">" or '"'

  std::wstring subject;
  std::wstring body;  // any line ends; sent with CRLF

  uint32_t connectTimeoutMs = 60000;  // name resolution and the connection, each
  uint32_t replyTimeoutMs = 60000;   // each read or write of the conversation
  uint32_t totalTimeoutMs = 300000;  // the whole conversation after connecting

  // The DER bytes of one server certificate trusted besides the system's roots (an exact match of
  // the certificate the server presents). Empty in the programs; tests pass their own.
  std::string extraTrustedCertificate;

  // A manual-reset event (HANDLE); once it is signalled the send is abandoned within a fraction
  // of a second, wherever it waits. Null: never abandoned.
  void* abandonEvent = nullptr;
};

struct SmtpResult {
  bool ok = false;
  // The server's reply code, or a Winsock or SSPI error (WSAETIMEDOUT for a time-out,
  // ERROR_CANCELLED when abandoned), 0 on success.
  long code = 0;
  std::wstring error;  // what went wrong, empty on success
};

SmtpResult SendSmtpMail(const SmtpRequest& request);

// The message text as it goes after DATA: headers, blank line, body, CRLF line ends, dot-stuffed,
// without the closing ".". Header lines are folded to at most 78 characters at blanks; a text
// with a word too long for that (or not ASCII) goes as encoded words, so no line passes 998.
// Exposed for tests.
std::string BuildSmtpMessage(const SmtpRequest& request);

// True for an address that can stand between "<" and ">" in the envelope and the headers: at
// most 254 characters, none of them a control character, "<", ">" or '"'.
bool SmtpAddressOk(const std::wstring& address);

}  // namespace platform
