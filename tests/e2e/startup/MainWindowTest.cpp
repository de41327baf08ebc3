// The progress window and the first box of a run with an existing log: the
// confirmation (code 36) for a log the reader accepts, code 6 for one it
// refuses. The window's layout is read while the box keeps it on screen.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "tests/e2e/robot/Robot.h"
#include "tests/e2e/runs/RunKit.h"
#include "tools/undtool/UndTool.h"

namespace {

using robot::BoxInfo;
using robot::Process;
using runkit::kRegistration;


// A small installed application with its log, written by undtool's scan.
class InstalledApp {
 public:
  explicit InstalledApp(const robot::TempDir& dir) : folder_(dir / "Demo App\\"), log_(folder_ + "demo.und") {}

  bool Install() {
    if (!robot::WriteFileBytes(folder_ + "demo.exe", std::string(4096, 'x')) ||
        !robot::WriteFileBytes(folder_ + "dados\\modelo.mod", "modelo")) {
      return false;
    }
    undtool::ScanOptions o;
    o.root = folder_;
    o.appName = "Demo \"App\" 1.0";
    o.hostLevels = 1;
    std::string error;
    bool ok = robot::WriteScannedLog(o, log_, &error);
    EXPECT_TRUE(ok) << error;
    return ok;
  }

  const std::string& folder() const { return folder_; }
  const std::string& log() const { return log_; }

 private:
  std::string folder_;
  std::string log_;
};

// "Você está prestes a desinstalar "<name>".\n\rContinuar?"
std::string Code36Text(const std::string& name) {
  return "Voc\352 est\341 prestes a desinstalar \"" + name + "\".\n\rContinuar?";
}

// The height of one line in the progress window's font, "MS Sans Serif" of
// height -11 (left as it is at 96 dpi), measured here as the program does.
int LineHeight() {
  HFONT font = CreateFontA(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "MS Sans Serif");
  HDC screen = GetDC(nullptr);
  HGDIOBJ old = SelectObject(screen, font);
  TEXTMETRICA metrics{};
  GetTextMetricsA(screen, &metrics);
  DeleteObject(SelectObject(screen, old));
  ReleaseDC(nullptr, screen);
  return metrics.tmHeight;
}

class MainWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(robot::FileExists(robot::ProgramPath())) << robot::ProgramPath();
    ASSERT_TRUE(app_.Install());
    p_ = Process::Start(robot::ProgramPath(), "/f:" + app_.log(), dir_.path());
    ASSERT_TRUE(p_.started());
    main_ = p_.WaitForMainWindow();
    ASSERT_NE(main_, nullptr) << "the progress window did not appear";
    box_ = p_.WaitForBox();
    ASSERT_TRUE(box_.has_value()) << "no box over the progress window";
    controls_ = robot::ListControls(main_);
  }

  // Declines whatever is still open so that nothing is removed.
  void TearDown() override {
    if (box_ && p_.running()) {
      p_.Press(*box_, std::count(box_->buttons.begin(), box_->buttons.end(), IDNO) ? IDNO : IDOK);
      EXPECT_EQ(p_.WaitForExit(), std::optional<DWORD>(0));
    }
  }

  std::optional<robot::ControlInfo> At(int left, int top) { return robot::ControlAt(controls_, left, top); }

  robot::TempDir dir_;
  InstalledApp app_{dir_};
  Process p_;
  HWND main_ = nullptr;
  std::optional<BoxInfo> box_;
  std::vector<robot::ControlInfo> controls_;
};

TEST_F(MainWindow, ConfirmationNamesTheApplicationAndDefaultsToNo) {
  EXPECT_EQ(box_->caption, "Continuar?");
  EXPECT_EQ(box_->text, Code36Text("Demo \"App\" 1.0"));
  EXPECT_TRUE(box_->hasIcon);
  EXPECT_EQ(box_->buttons, (std::vector<int>{IDYES, IDNO}));
  EXPECT_EQ(box_->defaultButton, IDNO);
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
  EXPECT_TRUE(IsWindowVisible(main_));
}

TEST_F(MainWindow, TheTaskbarShowsOneButtonWithTheProgramsTitle) {
  // The progress window and the box over it belong to the application
  // window, whose text is the program's title.
  const std::vector<HWND> buttons = p_.TaskbarWindows();
  ASSERT_EQ(buttons.size(), 1u);
  EXPECT_EQ(robot::WindowText(buttons[0]), "Desinstalador Kestrivon");
  EXPECT_EQ(GetWindow(main_, GW_OWNER), buttons[0]);
  EXPECT_EQ(GetWindow(box_->hwnd, GW_OWNER), main_);
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
  EXPECT_EQ(fantaName->height(), LineHeight());
  auto jobDone = At(2, 144);
  ASSERT_TRUE(jobDone) << "lbJobDone";
  EXPECT_EQ(jobDone->height(), LineHeight());

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
  DWORD_PTR high = 0;
  ASSERT_NE(SendMessageTimeoutA(bar->hwnd, PBM_GETRANGE, FALSE, 0, SMTO_ABORTIFHUNG, 5000, &high), 0);
  EXPECT_EQ(high, 100u) << "Max 100";

  auto bevel = At(0, 165);
  ASSERT_TRUE(bevel) << "Bevel1";
  EXPECT_EQ(bevel->width(), 394);
  EXPECT_EQ(bevel->height(), 25);
}

TEST_F(MainWindow, OnlyThePhaseLineHasTextWhileTheQuestionWaits) {
  auto phase = At(4, 40);
  ASSERT_TRUE(phase);
  EXPECT_EQ(phase->text, "Inicializando...");
  for (auto [left, top] : {std::pair{6, 8}, std::pair{10, 78}, std::pair{2, 144}}) {
    auto c = At(left, top);
    ASSERT_TRUE(c) << left << "," << top;
    EXPECT_EQ(c->text, "") << left << "," << top;
  }
}

// Answering No leaves everything as it was: the installed files, the log with
// its attributes, and the uninstaller's registration.
class Declining : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(robot::FileExists(robot::ProgramPath())) << robot::ProgramPath();
    ASSERT_TRUE(app_.Install());
    ASSERT_TRUE(SetFileAttributesA(app_.log().c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    hadRegistration_ = robot::KeyExists(kRegistration);
    oldPath_ = robot::KeyGetString(kRegistration, "AppPath");
    oldCount_ = robot::KeyGetDword(kRegistration, "AppsServed");
    ASSERT_TRUE(robot::KeySetString(kRegistration, "AppPath", robot::ProgramPath()));
    ASSERT_TRUE(robot::KeySetDword(kRegistration, "AppsServed", 2));
    before_ = robot::Snapshot(dir_.path());
  }

  void TearDown() override {
    if (!hadRegistration_) {
      robot::KeyRemove(kRegistration);
      return;
    }
    if (oldPath_) robot::KeySetString(kRegistration, "AppPath", *oldPath_);
    if (oldCount_) robot::KeySetDword(kRegistration, "AppsServed", *oldCount_);
  }

  void ExpectNothingChanged(Process& p) {
    EXPECT_FALSE(p.WaitForBox().has_value()) << "a further box: " << (p.boxes().empty() ? "" : p.boxes().back().caption);
    EXPECT_EQ(p.WaitForExit(), std::optional<DWORD>(0));
    EXPECT_EQ(p.boxes().size(), 1u);
    EXPECT_EQ(robot::Snapshot(dir_.path()), before_);
    EXPECT_EQ(robot::KeyGetDword(kRegistration, "AppsServed"), std::optional<DWORD>(2));
  }

  robot::TempDir dir_;
  InstalledApp app_{dir_};
  robot::TreeState before_;
  bool hadRegistration_ = false;
  std::optional<std::string> oldPath_;
  std::optional<DWORD> oldCount_;
};

TEST_F(Declining, NoLeavesFilesLogAndRegistrationAsTheyWere) {
  Process p = Process::Start(robot::ProgramPath(), "/f:" + app_.log(), dir_.path());
  auto box = p.WaitForBox();
  ASSERT_TRUE(box);
  ASSERT_EQ(box->caption, "Continuar?");
  ASSERT_TRUE(p.Press(*box, IDNO));
  ExpectNothingChanged(p);
}

TEST_F(Declining, EnterAtOnceAnswersNo) {
  Process p = Process::Start(robot::ProgramPath(), "/f:" + app_.log(), dir_.path());
  auto box = p.WaitForBox();
  ASSERT_TRUE(box);
  ASSERT_EQ(box->caption, "Continuar?");
  ASSERT_TRUE(p.PressKey(*box, VK_RETURN));
  ExpectNothingChanged(p);
}

TEST(UnreadableLog, GivesCode6OverTheWindowAndKeepsTheLog) {
  ASSERT_TRUE(robot::FileExists(robot::ProgramPath())) << robot::ProgramPath();
  robot::TempDir dir;
  const std::string log = dir / "app.und";
  const std::string garbage("\x07garbage\x00\xff", 10);
  ASSERT_TRUE(robot::WriteFileBytes(log, garbage));
  Process p = Process::Start(robot::ProgramPath(), "/f:" + log, dir.path());
  ASSERT_NE(p.WaitForMainWindow(), nullptr);
  auto box = p.WaitForBox();
  ASSERT_TRUE(box);
  EXPECT_EQ(box->caption, "Problemas");
  // "O arquivo "<log>"\n\rapresentou problemas."
  EXPECT_EQ(box->text, "O arquivo \"" + log + "\"\n\rapresentou problemas.");
  EXPECT_TRUE(box->hasIcon);
  EXPECT_EQ(box->buttons, std::vector<int>{IDOK});
  ASSERT_TRUE(p.Press(*box, IDOK));
  EXPECT_EQ(p.WaitForExit(), std::optional<DWORD>(0));
  EXPECT_EQ(p.boxes().size(), 1u);
  EXPECT_EQ(robot::ReadFileBytes(log), std::optional<std::string>(garbage));
}

}  // namespace
