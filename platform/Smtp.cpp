#include "platform/Smtp.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#define SECURITY_WIN32
#include <schannel.h>
#include <security.h>
#include <wincrypt.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "platform/CryptHandle.h"
#include "platform/Handle.h"
#include "platform/Text.h"

namespace platform {
namespace {

// ---- Text helpers -------------------------------------------------------------------------------

std::string Base64(const std::string& bytes) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const uint32_t n = (uint8_t(bytes[i]) << 16) | (uint8_t(bytes[i + 1]) << 8) | uint8_t(bytes[i + 2]);
    out += {kDigits[n >> 18], kDigits[(n >> 12) & 63], kDigits[(n >> 6) & 63], kDigits[n & 63]};
  }
  if (i + 1 == bytes.size()) {
    const uint32_t n = uint8_t(bytes[i]) << 16;
    out += {kDigits[n >> 18], kDigits[(n >> 12) & 63], '=', '='};
  } else if (i + 2 == bytes.size()) {
    const uint32_t n = (uint8_t(bytes[i]) << 16) | (uint8_t(bytes[i + 1]) << 8);
    out += {kDigits[n >> 18], kDigits[(n >> 12) & 63], kDigits[(n >> 6) & 63], '='};
  }
  return out;
}

bool IsAscii(const std::string& text) {
  for (unsigned char c : text)
    if (c >= 0x80) return false;
  return true;
}

constexpr size_t kHeaderLineMax = 78;
// What one reply of the server (the greeting, the EHLO list) may hold: a server that goes on
// beyond it ends the session, so that no server or anyone between can fill the memory.
constexpr size_t kReplyMaxBytes = 64 * 1024;
constexpr size_t kReplyMaxLines = 100;
constexpr uint32_t kSliceMs = 100;  // how long any wait goes before it looks at the abandon event

// A header text with no CR or LF in it: a value must never start a header of its own.
std::string OneLine(const std::wstring& text) {
  std::string utf8 = ToUtf8(text);
  for (char& c : utf8)
    if (c == '\r' || c == '\n') c = ' ';
  return utf8;
}

// Non-ASCII header text as UTF-8 encoded words, cut between whole characters.
std::string EncodedWords(const std::string& utf8) {
  std::string out;
  size_t start = 0;
  while (start < utf8.size()) {
    size_t end = std::min(utf8.size(), start + 45);
    while (end < utf8.size() && (uint8_t(utf8[end]) & 0xC0) == 0x80) --end;
    if (!out.empty()) out += "\r\n ";
    out += "=?UTF-8?B?" + Base64(utf8.substr(start, end - start)) + "?=";
    start = end;
  }
  return out;
}

// A word longer than a folded line could hold: the header would need a line over the limit.
bool HasUnfoldableWord(const std::string& text) {
  size_t run = 0;
  for (char c : text) {
    run = c == ' ' || c == '\t' ? 0 : run + 1;
    if (run > kHeaderLineMax - 2) return true;
  }
  return false;
}

// Text that is not plain ASCII, or that holds a word no fold can break, goes as encoded words:
// these are cut into short pieces, so no header line passes the limit whatever the text.
bool NeedsEncodedWords(const std::string& utf8) { return !IsAscii(utf8) || HasUnfoldableWord(utf8); }

std::string HeaderText(const std::wstring& text) {
  const std::string utf8 = OneLine(text);
  return NeedsEncodedWords(utf8) ? EncodedWords(utf8) : utf8;
}

std::string Mailbox(const std::wstring& name, const std::wstring& address) {
  const std::string addr = OneLine(address);
  if (name.empty()) return addr;
  const std::string utf8 = OneLine(name);
  if (NeedsEncodedWords(utf8)) return EncodedWords(utf8) + " <" + addr + ">";
  std::string quoted = "\"";
  for (char c : utf8) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\" <" + addr + ">";
}

// A header line folded before blanks so that no physical line passes the limit; a word longer
// than a line stays whole. Lines that already hold folds (encoded words) are left as they are.
std::string Folded(const std::string& line) {
  if (line.size() <= kHeaderLineMax || line.find("\r\n") != std::string::npos) return line;
  std::string out;
  size_t start = 0;
  while (line.size() - start > kHeaderLineMax) {
    size_t cut = line.rfind(' ', start + kHeaderLineMax);
    if (cut == std::string::npos || cut <= start) cut = line.find(' ', start + 1);
    if (cut == std::string::npos) break;
    out += line.substr(start, cut - start) + "\r\n";
    start = cut;  // the blank opens the continuation line
  }
  return out + line.substr(start);
}

std::string HeaderLine(const std::string& name, const std::string& value) { return Folded(name + ": " + value) + "\r\n"; }

std::string DateHeader() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  TIME_ZONE_INFORMATION zone{};
  const DWORD kind = GetTimeZoneInformation(&zone);
  long bias = zone.Bias;
  if (kind == TIME_ZONE_ID_DAYLIGHT) bias += zone.DaylightBias;
  else if (kind == TIME_ZONE_ID_STANDARD) bias += zone.StandardBias;
  const long offset = -bias;
  static const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char text[64];
  std::snprintf(text, sizeof text, "%s, %d %s %04d %02d:%02d:%02d %c%02ld%02ld", kDays[now.wDayOfWeek % 7], now.wDay,
                kMonths[(now.wMonth + 11) % 12], now.wYear, now.wHour, now.wMinute, now.wSecond,
                offset < 0 ? '-' : '+', (offset < 0 ? -offset : offset) / 60, (offset < 0 ? -offset : offset) % 60);
  return text;
}

// The body's lines with CRLF ends, UTF-8; quoted-printable when a line would not pass as 7-bit.
std::vector<std::string> BodyLines(const std::wstring& body, bool& quotedPrintable) {
  std::vector<std::string> lines(1);
  const std::string utf8 = ToUtf8(body);
  for (size_t i = 0; i < utf8.size(); ++i) {
    const char c = utf8[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') ++i;
      lines.emplace_back();
    } else {
      lines.back() += c;
    }
  }
  quotedPrintable = false;
  for (const std::string& line : lines) {
    if (line.size() > 900 || !IsAscii(line) || line.find('\0') != std::string::npos) quotedPrintable = true;
  }
  if (!quotedPrintable) return lines;

  std::vector<std::string> encoded;
  for (const std::string& line : lines) {
    std::string out;
    size_t column = 0;
    for (size_t i = 0; i < line.size(); ++i) {
      const unsigned char c = line[i];
      const bool last = i + 1 == line.size();
      std::string piece;
      if ((c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !last)) {
        piece = char(c);
      } else {
        char hex[4];
        std::snprintf(hex, sizeof hex, "=%02X", c);
        piece = hex;
      }
      if (column + piece.size() > 75) {
        encoded.push_back(out + "=");
        out.clear();
        column = 0;
      }
      out += piece;
      column += piece.size();
    }
    encoded.push_back(out);
  }
  return encoded;
}

// ---- The connection -----------------------------------------------------------------------------

enum class SocketWait { Ready, TimedOut, Failed, Abandoned };

struct SocketTraits {
  static SOCKET Invalid() { return INVALID_SOCKET; }
  static bool IsValid(SOCKET s) { return s != INVALID_SOCKET; }
  static int Close(SOCKET s) { return closesocket(s); }
};
struct AddressListTraits {  // what getaddrinfo hands out
  static addrinfo* Invalid() { return nullptr; }
  static bool IsValid(addrinfo* a) { return a != nullptr; }
  static void Close(addrinfo* a) { freeaddrinfo(a); }
};
using UniqueSocket = UniqueHandle<SOCKET, SocketTraits>;
using UniqueAddressList = UniqueHandle<addrinfo*, AddressListTraits>;

// A credentials or security context handle: a pair of numbers with no value meaning none, so
// whether one is held is told by the call that made it.
template <SECURITY_STATUS(SEC_ENTRY* Free)(SecHandle*)>
class UniqueSecurityHandle {
 public:
  UniqueSecurityHandle() = default;
  ~UniqueSecurityHandle() {
    if (held_) Free(&handle_);
  }
  UniqueSecurityHandle(const UniqueSecurityHandle&) = delete;
  UniqueSecurityHandle& operator=(const UniqueSecurityHandle&) = delete;

  SecHandle* get() { return &handle_; }
  // The call that wrote into get() succeeded: the handle is this owner's to free.
  void Hold() { held_ = true; }

 private:
  SecHandle handle_{};
  bool held_ = false;
};
using UniqueCredentials = UniqueSecurityHandle<FreeCredentialsHandle>;
using UniqueSecurityContext = UniqueSecurityHandle<DeleteSecurityContext>;

bool IsSignalled(HANDLE event) { return event && WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

// Waits for the socket in short slices, so that an abandon request is answered at once.
SocketWait WaitSocket(SOCKET socket, bool forWrite, uint32_t timeoutMs, HANDLE abandon, int& error) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (IsSignalled(abandon)) return SocketWait::Abandoned;
    const DWORD spent = GetTickCount() - start;
    if (spent >= timeoutMs) return SocketWait::TimedOut;
    const uint32_t slice = std::min<uint32_t>(kSliceMs, timeoutMs - spent);
    fd_set set, errors;
    FD_ZERO(&set);
    FD_SET(socket, &set);
    FD_ZERO(&errors);
    FD_SET(socket, &errors);
    timeval limit{0, static_cast<long>(slice * 1000)};
    const int n = select(0, forWrite ? nullptr : &set, forWrite ? &set : nullptr, &errors, &limit);
    if (n == SOCKET_ERROR) {
      error = WSAGetLastError();
      return SocketWait::Failed;
    }
    if (n > 0) {
      if (!FD_ISSET(socket, &errors)) return SocketWait::Ready;
      int code = 0, size = sizeof code;
      getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&code), &size);
      error = code ? code : WSAECONNRESET;
      return SocketWait::Failed;
    }
  }
}

struct WinsockSession {
  bool ok = false;
  WinsockSession() {
    WSADATA data{};
    ok = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }
  ~WinsockSession() {
    if (ok) WSACleanup();
  }
};

// Name resolution on a thread of its own: getaddrinfo has no time limit, and a resolver that
// hangs must not hold the send. A resolution given up on is freed by its thread when it ends.
class Resolution {
 public:
  static Resolution* Start(const std::string& host, const std::string& port) {
    auto* r = new Resolution(host, port);
    // The thread may end and drop its reference before the handle is kept here: the waiter's
    // reference keeps the object.
    r->thread_.reset(CreateThread(nullptr, 0, Run, r, 0, nullptr));
    if (!r->thread_) {
      delete r;
      return nullptr;
    }
    return r;
  }
  // The addresses, or none on failure, time-out or abandon.
  UniqueAddressList Wait(uint32_t timeoutMs, HANDLE abandon, bool& timedOut, bool& abandoned) {
    const HANDLE handles[] = {thread_.get(), abandon};
    const DWORD r = WaitForMultipleObjects(abandon ? 2 : 1, handles, FALSE, timeoutMs);
    UniqueAddressList found;
    timedOut = r == WAIT_TIMEOUT;
    abandoned = r == WAIT_OBJECT_0 + 1;
    if (r == WAIT_OBJECT_0) found = std::move(found_);
    Release();
    return found;
  }

 private:
  Resolution(const std::string& host, const std::string& port) : host_(host), port_(port) {}
  ~Resolution() = default;
  void Release() {
    if (InterlockedDecrement(&references_) == 0) delete this;
  }
  static DWORD WINAPI Run(LPVOID parameter) {
    auto* self = static_cast<Resolution*>(parameter);
    {
      const WinsockSession winsock;
      addrinfo hints{};
      hints.ai_family = AF_UNSPEC;  // IPv4 and IPv6 alike
      hints.ai_socktype = SOCK_STREAM;
      hints.ai_protocol = IPPROTO_TCP;
      addrinfo* found = nullptr;
      if (winsock.ok && getaddrinfo(self->host_.c_str(), self->port_.c_str(), &hints, &found) == 0)
        self->found_.reset(found);
    }
    self->Release();
    return 0;
  }

  std::string host_, port_;
  UniqueAddressList found_;
  UniqueKernelHandle thread_;
  LONG references_ = 2;  // the waiter and the thread
};

class Connection {
 public:
  explicit Connection(const SmtpRequest& request) : request_(request) {}
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  SmtpResult result;

  bool Connect();
  bool StartTls();
  HANDLE Abandon() const { return static_cast<HANDLE>(request_.abandonEvent); }
  bool SendLine(const std::string& line) { return Send(line + "\r\n"); }
  bool Send(const std::string& data);
  // Reads one whole reply (all its lines); false on a broken connection or timeout.
  bool ReadReply(int& code, std::string& text);
  // Sends a command and wants a reply in the given hundred (2 for 2xx, 3 for 3xx).
  bool Command(const std::string& line, int wantedClass, std::string* replyText = nullptr,
               const char* shownAs = nullptr);

  bool Fail(long code, const std::wstring& error) {
    if (result.error.empty()) {
      result.code = code;
      result.error = error;
    }
    return false;
  }

 private:
  bool WaitFor(bool forWrite, uint32_t timeoutMs);
  bool SendRaw(const char* data, size_t size);
  bool ReceiveRaw();  // appends to raw_
  // initial false: the server asked to negotiate again on the secure connection; raw_ holds
  // what it sent.
  bool Handshake(bool initial);
  bool AcquireCredentials();
  bool CheckCertificate();
  bool FillPlain();  // appends decrypted or plain bytes to plain_

  const SmtpRequest& request_;
  const uint32_t started_ = GetTickCount();
  UniqueSocket socket_;
  bool tls_ = false;
  UniqueCredentials credentials_;
  UniqueSecurityContext context_;  // after the credentials: freed before them
  SecPkgContext_StreamSizes sizes_{};
  std::string raw_;    // received, not yet decrypted
  std::string plain_;  // received, not yet read as reply lines
};

bool Connection::WaitFor(bool forWrite, uint32_t timeoutMs) {
  const uint32_t spent = GetTickCount() - started_;
  if (spent >= request_.totalTimeoutMs) return Fail(WSAETIMEDOUT, L"The conversation with the server took too long.");
  timeoutMs = std::min(timeoutMs, request_.totalTimeoutMs - spent);
  int error = 0;
  switch (WaitSocket(socket_.get(), forWrite, timeoutMs, Abandon(), error)) {
    case SocketWait::Ready: return true;
    case SocketWait::TimedOut: return Fail(WSAETIMEDOUT, L"The server did not answer in time.");
    case SocketWait::Abandoned: return Fail(ERROR_CANCELLED, L"The send was abandoned.");
    case SocketWait::Failed: break;
  }
  return Fail(error, L"The connection to the server failed.");
}

bool Connection::Connect() {
  const std::string host = ToUtf8(request_.server);
  const std::string port = std::to_string(request_.port);
  if (host.empty()) return Fail(WSAHOST_NOT_FOUND, L"No SMTP server is set.");
  const std::wstring where = request_.server + L" port " + std::to_wstring(request_.port);
  Resolution* resolution = Resolution::Start(host, port);
  if (!resolution) return Fail(WSAHOST_NOT_FOUND, L"The SMTP server " + request_.server + L" could not be looked up.");
  bool timedOut = false, abandoned = false;
  const UniqueAddressList found = resolution->Wait(request_.connectTimeoutMs, Abandon(), timedOut, abandoned);
  if (abandoned) return Fail(ERROR_CANCELLED, L"The send was abandoned.");
  if (timedOut) return Fail(WSAETIMEDOUT, L"Looking up the SMTP server " + request_.server + L" timed out.");
  if (!found) return Fail(WSAHOST_NOT_FOUND, L"The SMTP server " + request_.server + L" was not found.");
  bool connected = false;
  SocketWait last = SocketWait::Failed;
  for (const addrinfo* a = found.get(); a && !connected && last != SocketWait::Abandoned; a = a->ai_next) {
    socket_.reset(socket(a->ai_family, a->ai_socktype, a->ai_protocol));
    if (!socket_) continue;
    u_long nonBlocking = 1;
    ioctlsocket(socket_.get(), FIONBIO, &nonBlocking);
    if (connect(socket_.get(), a->ai_addr, static_cast<int>(a->ai_addrlen)) == 0) {
      connected = true;
    } else if (WSAGetLastError() == WSAEWOULDBLOCK) {
      int error = 0;
      last = WaitSocket(socket_.get(), true, request_.connectTimeoutMs, Abandon(), error);
      connected = last == SocketWait::Ready;
    }
  }
  if (!connected) {
    if (last == SocketWait::Abandoned) return Fail(ERROR_CANCELLED, L"The send was abandoned.");
    if (last == SocketWait::TimedOut) return Fail(WSAETIMEDOUT, L"Connecting to " + where + L" timed out.");
    return Fail(WSAECONNREFUSED, L"Could not connect to " + where + L".");
  }
  u_long blocking = 0;
  ioctlsocket(socket_.get(), FIONBIO, &blocking);
  const DWORD sendTimeout = request_.replyTimeoutMs;
  setsockopt(socket_.get(), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&sendTimeout), sizeof sendTimeout);
  if (request_.security == SmtpSecurity::Implicit) return Handshake(true);
  return true;
}

bool Connection::SendRaw(const char* data, size_t size) {
  while (size > 0) {
    if (!WaitFor(true, request_.replyTimeoutMs)) return false;
    const int sent = send(socket_.get(), data, static_cast<int>(std::min<size_t>(size, 65536)), 0);
    if (sent == SOCKET_ERROR || sent == 0) return Fail(WSAGetLastError(), L"Sending to the server failed.");
    data += sent;
    size -= static_cast<size_t>(sent);
  }
  return true;
}

bool Connection::ReceiveRaw() {
  if (raw_.size() > 1024 * 1024) return Fail(WSAEMSGSIZE, L"The server sent too much.");
  if (!WaitFor(false, request_.replyTimeoutMs)) return false;
  char buffer[16384];
  const int got = recv(socket_.get(), buffer, sizeof buffer, 0);
  if (got == 0) return Fail(WSAECONNRESET, L"The server closed the connection.");
  if (got == SOCKET_ERROR) return Fail(WSAGetLastError(), L"Reading from the server failed.");
  raw_.append(buffer, static_cast<size_t>(got));
  return true;
}

bool Connection::Send(const std::string& data) {
  if (!tls_) return SendRaw(data.data(), data.size());
  size_t offset = 0;
  while (offset < data.size()) {
    const size_t chunk = std::min<size_t>(data.size() - offset, sizes_.cbMaximumMessage);
    std::string packet(sizes_.cbHeader + chunk + sizes_.cbTrailer, '\0');
    std::memcpy(&packet[sizes_.cbHeader], data.data() + offset, chunk);
    SecBuffer buffers[4] = {
        {sizes_.cbHeader, SECBUFFER_STREAM_HEADER, &packet[0]},
        {static_cast<unsigned long>(chunk), SECBUFFER_DATA, &packet[sizes_.cbHeader]},
        {sizes_.cbTrailer, SECBUFFER_STREAM_TRAILER, &packet[sizes_.cbHeader + chunk]},
        {0, SECBUFFER_EMPTY, nullptr},
    };
    SecBufferDesc description{SECBUFFER_VERSION, 4, buffers};
    const SECURITY_STATUS status = EncryptMessage(context_.get(), 0, &description, 0);
    if (status != SEC_E_OK) return Fail(status, L"Encrypting for the server failed.");
    if (!SendRaw(packet.data(), buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer)) return false;
    offset += chunk;
  }
  return true;
}

bool Connection::FillPlain() {
  if (!tls_) {
    if (!ReceiveRaw()) return false;
    plain_ += raw_;
    raw_.clear();
    return true;
  }
  for (;;) {
    if (raw_.empty() && !ReceiveRaw()) return false;
    SecBuffer buffers[4] = {
        {static_cast<unsigned long>(raw_.size()), SECBUFFER_DATA, &raw_[0]},
        {0, SECBUFFER_EMPTY, nullptr},
        {0, SECBUFFER_EMPTY, nullptr},
        {0, SECBUFFER_EMPTY, nullptr},
    };
    SecBufferDesc description{SECBUFFER_VERSION, 4, buffers};
    const SECURITY_STATUS status = DecryptMessage(context_.get(), &description, 0, nullptr);
    if (status == SEC_E_INCOMPLETE_MESSAGE) {
      if (!ReceiveRaw()) return false;
      continue;
    }
    if (status == SEC_I_CONTEXT_EXPIRED) return Fail(WSAECONNRESET, L"The server closed the secure connection.");
    if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE) return Fail(status, L"Decrypting the server's reply failed.");
    std::string extra;
    bool gotData = false;
    for (const SecBuffer& b : buffers) {
      if (b.BufferType == SECBUFFER_DATA && b.cbBuffer > 0) {
        plain_.append(static_cast<const char*>(b.pvBuffer), b.cbBuffer);
        gotData = true;
      } else if (b.BufferType == SECBUFFER_EXTRA && b.cbBuffer > 0) {
        extra.assign(raw_.data() + raw_.size() - b.cbBuffer, b.cbBuffer);
      }
    }
    raw_ = extra;
    if (status == SEC_I_RENEGOTIATE && !Handshake(false)) return false;
    if (gotData) return true;
  }
}

bool Connection::ReadReply(int& code, std::string& text) {
  text.clear();
  size_t replyBytes = 0, replyLines = 0;
  const auto tooLong = [this] {
    return Fail(WSAEMSGSIZE, L"The server's reply passed the limit of " + std::to_wstring(kReplyMaxBytes) +
                                 L" bytes for one reply.");
  };
  for (;;) {
    size_t end;
    while ((end = plain_.find("\r\n")) == std::string::npos) {
      if (replyBytes + plain_.size() > kReplyMaxBytes) return tooLong();
      if (!FillPlain()) return false;
    }
    replyBytes += end + 2;
    if (replyBytes > kReplyMaxBytes) return tooLong();
    if (++replyLines > kReplyMaxLines)
      return Fail(WSAEMSGSIZE, L"The server's reply passed the limit of " + std::to_wstring(kReplyMaxLines) +
                                   L" lines for one reply.");
    const std::string line = plain_.substr(0, end);
    plain_.erase(0, end + 2);
    if (line.size() < 3 || line[0] < '1' || line[0] > '5' || !isdigit(uint8_t(line[1])) || !isdigit(uint8_t(line[2])))
      return Fail(WSAEPROTOTYPE, L"The server's reply is not SMTP: " + FromUtf8(line));
    if (!text.empty()) text += "\n";
    text += line.size() > 4 ? line.substr(4) : std::string();
    if (line.size() == 3 || line[3] != '-') {
      code = std::stoi(line.substr(0, 3));
      return true;
    }
  }
}

bool Connection::Command(const std::string& line, int wantedClass, std::string* replyText, const char* shownAs) {
  if (!line.empty() && !SendLine(line)) return false;
  int code = 0;
  std::string text;
  if (!ReadReply(code, text)) return false;
  if (replyText) *replyText = text;
  if (code / 100 == wantedClass) return true;
  const std::string shown = shownAs ? shownAs : (line.empty() ? "the greeting" : line);
  return Fail(code, L"The server refused " + FromUtf8(shown) + L": " + std::to_wstring(code) + L" " + FromUtf8(text));
}

bool Connection::AcquireCredentials() {
  SCHANNEL_CRED schannel{};
  schannel.dwVersion = SCHANNEL_CRED_VERSION;
  // The certificate is checked after the handshake, against the system's roots and the server's name.
  schannel.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
  TimeStamp expiry{};
  const SECURITY_STATUS status = AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W),
                                                           SECPKG_CRED_OUTBOUND, nullptr, &schannel, nullptr, nullptr,
                                                           credentials_.get(), &expiry);
  if (status != SEC_E_OK) return Fail(status, L"Secure connections are not available.");
  credentials_.Hold();
  return true;
}

bool Connection::Handshake(bool initial) {
  const DWORD wanted = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                       ISC_REQ_EXTENDED_ERROR | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM;
  std::wstring target = request_.server;
  TimeStamp expiry{};
  SECURITY_STATUS status = SEC_E_OK;
  bool first = initial;
  bool needInput = !initial && raw_.empty();
  if (initial && !AcquireCredentials()) return false;
  for (int round = 0; round < 32; ++round) {
    if (needInput && !ReceiveRaw()) return false;
    SecBuffer in[2] = {{static_cast<unsigned long>(raw_.size()), SECBUFFER_TOKEN, raw_.empty() ? nullptr : &raw_[0]},
                       {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc inDescription{SECBUFFER_VERSION, 2, in};
    SecBuffer out[1] = {{0, SECBUFFER_TOKEN, nullptr}};
    SecBufferDesc outDescription{SECBUFFER_VERSION, 1, out};
    ULONG got = 0;
    status = InitializeSecurityContextW(credentials_.get(), first ? nullptr : context_.get(), &target[0], wanted, 0,
                                        0, first ? nullptr : &inDescription, 0, first ? context_.get() : nullptr,
                                        &outDescription, &got, &expiry);
    if (first && (status == SEC_I_CONTINUE_NEEDED || status == SEC_E_OK)) context_.Hold();
    first = false;
    if (out[0].pvBuffer) {
      const bool sent = out[0].cbBuffer == 0 || SendRaw(static_cast<const char*>(out[0].pvBuffer), out[0].cbBuffer);
      FreeContextBuffer(out[0].pvBuffer);
      if (!sent) return false;
    }
    if (status == SEC_E_INCOMPLETE_MESSAGE) {
      needInput = true;
      continue;
    }
    if (status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED)
      return Fail(status, L"The secure connection to the server failed (" + ErrorText(status) + L").");
    if (in[1].BufferType == SECBUFFER_EXTRA && in[1].cbBuffer > 0)
      raw_ = raw_.substr(raw_.size() - in[1].cbBuffer);
    else
      raw_.clear();
    if (status == SEC_E_OK) {
      status = QueryContextAttributesW(context_.get(), SECPKG_ATTR_STREAM_SIZES, &sizes_);
      if (status != SEC_E_OK) return Fail(status, L"The secure connection to the server failed.");
      // A new negotiation may bring a new certificate: it is checked like the first.
      if (!CheckCertificate()) return false;
      tls_ = true;
      return true;
    }
    needInput = raw_.empty();
  }
  return Fail(SEC_E_INTERNAL_ERROR, L"The secure connection to the server did not settle.");
}

long ChainErrorCode(DWORD errors) {
  if (errors & CERT_TRUST_IS_PARTIAL_CHAIN) return CERT_E_CHAINING;
  if (errors & CERT_TRUST_IS_UNTRUSTED_ROOT) return CERT_E_UNTRUSTEDROOT;
  if (errors & CERT_TRUST_IS_NOT_TIME_VALID) return CERT_E_EXPIRED;
  if (errors & CERT_TRUST_IS_REVOKED) return CERT_E_REVOKED;
  if (errors & CERT_TRUST_IS_NOT_VALID_FOR_USAGE) return CERT_E_WRONG_USAGE;
  return TRUST_E_FAIL;
}

std::wstring ChainErrorText(DWORD errors) {
  wchar_t bits[16];
  std::swprintf(bits, 16, L"%08lX", static_cast<unsigned long>(errors));
  const wchar_t* why = (errors & CERT_TRUST_IS_PARTIAL_CHAIN)     ? L"its issuer is unknown"
                       : (errors & CERT_TRUST_IS_UNTRUSTED_ROOT)  ? L"its root is not trusted"
                       : (errors & CERT_TRUST_IS_NOT_TIME_VALID)  ? L"it has expired or is not valid yet"
                       : (errors & CERT_TRUST_IS_REVOKED)         ? L"it was revoked"
                                                                  : L"its chain has errors";
  return std::wstring(L"The server's certificate is not trusted: ") + why + L" (chain status 0x" + bits + L").";
}

bool Connection::CheckCertificate() {
  UniqueCertContext certificate;
  const SECURITY_STATUS status =
      QueryContextAttributesW(context_.get(), SECPKG_ATTR_REMOTE_CERT_CONTEXT, certificate.put());
  if (status != SEC_E_OK || !certificate) return Fail(status, L"The server presented no certificate.");

  const std::string& trusted = request_.extraTrustedCertificate;
  if (!trusted.empty() && trusted.size() == certificate.get()->cbCertEncoded &&
      std::memcmp(trusted.data(), certificate.get()->pbCertEncoded, trusted.size()) == 0)
    return true;

  char serverAuth[] = szOID_PKIX_KP_SERVER_AUTH;
  char* usages[] = {serverAuth};
  CERT_CHAIN_PARA chainPara{};
  chainPara.cbSize = sizeof chainPara;
  chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
  chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
  chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
  UniqueCertChain chain;
  if (!CertGetCertificateChain(nullptr, certificate.get(), nullptr, certificate.get()->hCertStore, &chainPara, 0,
                               nullptr, chain.put()))
    return Fail(static_cast<long>(GetLastError()), L"The server's certificate could not be checked.");
  // Any error bit of the chain refuses it, a chain that stops short of a root included: the
  // policy check below does not report every such chain on every system.
  const DWORD chainErrors = chain.get()->TrustStatus.dwErrorStatus;
  if (chainErrors != CERT_TRUST_NO_ERROR) return Fail(ChainErrorCode(chainErrors), ChainErrorText(chainErrors));

  std::wstring serverName = request_.server;
  SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
  ssl.cbSize = sizeof ssl;
  ssl.dwAuthType = AUTHTYPE_SERVER;
  ssl.pwszServerName = &serverName[0];
  CERT_CHAIN_POLICY_PARA policyPara{};
  policyPara.cbSize = sizeof policyPara;
  policyPara.pvExtraPolicyPara = &ssl;
  CERT_CHAIN_POLICY_STATUS policyStatus{};
  policyStatus.cbSize = sizeof policyStatus;
  if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain.get(), &policyPara, &policyStatus))
    return Fail(static_cast<long>(GetLastError()), L"The server's certificate could not be checked.");
  if (policyStatus.dwError != 0)
    return Fail(static_cast<long>(policyStatus.dwError),
                L"The server's certificate is not trusted (" + ErrorText(policyStatus.dwError) + L").");
  return true;
}

bool Connection::StartTls() {
  if (!Command("STARTTLS", 2)) return false;
  if (!plain_.empty()) return Fail(WSAEPROTOTYPE, L"The server sent data before the secure connection.");
  return Handshake(true);
}

struct Capabilities {
  bool startTls = false;
  bool authLogin = false;
  bool authPlain = false;
};

Capabilities ParseEhlo(const std::string& reply) {
  Capabilities caps;
  size_t start = reply.find('\n');  // the first line is the greeting
  while (start != std::string::npos) {
    const size_t end = reply.find('\n', start + 1);
    std::string line = reply.substr(start + 1, end == std::string::npos ? std::string::npos : end - start - 1);
    for (char& c : line) c = static_cast<char>(toupper(uint8_t(c)));
    if (line == "STARTTLS") caps.startTls = true;
    if (line.rfind("AUTH", 0) == 0 && line.size() > 4 && (line[4] == ' ' || line[4] == '=')) {
      std::string mechanisms = " " + line.substr(5) + " ";
      if (mechanisms.find(" LOGIN ") != std::string::npos) caps.authLogin = true;
      if (mechanisms.find(" PLAIN ") != std::string::npos) caps.authPlain = true;
    }
    start = end;
  }
  return caps;
}

bool HostNameOk(const std::string& name) {
  if (name.empty() || name.size() > 255 || name.front() == '.' || name.back() == '.') return false;
  return std::all_of(name.begin(), name.end(), [](char c) { return isalnum(uint8_t(c)) || c == '-' || c == '.'; });
}

// The machine's fully qualified name where it has one, else its own name.
std::string HeloName() {
  for (COMPUTER_NAME_FORMAT format : {ComputerNameDnsFullyQualified, ComputerNameDnsHostname, ComputerNameNetBIOS}) {
    wchar_t name[256] = {};
    DWORD size = 256;
    if (!GetComputerNameExW(format, name, &size)) continue;
    const std::string text = ToUtf8(name);
    if (HostNameOk(text)) return text;
  }
  return "localhost";
}

bool Hello(Connection& connection, Capabilities& caps) {
  std::string reply;
  if (!connection.Command("EHLO " + HeloName(), 2, &reply)) return false;
  caps = ParseEhlo(reply);
  return true;
}

bool Converse(Connection& c, const SmtpRequest& request) {
  // An address that could close the angle brackets or start a line of its own is never sent.
  std::vector<std::wstring> addresses = request.recipients;
  addresses.push_back(request.fromAddress);
  if (!request.replyToAddress.empty()) addresses.push_back(request.replyToAddress);
  if (request.recipients.empty()) return c.Fail(WSAEINVAL, L"No recipient is set.");
  for (const std::wstring& address : addresses)
    if (!SmtpAddressOk(address)) return c.Fail(WSAEINVAL, L"The address \"" + address + L"\" is not valid.");
  if (!c.Connect()) return false;
  if (!c.Command("", 2)) return false;
  Capabilities caps;
  if (!Hello(c, caps)) return false;
  if (request.security == SmtpSecurity::StartTls) {
    // Asked for a secure connection: never fall back to a plain one, the password would travel bare.
    if (!caps.startTls) return c.Fail(WSAEPROTONOSUPPORT, L"The server does not offer STARTTLS.");
    if (!c.StartTls() || !Hello(c, caps)) return false;
  }
  if (request.authenticate) {
    const std::string user = ToUtf8(request.user), password = ToUtf8(request.password);
    if (caps.authPlain && !caps.authLogin) {
      if (!c.Command("AUTH PLAIN " + Base64(std::string(1, '\0') + user + '\0' + password), 2, nullptr, "AUTH PLAIN"))
        return false;
    } else if (!c.Command("AUTH LOGIN", 3) || !c.Command(Base64(user), 3, nullptr, "the user name") ||
               !c.Command(Base64(password), 2, nullptr, "the password")) {
      return false;
    }
  }
  if (!c.Command("MAIL FROM:<" + OneLine(request.fromAddress) + ">", 2)) return false;
  for (const std::wstring& to : request.recipients)
    if (!c.Command("RCPT TO:<" + OneLine(to) + ">", 2)) return false;
  if (!c.Command("DATA", 3)) return false;
  if (!c.Command(BuildSmtpMessage(request) + ".", 2, nullptr, "the message")) return false;
  c.Command("QUIT", 2);  // the message is handed over; how the goodbye goes does not matter
  return true;
}

}  // namespace

bool SmtpAddressOk(const std::wstring& address) {
  // The envelope allows 256 characters with the angle brackets; longer would also pass the
  // header line limit, where an address cannot be folded.
  if (address.empty() || address.size() > 254) return false;
  return std::none_of(address.begin(), address.end(),
                      [](wchar_t c) { return c < 0x20 || c == 0x7F || c == L'<' || c == L'>' || c == L'"'; });
}

std::string BuildSmtpMessage(const SmtpRequest& request) {
  std::string to;
  for (const std::wstring& address : request.recipients) to += (to.empty() ? "" : ", ") + Mailbox(L"", address);
  std::string headers = HeaderLine("Date", DateHeader());
  headers += HeaderLine("From", Mailbox(request.fromName, request.fromAddress));
  if (!request.replyToAddress.empty())
    headers += HeaderLine("Reply-To", Mailbox(request.replyToName, request.replyToAddress));
  headers += HeaderLine("To", to);
  headers += HeaderLine("Subject", HeaderText(request.subject));
  char id[64];
  std::snprintf(id, sizeof id, "%08lx.%08lx.%04lx", static_cast<unsigned long>(GetTickCount()),
                static_cast<unsigned long>(GetCurrentProcessId()), static_cast<unsigned long>(GetCurrentThreadId()));
  const std::string from = OneLine(request.fromAddress);
  const size_t at = from.rfind('@');
  headers += std::string("Message-ID: <") + id + "@" + (at == std::string::npos ? "localhost" : from.substr(at + 1)) +
             ">\r\n";
  headers += "MIME-Version: 1.0\r\n";
  headers += "Content-Type: text/plain; charset=utf-8\r\n";
  bool quotedPrintable = false;
  const std::vector<std::string> lines = BodyLines(request.body, quotedPrintable);
  headers += quotedPrintable ? "Content-Transfer-Encoding: quoted-printable\r\n" : "Content-Transfer-Encoding: 7bit\r\n";

  std::string message = headers + "\r\n";
  for (const std::string& line : lines) {
    if (!line.empty() && line[0] == '.') message += '.';
    message += line + "\r\n";
  }
  return message;
}

SmtpResult SendSmtpMail(const SmtpRequest& request) {
  WinsockSession winsock;
  if (!winsock.ok) return {false, WSASYSNOTREADY, L"Windows Sockets are not available."};
  Connection connection(request);
  if (!Converse(connection, request)) {
    if (connection.result.error.empty()) connection.Fail(-1, L"Sending the message failed.");
    connection.result.ok = false;
    return connection.result;
  }
  connection.result = {true, 0, L""};
  return connection.result;
}

}  // namespace platform
