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
  std::wstring replyTo;      // whole Reply-To header text, may be empty
  std::vector<std::wstring> recipients;  // bare addresses
  std::wstring subject;
  std::wstring body;  // any line ends; sent with CRLF

  uint32_t connectTimeoutMs = 60000;
  uint32_t replyTimeoutMs = 60000;   // each read or write of the conversation
  uint32_t totalTimeoutMs = 300000;  // the whole conversation after connecting

  // The DER bytes of one server certificate trusted besides the system's roots (an exact match of
  // the certificate the server presents). Empty in the programs; tests pass their own.
  std::string extraTrustedCertificate;
};

struct SmtpResult {
  bool ok = false;
  long code = 0;       // the server's reply code, or a Winsock or SSPI error, 0 on success
  std::wstring error;  // what went wrong, empty on success
};

SmtpResult SendSmtpMail(const SmtpRequest& request);

// The message text as it goes after DATA: headers, blank line, body, CRLF line ends, dot-stuffed,
// without the closing ".". Exposed for tests.
std::string BuildSmtpMessage(const SmtpRequest& request);

}  // namespace platform
