#pragma once
// A URL-moniker download component: implements URLMON's callback interfaces and turns the calls
// into events. Five download types; the program itself uses type 1 (download to a file).
//
// Create it with AsyncDownload::Create(); it is a COM object, kept alive by its references.
#include <windows.h>
#include <urlmon.h>
#include <wrl/client.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class AsyncDownload final : public IBindStatusCallback,
                            public IAuthenticate,
                            public IHttpNegotiate,
                            public IWindowForBindingUI {
 public:
  static Microsoft::WRL::ComPtr<AsyncDownload> Create();

  // The first user-defined error number, raised when a download is asked for while one runs.
  static constexpr HRESULT kErrStillRunning = static_cast<HRESULT>(0x80040000);

  // What Download gives back. A "raised" error lands in error/errorSource/errorText and ends the
  // call; otherwise error is S_OK. cacheFile is the result of type 3, stream that of type 2.
  struct Result {
    HRESULT error = S_OK;
    std::wstring errorSource;
    std::wstring errorText;
    std::wstring cacheFile;
    Microsoft::WRL::ComPtr<IStream> stream;
  };

  // URLMON bind flags handed out by GetBindInfo.
  int32_t Flags = BINDF_ASYNCHRONOUS | BINDF_GETNEWESTVERSION | BINDF_RESYNCHRONIZE;

  bool Downloading() const { return m_Binding != nullptr; }
  HWND ParentWindow() const { return m_ParentWindow; }
  void ParentWindow(HWND window) { m_ParentWindow = window; }
  void AbortDownload();
  const std::vector<uint8_t>& Data() const { return m_Data; }
  // Runs one download of the given type (0 stream into Data, 1 to Filename, 2 blocking stream,
  // 3 to the URL cache, 4 bind to an object); returns when URLMON returns.
  Result Download(const std::wstring& URL, const std::wstring& Filename, std::wstring OptionalHeader,
                  const std::wstring& PostData, const std::wstring& UserName, const std::wstring& Password,
                  const std::wstring& Method, int32_t DownloadType);
  // An HTTP query-information value (HTTP_QUERY_*) of the running binding; "" when none.
  std::wstring QueryInfo(int32_t Info);

  // Events, in the order URLMON raises them. Unset handlers are skipped.
  std::function<void()> StartingDownload;
  std::function<void(HRESULT ErrNum)> DownloadComplete;
  std::function<void(HRESULT ErrNum, const std::wstring& sErrTxt)> DownloadAborted;
  std::function<void(int32_t Percent, int32_t ReceivedBytes, int32_t TotalBytes, uint32_t Status,
                     const std::wstring& StatusString)>
      Progress;
  std::function<void(const std::vector<uint8_t>& Data)> DataAvailable;
  std::function<void(IUnknown* Object)> ObjectAvailable;
  // The Authenticate event (the name of the interface method it comes from is taken).
  std::function<void(std::wstring& User, std::wstring& Password)> AuthenticateEvent;
  std::function<void(uint32_t Response, const std::wstring& Headers)> HTTPResponse;

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IAuthenticate
  STDMETHODIMP Authenticate(HWND* phwnd, LPWSTR* pszUsername, LPWSTR* pszPassword) override;

  // IBindStatusCallback
  STDMETHODIMP OnStartBinding(DWORD dwReserved, IBinding* pib) override;
  STDMETHODIMP GetPriority(LONG* pnPriority) override;
  STDMETHODIMP OnLowResource(DWORD reserved) override;
  STDMETHODIMP OnProgress(ULONG ulProgress, ULONG ulProgressMax, ULONG ulStatusCode, LPCWSTR szStatusText) override;
  STDMETHODIMP OnStopBinding(HRESULT hresult, LPCWSTR szError) override;
  STDMETHODIMP GetBindInfo(DWORD* grfBINDF, BINDINFO* pbindinfo) override;
  STDMETHODIMP OnDataAvailable(DWORD grfBSCF, DWORD dwSize, FORMATETC* pformatetc, STGMEDIUM* pstgmed) override;
  STDMETHODIMP OnObjectAvailable(REFIID riid, IUnknown* punk) override;

  // IHttpNegotiate
  STDMETHODIMP BeginningTransaction(LPCWSTR szURL, LPCWSTR szHeaders, DWORD dwReserved,
                                    LPWSTR* pszAdditionalHeaders) override;
  STDMETHODIMP OnResponse(DWORD dwResponseCode, LPCWSTR szResponseHeaders, LPCWSTR szRequestHeaders,
                          LPWSTR* pszAdditionalRequestHeaders) override;

  // IWindowForBindingUI
  STDMETHODIMP GetWindow(REFGUID rguidReason, HWND* phwnd) override;

  // The fixed text of a URLMON failure status ("Unknown Error." for any other).
  static std::wstring GetErrorText(HRESULT status);
  // Percent of a progress report: counts taken as signed 32-bit, halves rounded to even, 0 when
  // the total is 0 (unknown).
  static int32_t PercentOf(ULONG progress, ULONG progressMax);

 private:
  AsyncDownload();
  ~AsyncDownload();
  AsyncDownload(const AsyncDownload&) = delete;
  AsyncDownload& operator=(const AsyncDownload&) = delete;

  static LPWSTR StrToCoTaskMem(const std::wstring& text);

  LONG m_Refs = 1;
  Microsoft::WRL::ComPtr<IMoniker> m_Moniker;
  Microsoft::WRL::ComPtr<IBindCtx> m_BindCtx;
  Microsoft::WRL::ComPtr<IBinding> m_Binding;
  std::vector<uint8_t> m_Data;
  bool m_FirstChunk = false;
  bool m_Synchronous = false;
  std::wstring m_Headers;
  std::string m_PostData;
  std::wstring m_Method;
  std::wstring m_UserName;
  std::wstring m_Password;
  HWND m_ParentWindow = nullptr;
  Microsoft::WRL::ComPtr<IStream> m_BlockingStream;  // the last type-2 stream
};
