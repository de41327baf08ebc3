#pragma once
// A test robot that drives desinstalador.exe from outside, as a person would:
// it starts the program, finds its windows and message boxes, reads what they
// show, presses their buttons and waits for the program to end. It also sets
// up and inspects the files and registry keys a run works on.
//
// Every wait is bounded; a wait that runs out returns an empty result and the
// caller decides what that means. The robot is a 32-bit program, so its
// registry calls see the same 32-bit view as the program under test.
#include <windows.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace undtool {
struct ScanOptions;
}

namespace robot {

// Default bounds of the waits, in milliseconds. They only keep a stuck run
// from hanging the test program; nothing is measured against them.
constexpr DWORD kWindowWait = 30000;
constexpr DWORD kExitWait = 30000;

// One message box (dialog class #32770) as the robot saw it.
struct BoxInfo {
  HWND hwnd = nullptr;
  std::string caption;
  std::string text;       // the bytes of the text static (id 0xFFFF)
  bool hasIcon = false;   // static id 1088 exists
  std::vector<int> buttons;  // of IDOK, IDCANCEL, IDYES, IDNO that exist, in that order
  int defaultButton = 0;  // the button with BS_DEFPUSHBUTTON, 0 when none has it
};

// One child control of a window.
struct ControlInfo {
  HWND hwnd = nullptr;
  HWND parent = nullptr;
  std::string className;
  std::string text;
  RECT rect{};  // in the client coordinates of the window that was listed
  LONG style = 0;
  LONG exStyle = 0;
  int id = 0;
  bool visible = false;

  int left() const { return rect.left; }
  int top() const { return rect.top; }
  int width() const { return rect.right - rect.left; }
  int height() const { return rect.bottom - rect.top; }
};

// The folder in which the test programs (and desinstalador.exe beside them) live.
std::string ModuleFolder();
// desinstalador.exe beside the running test program.
std::string ProgramPath();
// Quotes one command-line argument so that the usual splitting rules give it
// back unchanged (blanks, tabs, quotes, backslashes before quotes, empty).
std::string QuoteArgument(const std::string& argument);

// Text of any window, also of another process's, through WM_GETTEXT.
std::string WindowText(HWND hwnd);
std::string ClassName(HWND hwnd);
// Reads a message box's caption, text, icon and buttons.
BoxInfo ReadBox(HWND box);

// The program under test, started by the robot. Killed if still running when
// the object goes away.
class Process {
 public:
  Process() = default;
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  Process(Process&& other) noexcept;
  Process& operator=(Process&& other) noexcept;
  ~Process();

  // Starts exe with one argument (quoted as needed); no argument when it is
  // nullopt. Empty workingDir: the robot's own current folder. Returns an
  // empty Process (running() false) when CreateProcess fails.
  static Process Start(const std::string& exe, const std::optional<std::string>& argument,
                       const std::string& workingDir = "");
  // Starts exe with the given text after the quoted program name, unchanged.
  static Process StartRaw(const std::string& exe, const std::string& argumentsText,
                          const std::string& workingDir = "");

  bool started() const { return process_ != nullptr; }
  DWORD pid() const { return pid_; }
  HANDLE handle() const { return process_; }
  HANDLE mainThread() const { return thread_; }
  // True while the process has not ended.
  bool running() const;

  // A visible top-level window of the process whose class and caption match
  // (nullptr matches anything); waits up to timeoutMs.
  HWND WaitForWindow(const char* className, const char* caption, DWORD timeoutMs = kWindowWait);
  // The visible top-level windows of the process a taskbar gives a button
  // to: unowned and no tool window, or marked as an application window.
  std::vector<HWND> TaskbarWindows() const;
  // The main window, "Desinstalador Kestrivon v1.0".
  HWND WaitForMainWindow(DWORD timeoutMs = kWindowWait);
  // The next message box of the process that the robot has not answered
  // yet; nullopt when none appears in time or the process ends first.
  std::optional<BoxInfo> WaitForBox(DWORD timeoutMs = kWindowWait);
  // Presses a button of a box (WM_COMMAND posted) and waits until the box
  // is gone. False when the box has no such button or did not close in time.
  bool Press(const BoxInfo& box, int buttonId, DWORD timeoutMs = kWindowWait);
  // Presses a key on a box as a person would, on the button that has the
  // focus (the default one), and waits until the box is gone. False when the
  // box stayed.
  bool PressKey(const BoxInfo& box, UINT virtualKey, DWORD timeoutMs = kWindowWait);
  // Waits for the process to end and gives its exit code; nullopt on time
  // out. Boxes that appear meanwhile are logged but not answered.
  std::optional<DWORD> WaitForExit(DWORD timeoutMs = kExitWait);
  // Ends the process at once.
  void Kill();

  // Every message box seen during the run, in the order of appearance.
  const std::vector<BoxInfo>& boxes() const { return boxes_; }

  // Visible top-level windows of the process right now.
  std::vector<HWND> TopLevelWindows() const;

 private:
  // Notes boxes that appeared since the last look; returns the first one not
  // yet answered.
  std::optional<BoxInfo> ScanBoxes();
  // Marks a box as answered and waits until it is gone.
  bool AwaitClosed(HWND box, DWORD timeoutMs);

  HANDLE process_ = nullptr;
  HANDLE thread_ = nullptr;
  DWORD pid_ = 0;
  std::vector<BoxInfo> boxes_;
  std::vector<HWND> answered_;
};

// A run watched from outside without a hand laid on it: every window the
// process created, visible or not, top-level or child, from its first
// instruction to its end, and its exit code.
struct WatchedRun {
  std::optional<DWORD> exitCode;  // nullopt: it did not end in time (it is killed)
  // "class \"caption\"" of each window seen, in the order seen; a window
  // gone before the robot could look is "(gone)".
  std::vector<std::string> windows;
  // The creation hook heard the process at least once (so that a run that
  // shows nothing is known to have been listened to).
  bool hookHeard = false;
};
// Starts exe with the given text after its quoted name, suspended, hooks
// the creation of its windows (and looks at its top-level windows as well),
// lets it run and waits for its end.
// `desktop` ("station\\desktop"), when given, is where it runs.
WatchedRun RunWatchingWindows(const std::string& exe, const std::string& argumentsText,
                              const std::string& workingDir, DWORD timeoutMs = kExitWait,
                              const char* desktop = nullptr);

// Every child control of a window (all levels), positions in the window's
// client coordinates, in the order EnumChildWindows gives them.
std::vector<ControlInfo> ListControls(HWND window);
// The control whose rectangle starts at (left, top), if any.
std::optional<ControlInfo> ControlAt(const std::vector<ControlInfo>& controls, int left, int top);
// Client width and height.
SIZE ClientSize(HWND window);
// PBM_GETPOS of a progress bar; -1 when it does not answer.
int BarPosition(HWND bar);

// Lines of a list box (also of another process).
int ListCount(HWND list);
std::string ListLine(HWND list, int index);
std::vector<std::string> ListLines(HWND list);
bool ListSelect(HWND list, int index, bool selected);
bool ListIsSelected(HWND list, int index);

// Posts a key press (WM_KEYDOWN then WM_KEYUP) to a window.
void PostKey(HWND window, UINT virtualKey);
// Posts BN_CLICKED of a child button to its parent.
void PostClick(HWND button);

// --- files ---------------------------------------------------------------

// A fresh, empty folder under the prefix's temporary folder, deleted with
// everything in it when the object goes away. path() ends in a backslash.
class TempDir {
 public:
  TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir();
  const std::string& path() const { return path_; }
  // path() + relative
  std::string operator/(const std::string& relative) const { return path_ + relative; }

 private:
  std::string path_;
};

// Creates a file (and the folders above it) with the given bytes.
bool WriteFileBytes(const std::string& path, const std::string& bytes);
std::optional<std::string> ReadFileBytes(const std::string& path);
bool FileExists(const std::string& path);    // an existing file, not a folder
bool FolderExists(const std::string& path);
bool MakeFolders(const std::string& path);   // with every missing folder above
// Deletes a file or a folder with everything in it (read-only bits cleared);
// a link goes itself, never what it points to.
bool DeleteTree(const std::string& path);
// A symbolic link at `link` to the file or folder `target`; and the removal
// of a link itself. Wine's CreateSymbolicLink makes nothing and its
// deletions cannot take a link to a folder, so under Wine both are the
// host's ln and rm, run through Wine.
bool MakeLink(const std::string& link, const std::string& target);
bool RemoveLinkItself(const std::string& link);
// Moves `path` to `aside` and `link` to `path`, `path` never missing in
// between (Wine's MoveFile of a host link would move its target).
bool SwapForLink(const std::string& path, const std::string& aside, const std::string& link);

// Writes the uninstall log of the installed tree under options.root (a
// Windows path) to logPath, the way the installer leaves it: undtool's scan,
// with sizes and time stamps from the disk. False, with the reason in *error,
// when the tree cannot be scanned or the log cannot be written.
bool WriteScannedLog(const undtool::ScanOptions& options, const std::string& logPath,
                     std::string* error = nullptr);

// What a folder holds, for before/after comparisons: relative path ->
// attributes, size and last-write time.
struct EntryState {
  DWORD attributes = 0;
  uint64_t size = 0;
  uint64_t writeTime = 0;
  bool operator==(const EntryState&) const = default;
};
using TreeState = std::map<std::string, EntryState>;
TreeState Snapshot(const std::string& folder);

// --- registry (HKEY_LOCAL_MACHINE unless a root is given; 32-bit view) ------

bool KeyExists(const std::string& key, HKEY root = HKEY_LOCAL_MACHINE);
bool KeyCreate(const std::string& key, HKEY root = HKEY_LOCAL_MACHINE);
bool KeySetString(const std::string& key, const std::string& name, const std::string& value,
                  HKEY root = HKEY_LOCAL_MACHINE, DWORD type = REG_SZ);
bool KeySetDword(const std::string& key, const std::string& name, DWORD value,
                 HKEY root = HKEY_LOCAL_MACHINE);
std::optional<std::string> KeyGetString(const std::string& key, const std::string& name,
                                        HKEY root = HKEY_LOCAL_MACHINE);
std::optional<DWORD> KeyGetDword(const std::string& key, const std::string& name,
                                 HKEY root = HKEY_LOCAL_MACHINE);
bool KeyValueExists(const std::string& key, const std::string& name, HKEY root = HKEY_LOCAL_MACHINE);
// Deletes a key with its subkeys; true when it is gone (also when it never was).
bool KeyRemove(const std::string& key, HKEY root = HKEY_LOCAL_MACHINE);
// Names and data of the string values of a key.
std::map<std::string, std::string> KeyStringValues(const std::string& key, HKEY root = HKEY_LOCAL_MACHINE);
// What Windows is to delete at its next start, in order: the sources of
// PendingFileRenameOperations without a target, "\\??\\" dropped.
std::vector<std::string> PendingDeletions();

}  // namespace robot
