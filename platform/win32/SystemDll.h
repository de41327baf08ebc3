#pragma once
// Functions of system DLLs that are not among Windows' known DLLs (the
// version resources, the common controls, the shell's folders), loaded on
// demand from the system folder alone: an uninstaller that runs elevated
// from a folder others may write must never take a DLL planted beside it.
#include <windows.h>

namespace platform::win32 {

// Removes the program's own folder and the current folder from the DLL
// search, where Windows offers it (SetDefaultDllDirectories, then
// SetDllDirectory). The program's first call.
void RestrictDllSearch();

// The function `name` of the system DLL `dll` (as "version.dll"), loaded
// from the system folder; null when either is missing.
FARPROC SystemFunction(const wchar_t* dll, const char* name);

// SystemFunction, typed: SystemCall<decltype(&GetFileVersionInfoA)>(L"version.dll", "GetFileVersionInfoA").
template <class F>
F SystemCall(const wchar_t* dll, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(SystemFunction(dll, name)));
}

}  // namespace platform::win32
