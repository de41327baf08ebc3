#pragma once
// What the whole-run tests share beyond the robot: installed trees whose log
// is written with the log writer, time stamps as the log keeps them, registry
// keys saved before a test and put back after it, and a run driven from the
// confirmation to the end while its progress window is watched.
//
// Header-only, so that each whole-run test program (runs, registration)
// takes it without a library of its own.
#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/tools/LogWriter.h"
#include "tests/e2e/robot/Robot.h"

namespace runkit {

// "Você está prestes a desinstalar "<name>".\n\rContinuar?"
inline std::string ConfirmText(const std::string& appName) {
  return "Voc\352 est\341 prestes a desinstalar \"" + appName + "\".\n\rContinuar?";
}
// "O arquivo "<path>"\n\rapresentou problemas."
inline std::string UnreadableText(const std::string& path) {
  return "O arquivo \"" + path + "\"\n\rapresentou problemas.";
}
inline constexpr char kConfirmCaption[] = "Continuar?";
// "Término"
inline constexpr char kFinishedCaption[] = "T\351rmino";
inline constexpr char kFinishedText[] = "Processo terminado.";
inline constexpr char kProblemsCaption[] = "Problemas";
// "Sumário de impossibilidades"
inline constexpr char kSummaryCaption[] = "Sum\341rio de impossibilidades";
// "&Deixar como está"
inline constexpr char kLeaveAsIs[] = "&Deixar como est\341";
// The progress window's caption, and the application's title (the caption
// of the standard error report).
inline constexpr char kMainCaption[] = "Desinstalador Kestrivon v1.0";
inline constexpr char kTitle[] = "Desinstalador Kestrivon";
// The headers of the failure summary's groups.
// "Arquivos que não puderam ser apagados:"
inline constexpr char kFilesHeader[] = "Arquivos que n\343o puderam ser apagados:";
// "Pastas que não puderam ser apagadas:"
inline constexpr char kFoldersHeader[] = "Pastas que n\343o puderam ser apagadas:";
// "Atalhos que não puderam ser apagados:"
inline constexpr char kShortcutsHeader[] = "Atalhos que n\343o puderam ser apagados:";
// "Pastas de atalhos que não puderam ser apagadas:"
inline constexpr char kShortcutFoldersHeader[] = "Pastas de atalhos que n\343o puderam ser apagadas:";
// "Registros que não puderam ser eliminados:"
inline constexpr char kRegistryHeader[] = "Registros que n\343o puderam ser eliminados:";
// The uninstaller's registration: the key of its versions, and the key of
// the version 1.0.0.3 that the program file carries.
inline constexpr char kDalvests[] = "Software\\Kestrivon\\Dalvests";
inline constexpr char kRegistration[] = "Software\\Kestrivon\\Dalvests\\1.0.0.3";
inline constexpr char kUninstallRoot[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
inline constexpr char kRunOnce[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

// The keys of the journals of uninstallations that stand in the registry.
inline std::vector<std::string> Journals() {
  std::vector<std::string> keys;
  HKEY maker = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Kestrivon", 0, KEY_ENUMERATE_SUB_KEYS, &maker) != ERROR_SUCCESS) {
    return keys;
  }
  char name[256];
  for (DWORD i = 0;; ++i) {
    DWORD size = sizeof name;
    if (RegEnumKeyExA(maker, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    if (std::string(name).rfind("Dalvests-journal-", 0) == 0) keys.push_back(std::string("Software\\Kestrivon\\") + name);
  }
  RegCloseKey(maker);
  return keys;
}
inline size_t JournalCount() { return Journals().size(); }

// A folder path without its trailing backslash, as the summary lists folders.
inline std::string Strip(const std::string& folder) {
  return !folder.empty() && folder.back() == '\\' ? folder.substr(0, folder.size() - 1) : folder;
}

// wineboot -r runs the run-once entries, as the next start of Windows would.
inline bool SimulateRestart() {
  char system[MAX_PATH] = {};
  GetSystemDirectoryA(system, sizeof system);
  std::string exe = std::string(system) + "\\wineboot.exe";
  std::string command = "\"" + exe + "\" -r";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
    return false;
  const bool done = WaitForSingleObject(info.hProcess, 120000) == WAIT_OBJECT_0;
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return done;
}

// The phase captions of a run, in the order a run shows them.
inline const std::vector<std::string>& PhaseOrder() {
  static const std::vector<std::string> order = {
      "Inicializando...",        "Destruindo arquivos...", "Destruindo pastas...",
      "Destruindo pastas hospedeiras...", "Destruindo atalhos...",  "Destruindo pastas de atalhos...",
      "Destruindo registros...",
  };
  return order;
}

// A name no other test (nor an earlier run of this one) uses.
inline std::string UniqueName(const std::string& stem) {
  static int counter = 0;
  return stem + "-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount()) + "-" +
         std::to_string(counter++);
}

// --- files ------------------------------------------------------------------

inline std::optional<FILETIME> WriteTime(const std::string& path) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA(path.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return std::nullopt;
  FindClose(find);
  return data.ftLastWriteTime;
}

// The packed local DOS date and time of a file's last write, the form the
// log keeps.
inline std::optional<int32_t> DosTime(const std::string& path) {
  auto utc = WriteTime(path);
  if (!utc) return std::nullopt;
  FILETIME local;
  WORD date = 0, time = 0;
  if (!FileTimeToLocalFileTime(&*utc, &local) || !FileTimeToDosDateTime(&local, &date, &time)) return std::nullopt;
  return static_cast<int32_t>((static_cast<uint32_t>(date) << 16) | time);
}

// Moves a file's last-write time by `seconds`.
inline bool ShiftWriteTime(const std::string& path, int seconds) {
  auto t = WriteTime(path);
  if (!t) return false;
  ULARGE_INTEGER v;
  v.LowPart = t->dwLowDateTime;
  v.HighPart = t->dwHighDateTime;
  v.QuadPart += static_cast<int64_t>(seconds) * 10000000;
  FILETIME moved{v.LowPart, v.HighPart};
  HANDLE f = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  BOOL ok = SetFileTime(f, nullptr, nullptr, &moved);
  CloseHandle(f);
  return ok != 0;
}

inline bool AddAttributes(const std::string& path, DWORD bits) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && SetFileAttributesA(path.c_str(), a | bits);
}

// An installed application: files written under `base`, and the log entries
// that name them, made as the installer makes them (sizes and time stamps
// from the disk).
class Installation {
 public:
  explicit Installation(std::string base) : base_(std::move(base)) {
    if (base_.empty() || base_.back() != '\\') base_ += '\\';
    log_.appName = "Demo";
    log_.hostLevels = 1;
    AddFolder("");
  }

  const std::string& base() const { return base_; }
  app::LogContent& log() { return log_; }

  // A folder entry (relative, "" or ending in a backslash), created on disk.
  bool AddFolder(const std::string& relative) {
    log_.folders.push_back({relative, 1});
    log_.groups.emplace_back();
    return robot::MakeFolders(base_ + relative);
  }
  // A file of `size` bytes in the folder entry `relative` (added when
  // missing), written now and logged with its size and time stamp.
  bool AddFile(const std::string& relative, const std::string& name, size_t size) {
    size_t index = FolderIndex(relative);
    if (index == log_.folders.size() && !AddFolder(relative)) return false;
    std::string path = base_ + relative + name;
    if (!robot::WriteFileBytes(path, std::string(size, static_cast<char>('a' + size % 26)))) return false;
    auto date = DosTime(path);
    if (!date) return false;
    log_.groups[index].files.push_back({name, static_cast<uint32_t>(size), *date, 1});
    log_.totalBytes += static_cast<uint32_t>(size);
    return true;
  }
  // Writes the log into the installation folder and gives its path.
  std::optional<std::string> WriteLogFile(const std::string& name = "demo.und") {
    std::string path = base_ + name;
    if (!robot::WriteFileBytes(path, app::WriteLog(log_))) return std::nullopt;
    return path;
  }

 private:
  size_t FolderIndex(const std::string& relative) const {
    for (size_t i = 0; i < log_.folders.size(); ++i) {
      if (log_.folders[i].name == relative) return i;
    }
    return log_.folders.size();
  }

  std::string base_;
  app::LogContent log_;
};

// --- registry -----------------------------------------------------------------

// A key with its values (type and raw bytes) and subkeys, as it was saved.
struct SavedKey {
  std::map<std::string, std::pair<DWORD, std::string>> values;
  std::map<std::string, SavedKey> subkeys;
};

inline std::optional<SavedKey> SaveKey(HKEY root, const std::string& path) {
  HKEY h = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return std::nullopt;
  SavedKey saved;
  for (DWORD i = 0;; ++i) {
    char name[16384];
    DWORD nameSize = sizeof name, type = 0, dataSize = 0;
    if (RegEnumValueA(h, i, name, &nameSize, nullptr, &type, nullptr, &dataSize) != ERROR_SUCCESS) break;
    std::string data(dataSize, '\0');
    nameSize = sizeof name;
    if (RegEnumValueA(h, i, name, &nameSize, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &dataSize) !=
        ERROR_SUCCESS) {
      break;
    }
    data.resize(dataSize);
    saved.values[std::string(name, nameSize)] = {type, data};
  }
  std::vector<std::string> names;
  for (DWORD i = 0;; ++i) {
    char name[256];
    DWORD nameSize = sizeof name;
    if (RegEnumKeyExA(h, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, nameSize);
  }
  RegCloseKey(h);
  for (const auto& n : names) {
    if (auto sub = SaveKey(root, path + "\\" + n)) saved.subkeys[n] = std::move(*sub);
  }
  return saved;
}

inline bool WriteKey(HKEY root, const std::string& path, const SavedKey& saved) {
  HKEY h = nullptr;
  if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr) != ERROR_SUCCESS)
    return false;
  bool ok = true;
  for (const auto& [name, value] : saved.values) {
    ok &= RegSetValueExA(h, name.c_str(), 0, value.first, reinterpret_cast<const BYTE*>(value.second.data()),
                         static_cast<DWORD>(value.second.size())) == ERROR_SUCCESS;
  }
  RegCloseKey(h);
  for (const auto& [name, sub] : saved.subkeys) ok &= WriteKey(root, path + "\\" + name, sub);
  return ok;
}

// Names of the values of a key.
inline std::vector<std::string> ValueNames(HKEY root, const std::string& path) {
  std::vector<std::string> names;
  HKEY h = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return names;
  for (DWORD i = 0;; ++i) {
    char name[16384];
    DWORD nameSize = sizeof name;
    if (RegEnumValueA(h, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, nameSize);
  }
  RegCloseKey(h);
  return names;
}

inline bool DeleteValues(HKEY root, const std::string& path) {
  HKEY h = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &h) != ERROR_SUCCESS) return false;
  bool ok = true;
  for (const auto& n : ValueNames(root, path)) ok &= RegDeleteValueA(h, n.c_str()) == ERROR_SUCCESS;
  RegCloseKey(h);
  return ok;
}

// Saves a whole key tree when constructed and puts it back, exactly, when
// destroyed (a key that did not exist is removed again).
class KeyGuard {
 public:
  KeyGuard(HKEY root, std::string path) : root_(root), path_(std::move(path)), saved_(SaveKey(root_, path_)) {}
  KeyGuard(const KeyGuard&) = delete;
  KeyGuard& operator=(const KeyGuard&) = delete;
  ~KeyGuard() {
    robot::KeyRemove(path_, root_);
    if (saved_) WriteKey(root_, path_, *saved_);
  }

 private:
  HKEY root_;
  std::string path_;
  std::optional<SavedKey> saved_;
};

// Saves the values of a key, empties it for the test, and puts the saved
// values back afterwards (removing whatever the test left). The key itself
// and its subkeys stay.
class ValuesGuard {
 public:
  ValuesGuard(HKEY root, std::string path) : root_(root), path_(std::move(path)), saved_(SaveKey(root_, path_)) {
    DeleteValues(root_, path_);
  }
  ValuesGuard(const ValuesGuard&) = delete;
  ValuesGuard& operator=(const ValuesGuard&) = delete;
  ~ValuesGuard() {
    DeleteValues(root_, path_);
    if (saved_) {
      SavedKey valuesOnly;
      valuesOnly.values = saved_->values;
      WriteKey(root_, path_, valuesOnly);
    }
  }
  bool existed() const { return saved_.has_value(); }

 private:
  HKEY root_;
  std::string path_;
  std::optional<SavedKey> saved_;
};

// Keeps the uninstaller's registrations out of a test: the maker's key is
// saved and removed for the test and put back afterwards, so that a run of
// the program beside the tests can neither count down a registration left by
// another test nor schedule the deletion of that program.
class NoRegistration {
 public:
  static constexpr char kMakerKey[] = "Software\\Kestrivon";
  NoRegistration() : saved_(HKEY_LOCAL_MACHINE, kMakerKey) { robot::KeyRemove(kMakerKey); }

 private:
  KeyGuard saved_;
};

// Narrows what anybody may do with a registry key, as an administrator's
// policy would (SDDL for the new access list, e.g. "D:P" for nobody may
// open it); the key's old access list is given back at the end. Wine checks
// these rights when a key is opened; it lets a key go with RegDeleteKey
// whatever they say.
class KeyRights {
 public:
  KeyRights(HKEY root, const std::string& key, const char* sddl) : root_(root), key_(key) {
    HKEY h = nullptr;
    if (RegOpenKeyExA(root_, key_.c_str(), 0, READ_CONTROL | WRITE_DAC, &h) != ERROR_SUCCESS) return;
    DWORD size = 0;
    RegGetKeySecurity(h, DACL_SECURITY_INFORMATION, nullptr, &size);
    saved_.resize(size);
    PSECURITY_DESCRIPTOR narrowed = nullptr;
    if (size > 0 && RegGetKeySecurity(h, DACL_SECURITY_INFORMATION, saved_.data(), &size) == ERROR_SUCCESS &&
        ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &narrowed, nullptr)) {
      applied_ = RegSetKeySecurity(h, DACL_SECURITY_INFORMATION, narrowed) == ERROR_SUCCESS;
      LocalFree(narrowed);
    }
    RegCloseKey(h);
  }
  KeyRights(const KeyRights&) = delete;
  KeyRights& operator=(const KeyRights&) = delete;
  ~KeyRights() {
    HKEY h = nullptr;
    // The owner may always change the list.
    if (!applied_ || RegOpenKeyExA(root_, key_.c_str(), 0, WRITE_DAC, &h) != ERROR_SUCCESS) return;
    RegSetKeySecurity(h, DACL_SECURITY_INFORMATION, saved_.data());
    RegCloseKey(h);
  }
  bool applied() const { return applied_; }

 private:
  HKEY root_;
  std::string key_;
  std::vector<char> saved_;
  bool applied_ = false;
};

// Nobody may open the key.
inline constexpr char kNobodyMayOpen[] = "D:P";

// --- a run ----------------------------------------------------------------------

// The progress window's controls, found by their place.
struct MainControls {
  HWND phase = nullptr;     // StaticText
  HWND object = nullptr;    // stObject
  HWND appLine = nullptr;   // lbFantaName
  HWND jobDone = nullptr;   // lbJobDone
  HWND bar = nullptr;       // ProgressBar

  static MainControls Of(HWND main) {
    auto controls = robot::ListControls(main);
    auto at = [&](int left, int top) {
      auto c = robot::ControlAt(controls, left, top);
      return c ? c->hwnd : nullptr;
    };
    return {at(4, 40), at(10, 78), at(6, 8), at(2, 144), at(10, 172)};
  }
  bool complete() const { return phase && object && appLine && jobDone && bar; }
};

// What the robot saw between the confirmation and the end of a run.
struct RunSeen {
  std::vector<std::string> phases;  // distinct StaticText captions, in the order seen
  std::vector<int> barPositions;    // distinct bar positions, in the order seen
  bool summaryShown = false;
  std::vector<std::string> summaryLines;
  bool logGoneAtEnd = false;             // the log was gone when the end box appeared
  std::optional<robot::BoxInfo> endBox;  // the box after the removal (41 expected)
  // The progress window as it stood while the end box was up.
  std::string finalPhase, finalObject, finalAppLine, finalJobDone;
  int finalBar = -1;
};

// A control's text in one WM_GETTEXT with a large buffer: asking for the
// length first races a caption that changes in between and cuts it.
inline std::string SampleText(HWND hwnd) {
  char buffer[1024] = {};
  DWORD_PTR got = 0;
  if (!SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 5000,
                           &got)) {
    return {};
  }
  return std::string(buffer, std::min<size_t>(got, sizeof buffer - 1));
}

// The lines of a list box of another process, in Windows-1252 bytes. Asked
// for in UTF-16 and converted here: under Wine 8 an LB_GETTEXT sent with
// SendMessageA to this superclassed list box in another process comes back
// in UTF-16, twice the bytes LB_GETTEXTLEN promised. The buffer is also far
// larger than the length asks, since LB_GETTEXT knows no buffer size.
inline std::vector<std::string> SampleLines(HWND list) {
  std::vector<std::string> lines;
  for (int i = 0, n = robot::ListCount(list); i < n; ++i) {
    std::string line;
    DWORD_PTR length = 0;
    if (SendMessageTimeoutW(list, LB_GETTEXTLEN, i, 0, SMTO_ABORTIFHUNG, 5000, &length) &&
        static_cast<LRESULT>(length) != LB_ERR) {
      std::vector<wchar_t> buffer(static_cast<size_t>(length) * 2 + 4096, L'\0');
      DWORD_PTR got = 0;
      if (SendMessageTimeoutW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(buffer.data()), SMTO_ABORTIFHUNG, 5000,
                              &got) &&
          static_cast<LRESULT>(got) != LB_ERR) {
        buffer.back() = L'\0';
        int wide = static_cast<int>(wcslen(buffer.data()));
        int bytes = WideCharToMultiByte(1252, 0, buffer.data(), wide, nullptr, 0, nullptr, nullptr);
        line.resize(static_cast<size_t>(bytes > 0 ? bytes : 0));
        if (bytes > 0) WideCharToMultiByte(1252, 0, buffer.data(), wide, line.data(), bytes, nullptr, nullptr);
      }
    }
    lines.push_back(line);
  }
  return lines;
}

inline HWND FindChildByText(HWND parent, const std::string& text) {
  for (const auto& c : robot::ListControls(parent)) {
    if (c.text == text) return c.hwnd;
  }
  return nullptr;
}

inline HWND FindListBox(HWND parent) {
  for (const auto& c : robot::ListControls(parent)) {
    std::string cls = c.className;
    std::transform(cls.begin(), cls.end(), cls.begin(), [](unsigned char ch) { return char(std::tolower(ch)); });
    if (cls.find("listbox") != std::string::npos) return c.hwnd;
  }
  return nullptr;
}

// After the confirmation has been answered Yes: watches the progress window
// until the next message box, leaving any failure summary as it is on the
// way. The end box is left open for the caller to read and answer.
inline RunSeen WatchRun(robot::Process& p, const MainControls& main, const std::string& logPath,
                        DWORD timeoutMs = 120000) {
  RunSeen seen;
  DWORD start = GetTickCount();
  auto note = [&] {
    std::string phase = SampleText(main.phase);
    if (!phase.empty() && (seen.phases.empty() || seen.phases.back() != phase)) seen.phases.push_back(phase);
    int bar = robot::BarPosition(main.bar);
    if (bar >= 0 && (seen.barPositions.empty() || seen.barPositions.back() != bar)) seen.barPositions.push_back(bar);
  };
  while (GetTickCount() - start < timeoutMs && p.running()) {
    note();
    if (HWND summary = p.WaitForWindow(nullptr, kSummaryCaption, 0)) {
      seen.summaryShown = true;
      if (HWND list = FindListBox(summary)) {
        // The dialog fills its list as it is shown; give it a moment.
        for (DWORD filling = GetTickCount(); robot::ListCount(list) <= 0 && GetTickCount() - filling < 5000;)
          Sleep(20);
        seen.summaryLines = SampleLines(list);
      }
      if (HWND button = FindChildByText(summary, kLeaveAsIs)) robot::PostClick(button);
      DWORD closing = GetTickCount();
      while (IsWindow(summary) && IsWindowVisible(summary) && GetTickCount() - closing < robot::kWindowWait) Sleep(50);
      continue;
    }
    if (auto box = p.WaitForBox(0)) {
      seen.logGoneAtEnd = !robot::FileExists(logPath);
      seen.endBox = box;
      seen.finalPhase = robot::WindowText(main.phase);
      seen.finalObject = robot::WindowText(main.object);
      seen.finalAppLine = robot::WindowText(main.appLine);
      seen.finalJobDone = robot::WindowText(main.jobDone);
      seen.finalBar = robot::BarPosition(main.bar);
      break;
    }
  }
  return seen;
}

// True when every caption seen is a phase caption and they come in the
// order of a run.
inline bool PhasesInOrder(const std::vector<std::string>& seen, std::string* why) {
  const auto& order = PhaseOrder();
  size_t last = 0;
  bool first = true;
  for (const auto& s : seen) {
    auto it = std::find(order.begin(), order.end(), s);
    if (it == order.end()) {
      *why = "unknown caption \"" + s + "\"";
      return false;
    }
    size_t index = static_cast<size_t>(it - order.begin());
    if (!first && index <= last) {
      *why = "\"" + s + "\" after \"" + order[last] + "\"";
      return false;
    }
    first = false;
    last = index;
  }
  return true;
}

// Thousands separator of the user's locale, as the program formats with it.
inline std::string ThousandsSeparator() {
  char buffer[8] = {};
  int n = GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, buffer, sizeof buffer);
  return n > 1 ? std::string(buffer, n - 1) : std::string();
}

inline std::string Grouped(int64_t value) {
  std::string digits = std::to_string(value), out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ThousandsSeparator();
    out += digits[i];
  }
  return out;
}

}  // namespace runkit
