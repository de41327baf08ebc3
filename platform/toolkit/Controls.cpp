#include "platform/toolkit/Controls.h"
#include "platform/win32/SystemDll.h"

#include <commctrl.h>

#include <algorithm>

#include "platform/toolkit/Form.h"

namespace toolkit {

namespace {
// The common controls' classes, from the system folder's comctl32.dll.
bool InitCommonClasses(DWORD classes) {
  const auto init = platform::win32::SystemCall<decltype(&InitCommonControlsEx)>(L"comctl32.dll", "InitCommonControlsEx");
  INITCOMMONCONTROLSEX icc{sizeof(INITCOMMONCONTROLSEX), classes};
  return init != nullptr && init(&icc) != FALSE;
}
}  // namespace

using platform::win32::SelectGuard;
using platform::win32::WindowDc;

Control::Control(Window& parent) : parent_(parent), form_(parent.OwnerForm()), id_(form_.NextControlId()) {
  form_.AddControl(this);
}

Control::~Control() {
  DestroyHandle();
  // The tooltip belongs to the form's window and may have gone with it.
  if (tip_ != nullptr && IsWindow(tip_)) DestroyWindow(tip_);
  form_.RemoveControl(this);
}

void Control::CreateControl(const char* className, DWORD style, DWORD exStyle, int left, int top, int width,
                            int height, const std::string& text) {
  CreateSubclassed(exStyle, className, text, style | WS_CHILD | WS_VISIBLE, left, top, width, height,
                   parent_.Handle(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id_)));
  AfterCreate();
}

void Control::CreateBoundControl(const char* className, WNDPROC base, DWORD style, DWORD exStyle, int left,
                                 int top, int width, int height, const std::string& text) {
  CreateBound(exStyle, className, text, style | WS_CHILD | WS_VISIBLE, left, top, width, height,
              parent_.Handle(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id_)), base);
  AfterCreate();
}

bool Control::DragOver(Control& /*source*/, int /*x*/, int /*y*/, DragState /*state*/) { return false; }

void Control::DragDrop(Control& /*source*/, int /*x*/, int /*y*/) {}

void Control::AfterCreate() {
  SendMessageA(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(form_.Font()), FALSE);
  parent_.ChildBoundsChanged();
  ApplyHint();
}

void Control::UpdateHint(const std::string& text, bool show) {
  hint_ = text;
  showHint_ = show;
  ApplyHint();
}

void Control::ApplyHint() {
  if (tip_ != nullptr && !IsWindow(tip_)) tip_ = nullptr;
  const bool wanted = showHint_ && !hint_.empty() && Handle() != nullptr;
  if (!wanted) {
    if (tip_ != nullptr) SendMessageA(tip_, TTM_ACTIVATE, FALSE, 0);
    return;
  }
  if (tip_ == nullptr) {
    static const bool registered = InitCommonClasses(ICC_WIN95_CLASSES);
    (void)registered;
    tip_ = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, form_.Handle(), nullptr,
                           GetModuleHandleA(nullptr), nullptr);
    // A hint is not worth an error: without a tooltip there is none.
    if (tip_ == nullptr) return;
  }
  // One tool, the control's window; a window created again replaces it.
  TTTOOLINFOA tool{};
  tool.cbSize = TTTOOLINFOA_V2_SIZE;
  const bool had = SendMessageA(tip_, TTM_ENUMTOOLSA, 0, reinterpret_cast<LPARAM>(&tool)) != 0;
  const bool same = had && reinterpret_cast<HWND>(tool.uId) == Handle();
  if (had && !same) SendMessageA(tip_, TTM_DELTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
  tool = TTTOOLINFOA{};
  tool.cbSize = TTTOOLINFOA_V2_SIZE;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = parent_.Handle();
  tool.uId = reinterpret_cast<UINT_PTR>(Handle());
  tool.lpszText = hint_.data();
  if (same) {
    SendMessageA(tip_, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&tool));
  } else {
    SendMessageA(tip_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
  }
  SendMessageA(tip_, TTM_ACTIVATE, TRUE, 0);
}

RECT Control::Bounds() const {
  RECT r{};
  if (Handle() == nullptr) return r;
  GetWindowRect(Handle(), &r);
  MapWindowPoints(HWND_DESKTOP, parent_.Handle(), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

int Control::Width() const {
  const RECT r = Bounds();
  return r.right - r.left;
}

int Control::Height() const {
  const RECT r = Bounds();
  return r.bottom - r.top;
}

void Control::SetBounds(int left, int top, int width, int height) {
  if (Handle() == nullptr) return;
  SetWindowPos(Handle(), nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
  parent_.ChildBoundsChanged();
}

void Control::SetAlign(Align align) {
  align_ = align;
  Realign();
}

void Control::Realign() {
  if (align_ == Align::Bottom) {
    const int h = Height();
    SetBounds(0, parent_.ClientHeight() - h, parent_.ClientWidth(), h);
  }
}

void Control::SetFocus() {
  if (Handle() != nullptr) ::SetFocus(Handle());
}

Label::Label(Window& parent, int left, int top, const std::string& caption) : Control(parent) {
  CreateControl("STATIC", SS_LEFTNOWORDWRAP, 0, left, top, 0, 0, caption);
  AutoSize();
}

void Label::SetCaption(const std::string& text) {
  Window::SetCaption(text);
  AutoSize();
}

void Label::SetShowAccelChar(bool show) {
  showAccelChar_ = show;
  LONG style = GetWindowLongA(Handle(), GWL_STYLE);
  style = show ? (style & ~SS_NOPREFIX) : (style | SS_NOPREFIX);
  SetWindowLongA(Handle(), GWL_STYLE, style);
  AutoSize();
  InvalidateRect(Handle(), nullptr, TRUE);
}

void Label::AutoSize() {
  if (Handle() == nullptr) return;
  std::string text = Caption();
  // An empty label keeps the size of one blank, so it can still be seen
  // and clicked at design size.
  if (text.empty() || (showAccelChar_ && text == "&")) text += ' ';
  WindowDc dc(Handle());
  if (!dc) return;
  SelectGuard select(dc.get(), OwnerForm().Font());
  RECT r{0, 0, 0, 0};
  DrawTextA(dc.get(), text.c_str(), static_cast<int>(text.size()), &r,
            DT_CALCRECT | DT_EXPANDTABS | DT_LEFT | (showAccelChar_ ? 0u : static_cast<UINT>(DT_NOPREFIX)));
  SetWindowPos(Handle(), nullptr, 0, 0, r.right - r.left, r.bottom - r.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

StaticText::StaticText(Window& parent, int left, int top, int width, int height, bool showAccelChar,
                       const std::string& caption)
    : Control(parent) {
  CreateControl("STATIC", SS_LEFT | (showAccelChar ? 0 : SS_NOPREFIX), 0, left, top, width, height, caption);
}

void StaticText::SetShowAccelChar(bool show) {
  LONG style = GetWindowLongA(Handle(), GWL_STYLE);
  style = show ? (style & ~SS_NOPREFIX) : (style | SS_NOPREFIX);
  SetWindowLongA(Handle(), GWL_STYLE, style);
  InvalidateRect(Handle(), nullptr, TRUE);
}

bool StaticText::ShowAccelChar() const { return (GetWindowLongA(Handle(), GWL_STYLE) & SS_NOPREFIX) == 0; }

Bevel::Bevel(Window& parent, int left, int top, int width, int height) : Control(parent) {
  const char* cls = OwnClass("Kestrivon.Bevel", 0, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
  // Below its siblings and clipped by them: a bevel frames the controls
  // that lie on it.
  CreateBoundControl(cls, DefWindowProcA, WS_CLIPSIBLINGS, 0, left, top, width, height);
  SetWindowPos(Handle(), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

LRESULT Bevel::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_NCHITTEST:
      return HTTRANSPARENT;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(Handle(), &ps);
      RECT c{};
      GetClientRect(Handle(), &c);
      RECT light{0, 0, c.right, 1};
      RECT dark{0, 1, c.right, 2};
      FillRect(dc, &light, GetSysColorBrush(COLOR_BTNHIGHLIGHT));
      FillRect(dc, &dark, GetSysColorBrush(COLOR_BTNSHADOW));
      EndPaint(Handle(), &ps);
      return 0;
    }
    default:
      return Control::OnMessage(msg, wParam, lParam);
  }
}

ProgressBar::ProgressBar(Window& parent, int left, int top, int width, int height) : Control(parent) {
  static const bool registered = InitCommonClasses(ICC_PROGRESS_CLASS);
  (void)registered;
  CreateControl(PROGRESS_CLASSA, 0, 0, left, top, width, height);
  SendMessageA(Handle(), PBM_SETRANGE32, 0, 100);
  SendMessageA(Handle(), PBM_SETSTEP, 1, 0);
}

void ProgressBar::SetPosition(int position) {
  SendMessageA(Handle(), PBM_SETPOS, static_cast<WPARAM>(std::clamp(position, 0, 100)), 0);
}

int ProgressBar::Position() const { return static_cast<int>(SendMessageA(Handle(), PBM_GETPOS, 0, 0)); }

Button::Button(Window& parent, int left, int top, int width, int height, const std::string& caption)
    : Control(parent) {
  CreateControl("BUTTON", BS_PUSHBUTTON | WS_TABSTOP, 0, left, top, width, height, caption);
}

bool Button::OnReflected(UINT msg, WPARAM wParam, LPARAM, LRESULT& result) {
  if (msg != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return false;
  result = 0;
  if (OnClick) OnClick();
  if (ModalResult != 0) OwnerForm().SetModalResult(ModalResult);
  return true;
}

ScrollBox::ScrollBox(Window& parent, int left, int top, int width, int height, bool border) : Control(parent) {
  const char* cls = OwnClass("Kestrivon.ScrollBox", 0, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
  // A control parent: dialog navigation (Tab, arrows) reaches the controls
  // inside it.
  CreateBoundControl(cls, DefWindowProcA, WS_CLIPCHILDREN,
                     WS_EX_CONTROLPARENT | (border ? WS_EX_CLIENTEDGE : 0), left, top, width, height);
}

void ScrollBox::UpdateScrollBars() {
  if (Handle() == nullptr || inUpdate_) return;
  inUpdate_ = true;
  HWND self = Handle();
  // The children's extent, measured from the unscrolled origin.
  int extentW = 0;
  int extentH = 0;
  for (HWND c = GetWindow(self, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
    if ((GetWindowLongA(c, GWL_STYLE) & WS_VISIBLE) == 0) continue;
    RECT r{};
    GetWindowRect(c, &r);
    MapWindowPoints(HWND_DESKTOP, self, reinterpret_cast<POINT*>(&r), 2);
    extentW = std::max<int>(extentW, r.right + x_);
    extentH = std::max<int>(extentH, r.bottom + y_);
  }
  const int barW = GetSystemMetrics(SM_CXVSCROLL);
  const int barH = GetSystemMetrics(SM_CYHSCROLL);
  RECT client{};
  GetClientRect(self, &client);
  const LONG style = GetWindowLongA(self, GWL_STYLE);
  const int fullW = client.right + ((style & WS_VSCROLL) ? barW : 0);
  const int fullH = client.bottom + ((style & WS_HSCROLL) ? barH : 0);
  bool needH = extentW > fullW;
  bool needV = extentH > fullH;
  if (needH && !needV) needV = extentH > fullH - barH;
  if (needV && !needH) needH = extentW > fullW - barW;
  const int pageW = std::max(0, fullW - (needV ? barW : 0));
  const int pageH = std::max(0, fullH - (needH ? barH : 0));

  SCROLLINFO si{};
  si.cbSize = sizeof si;
  si.fMask = SIF_RANGE | SIF_PAGE;
  si.nMax = needH ? extentW - 1 : 0;
  si.nPage = needH ? static_cast<UINT>(pageW) : 0;
  SetScrollInfo(self, SB_HORZ, &si, FALSE);
  si.nMax = needV ? extentH - 1 : 0;
  si.nPage = needV ? static_cast<UINT>(pageH) : 0;
  SetScrollInfo(self, SB_VERT, &si, FALSE);
  ShowScrollBar(self, SB_HORZ, needH ? TRUE : FALSE);
  ShowScrollBar(self, SB_VERT, needV ? TRUE : FALSE);
  // Keep the view within the children.
  const int x = needH ? std::clamp(x_, 0, extentW - pageW) : 0;
  const int y = needV ? std::clamp(y_, 0, extentH - pageH) : 0;
  inUpdate_ = false;
  ScrollTo(x, y);
  SetScrollPos(self, SB_HORZ, x_, TRUE);
  SetScrollPos(self, SB_VERT, y_, TRUE);
}

void ScrollBox::ScrollTo(int x, int y) {
  if (Handle() == nullptr || (x == x_ && y == y_)) return;
  const int dx = x_ - x;
  const int dy = y_ - y;
  // The children are moved one by one rather than by ScrollWindowEx, which
  // does nothing while the window cannot be drawn (hidden, or its form not
  // shown yet).
  for (HWND c = GetWindow(Handle(), GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
    RECT r{};
    GetWindowRect(c, &r);
    MapWindowPoints(HWND_DESKTOP, Handle(), reinterpret_cast<POINT*>(&r), 2);
    SetWindowPos(c, nullptr, r.left + dx, r.top + dy, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  InvalidateRect(Handle(), nullptr, TRUE);
  x_ = x;
  y_ = y;
  SetScrollPos(Handle(), SB_HORZ, x_, TRUE);
  SetScrollPos(Handle(), SB_VERT, y_, TRUE);
}

void ScrollBox::OnScroll(int bar, int code) {
  SCROLLINFO si{};
  si.cbSize = sizeof si;
  si.fMask = SIF_ALL;
  if (!GetScrollInfo(Handle(), bar, &si)) return;
  constexpr int kLine = 8;
  int pos = si.nPos;
  switch (code) {
    case SB_LINEUP: pos -= kLine; break;
    case SB_LINEDOWN: pos += kLine; break;
    case SB_PAGEUP: pos -= static_cast<int>(si.nPage); break;
    case SB_PAGEDOWN: pos += static_cast<int>(si.nPage); break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: pos = si.nTrackPos; break;
    case SB_TOP: pos = si.nMin; break;
    case SB_BOTTOM: pos = si.nMax; break;
    default: return;
  }
  const int last = std::max(0, si.nMax - static_cast<int>(si.nPage) + 1);
  pos = std::clamp(pos, 0, last);
  if (bar == SB_HORZ)
    ScrollTo(pos, y_);
  else
    ScrollTo(x_, pos);
}

LRESULT ScrollBox::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_HSCROLL:
      if (lParam != 0) break;  // from a scroll bar control inside
      OnScroll(SB_HORZ, LOWORD(wParam));
      return 0;
    case WM_VSCROLL:
      if (lParam != 0) break;
      OnScroll(SB_VERT, LOWORD(wParam));
      return 0;
    case WM_MOUSEWHEEL:
      if (GetWindowLongA(Handle(), GWL_STYLE) & WS_VSCROLL) {
        const int notches = GET_WHEEL_DELTA_WPARAM(wParam) / WHEEL_DELTA;
        for (int i = 0; i < std::abs(notches) * 3; ++i) OnScroll(SB_VERT, notches > 0 ? SB_LINEUP : SB_LINEDOWN);
        return 0;
      }
      break;
    case WM_SIZE: {
      const LRESULT r = Control::OnMessage(msg, wParam, lParam);
      UpdateScrollBars();
      return r;
    }
    default:
      break;
  }
  return Control::OnMessage(msg, wParam, lParam);
}

}  // namespace toolkit
