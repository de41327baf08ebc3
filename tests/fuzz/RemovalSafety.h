#pragma once
// What a removal may touch, over random and hostile logs: the run's real
// reader and engine work on a small fake world with files inside and outside
// the installation folder, through a file system that resolves paths as
// Windows does. The native property test draws the log from a random
// engine, the fuzz target fuzz_removal from libFuzzer's bytes.
//
// The world holds links out of the installation folder (a folder link and
// a file link to files outside, a second name of an outside read-only
// file), folders and keys of the system's, classes of the system's and of
// the application's (which point at its folder), and another program's
// uninstall entry.
//
// Checked: every file changed or removed, as the system reaches it through
// links, lies inside the installation folder or the shortcut folder, or is
// exactly a logged shortcut file; nothing outside loses its read-only bit;
// every folder removed was empty; every registry key deleted is a logged
// key or one of its parents within its level count, or the application's
// own uninstall entry with its subkeys; and every folder and key of the
// system's, and the other program's entry, is still there.
#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "app/tools/LogWriter.h"
#include "app/UninstallRun.h"
#include "env/Enviro.h"
#include "tests/fakes/FakeRun.h"

namespace safety {

// The generator's choices: from a seeded random engine, or from bytes (0
// once they are used up).
class Choices {
 public:
  explicit Choices(unsigned seed) : rng_(seed), random_(true) {}
  explicit Choices(std::string_view bytes) : bytes_(bytes) {}
  unsigned Pick(unsigned n) {
    if (random_) return static_cast<unsigned>(rng_() % n);
    return at_ < bytes_.size() ? static_cast<unsigned char>(bytes_[at_++]) % n : 0;
  }
  template <class T, size_t N>
  const T& One(const T (&items)[N]) {
    return items[Pick(N)];
  }

 private:
  std::mt19937 rng_;
  bool random_ = false;
  std::string_view bytes_;
  size_t at_ = 0;
};

inline constexpr int32_t kDate = 0x2AB153C0;
inline constexpr char kBase[] = "C:\\Prog\\App";  // the log's folder, as the world has it
inline constexpr const char* kFiles[] = {
    "C:\\Prog\\App\\app.exe",    "C:\\Prog\\App\\sub\\lib.dll", "C:\\Prog\\App\\sub\\deep\\x.dat",
    "C:\\Prog\\App\\\x90\xAC\x90\xD1\x95\x5C\\x.dat",  // a folder whose last byte is 0x5C
    "C:\\Prog\\victim.txt",      "C:\\Prog\\App2\\app.exe",    "C:\\victim.txt",
    "C:\\Windows\\system.ini",   "D:\\victim.txt",             "C:\\Menu\\App\\app.lnk",
    "C:\\Menu\\App\\sub\\x.lnk", "C:\\Menu\\victim.txt",       "C:\\Desktop\\app.lnk",
    "C:\\Outside\\lib.dll",      "C:\\Outside\\x.dat",       "C:\\Users\\Public\\victim.txt",
    "C:\\Windows\\SysWOW64\\x.dll",
    // Behind the hostile spellings: the system's, another program's and
    // another user's files, a shortcut folder of the shell's.
    "C:\\Windows\\System32\\victim.dll", "C:\\Windows\\System32\\lib.dll", "C:\\Windows\\System32\\x.lnk",
    "C:\\Program Files\\OtherApp\\other.exe", "C:\\Users\\bob\\Desktop\\Bank.url", "C:\\Users\\bob\\Documents\\notes.pif",
    "C:\\Users\\ana\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\App\\readme.txt"};
// What no run may take, whatever its log says.
inline constexpr const char* kNotTheApplications[] = {
    "C:\\Outside\\lib.dll", "C:\\Outside\\x.dat", "C:\\Prog\\victim.txt", "C:\\Windows\\ro.dll",
    "C:\\Windows\\System32\\victim.dll", "C:\\Windows\\System32\\lib.dll", "C:\\Windows\\System32\\x.lnk",
    "C:\\Program Files\\OtherApp\\other.exe", "C:\\Users\\bob\\Desktop\\Bank.url", "C:\\Users\\bob\\Documents\\notes.pif"};
// Where any file may go below a shortcut folder, and where shortcut files
// named on their own may not.
inline constexpr const char* kShortcutPlaces[] = {"C:\\Users\\ana\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu",
                                                  "C:\\Users\\ana\\Desktop", "C:\\Users\\Public\\Desktop"};
// Links inside the installation folder to what lies outside it: a folder,
// a file, and a second name of a read-only file.
inline constexpr const char* kLinks[][2] = {{"C:\\Prog\\App\\linked", "C:\\Outside"},
                                            {"C:\\Prog\\App\\one.dat", "C:\\Prog\\victim.txt"},
                                            {"C:\\Menu\\lnkdir", "C:\\Windows\\System32"}};
// A folder of the application that another process swaps for a link to
// the system's folder while the run goes on.
inline constexpr const char* kSwapped[2] = {"C:\\Prog\\App\\sub", "C:\\Windows\\System32"};
inline constexpr const char* kHardLinked[2] = {"C:\\Prog\\App\\ro.dll", "C:\\Windows\\ro.dll"};
// The system's folders, which must all still stand.
inline constexpr const char* kSystemFolders[] = {"C:\\Windows", "C:\\Windows\\SysWOW64", "C:\\Users",
                                                 "C:\\Users\\Public", "C:\\Program Files", "C:\\ProgramData"};
inline constexpr const char* kUninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
inline const std::pair<uint32_t, std::string> kKeys[] = {
    {platform::kHkeyLocalMachine, std::string(kUninstall) + "App\\Sub"},
    {platform::kHkeyLocalMachine, std::string(kUninstall) + "Other"},
    {platform::kHkeyLocalMachine, std::string(kUninstall) + "Remnant"},
    {platform::kHkeyLocalMachine, "Software\\Maker\\App"},
    {platform::kHkeyCurrentUser, "Software\\Maker\\App\\Settings"},
    {platform::kHkeyCurrentUser, "Software\\Maker\\Other"},
    {platform::kHkeyCurrentUser, "Software\\Other"},
    {platform::kHkeyLocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {platform::kHkeyCurrentUser, "Software\\Policies\\Maker"},
    {0x80000000u, "CLSID"},
    {0x80000000u, ".app"},
    {platform::kHkeyLocalMachine, "System\\CurrentControlSet\\Services\\Svc"},
    {0x80000003u, std::string(fakes::kCurrentUserSid) + "\\Software\\Maker\\App"}};
// Keys with a string each that hostile logs name: the system's and other
// programs' (a class that only seems to point at the application among
// them), which must all stay, and the application's own classes.
inline const std::string kSid = fakes::kCurrentUserSid, kNt = "Software\\Microsoft\\Windows NT\\CurrentVersion\\";
inline constexpr uint32_t kCr = 0x80000000u, kCu = 0x80000001u, kLm = 0x80000002u, kU = 0x80000003u;
inline const struct NamedKey {
  uint32_t root;
  std::string path, value;
  bool own;
} kNamedKeys[] = {
    {kCr, "exefile\\shell\\open\\command", "\"%1\" %*", false}, {kCr, ".exe", "exefile", false},
    {kCr, "CLSID\\{00021401-0000-0000-C000-000000000046}\\InprocServer32", "C:\\Windows\\System32\\shell.dll", false},
    {kCr, "Trick.Doc\\shell\\open\\command", "C:\\Prog\\App\\..\\..\\Windows\\notepad.exe", false},
    {kCr, "Near.Doc\\DefaultIcon", "\"C:\\Prog\\App2\\app.exe\",0", false},
    {kU, kSid + "_Classes\\exefile\\shell\\open\\command", "\"%1\" %*", false},
    {kU, "S-1-5-18\\Software\\Maker\\App", "C:\\Prog\\App\\app.exe", false},
    {kLm, kNt + "ProfileList\\S-1-5-21-1-1001", "C:\\Users\\Ana", false},
    {kLm, "Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\AB12", "", false},
    {kLm, kNt + "Image File Execution Options\\x.exe", "C:\\Prog\\App\\app.exe", false},
    {kLm, kNt + "Winlogon\\Notify\\x", "C:\\Prog\\App\\x.dll", false}, {kLm, "BCD00000000\\Objects", "", false},
    {kCu, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", "C:\\Menu", false},
    {kCu, "Control Panel\\Desktop", "C:\\Prog\\App\\wall.bmp", false},
    {kCr, "Maker.Doc\\shell\\open\\command", "\"C:\\Prog\\App\\app.exe\" \"%1\"", true},
    {kCr, ".abc", "Maker.Doc", true},
    {kLm, "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\app.exe", "c:\\prog\\app\\app.exe", true}};
// Keys that no run may take: the system's, and the other program's entry.
inline const std::pair<uint32_t, std::string> kKeptKeys[] = {
    {platform::kHkeyLocalMachine, std::string(kUninstall) + "Other"},
    {platform::kHkeyLocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {platform::kHkeyCurrentUser, "Software\\Policies\\Maker"},
    {0x80000000u, "CLSID"},
    {platform::kHkeyLocalMachine, "System\\CurrentControlSet\\Services\\Svc"},
    {platform::kHkeyCurrentUser, "Software"},
    {platform::kHkeyLocalMachine, "Software"}};

// A name or path: often one that reaches a file of the world in a sly way,
// otherwise pieces of dots, blanks, separators, drives and double-byte
// characters.
inline std::string Text(Choices& pick, bool full) {
  static const char* const kSly[] = {"", ".", "sub\\", "..\\", ". ", "a\\.", "sub/.", "\x95\x5C\\", ".\\victim.txt",
                                     "..\\victim.txt", ". \\victim.txt", "./victim.txt", "app.exe", "sub\\lib.dll",
                                     "C:\\Menu\\App\\app.lnk", "C:\\Menu\\App\\..\\victim.txt", "C:\\Desktop\\app.lnk",
                                     ".C:\\Menu\\App\\.\\x.lnk", "c:/menu/app/sub/x.lnk", "..\\App2\\app.exe",
                                     "C:\\Windows\\System32\\victim.dll", "C:\\Menu\\lnkdir\\victim.dll",
                                     "C:\\Menu\\lnkdir\\x.lnk", "C:\\Users\\bob\\Desktop\\Bank.url",
                                     "C:\\Users\\bob\\Documents\\notes.pif", "C:\\Program Files\\OtherApp\\other.exe",
                                     "C:\\PROGRA~1\\OtherApp\\other.exe", "C:\\windows.\\system32\\victim.dll",
                                     "C:\\Users\\ana\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\App\\readme.txt"};
  static const char* const kPieces[] = {".", "..", " ", "\\", "/", "\\\\", "victim.txt", "app.exe", "sub", "x.dat",
                                        "C:", "D:", "App", "Prog", "Menu", "\x95\x5C", "\x90\xAC\x90\xD1\x95\x5C", "*"};
  static const char* const kStarts[] = {"", "C:\\Prog\\App\\", "C:\\Menu\\App\\", "C:\\", "c:/prog/", "\\\\srv\\s\\"};
  if (pick.Pick(2) == 0) return pick.One(kSly);
  std::string t = full ? pick.One(kStarts) : "";
  for (unsigned n = pick.Pick(6); n > 0; --n) t += pick.One(kPieces);
  return t.substr(0, 255);
}

// A log such as installers write, but for one hostile field: its shortcut
// folder, a shortcut, or the folders another process swaps meanwhile.
inline std::string PlausibleLog(Choices& pick) {
  static const char* const kDirs[] = {
      "C:\\Menu\\App", "C:\\Users\\ana\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\App",
      "C:\\Menu", "C:\\Menu\\lnkdir", "C:\\Users\\bob\\Desktop", "C:\\Program Files\\OtherApp", "C:\\PROGRA~1",
      "C:\\Users\\ana\\Desktop"};
  static const char* const kShortcuts[] = {
      "C:\\Menu\\App\\app.lnk", "C:\\Desktop\\app.lnk", "C:\\Menu\\lnkdir\\x.lnk", "C:\\Menu\\lnkdir\\victim.dll",
      "C:\\Users\\ana\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\App\\readme.txt",
      "C:\\Users\\bob\\Desktop\\Bank.url", "C:\\Program Files\\OtherApp\\other.exe",
      "C:\\PROGRA~1\\OtherApp\\other.exe", "C:\\Menu\\App\\sub\\x.lnk"};
  app::LogContent c;
  c.appName = "App";
  c.hostLevels = static_cast<uint8_t>(pick.Pick(4));
  c.shortcutLevels = static_cast<uint8_t>(pick.Pick(4));
  c.uninstallKey = "App";
  c.shortcutDir = pick.One(kDirs);
  for (unsigned s = pick.Pick(4); s > 0; --s) c.shortcuts.push_back(pick.One(kShortcuts));
  c.folders = {{"", 1}, {"sub\\", 1}, {"sub\\deep\\", 1}};
  c.groups = {{std::nullopt, {{"app.exe", 10, kDate, 1}}},
              {std::nullopt, {{"lib.dll", 10, kDate, 1}, {"victim.dll", 10, kDate, 1}}},
              {std::nullopt, {{"x.dat", 10, kDate, 1}}}};
  return app::WriteLog(c);
}

inline std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 0x20 : c);
  return s;
}

inline std::string HostileLog(Choices& pick) {
  if (pick.Pick(2) == 0) return PlausibleLog(pick);
  static const uint8_t kLevels[] = {0, 1, 2, 3, 255};
  static const uint32_t kSizes[] = {0, 4096, 0x80000000u, 0xFFFFFFFFu};
  static const int32_t kCounts[] = {-1, 0, 0x7FFFFFFF};
  static const char* const kRegKeys[] = {
      "x1x\\Software\\Maker\\App\\Settings", "x2x\\Software\\Maker\\App", "x1x\\Software\\Maker\\Other\\X",
      "x1x\\Software\\Maker\\..\\Other",     "x1x\\",                      "x1x",
      "xZx\\Software\\Maker",                "x9x\\Software",              "x1x/Software/Other",
      "x2x\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Other\\X",
      "x2x\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", "x1x\\Software\\Policies\\Maker",
      "x0x\\CLSID",                             "x0x\\.app",                  "x2x\\System\\CurrentControlSet\\Services\\Svc",
      "x2x\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Other", "x5x\\System"};
  static const char* const kUninstallKeys[] = {"nono",   "",      "App",       "Other",     "\\",     "..\\Other",
                                               "App\\Sub", "\\App\\", "Other\\", "\\Other", "Remnant", " "};
  static const char* const kShortcutDirs[] = {"nono", "", "C:\\Menu\\App", "c:/menu/app/", "C:\\", "C:", ".",
                                              "C:\\Menu\\App\\..", "C:\\Windows", "C:\\Users\\Public", "C:\\Prog",
                                              "C:\\.\\windows", "C:\\windows.\\system32", "C:\\PROGRA~1",
                                              "C:\\Program Files\\OtherApp", "C:\\Users\\bob\\Desktop", "C:\\Menu",
                                              "C:\\ProgramData\\Microsoft", "C:\\Users\\ana\\AppData", "C:\\Menu\\lnkdir",
                                              "C:\\Users\\ana\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\App"};
  app::LogContent c;
  c.appName = "App";
  c.hostLevels = pick.One(kLevels);
  c.shortcutLevels = pick.One(kLevels);
  for (unsigned k = pick.Pick(4); k > 0; --k) {
    std::string key = pick.One(kRegKeys);
    // A named key, in a sly spelling now and then: upper case, doubled and
    // trailing backslashes.
    if (pick.Pick(2) == 0) {
      const NamedKey& n = pick.One(kNamedKeys);
      key = std::string("x") + static_cast<char>('0' + (n.root & 7)) + "x\\" + n.path;
      if (pick.Pick(3) == 0) key = Upper(std::string(key).insert(3, "\\")) + "\\";
    }
    c.regKeys.push_back({pick.One(kLevels), key});
  }
  c.totalBytes = pick.One(kSizes);
  c.uninstallKey = pick.One(kUninstallKeys);
  c.shortcutDir = pick.Pick(4) ? pick.One(kShortcutDirs) : Text(pick, true);
  for (unsigned s = pick.Pick(4); s > 0; --s) c.shortcuts.push_back(Text(pick, true));
  for (unsigned f = pick.Pick(5); f > 0; --f) {
    c.folders.push_back({c.folders.empty() && pick.Pick(2) ? "" : Text(pick, false), 1});
    c.groups.emplace_back();
    for (unsigned i = pick.Pick(4); i > 0; --i) {
      c.groups.back().files.push_back({Text(pick, false), pick.One(kSizes), kDate + (pick.Pick(8) == 0), 1});
    }
  }
  if (pick.Pick(8) == 0) c.shortcutCount = pick.One(kCounts);
  if (pick.Pick(8) == 0) c.folderCount = pick.One(kCounts);
  if (pick.Pick(8) == 0) c.groupCount = pick.One(kCounts);
  return app::WriteLog(c);
}

// The path as Windows resolves it, read the worst way: slashes separate,
// repeated separators count once, "." goes, ".." takes the segment before
// it (never the drive), a segment loses its trailing dots and blanks, and a
// segment of dots and blanks with two dots or more counts as "..". A byte
// 0x5C that ends a double-byte character separates nothing.
inline std::string Resolve(const std::string& path, platform::ILocale& locale) {
  std::vector<std::string> parts;
  std::string part;
  const auto close = [&] {
    const size_t keep = part.find_last_not_of(". ");
    if (keep != std::string::npos) parts.push_back(part.substr(0, keep + 1));
    else if (part.find("..") != std::string::npos || part.find(". .") != std::string::npos) {
      if (parts.size() > 1) parts.pop_back();
    }
    part.clear();
  };
  for (size_t i = 0; i < path.size(); ++i) {
    if (locale.IsLeadByte(static_cast<unsigned char>(path[i])) && i + 1 < path.size()) {
      part += path.substr(i++, 2);
    } else if (path[i] == '\\' || path[i] == '/') {
      close();
    } else {
      part += path[i];
    }
  }
  close();
  std::string out;
  for (const std::string& p : parts) out += (out.empty() ? "" : "\\") + p;
  return out;
}

// The fake file system behind Windows' path resolution; notes every file
// changed and every folder removed while not empty.
class WindowsPaths : public platform::IFileSystem {
 public:
  fakes::FakeFileSystem fake;
  fakes::FakeLocale* locale = nullptr;
  std::vector<std::string> changed;  // resolved
  std::vector<std::string> problems;

  int swapAt = 0;  // the lookup after which kSwapped is swapped; 0: never
  int lookups = 0;
  std::string R(const std::string& p) { return Resolve(p, *locale); }
  using platform::IFileSystem::FindEntry;
  using platform::IFileSystem::GetAttributes;
  using platform::IFileSystem::RemoveAtRestart;
  using platform::IFileSystem::RemoveFile;
  using platform::IFileSystem::RemoveFolder;
  using platform::IFileSystem::SetAttributes;
  std::optional<platform::FileEntry> FindEntry(const std::string& p, platform::Status& s) override {
    // Nothing is found through a trailing separator.
    if (p.empty() || p.back() == '/' || env::PathRules(*locale).EndsWithBackslash(p)) {
      s = platform::Status::Refused(platform::kErrorFileNotFound);
      return std::nullopt;
    }
    if (++lookups == swapAt) fake.SwapForLink(kSwapped[0], kSwapped[1]);
    return fake.FindEntry(R(p), s);
  }
  std::optional<uint32_t> GetAttributes(const std::string& p, platform::Status& s) override {
    return fake.GetAttributes(R(p), s);
  }
  std::string FullPath(const std::string& p) override { return fake.FullPath(p); }
  std::string ShortPath(const std::string& p) override { return fake.ShortPath(p); }
  std::optional<uint32_t> HardLinks(const std::string& p) override { return fake.HardLinks(R(p)); }
  platform::Status RemoveLink(const std::string& p) override {
    changed.push_back(fake.Through(R(p)));
    return fake.RemoveLink(R(p));
  }
  void LeaveCurrentFolder() override { fake.LeaveCurrentFolder(); }
  std::string FinalFolderName(const std::string& f) override { return fake.FinalFolderName(R(f)); }
  platform::Status SetAttributes(const std::string& p, uint32_t a, const platform::Place& within) override {
    const platform::Status status = fake.SetAttributes(R(p), a, within);
    if (status) changed.push_back(fake.Through(R(p)));
    return status;
  }
  platform::Status RemoveFile(const std::string& p, const platform::Place& within) override {
    const std::string through = fake.Through(R(p));
    const platform::Status status = fake.RemoveFile(R(p), within);
    if (status) changed.push_back(through);
    return status;
  }
  platform::Status RemoveFolder(const std::string& p, const platform::Place& within) override {
    const auto entries = fake.ListFolder(R(p));
    const bool empty = entries && entries->size() == 2;  // "." and ".."
    const platform::Status removed = fake.RemoveFolder(R(p), within);
    if (removed && !empty) problems.push_back("removed the folder " + R(p) + " while it held something");
    return removed;
  }
  std::optional<std::vector<platform::FileEntry>> ListFolder(const std::string& f) override {
    return fake.ListFolder(R(f));
  }
  std::optional<std::string> ReadDenyWrite(const std::string& p) override { return fake.ReadDenyWrite(R(p)); }
  platform::Status RemoveAtRestart(const std::string& p, const platform::Place& within) override {
    const platform::Status status = fake.RemoveAtRestart(R(p), within);
    if (status) changed.push_back(fake.Through(R(p)));
    return status;
  }
  std::unique_ptr<platform::IOutputFile> OpenOutputFile(const std::string& p, platform::Status& s) override {
    return fake.OpenOutputFile(R(p), s);
  }
};

// A registry path without its outer backslashes, upper-cased.
inline std::string KeyName(uint32_t root, std::string path) {
  while (!path.empty() && path.front() == '\\') path.erase(0, 1);
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return std::to_string(root) + ":" + Upper(path);
}

// What the runs of CheckRemoval did: runs that removed, runs in which
// kSwapped was swapped for a link, changes made.
struct Tally {
  int runs = 0;
  int swapped = 0;
  int changes = 0;
};
inline Tally tally;

// Runs one uninstallation of the world with `log` as its log; the first
// thing that went wrong, or an empty text.
inline std::string CheckRemoval(const std::string& log, Choices& pick) {
  fakes::FakeRun<WindowsPaths> w;
  w.fs.locale = &w.locale;
  if (pick.Pick(4) == 0) {
    w.locale.UseCodePage932();
    w.fs.fake.UseLocale(&w.locale);
  }
  for (const char* f : kFiles) w.fs.fake.AddFile(f, kDate, 10);
  for (const char* f : kSystemFolders) w.fs.fake.AddFolder(f);
  w.fs.fake.AddFolder("C:\\Prog\\Empty");
  for (const auto& link : kLinks) w.fs.fake.AddLink(link[0], link[1]);
  w.fs.fake.AddShortName("C:\\Program Files", "PROGRA~1");
  w.fs.swapAt = pick.Pick(3) == 0 ? static_cast<int>(pick.Pick(24)) + 1 : 0;
  w.fs.fake.AddFile(kHardLinked[1], kDate, 10, platform::kAttrReadOnly);
  w.fs.fake.AddHardLink(kHardLinked[0], kHardLinked[1]);
  w.fs.fake.AddFile("C:\\Prog\\App\\app.und", 0, 0, platform::kAttrArchive, log);
  for (const auto& [root, key] : kKeys) w.registry.AddKey(root, key);
  for (const auto& k : kNamedKeys) w.registry.SetString(k.root, k.path, "", k.value);
  w.registry.SetString(platform::kHkeyLocalMachine, std::string(kUninstall) + "Other", "UninstallString",
                       "\"C:\\Other\\desinstalador.exe\" /f:C:\\Other\\other.und");
  w.registry.SetString(platform::kHkeyLocalMachine, std::string(kUninstall) + "App", "UninstallString",
                       "\"C:\\Prog\\desinstalador.exe\" \"/f:C:\\Prog\\App\\app.und\"");
  static const char* const kLogPaths[] = {"C:\\Prog\\App\\app.und", "C:/Prog/App/app.und", "c:\\PROG\\app\\APP.UND",
                                          "C:\\Prog\\\\App\\.\\app.und"};
  const bool ran = w.run.Start(pick.One(kLogPaths)) && w.run.ReadLog();
  if (ran) w.run.RemoveInstallation();
  if (!ran) return {};

  const auto key = [&](const std::string& p) { return fakes::FakeFileSystem::Key(w.fs.R(p)); };
  const auto inside = [&](const std::string& path, const std::string& folder) {
    const std::string f = key(folder) + "\\";
    return !folder.empty() && path.compare(0, f.size(), f) == 0;
  };
  const auto climbs = [](const std::string& p) {  // a segment of dots and blanks with two dots or more
    for (size_t from = 0, to = 0; from <= p.size(); from = to + 1) {
      to = std::min(p.find_first_of("\\/", from), p.size());
      const std::string segment = p.substr(from, to - from);
      if (segment.find_first_not_of(". ") == std::string::npos && segment.find('.') != segment.rfind('.')) return true;
    }
    return false;
  };
  const app::TUninsData& h = w.data.UninsData;
  // Any file below the shortcut folder only where it lies strictly below a
  // place of the shell's; a shortcut file named on its own anywhere but in
  // the Windows folder and in another user's profile.
  const std::string dir = h.ShortcutDir.empty() ? std::string() : w.fs.fake.Through(w.fs.R(h.ShortcutDir));
  const bool anyFileBelowDir = std::any_of(std::begin(kShortcutPlaces), std::end(kShortcutPlaces),
                                           [&](const char* place) { return inside(dir, place); });
  const auto shortcutAnywhere = [&](const std::string& k) {
    return app::IsShortcutFile(k) && !inside(k, "C:\\Windows") &&
           (!inside(k, "C:\\Users") || inside(k, "C:\\Users\\ana") || inside(k, "C:\\Users\\Public\\Desktop"));
  };
  for (const std::string& changed : w.fs.changed) {
    const std::string k = fakes::FakeFileSystem::Key(changed);
    bool allowed = inside(k, kBase) || (anyFileBelowDir && inside(k, dir));
    for (size_t s = 0; !allowed && w.data.ShortcutList && s < w.data.ShortcutList->size(); ++s) {
      const std::string& shortcut = (*w.data.ShortcutList)[s];
      allowed = key(shortcut) == k && !climbs(shortcut) && shortcutAnywhere(k);
    }
    if (!allowed) return "changed " + changed + ", outside the application's places";
  }
  tally.runs += 1;
  tally.swapped += w.fs.swapAt != 0 && w.fs.lookups >= w.fs.swapAt;
  tally.changes += static_cast<int>(w.fs.changed.size());
  if (!w.fs.problems.empty()) return w.fs.problems.front();
  for (const char* f : kSystemFolders) {
    if (!w.fs.fake.Exists(f)) return std::string("removed the system's folder ") + f;
  }
  for (const char* f : kNotTheApplications) {
    if (!w.fs.fake.Exists(f)) return std::string("deleted ") + f + ", which is not the application's";
  }
  if ((*w.fs.fake.Attributes(kHardLinked[1]) & platform::kAttrReadOnly) == 0) {
    return "dropped the read-only bit of a file outside through its second name";
  }
  for (const auto& [root, path] : kKeptKeys) {
    if (!w.registry.Exists(root, path)) return "deleted the key " + KeyName(root, path) + ", which is not the application's";
  }
  for (const auto& k : kNamedKeys) {
    if (!k.own && !w.registry.Exists(k.root, k.path)) return "deleted the key " + KeyName(k.root, k.path) + ", which is not the application's";
  }

  std::set<std::string> keys;
  for (size_t e = 0; e < w.data.RegKeyList.size(); ++e) {
    const std::string& entry = w.data.RegKeyList[e];
    if (entry.size() < 2 || entry[1] < '0' || entry[1] > '6') continue;
    std::string path = entry.size() > 3 ? entry.substr(3) : "";
    for (unsigned n = e < w.data.RegKeyLevels.size() ? w.data.RegKeyLevels[e] : 0; n > 0 && !path.empty(); --n) {
      keys.insert(KeyName(0x80000000u + static_cast<uint32_t>(entry[1] - '0'), path));
      const size_t cut = path.find_last_of('\\');
      path.resize(cut == std::string::npos ? 0 : cut);
    }
  }
  const std::string own = KeyName(platform::kHkeyLocalMachine, kUninstall + h.UninstallKey);
  std::vector<std::pair<uint32_t, std::string>> all(std::begin(kKeys), std::end(kKeys));
  for (const auto& k : kNamedKeys) all.emplace_back(k.root, k.path);
  for (const auto& [root, path] : all) {
    for (std::string p = path; !p.empty();) {
      const std::string name = KeyName(root, p);
      const bool ownEntry = h.UninstallKey.find_first_not_of('\\') != std::string::npos &&
                            (name == own || name.compare(0, own.size() + 1, own + "\\") == 0);
      if (!w.registry.Exists(root, p) && !keys.count(name) && !ownEntry) return "deleted the key " + name;
      const size_t cut = p.find_last_of('\\');
      p.resize(cut == std::string::npos ? 0 : cut);
    }
  }
  return {};
}

}  // namespace safety
