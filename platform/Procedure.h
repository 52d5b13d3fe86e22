#pragma once
// Functions of newer Windows versions, looked up at run time: a typed pointer, or null when the
// module or the function is not there.
#include <windows.h>

namespace platform {

template <typename F>
F GetProcedure(HMODULE module, const char* name) {
  // The detour through void* keeps the compiler from warning about the cast between function types.
  return module ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

// The same for a module that every process of ours has loaded (kernel32, advapi32, ntdll).
template <typename F>
F GetLoadedProcedure(const wchar_t* module, const char* name) {
  return GetProcedure<F>(GetModuleHandleW(module), name);
}

}  // namespace platform
