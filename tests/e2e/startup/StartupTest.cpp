// Start-up of desinstalador.exe as a person meets it: the argument checks and
// their one message box, and the layout of the progress window.
#include <windows.h>
#include <commctrl.h>
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

std::string Code6Text(const std::string& path) {
  // "O arquivo "<path>"\n\rapresentou problemas."
  return "O arquivo \"" + path + "\"\n\rapresentou problemas.";
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

// The progress window, read while the first box of a run with an existing log
// keeps it on screen: code 36 for a valid log, code 6 for one that cannot be
// read.
class MainWindow : public Startup {
 protected:
  void SetUp() override {
    Startup::SetUp();
    log_ = dir_ / "app.und";
    // Not a log at all: the reader must refuse it.
    ASSERT_TRUE(robot::WriteFileBytes(log_, std::string("\x07garbage\x00\xff", 10)));
    p_ = Process::Start(robot::ProgramPath(), "/f:" + log_, dir_.path());
    ASSERT_TRUE(p_.started());
    main_ = p_.WaitForMainWindow();
    ASSERT_NE(main_, nullptr) << "the progress window did not appear";
    box_ = p_.WaitForBox();
    ASSERT_TRUE(box_.has_value()) << "no box over the progress window";
    controls_ = robot::ListControls(main_);
  }

  void TearDown() override {
    if (box_ && p_.running()) {
      p_.Press(*box_, box_->defaultButton ? box_->defaultButton : IDOK);
      EXPECT_EQ(p_.WaitForExit(), std::optional<DWORD>(0));
    }
  }

  std::optional<robot::ControlInfo> At(int left, int top) { return robot::ControlAt(controls_, left, top); }

  std::string log_;
  Process p_;
  HWND main_ = nullptr;
  std::optional<BoxInfo> box_;
  std::vector<robot::ControlInfo> controls_;
};

TEST_F(MainWindow, UnreadableLogGivesCode6OverTheWindowAndKeepsTheLog) {
  ExpectStopBoxWithOk(*box_);
  EXPECT_EQ(box_->text, Code6Text(log_));
  ASSERT_TRUE(p_.Press(*box_, IDOK));
  box_.reset();
  EXPECT_EQ(p_.WaitForExit(), std::optional<DWORD>(0));
  EXPECT_EQ(p_.boxes().size(), 1u);
  EXPECT_EQ(robot::ReadFileBytes(log_), std::optional<std::string>(std::string("\x07garbage\x00\xff", 10)));
}

TEST_F(MainWindow, ClientAreaIs394By190) {
  SIZE size = robot::ClientSize(main_);
  EXPECT_EQ(size.cx, 394);
  EXPECT_EQ(size.cy, 190);
  EXPECT_EQ(robot::WindowText(main_), "Desinstalador Kestrivon v1.0");
  LONG style = GetWindowLongA(main_, GWL_STYLE);
  EXPECT_TRUE(style & WS_CAPTION);
  EXPECT_TRUE(style & WS_SYSMENU) << "close box";
  EXPECT_FALSE(style & WS_THICKFRAME) << "fixed size";
}

TEST_F(MainWindow, TextControlsSitWhereTheLayoutPutsThem) {
  auto staticText = At(4, 40);
  ASSERT_TRUE(staticText) << "StaticText";
  EXPECT_EQ(staticText->width(), 381);
  EXPECT_EQ(staticText->height(), 23);

  auto object = At(10, 78);
  ASSERT_TRUE(object) << "stObject";
  EXPECT_EQ(object->width(), 375);
  EXPECT_EQ(object->height(), 47);

  // The two labels size themselves to their (cleared) captions: only their
  // corner and the line height are fixed.
  auto fantaName = At(6, 8);
  ASSERT_TRUE(fantaName) << "lbFantaName";
  EXPECT_EQ(fantaName->height(), 13);
  auto jobDone = At(2, 144);
  ASSERT_TRUE(jobDone) << "lbJobDone";
  EXPECT_EQ(jobDone->height(), 13);

  for (const auto* c : {&*staticText, &*object, &*fantaName, &*jobDone}) {
    EXPECT_TRUE(c->visible) << c->className << " at " << c->left() << "," << c->top();
  }
}

TEST_F(MainWindow, ProgressBarAndBevelSitAtTheBottom) {
  auto bar = At(10, 172);
  ASSERT_TRUE(bar) << "ProgressBar";
  EXPECT_EQ(bar->className, "msctls_progress32");
  EXPECT_EQ(bar->width(), 371);
  EXPECT_EQ(bar->height(), 12);
  EXPECT_EQ(robot::BarPosition(bar->hwnd), 0);
  bool ok = false;
  DWORD_PTR range = 0;
  ok = SendMessageTimeoutA(bar->hwnd, PBM_GETRANGE, FALSE, 0, SMTO_ABORTIFHUNG, 5000, &range) != 0;
  EXPECT_TRUE(ok);
  EXPECT_EQ(range, 100u) << "Max 100";

  auto bevel = At(0, 165);
  ASSERT_TRUE(bevel) << "Bevel1";
  EXPECT_EQ(bevel->width(), 394);
  EXPECT_EQ(bevel->height(), 25);
}

TEST_F(MainWindow, OnlyThePhaseLineHasTextBeforeTheRunStarts) {
  // The design captions are cleared; the phase line says the run is starting.
  EXPECT_EQ(At(4, 40) ? At(4, 40)->text : "?", "Inicializando...");
  for (auto [left, top] : {std::pair{6, 8}, std::pair{10, 78}, std::pair{2, 144}}) {
    auto c = At(left, top);
    ASSERT_TRUE(c) << left << "," << top;
    EXPECT_EQ(c->text, "") << left << "," << top;
  }
}

}  // namespace
