// desinstalador.exe as a deployment tool runs it: /quiet shows no window and
// no box at all (every window the process makes is watched, visible or
// not, from its first instruction to its end), /passive shows the progress
// window and no box; each ends with the exit code and the report
// (/log:<file>) that the situation calls for.
#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/robot/Robot.h"
#include "tests/e2e/runs/RunKit.h"

namespace {

struct Case {
  const char* name;
  // After the log argument; "%r" stands for the report (then no /log: is
  // added), "%l" for the log, "%s" for the 8.3 form of the installed demo.exe.
  std::string switches;
  DWORD exitCode;
  std::vector<std::string> reportLines;  // each in the report; "@" stands for the installation folder
  enum { Gone, Untouched, Other } after;
  // Sets the world up beyond the installed application; gives the log
  // argument's path (empty: none).
  std::function<std::string(const std::string& log)> setUp;
  std::function<void()> check;  // what else the run left
  std::function<void(app::LogContent&)> edit = [](app::LogContent&) {};  // the log, before it is written
  std::string base{};  // the installation folder, when not the usual one
  const char* desktop = nullptr;  // where it runs, when not on this desktop
  // Files in the folders "muitos" and, logged after them, "zz" (0: none
  // but what /passive needs); and what another process does meanwhile.
  int many = 0;
  std::function<void()> during{};
};

// A window station of its own, which nobody sees, with one desktop.
struct UnseenDesktop {
  UnseenDesktop() {
    station = CreateWindowStationA("UndNinguemVe", 0, WINSTA_ALL_ACCESS, nullptr);
    HWINSTA mine = GetProcessWindowStation();
    if (station != nullptr && SetProcessWindowStation(station)) {
      desktop = CreateDesktopA("Mesa", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
      SetProcessWindowStation(mine);
    }
  }
  ~UnseenDesktop() {
    if (desktop) CloseDesktop(desktop);
    if (station) CloseWindowStation(station);
  }
  bool Visible() const {
    USEROBJECTFLAGS flags{};
    return station == nullptr ||
           !GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags, nullptr) ||
           (flags.dwFlags & WSF_VISIBLE) != 0;
  }
  HWINSTA station = nullptr;
  HDESK desktop = nullptr;
};

TEST(Unattended, ExitCodesReportsAndNoWindowWhenQuiet) {
  ASSERT_TRUE(robot::FileExists(robot::ProgramPath())) << robot::ProgramPath();
  // Restored last: the registrations (nothing of the program beside the
  // tests is counted down) and the run-once list (a restart runs it).
  runkit::NoRegistration noRegistration;
  runkit::ValuesGuard runOnce{HKEY_LOCAL_MACHINE, runkit::kRunOnce};
  robot::TempDir dir;
  const std::string name = runkit::UniqueName("UndUnattended"), entry = runkit::kUninstallRoot + name;
  const std::string usualBase = dir / "Programas\\Demo\\", report = dir / "relatorio.txt";
  const std::string& base = usualBase;
  const auto same = [](std::string log) { return log; };
  const std::string outside = dir / "Fora\\";  // what the application does not own
  const std::string other = name + "Outro", otherEntry = runkit::kUninstallRoot + other;
  char programFiles[MAX_PATH] = {};  // the 32-bit one, as the program sees it
  GetEnvironmentVariableA("ProgramFiles", programFiles, MAX_PATH);
  const std::string underProgramFiles = std::string(programFiles) + "\\" + name + "\\Demo\\";
  HANDLE held = INVALID_HANDLE_VALUE;
  const UnseenDesktop unseen;
  ASSERT_TRUE(unseen.desktop != nullptr && !unseen.Visible()) << "no window station of its own that nobody sees";
  std::string logBytes;
  std::optional<runkit::KeyRights> closed;

  const Case cases[] = {
      {"everything removed", "/quiet", 0,
       {"mode: quiet", "application: Demo", "removed    log      @demo.und", "removed    file     @demo.exe",
        "removed    folder   @dados", "removed    key      HKEY_LOCAL_MACHINE\\" + entry,
        "result: the application is gone", "exit code: 0"},
       Case::Gone, same, [] {}},
      {"changed file kept", "/qn", 0, {"exit code: 0"}, Case::Other,
       [&](std::string log) {
         EXPECT_TRUE(runkit::ShiftWriteTime(base + "demo.exe", 2));
         return log;
       },
       [&] {
         EXPECT_TRUE(robot::FileExists(base + "demo.exe"));
         EXPECT_FALSE(robot::FolderExists(base + "dados"));
       }},
      {"file held open by another program", "/S", 3010,
       {"scheduled  file     @dados\\base.dat  -- in use (error 32: in use by another program): deleted at the next "
        "start of Windows",
        "scheduled  folder   @dados  -- holds only what goes at the next start of Windows: removed then",
        "exit code: 3010"},
       Case::Other,
       [&](std::string log) {
         held = CreateFileA((base + "dados\\base.dat").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
         EXPECT_NE(held, INVALID_HANDLE_VALUE);
         return log;
       },
       [&] {
         const auto pending = robot::PendingDeletions();
         for (const std::string& path : {base + "dados\\base.dat", base + "dados", runkit::Strip(base)}) {
           EXPECT_TRUE(std::any_of(pending.begin(), pending.end(),
                                   [&](const std::string& p) { return lstrcmpiA(p.c_str(), path.c_str()) == 0; }))
               << path << " is not in PendingFileRenameOperations";
         }
         EXPECT_TRUE(robot::FileExists(base + "dados\\base.dat"));
         CloseHandle(held);
         ASSERT_TRUE(runkit::SimulateRestart());
         EXPECT_FALSE(robot::FolderExists(base));
       }},
      {"uninstall entry holding a key nobody may open", "/quiet", 1603,
       {"failed     key      HKEY_LOCAL_MACHINE\\" + entry + "  -- deletion refused: error 5: access denied",
        "result: 1 object could not be removed and is not scheduled", "exit code: 1603"},
       Case::Other,
       [&](std::string log) {
         EXPECT_TRUE(robot::KeyCreate(entry + "\\Travada\\Dentro"));
         closed.emplace(HKEY_LOCAL_MACHINE, entry + "\\Travada", runkit::kNobodyMayOpen);
         EXPECT_TRUE(closed->applied());
         return log;
       },
       [&] {
         EXPECT_TRUE(robot::KeyExists(entry));
         closed.reset();
       }},
      {"log missing", "/quiet", 1605, {"result: the log does not exist; nothing touched", "exit code: 1605"},
       Case::Untouched, [&](std::string) { return base + "sumido.und"; }, [] {}},
      {"log damaged", "/VERYSILENT", 13, {"exit code: 13"}, Case::Untouched,
       [&](std::string log) {
         logBytes = robot::ReadFileBytes(log).value_or("");
         logBytes.resize(logBytes.size() - 5);  // cut short
         EXPECT_TRUE(robot::WriteFileBytes(log, logBytes));
         return log;
       },
       [&] { EXPECT_EQ(robot::ReadFileBytes(base + "demo.und"), logBytes) << "the log stays, byte for byte"; }},
      {"no log argument", "/quiet", 87, {"log: none given", "exit code: 87"}, Case::Untouched,
       [](std::string) { return std::string(); }, [] {}},
      // What other uninstallers' scripts type by habit.
      {"habitual switches", "/quiet /norestart /NORESTART /promptrestart /SUPPRESSMSGBOXES /SP- /NOCANCEL", 0,
       {"exit code: 0"}, Case::Gone, same, [] {}},
      {"the report in the next argument", "/S /NORESTART /l*v %r", 0, {"mode: quiet", "exit code: 0"}, Case::Gone,
       same, [] {}},
      {"the report naming the log", "/quiet /log:%l", 87, {}, Case::Untouched, same,
       [&] { EXPECT_FALSE(robot::FileExists(report)); }},
      {"the report naming an installed file in its 8.3 form", "/quiet /log %s", 87, {}, Case::Untouched, same,
       [&] { EXPECT_FALSE(robot::FileExists(report)); }},
      {"the report a link to another's file", "/quiet", 87, {}, Case::Untouched,
       [&](std::string log) {
         EXPECT_TRUE(robot::WriteFileBytes(outside + "hosts", "127.0.0.1 localhost\r\n"));
         EXPECT_TRUE(robot::MakeLink(report, outside + "hosts"));
         return log;
       },
       [&] {
         EXPECT_EQ(robot::ReadFileBytes(outside + "hosts"), std::optional<std::string>("127.0.0.1 localhost\r\n"));
         robot::RemoveLinkItself(report);
       }},
      {"a retry with the same report keeps the first run's", "/quiet", 0,
       {"unknown switches: /forcerestart", "exit code: 87", "======== next run, started *",
        "removed    file     @demo.exe", "exit code: 0"},
       Case::Gone,
       [&](std::string log) {
         const auto first = robot::RunWatchingWindows(
             robot::ProgramPath(), robot::QuoteArgument("/f:" + log) + " /quiet /forcerestart /log " + robot::QuoteArgument(report),
             dir.path(), 120000);
         EXPECT_EQ(first.exitCode, std::optional<DWORD>(87));
         return log;
       },
       [] {}},
      {"interactive on a window station nobody sees", "", 1602,
       {"screen: nobody can see it (a window station that is not visible): run with /quiet", "exit code: 1602"},
       Case::Untouched, same, [] {}, [](app::LogContent&) {}, {}, "UndNinguemVe\\Mesa"},
      {"unknown switch", "/quiet /forcerestart", 87, {"unknown switches: /forcerestart", "exit code: 87"},
       Case::Untouched, same, [] {}},
      {"passive: the progress window, no box", "/passive", 0, {"mode: passive", "exit code: 0"}, Case::Gone, same,
       [] {}},
      // What a log may name; links; the walk up from under Program Files.
      {"a shortcut entry naming a file that is no shortcut", "/quiet", 13,
       {"log: refused: offset " + std::to_string(23 + name.size()) +  // the header holds the entry's name
            ": shortcut 0 is no shortcut file (.lnk, .pif, .url) and lies outside the shortcut "
        "folder", "exit code: 13"},
       Case::Untouched,
       [&](std::string log) {
         EXPECT_TRUE(robot::WriteFileBytes(outside + "victim.txt", "not the application's"));
         return log;
       },
       [&] { EXPECT_TRUE(robot::FileExists(outside + "victim.txt")); },
       [&](app::LogContent& c) { c.shortcuts = {outside + "victim.txt"}; }},
      {"another program's uninstall entry as the uninstall key", "/quiet", 13,
       {"log: refused: the uninstall entry " + other + " is another program's: its UninstallString names C:\\Outro\\outro.und",
        "exit code: 13"},
       Case::Untouched,
       [&](std::string log) {
         EXPECT_TRUE(robot::KeySetString(otherEntry, "UninstallString",
                                         "\"C:\\Outro\\desinstalador.exe\" /f:C:\\Outro\\outro.und"));
         return log;
       },
       [&] { EXPECT_TRUE(robot::KeyRemove(otherEntry)) << "the other program's entry stays"; },
       [&](app::LogContent& c) { c.uninstallKey = other; }},
      {"an uninstall entry with no command and another program's name", "/quiet", 13,
       {"log: refused: the uninstall entry " + name + " is another program's: it has no command, and its "
        "DisplayName is Outro Programa",
        "exit code: 13"},
       Case::Untouched,
       [&](std::string log) {
         EXPECT_TRUE(robot::KeySetString(entry, "DisplayName", "Outro Programa"));
         return log;
       },
       [] {}},
      {"the list of programs that start with Windows as a logged key", "/quiet", 13,
       {"log: refused: offset 9: registry key 0 names a key that is not the application's: a branch of the "
        "system's own below Software (Microsoft, Policies, Classes, Wow6432Node, Clients, RegisteredApplications)",
        "exit code: 13"},
       Case::Untouched, same, [] { EXPECT_TRUE(robot::KeyExists("Software\\Microsoft\\Windows\\CurrentVersion\\Run")); },
       [](app::LogContent& c) { c.regKeys = {{1, "\\2\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"}}; }},
      {"the command that starts every program as a logged key", "/quiet", 0,
       {"kept       key      HKEY_CLASSES_ROOT\\exefile\\shell\\open\\command  -- not the application's: its class "
        "names no file of the installation folder",
        "exit code: 0"},
       Case::Gone,
       [&](std::string log) {
         EXPECT_TRUE(robot::KeyExists("exefile\\shell\\open\\command", HKEY_CLASSES_ROOT));
         return log;
       },
       [] { EXPECT_TRUE(robot::KeyExists("exefile\\shell\\open\\command", HKEY_CLASSES_ROOT)); },
       [](app::LogContent& c) { c.regKeys = {{4, "\\0\\exefile\\shell\\open\\command"}}; }},
      // The entry as installers write it: the path after /f: in quotes of its
      // own; and one of type REG_EXPAND_SZ, through a variable.
      {"the uninstall entry in the form most installers write", "/quiet", 0, {"exit code: 0"}, Case::Gone,
       [&](std::string log) {
         EXPECT_TRUE(robot::KeySetString(entry, "UninstallString", "\"" + robot::ProgramPath() + "\" /f:\"" + log + "\""));
         return log;
       },
       [] {}},
      {"an uninstall entry of type REG_EXPAND_SZ", "/quiet", 0, {"exit code: 0"}, Case::Gone,
       [&](std::string log) {
         EXPECT_TRUE(robot::KeySetString(entry, "UninstallString",
                                         "\"%ProgramFiles%\\desinstalador.exe\" \"/f:%ProgramFiles%\\" + name +
                                             "\\Demo\\demo.und\"",
                                         HKEY_LOCAL_MACHINE, REG_EXPAND_SZ));
         return log;
       },
       [] {}, [](app::LogContent&) {}, underProgramFiles},
      {"links inside the installation to a folder and a file outside", "/quiet", 0,
       {"kept       folder   @dados\\ligada  -- a link: never followed nor removed",
        "kept       file     @demo.exe  -- a link: never followed nor removed", "exit code: 0"},
       Case::Other,
       [&](std::string log) {
         // The folder link stands where the logged sub-folder was; the file
         // link replaces demo.exe by what has its name and time stamp.
         EXPECT_TRUE(robot::MakeFolders(outside + "ligada"));
         EXPECT_TRUE(CopyFileA((base + "dados\\base.dat").c_str(), (outside + "ligada\\base.dat").c_str(), FALSE));
         EXPECT_TRUE(CopyFileA((base + "demo.exe").c_str(), (outside + "demo.exe").c_str(), FALSE));
         EXPECT_TRUE(DeleteFileA((base + "demo.exe").c_str()));
         EXPECT_TRUE(robot::MakeLink(base + "demo.exe", outside + "demo.exe"));
         EXPECT_TRUE(robot::MakeLink(base + "dados\\ligada", outside + "ligada"));
         return log;
       },
       [&] {
         EXPECT_TRUE(robot::FileExists(outside + "demo.exe"));
         EXPECT_TRUE(robot::FileExists(outside + "ligada\\base.dat"));
         EXPECT_FALSE(robot::FileExists(base + "dados\\base.dat")) << "what the application owns still goes";
         EXPECT_FALSE(robot::KeyExists(entry));
       },
       [&](app::LogContent& c) {
         c.folders.push_back({"dados\\ligada\\", 1});
         c.groups.push_back({std::nullopt, {c.groups[1].files[0]}});
       }},
      {"the root of a drive as the shortcut folder", "/quiet", 13,
       {"log: refused: the shortcut folder C:\\ is a drive", "exit code: 13"}, Case::Untouched, same, [] {},
       [](app::LogContent& c) { c.shortcutDir = "C:\\"; }},
      {"the Windows folder spelled with a \".\" as the shortcut folder", "/quiet", 13,
       {"log: refused: offset *", "exit code: 13"}, Case::Untouched, same, [] {},
       [](app::LogContent& c) { c.shortcutDir = "C:\\.\\windows"; }},
      {"a shortcut below a folder link of the shortcut folder", "/quiet", 0,
       {"kept       shortcut " + dir / "Menu\\Demo\\ligada\\atalho.lnk" + "  -- a link*", "exit code: 0"},
       Case::Gone,
       [&](std::string log) {
         EXPECT_TRUE(robot::WriteFileBytes(outside + "atalho.lnk", "de outro"));
         EXPECT_TRUE(robot::MakeFolders(dir / "Menu\\Demo"));
         EXPECT_TRUE(robot::MakeLink(dir / "Menu\\Demo\\ligada", outside.substr(0, outside.size() - 1)));
         return log;
       },
       [&] {
         EXPECT_TRUE(robot::FileExists(outside + "atalho.lnk"));
         robot::RemoveLinkItself(dir / "Menu\\Demo\\ligada");
         robot::DeleteTree(dir / "Menu");
       },
       [&](app::LogContent& c) {
         c.shortcutDir = dir / "Menu\\Demo";
         c.shortcuts = {dir / "Menu\\Demo\\ligada\\atalho.lnk"};
       }},
      // Another process swaps a folder of the application for a link to one
      // of its own once the run has deleted the folder's first file.
      {"a folder swapped for a link between two of its files", "/quiet", 0,
       {"kept       file     @zz\\f*", "exit code: 0"}, Case::Other,
       [&](std::string log) {
         // What lies behind the link has the names and time stamps of the
         // application's files.
         EXPECT_TRUE(robot::MakeFolders(outside));
         for (int i = 0; i < 3000; ++i) {
           EXPECT_TRUE(CopyFileA((base + "zz\\f" + std::to_string(i)).c_str(),
                                 (outside + "f" + std::to_string(i)).c_str(), FALSE));
         }
         EXPECT_TRUE(robot::MakeLink(base + "zz-ligada", outside.substr(0, outside.size() - 1)));
         return log;
       },
       [&] {
         // Seen under Wine once in several runs: the one file whose deletion
         // was in flight at the exchange went behind the link. Wine carries
         // out a deletion through a handle at its close, by the name it was
         // opened under (after checking that the name still leads to the same
         // file); Windows deletes the handle's own file. One may go, never more.
         std::vector<int> lost;
         for (int i = 0; i < 3000; ++i) {
           if (!robot::FileExists(outside + "f" + std::to_string(i))) lost.push_back(i);
         }
         EXPECT_LE(lost.size(), 1u) << ::testing::PrintToString(lost);
         robot::RemoveLinkItself(base + "zz");
       },
       [](app::LogContent&) {}, {}, nullptr, 3000,
       [&] {
         const DWORD start = GetTickCount();
         while (robot::FileExists(base + "zz\\f0") && GetTickCount() - start < 60000) Sleep(1);
         bool swapped = false;
         for (int tries = 0; !swapped && tries < 1000; ++tries) {
           swapped = robot::SwapForLink(base + "zz", base + "zz-antes", base + "zz-ligada");
         }
         EXPECT_TRUE(swapped);
         EXPECT_TRUE(robot::FileExists(base + "zz-antes\\f2999")) << "the run had gone through the folder already";
       }},
      {"a walk of 4 levels up from an installation under Program Files", "/quiet", 0,
       {"protected  folder   " + std::string(programFiles) + "  -- a folder of the system's or of its users' own (Program Files, ProgramData, Start Menu, Desktop, ...)",
        "exit code: 0"},
       Case::Gone, same,
       [&] {
         EXPECT_TRUE(robot::FolderExists(programFiles));
         EXPECT_FALSE(robot::FolderExists(std::string(programFiles) + "\\" + name));
       },
       [](app::LogContent& c) { c.hostLevels = 4; }, underProgramFiles},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const bool passive = c.switches == "/passive";
    const std::string& base = c.base.empty() ? usualBase : c.base;
    runkit::Installation app(base);
    ASSERT_TRUE(app.AddFile("", "demo.exe", 4096));
    ASSERT_TRUE(app.AddFile("dados\\", "base.dat", 300));
    // Enough files for the progress window to stay a while.
    for (int i = 0; passive && i < 300; ++i) ASSERT_TRUE(app.AddFile("muitos\\", "f" + std::to_string(i), 10));
    for (int i = 0; i < c.many; ++i) ASSERT_TRUE(app.AddFile("muitos\\", "f" + std::to_string(i), 10));
    for (int i = 0; i < c.many; ++i) ASSERT_TRUE(app.AddFile("zz\\", "f" + std::to_string(i), 10));
    ASSERT_TRUE(robot::KeySetString(entry, "DisplayName", "Demo"));
    app.log().uninstallKey = name;
    c.edit(app.log());
    const std::string log = c.setUp(app.WriteLogFile().value_or(""));
    const robot::TreeState before = robot::Snapshot(base);

    std::string args = log.empty() ? "" : robot::QuoteArgument("/f:" + log) + " ";
    std::string switches = c.switches;
    const auto put = [&](const char* mark, const std::string& what) {
      if (const size_t at = switches.find(mark); at != std::string::npos) switches.replace(at, 2, what);
    };
    char shortExe[MAX_PATH] = {};
    GetShortPathNameA((base + "demo.exe").c_str(), shortExe, MAX_PATH);
    const bool ownReport = switches.find('%') != std::string::npos;
    put("%r", robot::QuoteArgument(report));
    put("%l", robot::QuoteArgument(log));
    put("%s", robot::QuoteArgument(shortExe));
    args += switches + (ownReport ? "" : " " + robot::QuoteArgument("/log:" + report));
    std::thread meanwhile;
    if (c.during) meanwhile = std::thread(c.during);
    const robot::WatchedRun run =
        robot::RunWatchingWindows(robot::ProgramPath(), args, dir.path(), 120000, c.desktop);
    if (meanwhile.joinable()) meanwhile.join();

    EXPECT_EQ(run.exitCode, std::optional<DWORD>(c.exitCode));
    if (passive) {
      // The watch does see windows: the progress window, and never a box.
      EXPECT_TRUE(run.hookHeard);
      EXPECT_NE(std::find(run.windows.begin(), run.windows.end(), "Kestrivon.Form \"Desinstalador Kestrivon v1.0\""),
                run.windows.end())
          << ::testing::PrintToString(run.windows);
      for (const std::string& w : run.windows) EXPECT_EQ(w.find("#32770"), std::string::npos) << w;
    } else {
      EXPECT_TRUE(run.windows.empty()) << ::testing::PrintToString(run.windows);
    }
    const std::string text = robot::ReadFileBytes(report).value_or("");
    for (std::string line : c.reportLines) {
      if (const size_t at = line.find('@'); at != std::string::npos) line.replace(at, 1, base);
      // A line ending in "*" is one that begins so.
      const bool prefix = line.back() == '*';
      if (prefix) line.pop_back();
      EXPECT_NE(text.find("\n" + line + (prefix ? "" : "\r\n")), std::string::npos)
          << "no line: " << line << "\nin:\n" << text;
    }
    if (c.after == Case::Gone) {
      EXPECT_FALSE(robot::FolderExists(base) || robot::KeyExists(entry));
    }
    if (c.after == Case::Untouched) {
      EXPECT_TRUE(robot::Snapshot(base) == before && robot::KeyExists(entry));
    }
    c.check();
    DeleteFileA(report.c_str());  // each run's report on its own
    robot::DeleteTree(dir / "Programas");
    robot::DeleteTree(outside);
    robot::DeleteTree(std::string(programFiles) + "\\" + name);
    robot::KeyRemove(entry);
  }
}

}  // namespace
