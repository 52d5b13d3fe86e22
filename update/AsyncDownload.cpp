#include "update/AsyncDownload.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/CommonModule.h"
#include "platform/Handle.h"
#include "platform/Procedure.h"
#include "platform/Text.h"

using Microsoft::WRL::ComPtr;

namespace {

// URLMON is loaded when first needed: the program links only what every road uses.
struct UrlMonApi {
  using OpenStream = HRESULT(WINAPI*)(IUnknown*, LPCWSTR, DWORD, IBindStatusCallback*);
  using ToFile = HRESULT(WINAPI*)(IUnknown*, LPCWSTR, LPCWSTR, DWORD, IBindStatusCallback*);
  using BlockingStream = HRESULT(WINAPI*)(IUnknown*, LPCWSTR, IStream**, DWORD, IBindStatusCallback*);
  using ToCacheFile = HRESULT(WINAPI*)(IUnknown*, LPCWSTR, LPWSTR, DWORD, DWORD, IBindStatusCallback*);
  using AsyncBindCtx = HRESULT(WINAPI*)(DWORD, IBindStatusCallback*, IEnumFORMATETC*, IBindCtx**);
  using UrlMoniker = HRESULT(WINAPI*)(IMoniker*, LPCWSTR, IMoniker**);
  using SessionOption = HRESULT(WINAPI*)(DWORD, LPVOID, DWORD, DWORD);

  platform::UniqueHandle<HMODULE, platform::ModuleTraits> module{LoadLibraryW(L"urlmon.dll")};
  OpenStream openStream = Get<OpenStream>("URLOpenStreamW");
  ToFile toFile = Get<ToFile>("URLDownloadToFileW");
  BlockingStream blockingStream = Get<BlockingStream>("URLOpenBlockingStreamW");
  ToCacheFile toCacheFile = Get<ToCacheFile>("URLDownloadToCacheFileW");
  AsyncBindCtx asyncBindCtx = Get<AsyncBindCtx>("CreateAsyncBindCtx");
  UrlMoniker urlMoniker = Get<UrlMoniker>("CreateURLMoniker");
  SessionOption sessionOption = Get<SessionOption>("UrlMkSetSessionOption");

  template <typename F>
  F Get(const char* name) {
    return platform::GetProcedure<F>(module.get(), name);
  }
};

UrlMonApi& UrlMon() {
  static UrlMonApi api;
  return api;
}

const HRESULT kNotLoaded = HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);

}  // namespace

ComPtr<AsyncDownload> AsyncDownload::Create() {
  ComPtr<AsyncDownload> object;
  object.Attach(new AsyncDownload());
  return object;
}

AsyncDownload::AsyncDownload() : m_ParentWindow(GetDesktopWindow()) {}

AsyncDownload::~AsyncDownload() {
  auto refresh = UrlMon().sessionOption;
  const HRESULT hr = refresh ? refresh(URLMON_OPTION_USERAGENT_REFRESH, nullptr, 0, 0) : kNotLoaded;
  if (FAILED(hr)) CommonModule::DPrint(L"AsyncDownload\\Class_Terminate: ", L"- Error: ", static_cast<int32_t>(hr));
}

// ---- IUnknown -----------------------------------------------------------------------------------

STDMETHODIMP AsyncDownload::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (riid == IID_IUnknown || riid == __uuidof(IBindStatusCallback))
    *ppv = static_cast<IBindStatusCallback*>(this);
  else if (riid == __uuidof(IAuthenticate))
    *ppv = static_cast<IAuthenticate*>(this);
  else if (riid == __uuidof(IHttpNegotiate))
    *ppv = static_cast<IHttpNegotiate*>(this);
  else if (riid == __uuidof(IWindowForBindingUI))
    *ppv = static_cast<IWindowForBindingUI*>(this);
  else
    return E_NOINTERFACE;
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) AsyncDownload::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_Refs)); }

STDMETHODIMP_(ULONG) AsyncDownload::Release() {
  const LONG left = InterlockedDecrement(&m_Refs);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

// ---- Public members -----------------------------------------------------------------------------

void AsyncDownload::AbortDownload() {
  if (m_Binding) m_Binding->Abort();
}

AsyncDownload::Result AsyncDownload::Download(const std::wstring& URL, const std::wstring& Filename,
                                              std::wstring OptionalHeader, const std::wstring& PostData,
                                              const std::wstring& UserName, const std::wstring& Password,
                                              const std::wstring& Method, int32_t DownloadType) {
  Result result;
  if (m_Binding) {
    result.error = kErrStillRunning;
    result.errorSource = L"AsyncDownload";
    result.errorText = L"A download operation is still running. Cannot start a new one.";
    return result;
  }
  // URLMON may call back into a caller that drops its last reference meanwhile.
  ComPtr<AsyncDownload> self(this);

  m_Synchronous = false;
  m_PostData = platform::ToAnsi(PostData);
  m_UserName = UserName;
  m_Password = Password;
  if (!m_PostData.empty() && !platform::Contains(platform::Lower(OptionalHeader), L"content-type:"))
    OptionalHeader = L"Content-Type: application/x-www-form-urlencoded\r\n" + OptionalHeader;
  m_Headers = OptionalHeader;
  if (!platform::EndsWith(m_Headers, L"\r\n")) m_Headers += L"\r\n";
  m_Method = platform::Upper(Method);
  if (m_Method.empty()) m_Method = L"GET";

  UrlMonApi& api = UrlMon();
  IUnknown* caller = static_cast<IBindStatusCallback*>(this);
  switch (DownloadType) {
    case 0:
      m_Data.clear();
      m_FirstChunk = true;
      if (api.openStream) api.openStream(caller, URL.c_str(), 0, this);
      break;
    case 1:
      if (api.toFile) api.toFile(caller, URL.c_str(), Filename.c_str(), 0, this);
      break;
    case 2: {
      m_Synchronous = true;
      m_BlockingStream.Reset();
      if (api.blockingStream) api.blockingStream(caller, URL.c_str(), m_BlockingStream.GetAddressOf(), 0, this);
      result.stream = m_BlockingStream;
      break;
    }
    case 3: {
      wchar_t buffer[260] = {};
      if (api.toCacheFile) api.toCacheFile(caller, URL.c_str(), buffer, 260, 0, this);
      result.cacheFile = buffer;
      break;
    }
    case 4: {
      m_Synchronous = true;
      HRESULT hr = api.asyncBindCtx ? api.asyncBindCtx(0, this, nullptr, m_BindCtx.ReleaseAndGetAddressOf()) : kNotLoaded;
      if (SUCCEEDED(hr))
        hr = api.urlMoniker ? api.urlMoniker(nullptr, URL.c_str(), m_Moniker.ReleaseAndGetAddressOf()) : kNotLoaded;
      if (SUCCEEDED(hr)) {
        ComPtr<IUnknown> object;
        hr = m_Moniker->BindToObject(m_BindCtx.Get(), nullptr, IID_IUnknown,
                                     reinterpret_cast<void**>(object.GetAddressOf()));
      }
      if (FAILED(hr)) {
        result.error = hr;
        result.errorSource = L"AsyncDownload";
        result.errorText = GetErrorText(hr);
        m_UserName.clear();
        m_Password.clear();
        return result;
      }
      break;
    }
    default:
      break;
  }
  m_UserName.clear();
  m_Password.clear();
  return result;
}

std::wstring AsyncDownload::QueryInfo(int32_t Info) {
  if (!m_Binding) return {};
  ComPtr<IWinInetHttpInfo> info;
  if (FAILED(m_Binding.As(&info)) || !info) return {};
  DWORD size = 0;
  info->QueryInfo(static_cast<DWORD>(Info), nullptr, &size, nullptr, nullptr);
  if (size == 0) return {};
  std::string buffer(size, '\0');
  if (FAILED(info->QueryInfo(static_cast<DWORD>(Info), buffer.data(), &size, nullptr, nullptr))) return {};
  buffer.resize(std::min<size_t>(size, buffer.size()));
  while (!buffer.empty() && buffer.back() == '\0') buffer.pop_back();
  return platform::FromAnsi(buffer);
}

// ---- IAuthenticate ------------------------------------------------------------------------------

STDMETHODIMP AsyncDownload::Authenticate(HWND* phwnd, LPWSTR* pszUsername, LPWSTR* pszPassword) {
  if (AuthenticateEvent) AuthenticateEvent(m_UserName, m_Password);
  if (pszUsername) *pszUsername = StrToCoTaskMem(m_UserName);
  if (pszPassword) *pszPassword = StrToCoTaskMem(m_Password);
  return S_OK;
}

// ---- IBindStatusCallback ------------------------------------------------------------------------

STDMETHODIMP AsyncDownload::OnStartBinding(DWORD, IBinding* pib) {
  m_Binding = pib;
  if (StartingDownload) StartingDownload();
  return S_OK;
}

STDMETHODIMP AsyncDownload::GetPriority(LONG*) { return E_NOTIMPL; }

STDMETHODIMP AsyncDownload::OnLowResource(DWORD) { return E_NOTIMPL; }

STDMETHODIMP AsyncDownload::OnProgress(ULONG ulProgress, ULONG ulProgressMax, ULONG ulStatusCode,
                                       LPCWSTR szStatusText) {
  if (Progress)
    Progress(PercentOf(ulProgress, ulProgressMax), static_cast<int32_t>(ulProgress),
             static_cast<int32_t>(ulProgressMax), ulStatusCode, szStatusText ? szStatusText : L"");
  return S_OK;
}

STDMETHODIMP AsyncDownload::OnStopBinding(HRESULT hresult, LPCWSTR) {
  ComPtr<AsyncDownload> self(this);  // a handler may drop the caller's reference
  if (hresult == S_OK || hresult == S_FALSE) {
    if (DownloadComplete) DownloadComplete(hresult);
  } else {
    if (DownloadAborted) DownloadAborted(hresult, GetErrorText(hresult));
  }
  m_Binding.Reset();
  return S_OK;
}

STDMETHODIMP AsyncDownload::GetBindInfo(DWORD* grfBINDF, BINDINFO* pbindinfo) {
  if (!grfBINDF || !pbindinfo) return E_INVALIDARG;
  DWORD flags = static_cast<DWORD>(Flags);
  if (m_Synchronous) flags &= ~static_cast<DWORD>(BINDF_ASYNCHRONOUS);
  *grfBINDF = flags;

  const DWORD size = pbindinfo->cbSize;
  if (size < offsetof(BINDINFO, dwOptions)) return E_INVALIDARG;
  std::memset(pbindinfo, 0, size);
  pbindinfo->cbSize = size;
  pbindinfo->dwBindVerb = BINDVERB_CUSTOM;
  pbindinfo->szCustomVerb = StrToCoTaskMem(m_Method);
  if (!m_PostData.empty()) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, m_PostData.size());
    if (memory) {
      if (void* bytes = GlobalLock(memory)) {
        std::memcpy(bytes, m_PostData.data(), m_PostData.size());
        GlobalUnlock(memory);
      }
      pbindinfo->cbstgmedData = static_cast<DWORD>(m_PostData.size());
      pbindinfo->stgmedData.tymed = TYMED_HGLOBAL;
      pbindinfo->stgmedData.hGlobal = memory;
    }
  }
  return S_OK;
}

STDMETHODIMP AsyncDownload::OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM* pstgmed) {
  if (!pstgmed || pstgmed->tymed != TYMED_ISTREAM || !pstgmed->pstm) return S_OK;
  STATSTG stat = {};
  if (FAILED(pstgmed->pstm->Stat(&stat, STATFLAG_NONAME))) return S_OK;
  const uint64_t size = stat.cbSize.QuadPart;
  if (size == 0 || size > 0x7FFFFFFF) return S_OK;
  std::vector<uint8_t> chunk(static_cast<size_t>(size));
  ULONG read = 0;
  pstgmed->pstm->Read(chunk.data(), static_cast<ULONG>(chunk.size()), &read);
  // Only what the stream really gave: a short read must not add zero bytes to the data.
  chunk.resize(read);
  if (m_FirstChunk) {
    m_Data = chunk;
    m_FirstChunk = false;
  } else {
    m_Data.insert(m_Data.end(), chunk.begin(), chunk.end());
  }
  if (DataAvailable) DataAvailable(chunk);
  return S_OK;
}

STDMETHODIMP AsyncDownload::OnObjectAvailable(REFIID, IUnknown* punk) {
  if (ObjectAvailable) ObjectAvailable(punk);
  return S_OK;
}

// ---- IHttpNegotiate -----------------------------------------------------------------------------

STDMETHODIMP AsyncDownload::BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* pszAdditionalHeaders) {
  if (pszAdditionalHeaders) *pszAdditionalHeaders = StrToCoTaskMem(m_Headers);
  return S_OK;
}

STDMETHODIMP AsyncDownload::OnResponse(DWORD dwResponseCode, LPCWSTR szResponseHeaders, LPCWSTR,
                                       LPWSTR* pszAdditionalRequestHeaders) {
  if (pszAdditionalRequestHeaders) *pszAdditionalRequestHeaders = nullptr;
  if (HTTPResponse) HTTPResponse(dwResponseCode, szResponseHeaders ? szResponseHeaders : L"");
  return S_OK;
}

// ---- IWindowForBindingUI ------------------------------------------------------------------------

STDMETHODIMP AsyncDownload::GetWindow(REFGUID, HWND* phwnd) {
  if (!phwnd) return E_INVALIDARG;
  *phwnd = m_ParentWindow;
  return S_OK;
}

// ---- Helpers ------------------------------------------------------------------------------------

LPWSTR AsyncDownload::StrToCoTaskMem(const std::wstring& text) {
  if (text.empty()) return nullptr;
  const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  auto* memory = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
  if (memory) std::memcpy(memory, text.c_str(), bytes);
  return memory;
}

int32_t AsyncDownload::PercentOf(ULONG progress, ULONG progressMax) {
  const auto max = static_cast<int32_t>(progressMax);
  if (max == 0) return 0;
  const double percent = static_cast<double>(static_cast<int32_t>(progress)) / max * 100.0;
  return static_cast<int32_t>(std::nearbyint(percent));  // the default rounding: halves to even
}

std::wstring AsyncDownload::GetErrorText(HRESULT status) {
  switch (static_cast<uint32_t>(status)) {
    case 0x800C0002: return L"Invalid URL.";
    case 0x800C0003: return L"No Session.";
    case 0x800C0004: return L"Cannot Connect";
    case 0x800C0005: return L"Resource Not Found.";
    case 0x800C0006: return L"File Not Found.";
    case 0x800C0007: return L"Data Not Available.";
    case 0x800C0008: return L"Download Failure.";
    case 0x800C0009: return L"Authentication Failure.";
    case 0x800C000A: return L"No Valid Media.";
    case 0x800C000B: return L"Connection Timeout.";
    case 0x800C000C: return L"Invalid Request.";
    case 0x800C000D: return L"Unknown Protocol.";
    case 0x800C000E: return L"Security Problem.";
    case 0x800C000F: return L"Cannot Load Data.";
    case 0x800C0010: return L"Cannot Instantiate Object.";
    case 0x800C0011: return L"Default Action.";
    case 0x800C0013: return L"QueryOption Unknown.";
    case 0x800C0014: return L"Redirect Failed.";
    case 0x800C0015: return L"Redirect To Dir.";
    case 0x800C0016: return L"Cannot Lock Request.";
    case 0x800C0100: return L"Code Download Declined.";
    case 0x800C0200: return L"Result Dispatched.";
    case 0x800C0300: return L"Cannot Replace SFP File.";
    default: return L"Unknown Error.";
  }
}
