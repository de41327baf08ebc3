// Dragging from a list control: the left-button rules of DragMode, the
// drag itself on the toolkit's drag and drop, and the list as a place to
// drop on.
#include <windowsx.h>

#include "summary/ui/DrawListBox.h"

namespace summary {

LRESULT TCustomDrawListBox::WMLButtonDown(UINT msg, WPARAM wParam, LPARAM lParam) {
  const POINT pos{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  TShiftState shift = MouseShiftState(wParam);
  if (msg == WM_LBUTTONDBLCLK) shift |= ssDouble;
  if (DragMode == dmAutomatic && !dragging_) {
    // A press on a selected line of a multiple selection starts the drag
    // without reaching the list, so the selection is not cleared.
    const bool shiftOnly = (shift & ssShift) && !(shift & ssCtrl);
    if (multiSelect_ && !shiftOnly) {
      const int item = ItemAtPoint(pos, true);
      if (item >= 0 && IsSelected(item)) {
        DragFrom(pos, false);
        return 0;
      }
    }
    const LRESULT r = CallBase(msg, wParam, lParam);
    if (OnMouseDown) OnMouseDown(*this, mbLeft, shift, pos.x, pos.y);
    if (DragMode == dmAutomatic && !(multiSelect_ && (shift & (ssShift | ssCtrl)))) DragFrom(pos, false);
    return r;
  }
  const LRESULT r = CallBase(msg, wParam, lParam);
  if (OnMouseDown) OnMouseDown(*this, mbLeft, shift, pos.x, pos.y);
  return r;
}

void TCustomDrawListBox::BeginDrag(bool immediate) {
  POINT start{};
  GetCursorPos(&start);
  if (HandleAllocated()) ScreenToClient(Handle(), &start);
  DragFrom(start, immediate);
}

void TCustomDrawListBox::DragFrom(POINT start, bool immediate) {
  if (dragging_ || !HandleAllocated()) return;
  struct Flag {
    bool& on;
    explicit Flag(bool& f) : on(f) { on = true; }
    ~Flag() { on = false; }
  } flag(dragging_);
  if (OnStartDrag) OnStartDrag(*this);
  const toolkit::DragResult result = toolkit::TrackDrag(*this, start, immediate, DragCursor);
  dragging_ = false;
  if (result.target == nullptr) DragCanceled();
  if (OnEndDrag) OnEndDrag(*this, result.target, result.at.x, result.at.y);
}

void TCustomDrawListBox::CancelDrag() {
  // The drag's loop ends when it loses the capture.
  if (dragging_ && HandleAllocated() && GetCapture() == Handle()) ReleaseCapture();
}

bool TCustomDrawListBox::DragOver(toolkit::Control& source, int x, int y, toolkit::DragState state) {
  if (!OnDragOver) return false;
  bool accept = true;
  const TDragState s = state == toolkit::DragState::Enter   ? dsDragEnter
                       : state == toolkit::DragState::Leave ? dsDragLeave
                                                            : dsDragMove;
  OnDragOver(*this, source, x, y, s, accept);
  return accept;
}

void TCustomDrawListBox::DragDrop(toolkit::Control& source, int x, int y) {
  if (OnDragDrop) OnDragDrop(*this, source, x, y);
}

void TCustomDrawListBox::DragCanceled() {
  if (!HandleAllocated()) return;
  POINT p{};
  GetCursorPos(&p);
  ScreenToClient(Handle(), &p);
  const LPARAM at = MAKELPARAM(p.x, p.y);
  CallBase(WM_LBUTTONDOWN, 0, at);
  CallBase(WM_LBUTTONUP, 0, at);
}

}  // namespace summary
