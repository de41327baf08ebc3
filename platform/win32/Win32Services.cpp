#include "platform/win32/Win32Services.h"

#include "platform/win32/SystemDll.h"

#include <new>
#include <vector>

namespace platform::win32 {

int Win32MessageBox::ShowMessage(const std::string& text, const std::string& caption, uint32_t type) {
  return MessageBoxA(GetActiveWindow(), text.c_str(), caption.c_str(), type);
}

int Win32Screen::PixelsPerInchY() {
  WindowDc screen(nullptr);
  if (!screen) return 96;
  return GetDeviceCaps(screen.get(), LOGPIXELSY);
}

bool Win32Screen::SeenByAPerson() {
  USEROBJECTFLAGS flags{};
  HWINSTA station = GetProcessWindowStation();
  if (station == nullptr || !GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags, nullptr)) return true;
  return (flags.dwFlags & WSF_VISIBLE) != 0;
}

std::string Win32Module::ProgramPath() {
  try {
    // The name is cut short, without error, when the buffer is too small:
    // grow until it fits (paths may exceed MAX_PATH).
    for (DWORD size = MAX_PATH + 1; size <= 32768 * 2; size *= 2) {
      std::string buffer(size, '\0');
      const DWORD len = GetModuleFileNameA(nullptr, buffer.data(), size);
      if (len == 0) return {};
      if (len < size) {
        buffer.resize(len);
        return buffer;
      }
    }
  } catch (const std::bad_alloc&) {
  }
  return {};
}

std::optional<FileVersion> Win32Module::ReadFileVersion(const std::string& path) {
  const auto sizeOf = SystemCall<decltype(&GetFileVersionInfoSizeA)>(L"version.dll", "GetFileVersionInfoSizeA");
  const auto read = SystemCall<decltype(&GetFileVersionInfoA)>(L"version.dll", "GetFileVersionInfoA");
  const auto query = SystemCall<decltype(&VerQueryValueA)>(L"version.dll", "VerQueryValueA");
  if (sizeOf == nullptr || read == nullptr || query == nullptr) return std::nullopt;
  DWORD handle = 0;
  const DWORD size = sizeOf(path.c_str(), &handle);
  if (size == 0) return std::nullopt;
  try {
    std::vector<char> buffer(size);
    if (!read(path.c_str(), handle, size, buffer.data())) return std::nullopt;
    void* info = nullptr;
    UINT len = 0;
    if (!query(buffer.data(), "\\", &info, &len) || info == nullptr || len < sizeof(VS_FIXEDFILEINFO))
      return std::nullopt;
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(info);
    return FileVersion{fixed->dwFileVersionMS, fixed->dwFileVersionLS};
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

bool Win32Module::RunsOnNtFamily() { return (GetVersion() & 0x80000000u) == 0; }

namespace {
// A shell folder by its CSIDL, without a trailing backslash; empty when the
// system has none.
std::string ShellFolder(int csidl) {
  using GetFolder = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPSTR);
  static const auto get = SystemCall<GetFolder>(L"shell32.dll", "SHGetFolderPathA");
  char path[MAX_PATH] = {};
  if (get == nullptr || get(nullptr, csidl, nullptr, 0, path) != S_OK) return {};
  std::string out(path);
  while (out.size() > 3 && out.back() == '\\') out.pop_back();
  return out;
}

// A string value of the 64-bit registry view (where the native Program
// Files live), expanded.
std::string NativeValue(const char* key, const char* name) {
  UniqueKey opened;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, opened.put()) != ERROR_SUCCESS)
    return {};
  char raw[MAX_PATH] = {};
  DWORD size = sizeof raw - 1;
  DWORD type = 0;
  if (RegQueryValueExA(opened.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(raw), &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ))
    return {};
  char expanded[MAX_PATH] = {};
  const DWORD n = ExpandEnvironmentStringsA(raw, expanded, MAX_PATH);
  return n > 0 && n <= MAX_PATH ? std::string(expanded) : std::string(raw);
}
}  // namespace

SystemFolders Win32Module::KnownFolders() {
  SystemFolders f;
  char windows[MAX_PATH] = {};
  const UINT n = GetSystemWindowsDirectoryA(windows, MAX_PATH);
  if (n > 0 && n < MAX_PATH) f.windows = windows;
  f.profiles = NativeValue("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList", "ProfilesDirectory");
  constexpr int kShortcutPlaces[] = {
      0x000b, 0x0016, 0x0002, 0x0017,  // Start Menu and Programs: the user's, everybody's
      0x0010, 0x0019, 0x0007, 0x0018,  // Desktop and Startup: the user's, everybody's
  };
  constexpr int kShellFolders[] = {
      0x0026, 0x002a, 0x002b, 0x002c,  // Program Files, Program Files (x86), their Common Files
      0x0023,                          // ProgramData
      0x001c, 0x0005, 0x002e,          // local application data, documents: the user's, everybody's
  };
  // Each asked once.
  for (int csidl : kShortcutPlaces) {
    f.shortcutPlaces.push_back(ShellFolder(csidl));
    f.others.push_back(f.shortcutPlaces.back());
  }
  for (int csidl : kShellFolders) f.others.push_back(ShellFolder(csidl));
  const std::string roaming = ShellFolder(0x001a);  // application data
  f.profile = ShellFolder(0x0028);
  f.others.push_back(roaming);
  f.others.push_back(f.profile);
  f.others.push_back(NativeValue("SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "ProgramW6432Dir"));
  f.others.push_back(NativeValue("SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "CommonW6432Dir"));
  if (!roaming.empty()) f.shortcutPlaces.push_back(roaming + "\\Microsoft\\Internet Explorer\\Quick Launch");
  return f;
}

std::string Win32Locale::ThousandsSeparator() {
  char buffer[8] = {};  // LOCALE_STHOUSAND holds at most four characters
  const int len = GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, buffer, sizeof buffer);
  if (len <= 0) return {};
  return std::string(buffer);
}

bool Win32Locale::EqualIgnoreCase(const std::string& a, const std::string& b) {
  return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                        static_cast<int>(b.size())) == CSTR_EQUAL;
}

std::string Win32Locale::UpperAnsi(const std::string& text) {
  std::string copy = text;
  if (!copy.empty()) CharUpperBuffA(copy.data(), static_cast<DWORD>(copy.size()));
  return copy;
}

bool Win32Locale::IsLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte) != 0; }

std::string Win32Locale::ToUtf8(const std::string& ansi) {
  if (ansi.empty()) return {};
  try {
    const int size = static_cast<int>(ansi.size());
    const int wide = MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, nullptr, 0);
    if (wide <= 0) return {};
    std::wstring utf16(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, utf16.data(), wide);
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), wide, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16.data(), wide, out.data(), bytes, nullptr, nullptr);
    return out;
  } catch (const std::bad_alloc&) {
    return {};
  }
}

std::string Win32NamedLock::MutexName(const std::string& name) {
  std::string out = name;
  for (char& c : out) {
    if (c == '\\') c = '_';
  }
  // The global namespace: uninstallers in other sessions see the same lock.
  return "Global\\" + out;
}

bool Win32NamedLock::Acquire(const std::string& name, uint32_t timeoutMs) {
  Release();
  if (name.empty()) return false;
  UniqueHandle mutex(CreateMutexA(nullptr, FALSE, MutexName(name).c_str()));
  if (!mutex) return false;
  const DWORD wait = WaitForSingleObject(mutex.get(), timeoutMs);
  // An owner that ended without releasing leaves the mutex abandoned; it is
  // ours now all the same.
  if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) return false;
  mutex_ = std::move(mutex);
  held_ = true;
  return true;
}

void Win32NamedLock::Release() {
  if (held_) ReleaseMutex(mutex_.get());
  held_ = false;
  mutex_.reset();
}

}  // namespace platform::win32
