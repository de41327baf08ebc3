// The failure summary dialog on real windows under Wine: its layout, the
// sizing of its list, and deletions of real files and folders driven by real
// window messages (keys, context menu, button), with the questions of codes 42
// and 43 answered by a scripted message box or, once, from another thread.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/RunData.h"
#include "env/Enviro.h"
#include "platform/toolkit/Application.h"
#include "platform/win32/Win32Services.h"
#include "summary/ui/uSumary.h"
#include "tests/e2e/robot/Robot.h"

namespace {

// "Atenção"
constexpr char kAttention[] = "Aten\347\343o";
constexpr char kFilesHeader[] = "Arquivos que n\343o puderam ser apagados:";
constexpr char kFoldersHeader[] = "Pastas que n\343o puderam ser apagadas:";
constexpr char kShortcutsHeader[] = "Atalhos que n\343o puderam ser apagados:";

std::string AskFolder(const std::string& path) { return "Apagar a pasta \"" + path + "\"?"; }
std::string AskFile(const std::string& path) { return "Apagar o arquivo \"" + path + "\"?"; }

// Answers the questions from a script (No once it runs out) and notes them.
class ScriptedBox : public platform::IMessageBox {
 public:
  struct Asked {
    std::string text;
    std::string caption;
    uint32_t type;
    HWND active;
  };
  int ShowMessage(const std::string& text, const std::string& caption, uint32_t type) override {
    asked.push_back(Asked{text, caption, type, GetActiveWindow()});
    if (next < answers.size()) return answers[next++];
    return IDNO;
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> out;
    for (const Asked& a : asked) out.push_back(a.text);
    return out;
  }
  std::vector<int> answers;
  size_t next = 0;
  std::vector<Asked> asked;
};

LPARAM KeyData(UINT vk, bool up, bool alt = false) {
  LPARAM data = 1 | (LPARAM(MapVirtualKeyA(vk, 0)) << 16);
  if (alt) data |= LPARAM(KF_ALTDOWN) << 16;
  if (up) data |= (LPARAM(1) << 30) | (LPARAM(1) << 31);
  return data;
}

class SummaryDialog : public ::testing::Test {
 protected:
  SummaryDialog() {
    env::ScaleFactor = 1.0;
    app_.SetTitle("Teste");
    app_.SetErrorReport([this](const std::string& text) { reports_.push_back(text); });
  }
  ~SummaryDialog() override {
    dialog_.reset();
    Pump();
    EXPECT_TRUE(reports_.empty()) << reports_.front();
  }

  void Pump() { app_.ProcessMessages(); }

  void Header(const std::string& text) { list_.Add(text); }
  void Plain(const std::string& text) { list_.Add(text); }
  int FileLine(const std::string& path) {
    return list_.Add("    " + path, std::make_unique<app::TFailData>(app::TFailData{app::kFailFile}));
  }
  int FolderLine(const std::string& path) {
    return list_.Add("    " + path, std::make_unique<app::TFailData>(app::TFailData{app::kFailFolder}));
  }

  TfmSumary& Open(platform::IMessageBox* box = nullptr) {
    dialog_ = std::make_unique<TfmSumary>(nullptr, list_, fs_, box != nullptr ? *box : box_, locale_);
    return *dialog_;
  }
  // Opens and shows the dialog (not modally: the test pumps the messages).
  TfmSumary& Shown(platform::IMessageBox* box = nullptr) {
    TfmSumary& d = Open(box);
    d.Show();
    Pump();
    // Late focus events of the X server about windows of earlier tests may
    // have moved the activation; the questions go over the active window.
    SetActiveWindow(d.Handle());
    return d;
  }

  HWND List() { return dialog_->DBox.Handle(); }
  std::vector<std::string> ListTexts() { return robot::ListLines(List()); }
  std::vector<std::string> FailTexts() {
    std::vector<std::string> out;
    for (int i = 0; i < list_.Count(); ++i) out.push_back(list_.Text(i));
    return out;
  }
  void Select(int i) { ASSERT_TRUE(robot::ListSelect(List(), i, true)) << i; }
  int SelectedCount() { return static_cast<int>(SendMessageA(List(), LB_GETSELCOUNT, 0, 0)); }
  // A Delete key press on the list, as the keyboard sends it: with Alt held
  // it comes as a system key.
  void PressDelete(bool alt = false) {
    PostMessageA(List(), alt ? WM_SYSKEYDOWN : WM_KEYDOWN, VK_DELETE, KeyData(VK_DELETE, false, alt));
    PostMessageA(List(), alt ? WM_SYSKEYUP : WM_KEYUP, VK_DELETE, KeyData(VK_DELETE, true, alt));
    Pump();
  }

  std::string MakeFile(const std::string& relative, const std::string& bytes = "dados") {
    const std::string path = dir_ / relative;
    EXPECT_TRUE(robot::WriteFileBytes(path, bytes)) << path;
    return path;
  }
  std::string Folder(const std::string& relative) {
    std::string path = dir_ / relative;
    EXPECT_TRUE(robot::MakeFolders(path + "\\")) << path;
    return path;
  }

  toolkit::Application app_;
  std::vector<std::string> reports_;
  robot::TempDir dir_;
  app::TFailList list_;
  platform::win32::Win32FileSystem fs_;
  ScriptedBox box_;
  platform::win32::Win32Locale locale_;
  std::unique_ptr<TfmSumary> dialog_;
};

RECT Rect(int left, int top, int width, int height) { return RECT{left, top, left + width, top + height}; }

}  // namespace

inline bool operator==(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
inline std::ostream& operator<<(std::ostream& os, const RECT& r) {
  return os << "{" << r.left << "," << r.top << " - " << r.right << "," << r.bottom << "}";
}

namespace {

// --- layout -------------------------------------------------------------

TEST_F(SummaryDialog, IsACentredFixedDialogOf554By308WithItsCaption) {
  TfmSumary& d = Open();
  HWND h = d.Handle();
  EXPECT_EQ(d.ClientWidth(), 554);
  EXPECT_EQ(d.ClientHeight(), 308);
  EXPECT_EQ(robot::WindowText(h), "Sum\341rio de impossibilidades");
  const LONG style = GetWindowLongA(h, GWL_STYLE);
  EXPECT_TRUE(style & WS_CAPTION);
  EXPECT_TRUE(style & WS_SYSMENU) << "close box";
  EXPECT_FALSE(style & WS_THICKFRAME) << "not resizable";
  EXPECT_TRUE(GetWindowLongA(h, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME) << "dialog border";
  RECT r{};
  GetWindowRect(h, &r);
  EXPECT_NEAR((r.left + r.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
  EXPECT_NEAR((r.top + r.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 1);
  EXPECT_FALSE(IsWindowVisible(h)) << "created hidden; shown by the caller";
}

TEST_F(SummaryDialog, OwnerIsTheWindowItWasCreatedOver) {
  toolkit::FormParams p;
  p.caption = "principal";
  toolkit::Form owner(p);
  TfmSumary d(owner.Handle(), list_, fs_, box_, locale_);
  EXPECT_EQ(GetWindow(d.Handle(), GW_OWNER), owner.Handle());
}

TEST_F(SummaryDialog, ControlsSitWhereTheLayoutPutsThem) {
  TfmSumary& d = Open();
  EXPECT_EQ(d.ScrollBox.Bounds(), Rect(0, 0, 554, 266));
  EXPECT_EQ(d.Bevel1.Bounds(), Rect(0, 266, 554, 42));
  EXPECT_EQ(d.Bevel1.GetAlign(), toolkit::Align::Bottom);
  EXPECT_EQ(d.btOK.Bounds(), Rect(426, 278, 115, 19));
  EXPECT_EQ(d.Label1.Left(), 4);
  EXPECT_EQ(d.Label1.Top(), 272);
  EXPECT_EQ(d.Label2.Left(), 4);
  EXPECT_EQ(d.Label2.Top(), 288);
  // The labels size themselves to their text in the dialog's font.
  EXPECT_EQ(d.Label1.Height(), d.TextHeight(d.Label1.Caption()));
  EXPECT_EQ(d.Label2.Height(), d.TextHeight(d.Label2.Caption()));
  EXPECT_EQ(d.Label1.Width(), d.TextWidth(d.Label1.Caption()));
  EXPECT_EQ(d.Label2.Width(), d.TextWidth(d.Label2.Caption()));
  // The list sits in the scroll box at its design bounds until it is shown.
  EXPECT_EQ(GetParent(d.DBox.Handle()), d.ScrollBox.Handle());
  EXPECT_EQ(d.DBox.Bounds(), Rect(64, 62, 231, 95));
}

TEST_F(SummaryDialog, CaptionsHaveTheirExactBytes) {
  TfmSumary& d = Open();
  EXPECT_EQ(d.Label1.Caption(),
            "Clique com o bot\343o esquerdo sobre os itens de interesse para tomar alguma atitude.");
  EXPECT_EQ(d.Label2.Caption(), "Pode-se selecionar m\372ltiplos itens utilizando Ctrl ou Shift mais cliques.");
  EXPECT_EQ(d.btOK.Caption(), "&Deixar como est\341");
  char item[64] = {};
  ASSERT_EQ(GetMenuItemCount(d.PopupMenu.Handle()), 1);
  GetMenuStringA(d.PopupMenu.Handle(), 0, item, sizeof item, MF_BYPOSITION);
  EXPECT_STREQ(item, "&Apagar");
}

TEST_F(SummaryDialog, ButtonIsAPlainPushButtonWithModalResultOk) {
  TfmSumary& d = Open();
  const LONG style = GetWindowLongA(d.btOK.Handle(), GWL_STYLE);
  EXPECT_EQ(style & BS_TYPEMASK, BS_PUSHBUTTON) << "not the default button";
  EXPECT_EQ(d.btOK.ModalResult, toolkit::mrOk);
  EXPECT_NE(GetDlgCtrlID(d.btOK.Handle()), IDOK);
  EXPECT_NE(GetDlgCtrlID(d.btOK.Handle()), IDCANCEL) << "not the cancel button";
}

TEST_F(SummaryDialog, ListIsAMultiSelectIntegralHeightListWithTheMenu) {
  TfmSumary& d = Open();
  summary::TDrawBox& box = d.DBox;
  EXPECT_TRUE(box.MultiSelect());
  EXPECT_TRUE(box.ExtendedSelect());
  EXPECT_TRUE(box.IntegralHeight());
  EXPECT_EQ(box.StoredItemHeight(), 13);
  EXPECT_FALSE(box.TotalCtrlOverDraw);
  EXPECT_TRUE(box.OverKeyDown);
  EXPECT_TRUE(box.MoveSense);
  EXPECT_FALSE(box.Sorted());
  EXPECT_EQ(box.Style(), summary::lbStandard);
  EXPECT_EQ(box.Columns(), 0);
  EXPECT_EQ(box.GetPopupMenu(), &d.PopupMenu);
  const LONG style = GetWindowLongA(box.Handle(), GWL_STYLE);
  EXPECT_TRUE(style & LBS_EXTENDEDSEL);
  EXPECT_FALSE(style & LBS_NOINTEGRALHEIGHT);
  EXPECT_FALSE(style & LBS_SORT);
  EXPECT_FALSE(style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE));
}

TEST_F(SummaryDialog, FontIsMsSansSerif11AtNinetySixDpi) {
  TfmSumary& d = Open();
  EXPECT_EQ(d.FontName(), "MS Sans Serif");
  EXPECT_EQ(d.FontHeight(), -11);
  LOGFONTA lf{};
  ASSERT_NE(GetObjectA(reinterpret_cast<HFONT>(SendMessageA(d.DBox.Handle(), WM_GETFONT, 0, 0)), sizeof lf, &lf),
            0);
  EXPECT_EQ(lf.lfHeight, -11) << "the list takes the dialog's font";
  EXPECT_STREQ(lf.lfFaceName, "MS Sans Serif");
  // The line height used for sizing is that of a line of the list, in the
  // same font (13 pixels with the bitmap face; other faces differ).
  EXPECT_EQ(d.TextHeight("\301\307"), d.DBox.ItemHeight());
}

TEST_F(SummaryDialog, FontIsCompensatedForTheScaleFactor) {
  env::ScaleFactor = 1.25;
  TfmSumary& d = Open();
  EXPECT_EQ(d.FontHeight(), -9);
  LOGFONTA lf{};
  GetObjectA(reinterpret_cast<HFONT>(SendMessageA(d.Label1.Handle(), WM_GETFONT, 0, 0)), sizeof lf, &lf);
  EXPECT_EQ(lf.lfHeight, -9) << "the controls follow the dialog's font";
  dialog_.reset();
  env::ScaleFactor = 2.0;
  EXPECT_EQ(Open().FontHeight(), -6) << "-5.5 goes to the even neighbour";
}

// --- filling and sizing -------------------------------------------------

TEST_F(SummaryDialog, ShowingFillsTheListWithTheFailureLinesUnchanged) {
  Header(kFilesHeader);
  FileLine("C:\\Demo\\a.txt");
  Header(kShortcutsHeader);
  Plain("    C:\\Menu\\Demo.lnk");
  Plain(" HKEY_CURRENT_USER\\Software\\Demo ");
  Shown();
  EXPECT_EQ(ListTexts(), FailTexts());
  EXPECT_EQ(ListTexts()[1], "    C:\\Demo\\a.txt") << "leading blanks kept";
  EXPECT_EQ(SelectedCount(), 0);
}

TEST_F(SummaryDialog, ASingleShortLineFillsTheScrollBoxClientArea) {
  FolderLine("C:\\D");
  TfmSumary& d = Shown();
  const int clientW = d.ScrollBox.ClientWidth();
  const int clientH = d.ScrollBox.ClientHeight();
  EXPECT_EQ(clientW, 554 - 4) << "inside the scroll box's sunken edge";
  EXPECT_EQ(clientH, 266 - 4);
  const RECT r = d.DBox.Bounds();
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.top, 0);
  EXPECT_EQ(r.right, clientW);
  // The list keeps to whole lines of its own, so it may end up to one line
  // short of the height it was given.
  EXPECT_LE(r.bottom, clientH);
  EXPECT_GT(r.bottom, clientH - d.DBox.ItemHeight());
  const LONG style = GetWindowLongA(d.ScrollBox.Handle(), GWL_STYLE);
  EXPECT_FALSE(style & WS_VSCROLL);
  EXPECT_FALSE(style & WS_HSCROLL);
}

TEST_F(SummaryDialog, ManyLinesMakeTheScrollBoxScrollVertically) {
  Header(kFilesHeader);
  for (int i = 0; i < 59; ++i) FileLine("C:\\Demo\\f" + std::to_string(i) + ".txt");
  TfmSumary& d = Shown();
  const int line = d.TextHeight("\301\307");
  const RECT r = d.DBox.Bounds();
  EXPECT_EQ(r.right - r.left, 550) << "short lines: as wide as the client area was";
  EXPECT_GT(r.bottom - r.top, 262);
  EXPECT_LE(r.bottom - r.top, 60 * line);
  EXPECT_GT(r.bottom - r.top, 59 * line);
  EXPECT_TRUE(GetWindowLongA(d.ScrollBox.Handle(), GWL_STYLE) & WS_VSCROLL);
  // Scrolling to the end moves the list up.
  SendMessageA(d.ScrollBox.Handle(), WM_VSCROLL, SB_BOTTOM, 0);
  Pump();
  EXPECT_LT(d.DBox.Top(), 0);
  EXPECT_EQ(d.DBox.Bounds().bottom, d.ScrollBox.ClientHeight());
}

TEST_F(SummaryDialog, AWideLineMakesTheListWiderAndTheScrollBoxScrollSideways) {
  Header(kFilesHeader);
  const std::string wide = "    C:\\" + std::string(150, 'W') + "\\arquivo.txt";
  FileLine(wide.substr(4));
  TfmSumary& d = Open();
  const int expected = d.TextWidth(wide) + 50;
  ASSERT_GT(expected, 550);
  d.Show();
  Pump();
  EXPECT_EQ(d.DBox.Width(), expected);
  EXPECT_TRUE(GetWindowLongA(d.ScrollBox.Handle(), GWL_STYLE) & WS_HSCROLL);
  SendMessageA(d.ScrollBox.Handle(), WM_HSCROLL, SB_RIGHT, 0);
  Pump();
  EXPECT_LT(d.DBox.Left(), 0);
}

// --- deleting with the Delete key -----------------------------------------

TEST_F(SummaryDialog, DeleteKeyRemovesTheSelectedFileAndBlanksItsLine) {
  const std::string a = MakeFile("a.txt");
  const std::string b = MakeFile("b.txt");
  Header(kFilesHeader);
  FileLine(a);
  FileLine(b);
  Header(kShortcutsHeader);
  Plain("    C:\\Menu\\Demo.lnk");
  Shown();
  Select(1);
  PressDelete();
  EXPECT_FALSE(robot::FileExists(a));
  EXPECT_TRUE(robot::FileExists(b));
  ASSERT_EQ(list_.Count(), 5);
  EXPECT_EQ(list_.Text(1), "");
  EXPECT_EQ(list_.Object(1), nullptr);
  EXPECT_EQ(list_.Text(2), "    " + b);
  ASSERT_NE(list_.Object(2), nullptr);
  EXPECT_EQ(ListTexts(), FailTexts()) << "line i of the list is line i of the failure list";
  EXPECT_EQ(SelectedCount(), 0) << "the list was refilled";
  EXPECT_TRUE(box_.asked.empty()) << "a file line is not asked about";
}

TEST_F(SummaryDialog, SeveralSelectedFilesGoInOnePress) {
  const std::string a = MakeFile("a.txt");
  const std::string b = MakeFile("b.txt");
  const std::string c = MakeFile("c.txt");
  Header(kFilesHeader);
  FileLine(a);
  FileLine(b);
  FileLine(c);
  Shown();
  Select(1);
  Select(3);
  PressDelete();
  EXPECT_FALSE(robot::FileExists(a));
  EXPECT_TRUE(robot::FileExists(b));
  EXPECT_FALSE(robot::FileExists(c));
  EXPECT_EQ(FailTexts(), (std::vector<std::string>{kFilesHeader, "", "    " + b, ""}));
  EXPECT_EQ(ListTexts(), FailTexts());
}

// A click of the left button on line `line`, as the mouse sends it; the
// release is queued first because the list waits for it (drag detection).
void Click(HWND list, int line, WPARAM keys) {
  RECT item{};
  SendMessageA(list, LB_GETITEMRECT, static_cast<WPARAM>(line), reinterpret_cast<LPARAM>(&item));
  const LPARAM at = MAKELPARAM(item.left + 5, (item.top + item.bottom) / 2);
  PostMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON | keys, at);
  PostMessageA(list, WM_LBUTTONUP, keys, at);
}

TEST_F(SummaryDialog, ClickAndCtrlClickSelectLinesThatDeleteTogether) {
  const std::string a = MakeFile("a.txt");
  const std::string b = MakeFile("b.txt");
  const std::string c = MakeFile("c.txt");
  Header(kFilesHeader);
  FileLine(a);
  FileLine(b);
  FileLine(c);
  Shown();
  Click(List(), 1, 0);
  Pump();
  Click(List(), 3, MK_CONTROL);
  Pump();
  ASSERT_EQ(SelectedCount(), 2);
  EXPECT_TRUE(robot::ListIsSelected(List(), 1));
  EXPECT_TRUE(robot::ListIsSelected(List(), 3));
  PressDelete();
  EXPECT_FALSE(robot::FileExists(a));
  EXPECT_TRUE(robot::FileExists(b));
  EXPECT_FALSE(robot::FileExists(c));
  EXPECT_EQ(FailTexts(), (std::vector<std::string>{kFilesHeader, "", "    " + b, ""}));
}

TEST_F(SummaryDialog, ShiftClickSelectsARangeThatDeletesTogether) {
  std::vector<std::string> files;
  Header(kFilesHeader);
  for (int i = 0; i < 5; ++i) {
    files.push_back(MakeFile("f" + std::to_string(i) + ".txt"));
    FileLine(files.back());
  }
  Shown();
  Click(List(), 2, 0);
  Pump();
  Click(List(), 4, MK_SHIFT);
  Pump();
  ASSERT_EQ(SelectedCount(), 3) << "lines 2 to 4";
  PressDelete();
  EXPECT_EQ(FailTexts(),
            (std::vector<std::string>{kFilesHeader, "    " + files[0], "", "", "", "    " + files[4]}));
  EXPECT_TRUE(robot::FileExists(files[0]));
  EXPECT_FALSE(robot::FileExists(files[1]));
  EXPECT_FALSE(robot::FileExists(files[3]));
  EXPECT_TRUE(robot::FileExists(files[4]));
}

TEST_F(SummaryDialog, ShiftCtrlAndAltWithDeleteActTheSame) {
  const std::string a = MakeFile("a.txt");
  const std::string b = MakeFile("b.txt");
  Header(kFilesHeader);
  FileLine(a);
  FileLine(b);
  Shown();

  BYTE keys[256] = {};
  ASSERT_TRUE(GetKeyboardState(keys));
  BYTE held[256];
  std::copy(std::begin(keys), std::end(keys), held);
  held[VK_SHIFT] = held[VK_CONTROL] = 0x80;
  SetKeyboardState(held);
  Select(1);
  PressDelete();
  SetKeyboardState(keys);
  EXPECT_FALSE(robot::FileExists(a)) << "Shift+Ctrl+Delete";

  Select(2);
  PressDelete(/*alt=*/true);
  EXPECT_FALSE(robot::FileExists(b)) << "Alt+Delete";
  EXPECT_EQ(FailTexts(), (std::vector<std::string>{kFilesHeader, "", ""}));

  // The system still gets its keys: Alt+F4 on the list closes the dialog.
  PostMessageA(List(), WM_SYSKEYDOWN, VK_F4, KeyData(VK_F4, false, true));
  Pump();
  EXPECT_FALSE(IsWindowVisible(dialog_->Handle()));
}

TEST_F(SummaryDialog, OtherKeysAndDeleteWithoutSelectionDoNothing) {
  const std::string a = MakeFile("a.txt");
  Header(kFilesHeader);
  FileLine(a);
  TfmSumary& d = Shown();
  PressDelete();
  EXPECT_TRUE(robot::FileExists(a)) << "nothing selected";
  Select(1);
  for (UINT vk : {UINT(VK_BACK), UINT(VK_INSERT), UINT('D'), UINT(VK_SPACE)}) {
    WORD key = static_cast<WORD>(vk);
    d.DBoxKeyUp(d.DBox, key, 0);
  }
  EXPECT_TRUE(robot::FileExists(a));
  EXPECT_EQ(SelectedCount(), 1) << "no refill either";
  EXPECT_EQ(list_.Text(1), "    " + a);
}

TEST_F(SummaryDialog, ReadOnlyFileIsDeleted) {
  const std::string a = MakeFile("ro.txt");
  ASSERT_TRUE(SetFileAttributesA(a.c_str(), FILE_ATTRIBUTE_READONLY));
  Header(kFilesHeader);
  FileLine(a);
  Shown();
  Select(1);
  PressDelete();
  EXPECT_FALSE(robot::FileExists(a));
  EXPECT_EQ(list_.Text(1), "");
}

TEST_F(SummaryDialog, FileGoneMeanwhileBlanksItsLineWithoutAQuestion) {
  Header(kFilesHeader);
  FileLine(dir_ / "nunca-existiu.txt");
  Shown();
  Select(1);
  PressDelete();
  EXPECT_EQ(list_.Text(1), "");
  EXPECT_EQ(list_.Object(1), nullptr);
  EXPECT_TRUE(box_.asked.empty());
}

TEST_F(SummaryDialog, FileInUseKeepsItsLineAndCanBeTriedAgain) {
  const std::string a = MakeFile("em-uso.txt");
  HANDLE locked = CreateFileA(a.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(locked, INVALID_HANDLE_VALUE);
  Header(kFilesHeader);
  FileLine(a);
  Shown();
  Select(1);
  PressDelete();
  EXPECT_TRUE(robot::FileExists(a));
  EXPECT_EQ(list_.Text(1), "    " + a) << "a failed deletion leaves the line as it was";
  ASSERT_NE(list_.Object(1), nullptr);
  EXPECT_EQ(list_.Object(1)->Kind, app::kFailFile);
  EXPECT_EQ(ListTexts(), FailTexts());

  CloseHandle(locked);
  Select(1);
  PressDelete();
  EXPECT_FALSE(robot::FileExists(a));
  EXPECT_EQ(list_.Text(1), "");
}

// --- folders -------------------------------------------------------------

TEST_F(SummaryDialog, FolderWithTwoFilesYesYesRemovesItAndBlanksTheLine) {
  const std::string folder = Folder("pasta");
  const std::string x = MakeFile("pasta\\x.txt");
  const std::string y = MakeFile("pasta\\y.txt");
  Header(kFoldersHeader);
  FolderLine(folder);
  TfmSumary& d = Shown();
  box_.answers = {IDYES, IDYES};
  Select(1);
  PressDelete();
  ASSERT_EQ(box_.asked.size(), 2u);
  const std::vector<std::string> texts = box_.Texts();
  EXPECT_EQ(std::set<std::string>(texts.begin(), texts.end()), (std::set<std::string>{AskFile(x), AskFile(y)}));
  for (const auto& a : box_.asked) {
    EXPECT_EQ(a.caption, kAttention);
    EXPECT_EQ(a.type, 52u) << "exclamation, Yes and No";
    EXPECT_EQ(a.active, d.Handle()) << "asked over the dialog";
  }
  EXPECT_FALSE(robot::FolderExists(folder));
  EXPECT_EQ(FailTexts(), (std::vector<std::string>{kFoldersHeader, ""}));
  EXPECT_EQ(list_.Object(1), nullptr);
  EXPECT_EQ(ListTexts(), FailTexts());
}

TEST_F(SummaryDialog, FolderWithOneFileKeptStaysWithItsLine) {
  const std::string folder = Folder("pasta");
  MakeFile("pasta\\x.txt");
  MakeFile("pasta\\y.txt");
  Header(kFoldersHeader);
  FolderLine(folder);
  Shown();
  box_.answers = {IDYES, IDNO};
  Select(1);
  PressDelete();
  ASSERT_EQ(box_.asked.size(), 2u);
  EXPECT_TRUE(robot::FolderExists(folder));
  // The first one asked went, the second stayed.
  auto named = [](const std::string& question) { return question.substr(18, question.size() - 20); };
  const std::string first = named(box_.asked[0].text);
  const std::string second = named(box_.asked[1].text);
  ASSERT_EQ(box_.asked[0].text, AskFile(first));
  EXPECT_FALSE(robot::FileExists(first)) << first;
  EXPECT_TRUE(robot::FileExists(second)) << second;
  EXPECT_EQ(list_.Text(1), "    " + folder);
  ASSERT_NE(list_.Object(1), nullptr);
  EXPECT_EQ(list_.Object(1)->Kind, app::kFailFolder);
  EXPECT_EQ(ListTexts(), FailTexts());
}

TEST_F(SummaryDialog, SubFolderIsAskedBeforeWhatItHolds) {
  const std::string folder = Folder("pasta");
  const std::string sub = Folder("pasta\\sub");
  const std::string inner = MakeFile("pasta\\sub\\f.txt");
  Header(kFoldersHeader);
  FolderLine(folder);
  Shown();
  box_.answers = {IDYES, IDYES};
  Select(1);
  PressDelete();
  EXPECT_EQ(box_.Texts(), (std::vector<std::string>{AskFolder(sub), AskFile(inner)}));
  EXPECT_FALSE(robot::FolderExists(folder));
  EXPECT_EQ(list_.Text(1), "");
}

TEST_F(SummaryDialog, FolderLineWithATrailingBackslashAndHiddenFolderAreRemoved) {
  const std::string folder = Folder("oculta");
  MakeFile("oculta\\x.txt");
  ASSERT_TRUE(SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY));
  Header(kFoldersHeader);
  FolderLine(folder + "\\");
  Shown();
  box_.answers = {IDYES};
  Select(1);
  PressDelete();
  EXPECT_EQ(box_.Texts(), std::vector<std::string>{AskFile(folder + "\\x.txt")});
  EXPECT_FALSE(robot::FolderExists(folder)) << "a hidden folder is removed like any other";
  EXPECT_EQ(list_.Text(1), "");
}

TEST_F(SummaryDialog, RealQuestionBoxIsOwnedByTheDialogAndAnsweredYes) {
  const std::string folder = Folder("pasta");
  const std::string x = MakeFile("pasta\\x.txt");
  Header(kFoldersHeader);
  FolderLine(folder);
  platform::win32::Win32MessageBox realBox;
  TfmSumary& d = Shown(&realBox);
  Select(1);

  // Another thread plays the person at the screen.
  std::atomic<bool> stop{false};
  std::string seenText, seenCaption;
  HWND seenOwner = nullptr;
  std::thread person([&] {
    const DWORD pid = GetCurrentProcessId();
    while (!stop) {
      HWND box = nullptr;
      while ((box = FindWindowExA(nullptr, box, "#32770", nullptr)) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(box, &owner);
        if (owner != pid || !IsWindowVisible(box)) continue;
        seenText = robot::WindowText(GetDlgItem(box, 0xFFFF));
        seenCaption = robot::WindowText(box);
        seenOwner = GetWindow(box, GW_OWNER);
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDYES)));
        return;
      }
      Sleep(50);
    }
  });
  PressDelete();
  stop = true;
  person.join();
  EXPECT_EQ(seenText, AskFile(x));
  EXPECT_EQ(seenCaption, kAttention);
  EXPECT_EQ(seenOwner, d.Handle());
  EXPECT_FALSE(robot::FolderExists(folder));
  EXPECT_EQ(list_.Text(1), "");
}

// --- blank and inert lines ------------------------------------------------

TEST_F(SummaryDialog, BlankedLinesStayAndDoNothingWhenChosenAgain) {
  const std::string a = MakeFile("a.txt");
  const std::string folder = Folder("vazia");
  Header(kFilesHeader);
  FileLine(a);
  Header(kFoldersHeader);
  FolderLine(folder);
  TfmSumary& d = Shown();
  Select(1);
  Select(3);
  PressDelete();
  ASSERT_EQ(FailTexts(), (std::vector<std::string>{kFilesHeader, "", kFoldersHeader, ""}));
  EXPECT_TRUE(box_.asked.empty()) << "an empty folder asks nothing";

  // A file of the same name appears again: the blanked line no longer names it.
  MakeFile("a.txt");
  Select(1);
  Select(3);
  d.miApagarClick();
  EXPECT_TRUE(robot::FileExists(a));
  EXPECT_EQ(FailTexts(), (std::vector<std::string>{kFilesHeader, "", kFoldersHeader, ""}));
  EXPECT_EQ(ListTexts(), FailTexts());
  EXPECT_TRUE(box_.asked.empty());
}

TEST_F(SummaryDialog, HeaderAndShortcutLinesDeleteNothingButLoseTheSelection) {
  const std::string lnk = MakeFile("Demo.lnk");
  Header(kShortcutsHeader);
  Plain("    " + lnk);
  Plain(" HKEY_CURRENT_USER\\Software\\Demo");
  Shown();
  Select(0);
  Select(1);
  Select(2);
  PressDelete();
  EXPECT_TRUE(robot::FileExists(lnk));
  EXPECT_EQ(FailTexts(), (std::vector<std::string>{kShortcutsHeader, "    " + lnk, " HKEY_CURRENT_USER\\Software\\Demo"}));
  EXPECT_EQ(ListTexts(), FailTexts());
  EXPECT_EQ(SelectedCount(), 0);
}

TEST_F(SummaryDialog, RefillMeasuresTheWidthAfresh) {
  const std::string wide = MakeFile(std::string(120, 'W') + ".txt");
  Header(kFilesHeader);
  FileLine(wide);
  TfmSumary& d = Shown();
  ASSERT_GT(d.DBox.Width(), 550);
  // Measured while the scroll bars still stand: the client area is what is
  // left beside them.
  const int clientBeside = d.ScrollBox.ClientWidth();
  ASSERT_LT(clientBeside, 550);
  Select(1);
  PressDelete();
  ASSERT_EQ(list_.Text(1), "");
  EXPECT_EQ(d.DBox.Width(), clientBeside) << "an empty line counts as 50 only";
  EXPECT_FALSE(GetWindowLongA(d.ScrollBox.Handle(), GWL_STYLE) & WS_HSCROLL);
}

// --- the context menu -----------------------------------------------------

// What the menu showed while it was open, read from inside its own loop.
struct MenuVisit {
  static inline HMENU menu = nullptr;
  static inline bool opened = false;
  static inline bool grayed = false;
  static inline bool choose = false;
  static void CALLBACK Look(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    opened = true;
    grayed = (GetMenuState(menu, 0, MF_BYPOSITION) & MF_GRAYED) != 0;
    if (!choose) {
      EndMenu();
      return;
    }
    HWND tracked = FindWindowA("#32768", nullptr);
    PostMessageA(tracked, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageA(tracked, WM_KEYDOWN, VK_RETURN, 0);
  }
};

class SummaryMenu : public SummaryDialog {
 protected:
  // The context-menu gesture over the list. A late focus event of the X
  // server can close a menu the moment it opens; such an attempt is made
  // again, a few times at most.
  void OpenMenu(TfmSumary& d, bool choose) {
    MenuVisit::menu = d.PopupMenu.Handle();
    MenuVisit::choose = choose;
    for (int attempt = 0; attempt < 3; ++attempt) {
      MenuVisit::opened = false;
      const UINT_PTR timer = SetTimer(nullptr, 0, 100, &MenuVisit::Look);
      RECT r{};
      GetWindowRect(List(), &r);
      PostMessageA(List(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(List()), MAKELPARAM(r.left + 20, r.top + 5));
      Pump();
      if (MenuVisit::opened) return;
      KillTimer(nullptr, timer);
      SetActiveWindow(d.Handle());
    }
    FAIL() << "the menu did not open";
  }
};

TEST_F(SummaryMenu, ApagarIsDisabledWithoutSelectionAndEnabledWithOne) {
  const std::string a = MakeFile("a.txt");
  Header(kFilesHeader);
  FileLine(a);
  TfmSumary& d = Shown();
  OpenMenu(d, false);
  EXPECT_TRUE(MenuVisit::grayed);
  EXPECT_FALSE(d.miApagar.Enabled());

  Select(0);
  OpenMenu(d, false);
  EXPECT_FALSE(MenuVisit::grayed) << "a header line counts as a selection";
  EXPECT_TRUE(d.miApagar.Enabled());
  EXPECT_TRUE(robot::FileExists(a));
}

TEST_F(SummaryMenu, ChoosingApagarDeletesTheSelectedFile) {
  const std::string a = MakeFile("a.txt");
  Header(kFilesHeader);
  FileLine(a);
  TfmSumary& d = Shown();
  Select(1);
  OpenMenu(d, true);
  Pump();
  EXPECT_FALSE(robot::FileExists(a));
  EXPECT_EQ(FailTexts(), (std::vector<std::string>{kFilesHeader, ""}));
  EXPECT_EQ(ListTexts(), FailTexts());
}

// --- the modal display ------------------------------------------------------

// Runs inside the modal loop: selects the file line, presses Delete on it,
// then the button.
struct ModalVisit {
  static inline TfmSumary* dialog = nullptr;
  static void CALLBACK Act(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    HWND list = dialog->DBox.Handle();
    SendMessageA(list, LB_SETSEL, TRUE, 1);
    PostMessageA(list, WM_KEYDOWN, VK_DELETE, KeyData(VK_DELETE, false));
    PostMessageA(list, WM_KEYUP, VK_DELETE, KeyData(VK_DELETE, true));
    PostMessageA(dialog->Handle(), WM_COMMAND, MAKEWPARAM(dialog->btOK.Id(), BN_CLICKED),
                 reinterpret_cast<LPARAM>(dialog->btOK.Handle()));
  }
};

TEST_F(SummaryDialog, ModalDisplayShowsTheLinesAndTheButtonEndsItWithOk) {
  const std::string a = MakeFile("a.txt");
  Header(kFilesHeader);
  FileLine(a);
  TfmSumary& d = Open();
  ModalVisit::dialog = &d;
  SetTimer(nullptr, 0, 50, &ModalVisit::Act);
  EXPECT_EQ(d.ShowModal(), toolkit::mrOk);
  EXPECT_FALSE(robot::FileExists(a));
  EXPECT_EQ(FailTexts(), (std::vector<std::string>{kFilesHeader, ""}));
  EXPECT_EQ(ListTexts(), FailTexts());
  EXPECT_FALSE(IsWindowVisible(d.Handle()));
}

TEST_F(SummaryDialog, CloseBoxEndsTheModalDisplayLeavingEverything) {
  const std::string a = MakeFile("a.txt");
  Header(kFilesHeader);
  FileLine(a);
  TfmSumary& d = Open();
  PostMessageA(d.Handle(), WM_CLOSE, 0, 0);
  EXPECT_EQ(d.ShowModal(), toolkit::mrCancel);
  EXPECT_TRUE(robot::FileExists(a));
  EXPECT_EQ(ListTexts(), FailTexts()) << "shown once, filled once";
}

}  // namespace
