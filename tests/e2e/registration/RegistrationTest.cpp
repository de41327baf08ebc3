// The uninstaller's own registration at the end of whole runs: a copy of
// desinstalador.exe registered under its version serves one application, is
// unregistered and schedules its own deletion, which a simulated restart
// (wineboot -r) carries out; serving two it only counts down; two copies of
// the run on one registered file count down twice.
#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/e2e/robot/Robot.h"
#include "tests/e2e/runs/RunKit.h"

namespace {

using robot::BoxInfo;
using robot::Process;
using runkit::kDalvests;
using runkit::kRegistration;
using runkit::SimulateRestart;

constexpr char kMaker[] = "Software\\Kestrivon";

class Registration : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(robot::FileExists(robot::ProgramPath())) << robot::ProgramPath();
    ASSERT_TRUE(runOnce_.existed()) << "the prefix has no HKLM RunOnce key";
    // The test owns the maker's key for its duration.
    ASSERT_TRUE(robot::KeyRemove(kMaker));
    // A path with blanks, which the command must keep between its quotes.
    copy_ = dir_ / "Meu Desinstalador\\desinstalador.exe";
    ASSERT_TRUE(robot::MakeFolders(dir_ / "Meu Desinstalador"));
    ASSERT_TRUE(CopyFileA(robot::ProgramPath().c_str(), copy_.c_str(), FALSE));
  }

  void Register(DWORD appsServed) {
    ASSERT_TRUE(robot::KeySetString(kRegistration, "AppPath", copy_));
    ASSERT_TRUE(robot::KeySetDword(kRegistration, "AppsServed", appsServed));
  }

  // A small installed application with its log, in its own folder.
  std::string Install(const std::string& folder) {
    runkit::Installation app(dir_ / folder);
    EXPECT_TRUE(app.AddFile("", "app.exe", 2048));
    auto log = app.WriteLogFile();
    EXPECT_TRUE(log);
    return log.value_or("");
  }

  // Starts the copy on a log and answers the confirmation Yes; gives the end box.
  std::optional<BoxInfo> RunToEndBox(Process& p, const std::string& log) {
    p = Process::Start(copy_, "/f:" + log, dir_.path());
    EXPECT_TRUE(p.started());
    auto confirm = p.WaitForBox();
    if (!confirm) return std::nullopt;
    EXPECT_EQ(confirm->text, runkit::ConfirmText("Demo"));
    EXPECT_TRUE(p.Press(*confirm, IDYES));
    auto end = p.WaitForBox(120000);
    if (end) {
      EXPECT_EQ(end->text, runkit::kFinishedText);
    }
    return end;
  }

  void WholeRun(const std::string& log) {
    Process p;
    auto end = RunToEndBox(p, log);
    ASSERT_TRUE(end) << "no end box";
    EXPECT_TRUE(p.Press(*end, IDOK));
    EXPECT_EQ(p.WaitForExit(), std::optional<DWORD>(0));
  }

  std::string DeletionCommand() const { return "cmd.exe /c del \"" + copy_ + "\""; }

  // Restored last, after the temp folder is gone.
  runkit::KeyGuard maker_{HKEY_LOCAL_MACHINE, kMaker};
  runkit::ValuesGuard runOnce_{HKEY_LOCAL_MACHINE, runkit::kRunOnce};
  runkit::ValuesGuard userRunOnce_{HKEY_CURRENT_USER, runkit::kRunOnce};
  robot::TempDir dir_;
  std::string copy_;
};

TEST_F(Registration, LastApplicationUnregistersAndTheRestartDeletesTheFile) {
  ASSERT_NO_FATAL_FAILURE(Register(1));
  WholeRun(Install("App1"));

  EXPECT_FALSE(robot::KeyExists(kRegistration));
  EXPECT_FALSE(robot::KeyExists(kDalvests)) << "no other registration was left in it";
  EXPECT_TRUE(robot::KeyExists(kMaker)) << "the key above is never deleted";
  EXPECT_EQ(runkit::ValueNames(HKEY_LOCAL_MACHINE, runkit::kRunOnce), std::vector<std::string>{"Delete"});
  EXPECT_EQ(robot::KeyGetString(runkit::kRunOnce, "Delete"), std::optional<std::string>(DeletionCommand()));
  EXPECT_TRUE(robot::FileExists(copy_)) << "deleted only at the next start";

  ASSERT_TRUE(SimulateRestart());
  EXPECT_FALSE(robot::FileExists(copy_));
  EXPECT_TRUE(runkit::ValueNames(HKEY_LOCAL_MACHINE, runkit::kRunOnce).empty()) << "the entry ran once";
}

// Where no administrator logs on, the run-once entry never runs: the start
// of Windows deletes the file all the same.
TEST_F(Registration, WithoutItsRunOnceEntryTheFileGoesAtTheNextStart) {
  ASSERT_NO_FATAL_FAILURE(Register(1));
  WholeRun(Install("App1"));
  const auto pending = robot::PendingDeletions();
  EXPECT_NE(std::find(pending.begin(), pending.end(), copy_), pending.end());
  ASSERT_EQ(RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, runkit::kRunOnce, "Delete"), ERROR_SUCCESS);

  ASSERT_TRUE(SimulateRestart());
  EXPECT_FALSE(robot::FileExists(copy_));
}

TEST_F(Registration, TakenDeleteNamesGiveTheFirstFreeNumber) {
  // Commands that do nothing, should anything run them.
  ASSERT_TRUE(robot::KeySetString(runkit::kRunOnce, "Delete", "cmd.exe /c rem"));
  ASSERT_TRUE(robot::KeySetString(runkit::kRunOnce, "Delete0", "cmd.exe /c rem"));
  ASSERT_NO_FATAL_FAILURE(Register(1));
  WholeRun(Install("App1"));

  EXPECT_EQ(robot::KeyGetString(runkit::kRunOnce, "Delete1"), std::optional<std::string>(DeletionCommand()));
  EXPECT_EQ(robot::KeyGetString(runkit::kRunOnce, "Delete"), std::optional<std::string>("cmd.exe /c rem"));
  EXPECT_EQ(runkit::ValueNames(HKEY_LOCAL_MACHINE, runkit::kRunOnce).size(), 3u);
}

TEST_F(Registration, OtherRegistrationKeepsTheParentKey) {
  ASSERT_NO_FATAL_FAILURE(Register(1));
  ASSERT_TRUE(robot::KeySetDword(std::string(kDalvests) + "\\0.9.0.0", "AppsServed", 4));
  WholeRun(Install("App1"));

  EXPECT_FALSE(robot::KeyExists(kRegistration));
  EXPECT_EQ(robot::KeyGetDword(std::string(kDalvests) + "\\0.9.0.0", "AppsServed"), std::optional<DWORD>(4));
  EXPECT_TRUE(robot::KeyValueExists(runkit::kRunOnce, "Delete"));
}

TEST_F(Registration, SecondApplicationOnlyCountsDown) {
  ASSERT_NO_FATAL_FAILURE(Register(2));
  WholeRun(Install("App1"));

  EXPECT_EQ(robot::KeyGetDword(kRegistration, "AppsServed"), std::optional<DWORD>(1));
  EXPECT_EQ(robot::KeyGetString(kRegistration, "AppPath"), std::optional<std::string>(copy_));
  EXPECT_TRUE(runkit::ValueNames(HKEY_LOCAL_MACHINE, runkit::kRunOnce).empty()) << "no self-deletion entry";
  EXPECT_TRUE(robot::FileExists(copy_));
}

TEST_F(Registration, AnotherFileIsNotCountedDown) {
  // Registered for the copy; the program beside the tests is another file.
  ASSERT_NO_FATAL_FAILURE(Register(1));
  std::string log = Install("App1");
  Process p = Process::Start(robot::ProgramPath(), "/f:" + log, dir_.path());
  auto confirm = p.WaitForBox();
  ASSERT_TRUE(confirm);
  ASSERT_TRUE(p.Press(*confirm, IDYES));
  auto end = p.WaitForBox(120000);
  ASSERT_TRUE(end);
  EXPECT_TRUE(p.Press(*end, IDOK));
  EXPECT_EQ(p.WaitForExit(), std::optional<DWORD>(0));

  EXPECT_EQ(robot::KeyGetDword(kRegistration, "AppsServed"), std::optional<DWORD>(1));
  EXPECT_TRUE(runkit::ValueNames(HKEY_LOCAL_MACHINE, runkit::kRunOnce).empty());
}

TEST_F(Registration, TwoRunsEndingTogetherCountDownTwice) {
  ASSERT_NO_FATAL_FAILURE(Register(5));
  std::string log1 = Install("App1"), log2 = Install("App2");
  Process p1, p2;
  auto end1 = RunToEndBox(p1, log1);
  auto end2 = RunToEndBox(p2, log2);
  ASSERT_TRUE(end1 && end2);
  EXPECT_EQ(robot::KeyGetDword(kRegistration, "AppsServed"), std::optional<DWORD>(5)) << "counted before the end box";

  // Both end boxes released at the same moment: both count down at once.
  PostMessageA(end1->hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(end1->hwnd, IDOK)));
  PostMessageA(end2->hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(end2->hwnd, IDOK)));
  EXPECT_EQ(p1.WaitForExit(), std::optional<DWORD>(0));
  EXPECT_EQ(p2.WaitForExit(), std::optional<DWORD>(0));

  EXPECT_EQ(robot::KeyGetDword(kRegistration, "AppsServed"), std::optional<DWORD>(3));
  EXPECT_TRUE(runkit::ValueNames(HKEY_LOCAL_MACHINE, runkit::kRunOnce).empty());
}

}  // namespace
