// The uninstall log as a whole run meets it: the confirmation that names the
// application, what No leaves behind, the log's deletion on Yes (read-only
// or not) before the end message, and code 6 for a damaged log and for a log
// that another program holds open for writing.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e/robot/Robot.h"
#include "tests/e2e/runs/RunKit.h"

namespace {

using robot::BoxInfo;
using robot::Process;

class LogReading : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(robot::FileExists(robot::ProgramPath())) << robot::ProgramPath();
    ASSERT_TRUE(app_.AddFile("", "demo.exe", 4096));
    ASSERT_TRUE(app_.AddFile("dados\\", "modelo.mod", 300));
    auto log = app_.WriteLogFile();
    ASSERT_TRUE(log);
    log_ = *log;
  }

  // Starts a run on the log and gives its first box.
  std::optional<BoxInfo> StartRun() {
    p_ = Process::Start(robot::ProgramPath(), "/f:" + log_, dir_.path());
    EXPECT_TRUE(p_.started());
    main_ = p_.WaitForMainWindow();
    EXPECT_NE(main_, nullptr) << "the progress window did not appear";
    return p_.WaitForBox();
  }

  void ExpectCode6(const std::optional<BoxInfo>& box) {
    ASSERT_TRUE(box);
    EXPECT_EQ(box->caption, runkit::kProblemsCaption);
    EXPECT_EQ(box->text, runkit::UnreadableText(log_));
    EXPECT_EQ(box->buttons, std::vector<int>{IDOK});
    EXPECT_TRUE(p_.Press(*box, IDOK));
    EXPECT_EQ(p_.WaitForExit(), std::optional<DWORD>(0));
    EXPECT_EQ(p_.boxes().size(), 1u) << "more than one box";
  }

  // Answers Yes and lets the run go to its end; checks the end box and
  // what the log looked like when it appeared.
  void ConfirmAndFinish(const BoxInfo& confirm) {
    ASSERT_TRUE(p_.Press(confirm, IDYES));
    runkit::RunSeen seen = runkit::WatchRun(p_, runkit::MainControls::Of(main_), log_);
    ASSERT_TRUE(seen.endBox) << "no box after the removal";
    EXPECT_TRUE(seen.logGoneAtEnd) << "the log was still there at the end message";
    EXPECT_FALSE(seen.summaryShown) << "nothing should resist in this tree";
    EXPECT_EQ(seen.endBox->caption, runkit::kFinishedCaption);
    EXPECT_EQ(seen.endBox->text, runkit::kFinishedText);
    EXPECT_EQ(seen.endBox->buttons, std::vector<int>{IDOK});
    EXPECT_TRUE(p_.Press(*seen.endBox, IDOK));
    EXPECT_EQ(p_.WaitForExit(), std::optional<DWORD>(0));
  }

  runkit::NoRegistration noRegistration_;
  robot::TempDir dir_;
  runkit::Installation app_{dir_ / "Demo\\"};
  std::string log_;
  Process p_;
  HWND main_ = nullptr;
};

TEST_F(LogReading, ConfirmationNamesTheApplicationWithNoAsDefault) {
  auto box = StartRun();
  ASSERT_TRUE(box);
  EXPECT_EQ(box->caption, runkit::kConfirmCaption);
  EXPECT_EQ(box->text, runkit::ConfirmText("Demo"));
  EXPECT_EQ(box->buttons, (std::vector<int>{IDYES, IDNO}));
  EXPECT_EQ(box->defaultButton, IDNO);
  EXPECT_TRUE(p_.Press(*box, IDNO));
  EXPECT_EQ(p_.WaitForExit(), std::optional<DWORD>(0));
}

TEST_F(LogReading, AccentedApplicationNameIsShownInItsOwnBytes) {
  // "Aplicação Ótima"
  const std::string name = "Aplica\347\343o \323tima";
  app_.log().appName = name;
  ASSERT_TRUE(app_.WriteLogFile());
  auto box = StartRun();
  ASSERT_TRUE(box);
  EXPECT_EQ(box->text, runkit::ConfirmText(name));
  EXPECT_TRUE(p_.Press(*box, IDNO));
  EXPECT_EQ(p_.WaitForExit(), std::optional<DWORD>(0));
}

TEST_F(LogReading, NoLeavesTheLogAndTheTreeUntouched) {
  // Read-only and hidden, so that a change of attributes would show.
  ASSERT_TRUE(runkit::AddAttributes(log_, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  auto logBytes = robot::ReadFileBytes(log_);
  ASSERT_TRUE(logBytes);
  auto before = robot::Snapshot(dir_.path());

  auto box = StartRun();
  ASSERT_TRUE(box);
  EXPECT_EQ(box->text, runkit::ConfirmText("Demo"));
  EXPECT_TRUE(p_.Press(*box, IDNO));
  EXPECT_EQ(p_.WaitForExit(), std::optional<DWORD>(0));
  EXPECT_EQ(p_.boxes().size(), 1u) << "No ends the run without another box";

  EXPECT_EQ(robot::ReadFileBytes(log_), logBytes);
  EXPECT_EQ(GetFileAttributesA(log_.c_str()), before[std::string("Demo\\demo.und")].attributes);
  EXPECT_EQ(robot::Snapshot(dir_.path()), before);
}

TEST_F(LogReading, YesDeletesTheLogBeforeTheEndMessage) {
  auto box = StartRun();
  ASSERT_TRUE(box);
  ConfirmAndFinish(*box);
  EXPECT_FALSE(robot::FileExists(app_.base() + "demo.exe"));
  EXPECT_FALSE(robot::FolderExists(app_.base())) << "the installation folder is the one host level";
}

TEST_F(LogReading, YesDeletesAReadOnlyLogToo) {
  ASSERT_TRUE(runkit::AddAttributes(log_, FILE_ATTRIBUTE_READONLY));
  auto box = StartRun();
  ASSERT_TRUE(box);
  ConfirmAndFinish(*box);
  EXPECT_FALSE(robot::FileExists(log_));
}

TEST_F(LogReading, TruncatedLogGivesCode6AndStays) {
  std::string bytes = app::WriteLog(app_.log());
  // Cut inside the last file entry: the reader must not take what is left.
  bytes.resize(bytes.size() - 5);
  ASSERT_TRUE(robot::WriteFileBytes(log_, bytes));
  auto before = robot::Snapshot(dir_.path());

  ExpectCode6(StartRun());
  EXPECT_EQ(robot::ReadFileBytes(log_), std::optional<std::string>(bytes));
  EXPECT_EQ(robot::Snapshot(dir_.path()), before);
}

TEST_F(LogReading, LogHeldOpenForWritingGivesCode6) {
  auto logBytes = robot::ReadFileBytes(log_);
  HANDLE writer = CreateFileA(log_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  auto before = robot::Snapshot(dir_.path());

  ExpectCode6(StartRun());
  CloseHandle(writer);
  EXPECT_EQ(robot::ReadFileBytes(log_), logBytes);
  EXPECT_EQ(robot::Snapshot(dir_.path()), before);
}

}  // namespace
