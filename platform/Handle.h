#pragma once
// Small owners for Windows handles: each closes what it holds exactly once.
#include <windows.h>
#include <winsvc.h>
#include <wininet.h>

#include <utility>

namespace platform {

template <typename T, typename Traits>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(T value) : value_(value) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  T get() const { return value_; }
  explicit operator bool() const { return Traits::IsValid(value_); }
  T* put() {
    reset();
    return &value_;
  }
  T release() { return std::exchange(value_, Traits::Invalid()); }
  void reset(T value = Traits::Invalid()) {
    if (Traits::IsValid(value_)) Traits::Close(value_);
    value_ = value;
  }
  // Closes what is held at once and gives back the closing call's own answer, for a close whose
  // outcome matters (closing a file can report a write that failed). Only while a handle is held.
  auto close() { return Traits::Close(release()); }

 private:
  T value_ = Traits::Invalid();
};

struct KernelHandleTraits {  // CreateProcess, OpenProcess, events: null means none
  static HANDLE Invalid() { return nullptr; }
  static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static BOOL Close(HANDLE h) { return CloseHandle(h); }
};
struct FileHandleTraits {  // CreateFile: INVALID_HANDLE_VALUE means none
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static BOOL Close(HANDLE h) { return CloseHandle(h); }
};
struct FindHandleTraits {
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static BOOL Close(HANDLE h) { return FindClose(h); }
};
struct RegKeyTraits {  // predefined roots are never closed
  static HKEY Invalid() { return nullptr; }
  static bool IsValid(HKEY k) {
    const ULONG_PTR rootBase = reinterpret_cast<ULONG_PTR>(HKEY_CLASSES_ROOT) & ~static_cast<ULONG_PTR>(0xF);
    return k != nullptr && (reinterpret_cast<ULONG_PTR>(k) & ~static_cast<ULONG_PTR>(0xF)) != rootBase;
  }
  static LONG Close(HKEY k) { return RegCloseKey(k); }
};
struct ModuleTraits {
  static HMODULE Invalid() { return nullptr; }
  static bool IsValid(HMODULE m) { return m != nullptr; }
  static BOOL Close(HMODULE m) { return FreeLibrary(m); }
};
struct LocalMemTraits {  // what LocalAlloc, FormatMessage and the SID and descriptor conversions hand out
  static HLOCAL Invalid() { return nullptr; }
  static bool IsValid(HLOCAL m) { return m != nullptr; }
  static HLOCAL Close(HLOCAL m) { return LocalFree(m); }
};

struct AllocatedSidTraits {  // AllocateAndInitializeSid
  static PSID Invalid() { return nullptr; }
  static bool IsValid(PSID sid) { return sid != nullptr; }
  static PVOID Close(PSID sid) { return FreeSid(sid); }
};

struct MappedViewTraits {  // MapViewOfFile
  static const void* Invalid() { return nullptr; }
  static bool IsValid(const void* view) { return view != nullptr; }
  static BOOL Close(const void* view) { return UnmapViewOfFile(view); }
};

struct ServiceHandleTraits {  // service manager and service handles
  static SC_HANDLE Invalid() { return nullptr; }
  static bool IsValid(SC_HANDLE h) { return h != nullptr; }
  static BOOL Close(SC_HANDLE h) { return CloseServiceHandle(h); }
};

struct InternetHandleTraits {  // WinInet session, connection, file and find handles (link wininet)
  static HINTERNET Invalid() { return nullptr; }
  static bool IsValid(HINTERNET h) { return h != nullptr; }
  static BOOL Close(HINTERNET h) { return InternetCloseHandle(h); }
};

template <typename T>
struct GdiObjectTraits {  // fonts, bitmaps, brushes: a control given one does not delete it
  static T Invalid() { return nullptr; }
  static bool IsValid(T object) { return object != nullptr; }
  static BOOL Close(T object) { return DeleteObject(object); }
};

using UniqueKernelHandle = UniqueHandle<HANDLE, KernelHandleTraits>;
using UniqueFileHandle = UniqueHandle<HANDLE, FileHandleTraits>;
using UniqueFindHandle = UniqueHandle<HANDLE, FindHandleTraits>;
using UniqueRegKey = UniqueHandle<HKEY, RegKeyTraits>;
using UniqueModule = UniqueHandle<HMODULE, ModuleTraits>;
using UniqueLocal = UniqueHandle<HLOCAL, LocalMemTraits>;
using UniqueAllocatedSid = UniqueHandle<PSID, AllocatedSidTraits>;
using UniqueMappedView = UniqueHandle<const void*, MappedViewTraits>;
using UniqueServiceHandle = UniqueHandle<SC_HANDLE, ServiceHandleTraits>;
using UniqueInternetHandle = UniqueHandle<HINTERNET, InternetHandleTraits>;
using UniqueFont = UniqueHandle<HFONT, GdiObjectTraits<HFONT>>;
using UniqueBitmap = UniqueHandle<HBITMAP, GdiObjectTraits<HBITMAP>>;

}  // namespace platform
