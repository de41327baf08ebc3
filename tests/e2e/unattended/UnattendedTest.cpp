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

struct Case {
  const char* name;
  const char* switches;  // after the log argument
  DWORD exitCode;
  std::vector<std::string> reportLines;  // each in the report; "@" stands for the installation folder
  enum { Gone, Untouched, Other } after;
  // Sets the world up beyond the installed application; gives the log
  // argument's path (empty: none).
  std::function<std::string(const std::string& log)> setUp;
  std::function<void()> check;  // what else the run left
};

TEST(Unattended, ExitCodesReportsAndNoWindowWhenQuiet) {
  ASSERT_TRUE(robot::FileExists(robot::ProgramPath())) << robot::ProgramPath();
  // Restored last: the registrations (nothing of the program beside the
  // tests is counted down) and the run-once list (a restart runs it).
  runkit::NoRegistration noRegistration;
  runkit::ValuesGuard runOnce{HKEY_LOCAL_MACHINE, runkit::kRunOnce};
  robot::TempDir dir;
  const std::string name = runkit::UniqueName("UndUnattended"), entry = runkit::kUninstallRoot + name;
  const std::string base = dir / "Programas\\Demo\\", report = dir / "relatorio.txt";
  const auto same = [](std::string log) { return log; };
  HANDLE held = INVALID_HANDLE_VALUE;
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
      {"unknown switch", "/quiet /norestart", 87, {"unknown switches: /norestart", "exit code: 87"},
       Case::Untouched, same, [] {}},
      {"passive: the progress window, no box", "/passive", 0, {"mode: passive", "exit code: 0"}, Case::Gone, same,
       [] {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const bool passive = std::string(c.switches) == "/passive";
    runkit::Installation app(base);
    ASSERT_TRUE(app.AddFile("", "demo.exe", 4096));
    ASSERT_TRUE(app.AddFile("dados\\", "base.dat", 300));
    // Enough files for the progress window to stay a while.
    for (int i = 0; passive && i < 300; ++i) ASSERT_TRUE(app.AddFile("muitos\\", "f" + std::to_string(i), 10));
    ASSERT_TRUE(robot::KeySetString(entry, "DisplayName", "Demo"));
    app.log().uninstallKey = name;
    const std::string log = c.setUp(app.WriteLogFile().value_or(""));
    const robot::TreeState before = robot::Snapshot(base);

    std::string args = log.empty() ? "" : robot::QuoteArgument("/f:" + log) + " ";
    args += std::string(c.switches) + " " + robot::QuoteArgument("/log:" + report);
    const robot::WatchedRun run = robot::RunWatchingWindows(robot::ProgramPath(), args, dir.path(), 120000);

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
      EXPECT_NE(text.find("\n" + line + "\r\n"), std::string::npos) << "no line: " << line;
    }
    if (c.after == Case::Gone) {
      EXPECT_FALSE(robot::FolderExists(base) || robot::KeyExists(entry));
    }
    if (c.after == Case::Untouched) {
      EXPECT_TRUE(robot::Snapshot(base) == before && robot::KeyExists(entry));
    }
    c.check();
    robot::DeleteTree(dir / "Programas");
    robot::KeyRemove(entry);
  }
}

}  // namespace
