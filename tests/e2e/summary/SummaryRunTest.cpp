// Whole runs of desinstalador.exe through the robot in which something
// resists removal, so that the failure summary appears: its caption, layout
// and lines, deletions from it with the Delete key (files at once, folders
// after the questions of codes 42 and 43), and the end of the run (code 41)
// once it is closed. Pictures of the dialog and of the progress window go to
// <build>/screenshots/ for a person to compare with the layout tables.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/tools/LogWriter.h"
#include "platform/win32/Win32Services.h"
#include "tests/e2e/robot/Robot.h"
#include "tests/e2e/runs/RunKit.h"
#include "tests/e2e/summary/Screenshot.h"

namespace {

using robot::BoxInfo;
using robot::Process;
using runkit::kFilesHeader;
using runkit::kFoldersHeader;
using runkit::kRegistration;
using runkit::kSummaryCaption;
using runkit::kLeaveAsIs;

// "Atenção"
constexpr char kAttention[] = "Aten\347\343o";

std::string AskFolder(const std::string& path) { return "Apagar a pasta \"" + path + "\"?"; }
std::string AskFile(const std::string& path) { return "Apagar o arquivo \"" + path + "\"?"; }

// Waits (bounded) until `done` holds; false when it never did.
bool Eventually(const std::function<bool()>& done, DWORD timeoutMs = robot::kWindowWait) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(50);
  }
  return true;
}

// The local DOS time stamp of a file, as the installer logs it.
int32_t DosTimeOf(const std::string& path) {
  platform::win32::Win32FileSystem fs;
  auto entry = fs.FindEntry(path);
  return entry ? entry->dosTime : 0;
}

// An installed application in <temp>\Demo\, with its log written field by
// field. Files logged "changed" carry a time stamp two seconds off, so the
// run leaves them and lists them.
class Installation {
 public:
  explicit Installation(const robot::TempDir& dir) : base_(dir / "Demo\\") {}

  const std::string& base() const { return base_; }
  std::string log() const { return base_ + "demo.und"; }
  // The base folder as a failure line names it.
  std::string baseLine() const { return "    " + base_.substr(0, base_.size() - 1); }

  // A logged folder (relative, "" or ending with a backslash).
  void Folder(const std::string& relative) {
    robot::MakeFolders(base_ + relative);
    content_.folders.push_back(app::LogFolder{relative, 0});
    content_.groups.emplace_back();
  }
  // A logged file in the last logged folder.
  void File(const std::string& name, bool changed) {
    const std::string folder = content_.folders.back().name;
    const std::string path = base_ + folder + name;
    EXPECT_TRUE(robot::WriteFileBytes(path, "conteudo de " + name)) << path;
    const int32_t stamp = DosTimeOf(path);
    EXPECT_NE(stamp, 0) << path;
    content_.groups.back().files.push_back(app::LogFile{name, 12, changed ? stamp + 1 : stamp, 0});
    content_.totalBytes += 12;
  }
  // A file the log does not name: its folder can't be removed.
  void Stray(const std::string& relative) {
    EXPECT_TRUE(robot::WriteFileBytes(base_ + relative, "estranho")) << relative;
  }

  bool WriteLog() {
    content_.appName = "Demo";
    content_.hostLevels = 1;
    return robot::WriteFileBytes(log(), app::WriteLog(content_));
  }

 private:
  std::string base_;
  app::LogContent content_;
};

// The summary dialog as the robot finds it in the running program.
struct SummaryWindow {
  HWND dialog = nullptr;
  HWND list = nullptr;
  HWND scrollBox = nullptr;
  HWND button = nullptr;
  std::vector<robot::ControlInfo> controls;
};

class SummaryRun : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(robot::FileExists(robot::ProgramPath())) << robot::ProgramPath();
    // A registration that serves two applications: the run counts it down
    // to one and schedules nothing.
    hadRegistration_ = robot::KeyExists(kRegistration);
    oldPath_ = robot::KeyGetString(kRegistration, "AppPath");
    oldCount_ = robot::KeyGetDword(kRegistration, "AppsServed");
    ASSERT_TRUE(robot::KeySetString(kRegistration, "AppPath", robot::ProgramPath()));
    ASSERT_TRUE(robot::KeySetDword(kRegistration, "AppsServed", 2));
  }

  void TearDown() override {
    if (p_.running()) p_.Kill();
    if (!hadRegistration_) {
      robot::KeyRemove(kRegistration);
      return;
    }
    if (oldPath_) robot::KeySetString(kRegistration, "AppPath", *oldPath_);
    if (oldCount_) robot::KeySetDword(kRegistration, "AppsServed", *oldCount_);
  }

  // Starts the run, answers the confirmation Yes, does `whileRemoving` and
  // waits for the summary.
  SummaryWindow RunUntilSummary(const std::function<void()>& whileRemoving = {}) {
    SummaryWindow s;
    EXPECT_TRUE(app_.WriteLog());
    p_ = Process::Start(robot::ProgramPath(), "/f:" + app_.log(), dir_.path());
    EXPECT_TRUE(p_.started());
    main_ = p_.WaitForMainWindow();
    EXPECT_NE(main_, nullptr);
    auto confirm = p_.WaitForBox();
    if (!confirm) {
      ADD_FAILURE() << "no confirmation";
      return s;
    }
    EXPECT_EQ(confirm->caption, "Continuar?");
    EXPECT_TRUE(p_.Press(*confirm, IDYES));
    if (whileRemoving) whileRemoving();
    s.dialog = p_.WaitForWindow(nullptr, kSummaryCaption);
    if (s.dialog == nullptr) {
      ADD_FAILURE() << "the summary did not appear"
                    << (p_.boxes().empty() ? "" : "; last box: " + p_.boxes().back().text);
      return s;
    }
    s.controls = robot::ListControls(s.dialog);
    for (const auto& c : s.controls) {
      if (c.className == "Kestrivon.ListBox") s.list = c.hwnd;
      if (c.text == kLeaveAsIs) s.button = c.hwnd;
    }
    EXPECT_NE(s.list, nullptr) << "no list in the summary";
    EXPECT_NE(s.button, nullptr) << "no button in the summary";
    if (s.list != nullptr) s.scrollBox = GetParent(s.list);
    return s;
  }

  // Selects one line and presses Delete on the list.
  void DeleteLine(const SummaryWindow& s, int line) {
    ASSERT_TRUE(robot::ListSelect(s.list, line, true));
    robot::PostKey(s.list, VK_DELETE);
  }

  // Waits until the list shows `line` empty (the dialog refills it after a
  // deletion).
  bool LineBlanked(const SummaryWindow& s, int line) {
    return Eventually([&] { return robot::ListLine(s.list, line).empty(); }, 10000);
  }

  // Closes the summary with its button; code 41 must follow, and then the
  // program ends with 0.
  void LeaveAndFinish(const SummaryWindow& s) {
    robot::PostClick(s.button);
    EXPECT_TRUE(Eventually([&] { return !IsWindow(s.dialog) || !IsWindowVisible(s.dialog); }));
    auto end = p_.WaitForBox();
    ASSERT_TRUE(end) << "no end box after the summary";
    EXPECT_EQ(end->caption, runkit::kFinishedCaption);
    EXPECT_EQ(end->text, "Processo terminado.");
    // The progress window as the run leaves it, out from under the box.
    SetWindowPos(end->hwnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    Sleep(300);
    summary_e2e::SaveWindowPicture(main_, "progress-window-at-end");
    EXPECT_TRUE(p_.Press(*end, IDOK));
    EXPECT_EQ(p_.WaitForExit(), std::optional<DWORD>(0));
  }

  // Answers the questions that come, one by one, with `answer` (given the
  // box's text); stops when no further box comes while the line is
  // unchanged. Gives the texts asked, in order.
  std::vector<std::string> AnswerQuestions(const std::function<int(const std::string&)>& answer,
                                           size_t expected) {
    std::vector<std::string> asked;
    while (asked.size() < expected) {
      auto box = p_.WaitForBox();
      if (!box) break;
      EXPECT_EQ(box->caption, kAttention) << box->text;
      EXPECT_EQ(box->buttons, (std::vector<int>{IDYES, IDNO}));
      EXPECT_EQ(box->defaultButton, IDYES);
      asked.push_back(box->text);
      EXPECT_TRUE(p_.Press(*box, answer(box->text)));
    }
    return asked;
  }

  robot::TempDir dir_;
  Installation app_{dir_};
  Process p_;
  HWND main_ = nullptr;
  bool hadRegistration_ = false;
  std::optional<std::string> oldPath_;
  std::optional<DWORD> oldCount_;
};

// A changed file a.txt and a plain one b.txt in the base folder; the logged
// folder sub\ holds a stray file x.txt and a stray folder deep\ with y.txt.
class SummaryWithFileAndFolder : public SummaryRun {
 protected:
  void SetUp() override {
    SummaryRun::SetUp();
    app_.Folder("");
    app_.File("a.txt", /*changed=*/true);
    app_.File("b.txt", /*changed=*/false);
    app_.Folder("sub\\");
    app_.Stray("sub\\x.txt");
    app_.Stray("sub\\deep\\y.txt");
    sub_ = app_.base() + "sub";
  }

  std::vector<std::string> ExpectedLines() const {
    return {kFilesHeader, "    " + app_.base() + "a.txt", kFoldersHeader, "    " + sub_, app_.baseLine()};
  }

  std::string sub_;
};

TEST_F(SummaryWithFileAndFolder, ShowsTheFailureLinesInItsLayout) {
  SummaryWindow s = RunUntilSummary();
  ASSERT_NE(s.list, nullptr);
  ASSERT_TRUE(Eventually([&] { return robot::ListCount(s.list) > 0; }));
  EXPECT_EQ(robot::ListLines(s.list), ExpectedLines());
  EXPECT_FALSE(robot::FileExists(app_.base() + "b.txt")) << "the unchanged file went in the run";

  const SIZE client = robot::ClientSize(s.dialog);
  EXPECT_EQ(client.cx, 554);
  EXPECT_EQ(client.cy, 308);
  EXPECT_EQ(GetWindow(s.dialog, GW_OWNER), main_) << "owned by the progress window";
  EXPECT_FALSE(IsWindowEnabled(main_)) << "modal";
  auto at = [&](int left, int top) { return robot::ControlAt(s.controls, left, top); };
  auto scroll = at(0, 0);
  ASSERT_TRUE(scroll);
  EXPECT_EQ(scroll->hwnd, s.scrollBox);
  EXPECT_EQ(scroll->width(), 554);
  EXPECT_EQ(scroll->height(), 266);
  auto bevel = at(0, 266);
  ASSERT_TRUE(bevel) << "Bevel1";
  EXPECT_EQ(bevel->width(), 554);
  EXPECT_EQ(bevel->height(), 42);
  auto label1 = at(4, 272);
  ASSERT_TRUE(label1) << "Label1";
  EXPECT_EQ(label1->text, "Clique com o bot\343o esquerdo sobre os itens de interesse para tomar alguma atitude.");
  auto label2 = at(4, 288);
  ASSERT_TRUE(label2) << "Label2";
  EXPECT_EQ(label2->text, "Pode-se selecionar m\372ltiplos itens utilizando Ctrl ou Shift mais cliques.");
  auto button = at(426, 278);
  ASSERT_TRUE(button) << "btOK";
  EXPECT_EQ(button->text, kLeaveAsIs);
  EXPECT_EQ(button->width(), 115);
  EXPECT_EQ(button->height(), 19);

  Sleep(300);
  EXPECT_FALSE(summary_e2e::SaveWindowPicture(s.dialog, "summary-dialog").empty());
  LeaveAndFinish(s);
  // What the user left stays.
  EXPECT_TRUE(robot::FileExists(app_.base() + "a.txt"));
  EXPECT_TRUE(robot::FileExists(sub_ + "\\x.txt"));
}

TEST_F(SummaryWithFileAndFolder, DeleteKeyRemovesTheFileAndYesToEveryQuestionTheFolder) {
  SummaryWindow s = RunUntilSummary();
  ASSERT_NE(s.list, nullptr);
  ASSERT_TRUE(Eventually([&] { return robot::ListCount(s.list) == 5; }));

  DeleteLine(s, 1);
  ASSERT_TRUE(LineBlanked(s, 1));
  EXPECT_FALSE(robot::FileExists(app_.base() + "a.txt"));
  EXPECT_TRUE(p_.boxes().size() == 1u) << "a file line asks nothing";
  std::vector<std::string> expected = ExpectedLines();
  expected[1] = "";
  EXPECT_EQ(robot::ListLines(s.list), expected);

  DeleteLine(s, 3);
  const std::vector<std::string> asked = AnswerQuestions([](const std::string&) { return IDYES; }, 3);
  ASSERT_EQ(asked.size(), 3u);
  // Depth first: the sub-folder is asked about before what it holds, and
  // that comes right after it.
  const std::string deep = sub_ + "\\deep";
  auto folderAsk = std::find(asked.begin(), asked.end(), AskFolder(deep));
  ASSERT_NE(folderAsk, asked.end());
  ASSERT_NE(folderAsk + 1, asked.end());
  EXPECT_EQ(*(folderAsk + 1), AskFile(deep + "\\y.txt"));
  EXPECT_NE(std::find(asked.begin(), asked.end(), AskFile(sub_ + "\\x.txt")), asked.end());

  ASSERT_TRUE(LineBlanked(s, 3));
  EXPECT_FALSE(robot::FolderExists(sub_));
  expected[3] = "";
  EXPECT_EQ(robot::ListLines(s.list), expected);
  Sleep(300);
  summary_e2e::SaveWindowPicture(s.dialog, "summary-dialog-after-deletions");
  LeaveAndFinish(s);
}

TEST_F(SummaryWithFileAndFolder, NoToAQuestionKeepsTheFolderAndItsLine) {
  SummaryWindow s = RunUntilSummary();
  ASSERT_NE(s.list, nullptr);
  ASSERT_TRUE(Eventually([&] { return robot::ListCount(s.list) == 5; }));
  const std::string kept = AskFile(sub_ + "\\deep\\y.txt");
  DeleteLine(s, 3);
  const std::vector<std::string> asked =
      AnswerQuestions([&](const std::string& text) { return text == kept ? IDNO : IDYES; }, 3);
  ASSERT_EQ(asked.size(), 3u);
  // Nothing more is asked, and the line stays as it was.
  EXPECT_FALSE(p_.WaitForBox(1500).has_value());
  EXPECT_TRUE(Eventually([&] { return robot::ListCount(s.list) == 5 && robot::ListIsSelected(s.list, 3) == false; }))
      << "the list is refilled";
  EXPECT_EQ(robot::ListLines(s.list), ExpectedLines());
  EXPECT_TRUE(robot::FolderExists(sub_));
  EXPECT_TRUE(robot::FileExists(sub_ + "\\deep\\y.txt"));
  EXPECT_FALSE(robot::FileExists(sub_ + "\\x.txt")) << "answered Yes";
  LeaveAndFinish(s);
}

// A link in a folder line: "Apagar" asks about the link as one entry and
// never about, nor deletes, what lies behind it.
TEST_F(SummaryWithFileAndFolder, ALinkInAFolderLineIsOneEntryAndItsTargetStays) {
  const std::string outside = dir_ / "Fora", link = sub_ + "\\ligada";
  ASSERT_TRUE(robot::MakeFolders(outside));
  ASSERT_TRUE(robot::WriteFileBytes(outside + "\\alvo.txt", "de outro"));
  ASSERT_TRUE(robot::MakeLink(link, outside));
  SummaryWindow s = RunUntilSummary();
  ASSERT_NE(s.list, nullptr);
  ASSERT_TRUE(Eventually([&] { return robot::ListCount(s.list) == 5; }));
  DeleteLine(s, 3);
  const std::vector<std::string> asked = AnswerQuestions([](const std::string&) { return IDYES; }, 4);
  EXPECT_EQ(std::count(asked.begin(), asked.end(), AskFolder(link)), 1) << ::testing::PrintToString(asked);
  for (const std::string& text : asked) EXPECT_EQ(text.find("alvo.txt"), std::string::npos) << text;
  EXPECT_TRUE(robot::FileExists(outside + "\\alvo.txt"));
  EXPECT_FALSE(robot::FileExists(sub_ + "\\x.txt")) << "what is the application's still goes";
  LeaveAndFinish(s);
  robot::RemoveLinkItself(link);
}

// A folder swapped for a link while a question waits: the Yes deletes
// nothing behind it.
TEST_F(SummaryWithFileAndFolder, AFolderSwappedForALinkWhileAQuestionWaitsKeepsItsTarget) {
  const std::string outside = dir_ / "Fora", deep = sub_ + "\\deep";
  ASSERT_TRUE(robot::WriteFileBytes(outside + "\\y.txt", "de outro"));
  ASSERT_TRUE(robot::MakeLink(dir_ / "ligada", outside));
  SummaryWindow s = RunUntilSummary();
  ASSERT_NE(s.list, nullptr);
  ASSERT_TRUE(Eventually([&] { return robot::ListCount(s.list) == 5; }));
  DeleteLine(s, 3);
  bool swapped = false;
  AnswerQuestions(
      [&](const std::string& text) {
        if (text == AskFile(deep + "\\y.txt")) {
          swapped = robot::SwapForLink(deep, sub_ + "\\antes", dir_ / "ligada");
        }
        return IDYES;
      },
      3);
  EXPECT_TRUE(swapped);
  EXPECT_TRUE(robot::FileExists(outside + "\\y.txt")) << "deleted through the link swapped in";
  EXPECT_FALSE(robot::FileExists(sub_ + "\\x.txt")) << "what is the application's still goes";
  LeaveAndFinish(s);
  robot::RemoveLinkItself(deep);
}

TEST_F(SummaryRun, AFewShortLinesFillTheScrollBox) {
  app_.Folder("");
  app_.File("a.txt", /*changed=*/true);
  SummaryWindow s = RunUntilSummary();
  ASSERT_NE(s.list, nullptr);
  ASSERT_TRUE(Eventually([&] { return robot::ListCount(s.list) == 4; }));
  EXPECT_EQ(robot::ListLines(s.list), (std::vector<std::string>{kFilesHeader, "    " + app_.base() + "a.txt",
                                                                 kFoldersHeader, app_.baseLine()}));
  RECT client{};
  GetClientRect(s.scrollBox, &client);
  RECT list{};
  GetWindowRect(s.list, &list);
  MapWindowPoints(nullptr, s.scrollBox, reinterpret_cast<POINT*>(&list), 2);
  EXPECT_EQ(list.left, 0);
  EXPECT_EQ(list.top, 0);
  EXPECT_EQ(list.right, client.right) << "as wide as the scroll box's client area";
  EXPECT_LE(list.bottom, client.bottom);
  const LRESULT line = SendMessageA(s.list, LB_GETITEMHEIGHT, 0, 0);
  EXPECT_GT(list.bottom, client.bottom - line) << "as high, to whole lines";
  const LONG style = GetWindowLongA(s.scrollBox, GWL_STYLE);
  EXPECT_FALSE(style & (WS_VSCROLL | WS_HSCROLL)) << "nothing to scroll";
  LeaveAndFinish(s);
}

// The close box (or Alt+F4) and the taskbar's close while the files go are
// ignored: the summary comes and stays until it is left, then message 41
// and the count-down follow.
TEST_F(SummaryRun, CloseRequestsDuringTheRemovalAreIgnored) {
  app_.Folder("");
  // Two thousand files keep the removal going long after its first phase
  // shows (once the summary is up, the disabled window takes no close).
  for (int i = 0; i < 2000; ++i) app_.File("f" + std::to_string(i) + ".txt", /*changed=*/false);
  app_.File("alterado.txt", /*changed=*/true);
  SummaryWindow s = RunUntilSummary([this] {
    const HWND phase = runkit::MainControls::Of(main_).phase;
    ASSERT_TRUE(Eventually([&] {
      const std::string text = runkit::SampleText(phase);
      return !text.empty() && text != runkit::PhaseOrder().front();
    }));
    PostMessageA(main_, WM_SYSCOMMAND, SC_CLOSE, 0);
    PostMessageA(GetWindow(main_, GW_OWNER), WM_SYSCOMMAND, SC_CLOSE, 0);
  });
  ASSERT_NE(s.list, nullptr);
  ASSERT_TRUE(Eventually([&] { return robot::ListCount(s.list) == 4; }));
  Sleep(500);  // a close taken late would have ended the dialog by now
  EXPECT_TRUE(IsWindowVisible(s.dialog)) << "the summary stays";
  EXPECT_FALSE(p_.WaitForBox(0).has_value()) << "nothing came over it";
  LeaveAndFinish(s);
  EXPECT_EQ(robot::KeyGetDword(kRegistration, "AppsServed"), std::optional<DWORD>(1));
}

TEST_F(SummaryRun, ManyLinesMakeTheScrollBoxScroll) {
  app_.Folder("");
  for (int i = 0; i < 40; ++i) app_.File("alterado" + std::to_string(i) + ".txt", /*changed=*/true);
  SummaryWindow s = RunUntilSummary();
  ASSERT_NE(s.list, nullptr);
  ASSERT_TRUE(Eventually([&] { return robot::ListCount(s.list) >= 41; }));
  RECT client{};
  GetClientRect(s.scrollBox, &client);
  RECT list{};
  GetWindowRect(s.list, &list);
  EXPECT_GT(list.bottom - list.top, client.bottom) << "one text line per entry";
  EXPECT_TRUE(GetWindowLongA(s.scrollBox, GWL_STYLE) & WS_VSCROLL);
  Sleep(300);
  summary_e2e::SaveWindowPicture(s.dialog, "summary-dialog-many-lines");

  // Scrolled to the end, the list's bottom meets the scroll box's.
  PostMessageA(s.scrollBox, WM_VSCROLL, SB_BOTTOM, 0);
  EXPECT_TRUE(Eventually([&] {
    RECT now{};
    GetWindowRect(s.list, &now);
    MapWindowPoints(nullptr, s.scrollBox, reinterpret_cast<POINT*>(&now), 2);
    return now.top < 0;
  }));
  LeaveAndFinish(s);
}

}  // namespace
