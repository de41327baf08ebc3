// TDrawBox itself on a real form under Wine: creation styles, re-creation,
// columns, selection, notifications, mouse moves, keys, show and hide.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/win/listbox/DrawBoxFixture.h"

using summary::TDrawBox;

namespace {

using listbox_test::DrawBoxTest;

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
