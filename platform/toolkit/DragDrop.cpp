#include "platform/toolkit/DragDrop.h"

#include <windowsx.h>

#include "platform/toolkit/Controls.h"

namespace toolkit {

namespace {

// The toolkit control under a point of the screen (the control itself, or
// the one whose inner window is there).
Control* ControlAt(POINT screen) {
  for (HWND h = WindowFromPoint(screen); h != nullptr; h = GetAncestor(h, GA_PARENT)) {
    if (auto* control = dynamic_cast<Control*>(Window::FromHandle(h))) return control;
    if (!(GetWindowLongA(h, GWL_STYLE) & WS_CHILD)) break;
  }
  return nullptr;
}

POINT ClientPoint(const Control& control, POINT screen) {
  ScreenToClient(control.Handle(), &screen);
  return screen;
}

// Gives the capture and the cursor back however the drag ends.
class CaptureGuard {
 public:
  explicit CaptureGuard(HWND hwnd) : hwnd_(hwnd), cursor_(GetCursor()) { SetCapture(hwnd_); }
  ~CaptureGuard() {
    if (GetCapture() == hwnd_) ReleaseCapture();
    SetCursor(cursor_);
  }
  CaptureGuard(const CaptureGuard&) = delete;
  CaptureGuard& operator=(const CaptureGuard&) = delete;
  bool Held() const { return GetCapture() == hwnd_; }

 private:
  HWND hwnd_;
  HCURSOR cursor_;
};

class Drag {
 public:
  Drag(Control& source, HCURSOR dragCursor)
      : source_(source),
        dragCursor_(dragCursor != nullptr ? dragCursor : LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW))),
        noDropCursor_(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_NO))) {}

  // The pointer moved to `screen`: tells the controls it left and reached.
  void Follow(POINT screen) {
    pointer_ = screen;
    Control* now = ControlAt(screen);
    if (now != over_) {
      Leave();
      over_ = now;
      if (over_ != nullptr) accepted_ = Ask(DragState::Enter);
    } else if (over_ != nullptr) {
      accepted_ = Ask(DragState::Move);
    }
    SetCursor(over_ != nullptr && accepted_ ? dragCursor_ : noDropCursor_);
  }

  void Leave() {
    if (over_ == nullptr) return;
    Control* left = over_;
    over_ = nullptr;
    accepted_ = false;
    const POINT p = ClientPoint(*left, pointer_);
    left->DragOver(source_, p.x, p.y, DragState::Leave);
  }

  // The release: the drop, when the control under the pointer takes it.
  Control* Drop(POINT& at) {
    if (over_ == nullptr || !accepted_) return nullptr;
    Control* target = over_;
    over_ = nullptr;
    at = ClientPoint(*target, pointer_);
    target->DragDrop(source_, at.x, at.y);
    return target;
  }

  POINT Pointer() const { return pointer_; }
  void SetPointer(POINT screen) { pointer_ = screen; }

 private:
  bool Ask(DragState state) {
    const POINT p = ClientPoint(*over_, pointer_);
    return over_->DragOver(source_, p.x, p.y, state);
  }

  Control& source_;
  HCURSOR dragCursor_;
  HCURSOR noDropCursor_;
  Control* over_ = nullptr;
  bool accepted_ = false;
  POINT pointer_{};
};

}  // namespace

DragResult TrackDrag(Control& source, POINT start, bool immediate, HCURSOR dragCursor) {
  DragResult result;
  result.at = start;
  HWND hwnd = source.Handle();
  if (hwnd == nullptr) return result;

  POINT origin = start;
  ClientToScreen(hwnd, &origin);
  const int halfW = GetSystemMetrics(SM_CXDRAG) / 2;
  const int halfH = GetSystemMetrics(SM_CYDRAG) / 2;
  const RECT still{origin.x - halfW, origin.y - halfH, origin.x + halfW + 1, origin.y + halfH + 1};

  Drag drag(source, dragCursor);
  drag.SetPointer(origin);
  CaptureGuard capture(hwnd);
  bool started = immediate;
  bool released = false;
  try {
    if (started) drag.Follow(origin);
    while (capture.Held()) {
      MSG msg{};
      const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
      if (got == -1) break;
      if (got == 0) {
        // Handed on to the loop that waits for it.
        PostQuitMessage(static_cast<int>(msg.wParam));
        break;
      }
      if (msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSELAST && msg.message != WM_MOUSEWHEEL) {
        // With the capture, the position is in the client coordinates of
        // the window the message went to.
        POINT pointer{GET_X_LPARAM(msg.lParam), GET_Y_LPARAM(msg.lParam)};
        ClientToScreen(msg.hwnd, &pointer);
        if (msg.message == WM_MOUSEMOVE) {
          if (!started && !PtInRect(&still, pointer)) started = true;
          if (started) {
            drag.Follow(pointer);
          } else {
            drag.SetPointer(pointer);
          }
        } else if (msg.message == WM_LBUTTONUP) {
          drag.SetPointer(pointer);
          released = true;
          break;
        } else if (msg.message == WM_RBUTTONDOWN) {
          break;
        }
        continue;  // the source and the controls under the pointer never see them
      }
      if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) break;
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    if (released && started) result.target = drag.Drop(result.at);
    if (result.target == nullptr) {
      drag.Leave();
      result.at = ClientPoint(source, drag.Pointer());
    }
  } catch (...) {
    drag.Leave();
    throw;
  }
  return result;
}

}  // namespace toolkit
