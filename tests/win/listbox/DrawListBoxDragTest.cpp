// Dragging from TDrawBox onto another list, the mouse played as the capture
// delivers it.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/win/listbox/DrawBoxFixture.h"

using summary::TDrawBox;

namespace {

using listbox_test::DrawBoxTest;

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

}  // namespace
