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

 private:
  T value_ = Traits::Invalid();
};

struct KernelHandleTraits {  // CreateProcess, OpenProcess, events: null means none
  static HANDLE Invalid() { return nullptr; }
  static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
struct FileHandleTraits {  // CreateFile: INVALID_HANDLE_VALUE means none
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
struct FindHandleTraits {
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { FindClose(h); }
};
struct RegKeyTraits {  // predefined roots are never closed
  static HKEY Invalid() { return nullptr; }
  static bool IsValid(HKEY k) {
    const ULONG_PTR rootBase = reinterpret_cast<ULONG_PTR>(HKEY_CLASSES_ROOT) & ~static_cast<ULONG_PTR>(0xF);
    return k != nullptr && (reinterpret_cast<ULONG_PTR>(k) & ~static_cast<ULONG_PTR>(0xF)) != rootBase;
  }
  static void Close(HKEY k) { RegCloseKey(k); }
};
struct ModuleTraits {
  static HMODULE Invalid() { return nullptr; }
  static bool IsValid(HMODULE m) { return m != nullptr; }
  static void Close(HMODULE m) { FreeLibrary(m); }
};
struct LocalMemTraits {
  static HLOCAL Invalid() { return nullptr; }
  static bool IsValid(HLOCAL m) { return m != nullptr; }
  static void Close(HLOCAL m) { LocalFree(m); }
};

struct MappedViewTraits {  // MapViewOfFile
  static const void* Invalid() { return nullptr; }
  static bool IsValid(const void* view) { return view != nullptr; }
  static void Close(const void* view) { UnmapViewOfFile(view); }
};

struct ServiceHandleTraits {  // service manager and service handles
  static SC_HANDLE Invalid() { return nullptr; }
  static bool IsValid(SC_HANDLE h) { return h != nullptr; }
  static void Close(SC_HANDLE h) { CloseServiceHandle(h); }
};

struct InternetHandleTraits {  // WinInet session, connection, file and find handles (link wininet)
  static HINTERNET Invalid() { return nullptr; }
  static bool IsValid(HINTERNET h) { return h != nullptr; }
  static void Close(HINTERNET h) { InternetCloseHandle(h); }
};

template <typename T>
struct GdiObjectTraits {  // fonts, bitmaps, brushes: a control given one does not delete it
  static T Invalid() { return nullptr; }
  static bool IsValid(T object) { return object != nullptr; }
  static void Close(T object) { DeleteObject(object); }
};

using UniqueKernelHandle = UniqueHandle<HANDLE, KernelHandleTraits>;
using UniqueFileHandle = UniqueHandle<HANDLE, FileHandleTraits>;
using UniqueFindHandle = UniqueHandle<HANDLE, FindHandleTraits>;
using UniqueRegKey = UniqueHandle<HKEY, RegKeyTraits>;
using UniqueModule = UniqueHandle<HMODULE, ModuleTraits>;
using UniqueLocal = UniqueHandle<HLOCAL, LocalMemTraits>;
using UniqueMappedView = UniqueHandle<const void*, MappedViewTraits>;
using UniqueServiceHandle = UniqueHandle<SC_HANDLE, ServiceHandleTraits>;
using UniqueInternetHandle = UniqueHandle<HINTERNET, InternetHandleTraits>;
using UniqueFont = UniqueHandle<HFONT, GdiObjectTraits<HFONT>>;
using UniqueBitmap = UniqueHandle<HBITMAP, GdiObjectTraits<HBITMAP>>;

}  // namespace platform
