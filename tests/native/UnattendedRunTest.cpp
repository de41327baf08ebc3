// Runs nobody watches (/quiet, /passive) and the report (/log:), against the
// fakes: the exit code per situation, what goes at the next start of
// Windows, the report's lines, and the refusals that touch nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>

#include "app/tools/LogWriter.h"
#include "app/RunJournal.h"
#include "app/RunSession.h"
#include "app/UnattendedHost.h"
#include "tests/fakes/FakeRun.h"

namespace {

constexpr int32_t kDate = 0x2AB153C0;  // 17 May 2001, 10:30:00
constexpr uint32_t kHklm = platform::kHkeyLocalMachine;
const std::string kLog = "C:\\Vendor\\App\\demo.und";
const std::string kExe = "C:\\Vendor\\App\\app.exe";
const std::string kDll = "C:\\Vendor\\App\\Bin\\lib.dll";
const std::string kReport = "C:\\report.txt";
const std::string kEntry = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Demo";
const std::string kRegistration = "Software\\Kestrivon\\Dalvests\\1.0.0.3";

// A system file that a report path may lead to, and one it may make.
const std::string kHosts = "C:\\Windows\\System32\\drivers\\etc\\hosts";
const std::string kHostsBytes = "127.0.0.1 localhost\r\n";
const std::string kPlanted = "C:\\Windows\\System32\\planted.dll";

// The log of the application below, named `appName`.
std::string DemoLog(const std::string& appName = "Demo", const std::function<void(app::LogContent&)>& edit = {}) {
  app::LogContent log;
  log.appName = appName;
  log.hostLevels = 2;
  log.uninstallKey = "Demo";
  log.folders = {{"", 1}, {"Bin\\", 1}};
  log.groups = {{std::nullopt, {{"app.exe", 100, kDate, 1}}}, {std::nullopt, {{"lib.dll", 50, kDate, 1}}}};
  if (edit) edit(log);
  return app::WriteLog(log);
}

// An installed application: two files in two folders, two host levels, its
// uninstall entry, and a registration serving two applications.
struct World : fakes::FakeRun<> {
  World() {
    fs.AddFile(kLog, kDate, 0, platform::kAttrArchive, DemoLog());
    fs.AddFile(kHosts, 0, 0, platform::kAttrArchive, kHostsBytes);
    fs.AddFile(kExe, kDate, 100);
    fs.AddFile(kDll, kDate, 50);
    fs.AddFile(module.path);
    registry.SetString(kHklm, kEntry, "DisplayName", "Demo");
    registry.SetString(kHklm, kRegistration, "AppPath", module.path);
    registry.SetDword(kHklm, kRegistration, "AppsServed", 2);
    registry.AddKey(kHklm, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce");
  }

  // The program started with `args`, as the program entry wires it: the
  // host by the mode, then the run without a window for /quiet, else with a
  // progress window (a recording one here).
  uint32_t Start(const std::vector<std::string>& args) {
    const app::CommandLine line = app::ParseCommandLine(args);
    const app::SessionInfo info{"\"C:\\desinstalador.exe\" /quiet", "2026-12-08 10:25:03", seen};
    app::IRunHost& host = line.Unattended() ? static_cast<app::IRunHost&>(unattended) : person;
    return app::RunProgram(line, services, host, info, data, [&](app::UninstallRun& run, app::RunSession&) {
      if (line.mode == app::RunMode::Quiet) return run.Activate();
      run.ShowOn(view);
      run.Activate();
    });
  }
  app::UnattendedHost unattended{fs, locale};
  bool seen = true;  // whether a person can see the run's screen
  // The name under which a run claims the log.
  std::string ClaimOfTheLog() { return "Kestrivon.Dalvests.Log." + app::LogHash(locale, kLog); }

  std::vector<std::string> ReportLines() const {
    std::vector<std::string> lines;
    std::istringstream in(fs.Content(kReport));
    for (std::string line; std::getline(in, line);) {
      EXPECT_TRUE(!line.empty() && line.back() == '\r') << line;
      if (!line.empty()) line.pop_back();
      lines.push_back(line);
    }
    return lines;
  }
  bool Untouched() const {
    return fs.Mutated().empty() && registry.Deleted().empty() &&
           registry.GetDword(kHklm, kRegistration, "AppsServed") == 2;
  }
};

struct Case {
  const char* name;
  std::vector<std::string> args;
  std::function<void(World&)> setUp;
  uint32_t exitCode;
  std::vector<std::string> scheduled;  // in order
  std::vector<std::string> reportLines;  // each in the report
  size_t boxes = 0;
  bool untouched = false;
};

const std::string kQuiet = "/quiet";
const std::string kLogArg = "/f:" + kLog;
const std::string kReportArg = "/log:" + kReport;
const auto kNothing = [](World&) {};

TEST(UnattendedRun, ExitCodeSchedulingAndReportPerSituation) {
  const Case cases[] = {
      {"everything removed", {kQuiet, kLogArg, kReportArg}, kNothing, 0, {},
       {"Desinstalador Kestrivon 1.0.0.3: report of an uninstallation", "started: 2026-12-08 10:25:03",
        "command line: \"C:\\desinstalador.exe\" /quiet", "mode: quiet", "log: " + kLog, "application: Demo", "removed    log      " + kLog,
        "removed    file     " + kExe, "removed    folder   C:\\Vendor\\App\\Bin", "removed    folder   C:\\Vendor",
        "removed    key      HKEY_LOCAL_MACHINE\\" + kEntry,
        "registration 1.0.0.3: AppsServed 2 -> 1; self-deletion not scheduled", "result: the application is gone",
        "exit code: 0"}},
      {"changed file kept, and its folder with a file of the user's", {"-QN", kReportArg, kLogArg},
       [](World& w) {
         w.fs.SetDosTime(kExe, kDate + 1);
         w.fs.AddFile("C:\\Vendor\\App\\caf\351.txt");  // "café.txt"
       },
       0, {},
       {"kept       file     " + kExe +
            "  -- changed since installation (logged 2001-05-17 10:30:00, on disk 2001-05-17 10:30:02)",
        "kept       folder   C:\\Vendor\\App  -- not empty: 2 entries stay (app.exe, caf\303\251.txt)", "exit code: 0"}},
      {"file in use: it and the folders it alone keeps go at the restart", {kQuiet, kLogArg, kReportArg},
       [](World& w) { w.fs.Lock(kDll); }, 3010, {kDll, "C:\\Vendor\\App\\Bin", "C:\\Vendor\\App", "C:\\Vendor"},
       {"scheduled  file     " + kDll + "  -- in use (error 32: in use by another program): deleted at the next start of Windows",
        "scheduled  folder   C:\\Vendor\\App\\Bin  -- holds only what goes at the next start of Windows: removed then",
        "result: the application is gone once Windows starts again (4 objects deleted then)", "exit code: 3010"}},
      {"file in use beside a file of the user's", {"/S", kLogArg},
       [](World& w) {
         w.fs.Fail(fakes::FsOp::RemoveFile, kDll, platform::kErrorLockViolation);
         w.fs.AddFile("C:\\Vendor\\App\\Bin\\notes.txt");
       },
       3010, {kDll}, {}},
      {"scheduling refused", {kQuiet, kLogArg, kReportArg},
       [](World& w) {
         w.fs.Lock(kDll);
         w.fs.Fail(fakes::FsOp::Schedule, kDll);
       },
       1603, {},
       {"failed     file     " + kDll +
            "  -- in use; its deletion at the next start of Windows was refused (error 5: access denied)",
        "result: 1 object could not be removed and is not scheduled", "exit code: 1603"}},
      {"deletion refused", {kQuiet, kLogArg},
       [](World& w) { w.fs.Fail(fakes::FsOp::RemoveFile, kExe); }, 1603, {}, {}},
      {"uninstall entry refused", {kQuiet, kLogArg, kReportArg},
       [](World& w) { w.registry.Fail(fakes::RegOp::Delete, kHklm, kEntry); }, 1603, {},
       {"failed     key      HKEY_LOCAL_MACHINE\\" + kEntry + "  -- deletion refused: error 5: access denied"}},
      {"log in use goes at the restart, with the folder it keeps", {kQuiet, kLogArg, kReportArg},
       [](World& w) { w.fs.Fail(fakes::FsOp::RemoveFile, kLog, platform::kErrorSharingViolation); }, 3010,
       {kLog, "C:\\Vendor\\App", "C:\\Vendor"}, {"scheduled  log      " + kLog + "  -- in use (error 32: in use by another program): deleted at the next start of Windows"}},
      {"log missing", {kQuiet, kLogArg, kReportArg}, [](World& w) { w.fs.RemoveFile(kLog); }, 1605, {},
       {"result: the log does not exist; nothing touched", "exit code: 1605"}},
      {"log damaged", {"/passive", kLogArg, kReportArg},
       [](World& w) { w.fs.SetContent(kLog, std::string("\1\4Demo\1\0\0", 8)); }, 13, {},
       {"exit code: 13"}, 0, true},
      {"no log argument", {kQuiet, kReportArg}, kNothing, 87, {},
       {"log: none given", "result: no log argument (/f:<log>); nothing touched", "exit code: 87"}, 0, true},
      {"unknown switch", {kQuiet, kLogArg, "/forcerestart", kReportArg}, kNothing, 87, {},
       {"unknown switches: /forcerestart", "result: refused before anything was touched", "exit code: 87"}, 0, true},
      {"report cannot be created", {kQuiet, kLogArg, "/log:C:\\Nowhere\\r.txt"}, kNothing, 87, {}, {}, 0, true},
      // The report never takes the place of the log or of what it names.
      {"report naming the log", {kQuiet, kLogArg, "/log:" + kLog}, kNothing, 87, {}, {}, 0, true},
      {"report naming an installed file, in other letters", {kQuiet, kLogArg, "/log", "c:\\vendor\\app\\BIN\\LIB.DLL"},
       kNothing, 87, {}, {}, 0, true},
      {"report naming an installed folder, once the log is gone", {kQuiet, kLogArg, "/l*v", "C:\\Vendor\\App\\Bin\\"},
       [](World& w) {
         app::RunJournal(w.registry, w.locale, app::IdentifyLog(kLog, w.fs, w.registry, w.locale))
             .Begin(w.fs.Content(kLog), kDate, kLog);
         w.fs.RemoveFile(kLog);
       },
       87, {}, {}},
      // A report is a plain file under its own name: never what a link
      // leads to, never a device.
      {"report through a link to a system file", {kQuiet, kLogArg, kReportArg},
       [](World& w) { w.fs.AddLink(kReport, kHosts); }, 87, {}, {}, 0, true},
      {"report through a link to nothing", {kQuiet, kLogArg, kReportArg},
       [](World& w) { w.fs.AddLink(kReport, kPlanted); }, 87, {}, {}, 0, true},
      {"report naming another name of a system file", {kQuiet, kLogArg, kReportArg},
       [](World& w) { w.fs.AddHardLink(kReport, kHosts); }, 87, {}, {}, 0, true},
      {"report to NUL", {kQuiet, kLogArg, "/log:NUL"}, kNothing, 87, {}, {}, 0, true},
      {"report to the console", {kQuiet, kLogArg, "/log:CON"}, kNothing, 87, {}, {}, 0, true},
      {"report to a serial port, named in a folder", {"/passive", kLogArg, "/log:C:\\Vendor\\App\\COM1"}, kNothing, 87,
       {}, {}, 0, true},
      {"interactive, report naming the log: message 6 names it", {kLogArg, "/log:" + kLog}, kNothing, 0, {}, {}, 1,
       true},
      // Only the application's places: the log's folder, its shortcuts and
      // their folder, judged in long names and as the system names them.
      {"a log in a folder of the system's", {kQuiet, "/f:C:\\Windows\\System32\\ghost.und", kReportArg},
       [](World& w) { w.fs.AddFile("C:\\Windows\\System32\\ghost.und", kDate, 0, platform::kAttrArchive, DemoLog()); },
       13, {},
       {"log: refused: the installation folder C:\\Windows\\System32 is the Windows folder, or a folder in it",
        "exit code: 13"}, 0, true},
      {"a log in a folder link to a folder of the system's", {kQuiet, "/f:C:\\Linked\\demo.und", kReportArg},
       [](World& w) {
         w.fs.AddFile("C:\\Windows\\Temp\\demo.und", kDate, 0, platform::kAttrArchive, DemoLog());
         w.fs.AddFile("C:\\Windows\\Temp\\app.exe", kDate, 100);
         w.fs.AddLink("C:\\Linked", "C:\\Windows\\Temp");
       },
       13, {}, {"log: refused: the installation folder C:\\Linked leads to C:\\WINDOWS\\TEMP, which is the Windows folder, or a folder in it"},
       0, true},
      {"the root of a drive as the shortcut folder", {kQuiet, kLogArg, kReportArg},
       [](World& w) { w.fs.SetContent(kLog, DemoLog("Demo", [](app::LogContent& c) { c.shortcutDir = "C:\\"; })); },
       13, {}, {"log: refused: the shortcut folder C:\\ is a drive", "exit code: 13"}, 0, true},
      {"a shortcut in another user's profile", {kQuiet, kLogArg, kReportArg},
       [](World& w) {
         w.fs.AddFile("C:\\Users\\bob\\Desktop\\Bank.url");
         w.fs.SetContent(kLog, DemoLog("Demo", [](app::LogContent& c) { c.shortcuts = {"C:\\Users\\bob\\Desktop\\Bank.url"}; }));
       },
       13, {}, {"log: refused: shortcut 0 (C:\\Users\\bob\\Desktop\\Bank.url) is in another user's profile"}, 0, true},
      {"a shortcut whose long name is no shortcut's", {kQuiet, kLogArg, kReportArg},
       [](World& w) {
         w.fs.AddFile("C:\\Menu\\ledger.lnkdata");
         w.fs.AddShortName("C:\\Menu\\ledger.lnkdata", "LEDG~3GP.LNK");
         w.fs.SetContent(kLog, DemoLog("Demo", [](app::LogContent& c) { c.shortcuts = {"C:\\Menu\\LEDG~3GP.LNK"}; }));
       },
       13, {}, {"log: refused: shortcut 0 (C:\\Menu\\ledger.lnkdata) is no shortcut file (.lnk, .pif, .url) by its long name"},
       0, true},
      {"a shortcut below a folder link of the shortcut folder", {kQuiet, kLogArg, kReportArg},
       [](World& w) {
         w.fs.AddFile("C:\\Windows\\System32\\x.lnk");
         w.fs.AddLink("C:\\Menu\\Demo\\lnkdir", "C:\\Windows\\System32");
         w.fs.SetContent(kLog, DemoLog("Demo", [](app::LogContent& c) {
           c.shortcutDir = "C:\\Menu\\Demo";
           c.shortcuts = {"C:\\Menu\\Demo\\lnkdir\\x.lnk"};
         }));
       },
       0, {}, {"kept       shortcut C:\\Menu\\Demo\\lnkdir\\x.lnk  -- a link: never followed nor removed", "exit code: 0"}},
      {"a walk's folder above the installation, holding another program's", {kQuiet, kLogArg, kReportArg},
       [](World& w) { w.fs.AddFile("C:\\Vendor\\Other\\secret.txt"); }, 0, {},
       {"kept       folder   C:\\Vendor  -- not empty", "exit code: 0"}},
      // A retry with the same report keeps the earlier run's lines, even cut off.
      {"report of an earlier run", {kQuiet, kLogArg, "/l*v+", kReport},
       [](World& w) { w.fs.AddFile(kReport, 0, 0, platform::kAttrArchive, "cut off, no line end"); }, 0, {},
       {"cut off, no line end", "======== next run, started 2026-12-08 10:25:03 ========",
        "Desinstalador Kestrivon 1.0.0.3: report of an uninstallation", "exit code: 0"}},
      // A name from the log writes no lines of its own.
      {"application name holding a line end", {kQuiet, kLogArg, kReportArg},
       [](World& w) {
         const std::string name = "Demo\r\n6.6.6.6 update.example.com\t\x1b";
         w.fs.SetContent(kLog, DemoLog(name));
         w.registry.SetString(kHklm, kEntry, "DisplayName", name);  // the entry's own name
       },
       0, {},
       {"application: Demo<CR><LF>6.6.6.6 update.example.com<TAB><1B>", "exit code: 0"}},
      {"a report that cannot be written leaves the exit code right", {kQuiet, kLogArg, kReportArg},
       [](World& w) { w.fs.Fail(fakes::FsOp::Write, kReport, 112 /* the disk is full */); }, 0, {}, {}},
      {"self-deletion cannot be scheduled: the registration stays for a later run", {"/VERYSILENT", kLogArg, kReportArg},
       [](World& w) {
         w.registry.SetDword(kHklm, kRegistration, "AppsServed", 1);
         w.registry.MakeReadOnly(kHklm, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce");
         w.fs.Fail(fakes::FsOp::Schedule, w.module.path);
       },
       0, {},
       {"registration 1.0.0.3: AppsServed 1 -> 0; warning: the self-deletion could not be scheduled, so the "
        "registration stays (count 0) for a later run to finish",
        "journal: kept, so that a later run of this log finishes the count-down", "result: the application is gone",
        "exit code: 0"}},
      {"without the run-once entry the file still goes at the next start", {kQuiet, kLogArg, kReportArg},
       [](World& w) {
         w.registry.SetDword(kHklm, kRegistration, "AppsServed", 1);
         w.registry.MakeReadOnly(kHklm, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce");
       },
       0, {"C:\\Program Files\\Kestrivon\\desinstalador.exe"},
       {"registration 1.0.0.3: AppsServed 1 -> 0; registration deleted; self-deletion scheduled for the next start "
        "of Windows (the run-once entry could not be written)"}},
      {"another run holds the log", {kQuiet, kLogArg, kReportArg},
       [](World& w) { w.claim.taken->insert(w.ClaimOfTheLog()); }, 1618, {},
       {"result: another uninstallation of this log is in progress; nothing touched", "exit code: 1618"}, 0, true},
      {"the log's drive cannot be reached", {kQuiet, kLogArg, kReportArg},
       [](World& w) {
         w.fs.RemoveFile(kLog);
         w.fs.Fail(fakes::FsOp::GetAttributes, "C:\\", platform::kErrorPathNotFound);
       },
       13, {}, {"log: its drive or share C:\\ cannot be reached (error 3: a folder on the way is not found)",
                "exit code: 13"}},
      {"the log cannot be looked at", {kQuiet, kLogArg, kReportArg},
       [](World& w) { w.fs.Fail(fakes::FsOp::Find, kLog, platform::kErrorBadNetPath); }, 13, {},
       {"log: " + kLog + " cannot be looked at (error 53: the network path is not found)", "exit code: 13"}, 0, true},
      {"an uninstall entry nobody may open is no absent one", {kQuiet, kLogArg, kReportArg},
       [](World& w) { w.registry.Fail(fakes::RegOp::Open, kHklm, kEntry); }, 1603, {},
       {"failed     key      HKEY_LOCAL_MACHINE\\" + kEntry + "  -- it cannot be opened (error 5: access denied)"}},
      {"a file another run took meanwhile is absent", {kQuiet, kLogArg, kReportArg},
       [](World& w) { w.fs.Fail(fakes::FsOp::RemoveFile, kExe, platform::kErrorFileNotFound); }, 0, {},
       {"absent     file     " + kExe + "  -- gone before its turn (error 2: not found)", "exit code: 0"}},
      {"passive: the window and no box", {"/passive", kLogArg}, [](World& w) { w.fs.Lock(kDll); }, 3010,
       {kDll, "C:\\Vendor\\App\\Bin", "C:\\Vendor\\App", "C:\\Vendor"}, {}},
      {"interactive with a report: the boxes as ever, exit code 0", {kLogArg, kReportArg},
       [](World& w) {
         w.box.Answer(6);
         w.fs.Fail(fakes::FsOp::RemoveFile, kExe);
       },
       0, {}, {"failed     file     " + kExe + "  -- deletion refused: error 5: access denied",
               "result: 1 object could not be removed and is not scheduled", "exit code: 0"}, 2},
      {"interactive where nobody can see it: no box, 1602", {kLogArg, kReportArg}, [](World& w) { w.seen = false; },
       1602, {}, {"screen: nobody can see it (a window station that is not visible): run with /quiet",
                  "result: not confirmed: nobody can see this run's boxes; nothing touched", "exit code: 1602"}},
      {"interactive where nobody can see it, no report", {kLogArg}, [](World& w) { w.seen = false; }, 1602, {}, {}, 0,
       true},
      {"interactive, report cannot be created: message 6 names it", {kLogArg, "/log:C:\\Nowhere\\r.txt"}, kNothing,
       0, {}, {}, 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    World w;
    c.setUp(w);
    const std::string logBefore = w.fs.Content(kLog);
    EXPECT_EQ(w.Start(c.args), c.exitCode);
    EXPECT_EQ(w.fs.ScheduledAtRestart(), c.scheduled);
    EXPECT_EQ(w.box.shown().size(), c.boxes);
    if (app::ParseCommandLine(c.args).Unattended()) {
      EXPECT_EQ(w.view.summaries, 0);
    }
    if (c.untouched) {
      EXPECT_TRUE(w.Untouched());
      EXPECT_EQ(w.fs.Content(kLog), logBefore);
    }
    EXPECT_EQ(w.fs.Content(kHosts), kHostsBytes);
    EXPECT_FALSE(w.fs.Exists(kPlanted));
    const std::vector<std::string> report = w.ReportLines();
    for (const std::string& line : c.reportLines) {
      EXPECT_NE(std::find(report.begin(), report.end(), line), report.end()) << "no line: " << line;
    }
    // What is scheduled goes at the next start of Windows.
    w.fs.Unlock(kDll);
    w.fs.Restart();
    for (const std::string& path : c.scheduled) EXPECT_FALSE(w.fs.Exists(path)) << path;
  }
}

TEST(UnattendedRun, EachReportLineIsInTheFileWhenTheNextListenerHearsOfItsObject) {
  World w;
  // Five lines of header, the application's, the log's, then one per object.
  struct Check : app::IRunListener {
    World& w;
    size_t heard = 0;
    explicit Check(World& world) : w(world) {}
    void OnOutcome(const app::Outcome& o) override {
      const std::string content = w.fs.Content(kReport);
      EXPECT_EQ(static_cast<size_t>(std::count(content.begin(), content.end(), '\n')), 7 + ++heard) << o.path;
    }
  } check(w);
  const app::CommandLine line = app::ParseCommandLine({kQuiet, kLogArg, kReportArg});
  app::RunProgram(line, w.services, w.unattended, {}, w.data, [&](app::UninstallRun& run, app::RunSession&) {
    run.Listen(check);
    run.Activate();
  });
  EXPECT_GT(check.heard, 5u);
}

}  // namespace
