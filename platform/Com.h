#pragma once
// Owners for COM state: the thread's apartment, BSTR texts, VARIANT values and task memory, and the
// walk over the rows of one WMI query.
#include <windows.h>
#include <oleauto.h>
#include <wbemidl.h>

#include <functional>
#include <string>

#include "platform/Handle.h"

namespace platform {

// A single-threaded COM apartment for as long as the object lives. A thread that already runs
// COM in the other threading model can still use it; it just must not be uninitialised by us.
class ComApartment {
 public:
  ComApartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComApartment() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  bool Usable() const { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }
  HRESULT Result() const { return result_; }

 private:
  HRESULT result_;
};

// A BSTR freed exactly once; null when the text could not be allocated.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const wchar_t* text) : value_(SysAllocString(text)) {}
  explicit Bstr(const std::wstring& text) : value_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ~Bstr() { SysFreeString(value_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return value_; }
  // For calls that hand out a BSTR; what was held before is freed.
  BSTR* put() {
    SysFreeString(value_);
    value_ = nullptr;
    return &value_;
  }
  explicit operator bool() const { return value_ != nullptr; }
  std::wstring Text() const { return value_ ? std::wstring(value_, SysStringLen(value_)) : std::wstring(); }

 private:
  BSTR value_ = nullptr;
};

// A VARIANT cleared exactly once.
class ComVariant {
 public:
  ComVariant() { VariantInit(&value_); }
  // Takes over a filled VARIANT (a BSTR in it is freed with this owner).
  explicit ComVariant(const VARIANT& adopted) : value_(adopted) {}
  ComVariant(ComVariant&& other) noexcept : value_(other.value_) { VariantInit(&other.value_); }
  ~ComVariant() { VariantClear(&value_); }
  ComVariant(const ComVariant&) = delete;
  ComVariant& operator=(const ComVariant&) = delete;
  ComVariant& operator=(ComVariant&&) = delete;
  VARIANT* get() { return &value_; }
  const VARIANT* get() const { return &value_; }
  VARIANT* operator->() { return &value_; }
  const VARIANT* operator->() const { return &value_; }

 private:
  VARIANT value_;
};

// Memory that COM and the shell hand out (item lists, texts), freed with CoTaskMemFree.
template <typename T>
struct CoTaskMemTraits {
  static T Invalid() { return nullptr; }
  static bool IsValid(T memory) { return memory != nullptr; }
  static void Close(T memory) { CoTaskMemFree(memory); }
};
template <typename T>
using UniqueCoTaskMem = UniqueHandle<T, CoTaskMemTraits<T>>;

// How a WMI walk ended.
enum class WmiWalkEnd {
  Finished,  // every row was seen
  Stopped,   // the row handler asked to stop
  Failed,    // a step failed; the failure handler was told
  TimedOut,  // WMI gave no row within the wait
};

// Runs a WQL query on the local root\cimv2 namespace (impersonating the caller, as the scripting
// default does) and hands each row, with the service, to onRow until it returns false. A failed
// step ("WbemLocator", "ConnectServer", "ExecQuery", "Next") is passed to onFailure and ends the
// walk. The calling thread must be in a COM apartment. A WMI that does not answer must not hold
// the caller for ever: each row is waited for at most waitMs.
using WmiRowHandler = std::function<bool(IWbemServices* services, IWbemClassObject* row)>;
using WmiFailureHandler = std::function<void(HRESULT result, const wchar_t* step)>;
WmiWalkEnd WalkWmiRows(const wchar_t* query, const WmiRowHandler& onRow, const WmiFailureHandler& onFailure,
                       long waitMs = 30 * 1000);

}  // namespace platform
