#include "tests/e2e/robot/Robot.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <atomic>
#include <utility>

#include "app/tools/LogWriter.h"
#include "tools/undtool/Disk.h"
#include "tools/undtool/UndTool.h"

namespace robot {
namespace {

constexpr DWORD kPoll = 50;          // ms between two looks
constexpr UINT kSendTimeout = 5000;  // ms for one cross-process message
constexpr int kBoxTextId = 0xFFFF;
constexpr int kBoxIconId = 1088;

bool TimedOut(DWORD start, DWORD limit) { return GetTickCount() - start >= limit; }

LRESULT SendTimed(HWND hwnd, UINT msg, WPARAM w, LPARAM l, bool* ok = nullptr) {
  DWORD_PTR result = 0;
  LRESULT sent = SendMessageTimeoutA(hwnd, msg, w, l, SMTO_ABORTIFHUNG, kSendTimeout, &result);
  if (ok) *ok = sent != 0;
  return static_cast<LRESULT>(result);
}

std::string StripKey(const std::string& key) {
  size_t i = 0;
  while (i < key.size() && key[i] == '\\') ++i;
  return key.substr(i);
}

std::string WithBackslash(std::string path) {
  if (path.empty() || path.back() != '\\') path += '\\';
  return path;
}

uint64_t Join(DWORD high, DWORD low) { return (uint64_t(high) << 32) | low; }

void SnapshotInto(const std::string& root, const std::string& relative, TreeState& out) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((root + relative + "*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    std::string rel = relative + name;
    out[rel] = EntryState{data.dwFileAttributes, Join(data.nFileSizeHigh, data.nFileSizeLow),
                          Join(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime)};
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) SnapshotInto(root, rel + "\\", out);
  } while (FindNextFileA(find, &data));
  FindClose(find);
}

HKEY OpenKey(const std::string& key, HKEY root, REGSAM access) {
  HKEY h = nullptr;
  if (RegOpenKeyExA(root, StripKey(key).c_str(), 0, access, &h) != ERROR_SUCCESS) return nullptr;
  return h;
}

}  // namespace

std::string ModuleFolder() {
  char buffer[MAX_PATH * 2] = {};
  DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  std::string path(buffer, n);
  size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ProgramPath() { return ModuleFolder() + "desinstalador.exe"; }

std::string QuoteArgument(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      out.append(backslashes * 2 + 1, '\\');
    } else {
      out.append(backslashes, '\\');
    }
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, '\\');
  out += '"';
  return out;
}

std::string WindowText(HWND hwnd) {
  bool ok = false;
  LRESULT length = SendTimed(hwnd, WM_GETTEXTLENGTH, 0, 0, &ok);
  if (!ok || length <= 0) return {};
  std::string text(static_cast<size_t>(length) + 1, '\0');
  LRESULT got = SendTimed(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), &ok);
  if (!ok) return {};
  text.resize(static_cast<size_t>(std::clamp<LRESULT>(got, 0, length)));
  return text;
}

std::string ClassName(HWND hwnd) {
  char buffer[256] = {};
  int n = GetClassNameA(hwnd, buffer, sizeof buffer);
  return std::string(buffer, n > 0 ? n : 0);
}

BoxInfo ReadBox(HWND box) {
  BoxInfo info;
  info.hwnd = box;
  info.caption = WindowText(box);
  if (HWND text = GetDlgItem(box, kBoxTextId)) info.text = WindowText(text);
  info.hasIcon = GetDlgItem(box, kBoxIconId) != nullptr;
  for (int id : {IDOK, IDCANCEL, IDYES, IDNO}) {
    HWND button = GetDlgItem(box, id);
    if (!button) continue;
    info.buttons.push_back(id);
    if ((GetWindowLongA(button, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON) info.defaultButton = id;
  }
  return info;
}

// --- Process ------------------------------------------------------------

Process::Process(Process&& other) noexcept { *this = std::move(other); }

Process& Process::operator=(Process&& other) noexcept {
  if (this != &other) {
    Kill();
    if (process_) CloseHandle(process_);
    if (thread_) CloseHandle(thread_);
    process_ = std::exchange(other.process_, nullptr);
    thread_ = std::exchange(other.thread_, nullptr);
    pid_ = std::exchange(other.pid_, 0);
    boxes_ = std::move(other.boxes_);
    answered_ = std::move(other.answered_);
  }
  return *this;
}

Process::~Process() {
  Kill();
  if (process_) CloseHandle(process_);
  if (thread_) CloseHandle(thread_);
}

Process Process::Start(const std::string& exe, const std::optional<std::string>& argument,
                       const std::string& workingDir) {
  return StartRaw(exe, argument ? QuoteArgument(*argument) : std::string(), workingDir);
}

Process Process::StartRaw(const std::string& exe, const std::string& argumentsText,
                          const std::string& workingDir) {
  std::string commandLine = "\"" + exe + "\"";
  if (!argumentsText.empty()) commandLine += " " + argumentsText;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  Process p;
  if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      workingDir.empty() ? nullptr : workingDir.c_str(), &startup, &info)) {
    return p;
  }
  p.process_ = info.hProcess;
  p.thread_ = info.hThread;
  p.pid_ = info.dwProcessId;
  // Lets the caller look for windows at once instead of racing start-up.
  WaitForInputIdle(info.hProcess, 10000);
  return p;
}

bool Process::running() const {
  return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

std::vector<HWND> Process::TopLevelWindows() const {
  struct Search {
    DWORD pid;
    std::vector<HWND> found;
  } search{pid_, {}};
  EnumWindows(
      [](HWND hwnd, LPARAM l) WINAPI -> BOOL {
        auto* s = reinterpret_cast<Search*>(l);
        DWORD owner = 0;
        GetWindowThreadProcessId(hwnd, &owner);
        if (owner == s->pid && IsWindowVisible(hwnd)) s->found.push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::vector<HWND> Process::TaskbarWindows() const {
  std::vector<HWND> found;
  for (HWND hwnd : TopLevelWindows()) {
    const LONG ex = GetWindowLongA(hwnd, GWL_EXSTYLE);
    if ((GetWindow(hwnd, GW_OWNER) == nullptr && !(ex & WS_EX_TOOLWINDOW)) || (ex & WS_EX_APPWINDOW))
      found.push_back(hwnd);
  }
  return found;
}

HWND Process::WaitForWindow(const char* className, const char* caption, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    for (HWND hwnd : TopLevelWindows()) {
      if (className && ClassName(hwnd) != className) continue;
      if (caption && WindowText(hwnd) != caption) continue;
      return hwnd;
    }
    ScanBoxes();
    if (!running() || TimedOut(start, timeoutMs)) return nullptr;
    Sleep(kPoll);
  }
}

HWND Process::WaitForMainWindow(DWORD timeoutMs) {
  return WaitForWindow(nullptr, "Desinstalador Kestrivon v1.0", timeoutMs);
}

std::optional<BoxInfo> Process::ScanBoxes() {
  std::optional<BoxInfo> pending;
  for (HWND hwnd : TopLevelWindows()) {
    if (ClassName(hwnd) != "#32770") continue;
    bool answered = std::find(answered_.begin(), answered_.end(), hwnd) != answered_.end();
    auto seen = std::find_if(boxes_.begin(), boxes_.end(), [&](const BoxInfo& b) { return b.hwnd == hwnd; });
    if (seen == boxes_.end()) {
      // A message box has its text static; other dialogs are not boxes.
      if (!GetDlgItem(hwnd, kBoxTextId)) continue;
      boxes_.push_back(ReadBox(hwnd));
      seen = boxes_.end() - 1;
    }
    if (!answered && !pending) pending = *seen;
  }
  return pending;
}

std::optional<BoxInfo> Process::WaitForBox(DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    if (auto box = ScanBoxes()) return box;
    if (!running() || TimedOut(start, timeoutMs)) return std::nullopt;
    Sleep(kPoll);
  }
}

bool Process::Press(const BoxInfo& box, int buttonId, DWORD timeoutMs) {
  HWND button = GetDlgItem(box.hwnd, buttonId);
  if (!button) return false;
  PostMessageA(box.hwnd, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), reinterpret_cast<LPARAM>(button));
  return AwaitClosed(box.hwnd, timeoutMs);
}

bool Process::PressKey(const BoxInfo& box, UINT virtualKey, DWORD timeoutMs) {
  HWND target = box.defaultButton ? GetDlgItem(box.hwnd, box.defaultButton) : box.hwnd;
  if (!target) return false;
  PostKey(target, virtualKey);
  return AwaitClosed(box.hwnd, timeoutMs);
}

bool Process::AwaitClosed(HWND box, DWORD timeoutMs) {
  answered_.push_back(box);
  DWORD start = GetTickCount();
  while (IsWindow(box) && IsWindowVisible(box)) {
    if (TimedOut(start, timeoutMs)) return false;
    Sleep(kPoll);
  }
  // The handle may come back for a later box: forget it once it is gone.
  answered_.erase(std::remove(answered_.begin(), answered_.end(), box), answered_.end());
  for (auto& b : boxes_) {
    if (b.hwnd == box) b.hwnd = nullptr;
  }
  return true;
}

std::optional<DWORD> Process::WaitForExit(DWORD timeoutMs) {
  if (!process_) return std::nullopt;
  DWORD start = GetTickCount();
  for (;;) {
    ScanBoxes();
    if (WaitForSingleObject(process_, kPoll) == WAIT_OBJECT_0) break;
    if (TimedOut(start, timeoutMs)) return std::nullopt;
  }
  DWORD code = 0;
  if (!GetExitCodeProcess(process_, &code)) return std::nullopt;
  return code;
}

void Process::Kill() {
  if (running()) {
    TerminateProcess(process_, 255);
    WaitForSingleObject(process_, 5000);
  }
}

// --- a watched run ---------------------------------------------------------

namespace {
struct Watch {
  DWORD pid = 0;
  WatchedRun* run = nullptr;
  std::vector<HWND> heard;  // by the hook or the look at the top-level windows, not yet described
  std::vector<HWND> seen;   // described, same index as run->windows

  // Describes what was heard: when first seen, and again while it is not
  // described in full (seen half-made, or its caption not set yet). The
  // caption is the one Windows keeps (GetWindowText sends no message to
  // another process's window, so nothing is dispatched meanwhile).
  void Describe() {
    std::vector<HWND> now;
    now.swap(heard);
    for (HWND hwnd : now) {
      const std::string cls = IsWindow(hwnd) ? ClassName(hwnd) : std::string();
      char caption[256] = {};
      if (!cls.empty()) GetWindowTextA(hwnd, caption, sizeof caption);
      const std::string what = cls.empty() ? "(gone)" : cls + " \"" + caption + "\"";
      const auto at = std::find(seen.begin(), seen.end(), hwnd);
      if (at == seen.end()) {
        seen.push_back(hwnd);
        run->windows.push_back(what);
      } else if (!cls.empty()) {
        run->windows[static_cast<size_t>(at - seen.begin())] = what;
      }
    }
  }
};
Watch* g_watch = nullptr;

void CALLBACK OnWindowEvent(HWINEVENTHOOK, DWORD, HWND hwnd, LONG object, LONG, DWORD, DWORD) {
  if (g_watch == nullptr || hwnd == nullptr || object != OBJID_WINDOW) return;
  g_watch->run->hookHeard = true;
  g_watch->heard.push_back(hwnd);
}
}  // namespace

WatchedRun RunWatchingWindows(const std::string& exe, const std::string& argumentsText,
                              const std::string& workingDir, DWORD timeoutMs, const char* desktop) {
  WatchedRun run;
  std::string commandLine = "\"" + exe + "\"" + (argumentsText.empty() ? "" : " " + argumentsText);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  std::string desk = desktop ? desktop : "";
  if (desktop) startup.lpDesktop = desk.data();
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                      workingDir.empty() ? nullptr : workingDir.c_str(), &startup, &info)) {
    return run;
  }
  Watch watch{info.dwProcessId, &run, {}, {}};
  g_watch = &watch;
  HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_CREATE, EVENT_OBJECT_SHOW, nullptr, OnWindowEvent,
                                       info.dwProcessId, 0, WINEVENT_OUTOFCONTEXT);
  ResumeThread(info.hThread);
  const DWORD start = GetTickCount();
  bool ended = false;
  for (;;) {
    // The hook's events arrive as messages of this thread.
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    EnumWindows(
        [](HWND hwnd, LPARAM l) WINAPI -> BOOL {
          auto* w = reinterpret_cast<Watch*>(l);
          DWORD owner = 0;
          GetWindowThreadProcessId(hwnd, &owner);
          if (owner == w->pid) w->heard.push_back(hwnd);
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&watch));
    watch.Describe();
    const DWORD waited = MsgWaitForMultipleObjects(1, &info.hProcess, FALSE, 5, QS_ALLINPUT);
    if (waited == WAIT_OBJECT_0) {
      ended = true;
      break;
    }
    if (TimedOut(start, timeoutMs)) {
      TerminateProcess(info.hProcess, 255);
      WaitForSingleObject(info.hProcess, 5000);
      break;
    }
  }
  // Events still on their way.
  for (DWORD settle = GetTickCount(); !TimedOut(settle, 200);) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    watch.Describe();
    Sleep(10);
  }
  if (hook != nullptr) UnhookWinEvent(hook);
  g_watch = nullptr;
  DWORD code = 0;
  if (ended && GetExitCodeProcess(info.hProcess, &code)) run.exitCode = code;
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return run;
}

// --- controls -------------------------------------------------------------

std::vector<ControlInfo> ListControls(HWND window) {
  struct Search {
    HWND window;
    std::vector<ControlInfo> found;
  } search{window, {}};
  EnumChildWindows(
      window,
      [](HWND hwnd, LPARAM l) WINAPI -> BOOL {
        auto* s = reinterpret_cast<Search*>(l);
        ControlInfo c;
        c.hwnd = hwnd;
        c.parent = GetParent(hwnd);
        c.className = ClassName(hwnd);
        c.text = WindowText(hwnd);
        GetWindowRect(hwnd, &c.rect);
        MapWindowPoints(nullptr, s->window, reinterpret_cast<POINT*>(&c.rect), 2);
        c.style = GetWindowLongA(hwnd, GWL_STYLE);
        c.exStyle = GetWindowLongA(hwnd, GWL_EXSTYLE);
        c.id = GetDlgCtrlID(hwnd);
        c.visible = IsWindowVisible(hwnd) != 0;
        s->found.push_back(c);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::optional<ControlInfo> ControlAt(const std::vector<ControlInfo>& controls, int left, int top) {
  for (const auto& c : controls) {
    if (c.left() == left && c.top() == top) return c;
  }
  return std::nullopt;
}

SIZE ClientSize(HWND window) {
  RECT r{};
  GetClientRect(window, &r);
  return SIZE{r.right - r.left, r.bottom - r.top};
}

int BarPosition(HWND bar) {
  bool ok = false;
  LRESULT pos = SendTimed(bar, PBM_GETPOS, 0, 0, &ok);
  return ok ? static_cast<int>(pos) : -1;
}

int ListCount(HWND list) {
  bool ok = false;
  LRESULT n = SendTimed(list, LB_GETCOUNT, 0, 0, &ok);
  return ok && n != LB_ERR ? static_cast<int>(n) : -1;
}

std::string ListLine(HWND list, int index) {
  // Across processes Wine 8 hands LB_GETTEXT's text back in UTF-16 even to
  // SendMessageTimeoutA, writing twice the bytes an ANSI buffer was sized
  // for; so ask in UTF-16 and convert to the ANSI code page here.
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(list, LB_GETTEXTLEN, index, 0, SMTO_ABORTIFHUNG, kSendTimeout, &length) ||
      static_cast<LRESULT>(length) == LB_ERR) {
    return {};
  }
  std::wstring wide(static_cast<size_t>(length) + 1, L'\0');
  DWORD_PTR got = 0;
  if (!SendMessageTimeoutW(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(wide.data()), SMTO_ABORTIFHUNG,
                           kSendTimeout, &got) ||
      static_cast<LRESULT>(got) == LB_ERR) {
    return {};
  }
  wide.resize(static_cast<size_t>(std::min(got, length)));
  if (wide.empty()) return {};
  const int bytes = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                        nullptr);
  std::string text(static_cast<size_t>(std::max(bytes, 0)), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), text.data(), bytes, nullptr, nullptr);
  return text;
}

std::vector<std::string> ListLines(HWND list) {
  std::vector<std::string> lines;
  for (int i = 0, n = ListCount(list); i < n; ++i) lines.push_back(ListLine(list, i));
  return lines;
}

bool ListSelect(HWND list, int index, bool selected) {
  bool ok = false;
  LRESULT r = SendTimed(list, LB_SETSEL, selected ? TRUE : FALSE, index, &ok);
  return ok && r != LB_ERR;
}

bool ListIsSelected(HWND list, int index) {
  bool ok = false;
  LRESULT r = SendTimed(list, LB_GETSEL, index, 0, &ok);
  return ok && r > 0;
}

void PostKey(HWND window, UINT virtualKey) {
  UINT scan = MapVirtualKeyA(virtualKey, 0 /* MAPVK_VK_TO_VSC */);
  LPARAM down = 1 | (LPARAM(scan) << 16);
  LPARAM up = down | (LPARAM(1) << 30) | (LPARAM(1) << 31);
  PostMessageA(window, WM_KEYDOWN, virtualKey, down);
  PostMessageA(window, WM_KEYUP, virtualKey, up);
}

void PostClick(HWND button) {
  PostMessageA(GetParent(button), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
               reinterpret_cast<LPARAM>(button));
}

// --- files ----------------------------------------------------------------

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  char temp[MAX_PATH] = {};
  GetTempPathA(sizeof temp, temp);
  for (;;) {
    std::string candidate = WithBackslash(temp) + "und-e2e-" + std::to_string(GetCurrentProcessId()) +
                            "-" + std::to_string(counter++) + "\\";
    if (CreateDirectoryA(candidate.c_str(), nullptr)) {
      path_ = candidate;
      return;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) {
      path_ = candidate;  // left for the first write to report
      return;
    }
  }
}

TempDir::~TempDir() { DeleteTree(path_); }

bool MakeFolders(const std::string& path) {
  std::string p = path;
  while (!p.empty() && p.back() == '\\') p.pop_back();
  if (p.empty() || FolderExists(p)) return true;
  size_t slash = p.find_last_of('\\');
  if (slash != std::string::npos && slash > 2 && !MakeFolders(p.substr(0, slash))) return false;
  return CreateDirectoryA(p.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  size_t slash = path.find_last_of('\\');
  if (slash != std::string::npos && !MakeFolders(path.substr(0, slash))) return false;
  HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = bytes.empty() || WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(f);
  return ok && written == bytes.size();
}

std::optional<std::string> ReadFileBytes(const std::string& path) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return std::nullopt;
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(f, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  CloseHandle(f);
  return bytes;
}

bool FileExists(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

namespace {
// The host's path of a Windows path under Wine; empty elsewhere.
std::string UnixPath(const std::string& path) {
  using Convert = char* (*)(const wchar_t*);
  const auto convert = reinterpret_cast<Convert>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (convert == nullptr) return {};
  std::wstring wide(path.size() + 1, L'\0');
  wide.resize(static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), static_cast<int>(wide.size()))));
  char* unix = convert(wide.c_str());
  if (unix == nullptr) return {};
  std::string out = unix;
  HeapFree(GetProcessHeap(), 0, unix);
  return out;
}

// Runs a host program under Wine and waits (bounded) until `done` holds:
// Wine gives no handle to wait on for a host process.
bool RunHostCommand(std::string line, const std::function<bool()>& done) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) return false;
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  for (const DWORD start = GetTickCount(); !done(); Sleep(10)) {
    if (GetTickCount() - start > 10000) return false;
  }
  return true;
}

bool EntryExists(const std::string& path) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA(path.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  FindClose(find);
  return true;
}
}  // namespace

bool MakeLink(const std::string& link, const std::string& target) {
  const std::string unixTarget = UnixPath(target), unixLink = UnixPath(link);
  if (!unixTarget.empty() && !unixLink.empty()) {
    return RunHostCommand("/bin/ln -s \"" + unixTarget + "\" \"" + unixLink + "\"", [&] { return EntryExists(link); });
  }
  const DWORD folder = FolderExists(target) ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0;
  return CreateSymbolicLinkA(link.c_str(), target.c_str(), folder | 0x2 /* unprivileged */) != 0;
}

bool SwapForLink(const std::string& path, const std::string& aside, const std::string& link) {
  const std::string from = UnixPath(path), to = UnixPath(aside), with = UnixPath(link);
  if (from.empty() || to.empty() || with.empty()) {
    return MoveFileA(path.c_str(), aside.c_str()) && MoveFileA(link.c_str(), path.c_str());
  }
  // Exchanged in one step (renameat2 with RENAME_EXCHANGE, x86-64), so that
  // the path is never missing: a run that found it missing would take the
  // whole folder for gone.
  return RunHostCommand("/usr/bin/perl -e \"my ($p, $l) = ('" + from + "', '" + with +
                            "'); syscall(316, -100, $p, -100, $l, 2) == 0 or exit 1; rename($l, '" + to +
                            "') or exit 1\"",
                        [&] { return EntryExists(path) && EntryExists(aside) && !EntryExists(link); });
}

bool RemoveLinkItself(const std::string& link) {
  const std::string unixLink = UnixPath(link);
  if (!unixLink.empty()) return RunHostCommand("/bin/rm -f \"" + unixLink + "\"", [&] { return !EntryExists(link); });
  return FolderExists(link) ? RemoveDirectoryA(link.c_str()) != 0 : DeleteFileA(link.c_str()) != 0;
}

bool DeleteTree(const std::string& path) {
  std::string p = path;
  while (p.size() > 3 && p.back() == '\\') p.pop_back();
  DWORD a = GetFileAttributesA(p.c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return true;
  if (a & FILE_ATTRIBUTE_REPARSE_POINT) return RemoveLinkItself(p);
  if (!(a & FILE_ATTRIBUTE_DIRECTORY)) {
    // Wine shows a host link to a file as a plain file, and deletes its
    // target by name: such a link is told by the name its handle ends at.
    HANDLE entry = CreateFileA(p.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    char final[MAX_PATH * 2] = {};
    const DWORD n = entry == INVALID_HANDLE_VALUE ? 0 : GetFinalPathNameByHandleA(entry, final, sizeof final, 0);
    if (entry != INVALID_HANDLE_VALUE) CloseHandle(entry);
    const char* name = strncmp(final, "\\\\?\\", 4) == 0 ? final + 4 : final;
    if (n > 0 && n < sizeof final && lstrcmpiA(name, p.c_str()) != 0) return RemoveLinkItself(p);
  }
  SetFileAttributesA(p.c_str(), FILE_ATTRIBUTE_NORMAL | (a & FILE_ATTRIBUTE_DIRECTORY));
  if (!(a & FILE_ATTRIBUTE_DIRECTORY)) return DeleteFileA(p.c_str()) != 0;
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((p + "\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::string name = data.cFileName;
      if (name != "." && name != "..") DeleteTree(p + "\\" + name);
    } while (FindNextFileA(find, &data));
    FindClose(find);
  }
  return RemoveDirectoryA(p.c_str()) != 0;
}

bool WriteScannedLog(const undtool::ScanOptions& options, const std::string& logPath, std::string* error) {
  try {
    undtool::ScanOptions o = options;
    o.separator = '\\';
    o.utf8Names = false;
    std::string bytes = app::WriteLog(undtool::ScanTree(o, undtool::ListDiskFolder));
    if (WriteFileBytes(logPath, bytes)) return true;
    if (error) *error = logPath + ": cannot write it";
  } catch (const std::exception& e) {
    if (error) *error = e.what();
  }
  return false;
}

TreeState Snapshot(const std::string& folder) {
  TreeState state;
  SnapshotInto(WithBackslash(folder), "", state);
  return state;
}

// --- registry -------------------------------------------------------------

bool KeyExists(const std::string& key, HKEY root) {
  HKEY h = OpenKey(key, root, KEY_READ);
  if (!h) return false;
  RegCloseKey(h);
  return true;
}

bool KeyCreate(const std::string& key, HKEY root) {
  HKEY h = nullptr;
  if (RegCreateKeyExA(root, StripKey(key).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr) !=
      ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(h);
  return true;
}

bool KeySetString(const std::string& key, const std::string& name, const std::string& value, HKEY root,
                  DWORD type) {
  if (!KeyCreate(key, root)) return false;
  HKEY h = OpenKey(key, root, KEY_SET_VALUE);
  if (!h) return false;
  LONG r = RegSetValueExA(h, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>(value.size() + 1));
  RegCloseKey(h);
  return r == ERROR_SUCCESS;
}

bool KeySetDword(const std::string& key, const std::string& name, DWORD value, HKEY root) {
  if (!KeyCreate(key, root)) return false;
  HKEY h = OpenKey(key, root, KEY_SET_VALUE);
  if (!h) return false;
  LONG r = RegSetValueExA(h, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  RegCloseKey(h);
  return r == ERROR_SUCCESS;
}

std::optional<std::string> KeyGetString(const std::string& key, const std::string& name, HKEY root) {
  HKEY h = OpenKey(key, root, KEY_READ);
  if (!h) return std::nullopt;
  DWORD type = 0, size = 0;
  std::optional<std::string> result;
  if (RegQueryValueExA(h, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ)) {
    std::string data(size + 1, '\0');
    if (RegQueryValueExA(h, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) ==
        ERROR_SUCCESS) {
      data.resize(size);
      size_t zero = data.find('\0');
      if (zero != std::string::npos) data.resize(zero);
      result = data;
    }
  }
  RegCloseKey(h);
  return result;
}

std::optional<DWORD> KeyGetDword(const std::string& key, const std::string& name, HKEY root) {
  HKEY h = OpenKey(key, root, KEY_READ);
  if (!h) return std::nullopt;
  DWORD type = 0, value = 0, size = sizeof value;
  LONG r = RegQueryValueExA(h, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(h);
  if (r != ERROR_SUCCESS || type != REG_DWORD) return std::nullopt;
  return value;
}

bool KeyValueExists(const std::string& key, const std::string& name, HKEY root) {
  HKEY h = OpenKey(key, root, KEY_READ);
  if (!h) return false;
  LONG r = RegQueryValueExA(h, name.c_str(), nullptr, nullptr, nullptr, nullptr);
  RegCloseKey(h);
  return r == ERROR_SUCCESS;
}

bool KeyRemove(const std::string& key, HKEY root) {
  std::string k = StripKey(key);
  if (k.empty()) return false;  // never the root itself
  LONG r = RegDeleteTreeA(root, k.c_str());
  if (r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND) {
    RegDeleteKeyA(root, k.c_str());
  }
  return !KeyExists(k, root);
}

std::map<std::string, std::string> KeyStringValues(const std::string& key, HKEY root) {
  std::map<std::string, std::string> values;
  HKEY h = OpenKey(key, root, KEY_READ);
  if (!h) return values;
  for (DWORD i = 0;; ++i) {
    char name[16384];
    DWORD nameSize = sizeof name, type = 0;
    if (RegEnumValueA(h, i, name, &nameSize, nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS) break;
    if (type != REG_SZ && type != REG_EXPAND_SZ) continue;
    if (auto v = KeyGetString(key, std::string(name, nameSize), root)) values[std::string(name, nameSize)] = *v;
  }
  RegCloseKey(h);
  return values;
}


std::vector<std::string> PendingDeletions() {
  std::vector<std::string> paths;
  HKEY h = OpenKey("System\\CurrentControlSet\\Control\\Session Manager", HKEY_LOCAL_MACHINE, KEY_READ);
  if (h == nullptr) return paths;
  DWORD size = 0;
  std::string bytes;
  if (RegQueryValueExA(h, "PendingFileRenameOperations", nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS) {
    bytes.resize(size);
    if (RegQueryValueExA(h, "PendingFileRenameOperations", nullptr, nullptr, reinterpret_cast<BYTE*>(bytes.data()),
                         &size) != ERROR_SUCCESS) {
      bytes.clear();
    }
  }
  RegCloseKey(h);
  // Pairs of texts ending in a zero each: source, then target.
  std::vector<std::string> texts;
  for (size_t at = 0; at < bytes.size();) {
    const size_t end = std::min(bytes.find('\0', at), bytes.size());
    texts.push_back(bytes.substr(at, end - at));
    at = end + 1;
  }
  for (size_t i = 0; i + 1 < texts.size(); i += 2) {
    if (texts[i].empty() || !texts[i + 1].empty()) continue;
    paths.push_back(texts[i].rfind("\\??\\", 0) == 0 ? texts[i].substr(4) : texts[i]);
  }
  return paths;
}

}  // namespace robot
