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
#include <vector>

#include "tests/e2e/robot/Robot.h"
#include "tests/e2e/runs/RunKit.h"

namespace {

class Unattended : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(robot::FileExists(robot::ProgramPath())) << robot::ProgramPath();
    name_ = runkit::UniqueName("UndUnattended");
    entry_ = runkit::kUninstallRoot + name_;
  }
  void TearDown() override { robot::KeyRemove(entry_); }

 public:
  // Runs the program with the log argument (none when empty), then the
  // switches of `mode` and the report, watching its windows.
  robot::WatchedRun Run(const std::string& mode, const std::string& log) {
    std::string args = log.empty() ? "" : robot::QuoteArgument("/f:" + log) + " ";
    args += mode + " " + robot::QuoteArgument("/log:" + Report());
    return robot::RunWatchingWindows(robot::ProgramPath(), args, dir_.path(), 120000);
  }
  std::string Report() const { return dir_ / "relatorio.txt"; }
  std::vector<std::string> ReportLines() const {
    std::vector<std::string> lines;
    const std::string bytes = robot::ReadFileBytes(Report()).value_or("");
    for (size_t at = 0; at < bytes.size();) {
      const size_t end = bytes.find("\r\n", at);
      if (end == std::string::npos) break;
      lines.push_back(bytes.substr(at, end - at));
      at = end + 2;
    }
    return lines;
  }

  // Restored last: the run-once list (a restart runs it) and the
  // registrations (nothing of the program beside the tests is counted down).
  runkit::NoRegistration noRegistration_;
  runkit::ValuesGuard runOnce_{HKEY_LOCAL_MACHINE, runkit::kRunOnce};
  robot::TempDir dir_;
  std::string name_, entry_;
};

// One installed application: two files in two folders, its uninstall entry.
struct App {
  explicit App(Unattended& t) : install(t.dir_ / "Programas\\Demo\\") {
    EXPECT_TRUE(install.AddFile("", "demo.exe", 4096));
    EXPECT_TRUE(install.AddFile("dados\\", "base.dat", 300));
    EXPECT_TRUE(robot::KeySetString(t.entry_, "DisplayName", "Demo"));
    install.log().uninstallKey = t.name_;
  }
  std::string Log() { return install.WriteLogFile().value_or(""); }
  runkit::Installation install;
};

struct Case {
  const char* name;
  const char* mode;
  DWORD exitCode;
  std::vector<std::string> reportLines;  // each in the report (paths relative to the base after "@")
  // Sets the world up and gives the log argument; checks the world after the run.
  std::function<std::string(Unattended&, App&)> setUp;
  std::function<void(Unattended&, App&)> check;
};

TEST_F(Unattended, ExitCodesReportsAndNoWindowWhenQuiet) {
  HANDLE held = INVALID_HANDLE_VALUE;
  std::string log, logBytes;
  std::optional<runkit::KeyRights> closed;
  robot::TreeState before;
  const std::string base = dir_ / "Programas\\Demo\\";
  const Case cases[] = {
      {"everything removed", "/quiet", 0,
       {"mode: quiet", "application: Demo", "removed    log      @demo.und", "removed    file     @demo.exe",
        "removed    folder   @dados", "result: the application is gone", "exit code: 0"},
       [](Unattended&, App& app) { return app.Log(); },
       [&](Unattended& t, App&) {
         EXPECT_FALSE(robot::FolderExists(base));
         EXPECT_FALSE(robot::KeyExists(t.entry_));
       }},
      {"changed file kept", "/qn", 0, {"exit code: 0"},
       [](Unattended&, App& app) {
         std::string log = app.Log();
         EXPECT_TRUE(runkit::ShiftWriteTime(app.install.base() + "demo.exe", 2));
         return log;
       },
       [&](Unattended& t, App&) {
         EXPECT_TRUE(robot::FileExists(base + "demo.exe"));
         EXPECT_FALSE(robot::FolderExists(base + "dados"));
         const auto lines = t.ReportLines();
         EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& l) {
           return l.rfind("kept       file     " + base + "demo.exe  -- changed since installation", 0) == 0;
         }));
       }},
      {"file held open by another program", "/S", 3010,
       {"scheduled  file     @dados\\base.dat  -- in use (error 32: in use by another program): deleted at the next "
        "start of Windows",
        "scheduled  folder   @dados  -- holds only what goes at the next start of Windows: removed then",
        "exit code: 3010"},
       [&](Unattended&, App& app) {
         std::string log = app.Log();
         held = CreateFileA((base + "dados\\base.dat").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
         EXPECT_NE(held, INVALID_HANDLE_VALUE);
         return log;
       },
       [&](Unattended&, App&) {
         const auto pending = runkit::PendingDeletions();
         const std::vector<std::string> ours = {base + "dados\\base.dat", base + "dados", runkit::Strip(base)};
         for (const std::string& path : ours) {
           EXPECT_TRUE(std::any_of(pending.begin(), pending.end(),
                                   [&](const std::string& p) { return lstrcmpiA(p.c_str(), path.c_str()) == 0; }))
               << path << " is not in PendingFileRenameOperations";
         }
         EXPECT_TRUE(robot::FileExists(base + "dados\\base.dat"));
         CloseHandle(held);
         ASSERT_TRUE(runkit::SimulateRestart());
         EXPECT_FALSE(robot::FileExists(base + "dados\\base.dat"));
         EXPECT_FALSE(robot::FolderExists(base));
       }},
      {"uninstall entry holding a key nobody may open", "/quiet", 1603,
       {"result: 1 object could not be removed and is not scheduled", "exit code: 1603"},
       [&](Unattended& t, App& app) {
         EXPECT_TRUE(robot::KeyCreate(t.entry_ + "\\Travada\\Dentro"));
         closed.emplace(HKEY_LOCAL_MACHINE, t.entry_ + "\\Travada", runkit::kNobodyMayOpen);
         EXPECT_TRUE(closed->applied());
         return app.Log();
       },
       [&](Unattended& t, App&) {
         EXPECT_TRUE(robot::KeyExists(t.entry_));
         const auto lines = t.ReportLines();
         EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& l) {
           return l.rfind("failed     key      HKEY_LOCAL_MACHINE\\" + t.entry_ + "  -- deletion refused", 0) == 0;
         }));
         closed.reset();
       }},
      {"log missing", "/quiet", 1605, {"result: the log does not exist; nothing touched", "exit code: 1605"},
       [&](Unattended&, App&) {
         before = robot::Snapshot(base);
         return base + "sumido.und";
       },
       [&](Unattended&, App&) { EXPECT_EQ(robot::Snapshot(base), before); }},
      {"log damaged", "/VERYSILENT", 13, {"exit code: 13"},
       [&](Unattended&, App& app) {
         log = app.Log();
         logBytes = robot::ReadFileBytes(log).value_or("");
         logBytes.resize(logBytes.size() - 5);  // cut short
         EXPECT_TRUE(robot::WriteFileBytes(log, logBytes));
         before = robot::Snapshot(base);
         return log;
       },
       [&](Unattended&, App&) {
         EXPECT_EQ(robot::ReadFileBytes(log), logBytes) << "the log stays, byte for byte";
         EXPECT_EQ(robot::Snapshot(base), before);
       }},
      {"no log argument", "/quiet", 87, {"log: none given", "exit code: 87"},
       [&](Unattended&, App& app) {
         app.Log();
         before = robot::Snapshot(base);
         return std::string();
       },
       [&](Unattended& t, App&) {
         EXPECT_EQ(robot::Snapshot(base), before);
         EXPECT_TRUE(robot::KeyExists(t.entry_));
       }},
      {"unknown switch", "/quiet /norestart", 87, {"unknown switches: /norestart", "exit code: 87"},
       [&](Unattended&, App& app) {
         log = app.Log();
         before = robot::Snapshot(base);
         return log;
       },
       [&](Unattended& t, App&) {
         EXPECT_EQ(robot::Snapshot(base), before);
         EXPECT_TRUE(robot::KeyExists(t.entry_));
       }},
      {"passive: the progress window, no box", "/passive", 0, {"mode: passive", "exit code: 0"},
       [](Unattended&, App& app) {
         // Enough files for the window to be there a while.
         for (int i = 0; i < 300; ++i) EXPECT_TRUE(app.install.AddFile("muitos\\", "f" + std::to_string(i), 10));
         return app.Log();
       },
       [&](Unattended&, App&) { EXPECT_FALSE(robot::FolderExists(base)); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    App app(*this);
    const std::string logArgument = c.setUp(*this, app);
    const robot::WatchedRun run = Run(c.mode, logArgument);
    EXPECT_EQ(run.exitCode, std::optional<DWORD>(c.exitCode));
    if (std::string(c.mode) == "/passive") {
      // The watch sees windows: the progress window, and never a box.
      EXPECT_TRUE(run.hookHeard);
      EXPECT_NE(std::find(run.windows.begin(), run.windows.end(), "Kestrivon.Form \"Desinstalador Kestrivon v1.0\""),
                run.windows.end())
          << ::testing::PrintToString(run.windows);
      for (const std::string& w : run.windows) EXPECT_EQ(w.find("#32770"), std::string::npos) << w;
    } else {
      EXPECT_TRUE(run.windows.empty()) << ::testing::PrintToString(run.windows);
    }
    const auto lines = ReportLines();
    for (std::string line : c.reportLines) {
      if (const size_t at = line.find('@'); at != std::string::npos) line.replace(at, 1, base);
      EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << "no line: " << line;
    }
    c.check(*this, app);
    robot::DeleteTree(dir_ / "Programas");
    robot::KeyRemove(entry_);
  }
}

}  // namespace
