// The mail client and the alert mail against the local SMTP sink that the test fixture runs
// (tests/alerts/smtp_sink.py): plain, STARTTLS, SMTPS, AUTH, dot-stuffing, a silent server, and the
// settings that decide whether anything is sent at all.
#include <gtest/gtest.h>
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <psapi.h>
#include <sddl.h>

#include <cstring>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "notify/modBase85.h"
#include "notify/modEmailSvc.h"
#include "common/CommonModule.h"
#include "common/Product.h"
#include "platform/Handle.h"
#include "platform/Smtp.h"
#include "platform/Text.h"
#include "tests/support/AccessCheck.h"
#include "tests/support/MailPasswordChecks.h"
#include "tests/support/ProductState.h"
#include "tests/support/TestSupport.h"

namespace {

// The programs build these at start-up; this test stands in for them.
struct ProductNames : ::testing::Environment {
  void SetUp() override {
    Product::ProductLabel = testsupport::kProductName;
    Product::ProductTitle = std::wstring(testsupport::kProductName) + L"  v9.8.7.6";
  }
};
::testing::Environment* const kProductNames = ::testing::AddGlobalTestEnvironment(new ProductNames);

using testsupport::ReadFileBytes;

constexpr uint16_t kPlainPort = 47025;     // STARTTLS and AUTH offered
constexpr uint16_t kSmtpsPort = 47026;     // TLS from the first byte
constexpr uint16_t kSilentPort = 47027;    // accepts, never answers
constexpr uint16_t kNoTlsPort = 47028;     // no STARTTLS
constexpr uint16_t kClosedPort = 47029;    // nothing listens
constexpr uint16_t kUnknownCaSmtpsPort = 47030;     // certificate of a CA nobody knows, CA not sent
constexpr uint16_t kUnknownCaStartTlsPort = 47031;  // the same behind STARTTLS
constexpr uint16_t kIpv6Port = 47032;               // plain SMTP on ::1, where IPv6 exists
constexpr uint16_t kEndlessGreetingPort = 47033;    // long "220-" lines without end
constexpr uint16_t kEndlessEhloPort = 47034;        // after EHLO, short "250-" lines without end
constexpr uint16_t kTenThousandLinesPort = 47035;   // after EHLO, 10,000 lines "250-" and an end

using testsupport::kEmailSetupKey;
using testsupport::kMakerKey;
using testsupport::kSettingsKey;

std::wstring SinkDir() { return testsupport::TestsDir() + L"smtpsink\\"; }

std::string Token(const char* what) { return std::string(what) + "-" + std::to_string(GetTickCount()) + "-" +
                                             std::to_string(GetCurrentProcessId()); }

std::string FindMail(const std::string& token) { return testsupport::WaitForSinkMail(token); }

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

platform::SmtpRequest Request(uint16_t port, const std::string& token) {
  platform::SmtpRequest r;
  r.server = L"127.0.0.1";
  r.port = port;
  r.fromName = testsupport::kProductName;
  r.fromAddress = L"alerts@example.test";
  r.recipients = {L"admin@example.test", L"second@example.test"};
  r.subject = platform::FromUtf8("Alert " + token);
  r.body = L"First line\r\nSecond line";
  r.connectTimeoutMs = 5000;
  r.replyTimeoutMs = 5000;
  return r;
}

std::string SinkCertificate() { return ReadFileBytes(SinkDir() + L"cert.der"); }

// ---- The mail client ------------------------------------------------------------------------

TEST(SmtpClient, PlainSendCarriesEnvelopeHeadersAndBody) {
  const std::string token = Token("plain");
  const platform::SmtpResult result = platform::SendSmtpMail(Request(kPlainPort, token));
  ASSERT_TRUE(result.ok) << platform::ToUtf8(result.error);
  const std::string mail = FindMail(token);
  ASSERT_FALSE(mail.empty());
  EXPECT_TRUE(Has(mail, "X-Sink-From: alerts@example.test\r\n"));
  EXPECT_TRUE(Has(mail, "X-Sink-To: admin@example.test,second@example.test\r\n"));
  EXPECT_TRUE(Has(mail, "X-Sink-TLS: no\r\n"));
  EXPECT_TRUE(Has(mail, "X-Sink-Login: \r\n"));
  EXPECT_TRUE(Has(mail, std::string("\r\nFrom: \"") + testsupport::kProductNameA + "\" <alerts@example.test>\r\n"));
  EXPECT_TRUE(Has(mail, "\r\nTo: admin@example.test, second@example.test\r\n"));
  EXPECT_TRUE(Has(mail, "\r\nSubject: Alert " + token + "\r\n"));
  EXPECT_TRUE(Has(mail, "\r\nDate: "));
  EXPECT_TRUE(Has(mail, "\r\nMIME-Version: 1.0\r\n"));
  EXPECT_TRUE(Has(mail, "\r\nContent-Type: text/plain; charset=utf-8\r\n"));
  EXPECT_TRUE(Has(mail, "\r\n\r\nFirst line\r\nSecond line\r\n"));
  // The greeting names the machine by its fully qualified name, where it has one.
  wchar_t name[256] = {};
  DWORD size = 256;
  if (GetComputerNameExW(ComputerNameDnsFullyQualified, name, &size) && size > 0 &&
      std::wstring(name).find_first_of(L" _") == std::wstring::npos) {
    EXPECT_TRUE(Has(mail, "X-Sink-Helo: " + platform::ToUtf8(name) + "\r\n")) << mail;
  }
}

// A server reached over IPv6, given as an address or found by name.
TEST(SmtpClient, Ipv6ServerIsReached) {
  WSADATA winsock{};
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &winsock), 0);
  SOCKET probe = socket(AF_INET6, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in6 loopback{};
  loopback.sin6_family = AF_INET6;
  loopback.sin6_port = htons(kIpv6Port);
  loopback.sin6_addr = in6addr_loopback;
  const bool listening = probe != INVALID_SOCKET &&
                         connect(probe, reinterpret_cast<const sockaddr*>(&loopback), sizeof loopback) == 0;
  if (probe != INVALID_SOCKET) closesocket(probe);
  WSACleanup();
  if (!listening) GTEST_SKIP() << "no IPv6 loopback here";
  const std::string token = Token("ipv6");
  platform::SmtpRequest request = Request(kIpv6Port, token);
  request.server = L"::1";
  const platform::SmtpResult result = platform::SendSmtpMail(request);
  ASSERT_TRUE(result.ok) << platform::ToUtf8(result.error);
  EXPECT_FALSE(FindMail(token).empty());
}

TEST(SmtpClient, BodyLinesKeepTheirDotsAndGetCrlfEnds) {
  const std::string token = Token("dots");
  platform::SmtpRequest request = Request(kPlainPort, token);
  // A lone "." would end the message early without stuffing; bare LF and CR ends become CRLF.
  request.body = L"before\n.\n.hidden\r..two\r\nafter .\n.";
  const platform::SmtpResult result = platform::SendSmtpMail(request);
  ASSERT_TRUE(result.ok) << platform::ToUtf8(result.error);
  const std::string mail = FindMail(token);
  EXPECT_TRUE(Has(mail, "\r\n\r\nbefore\r\n.\r\n.hidden\r\n..two\r\nafter .\r\n.\r\n")) << mail;
}

TEST(SmtpClient, NonAsciiSubjectAndBodyAreEncoded) {
  const std::string token = Token("utf8");
  platform::SmtpRequest request = Request(kPlainPort, token);
  request.subject = platform::FromUtf8("Gr\xC3\xBC\xC3\x9F" "e " + token);
  request.body = platform::FromUtf8("K\xC3\xA4se = gut " + token);
  ASSERT_TRUE(platform::SendSmtpMail(request).ok);
  const std::string mail = FindMail(token);
  EXPECT_TRUE(Has(mail, "\r\nSubject: =?UTF-8?B?")) << mail;
  EXPECT_TRUE(Has(mail, "\r\nContent-Transfer-Encoding: quoted-printable\r\n")) << mail;
  EXPECT_TRUE(Has(mail, "\r\n\r\nK=C3=A4se =3D gut " + token + "\r\n")) << mail;
}

// AUTH LOGIN over each kind of connection; the sink's certificate is trusted through the seam.
TEST(SmtpClient, AuthenticatedSendOverEveryConnectionKind) {
  struct Case {
    const char* name;
    uint16_t port;
    platform::SmtpSecurity security;
    const char* tls;
  };
  const Case cases[] = {
      {"starttls", kPlainPort, platform::SmtpSecurity::StartTls, "yes"},
      {"smtps", kSmtpsPort, platform::SmtpSecurity::Implicit, "yes"},
      {"plain", kNoTlsPort, platform::SmtpSecurity::None, "no"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string token = Token(c.name);
    platform::SmtpRequest request = Request(c.port, token);
    request.security = c.security;
    request.extraTrustedCertificate = SinkCertificate();
    ASSERT_FALSE(request.extraTrustedCertificate.empty());
    request.authenticate = true;
    request.user = L"alice";
    request.password = L"s3cret";
    const platform::SmtpResult result = platform::SendSmtpMail(request);
    ASSERT_TRUE(result.ok) << platform::ToUtf8(result.error);
    const std::string mail = FindMail(token);
    EXPECT_TRUE(Has(mail, std::string("X-Sink-TLS: ") + c.tls + "\r\n")) << mail;
    EXPECT_TRUE(Has(mail, "X-Sink-Login: alice\r\n"));
  }
}

// Every refusal: the send fails, says why, and nothing is delivered.
TEST(SmtpClient, RefusalsFailWithoutDelivering) {
  struct Case {
    const char* name;
    uint16_t port;
    platform::SmtpSecurity security;
    bool trustSink;
    const wchar_t* password;  // nullptr: no authentication
    long code;                // expected code, 0: any
    const wchar_t* server = L"127.0.0.1";
  };
  const Case cases[] = {
      // Production trusts only the system's roots: a self-signed server certificate is refused.
      {"untrusted-starttls", kPlainPort, platform::SmtpSecurity::StartTls, false, nullptr, 0},
      {"untrusted-smtps", kSmtpsPort, platform::SmtpSecurity::Implicit, false, nullptr, 0},
      // The chain stops short of any root, under the name the certificate carries: refused,
      // although the system's policy check passes such a chain.
      {"unknown-ca-smtps", kUnknownCaSmtpsPort, platform::SmtpSecurity::Implicit, false, L"s3cret",
       CERT_E_CHAINING, L"localhost"},
      {"unknown-ca-starttls", kUnknownCaStartTlsPort, platform::SmtpSecurity::StartTls, false, L"s3cret",
       CERT_E_CHAINING, L"localhost"},
      // Asked for TLS, the client never falls back to plain text.
      {"no-starttls", kNoTlsPort, platform::SmtpSecurity::StartTls, true, L"s3cret", 0},
      {"wrong-password", kPlainPort, platform::SmtpSecurity::StartTls, true, L"wrong", 535},
      {"nothing-listens", kClosedPort, platform::SmtpSecurity::None, false, nullptr, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string token = Token(c.name);
    platform::SmtpRequest request = Request(c.port, token);
    request.server = c.server;
    request.security = c.security;
    if (c.trustSink) request.extraTrustedCertificate = SinkCertificate();
    if (c.password) {
      request.authenticate = true;
      request.user = L"alice";
      request.password = c.password;
    }
    const platform::SmtpResult result = platform::SendSmtpMail(request);
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.error.empty());
    if (c.code) {
      EXPECT_EQ(result.code, c.code) << platform::ToUtf8(result.error);
    }
    WIN32_FIND_DATAW found{};
    bool delivered = false;
    HANDLE search = FindFirstFileW((SinkDir() + L"mail\\*.eml").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do delivered |= Has(ReadFileBytes(SinkDir() + L"mail\\" + found.cFileName), token);
      while (FindNextFileW(search, &found));
      FindClose(search);
    }
    EXPECT_FALSE(delivered);
  }
}

bool AnyMailHas(const std::string& token) {
  for (const std::string& mail : testsupport::SinkMails())
    if (Has(mail, token)) return true;
  return false;
}

// An address that could close the brackets or start a command of its own never reaches the server.
TEST(SmtpClient, AddressesThatBreakTheEnvelopeAreRefused) {
  struct Case {
    const char* name;
    const wchar_t* to;
    const wchar_t* from;
  };
  const Case cases[] = {
      {"crlf-rcpt", L"admin@example.test>\r\nRCPT TO:<evil@example.test", L"alerts@example.test"},
      {"angle-rcpt", L"admin@example.test> NOTIFY=NEVER <x@example.test", L"alerts@example.test"},
      {"quote-rcpt", L"\"admin\"@example.test", L"alerts@example.test"},
      {"lf-from", L"admin@example.test", L"alerts@example.test\nBcc: evil@example.test"},
      {"tab-from", L"admin@example.test", L"alerts@\texample.test"},
      {"empty-from", L"admin@example.test", L""},
  };
  std::vector<std::string> tokens;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string token = Token(c.name);
    tokens.push_back(token);
    platform::SmtpRequest request = Request(kPlainPort, token);
    request.recipients = {c.to};
    request.fromAddress = c.from;
    const platform::SmtpResult result = platform::SendSmtpMail(request);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.code, WSAEINVAL) << platform::ToUtf8(result.error);
  }
  // Sends are synchronous: once this one is in, none of the above was delivered.
  const std::string last = Token("last");
  ASSERT_TRUE(platform::SendSmtpMail(Request(kPlainPort, last)).ok);
  ASSERT_FALSE(FindMail(last).empty());
  for (const std::string& token : tokens) EXPECT_FALSE(AnyMailHas(token)) << token;
}

// A long subject and recipient list arrive folded into lines of at most 78 characters and read back
// as sent; a non-ASCII display name is encoded and leaves the address readable.
TEST(SmtpClient, LongHeadersAreFoldedAndNamesEncoded) {
  const std::string token = Token("fold");
  platform::SmtpRequest request = Request(kPlainPort, token);
  std::string subject = "Blocked " + token;
  for (int i = 0; i < 12; ++i) subject += " word" + std::to_string(i) + "-padding";
  request.subject = platform::FromUtf8(subject);
  request.recipients.clear();
  for (int i = 0; i < 8; ++i) request.recipients.push_back(L"recipient" + std::to_wstring(i) + L"@example.test");
  request.fromName = platform::FromUtf8(std::string("Z\xC3\xBC") + "rich " + testsupport::kProductNameA);
  request.replyToName = request.fromName;
  request.replyToAddress = L"reply@example.test";
  ASSERT_TRUE(platform::SendSmtpMail(request).ok);
  const std::string mail = FindMail(token);
  ASSERT_FALSE(mail.empty());
  const std::string headers = mail.substr(0, mail.find("\r\n\r\n"));
  for (size_t start = 0; start < headers.size();) {
    size_t end = headers.find("\r\n", start);
    if (end == std::string::npos) end = headers.size();
    // The sink's own lines come first; the message's follow.
    if (headers.compare(start, 7, "X-Sink-") != 0) {
      EXPECT_LE(end - start, 78u) << headers.substr(start, end - start);
    }
    start = end + 2;
  }
  // Unfolding (dropping each CRLF before a blank) gives the header back.
  std::string unfolded;
  for (size_t i = 0; i < headers.size(); ++i) {
    if (headers.compare(i, 3, "\r\n ") == 0) {
      i += 1;
      continue;
    }
    unfolded += headers[i];
  }
  EXPECT_TRUE(Has(unfolded, "\r\nSubject: " + subject + "\r\n")) << headers;
  EXPECT_TRUE(Has(unfolded, "recipient0@example.test, recipient1@example.test")) << headers;
  EXPECT_TRUE(Has(unfolded, "\r\nFrom: =?UTF-8?B?")) << headers;
  EXPECT_TRUE(Has(unfolded, "?= <alerts@example.test>\r\n")) << headers;
  EXPECT_TRUE(Has(unfolded, "\r\nReply-To: =?UTF-8?B?")) << headers;
  EXPECT_TRUE(Has(unfolded, "?= <reply@example.test>\r\n")) << headers;
}

// Encoded words (RFC 2047, "B" form) decoded, and the blanks between two of them dropped.
std::string DecodedHeader(const std::string& value) {
  auto base64 = [](const std::string& text) {
    std::string out;
    uint32_t bits = 0;
    int count = 0;
    for (char c : text) {
      const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
      const char* at = c ? std::strchr(digits, c) : nullptr;
      if (!at) continue;
      bits = (bits << 6) | uint32_t(at - digits);
      if ((count += 6) >= 8) out += char((bits >> (count -= 8)) & 0xFF);
    }
    return out;
  };
  std::string out;
  size_t i = 0;
  bool lastEncoded = false;
  while (i < value.size()) {
    const size_t start = value.find("=?UTF-8?B?", i);
    const size_t end = start == std::string::npos ? std::string::npos : value.find("?=", start + 10);
    if (end == std::string::npos) return out + value.substr(i);
    const std::string between = value.substr(i, start - i);
    if (!(lastEncoded && between.find_first_not_of(" \t") == std::string::npos)) out += between;
    out += base64(value.substr(start + 10, end - start - 10));
    lastEncoded = true;
    i = end + 2;
  }
  return out;
}

// The message's header lines (after the sink's own), each as sent, and unfolded by name.
struct Headers {
  std::vector<std::string> lines;
  std::string Unfolded(const std::string& name) const {
    std::string value;
    bool in = false;
    for (const std::string& line : lines) {
      if (!line.empty() && (line[0] == ' ' || line[0] == '\t')) {
        if (in) value += line;
      } else {
        in = line.compare(0, name.size() + 2, name + ": ") == 0;
        if (in) value = line.substr(name.size() + 2);
      }
    }
    return value;
  }
};
Headers HeadersOf(const std::string& message) {
  Headers h;
  const std::string head = message.substr(0, message.find("\r\n\r\n"));
  for (size_t start = 0; start <= head.size();) {
    size_t end = head.find("\r\n", start);
    if (end == std::string::npos) end = head.size();
    if (head.compare(start, 7, "X-Sink-") != 0) h.lines.push_back(head.substr(start, end - start));
    start = end + 2;
  }
  return h;
}

// A name or subject with a word longer than any line (a client name of 1,200 characters, say)
// gives no header line over 998 characters and reads back as given.
TEST(SmtpClient, LongWordsNeverMakeAHeaderLineOverTheLimit) {
  const std::string word(1200, 'k');
  struct Case {
    const char* name;
    std::string subject, fromName, replyToName;
  } cases[] = {
      {"subject word", "Test Email - " + word, testsupport::kProductNameA, ""},
      {"subject word, not ASCII", "Blocked - " + word + "\xC3\xA9" + word, testsupport::kProductNameA, ""},
      {"sender name", "Alert", word, ""},
      {"sender name with quotes", "Alert", "\"" + word + "\" \\ x", ""},
      {"reply-to name", "Alert", testsupport::kProductNameA, "a " + word + " b"},
      {"word just over a line", "Alert " + std::string(77, 'w'), testsupport::kProductNameA, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string token = Token("longword");
    platform::SmtpRequest request = Request(kPlainPort, token);
    request.subject = platform::FromUtf8(c.subject + " " + token);
    request.body = platform::FromUtf8(token);  // the sink's mail is found by it; the subject may be encoded
    request.fromName = platform::FromUtf8(c.fromName);
    request.replyToName = platform::FromUtf8(c.replyToName);
    if (!c.replyToName.empty()) request.replyToAddress = L"reply@example.test";
    const platform::SmtpResult result = platform::SendSmtpMail(request);
    ASSERT_TRUE(result.ok) << platform::ToUtf8(result.error);
    const std::string mail = FindMail(token);
    ASSERT_FALSE(mail.empty());
    const Headers headers = HeadersOf(mail);
    for (const std::string& line : headers.lines) EXPECT_LE(line.size(), 998u) << line.substr(0, 60);
    EXPECT_EQ(DecodedHeader(headers.Unfolded("Subject")), c.subject + " " + token);
    // A name that needs no encoding stays a quoted string.
    const std::string shownName =
        c.fromName == testsupport::kProductNameA ? std::string("\"") + testsupport::kProductNameA + "\"" : c.fromName;
    EXPECT_EQ(DecodedHeader(headers.Unfolded("From")), shownName + " <alerts@example.test>");
    if (!c.replyToName.empty()) {
      EXPECT_EQ(DecodedHeader(headers.Unfolded("Reply-To")), c.replyToName + " <reply@example.test>");
    }
  }
}

// An address no header line could hold is refused before anything is sent.
TEST(SmtpClient, AddressLongerThanTheEnvelopeAllowsIsRefused) {
  EXPECT_TRUE(platform::SmtpAddressOk(std::wstring(241, L'a') + L"@example.test"));  // 254
  EXPECT_FALSE(platform::SmtpAddressOk(std::wstring(242, L'a') + L"@example.test"));
  platform::SmtpRequest request = Request(kPlainPort, Token("longaddress"));
  request.recipients = {std::wstring(1200, L'a') + L"@example.test"};
  EXPECT_EQ(platform::SendSmtpMail(request).code, WSAEINVAL);
}

// A server (or anyone between) that never ends a reply, the greeting included, ends the session
// with an error that names the cap, long before any time limit, and the client's memory stays
// small. Each case runs in a process of its own, so the peak is this send's.
TEST(SmtpClient, ReplyThatNeverEndsHitsTheCap) {
  struct Case {
    const char* name;
    uint16_t port;
    const wchar_t* cap;
  } cases[] = {
      {"endless greeting of long lines", kEndlessGreetingPort, L"limit of 65536 bytes for one reply"},
      {"endless EHLO reply of short lines", kEndlessEhloPort, L"limit of 100 lines for one reply"},
      {"EHLO reply of 10,000 lines", kTenThousandLinesPort, L"limit of 100 lines for one reply"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PROCESS_MEMORY_COUNTERS before{};
    ASSERT_TRUE(GetProcessMemoryInfo(GetCurrentProcess(), &before, sizeof before));
    platform::SmtpRequest request = Request(c.port, Token("flood"));
    request.replyTimeoutMs = 30000;
    request.totalTimeoutMs = 60000;
    const platform::SmtpResult result = platform::SendSmtpMail(request);
    PROCESS_MEMORY_COUNTERS after{};
    ASSERT_TRUE(GetProcessMemoryInfo(GetCurrentProcess(), &after, sizeof after));
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.code, WSAEMSGSIZE) << "not a time-out or a broken connection: " << platform::ToUtf8(result.error);
    EXPECT_TRUE(platform::Contains(result.error, c.cap)) << platform::ToUtf8(result.error);
    EXPECT_LT(after.PeakWorkingSetSize, before.PeakWorkingSetSize + 16 * 1024 * 1024)
        << "peak working set grew by " << (after.PeakWorkingSetSize - before.PeakWorkingSetSize) / 1024 << " KiB";
  }
}

// A stop request ends a send that waits on a silent server at once, not after the time-out.
TEST(SmtpClient, AbandonEventEndsAWaitingSend) {
  platform::UniqueKernelHandle abandon(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(abandon);
  platform::SmtpRequest request = Request(kSilentPort, Token("abandon"));
  request.replyTimeoutMs = 60000;
  request.abandonEvent = abandon.get();
  HANDLE timer = CreateThread(
      nullptr, 0,
      [](LPVOID event) -> DWORD {
        Sleep(500);
        SetEvent(static_cast<HANDLE>(event));
        return 0;
      },
      abandon.get(), 0, nullptr);
  ASSERT_NE(timer, nullptr);
  platform::UniqueKernelHandle timerOwner(timer);
  const DWORD start = GetTickCount();
  const platform::SmtpResult result = platform::SendSmtpMail(request);
  const DWORD elapsed = GetTickCount() - start;
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.code, static_cast<long>(ERROR_CANCELLED)) << platform::ToUtf8(result.error);
  EXPECT_LT(elapsed, 20000u) << "the send waited for its time-out";
  WaitForSingleObject(timer, 5000);
}

TEST(SmtpClient, SilentServerTimesOut) {
  platform::SmtpRequest request = Request(kSilentPort, Token("silent"));
  request.replyTimeoutMs = 1500;
  const DWORD start = GetTickCount();
  const platform::SmtpResult result = platform::SendSmtpMail(request);
  const DWORD elapsed = GetTickCount() - start;
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.code, WSAETIMEDOUT) << platform::ToUtf8(result.error);
  EXPECT_GE(elapsed, 1000u);
  EXPECT_LT(elapsed, 6000u);
}

// ---- The alert mail's parts -----------------------------------------------------------------

TEST(AlertMail, HeaderTexts) {
  EXPECT_EQ(modEmailSvc::AlertHeader(L"Acme", L"PC1", L"10.0.0.5 (DHCP)"),
            L"Client Name:  Acme\r\nComputer Name:  PC1\r\nLAN IP:  10.0.0.5 (DHCP)\r\n\r\n");
  EXPECT_EQ(modEmailSvc::AlertHeader(L"", L"PC1", L""), L"Computer Name:  PC1\r\nLAN IP:  \r\n\r\n");
}

TEST(AlertMail, FooterNamesTheSendingProgram) {
  const std::wstring title = std::wstring(testsupport::kProductName) + L"  v1.2.0.3";
  const std::wstring base = L"\r\n\r\nThis message sent by " + title;
  EXPECT_EQ(modEmailSvc::AlertFooter(title, testsupport::kServiceName, 1, 2, 3), base + L" (Service Code v1.2.3)");
  EXPECT_EQ(modEmailSvc::AlertFooter(title, platform::Lower(testsupport::kFilterModuleEventSource), 4, 0, 12),
            base + L" (Filter Module Code v4.0.12)");
  EXPECT_EQ(modEmailSvc::AlertFooter(title, testsupport::kProductName, 1, 2, 3), base);
  EXPECT_EQ(modEmailSvc::AlertFooter(title, std::wstring(testsupport::kServiceName) + L"_old", 1, 2, 3), base);
}

TEST(AlertMail, LanAddressIsTheFirstAddressSeen) {
  using A = modEmailSvc::LanAdapter;
  EXPECT_EQ(modEmailSvc::LanIpText({}), L"");
  EXPECT_EQ(modEmailSvc::LanIpText({A{false, {}, true}, A{true, {L"192.168.1.20", L"fe80::1"}, true}}),
            L"192.168.1.20 (DHCP)");
  EXPECT_EQ(modEmailSvc::LanIpText({A{true, {L"10.1.1.1"}, false}}), L"10.1.1.1 (Static)");
  EXPECT_EQ(modEmailSvc::LanIpText({A{true, {L"0.0.0.0"}, true}, A{true, {L"10.1.1.1"}, false}}), L"");
}

TEST(AlertMail, LanAddressFromWmiHasItsForm) {
  const std::wstring text = modEmailSvc::GetLanIPs();
  if (!text.empty()) {
    EXPECT_TRUE(platform::EndsWith(text, L" (DHCP)") || platform::EndsWith(text, L" (Static)"))
        << platform::ToUtf8(text);
  }
}

// ---- Settings and the send ------------------------------------------------------------------

class EmailSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Clear();
    CommonModule::IniPath = ini_ / testsupport::kSettingsIni;
  }
  void TearDown() override { Clear(); }
  static void Clear() {
    testsupport::RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, kEmailSetupKey);
    testsupport::RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, kMakerKey + std::wstring(L"\\TarrowII"));
    testsupport::RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, kMakerKey + std::wstring(L"\\Tarrow"));
    for (const wchar_t* value : {L"EmailAlerts", L"ClientName"}) {
      HKEY key = nullptr;
      if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, value);
        RegCloseKey(key);
      }
    }
  }
  static void Reg(const std::wstring& name, const std::wstring& value) {
    ASSERT_TRUE(testsupport::RegWriteString(HKEY_LOCAL_MACHINE, kEmailSetupKey, name, value));
  }
  static void RegSwitch(const std::wstring& value) {
    ASSERT_TRUE(testsupport::RegWriteString(HKEY_LOCAL_MACHINE, kSettingsKey, L"EmailAlerts", value));
  }
  void Ini(const std::wstring& key, const std::wstring& value) {
    CommonModule::WriteIni(CommonModule::IniPath, L"EmailConfig", key, value);
  }
  static std::wstring Scrambled(const std::wstring& password) {
    return modBase85::ScrambleString(password, modBase85::kScrambleKey);
  }
  // A complete registry road against the plain sink port.
  void RegistryRoad() {
    RegSwitch(L"1");
    Reg(L"EmailAddress", L"owner@example.test");
    Reg(L"SMTPServer", L"127.0.0.1");
    Reg(L"SMTPPort", std::to_wstring(kPlainPort));
  }
  // A complete INI road.
  void IniRoad() {
    Ini(L"EmailAlerts", L"1");
    Ini(L"SMTPUserName", L"alice");
    Ini(L"AdminEmail", L"admin@example.test");
    Ini(L"SMTPPassword", Scrambled(L"s3cret"));
    Ini(L"SMTPPort", std::to_wstring(kPlainPort));
    Ini(L"SMTPServer", L"127.0.0.1");
  }

  // Loads as a send does, keeping what was loaded: alerts on and complete.
  bool Load() {
    loaded_ = modEmailSvc::LoadMailSettings();
    return loaded_.Ready();
  }

  testsupport::ScratchDir ini_;
  modEmailSvc::MailSettings loaded_;
};

TEST_F(EmailSettingsTest, RegistryRoadWithoutPasswordIsComplete) {
  RegistryRoad();
  const modEmailSvc::MailSettings s = modEmailSvc::LoadMailSettings();
  EXPECT_TRUE(s.Ready());
  EXPECT_EQ(s.MailUser, L"owner@example.test");
  EXPECT_EQ(s.MailRecipients, L"owner@example.test");
  EXPECT_EQ(s.MailFromAddress, L"owner@example.test");
  EXPECT_EQ(s.MailPassword, L"");
  EXPECT_FALSE(s.MailAuth);
  EXPECT_FALSE(s.MailUseSSL);
}

// Each case starts from nothing in this process, so the record's leftovers play no part.
struct LoadCase {
  const char* name;
  bool registry;                    // the registry road, complete
  std::vector<std::pair<std::wstring, std::wstring>> regValues;   // then these values
  bool ini;                         // the INI road, complete
  std::vector<std::pair<std::wstring, std::wstring>> iniValues;   // then these keys
  bool complete;
};

void PrintTo(const LoadCase& c, std::ostream* os) { *os << c.name; }

class EmailLoadTest : public EmailSettingsTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(EmailLoadTest, DecidesOnAndComplete) {
  const LoadCase& c = GetParam();
  if (c.registry) RegistryRoad();
  for (const auto& [name, value] : c.regValues) name == L"EmailAlerts" ? RegSwitch(value) : Reg(name, value);
  if (c.ini) IniRoad();
  for (const auto& [key, value] : c.iniValues) Ini(key, value);
  EXPECT_EQ(modEmailSvc::LoadEmailConfig(), c.complete);
}

// Switching from a TLS preset to a plain server counts at the next load, in the same process.
TEST_F(EmailSettingsTest, SwitchingPresetsTurnsFlagsOffAgain) {
  RegistryRoad();
  auto preset = [](const std::wstring& server, const std::wstring& port, const wchar_t* flags, const wchar_t* from) {
    for (const auto& [name, value] : {std::pair<const wchar_t*, std::wstring>{L"SMTPServer", server},
                                      {L"SMTPPort", port}, {L"Authenticate", flags}, {L"UseSSL", flags},
                                      {L"FromEmail", from}})
      Reg(name, value);
  };
  preset(L"smtp.gmail.com", L"465", L"1", L"from@example.test");
  ASSERT_TRUE(Load());
  EXPECT_TRUE(loaded_.MailUseSSL);
  EXPECT_TRUE(loaded_.MailAuth);

  preset(L"127.0.0.1", std::to_wstring(kNoTlsPort), L"0", L"");
  ASSERT_TRUE(Load());
  EXPECT_FALSE(loaded_.MailUseSSL);
  EXPECT_FALSE(loaded_.MailAuth);
  EXPECT_EQ(loaded_.MailServer, L"127.0.0.1");
  EXPECT_EQ(loaded_.MailFromOverride, L"");
  // The server offers no STARTTLS: a send that still asked for it would fail.
  const std::string token = Token("switched");
  EXPECT_TRUE(modEmailSvc::SendEmail(platform::FromUtf8(token), L"x"));
  EXPECT_FALSE(FindMail(token).empty());

  // The INI, where it holds a switch, overrides the registry's, off as well as on.
  IniRoad();
  Reg(L"UseSSL", L"1");
  Ini(L"UseSSL", L"false");
  ASSERT_TRUE(Load());
  EXPECT_FALSE(loaded_.MailUseSSL);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EmailLoadTest,
    ::testing::Values(
        LoadCase{"nothing", false, {}, false, {}, false},
        LoadCase{"registrySwitchNotOne", true, {{L"EmailAlerts", L"yes"}}, false, {}, false},
        LoadCase{"registryNoAddress", true, {{L"EmailAddress", L""}}, false, {}, false},
        LoadCase{"registryNoPort", true, {{L"SMTPPort", L""}}, false, {}, false},
        LoadCase{"iniComplete", false, {}, true, {}, true},
        LoadCase{"iniNoPassword", false, {}, true, {{L"SMTPPassword", L""}}, false},
        LoadCase{"iniNoUser", false, {}, true, {{L"SMTPUserName", L""}}, false},
        LoadCase{"iniNoServer", false, {}, true, {{L"SMTPServer", L""}}, false},
        // A gap in one source stays a gap even when the other fills it.
        LoadCase{"registryGapIniFills", true, {{L"SMTPServer", L""}}, true, {}, false},
        LoadCase{"iniSwitchOff", false, {}, true, {{L"EmailAlerts", L"0"}}, false}),
    [](const ::testing::TestParamInfo<LoadCase>& info) { return std::string(info.param.name); });

class IniFlagTest : public EmailSettingsTest, public ::testing::WithParamInterface<std::pair<const wchar_t*, bool>> {};

TEST_P(IniFlagTest, OnOnlyForTheWordsOfYes) {
  IniRoad();
  Ini(L"UseSSL", GetParam().first);
  Ini(L"SMTPAuth", GetParam().first);
  Load();
  EXPECT_EQ(loaded_.MailUseSSL, GetParam().second);
  EXPECT_EQ(loaded_.MailAuth, GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Values, IniFlagTest,
                         ::testing::Values(std::pair{L"2", false}, std::pair{L"0", false}, std::pair{L"", false},
                                           std::pair{L"false", false}, std::pair{L"off", false},
                                           std::pair{L"no", false}, std::pair{L"1", true}, std::pair{L"yes", true},
                                           std::pair{L" TRUE ", true}, std::pair{L"On", true}),
                         [](const auto& info) { return "value" + std::to_string(info.index); });

TEST_F(EmailSettingsTest, IniRoadJoinsRecipientsAndOverridesStick) {
  IniRoad();
  Reg(L"EmailAddress", L"first@example.test");
  Ini(L"FromEmail", L"override@example.test");
  ASSERT_TRUE(Load());
  EXPECT_EQ(loaded_.MailRecipients, L"first@example.test, admin@example.test");
  EXPECT_EQ(loaded_.MailFromAddress, L"admin@example.test");
  EXPECT_EQ(loaded_.MailPassword, L"s3cret");
  // Cleared later in the same process, the override is gone at the next load.
  Ini(L"FromEmail", L"");
  ASSERT_TRUE(Load());
  EXPECT_EQ(loaded_.MailFromOverride, L"");
}

// An unreadable stored password leaves the password empty; it does not make the settings incomplete.
TEST_F(EmailSettingsTest, UnreadablePasswordIsNotAnOldOne) {
  IniRoad();
  ASSERT_TRUE(Load());
  Ini(L"SMTPPassword", L"not scrambled");
  EXPECT_TRUE(Load());
  EXPECT_EQ(loaded_.MailPassword, L"");
}

TEST_F(EmailSettingsTest, ClientNameFallsBackToTheCompanionTool) {
  EXPECT_EQ(modEmailSvc::GetClientName(), L"");
  testsupport::RegWriteString(HKEY_LOCAL_MACHINE, kMakerKey + std::wstring(L"\\Tarrow"), L"ClientNameForReports", L"Old");
  EXPECT_EQ(modEmailSvc::GetClientName(), L"Old");
  testsupport::RegWriteString(HKEY_LOCAL_MACHINE, kMakerKey + std::wstring(L"\\TarrowII"), L"ClientNameForReports",
                              L"Newer");
  EXPECT_EQ(modEmailSvc::GetClientName(), L"Newer");
  testsupport::RegWriteString(HKEY_LOCAL_MACHINE, kSettingsKey, L"ClientName", L"Own");
  EXPECT_EQ(modEmailSvc::GetClientName(), L"Own");
}

TEST_F(EmailSettingsTest, SendEmailBuildsTheAlertMail) {
  IniRoad();
  Reg(L"EmailAddress", L"first@example.test");
  Ini(L"SMTPAuth", L"1");
  Ini(L"FromEmail", L"override@example.test");
  testsupport::RegWriteString(HKEY_LOCAL_MACHINE, kSettingsKey, L"ClientName", L"Acme Ltd");
  const std::string token = Token("alert");
  ASSERT_TRUE(modEmailSvc::SendEmail(platform::FromUtf8("Blocked " + token), L"Program X was blocked."));
  const std::string mail = FindMail(token);
  ASSERT_FALSE(mail.empty());
  EXPECT_TRUE(Has(mail, "X-Sink-Login: alice\r\n"));
  EXPECT_TRUE(Has(mail, "X-Sink-From: override@example.test\r\n"));
  EXPECT_TRUE(Has(mail, "X-Sink-To: first@example.test,admin@example.test\r\n"));
  EXPECT_TRUE(Has(mail, std::string("\r\nFrom: \"") + testsupport::kProductNameA + "\" <override@example.test>\r\n"));
  EXPECT_TRUE(
      Has(mail, std::string("\r\nReply-To: \"") + testsupport::kProductNameA + "\" <override@example.test>\r\n"));
  EXPECT_TRUE(Has(mail, "\r\nTo: first@example.test, admin@example.test\r\n"));
  EXPECT_TRUE(Has(mail, "\r\nSubject: Blocked " + token + " - Acme Ltd\r\n"));
  const std::string computer = platform::ToUtf8(platform::GetEnv(L"computername"));
  const std::string body = "\r\n\r\nClient Name:  Acme Ltd\r\nComputer Name:  " + computer + "\r\nLAN IP:  ";
  EXPECT_TRUE(Has(mail, body)) << mail;
  // This test program counts as the main program: the footer ends with the title.
  EXPECT_TRUE(Has(mail, std::string("\r\n\r\nProgram X was blocked.\r\n\r\nThis message sent by ") +
                            testsupport::kProductNameA + "  v9.8.7.6\r\n"))
      << mail;
}

// A client name of 1,200 characters without a blank: the alert mail has no line over 998
// characters (the subject goes as encoded words, the body line as quoted-printable), and the
// subject reads back whole.
TEST_F(EmailSettingsTest, LongClientNameMakesNoLineOverTheLimit) {
  RegistryRoad();
  const std::string client = Token("client") + std::string(1200, 'c');
  testsupport::RegWriteString(HKEY_LOCAL_MACHINE, kSettingsKey, L"ClientName", platform::FromUtf8(client));
  const std::string token = Token("longclient");
  ASSERT_TRUE(modEmailSvc::SendEmail(L"Blocked Application Alert!", platform::FromUtf8(token)));
  const std::string mail = FindMail(token);
  ASSERT_FALSE(mail.empty());
  for (size_t start = 0; start < mail.size();) {
    size_t end = mail.find("\r\n", start);
    if (end == std::string::npos) end = mail.size();
    EXPECT_LE(end - start, 998u) << mail.substr(start, 60);
    start = end + 2;
  }
  EXPECT_EQ(DecodedHeader(HeadersOf(mail).Unfolded("Subject")), "Blocked Application Alert! - " + client);
}

TEST_F(EmailSettingsTest, EmptyClientNameKeepsTheSeparatorAndSendToOverrides) {
  RegistryRoad();
  Reg(L"SendToEmail", L"only@example.test");
  const std::string token = Token("noclient");
  ASSERT_TRUE(modEmailSvc::SendEmail(platform::FromUtf8("Blocked " + token), L"text"));
  const std::string mail = FindMail(token);
  EXPECT_TRUE(Has(mail, "\r\nSubject: Blocked " + token + " - \r\n")) << mail;
  EXPECT_TRUE(Has(mail, "X-Sink-To: only@example.test\r\n"));
  EXPECT_FALSE(Has(mail, "Client Name:"));
}

TEST_F(EmailSettingsTest, AlertsOffOrIncompleteSendNothingAndLogNothing) {
  testsupport::ScratchDir logDir;
  CommonModule::DebugToFile = true;
  CommonModule::DebugLogPath = logDir / L"debug.log";
  const std::string token = Token("off");
  Reg(L"EmailAddress", L"owner@example.test");  // everything but the switch
  Reg(L"SMTPServer", L"127.0.0.1");
  Reg(L"SMTPPort", std::to_wstring(kPlainPort));
  EXPECT_FALSE(modEmailSvc::SendEmail(platform::FromUtf8(token), L"x"));
  RegSwitch(L"1");
  Reg(L"SMTPPort", L"");
  EXPECT_FALSE(modEmailSvc::SendEmail(platform::FromUtf8(token), L"x"));
  CommonModule::DebugToFile = false;
  EXPECT_TRUE(FindMail(token).empty());
  // The settings reads leave their own lines; the send itself leaves none.
  EXPECT_FALSE(platform::Contains(testsupport::ReadTextFile(CommonModule::DebugLogPath), L"SendEmail"));
}

// The programs' send: the mail counts as not sent, and the debug log names the cap.
TEST_F(EmailSettingsTest, ServerReplyOverTheCapIsAFailedSend) {
  testsupport::ScratchDir logDir;
  CommonModule::DebugToFile = true;
  CommonModule::DebugLogPath = logDir / L"debug.log";
  RegistryRoad();
  Reg(L"SMTPPort", std::to_wstring(kEndlessEhloPort));
  EXPECT_FALSE(modEmailSvc::SendEmail(L"Flooded", L"x"));
  CommonModule::DebugToFile = false;
  const std::wstring log = testsupport::ReadTextFile(CommonModule::DebugLogPath);
  EXPECT_TRUE(platform::Contains(log, L"\t- VB Error: 10040 The server's reply passed the limit of 100 lines"))
      << platform::ToUtf8(log);
}

// The protected key made beforehand with rights of its own, for the stored-password cases.
class PresetPasswordKey {
 public:
  explicit PresetPasswordKey(const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr)) return;
    platform::UniqueLocal owned(descriptor);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    platform::UniqueRegKey key;
    ok_ = RegCreateKeyExW(HKEY_LOCAL_MACHINE, testsupport::kEmailPasswordKey, 0, nullptr, 0, KEY_WOW64_64KEY,
                          &attributes, key.put(), nullptr) == ERROR_SUCCESS;
  }
  // Whatever rights it was left with, the key goes: its owner may always open its rights.
  ~PresetPasswordKey() {
    PSECURITY_DESCRIPTOR open = nullptr;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;KA;;;WD)", SDDL_REVISION_1, &open, nullptr)) {
      platform::UniqueLocal owned(open);
      platform::UniqueRegKey key;
      if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, testsupport::kEmailPasswordKey, 0, WRITE_DAC | KEY_WOW64_64KEY,
                        key.put()) == ERROR_SUCCESS)
        RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, open);
    }
    testsupport::RegDeleteTreeQuiet(HKEY_LOCAL_MACHINE, testsupport::kEmailPasswordKey);
  }
  bool Ok() const { return ok_; }

 private:
  bool ok_ = false;
};

// A key that was there before, open to everyone, is closed before the password goes in.
TEST_F(EmailSettingsTest, StoringClosesAKeyThatWasOpenToEveryone) {
  PresetPasswordKey open(L"D:(A;OICI;KA;;;WD)");
  ASSERT_TRUE(open.Ok());
  ASSERT_TRUE(modEmailSvc::StoreMailPassword(L"fresh"));
  testsupport::ExpectPasswordKeyClosedToUsers();
  std::wstring read;
  EXPECT_TRUE(modEmailSvc::ReadMailPassword(read));
  EXPECT_EQ(read, L"fresh");
}

// A scrambled password that a reader cannot move (a standard user, to whom the protected key is
// closed) stays where it is and is still that reader's: nothing is lost, and a refused store is
// no success. The next reader that may write the key moves it.
TEST_F(EmailSettingsTest, ScrambledPasswordStaysUntilAReaderMayMoveIt) {
  RegistryRoad();
  ASSERT_TRUE(modEmailSvc::StoreMailPassword(L"earlier"));  // the key as an earlier move left it
  Reg(L"EmailPassword", Scrambled(L"old one"));             // written since by an earlier version
  {
    const auto user = testsupport::TestToken(true);
    ASSERT_TRUE(user);
    ASSERT_TRUE(SetThreadToken(nullptr, user.get()));
    std::wstring read;
    const bool found = modEmailSvc::ReadMailPassword(read);
    const bool stored = modEmailSvc::StoreMailPassword(L"new one");
    RevertToSelf();
    EXPECT_TRUE(found);
    EXPECT_EQ(read, L"old one");
    EXPECT_FALSE(stored) << "the standard user could write the protected key";
  }
  EXPECT_EQ(testsupport::ProductSetting(L"EmailPassword", L"\\Email Setup"), Scrambled(L"old one"));
  ASSERT_TRUE(Load());
  EXPECT_EQ(loaded_.MailPassword, L"old one");
  EXPECT_EQ(testsupport::ProductSetting(L"EmailPassword", L"\\Email Setup"), L"<missing>");
  std::wstring stored;
  EXPECT_TRUE(testsupport::StoredMailPassword(stored));
  EXPECT_EQ(stored, L"old one");
}

TEST_F(EmailSettingsTest, FailedSendLogsTwoLines) {
  testsupport::ScratchDir logDir;
  CommonModule::DebugToFile = true;
  CommonModule::DebugLogPath = logDir / L"debug.log";
  RegistryRoad();
  Reg(L"UseSSL", L"1");  // STARTTLS on the sink's port, whose self-signed certificate is refused
  const std::string token = Token("untrusted");
  EXPECT_FALSE(modEmailSvc::SendEmail(platform::FromUtf8(token), L"x"));
  CommonModule::DebugToFile = false;
  EXPECT_TRUE(FindMail(token).empty());
  const std::wstring log = testsupport::ReadTextFile(CommonModule::DebugLogPath);
  EXPECT_TRUE(platform::Contains(log, L"\tSendEmail: (Resuming after error)")) << platform::ToUtf8(log);
  EXPECT_TRUE(platform::Contains(log, L"\t- VB Error: ")) << platform::ToUtf8(log);
}

}  // namespace

namespace {

modEmailSvc::EmailSettings Typed(const wchar_t* address, std::optional<std::wstring> password, const wchar_t* server,
                                 const wchar_t* port, const wchar_t* authenticate, const wchar_t* useSsl) {
  modEmailSvc::EmailSettings typed;
  typed.alerts = L"1";
  typed.address = address;
  typed.password = std::move(password);
  typed.server = server;
  typed.port = port;
  typed.authenticate = authenticate;
  typed.useSsl = useSsl;
  return typed;
}

// What the registry can hand back of a record: an override never written reads as empty, and the
// INI's own fields have no place there.
modEmailSvc::EmailSettings AsRegistryHolds(modEmailSvc::EmailSettings settings) {
  settings.fromOverride = settings.fromOverride.value_or(L"");
  settings.sendToOverride = settings.sendToOverride.value_or(L"");
  settings.passwordGiven = false;
  settings.adminEmail.clear();
  return settings;
}

std::string Describe(const modEmailSvc::EmailSettings& s) {
  const auto text = [](const std::optional<std::wstring>& t) { return t ? "\"" + platform::ToUtf8(*t) + "\"" : "none"; };
  return platform::ToUtf8(L"alerts=" + s.alerts + L" address=" + s.address + L" server=" + s.server + L" port=" +
                          s.port + L" auth=" + s.authenticate + L" ssl=" + s.useSsl) +
         " from=" + text(s.fromOverride) + " sendTo=" + text(s.sendToOverride) + " password=" + text(s.password);
}

// One set of settings as typed in the dialog, and the [EmailConfig] of a bulk INI that states the same.
struct RoundTripCase {
  const char* name;
  modEmailSvc::EmailSettings typed;
  std::string emailConfig;  // the password aside: the case's own, scrambled, when it has one
};

}  // namespace

// The dialog and the bulk road save through one record, and the service and both roads load it:
// a save by the dialog is what the service and the bulk INI's load give, and the bulk road's save
// is what the dialog shows and the service sends with.
TEST_F(EmailSettingsTest, EachRoadLoadsWhatTheOtherSaved) {
  const RoundTripCase cases[] = {
      {"the Gmail preset", Typed(L"admin@example.com", L"  s3cret pass  ", L"smtp.gmail.com", L"465", L"1", L"1"),
       "SMTPUserName=admin@example.com\r\nSMTPServer=smtp.gmail.com\r\nSMTPPort=465\r\nSMTPAuth=1\r\nUseSSL=1\r\n"},
      {"a server of its own, no login, no password",
       Typed(L"me@site.test", std::nullopt, L"mail.site.test", L"25", L"0", L"0"),
       "SMTPUserName=me@site.test\r\nSMTPServer=mail.site.test\r\nSMTPPort=25\r\nSMTPAuth=0\r\nUseSSL=0\r\n"},
      {"a password of the Western alphabets",
       Typed(L"alerts@example.test", L"Pa55 w\xF6rd!", L"127.0.0.1", L"47025", L"1", L"0"),
       "SMTPUserName=alerts@example.test\r\nSMTPServer=127.0.0.1\r\nSMTPPort=47025\r\nSMTPAuth=1\r\nUseSSL=0\r\n"},
  };
  for (const RoundTripCase& c : cases) {
    SCOPED_TRACE(c.name);
    Clear();
    ASSERT_TRUE(c.typed.Save());
    const modEmailSvc::EmailSettings stored = modEmailSvc::EmailSettings::Load();
    EXPECT_EQ(Describe(stored), Describe(AsRegistryHolds(c.typed)));
    EXPECT_EQ(testsupport::ProductSetting(L"FromEmail", L"\\Email Setup"), L"<missing>") << "the dialog leaves it";

    // The service sends with it.
    const modEmailSvc::MailSettings mail = modEmailSvc::MergeMailSettings(stored, {});
    EXPECT_TRUE(mail.Ready());
    EXPECT_EQ(mail.MailUser, c.typed.address);
    EXPECT_EQ(mail.MailRecipients, c.typed.address);
    EXPECT_EQ(mail.MailFromAddress, c.typed.address);
    EXPECT_EQ(mail.MailPassword, c.typed.password.value_or(L""));
    EXPECT_EQ(mail.MailServer, c.typed.server);
    EXPECT_EQ(mail.MailPort, c.typed.port);
    EXPECT_EQ(mail.MailAuth, c.typed.authenticate == L"1");
    EXPECT_EQ(mail.MailUseSSL, c.typed.useSsl == L"1");

    // The bulk INI that states the same loads as the same record.
    std::string bulk = "[Config]\r\nEmailAlerts=1\r\n[EmailConfig]\r\n" + c.emailConfig;
    if (c.typed.password) bulk += "SMTPPassword=" + platform::ToUtf8(Scrambled(*c.typed.password)) + "\r\n";
    const std::wstring bulkIni = ini_ / L"bulk.ini";
    ASSERT_TRUE(testsupport::WriteTextFile(bulkIni, bulk));
    const modEmailSvc::EmailSettings fromIni = modEmailSvc::EmailSettings::LoadBulkIni(bulkIni);
    EXPECT_EQ(fromIni.passwordGiven, c.typed.password.has_value());
    EXPECT_EQ(Describe(AsRegistryHolds(fromIni)), Describe(AsRegistryHolds(c.typed)));

    // The reverse: the bulk road's save is what the dialog shows and the service sends with.
    Clear();
    ASSERT_TRUE(fromIni.Save());
    EXPECT_EQ(testsupport::ProductSetting(L"FromEmail", L"\\Email Setup"), L"") << "the bulk road writes it";
    const modEmailSvc::EmailSettings shown = modEmailSvc::EmailSettings::Load();
    EXPECT_EQ(Describe(shown), Describe(AsRegistryHolds(c.typed)));
    const modEmailSvc::MailSettings sent = modEmailSvc::MergeMailSettings(shown, {});
    EXPECT_TRUE(sent.Ready());
    EXPECT_EQ(sent.MailPassword, mail.MailPassword);
    EXPECT_EQ(sent.MailAuth, mail.MailAuth);
    EXPECT_EQ(sent.MailUseSSL, mail.MailUseSSL);
  }
}

// The protected store takes any character; the INI's scrambled form carries one byte a character,
// so such a password never comes from an INI as it was.
TEST_F(EmailSettingsTest, OnlyTheProtectedStoreCarriesAPasswordBeyondOneByteACharacter) {
  const std::wstring wide = L"pass\x20AC\x4E2D \x0416";
  ASSERT_TRUE(Typed(L"me@example.test", wide, L"127.0.0.1", L"25", L"1", L"0").Save());
  EXPECT_EQ(modEmailSvc::EmailSettings::Load().password.value_or(L"<none>"), wide);
  Ini(L"SMTPPassword", Scrambled(wide));
  const auto fromIni = modEmailSvc::EmailSettings::LoadIni(CommonModule::IniPath);
  ASSERT_TRUE(fromIni.password);
  EXPECT_NE(*fromIni.password, wide);
}
