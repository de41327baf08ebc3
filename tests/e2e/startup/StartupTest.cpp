// Start-up of desinstalador.exe as a person meets it: the argument checks and
// their one message box, and the layout of the progress window.
#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/e2e/robot/Robot.h"

namespace {

using robot::BoxInfo;
using robot::Process;

// "Não há parâmetro de desinstalação (arquivo /f:?.und)"
const std::string kNoArgument = "N\343o h\341 par\342metro de desinstala\347\343o (arquivo /f:?.und)";

std::string Code3Text(const std::string& path) {
  // "O arquivo "<path>"\n\rparece não existir."
  return "O arquivo \"" + path + "\"\n\rparece n\343o existir.";
}

void ExpectStopBoxWithOk(const BoxInfo& box) {
  EXPECT_EQ(box.caption, "Problemas");
  EXPECT_TRUE(box.hasIcon);
  EXPECT_EQ(box.buttons, std::vector<int>{IDOK});
  EXPECT_EQ(box.defaultButton, IDOK);
}

class Startup : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(robot::FileExists(robot::ProgramPath())) << robot::ProgramPath(); }

  // Runs the program with one argument (none for nullopt) from dir_, expects
  // exactly one box, answers it with OK and expects exit code 0. Returns the box.
  BoxInfo RunToSingleBox(const std::optional<std::string>& argument) {
    Process p = Process::Start(robot::ProgramPath(), argument, dir_.path());
    EXPECT_TRUE(p.started());
    auto box = p.WaitForBox();
    if (!box) {
      ADD_FAILURE() << "no message box appeared";
      return {};
    }
    // OK is the only answer expected; any other box is closed all the same so
    // that a wrong box fails the test quickly.
    bool hasOk = std::find(box->buttons.begin(), box->buttons.end(), IDOK) != box->buttons.end();
    EXPECT_TRUE(hasOk);
    int answer = hasOk ? IDOK : box->defaultButton ? box->defaultButton : IDNO;
    EXPECT_TRUE(p.Press(*box, answer));
    auto code = p.WaitForExit();
    EXPECT_EQ(code, std::optional<DWORD>(0));
    EXPECT_EQ(p.boxes().size(), 1u) << "more than one box during the run";
    return *box;
  }

  robot::TempDir dir_;
};

TEST_F(Startup, NoArgumentShowsCode0AndTouchesNothing) {
  // A log lies in the working folder; without an argument it must stay as it is.
  ASSERT_TRUE(robot::WriteFileBytes(dir_ / "app.und", "not read"));
  ASSERT_TRUE(robot::WriteFileBytes(dir_ / "sub\\keep.txt", "x"));
  auto before = robot::Snapshot(dir_.path());

  BoxInfo box = RunToSingleBox(std::nullopt);
  ExpectStopBoxWithOk(box);
  EXPECT_EQ(box.text, kNoArgument);
  EXPECT_EQ(robot::Snapshot(dir_.path()), before);
}

TEST_F(Startup, ArgumentsWithoutExactSlashFAreTreatedAsMissing) {
  ASSERT_TRUE(robot::WriteFileBytes(dir_ / "app.und", "present"));
  auto before = robot::Snapshot(dir_.path());
  for (std::string argument : {"/F:" + dir_.path() + "app.und", std::string("/f:"), std::string("-f:app.und"),
                               std::string("app.und")}) {
    SCOPED_TRACE(argument);
    BoxInfo box = RunToSingleBox(argument);
    ExpectStopBoxWithOk(box);
    EXPECT_EQ(box.text, kNoArgument);
  }
  EXPECT_EQ(robot::Snapshot(dir_.path()), before);
}

TEST_F(Startup, CapitalFOnTheDocumentedPathGivesCode0) {
  BoxInfo box = RunToSingleBox(std::string("/F:C:\\App\\app.und"));
  ExpectStopBoxWithOk(box);
  EXPECT_EQ(box.text, kNoArgument);
}

TEST_F(Startup, MissingLogGivesCode3WithThePath) {
  std::string log = dir_ / "gone\\app.und";
  BoxInfo box = RunToSingleBox("/f:" + log);
  ExpectStopBoxWithOk(box);
  EXPECT_EQ(box.text, Code3Text(log));
  EXPECT_FALSE(robot::FolderExists(dir_ / "gone"));
}

TEST_F(Startup, MissingLogPathWithBlanksIsShownWhole) {
  std::string log = dir_ / "Meu Programa\\meu app.und";
  BoxInfo box = RunToSingleBox("/f:" + log);
  EXPECT_EQ(box.text, Code3Text(log));
}

TEST_F(Startup, FolderGivenAsLogGivesCode3) {
  ASSERT_TRUE(robot::MakeFolders(dir_ / "app.und"));
  auto before = robot::Snapshot(dir_.path());
  BoxInfo box = RunToSingleBox("/f:" + dir_.path() + "app.und");
  ExpectStopBoxWithOk(box);
  EXPECT_EQ(box.text, Code3Text(dir_.path() + "app.und"));
  EXPECT_EQ(robot::Snapshot(dir_.path()), before);
}

TEST_F(Startup, SlashFInsideTheArgumentCutsTheFirstThreeCharacters) {
  BoxInfo box = RunToSingleBox(std::string("x/f:C:\\a.und"));
  ExpectStopBoxWithOk(box);
  EXPECT_EQ(box.text, Code3Text(":C:\\a.und"));
}

TEST_F(Startup, BareLogNameIsLookedUpInTheWorkingFolder) {
  // No such file in the working folder: the name is reported as given.
  BoxInfo box = RunToSingleBox(std::string("/f:nothere.und"));
  EXPECT_EQ(box.text, Code3Text("nothere.und"));
}

}  // namespace
