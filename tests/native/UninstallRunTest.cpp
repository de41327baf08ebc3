#include <gtest/gtest.h>

#include <algorithm>

#include "app/CommandLine.h"
#include "app/tools/LogWriter.h"
#include "app/ProgressFigures.h"
#include "app/UninstallRun.h"
#include "env/Enviro.h"
#include "platform/Error.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeMainView.h"
#include "tests/fakes/FakeRun.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeServices.h"
#include "tests/native/Cp1252.h"

using testing_cp1252::ToCp1252;

namespace {

struct RunFixture : ::testing::Test, fakes::FakeRun<> {};

// The log path the command line gives for one argument (or none).
std::string LogPathOf(const std::optional<std::string>& argument) {
  return app::ParseCommandLine(argument ? std::vector<std::string>{*argument} : std::vector<std::string>{}).logPath;
}

// ---- argument rules ----

TEST(RunArgument, OnlyExactLowerCaseMarkerGivesAPath) {
  EXPECT_EQ(LogPathOf(std::nullopt), "");
  EXPECT_EQ(LogPathOf("/f:C:\\App\\app.und"), "C:\\App\\app.und");
  EXPECT_EQ(LogPathOf("/F:C:\\App\\app.und"), "");
  EXPECT_EQ(LogPathOf("/f:"), "");
  // The marker anywhere counts, and the first three characters go whatever they are.
  EXPECT_EQ(LogPathOf("x/f:C:\\a.und"), ":C:\\a.und");
  EXPECT_EQ(LogPathOf("/f:app.und"), "app.und");
}

using RunStart = RunFixture;

TEST_F(RunStart, NoArgumentShowsCodeZeroAndEnds) {
  EXPECT_FALSE(run.Start(LogPathOf(std::nullopt)));
  ASSERT_EQ(box.shown().size(), 1u);
  EXPECT_EQ(box.shown()[0].text, ToCp1252("Não há parâmetro de desinstalação (arquivo /f:?.und)"));
  EXPECT_EQ(box.shown()[0].caption, "Problemas");
  EXPECT_EQ(view.terminated, 1);
  EXPECT_TRUE(fs.Mutated().empty());
}

TEST_F(RunStart, CapitalMarkerAndBareMarkerCountAsMissing) {
  for (const char* arg : {"/F:C:\\App\\app.und", "/f:"}) {
    fakes::FakeMessageBox fresh;
    app::Services s{fs, registry, fresh, locale, module, lock, claim};
    app::PersonHost asked = fakes::PersonAt(fresh, view);
    app::UninstallRun r(s, asked, view, data);
    EXPECT_FALSE(r.Start(LogPathOf(arg)));
    ASSERT_EQ(fresh.shown().size(), 1u) << arg;
    EXPECT_EQ(fresh.shown()[0].text, env::BuildCodedMessage(0, "").text) << arg;
  }
}

TEST_F(RunStart, MissingLogShowsCodeThreeWithThePath) {
  EXPECT_FALSE(run.Start(LogPathOf("/f:C:\\App\\app.und")));
  ASSERT_EQ(box.shown().size(), 1u);
  EXPECT_EQ(box.shown()[0].text, ToCp1252("O arquivo \"C:\\App\\app.und\"\n\rparece não existir."));
  EXPECT_EQ(data.UninsData.BaseDir, "C:\\App\\");
  EXPECT_EQ(view.terminated, 1);
}

TEST_F(RunStart, FolderIsNoLog) {
  fs.AddFolder("C:\\App\\app.und");
  EXPECT_FALSE(run.Start(LogPathOf("/f:C:\\App\\app.und")));
  ASSERT_EQ(box.shown().size(), 1u);
  EXPECT_EQ(box.shown()[0].text, env::BuildCodedMessage(3, "C:\\App\\app.und").text);
}

TEST_F(RunStart, MarkerInsideTheArgumentCutsThreeCharacters) {
  fs.AddFile("C:\\a.und");
  EXPECT_FALSE(run.Start(LogPathOf("x/f:C:\\a.und")));
  ASSERT_EQ(box.shown().size(), 1u);
  EXPECT_EQ(box.shown()[0].text, env::BuildCodedMessage(3, ":C:\\a.und").text);
}

TEST_F(RunStart, ExistingLogGoesOnQuietly) {
  fs.AddFile("D:\\Demo\\demo.und");
  EXPECT_TRUE(run.Start(LogPathOf("/f:D:\\Demo\\demo.und")));
  EXPECT_EQ(run.LogPath, "D:\\Demo\\demo.und");
  EXPECT_EQ(data.UninsData.BaseDir, "D:\\Demo\\");
  EXPECT_TRUE(box.shown().empty());
  EXPECT_EQ(view.terminated, 0);
  EXPECT_TRUE(fs.Mutated().empty());
}

TEST_F(RunStart, RelativeLogIsTakenFromTheCurrentFolderWhichIsThenLeft) {
  fs.SetCurrentFolder("D:\\Demo");
  fs.AddFile("D:\\Demo\\app.und");
  EXPECT_TRUE(run.Start(LogPathOf("/f:app.und")));
  EXPECT_EQ(run.LogPath, "D:\\Demo\\app.und");
  EXPECT_EQ(data.UninsData.BaseDir, "D:\\Demo\\");
  EXPECT_EQ(fs.FullPath("x"), "C:\\Windows\\System32\\x") << "the current folder is the system's now";
}

// ---- progress figures ----

TEST(RunProgress, GroupsThousandsWithTheLocaleSeparator) {
  EXPECT_EQ(app::GroupThousands(0, "."), "0");
  EXPECT_EQ(app::GroupThousands(999, "."), "999");
  EXPECT_EQ(app::GroupThousands(1024, "."), "1.024");
  EXPECT_EQ(app::GroupThousands(1234567, "."), "1.234.567");
  EXPECT_EQ(app::GroupThousands(-1234567, ","), "-1,234,567");
  EXPECT_EQ(app::GroupThousands(1234567, ""), "1234567");
  EXPECT_EQ(app::GroupThousands(5000000000LL, "."), "5.000.000.000");
  EXPECT_EQ(app::GroupThousands(INT64_MIN, "."), "-9.223.372.036.854.775.808");
}

TEST(RunProgress, JobDoneLine) {
  EXPECT_EQ(app::FormatJobDone(1024, 0, "."), "1.024 bytes processados de 0 bytes a processar");
  EXPECT_EQ(app::FormatJobDone(3000000000LL, 4294967296LL, "."),
            "3.000.000.000 bytes processados de 4.294.967.296 bytes a processar");
}

TEST(RunProgress, PositionRoundsHalvesToEvenAndClamps) {
  EXPECT_EQ(app::ProgressPosition(1, 8), 12);  // 12.5
  EXPECT_EQ(app::ProgressPosition(3, 8), 38);  // 37.5
  EXPECT_EQ(app::ProgressPosition(23, 40), 58);  // exactly 57.5, whatever the floating-point unit
  EXPECT_EQ(app::ProgressPosition(109, 200), 54);  // exactly 54.5
  EXPECT_EQ(app::ProgressPosition(1, 3), 33);
  EXPECT_EQ(app::ProgressPosition(2, 3), 67);
  EXPECT_EQ(app::ProgressPosition(0, 8), 0);
  EXPECT_EQ(app::ProgressPosition(8, 8), 100);
  EXPECT_EQ(app::ProgressPosition(16, 8), 100);  // more than the total: full
  EXPECT_EQ(app::ProgressPosition(-5, 8), 0);
  EXPECT_EQ(app::ProgressPosition(5, 0), std::nullopt);
  EXPECT_EQ(app::ProgressPosition(5, -1), std::nullopt);
  // Past 2 GiB the figures stay right.
  EXPECT_EQ(app::ProgressPosition(3000000000LL, 6000000000LL), 50);
}

TEST_F(RunFixture, ShowProgressForwardsFiguresAndObject) {
  locale.separator = ".";
  run.BytesProcessed = 1024;
  run.BytesToProcess = 0;
  run.CurrentObject = "app.exe";
  run.ShowProgress();
  ASSERT_EQ(view.progress.size(), 1u);
  EXPECT_EQ(view.progress[0].jobDone, "1.024 bytes processados de 0 bytes a processar");
  EXPECT_EQ(view.progress[0].object, "app.exe");
  EXPECT_EQ(view.progress[0].position, std::nullopt);  // the bar stays where it is
  run.BytesToProcess = 2048;
  run.ShowProgress();
  EXPECT_EQ(view.progress[1].position, 50);
  EXPECT_EQ(locale.separatorReads, 1) << "read once per run, not per file";
}

}  // namespace

namespace {

// ---- the whole run, against the fakes ----

constexpr char kLog[] = "D:\\Demo\\demo.und";
constexpr char kRegKey[] = "Software\\Kestrivon\\Dalvests\\1.0.0.3";

struct RunFlow : RunFixture {
  void SetUp() override {
    app::LogContent log;
    log.appName = "Demo";
    log.hostLevels = 1;
    log.totalBytes = 4096;
    log.folders = {{"", 1}};
    log.groups = {{std::nullopt, {{"app.exe", 4096, 0x2AB153C0, 1}}}};
    fs.AddFile(kLog, 0, 0, platform::kAttrArchive, app::WriteLog(log));
    fs.AddFile("D:\\Demo\\app.exe", 0x2AB153C0, 4096);
    fs.AddFile(module.path, 0, 1000);
    registry.SetString(platform::kHkeyLocalMachine, kRegKey, "AppPath", module.path);
    registry.SetDword(platform::kHkeyLocalMachine, kRegKey, "AppsServed", 2);
    ASSERT_TRUE(run.Start(kLog));
  }
  std::vector<std::string> Captions() const {
    std::vector<std::string> c;
    for (const auto& s : box.shown()) c.push_back(s.caption);
    return c;
  }
};

TEST_F(RunFlow, ConfirmedRunRemovesReportsAndCountsDown) {
  box.Answer(env::kIdYes);
  run.Activate();
  EXPECT_EQ(Captions(), (std::vector<std::string>{"Continuar?", ToCp1252("Término")}));
  EXPECT_EQ(box.shown()[0].text, ToCp1252("Você está prestes a desinstalar \"Demo\".\n\rContinuar?"));
  EXPECT_EQ(box.shown()[1].text, "Processo terminado.");
  EXPECT_FALSE(fs.Exists(kLog));
  EXPECT_FALSE(fs.Exists("D:\\Demo\\app.exe"));
  EXPECT_FALSE(fs.Exists("D:\\Demo"));
  ASSERT_FALSE(view.phases.empty());
  EXPECT_EQ(view.phases.front(), "Inicializando...");
  EXPECT_EQ(view.appLines, std::vector<std::string>{"Desinstalando Demo"});
  EXPECT_EQ(view.summaries, 0);
  EXPECT_EQ(registry.GetDword(platform::kHkeyLocalMachine, kRegKey, "AppsServed"), 1);
  EXPECT_EQ(view.terminated, 1);
  ASSERT_FALSE(view.progress.empty());
  EXPECT_EQ(view.progress.back().position, 100);
}

TEST_F(RunFlow, LogIsGoneBeforeTheFirstRemoval) {
  box.Answer(env::kIdYes);
  run.Activate();
  const auto& calls = fs.Calls();
  const auto logGone = std::find(calls.begin(), calls.end(), std::string("RemoveFile ") + kLog);
  const auto fileGone = std::find(calls.begin(), calls.end(), std::string("RemoveFile D:\\Demo\\app.exe"));
  ASSERT_NE(logGone, calls.end());
  ASSERT_NE(fileGone, calls.end());
  EXPECT_LT(logGone, fileGone);
}

TEST_F(RunFlow, LogPathWithSlashesRemovesFromTheLogsFolder) {
  ASSERT_TRUE(run.Start(LogPathOf("/f:D:/Demo/demo.und")));
  EXPECT_EQ(data.UninsData.BaseDir, "D:\\Demo\\");
  box.Answer(env::kIdYes);
  run.Activate();
  EXPECT_FALSE(fs.Exists(kLog));
  EXPECT_FALSE(fs.Exists("D:\\Demo\\app.exe"));
  EXPECT_FALSE(fs.Exists("D:\\Demo"));
  EXPECT_EQ(view.summaries, 0);
}

TEST_F(RunFlow, ReadOnlyLogIsDeletedToo) {
  fs.SetAttributes(kLog, platform::kAttrReadOnly | platform::kAttrHidden);
  box.Answer(env::kIdYes);
  run.Activate();
  EXPECT_FALSE(fs.Exists(kLog));
}

TEST_F(RunFlow, LogThatCannotBeDeletedStillLetsTheRunGoOn) {
  fs.Fail(fakes::FsOp::RemoveFile, kLog);
  box.Answer(env::kIdYes);
  run.Activate();
  EXPECT_TRUE(fs.Exists(kLog));
  EXPECT_FALSE(fs.Exists("D:\\Demo\\app.exe"));
  EXPECT_EQ(box.shown().size(), 2u);
}

TEST_F(RunFlow, LogWhoseReadOnlyBitStaysIsNotDeletedAndTheRunGoesOn) {
  fs.SetAttributes(kLog, platform::kAttrReadOnly);
  fs.Fail(fakes::FsOp::SetAttributes, kLog);
  box.Answer(env::kIdYes);
  run.Activate();
  EXPECT_TRUE(fs.Exists(kLog));
  const auto& calls = fs.Calls();
  EXPECT_EQ(std::find(calls.begin(), calls.end(), std::string("RemoveFile ") + kLog), calls.end())
      << "no deletion is tried while the bit stays";
  EXPECT_FALSE(fs.Exists("D:\\Demo\\app.exe"));
  EXPECT_EQ(box.shown().size(), 2u);
}

TEST_F(RunFlow, NoChangesNothing) {
  box.Answer(env::kIdNo);
  run.Activate();
  EXPECT_EQ(box.shown().size(), 1u);
  EXPECT_TRUE(fs.Exists(kLog));
  EXPECT_EQ(fs.Attributes(kLog), platform::kAttrArchive);
  EXPECT_TRUE(fs.Exists("D:\\Demo\\app.exe"));
  EXPECT_TRUE(fs.Mutated().empty());
  EXPECT_EQ(registry.GetDword(platform::kHkeyLocalMachine, kRegKey, "AppsServed"), 2);
  EXPECT_TRUE(view.appLines.empty());
  EXPECT_EQ(view.terminated, 1);
}

TEST_F(RunFlow, AnyAnswerButNoGoesOn) {
  box.Answer(0);  // the box could not be shown
  run.Activate();
  EXPECT_FALSE(fs.Exists("D:\\Demo\\app.exe"));
}

TEST_F(RunFlow, UnreadableLogShowsCodeSixAndStays) {
  fs.SetContent(kLog, std::string("\x01\x04"
                                  "De",
                                  4));  // ends inside the name
  run.Activate();
  ASSERT_EQ(box.shown().size(), 1u);
  EXPECT_EQ(box.shown()[0].text, env::BuildCodedMessage(6, kLog).text);
  EXPECT_TRUE(fs.Exists(kLog));
  EXPECT_TRUE(fs.Exists("D:\\Demo\\app.exe"));
  EXPECT_TRUE(fs.Mutated().empty());
  EXPECT_EQ(view.terminated, 1);
}

TEST_F(RunFlow, LogOpenForWritingIsUnreadable) {
  fs.OpenForWriting(kLog);
  run.Activate();
  ASSERT_EQ(box.shown().size(), 1u);
  EXPECT_EQ(box.shown()[0].caption, "Problemas");
  EXPECT_TRUE(fs.Exists(kLog));
}

TEST_F(RunFlow, SecondActivationDoesNothing) {
  box.Answer(env::kIdYes);
  run.Activate();
  const size_t boxes = box.shown().size();
  const size_t calls = fs.Calls().size();
  run.Activate();
  EXPECT_EQ(box.shown().size(), boxes);
  EXPECT_EQ(fs.Calls().size(), calls);
  EXPECT_EQ(view.terminated, 1);
}

TEST_F(RunFlow, ResistingFileShowsTheSummaryBeforeTheEndMessage) {
  fs.SetAttributes("D:\\Demo\\app.exe", platform::kAttrArchive);
  fs.Lock("D:\\Demo\\app.exe");
  size_t boxesAtSummary = 0;
  view.onSummary = [&] { boxesAtSummary = box.shown().size(); };
  box.Answer(env::kIdYes);
  run.Activate();
  EXPECT_EQ(view.summaries, 1);
  EXPECT_EQ(boxesAtSummary, 1u);  // after 36, before 41
  EXPECT_EQ(box.shown().size(), 2u);
  ASSERT_TRUE(data.FailList);
  EXPECT_EQ(data.FailList->Count(), 4);  // file group + folder group
}

TEST_F(RunFlow, SelfDeletionThatCannotBeScheduledEndsTheRunAsUsual) {
  registry.SetDword(platform::kHkeyLocalMachine, kRegKey, "AppsServed", 1);
  registry.MakeReadOnly(platform::kHkeyLocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce");
  fs.Fail(fakes::FsOp::Schedule, module.path);
  box.Answer(env::kIdYes);
  EXPECT_NO_THROW(run.Activate());
  EXPECT_EQ(box.shown().size(), 2u);  // 36 and 41, no error report
  EXPECT_EQ(view.terminated, 1);
  EXPECT_EQ(registry.GetDword(platform::kHkeyLocalMachine, kRegKey, "AppsServed"), 0);
}

}  // namespace
