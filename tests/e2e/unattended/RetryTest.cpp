// desinstalador.exe where deployment tools and people meet it: killed
// mid-run and started again, started twice at once, a log held open by a
// scanner, a drive that is not there, an uninstall entry nobody may open.
// Each case ends with the exit codes it gives, what stays, and the
// registration counted down exactly once.
#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "tests/e2e/robot/Robot.h"
#include "tests/e2e/runs/RunKit.h"

namespace {

constexpr int kFiles = 3000;
constexpr DWORD kServed = 3;  // the count the program's registration starts from

// A process started and not waited for: a run without a window never gets
// input-idle, and the robot's start would wait out its whole run.
struct Spawned {
  Spawned(const std::string& exe, const std::string& args, const std::string& dir) {
    std::string line = "\"" + exe + "\" " + args;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    EXPECT_TRUE(CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &startup,
                               &info));
  }
  ~Spawned() {
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
  }
  bool running() const { return WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT; }
  DWORD Wait() const {
    DWORD code = 99;
    if (WaitForSingleObject(info.hProcess, 120000) == WAIT_OBJECT_0) GetExitCodeProcess(info.hProcess, &code);
    return code;
  }
  PROCESS_INFORMATION info{};
};

struct Case {
  const char* name;
  // Runs the program as the case needs on `log` (its argument "/f:<log>");
  // gives the exit codes in the order the runs ended.
  std::function<std::vector<DWORD>(const std::string& log)> runs;
  std::vector<std::vector<DWORD>> exitCodes;  // any one of these
  bool gone;                                  // the application is gone afterwards
  DWORD countDowns;                           // how often the registration went down
};

TEST(Retry, KilledRepeatedAndConcurrentRunsEndTrueAndCountDownOnce) {
  ASSERT_TRUE(robot::FileExists(robot::ProgramPath())) << robot::ProgramPath();
  runkit::NoRegistration noRegistration;
  runkit::ValuesGuard runOnce{HKEY_LOCAL_MACHINE, runkit::kRunOnce};
  robot::TempDir dir;
  const std::string name = runkit::UniqueName("UndRetry"), entry = runkit::kUninstallRoot + name;
  const std::string base = dir / "Programas\\Demo\\";
  const std::string exe = robot::ProgramPath();
  const auto quiet = [&](const std::string& log) {
    return robot::RunWatchingWindows(exe, robot::QuoteArgument("/f:" + log) + " /quiet", dir.path()).exitCode.value_or(99);
  };
  // Waits until the run has begun on the files, then kills it.
  const auto killMidFiles = [&](auto& p, auto kill) {
    const DWORD start = GetTickCount();
    while (p.running() && robot::FileExists(base + "f0\\a10.dat") && GetTickCount() - start < 60000) Sleep(2);
    kill();
    EXPECT_TRUE(robot::FileExists(base + "f2\\a2900.dat")) << "the run got to its end before the kill";
  };
  HANDLE scanner = INVALID_HANDLE_VALUE;
  // Two quiet runs with the log held open by a scanner, `between` them.
  const auto heldTwice = [&](const std::string& log, const std::function<void()>& between) {
    scanner = CreateFileA(log.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    std::vector<DWORD> codes{quiet(log)};
    between();
    codes.push_back(quiet(log));
    CloseHandle(scanner);
    return codes;
  };
  std::optional<runkit::KeyRights> closed;

  const Case cases[] = {
      {"quiet, killed mid-files, run again",
       [&](const std::string& log) {
         Spawned p(exe, robot::QuoteArgument("/f:" + log) + " /quiet", dir.path());
         killMidFiles(p, [&] {
           TerminateProcess(p.info.hProcess, 1);
           WaitForSingleObject(p.info.hProcess, 10000);
         });
         return std::vector<DWORD>{quiet(log)};
       },
       {{0}}, true, 1},
      {"interactive, killed mid-files, run again: 36, then 41",
       [&](const std::string& log) {
         robot::Process p = robot::Process::Start(exe, "/f:" + log, dir.path());
         auto confirm = p.WaitForBox();
         EXPECT_TRUE(confirm && p.Press(*confirm, IDYES));
         killMidFiles(p, [&] { p.Kill(); });
         robot::Process again = robot::Process::Start(exe, "/f:" + log, dir.path());
         confirm = again.WaitForBox();
         EXPECT_TRUE(confirm && confirm->text == runkit::ConfirmText("Demo"));
         if (confirm) again.Press(*confirm, IDYES);
         auto end = again.WaitForBox(120000);
         EXPECT_TRUE(end && end->text == runkit::kFinishedText);
         if (end) again.Press(*end, IDOK);
         return std::vector<DWORD>{again.WaitForExit().value_or(99)};
       },
       {{0}}, true, 1},
      {"log held open by a scanner, run twice",
       [&](const std::string& log) {
         scanner = CreateFileA(log.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
         EXPECT_NE(scanner, INVALID_HANDLE_VALUE);
         std::vector<DWORD> codes{quiet(log), quiet(log)};
         CloseHandle(scanner);
         return codes;
       },
       {{3010, 3010}}, false, 1},
      {"two runs of one log started together",
       [&](const std::string& log) {
         const std::string args = robot::QuoteArgument("/f:" + log) + " /quiet";
         Spawned a(exe, args, dir.path()), b(exe, args, dir.path());
         std::vector<DWORD> codes{a.Wait(), b.Wait()};
         std::sort(codes.begin(), codes.end());
         return codes;
       },
       {{0, 1618}, {0, 1605}}, true, 1},
      {"a second start while the first waits at its confirmation: it ends at once, with no box",
       [&](const std::string& log) {
         robot::Process first = robot::Process::Start(exe, "/f:" + log, dir.path());
         auto confirm = first.WaitForBox();
         EXPECT_TRUE(confirm);
         const robot::WatchedRun second = robot::RunWatchingWindows(exe, robot::QuoteArgument("/f:" + log), dir.path());
         for (const std::string& w : second.windows) EXPECT_EQ(w.find("#32770"), std::string::npos) << w;
         if (confirm) first.Press(*confirm, IDNO);
         return std::vector<DWORD>{second.exitCode.value_or(99), first.WaitForExit().value_or(99)};
       },
       {{0, 0}}, false, 0},
      {"an 8.3 spelling, killed at the count-down once the folders went, run again by it",
       [&](const std::string& log) {
         char shortLog[MAX_PATH] = {};
         EXPECT_NE(GetShortPathNameA(log.c_str(), shortLog, MAX_PATH), 0u);
         EXPECT_NE(lstrcmpiA(shortLog, log.c_str()), 0) << "no 8.3 spelling";
         // The count's lock is held: the run waits there, its folders gone.
         HANDLE held = CreateMutexA(nullptr, TRUE, "Global\\Kestrivon.Dalvests.AppsServed.1.0.0.3");
         Spawned p(exe, robot::QuoteArgument(std::string("/f:") + shortLog) + " /quiet", dir.path());
         const DWORD start = GetTickCount();
         while (p.running() && robot::FolderExists(base) && GetTickCount() - start < 60000) Sleep(5);
         EXPECT_FALSE(robot::FolderExists(base));
         TerminateProcess(p.info.hProcess, 1);
         WaitForSingleObject(p.info.hProcess, 10000);
         ReleaseMutex(held);
         CloseHandle(held);
         std::vector<DWORD> codes{quiet(shortLog)};
         EXPECT_EQ(runkit::JournalCount(), 0u) << "a journal left";
         return codes;
       },
       {{0}}, true, 1},
      // What comes between two runs: another installation counting up, the
      // log touched, a restart, a damaged journal.
      {"log held, another application counted up, run again: no second count-down",
       [&](const std::string& log) {
         return heldTwice(log, [] { EXPECT_TRUE(robot::KeySetDword(runkit::kRegistration, "AppsServed", kServed)); });
       },
       {{3010, 3010}}, false, 0},
      {"log held, then touched, run again: the same bytes are the same installation",
       [&](const std::string& log) {
         return heldTwice(log, [&] { EXPECT_TRUE(runkit::ShiftWriteTime(log, 3600)); });
       },
       {{3010, 3010}}, false, 1},
      {"3010, a restart, another application counted up, run again: 1605 and no journal",
       [&](const std::string& log) {
         scanner = CreateFileA(log.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
         std::vector<DWORD> codes{quiet(log)};
         CloseHandle(scanner);
         EXPECT_TRUE(runkit::SimulateRestart());
         EXPECT_FALSE(robot::FileExists(log));
         EXPECT_EQ(runkit::JournalCount(), 0u) << "the journal stays after the restart that took its log";
         EXPECT_TRUE(robot::KeySetDword(runkit::kRegistration, "AppsServed", kServed));
         codes.push_back(quiet(log));
         return codes;
       },
       {{3010, 1605}}, true, 0},
      {"killed mid-files, its journal's copy of the log cut short: 1605, and the journal goes",
       [&](const std::string& log) {
         Spawned p(exe, robot::QuoteArgument("/f:" + log) + " /quiet", dir.path());
         killMidFiles(p, [&] {
           TerminateProcess(p.info.hProcess, 1);
           WaitForSingleObject(p.info.hProcess, 10000);
         });
         const auto journals = runkit::Journals();
         EXPECT_EQ(journals.size(), 1u);
         for (const std::string& key : journals) {
           HKEY h = nullptr;
           EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_SET_VALUE, &h), ERROR_SUCCESS);
           const BYTE cut[7] = {1, 2, 3, 4, 5, 6, 7};
           EXPECT_EQ(RegSetValueExA(h, "Bytes", 0, REG_BINARY, cut, sizeof cut), ERROR_SUCCESS);
           RegCloseKey(h);
         }
         std::vector<DWORD> codes{quiet(log), quiet(log)};
         EXPECT_EQ(runkit::JournalCount(), 0u);
         return codes;
       },
       {{1605, 1605}}, false, 0},
      {"a drive that is not there", [&](const std::string&) { return std::vector<DWORD>{quiet("Q:\\Demo\\demo.und")}; },
       {{13}}, false, 0},
      {"an uninstall entry nobody may open",
       [&](const std::string& log) {
         closed.emplace(HKEY_LOCAL_MACHINE, entry, runkit::kNobodyMayOpen);
         EXPECT_TRUE(closed->applied());
         std::vector<DWORD> codes{quiet(log)};
         closed.reset();
         return codes;
       },
       {{1603}}, false, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const DWORD started = GetTickCount();
    runkit::Installation app(base);
    for (int i = 0; i < kFiles; ++i) {
      ASSERT_TRUE(app.AddFile("f" + std::to_string(i / 1000) + "\\", "a" + std::to_string(i) + ".dat", 16));
    }
    ASSERT_TRUE(robot::KeySetString(entry, "DisplayName", "Demo"));
    app.log().uninstallKey = name;
    const std::string log = app.WriteLogFile().value_or("");
    ASSERT_TRUE(robot::KeySetString(runkit::kRegistration, "AppPath", exe));
    ASSERT_TRUE(robot::KeySetDword(runkit::kRegistration, "AppsServed", kServed));

    const std::vector<DWORD> codes = c.runs(log);
    EXPECT_NE(std::find(c.exitCodes.begin(), c.exitCodes.end(), codes), c.exitCodes.end())
        << ::testing::PrintToString(codes);
    EXPECT_EQ(robot::KeyGetDword(runkit::kRegistration, "AppsServed"), std::optional<DWORD>(kServed - c.countDowns));
    if (c.gone) {
      EXPECT_FALSE(robot::FolderExists(base)) << "files left";
      EXPECT_FALSE(robot::KeyExists(entry));
    }
    std::printf("[ row ] %s: %s in %.1f s\n", c.name, ::testing::PrintToString(codes).c_str(),
                (GetTickCount() - started) / 1000.0);
    robot::DeleteTree(dir / "Programas");
    robot::KeyRemove(entry);
    runkit::DeleteValues(HKEY_LOCAL_MACHINE, runkit::kRunOnce);
  }
}

}  // namespace
