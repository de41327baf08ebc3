// A log that another program holds open for reading (without letting it be
// deleted) can still be read; it cannot be deleted, and the run goes on all
// the same: the application is removed, the log stays, and so does the
// folder that holds it (the summary lists it).
#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/robot/Robot.h"
#include "tests/e2e/runs/RunKit.h"

namespace {

TEST(UndeletableLog, RunGoesOnAndTheLogStays) {
  ASSERT_TRUE(robot::FileExists(robot::ProgramPath())) << robot::ProgramPath();
  runkit::NoRegistration noRegistration;
  robot::TempDir dir;
  runkit::Installation app(dir / "Demo");
  ASSERT_TRUE(app.AddFile("", "app.exe", 4096));
  ASSERT_TRUE(app.AddFile("sub\\", "b.dat", 300));
  auto log = app.WriteLogFile();
  ASSERT_TRUE(log);
  const auto bytes = robot::ReadFileBytes(*log);

  // Readers are welcome, deleting is not.
  HANDLE held = CreateFileA(log->c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);

  robot::Process p = robot::Process::Start(robot::ProgramPath(), "/f:" + *log, dir.path());
  ASSERT_TRUE(p.started());
  auto confirm = p.WaitForBox();
  ASSERT_TRUE(confirm) << "the log could not be read";
  EXPECT_EQ(confirm->text, runkit::ConfirmText("Demo"));
  HWND main = p.WaitForWindow(nullptr, "Desinstalador Kestrivon v1.0");
  ASSERT_TRUE(main);
  ASSERT_TRUE(p.Press(*confirm, IDYES));
  const runkit::RunSeen seen = runkit::WatchRun(p, runkit::MainControls::Of(main), *log);
  // The log keeps the installation folder from being removed, and says so.
  EXPECT_TRUE(seen.summaryShown);
  // "Pastas que não puderam ser apagadas:"
  EXPECT_EQ(seen.summaryLines,
            (std::vector<std::string>{"Pastas que n\343o puderam ser apagadas:", "    " + dir / "Demo"}));
  ASSERT_TRUE(seen.endBox);
  EXPECT_EQ(seen.endBox->caption, runkit::kFinishedCaption);
  EXPECT_EQ(seen.endBox->text, runkit::kFinishedText);
  EXPECT_FALSE(seen.logGoneAtEnd);
  EXPECT_TRUE(p.Press(*seen.endBox, IDOK));
  EXPECT_EQ(p.WaitForExit(), std::optional<DWORD>(0));
  CloseHandle(held);

  EXPECT_EQ(robot::ReadFileBytes(*log), bytes) << "the log stays as it was";
  EXPECT_FALSE(robot::FileExists(dir / "Demo\\app.exe"));
  EXPECT_FALSE(robot::FolderExists(dir / "Demo\\sub"));
  EXPECT_EQ(p.boxes().size(), 2u) << "no other message: the failed deletion is not reported";
}

}  // namespace
