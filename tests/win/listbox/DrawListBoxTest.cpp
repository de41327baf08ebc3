// TDrawBox on a real form under Wine, driven with real window messages.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/toolkit/Application.h"
#include "platform/toolkit/Form.h"
#include "summary/DrawListBox.h"

using summary::TDrawBox;

namespace {

class DrawBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    app_.SetTitle("listbox test");
    // A report here means an error reached a window procedure.
    app_.SetErrorReport([this](const std::string& text) { reports_.push_back(text); });
    toolkit::FormParams p;
    p.caption = "DrawBox";
    p.clientWidth = 300;
    p.clientHeight = 200;
    form_ = std::make_unique<toolkit::Form>(p);
    box_ = std::make_unique<TDrawBox>(*form_, 10, 10);
    form_->Show();
    Pump();
  }
  void TearDown() override {
    box_.reset();
    form_.reset();
    EXPECT_TRUE(reports_.empty()) << reports_.front();
  }

  void Pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }

  HWND List() { return box_->Handle(); }
  LONG Style() { return GetWindowLongA(List(), GWL_STYLE); }
  LONG ExStyle() { return GetWindowLongA(List(), GWL_EXSTYLE); }

  void Fill(int n, const char* prefix = "line") {
    for (int i = 0; i < n; ++i) {
      char text[32];
      wsprintfA(text, "%s%02d", prefix, i);
      box_->Items().AddObject(text, Obj(i));
    }
  }
  static void* Obj(int i) { return reinterpret_cast<void*>(static_cast<intptr_t>(0x1000 + 16 * i)); }

  RECT ItemRect(int i) {
    RECT r{};
    SendMessageA(List(), LB_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r));
    return r;
  }

  void MouseMove(int x, int y) { SendMessageA(List(), WM_MOUSEMOVE, 0, MAKELPARAM(x, y)); }

  toolkit::Application app_;
  std::vector<std::string> reports_;
  std::unique_ptr<toolkit::Form> form_;
  std::unique_ptr<TDrawBox> box_;
};

// A 32-bit image of what a drawing step put into a memory DC.
class Image {
 public:
  Image(int width, int height, COLORREF fill) : width_(width), height_(height) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    dc_ = CreateCompatibleDC(nullptr);
    bitmap_ = CreateDIBSection(dc_, &bi, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
    old_ = SelectObject(dc_, bitmap_);
    HBRUSH b = CreateSolidBrush(fill);
    RECT all{0, 0, width, height};
    FillRect(dc_, &all, b);
    DeleteObject(b);
  }
  ~Image() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  HDC dc() const { return dc_; }
  COLORREF At(int x, int y) const {
    GdiFlush();
    const uint32_t v = bits_[y * width_ + x];
    return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
  }
  // The pixels of rows [top, top + height) and columns [0, width).
  std::vector<COLORREF> Band(int top, int height, int width) const {
    std::vector<COLORREF> out;
    for (int y = top; y < top + height; ++y)
      for (int x = 0; x < width; ++x) out.push_back(At(x, y));
    return out;
  }
  int width() const { return width_; }
  int height() const { return height_; }

 private:
  int width_, height_;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  uint32_t* bits_ = nullptr;
};

constexpr COLORREF kMagenta = RGB(255, 0, 255);

// --- creation styles -------------------------------------------------------

TEST_F(DrawBoxTest, CreatesAListWithTheDefaultStylesAndSize) {
  // The list takes its scroll bars off while it does not need them.
  EXPECT_EQ(box_->WindowStyle() & 0x00300041u, 0x00300041u);
  const LONG want = LBS_HASSTRINGS | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
  EXPECT_EQ(Style() & want, want);
  EXPECT_EQ(Style() & (WS_BORDER | LBS_SORT | LBS_EXTENDEDSEL | LBS_MULTIPLESEL | LBS_MULTICOLUMN |
                       LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE | LBS_USETABSTOPS),
            0);
  // A single border in the 3-D look is a sunken client edge.
  EXPECT_TRUE(ExStyle() & WS_EX_CLIENTEDGE);
  EXPECT_EQ(box_->Width(), 121);
  EXPECT_EQ(box_->Height(), 97);
  EXPECT_EQ(box_->Left(), 10);
  EXPECT_EQ(GetClassLongA(List(), GCL_STYLE) & (CS_HREDRAW | CS_VREDRAW), 0u);
  EXPECT_TRUE(box_->TotalCtrlOverDraw);
  EXPECT_TRUE(box_->OverKeyDown);
  EXPECT_TRUE(box_->MoveSense);
  EXPECT_TRUE(box_->ExtendedSelect());
  EXPECT_EQ(box_->StoredItemHeight(), 16);
  EXPECT_EQ(box_->DragMode, summary::dmManual);
}

TEST_F(DrawBoxTest, StyleBitsFollowTheProperties) {
  box_->SetCtl3D(false);
  EXPECT_TRUE(Style() & WS_BORDER);
  EXPECT_FALSE(ExStyle() & WS_EX_CLIENTEDGE);
  box_->SetBorderStyle(summary::bsNone);
  EXPECT_FALSE(Style() & WS_BORDER);
  box_->SetMultiSelect(true);
  EXPECT_TRUE(Style() & LBS_EXTENDEDSEL);
  box_->SetExtendedSelect(false);
  EXPECT_TRUE(Style() & LBS_MULTIPLESEL);
  EXPECT_FALSE(Style() & LBS_EXTENDEDSEL);
  box_->SetSorted(true);
  EXPECT_TRUE(Style() & LBS_SORT);
  box_->SetIntegralHeight(true);
  EXPECT_FALSE(Style() & LBS_NOINTEGRALHEIGHT);
  box_->SetStyle(summary::lbOwnerDrawVariable);
  EXPECT_TRUE(Style() & LBS_OWNERDRAWVARIABLE);
  box_->SetStyle(summary::lbOwnerDrawFixed);
  EXPECT_TRUE(Style() & LBS_OWNERDRAWFIXED);
  EXPECT_FALSE(Style() & LBS_OWNERDRAWVARIABLE);
}

// --- lines ------------------------------------------------------------------

TEST_F(DrawBoxTest, ALineOf4095CharactersIsReadBackWhole) {
  std::string text;
  for (int i = 0; i < 4095; ++i) text += static_cast<char>('a' + i % 26);
  text[4094] = 'Z';
  box_->Items().Add("short");
  box_->Items().Add(text);
  EXPECT_EQ(box_->Items().Get(1), text);
  EXPECT_EQ(box_->Items()[0], "short");
}

TEST_F(DrawBoxTest, ReadingABadIndexOrTheReservedValueIsAnError) {
  box_->Items().AddObject("a", reinterpret_cast<void*>(static_cast<intptr_t>(-1)));
  box_->Items().AddObject("b", Obj(1));
  try {
    box_->Items().GetObject(0);
    FAIL() << "item value -1 was read back";
  } catch (const summary::EStringListError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (0)");
  }
  EXPECT_EQ(box_->Items().GetObject(1), Obj(1));
  try {
    box_->Items().Get(5);
    FAIL() << "line 5 was read";
  } catch (const summary::EStringListError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (5)");
  }
  try {
    box_->IsSelected(-3);
    FAIL() << "IsSelected(-3) answered";
  } catch (const summary::EListError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (-3)");
  }
  // Both are the project's error type, as the error report expects.
  EXPECT_THROW(box_->Items().Get(-1), platform::Error);
}

// Answers LB_ERRSPACE to every new line, as a list out of memory would.
WNDPROC g_realProc = nullptr;
LRESULT CALLBACK RefuseLines(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == LB_ADDSTRING || m == LB_INSERTSTRING) return LB_ERRSPACE;
  return CallWindowProcA(g_realProc, h, m, w, l);
}

TEST_F(DrawBoxTest, AWindowThatRefusesALineGivesUnableToInsertALine) {
  box_->Items().Add("kept");
  g_realProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(List(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RefuseLines)));
  std::string addError, insertError;
  try {
    box_->Items().Add("refused");
  } catch (const summary::EOutOfResources& e) {
    addError = e.what();
  }
  try {
    box_->Items().InsertObject(0, "refused", Obj(3));
  } catch (const summary::EOutOfResources& e) {
    insertError = e.what();
  }
  SetWindowLongPtrA(List(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_realProc));
  EXPECT_EQ(addError, "Unable to insert a line");
  EXPECT_EQ(insertError, "Unable to insert a line");
  ASSERT_EQ(box_->Items().Count(), 1);
  EXPECT_EQ(box_->Items().Get(0), "kept");
}

TEST_F(DrawBoxTest, ReplacingALineKeepsItsObjectAndTheCurrentLine) {
  Fill(8);
  box_->SetCurrentIndex(5);
  box_->Items().Put(3, "new three");
  EXPECT_EQ(box_->Items().Get(3), "new three");
  EXPECT_EQ(box_->Items().GetObject(3), Obj(3));
  EXPECT_EQ(box_->Items().Count(), 8);
  EXPECT_EQ(box_->CurrentIndex(), 5);
  box_->Items().PutObject(3, Obj(77));
  EXPECT_EQ(box_->Items().GetObject(3), Obj(77));
  box_->Items().Delete(0);
  EXPECT_EQ(box_->Items().Get(0), "line01");
  box_->Items().Clear();
  EXPECT_EQ(box_->Items().Count(), 0);
}

TEST_F(DrawBoxTest, WritingItemsCopiesTextsAndObjects) {
  Fill(2, "old");
  summary::TStringList source;
  source.AddObject("x", Obj(9));
  source.AddObject("y", nullptr);
  box_->SetItems(source);
  ASSERT_EQ(box_->Items().Count(), 2);
  EXPECT_EQ(box_->Items().Get(0), "x");
  EXPECT_EQ(box_->Items().GetObject(0), Obj(9));
  EXPECT_EQ(box_->Items().GetObject(1), nullptr);
  // Redrawing is on again after the update.
  box_->Items().BeginUpdate();
  box_->Items().EndUpdate();
  EXPECT_TRUE(IsWindowVisible(List()));
}

// --- re-creation --------------------------------------------------------------

struct Recreation {
  const char* name;
  std::function<void(TDrawBox&)> prepare;  // runs before the lines are added
  std::function<void(TDrawBox&)> write;
};

class RecreationTest : public DrawBoxTest, public ::testing::WithParamInterface<Recreation> {};

TEST_P(RecreationTest, KeepsLinesObjectsFirstVisibleAndCurrentLine) {
  const Recreation& c = GetParam();
  if (c.prepare) c.prepare(*box_);
  Fill(30);  // already in sorted order, so a sorted list keeps the places
  box_->SetTopRow(10);
  if (box_->MultiSelect())
    SendMessageA(List(), LB_SETCARETINDEX, 12, FALSE);
  else
    box_->SetCurrentIndex(12);
  box_->SetTopRow(10);
  ASSERT_EQ(box_->TopRow(), 10);
  ASSERT_EQ(box_->CurrentIndex(), 12);
  const HWND before = List();
  const LONG styleBefore = Style();
  const LONG exBefore = ExStyle();
  const bool enabled = box_->Enabled();

  c.write(*box_);

  EXPECT_TRUE(List() != before || Style() != styleBefore || ExStyle() != exBefore) << "nothing changed";
  ASSERT_EQ(box_->Items().Count(), 30);
  for (int i = 0; i < 30; ++i) {
    char text[16];
    wsprintfA(text, "line%02d", i);
    EXPECT_EQ(box_->Items().Get(i), text);
    EXPECT_EQ(box_->Items().GetObject(i), Obj(i));
  }
  EXPECT_EQ(box_->TopRow(), 10);
  EXPECT_EQ(box_->CurrentIndex(), 12);
  EXPECT_EQ(box_->Enabled(), enabled);
}

INSTANTIATE_TEST_SUITE_P(
    PropertyWrites, RecreationTest,
    ::testing::Values(
        Recreation{"Sorted", nullptr, [](TDrawBox& b) { b.SetSorted(true); }},
        Recreation{"StyleOwnerDrawFixed", nullptr, [](TDrawBox& b) { b.SetStyle(summary::lbOwnerDrawFixed); }},
        Recreation{"StyleOwnerDrawVariable", nullptr,
                   [](TDrawBox& b) { b.SetStyle(summary::lbOwnerDrawVariable); }},
        Recreation{"MultiSelectOff", [](TDrawBox& b) { b.SetMultiSelect(true); },
                   [](TDrawBox& b) { b.SetMultiSelect(false); }},
        Recreation{"ExtendedSelect", nullptr, [](TDrawBox& b) { b.SetExtendedSelect(false); }},
        Recreation{"IntegralHeight", nullptr, [](TDrawBox& b) { b.SetIntegralHeight(true); }},
        Recreation{"BorderStyleNone", nullptr, [](TDrawBox& b) { b.SetBorderStyle(summary::bsNone); }},
        Recreation{"ItemHeight", [](TDrawBox& b) { b.SetStyle(summary::lbOwnerDrawFixed); },
                   [](TDrawBox& b) { b.SetItemHeight(13); }},
        Recreation{"TabWidth", nullptr, [](TDrawBox& b) { b.SetTabWidth(8); }},
        Recreation{"Ctl3D", nullptr, [](TDrawBox& b) { b.SetCtl3D(false); }},
        Recreation{"SortedWhileDisabled", [](TDrawBox& b) { b.SetEnabled(false); },
                   [](TDrawBox& b) { b.SetSorted(true); }}),
    [](const ::testing::TestParamInfo<Recreation>& info) { return std::string(info.param.name); });

TEST_F(DrawBoxTest, MultiSelectOnKeepsTheLinesAndTheFirstVisibleLine) {
  Fill(30);
  box_->SetTopRow(10);
  box_->SetMultiSelect(true);
  EXPECT_TRUE(Style() & LBS_EXTENDEDSEL);
  ASSERT_EQ(box_->Items().Count(), 30);
  EXPECT_EQ(box_->Items().Get(29), "line29");
  EXPECT_EQ(box_->Items().GetObject(29), Obj(29));
  EXPECT_EQ(box_->TopRow(), 10);
}

TEST_F(DrawBoxTest, WritingTheSameValueDoesNotRecreate) {
  Fill(3);
  const HWND before = List();
  box_->SetSorted(false);
  box_->SetStyle(summary::lbStandard);
  box_->SetBorderStyle(summary::bsSingle);
  box_->SetItemHeight(16);
  box_->SetTabWidth(0);
  box_->SetColumns(0);
  EXPECT_EQ(List(), before);
}

TEST_F(DrawBoxTest, ItemHeightTakesOnlyPositiveValuesAndTabWidthNoNegative) {
  box_->SetStyle(summary::lbOwnerDrawFixed);
  const HWND before = List();
  box_->SetItemHeight(0);
  box_->SetItemHeight(-4);
  EXPECT_EQ(box_->StoredItemHeight(), 16);
  EXPECT_EQ(List(), before);
  box_->SetItemHeight(20);
  EXPECT_EQ(box_->ItemHeight(), 20);
  EXPECT_EQ(SendMessageA(List(), LB_GETITEMHEIGHT, 0, 0), 20);

  box_->SetTabWidth(12);
  EXPECT_TRUE(Style() & LBS_USETABSTOPS);
  box_->SetTabWidth(-5);
  EXPECT_EQ(box_->TabWidth(), 0);
  EXPECT_FALSE(Style() & LBS_USETABSTOPS);
}

TEST_F(DrawBoxTest, StandardItemHeightIsTheWindowsOwn) {
  box_->Items().Add("a");
  box_->SetItemHeight(40);
  const RECT r = ItemRect(0);
  EXPECT_EQ(box_->StoredItemHeight(), 40);
  EXPECT_EQ(box_->ItemHeight(), r.bottom - r.top);
  EXPECT_NE(box_->ItemHeight(), 40);
}

// --- columns ------------------------------------------------------------------

TEST_F(DrawBoxTest, ThreeColumnsAtWidth121AreFortyPixelsWide) {
  Fill(40);
  box_->SetColumns(3);
  EXPECT_TRUE(Style() & LBS_MULTICOLUMN);
  ASSERT_EQ(box_->Width(), 121);
  EXPECT_EQ(ItemRect(0).right - ItemRect(0).left, 40);
  // The first line of the second column starts 40 pixels in.
  int second = -1;
  for (int i = 1; i < 40 && second < 0; ++i)
    if (ItemRect(i).left > 0) second = i;
  ASSERT_GT(second, 0);
  EXPECT_EQ(ItemRect(second).left, 40);
  EXPECT_EQ(ItemRect(second).top, 0);

  // 3 to 4 columns: no new window, width (121 + 1) div 4.
  const HWND before = List();
  box_->SetColumns(4);
  EXPECT_EQ(List(), before);
  EXPECT_EQ(ItemRect(0).right - ItemRect(0).left, 30);
  // A resize sets the width again: (201 + 1) div 4.
  box_->SetBounds(10, 10, 201, 97);
  EXPECT_EQ(ItemRect(0).right - ItemRect(0).left, 50);
  box_->SetColumns(0);
  EXPECT_FALSE(Style() & LBS_MULTICOLUMN);
  EXPECT_EQ(box_->Items().Count(), 40);
}

// --- selection and positions -----------------------------------------------------

TEST_F(DrawBoxTest, SelectionQueriesPassTheWindowsRepliesOn) {
  Fill(5);
  EXPECT_EQ(box_->SelectedCount(), -1);  // single selection
  EXPECT_EQ(box_->CurrentIndex(), -1);
  box_->SetCurrentIndex(2);
  EXPECT_TRUE(box_->IsSelected(2));
  EXPECT_FALSE(box_->IsSelected(1));
  box_->SetMultiSelect(true);
  SendMessageA(List(), LB_SETSEL, TRUE, 1);
  SendMessageA(List(), LB_SETSEL, TRUE, 3);
  EXPECT_EQ(box_->SelectedCount(), 2);
  // A multi-selection list does not take a current index.
  box_->SetCurrentIndex(4);
  EXPECT_FALSE(box_->IsSelected(4));
  EXPECT_EQ(box_->SelectedCount(), 2);
}

TEST_F(DrawBoxTest, ItemAtPointFindsLinesFromTheFirstVisibleOne) {
  Fill(3);
  const RECT r1 = ItemRect(1);
  EXPECT_EQ(box_->ItemAtPoint(POINT{5, r1.top + 1}, true), 1);
  EXPECT_EQ(box_->ItemAtPoint(POINT{-1, 5}, true), -1);
  EXPECT_EQ(box_->ItemAtPoint(POINT{5, 500}, false), -1);  // outside the client area
  const RECT r2 = ItemRect(2);
  EXPECT_EQ(box_->ItemAtPoint(POINT{5, r2.bottom + 2}, true), -1);
  EXPECT_EQ(box_->ItemAtPoint(POINT{5, r2.bottom + 2}, false), 3);
}

// --- notifications ------------------------------------------------------------

TEST_F(DrawBoxTest, SelectionChangeAndDoubleClickRaiseTheirEvents) {
  Fill(5);
  int clicks = 0, doubles = 0;
  box_->OnClick = [&](summary::TCustomDrawListBox&) { ++clicks; };
  box_->OnDblClick = [&](summary::TCustomDrawListBox&) { ++doubles; };
  box_->SetCurrentIndex(0);
  EXPECT_EQ(clicks, 0);  // a program's change is no user's click
  SendMessageA(List(), WM_KEYDOWN, VK_DOWN, 0);
  EXPECT_EQ(box_->CurrentIndex(), 1);
  EXPECT_EQ(clicks, 1);
  SendMessageA(form_->Handle(), WM_COMMAND, MAKEWPARAM(box_->Id(), LBN_DBLCLK), reinterpret_cast<LPARAM>(List()));
  EXPECT_EQ(doubles, 1);
  SendMessageA(form_->Handle(), WM_COMMAND, MAKEWPARAM(box_->Id(), LBN_SETFOCUS), reinterpret_cast<LPARAM>(List()));
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(doubles, 1);
}

TEST_F(DrawBoxTest, AnErrorInAnEventReachesTheErrorReportNotTheCaller) {
  Fill(3);
  box_->SetCurrentIndex(0);
  box_->OnClick = [](summary::TCustomDrawListBox&) { throw platform::Error("boom"); };
  SendMessageA(List(), WM_KEYDOWN, VK_DOWN, 0);
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_EQ(reports_[0], "boom");
  reports_.clear();
  EXPECT_EQ(box_->CurrentIndex(), 1);
}

TEST_F(DrawBoxTest, ItemsAccessCreatesAMissingWindowInItsOldPlace) {
  box_->SetBounds(20, 30, 150, 90);
  box_->DestroyHandle();
  ASSERT_EQ(List(), nullptr);
  EXPECT_EQ(box_->Items().Count(), 0);
  ASSERT_NE(List(), nullptr);
  EXPECT_EQ(box_->Left(), 20);
  EXPECT_EQ(box_->Top(), 30);
  EXPECT_EQ(box_->Width(), 150);
  EXPECT_EQ(box_->Height(), 90);
}

// --- drawing ------------------------------------------------------------------

class DrawingTest : public DrawBoxTest {
 protected:
  // The list's client area as the list itself paints it (WM_PRINTCLIENT:
  // the system's paint code with its WM_DRAWITEM to the form).
  std::unique_ptr<Image> PrintClient() {
    RECT c{};
    GetClientRect(List(), &c);
    auto img = std::make_unique<Image>(c.right, c.bottom, kMagenta);
    SendMessageA(List(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(img->dc()), PRF_CLIENT | PRF_ERASEBKGND);
    return img;
  }
};

TEST_F(DrawingTest, OwnerDrawnLinesLookTheSameSelectedOrNot) {
  box_->SetStyle(summary::lbOwnerDrawFixed);
  for (int i = 0; i < 3; ++i) box_->Items().Add("Same");
  box_->SetCurrentIndex(0);
  box_->SetFocus();
  ASSERT_TRUE(box_->IsSelected(0));
  auto img = PrintClient();
  const int h = box_->StoredItemHeight();
  const int w = img->width();
  const COLORREF window = GetSysColor(COLOR_WINDOW);
  const std::vector<COLORREF> selected = img->Band(0, h, w);
  const std::vector<COLORREF> plain = img->Band(h, h, w);
  EXPECT_EQ(selected, plain);
  // Filled with the background, the text starting 2 pixels in.
  int ink = 0;
  for (int y = 0; y < h; ++y) {
    EXPECT_EQ(img->At(0, y), window);
    EXPECT_EQ(img->At(1, y), window);
    for (int x = 2; x < w; ++x) ink += img->At(x, y) != window;
  }
  EXPECT_GT(ink, 0) << "no text drawn";
}

TEST_F(DrawingTest, TheStatesReachOnDrawItemAndTheStandardListColoursSelection) {
  // Guards the test above: the lines are drawn in different states, and a
  // standard list does show the difference.
  for (int i = 0; i < 3; ++i) box_->Items().Add("Same");
  box_->SetCurrentIndex(0);
  {
    auto img = PrintClient();
    const RECT r = ItemRect(0);
    const int h = r.bottom - r.top;
    EXPECT_NE(img->Band(0, h, img->width()), img->Band(h, h, img->width()));
  }
  box_->SetStyle(summary::lbOwnerDrawFixed);
  box_->SetCurrentIndex(0);
  std::vector<summary::TOwnerDrawState> states(3, 0xFF);
  box_->OnDrawItem = [&](summary::TCustomDrawListBox& c, int index, const RECT& rect,
                         summary::TOwnerDrawState state) {
    EXPECT_EQ(&c, box_.get());
    EXPECT_NE(c.ItemCanvas().Handle(), nullptr);
    if (index >= 0 && index < 3) states[index] = state;
    c.ItemCanvas().FillRect(rect);
  };
  auto img = PrintClient();
  EXPECT_TRUE(states[0] & ODS_SELECTED);
  EXPECT_FALSE(states[1] & ODS_SELECTED);
  EXPECT_EQ(box_->ItemCanvas().Handle(), nullptr);  // bound only while drawing
}

TEST_F(DrawingTest, PaintingIntoAGivenDcStartsAtTheFirstVisibleLine) {
  box_->SetStyle(summary::lbOwnerDrawFixed);
  Fill(12);
  box_->SetTopRow(2);
  ASSERT_EQ(box_->TopRow(), 2);
  auto client = PrintClient();
  Image given(box_->Width(), box_->Height(), kMagenta);
  SendMessageA(List(), WM_PAINT, reinterpret_cast<WPARAM>(given.dc()), 0);
  const int h = box_->StoredItemHeight();
  const RECT r2 = ItemRect(2);
  ASSERT_EQ(r2.top, 0);
  // Row 0 of the image is line 2, as the list shows it at its top.
  EXPECT_EQ(given.Band(0, h, client->width()), client->Band(0, h, client->width()));
  // Rows cover the whole height (the last one reaches past the bottom).
  EXPECT_NE(given.At(5, given.height() - 1), kMagenta);
}

TEST_F(DrawingTest, PaintingAnEmptyListFillsOneRow) {
  box_->SetStyle(summary::lbOwnerDrawFixed);
  Image given(box_->Width(), box_->Height(), kMagenta);
  SendMessageA(List(), WM_PAINT, reinterpret_cast<WPARAM>(given.dc()), 0);
  const int h = box_->StoredItemHeight();
  EXPECT_EQ(given.At(5, 1), GetSysColor(COLOR_WINDOW));
  EXPECT_EQ(given.At(5, h - 1), GetSysColor(COLOR_WINDOW));
  EXPECT_EQ(given.At(5, h + 1), kMagenta);
}

// --- mouse moves --------------------------------------------------------------

TEST_F(DrawBoxTest, MovingOverALineMakesItCurrentOnce) {
  box_->SetItemHeight(13);
  Fill(5);
  int runs = 0, moves = 0;
  box_->OnMouseRun = [&](TDrawBox& sender) {
    EXPECT_EQ(&sender, box_.get());
    ++runs;
  };
  box_->OnMouseMove = [&](summary::TCustomDrawListBox&, summary::TShiftState, int, int) { ++moves; };
  MouseMove(5, 30);
  EXPECT_EQ(box_->CurrentIndex(), 2);
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(box_->LastMousePos.x, 5);
  EXPECT_EQ(box_->LastMousePos.y, 30);
  MouseMove(5, 30);  // the same position again
  EXPECT_EQ(runs, 1);
  MouseMove(5, 13 * 5 + 1);  // below the last line
  EXPECT_EQ(box_->CurrentIndex(), 2);
  EXPECT_EQ(runs, 1);
  MouseMove(6, 12);
  EXPECT_EQ(box_->CurrentIndex(), 0);
  EXPECT_EQ(runs, 2);
  box_->MoveSense = false;
  MouseMove(7, 40);
  EXPECT_EQ(box_->CurrentIndex(), 0);
  EXPECT_EQ(runs, 2);
  EXPECT_EQ(moves, 0);
}

TEST_F(DrawBoxTest, TheScrollPositionIsNotAdded) {
  box_->SetItemHeight(13);
  Fill(30);
  box_->SetTopRow(10);
  ASSERT_EQ(box_->TopRow(), 10);
  MouseMove(5, 3);
  EXPECT_EQ(box_->CurrentIndex(), 0);
}

TEST_F(DrawBoxTest, InAMultiSelectionListMovesRaiseOnMouseRunButKeepTheSelection) {
  box_->SetItemHeight(13);
  box_->SetMultiSelect(true);
  Fill(6);
  SendMessageA(List(), LB_SETSEL, TRUE, 1);
  SendMessageA(List(), LB_SETSEL, TRUE, 4);
  int runs = 0, moves = 0;
  box_->OnMouseRun = [&](TDrawBox&) { ++runs; };
  box_->OnMouseMove = [&](summary::TCustomDrawListBox&, summary::TShiftState, int, int) { ++moves; };
  MouseMove(5, 30);
  MouseMove(5, 45);
  EXPECT_EQ(runs, 2);
  EXPECT_EQ(box_->SelectedCount(), 2);
  EXPECT_TRUE(box_->IsSelected(1));
  EXPECT_TRUE(box_->IsSelected(4));
  EXPECT_FALSE(box_->IsSelected(2));
  EXPECT_FALSE(box_->IsSelected(3));
  EXPECT_EQ(moves, 0);
}

TEST_F(DrawBoxTest, PostedMouseMovesNeverRaiseOnMouseMove) {
  box_->SetItemHeight(13);
  Fill(5);
  int moves = 0, runs = 0;
  box_->OnMouseMove = [&](summary::TCustomDrawListBox&, summary::TShiftState, int, int) { ++moves; };
  box_->OnMouseRun = [&](TDrawBox&) { ++runs; };
  PostMessageA(List(), WM_MOUSEMOVE, 0, MAKELPARAM(3, 20));
  Pump();
  box_->MoveSense = false;
  PostMessageA(List(), WM_MOUSEMOVE, 0, MAKELPARAM(3, 50));
  Pump();
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(box_->CurrentIndex(), 1);
  EXPECT_EQ(moves, 0);
}

// --- keys ---------------------------------------------------------------------

TEST_F(DrawBoxTest, AKeyZeroedByTheHandlerStopsBeforeThePreview) {
  Fill(5);
  box_->SetCurrentIndex(0);
  std::vector<std::string> calls;
  form_->KeyPreview = true;
  form_->OnKeyDown = [&](WORD& key, unsigned) { calls.push_back("preview " + std::to_string(key)); };
  box_->OnKeyDown = [&](summary::TCustomDrawListBox&, WORD& key, summary::TShiftState) {
    calls.push_back("handler " + std::to_string(key));
    key = 0;
  };
  SendMessageA(List(), WM_KEYDOWN, VK_DOWN, 0);
  EXPECT_EQ(calls, (std::vector<std::string>{"handler 40"}));
  EXPECT_EQ(box_->CurrentIndex(), 0);  // the list never saw the key
}

TEST_F(DrawBoxTest, AnUnchangedKeyReachesTheHandlerTwice) {
  Fill(5);
  box_->SetCurrentIndex(0);
  std::vector<std::string> calls;
  form_->KeyPreview = true;
  form_->OnKeyDown = [&](WORD& key, unsigned) { calls.push_back("preview " + std::to_string(key)); };
  box_->OnKeyDown = [&](summary::TCustomDrawListBox&, WORD& key, summary::TShiftState) {
    calls.push_back("handler " + std::to_string(key));
  };
  SendMessageA(List(), WM_KEYDOWN, VK_DOWN, 0);
  EXPECT_EQ(calls, (std::vector<std::string>{"handler 40", "preview 40", "handler 40"}));
  EXPECT_EQ(box_->CurrentIndex(), 1);

  calls.clear();
  box_->OverKeyDown = false;
  SendMessageA(List(), WM_KEYDOWN, VK_DOWN, 0);
  EXPECT_EQ(calls, (std::vector<std::string>{"preview 40", "handler 40"}));
  EXPECT_EQ(box_->CurrentIndex(), 2);

  // The preview may stop a key on the ordinary path.
  calls.clear();
  form_->OnKeyDown = [&](WORD& key, unsigned) {
    calls.push_back("preview " + std::to_string(key));
    key = 0;
  };
  SendMessageA(List(), WM_KEYDOWN, VK_DOWN, 0);
  EXPECT_EQ(calls, (std::vector<std::string>{"preview 40"}));
  EXPECT_EQ(box_->CurrentIndex(), 2);

  // Without KeyPreview the form's handler is not asked.
  calls.clear();
  form_->KeyPreview = false;
  SendMessageA(List(), WM_KEYDOWN, VK_DOWN, 0);
  EXPECT_EQ(calls, (std::vector<std::string>{"handler 40"}));
  EXPECT_EQ(box_->CurrentIndex(), 3);
}

TEST_F(DrawBoxTest, KeyUpReachesOnKeyUp) {
  WORD seen = 0;
  box_->OnKeyUp = [&](summary::TCustomDrawListBox&, WORD& key, summary::TShiftState) { seen = key; };
  SendMessageA(List(), WM_KEYUP, VK_DELETE, 0xC0000001);
  EXPECT_EQ(seen, VK_DELETE);
}

// --- dragging -------------------------------------------------------------------

// A source list with lines 1 and 3 selected and, beside it, a list to drop
// on. The mouse is played as the capture delivers it: everything to the
// source, in its client coordinates, queued before the press that starts
// the drag's loop.
class DragTest : public DrawBoxTest {
 protected:
  void SetUp() override {
    DrawBoxTest::SetUp();
    target_ = std::make_unique<TDrawBox>(*form_, 150, 10);
    box_->SetMultiSelect(true);
    Fill(6);
    SendMessageA(List(), LB_SETSEL, TRUE, 1);
    SendMessageA(List(), LB_SETSEL, TRUE, 3);
    box_->OnStartDrag = [this](summary::TCustomDrawListBox&) { log_.push_back("start"); };
    box_->OnEndDrag = [this](summary::TCustomDrawListBox&, toolkit::Control* target, int x, int y) {
      log_.push_back(std::string("end ") + (target == target_.get() ? "target"
                                     : target == box_.get() ? "source"
                                     : target == nullptr    ? "none"
                                                            : "?") +
                     " " + At(x, y));
    };
    target_->OnDragOver = [this](summary::TCustomDrawListBox&, toolkit::Control& source, int x, int y,
                                 summary::TDragState state, bool& accept) {
      static const char* const kStates[] = {"enter", "leave", "move"};
      log_.push_back(std::string(kStates[state]) + " " + At(x, y) + (&source == box_.get() ? "" : " ?"));
      cursors_.push_back(GetCursor());
      accept = accepts_;
    };
    target_->OnDragDrop = [this](summary::TCustomDrawListBox&, toolkit::Control& source, int x, int y) {
      log_.push_back("drop " + At(x, y) + (&source == box_.get() && box_->Dragging() ? "" : " ?"));
    };
    // A broken drag would wait for the mouse for ever: Escape ends it.
    watchdog_ = SetTimer(nullptr, 0, 5000, [](HWND, UINT, UINT_PTR, DWORD) WINAPI {
      g_watchdogFired = true;
      if (GetCapture() != nullptr) PostMessageA(GetCapture(), WM_KEYDOWN, VK_ESCAPE, 0);
    });
    g_watchdogFired = false;
  }
  void TearDown() override {
    KillTimer(nullptr, watchdog_);
    EXPECT_FALSE(g_watchdogFired) << "a drag did not end by itself";
    EXPECT_EQ(GetCapture(), nullptr) << "the capture was kept";
    Pump();
    target_.reset();
    DrawBoxTest::TearDown();
  }

  static std::string At(int x, int y) { return std::to_string(x) + "," + std::to_string(y); }
  POINT Line(int line) { return POINT{5, ItemRect(line).top + 2}; }
  // A point of the target's client area, in the source's coordinates.
  POINT OnTarget(int x, int y) {
    POINT p{x, y};
    MapWindowPoints(target_->Handle(), List(), &p, 1);
    return p;
  }
  void Move(POINT p) { PostMessageA(List(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(p.x, p.y)); }
  void Release(POINT p) { PostMessageA(List(), WM_LBUTTONUP, 0, MAKELPARAM(p.x, p.y)); }
  void Press(POINT p, WPARAM keys = 0) {
    SendMessageA(List(), WM_LBUTTONDOWN, MK_LBUTTON | keys, MAKELPARAM(p.x, p.y));
  }
  // Where a cancelled drag lets the list take its click.
  void PointerAt(POINT p) {
    ClientToScreen(List(), &p);
    SetCursorPos(p.x, p.y);
    POINT now{};
    GetCursorPos(&now);
    ASSERT_EQ(now.x, p.x);
    ASSERT_EQ(now.y, p.y);
  }
  std::vector<int> Selected() {
    std::vector<int> lines;
    for (int i = 0; i < box_->Items().Count(); ++i) {
      if (box_->IsSelected(i)) lines.push_back(i);
    }
    return lines;
  }

  static inline bool g_watchdogFired = false;
  std::unique_ptr<TDrawBox> target_;
  std::vector<std::string> log_;
  std::vector<HCURSOR> cursors_;
  bool accepts_ = true;
  UINT_PTR watchdog_ = 0;
};

TEST_F(DragTest, ASelectionDraggedOntoAListThatTakesItIsDroppedThereAndKept) {
  box_->DragMode = summary::dmAutomatic;
  const POINT from = Line(1);
  Move(POINT{from.x + 20, from.y});  // out of the drag rectangle, still over the source
  Move(OnTarget(30, 20));
  Move(OnTarget(31, 22));
  Release(OnTarget(31, 22));
  Press(from);
  EXPECT_EQ(log_, (std::vector<std::string>{"start", "enter 30,20", "move 31,22", "drop 31,22", "end target 31,22"}));
  EXPECT_FALSE(box_->Dragging());
  EXPECT_EQ(Selected(), (std::vector<int>{1, 3})) << "the press on a selected line left the selection alone";
}

TEST_F(DragTest, ARefusedDropIsCancelledAndTheListTakesAClickAtThePointer) {
  box_->DragMode = summary::dmAutomatic;
  accepts_ = false;
  PointerAt(Line(4));
  const POINT from = Line(1);
  Move(OnTarget(30, 20));
  Release(OnTarget(30, 20));
  Press(from);
  ASSERT_EQ(log_.size(), 4u);
  EXPECT_EQ(log_[0], "start");
  EXPECT_EQ(log_[1], "enter 30,20");
  EXPECT_EQ(log_[2], "leave 30,20");
  const POINT released = OnTarget(30, 20);
  EXPECT_EQ(log_[3], "end none " + At(released.x, released.y)) << "in the source's coordinates";
  Pump();
  EXPECT_EQ(Selected(), std::vector<int>{4}) << "the list ended its press where the pointer is";
}

TEST_F(DragTest, AReleaseBeforeThePointerLeftTheDragRectangleAsksNoControl) {
  box_->DragMode = summary::dmAutomatic;
  int asked = 0;  // the source would take its own drop
  box_->OnDragOver = [&](summary::TCustomDrawListBox&, toolkit::Control&, int, int, summary::TDragState, bool&) {
    ++asked;
  };
  const POINT from = Line(1);
  PointerAt(from);
  Move(POINT{from.x + 1, from.y});
  Release(POINT{from.x + 1, from.y});
  Press(from);
  EXPECT_EQ(log_, (std::vector<std::string>{"start", "end none " + At(from.x + 1, from.y)}));
  EXPECT_EQ(asked, 0);
  Pump();
  EXPECT_EQ(Selected(), std::vector<int>{1}) << "a plain click on the line";
}

TEST_F(DragTest, EscapeCancelsEvenOverAListThatTakesTheDrop) {
  box_->DragMode = summary::dmAutomatic;
  PointerAt(Line(1));
  Move(OnTarget(30, 20));
  PostMessageA(List(), WM_KEYDOWN, VK_ESCAPE, 0);
  Release(OnTarget(30, 20));  // comes after the drag is over
  Press(Line(1));
  ASSERT_EQ(log_.size(), 4u);
  EXPECT_EQ(log_[1], "enter 30,20");
  EXPECT_EQ(log_[2], "leave 30,20");
  EXPECT_EQ(log_[3].substr(0, 8), "end none");
  Pump();
}

TEST_F(DragTest, TheProgramCanCancelADragOnTheWay) {
  box_->DragMode = summary::dmAutomatic;
  PointerAt(Line(1));
  target_->OnDragOver = [this](summary::TCustomDrawListBox&, toolkit::Control&, int x, int y,
                               summary::TDragState state, bool&) {
    log_.push_back((state == summary::dsDragEnter ? "enter " : state == summary::dsDragLeave ? "leave " : "move ") +
                   At(x, y));
    if (state == summary::dsDragEnter) box_->CancelDrag();
  };
  Move(OnTarget(30, 20));
  Move(OnTarget(31, 20));  // never seen: the drag is over
  Release(OnTarget(31, 20));
  Press(Line(1));
  ASSERT_EQ(log_.size(), 4u);
  EXPECT_EQ(log_[1], "enter 30,20");
  EXPECT_EQ(log_[2], "leave 30,20");
  EXPECT_EQ(log_[3].substr(0, 8), "end none");
  EXPECT_FALSE(box_->Dragging());
  Pump();
}

TEST_F(DragTest, AnErrorOfATargetEndsTheDragAndReachesTheReport) {
  box_->DragMode = summary::dmAutomatic;
  PointerAt(Line(1));
  target_->OnDragOver = [](summary::TCustomDrawListBox&, toolkit::Control&, int, int, summary::TDragState state,
                           bool&) {
    if (state == summary::dsDragEnter) throw std::runtime_error("Falha no destino");
  };
  Move(OnTarget(30, 20));
  Release(OnTarget(30, 20));
  Press(Line(1));
  EXPECT_EQ(reports_, std::vector<std::string>{"Falha no destino"});
  EXPECT_FALSE(box_->Dragging());
  EXPECT_EQ(GetCapture(), nullptr);
  reports_.clear();
  Pump();
}

TEST_F(DragTest, TheCursorShowsWhetherTheControlUnderThePointerTakesTheDrop) {
  box_->DragMode = summary::dmAutomatic;
  box_->DragCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_HAND));
  const HCURSOR before = GetCursor();
  const POINT from = Line(1);
  Move(POINT{from.x + 20, from.y});  // over the source, which takes nothing
  Move(OnTarget(30, 20));
  Move(OnTarget(32, 20));
  Release(OnTarget(32, 20));
  Press(from);
  ASSERT_EQ(cursors_.size(), 2u);
  EXPECT_EQ(cursors_[0], LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_NO)));
  EXPECT_EQ(cursors_[1], box_->DragCursor);
  EXPECT_EQ(GetCursor(), before) << "given back at the end";
}

TEST_F(DragTest, APressElsewhereSelectsAndThenDrags) {
  box_->DragMode = summary::dmAutomatic;
  PointerAt(Line(4));
  Release(Line(4));
  Press(Line(4));
  EXPECT_EQ(log_.front(), "start");
  EXPECT_EQ(Selected(), std::vector<int>{4});
  // Ctrl extends the selection and starts no drag.
  log_.clear();
  Release(Line(5));
  Press(Line(5), MK_CONTROL);
  Pump();
  EXPECT_TRUE(log_.empty());
  EXPECT_EQ(Selected(), (std::vector<int>{4, 5}));
}

TEST_F(DragTest, ManualDragModeLeavesPressesToTheList) {
  Release(Line(1));
  Press(Line(1));
  Pump();
  EXPECT_TRUE(log_.empty());
  EXPECT_EQ(Selected(), std::vector<int>{1});
}

TEST_F(DragTest, TheProgramCanStartAnImmediateDragThatAsksAtOnce) {
  // Manual mode: the program starts the drag itself, here from OnMouseDown,
  // and the source list takes its own drop.
  box_->OnMouseDown = [this](summary::TCustomDrawListBox&, summary::TMouseButton, summary::TShiftState, int, int) {
    box_->BeginDrag(true);
  };
  std::vector<summary::TDragState> states;
  box_->OnDragOver = [&](summary::TCustomDrawListBox&, toolkit::Control&, int, int, summary::TDragState state,
                         bool&) { states.push_back(state); };
  bool dropped = false;
  box_->OnDragDrop = [&](summary::TCustomDrawListBox&, toolkit::Control&, int, int) { dropped = true; };
  PointerAt(Line(2));
  Release(Line(2));
  Press(Line(2));
  EXPECT_EQ(states, std::vector<summary::TDragState>{summary::dsDragEnter}) << "asked before any move";
  EXPECT_TRUE(dropped);
  EXPECT_EQ(log_, (std::vector<std::string>{"start", "end source " + At(Line(2).x, Line(2).y)}));
}

// --- hints ----------------------------------------------------------------------

class HintTest : public DrawBoxTest {
 protected:
  // The tooltip of the form's controls, if one was made.
  HWND Tip() {
    struct Search {
      HWND form;
      HWND tip;
    } search{form_->Handle(), nullptr};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND hwnd, LPARAM data) WINAPI -> BOOL {
          auto* s = reinterpret_cast<Search*>(data);
          char cls[64] = {};
          GetClassNameA(hwnd, cls, sizeof cls);
          if (lstrcmpiA(cls, TOOLTIPS_CLASSA) != 0 || GetWindow(hwnd, GW_OWNER) != s->form) return TRUE;
          s->tip = hwnd;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.tip;
  }
  // The one tool of the tooltip: the window it watches and its text.
  std::pair<HWND, std::string> Tool(HWND tip) {
    char text[80] = {};
    TTTOOLINFOA tool{};
    tool.cbSize = TTTOOLINFOA_V2_SIZE;
    if (!SendMessageA(tip, TTM_ENUMTOOLSA, 0, reinterpret_cast<LPARAM>(&tool))) return {nullptr, ""};
    tool.lpszText = text;
    SendMessageA(tip, TTM_GETTEXTA, sizeof text, reinterpret_cast<LPARAM>(&tool));
    return {reinterpret_cast<HWND>(tool.uId), text};
  }
  // The pointer rests on the list: true when the tip showed meanwhile.
  bool HoverShowsTip(HWND tip) {
    const RECT r = ItemRect(0);
    POINT at{r.left + 10, r.top + 4};
    POINT screen = at;
    ClientToScreen(List(), &screen);
    SetCursorPos(screen.x, screen.y);
    SendMessageA(List(), WM_MOUSEMOVE, 0, MAKELPARAM(at.x, at.y));
    for (DWORD start = GetTickCount(); GetTickCount() - start < 2000;) {
      Pump();
      if (IsWindowVisible(tip)) return true;
      Sleep(20);
    }
    return false;
  }
};

TEST_F(HintTest, TheHintIsTheListsOwnToolAndFollowsItsNewWindow) {
  EXPECT_TRUE(box_->ParentShowHint());
  EXPECT_FALSE(box_->ShowHint());
  box_->SetHint("Dica");
  EXPECT_EQ(Tip(), nullptr) << "the form shows no hints, so neither does the list";

  box_->SetShowHint(true);
  EXPECT_FALSE(box_->ParentShowHint());
  HWND tip = Tip();
  ASSERT_NE(tip, nullptr);
  EXPECT_EQ(SendMessageA(tip, TTM_GETTOOLCOUNT, 0, 0), 1);
  EXPECT_EQ(Tool(tip), std::make_pair(List(), std::string("Dica")));

  box_->SetHint("Outra dica");
  EXPECT_EQ(Tool(tip), std::make_pair(List(), std::string("Outra dica")));

  const HWND before = List();
  box_->SetBorderStyle(summary::bsNone);  // the window is created again
  ASSERT_NE(List(), before);
  EXPECT_EQ(Tip(), tip);
  EXPECT_EQ(SendMessageA(tip, TTM_GETTOOLCOUNT, 0, 0), 1);
  EXPECT_EQ(Tool(tip), std::make_pair(List(), std::string("Outra dica")));
}

TEST_F(HintTest, TheHintShowsOverAListThatKeepsMouseMovesToItself) {
  Fill(3);
  int runs = 0;
  box_->OnMouseRun = [&](TDrawBox&) { ++runs; };
  box_->SetHint("Dica");
  box_->SetShowHint(true);
  HWND tip = Tip();
  ASSERT_NE(tip, nullptr);
  EXPECT_TRUE(HoverShowsTip(tip));
  EXPECT_EQ(runs, 1) << "the list's own step ran as well";

  SendMessageA(tip, TTM_POP, 0, 0);
  box_->SetParentShowHint(true);
  MouseMove(0, 0);  // a new position for the list's own step
  EXPECT_FALSE(HoverShowsTip(tip)) << "hidden again with the parent's choice";
}

// --- show and hide ------------------------------------------------------------

class ShowHideTest : public DrawBoxTest {
 protected:
  // A pixel of the form inside the list's place, as the screen shows it.
  COLORREF FormPixel() {
    HDC dc = GetDC(form_->Handle());
    const COLORREF c = GetPixel(dc, 60, 50);
    ReleaseDC(form_->Handle(), dc);
    return c;
  }
  void Settle() {
    Pump();
    UpdateWindow(form_->Handle());
    Pump();
  }
};

TEST_F(ShowHideTest, HidingWithTotalCtrlOverDrawLeavesTheImage) {
  const COLORREF window = GetSysColor(COLOR_WINDOW);
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  ASSERT_NE(window, face);
  Settle();
  ASSERT_EQ(FormPixel(), window) << "the list is not on screen";

  box_->TotalCtrlOverDraw = true;
  box_->SetVisible(false);
  Settle();
  EXPECT_FALSE(IsWindowVisible(List()));
  EXPECT_EQ(FormPixel(), window);  // nothing repainted the uncovered place

  // Until the program invalidates it.
  InvalidateRect(form_->Handle(), nullptr, TRUE);
  Settle();
  EXPECT_EQ(FormPixel(), face);

  // Showing repaints nothing either.
  box_->SetVisible(true);
  Settle();
  EXPECT_TRUE(IsWindowVisible(List()));
  EXPECT_EQ(FormPixel(), face);
}

TEST_F(ShowHideTest, WithoutTotalCtrlOverDrawTheFormRepaintsAtOnce) {
  const COLORREF window = GetSysColor(COLOR_WINDOW);
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  Settle();
  ASSERT_EQ(FormPixel(), window);
  box_->TotalCtrlOverDraw = false;
  box_->SetVisible(false);
  Settle();
  EXPECT_EQ(FormPixel(), face);
  box_->SetVisible(true);
  Settle();
  EXPECT_EQ(FormPixel(), window);
}

TEST_F(ShowHideTest, ARecreatedHiddenListStaysHidden) {
  box_->SetVisible(false);
  box_->SetSorted(true);
  EXPECT_FALSE(IsWindowVisible(List()));
  box_->SetVisible(true);
  box_->SetSorted(false);
  EXPECT_TRUE(IsWindowVisible(List()));
}

}  // namespace
