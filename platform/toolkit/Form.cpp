#include "platform/toolkit/Form.h"

#include <algorithm>

#include "platform/Error.h"
#include "platform/toolkit/Application.h"
#include "platform/toolkit/Controls.h"

namespace toolkit {

namespace {
// Posted on activation, so that OnActivate runs after the activation is
// complete and may open modal boxes.
constexpr UINT kActivated = WM_APP + 0x100;

DWORD StyleOf(BorderStyle border) {
  return border == BorderStyle::Dialog ? (WS_POPUP | WS_CAPTION | WS_SYSMENU)
                                       : (WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU);
}

DWORD ExStyleOf(BorderStyle border) {
  return border == BorderStyle::Dialog ? (WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE) : WS_EX_WINDOWEDGE;
}

platform::win32::UniqueFont MakeFont(const std::string& name, int height) {
  platform::win32::UniqueFont font(CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                               OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                               DEFAULT_PITCH | FF_DONTCARE, name.c_str()));
  if (!font) throw platform::Error("Cannot create font " + name);
  return font;
}

struct DisabledWindows {
  HWND except;
  HWND application;  // stays enabled, to hand its activation on
  std::vector<HWND> windows;
};

BOOL CALLBACK DisableOne(HWND hwnd, LPARAM data) {
  auto* d = reinterpret_cast<DisabledWindows*>(data);
  if (hwnd != d->except && hwnd != d->application && IsWindowVisible(hwnd) && IsWindowEnabled(hwnd)) {
    EnableWindow(hwnd, FALSE);
    d->windows.push_back(hwnd);
  }
  return TRUE;
}
}  // namespace

Form::Form(const FormParams& p)
    : border_(p.border), centered_(p.centered), fontName_(p.fontName), fontHeight_(p.fontHeight) {
  font_ = MakeFont(fontName_, fontHeight_);
  const char* cls = OwnClass("Kestrivon.Form", CS_DBLCLKS, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
  RECT r{0, 0, p.clientWidth, p.clientHeight};
  AdjustWindowRectEx(&r, StyleOf(border_), FALSE, ExStyleOf(border_));
  CreateBound(ExStyleOf(border_), cls, p.caption, StyleOf(border_) | WS_CLIPCHILDREN, CW_USEDEFAULT,
              CW_USEDEFAULT, r.right - r.left, r.bottom - r.top,
              p.owner != nullptr ? p.owner : Application::Current().Handle(), nullptr, DefWindowProcA);
  // The frame a window manager gives may differ from the computed one.
  SetClientSize(p.clientWidth, p.clientHeight);
  SendMessageA(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
}

Form::~Form() {
  DestroyHandle();
  // Controls declared in a derived form are gone by now; any left (owned
  // elsewhere) no longer refer to this form's window.
}

void Form::DoCreate() {
  if (!OnCreate) return;
  try {
    OnCreate();
  } catch (...) {
    ReportCurrentException();
  }
}

void Form::Show() {
  if (Handle() == nullptr) return;
  ShowWindow(Handle(), SW_SHOWNORMAL);
  SetForegroundWindow(Handle());
  UpdateWindow(Handle());
}

void Form::Hide() {
  if (Handle() != nullptr) ShowWindow(Handle(), SW_HIDE);
}

void Form::Close() {
  if (Handle() != nullptr) SendMessageA(Handle(), WM_CLOSE, 0, 0);
}

int Form::ShowModal() {
  if (Handle() == nullptr || modal_) return mrCancel;
  Application& app = Application::Current();
  DisabledWindows disabled{Handle(), app.Handle(), {}};
  EnumThreadWindows(GetCurrentThreadId(), DisableOne, reinterpret_cast<LPARAM>(&disabled));
  modal_ = true;
  modalResult_ = mrNone;
  try {
    Show();
    while (modalResult_ == mrNone) {
      app.HandleMessage();
      if (app.Terminated() && modalResult_ == mrNone) modalResult_ = mrCancel;
    }
  } catch (...) {
    modal_ = false;
    for (HWND h : disabled.windows) EnableWindow(h, TRUE);
    throw;
  }
  modal_ = false;
  // Enabled again before hiding, so that the owner gets the activation.
  for (HWND h : disabled.windows) EnableWindow(h, TRUE);
  Hide();
  return modalResult_;
}

void Form::SetClientSize(int width, int height) {
  if (Handle() == nullptr) return;
  RECT window{}, client{};
  GetWindowRect(Handle(), &window);
  GetClientRect(Handle(), &client);
  const int frameW = (window.right - window.left) - client.right;
  const int frameH = (window.bottom - window.top) - client.bottom;
  SetWindowPos(Handle(), nullptr, 0, 0, width + frameW, height + frameH,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  if (centered_) Center();
}

void Form::Center() {
  RECT r{};
  GetWindowRect(Handle(), &r);
  const int w = r.right - r.left;
  const int h = r.bottom - r.top;
  const int x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2;
  const int y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
  SetWindowPos(Handle(), nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form::SetFontHeight(int height) {
  platform::win32::UniqueFont font = MakeFont(fontName_, height);
  fontHeight_ = height;
  // The old font is deleted only after no window holds it any more.
  std::swap(font_, font);
  ApplyFont();
}

void Form::ApplyFont() {
  SendMessageA(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
  for (Control* c : controls_) {
    if (c->Handle() == nullptr) continue;
    SendMessageA(c->Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), TRUE);
    c->FontChanged();
  }
}

int Form::TextWidth(const std::string& text) { return TextMeter(*this).Width(text); }
int Form::TextHeight(const std::string& text) { return TextMeter(*this).Height(text); }

TextMeter::TextMeter(Form& form) : dc_(form.Handle()) {
  if (!dc_) return;
  font_.emplace(dc_.get(), form.Font());
  // GDI turns the bytes into characters in the code page of the font's
  // character set; only where that takes one byte per character is a byte's
  // width a character's.
  CHARSETINFO charset{};
  CPINFO codePage{};
  const auto set = static_cast<uintptr_t>(GetTextCharsetInfo(dc_.get(), nullptr, 0));
  if (TranslateCharsetInfo(reinterpret_cast<DWORD*>(set), &charset, TCI_SRCCHARSET) &&
      GetCPInfo(charset.ciACP, &codePage) && codePage.MaxCharSize == 1)
    charWidths_.assign(256, -1);
}

bool TextMeter::NoWiderThan(const std::string& text, int width) {
  if (charWidths_.empty()) return false;
  // GDI sets a text's characters one after another at their advance
  // widths (no kerning, and a fresh DC adds no extra spacing), so a text is
  // never wider than the sum of its characters drawn one by one; an
  // overhang counts once in the text and once per character in the sum.
  int sum = 0;
  for (const char c : text) {
    int& w = charWidths_[static_cast<unsigned char>(c)];
    if (w < 0) w = Extent(std::string(1, c)).cx;
    sum += w;
    if (sum > width) return false;
  }
  return sum <= width;
}

SIZE TextMeter::Extent(const std::string& text) const {
  SIZE size{0, 0};
  if (dc_) GetTextExtentPoint32A(dc_.get(), text.c_str(), static_cast<int>(text.size()), &size);
  return size;
}

void Form::AddControl(Control* control) { controls_.push_back(control); }

void Form::RemoveControl(Control* control) {
  controls_.erase(std::remove(controls_.begin(), controls_.end(), control), controls_.end());
}

void Form::RestoreFocus() {
  if (lastFocus_ != nullptr && IsWindow(lastFocus_) && IsChild(Handle(), lastFocus_)) {
    ::SetFocus(lastFocus_);
    return;
  }
  HWND first = GetNextDlgTabItem(Handle(), nullptr, FALSE);
  ::SetFocus(first != nullptr ? first : Handle());
}

LRESULT Form::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_ACTIVATE:
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus != nullptr && IsChild(Handle(), focus)) lastFocus_ = focus;
      } else {
        RestoreFocus();
        PostMessageA(Handle(), kActivated, 0, 0);
      }
      return 0;
    case kActivated:
      if (OnActivate) OnActivate();
      return 0;
    case WM_SHOWWINDOW:
      // lParam 0: a ShowWindow call, not the owner being restored.
      if (wParam && lParam == 0 && OnShow) OnShow();
      break;
    case WM_CLOSE:
      if (OnCloseQuery && !OnCloseQuery()) return 0;
      if (modal_) {
        modalResult_ = mrCancel;
      } else if (Application::Current().MainForm() == this) {
        Application::Current().Terminate();
      } else {
        Hide();
      }
      return 0;
    case WM_DESTROY:
      // A main form gone by any way ends the message loop.
      if (Application::Current().MainForm() == this) Application::Current().Terminate();
      if (OnDestroy) OnDestroy();
      return 0;
    case WM_SIZE:
      for (Control* c : controls_) {
        if (c->GetAlign() != Align::None && &c->Parent() == this) c->Realign();
      }
      break;
    case WM_SETCURSOR:
      if (Screen::ApplyCursor()) return TRUE;
      break;
    case DM_GETDEFID: {
      // Enter presses the focused push button, as a dialog would.
      HWND focus = GetFocus();
      if (focus != nullptr && IsChild(Handle(), focus) &&
          (SendMessageA(focus, WM_GETDLGCODE, 0, 0) & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)))
        return MAKELRESULT(GetDlgCtrlID(focus), DC_HASDEFID);
      return 0;
    }
    default:
      break;
  }
  return Window::OnMessage(msg, wParam, lParam);
}

}  // namespace toolkit
