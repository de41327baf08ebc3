#include "platform/win32/SystemDll.h"

namespace platform::win32 {

namespace {
#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

HMODULE LoadFromSystemFolder(const wchar_t* dll) {
  // Where the loader knows the flag (Windows 8, or 7 with its update) it
  // looks in the system folder alone; elsewhere the full path does.
  if (HMODULE m = LoadLibraryExW(dll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) return m;
  wchar_t path[MAX_PATH];
  const UINT n = GetSystemDirectoryW(path, MAX_PATH);
  if (n == 0 || n + 1 + lstrlenW(dll) >= MAX_PATH) return nullptr;
  path[n] = L'\\';
  lstrcpyW(path + n + 1, dll);
  return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}
}  // namespace

void RestrictDllSearch() {
  using SetDefault = BOOL(WINAPI*)(DWORD);
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (auto set = reinterpret_cast<SetDefault>(
          reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")))) {
    set(LOAD_LIBRARY_SEARCH_SYSTEM32);
  }
  // The current folder out of the search on every version.
  SetDllDirectoryW(L"");
}

FARPROC SystemFunction(const wchar_t* dll, const char* name) {
  HMODULE module = GetModuleHandleW(dll);
  if (module == nullptr) module = LoadFromSystemFolder(dll);
  return module == nullptr ? nullptr : GetProcAddress(module, name);
}

}  // namespace platform::win32
