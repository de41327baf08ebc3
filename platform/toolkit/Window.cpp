#include "platform/toolkit/Window.h"

#include "platform/Error.h"
#include "platform/toolkit/Application.h"
#include "platform/toolkit/Form.h"
#include "platform/toolkit/Menu.h"

namespace toolkit {

namespace {
// The window property that holds the bound object.
constexpr char kObjectProp[] = "Kestrivon.Toolkit.Object";

// The child window a parent's notification is about; null when the message
// names none.
HWND NotifyingChild(HWND parent, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_COMMAND:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
      return reinterpret_cast<HWND>(lParam);
    case WM_DRAWITEM: {
      const auto* d = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      return d->CtlType == ODT_MENU ? nullptr : d->hwndItem;
    }
    case WM_DELETEITEM:
      return reinterpret_cast<const DELETEITEMSTRUCT*>(lParam)->hwndItem;
    case WM_COMPAREITEM:
      return reinterpret_cast<const COMPAREITEMSTRUCT*>(lParam)->hwndItem;
    case WM_NOTIFY:
      return reinterpret_cast<const NMHDR*>(lParam)->hwndFrom;
    case WM_MEASUREITEM: {
      const auto* m = reinterpret_cast<const MEASUREITEMSTRUCT*>(lParam);
      if (m->CtlType == ODT_MENU) return nullptr;
      return GetDlgItem(parent, static_cast<int>(wParam));
    }
    default:
      return nullptr;
  }
}
}  // namespace

Window::~Window() { DestroyHandle(); }

Window* Window::FromHandle(HWND hwnd) {
  if (hwnd == nullptr) return nullptr;
  // Another process's window holds none of our objects, not even when it is
  // another copy of this program with its Proc at the same address.
  DWORD process = 0;
  GetWindowThreadProcessId(hwnd, &process);
  if (process != GetCurrentProcessId()) return nullptr;
  if (RunsProc(hwnd)) return Bound(hwnd);
  // A system window, or one of ours subclassed again (a tooltip's
  // TTF_SUBCLASS): only the property can tell.
  return static_cast<Window*>(GetPropA(hwnd, kObjectProp));
}

bool Window::RunsProc(HWND hwnd) {
  const WNDPROC proc = &Window::Proc;
  return reinterpret_cast<WNDPROC>(GetWindowLongPtrA(hwnd, GWLP_WNDPROC)) == proc ||
         reinterpret_cast<WNDPROC>(GetClassLongPtrA(hwnd, GCLP_WNDPROC)) == proc;
}

Window* Window::Bound(HWND hwnd) { return reinterpret_cast<Window*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA)); }

std::string Window::Caption() const {
  if (hwnd_ == nullptr) return {};
  const int len = GetWindowTextLengthA(hwnd_);
  std::string text(static_cast<size_t>(len) + 1, '\0');
  const int got = GetWindowTextA(hwnd_, text.data(), len + 1);
  text.resize(static_cast<size_t>(got < 0 ? 0 : got));
  return text;
}

void Window::SetCaption(const std::string& text) {
  if (hwnd_ != nullptr) SetWindowTextA(hwnd_, text.c_str());
}

bool Window::Visible() const { return hwnd_ != nullptr && (GetWindowLongA(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0; }

void Window::SetVisible(bool visible) {
  if (hwnd_ != nullptr) ShowWindow(hwnd_, visible ? SW_SHOWNA : SW_HIDE);
}

bool Window::Enabled() const { return hwnd_ != nullptr && IsWindowEnabled(hwnd_); }

void Window::SetEnabled(bool enabled) {
  if (hwnd_ != nullptr) EnableWindow(hwnd_, enabled ? TRUE : FALSE);
}

int Window::ClientWidth() const {
  RECT r{};
  if (hwnd_ != nullptr) GetClientRect(hwnd_, &r);
  return r.right - r.left;
}

int Window::ClientHeight() const {
  RECT r{};
  if (hwnd_ != nullptr) GetClientRect(hwnd_, &r);
  return r.bottom - r.top;
}

void Window::Update() {
  if (hwnd_ != nullptr) RedrawWindow(hwnd_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void Window::Repaint() {
  if (hwnd_ != nullptr)
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void Window::DestroyHandle() {
  // WM_NCDESTROY detaches; the check covers a window destroyed meanwhile.
  if (hwnd_ != nullptr && IsWindow(hwnd_)) {
    if (!mark_.empty()) RemovePropA(hwnd_, mark_.c_str());
    DestroyWindow(hwnd_);
  }
  hwnd_ = nullptr;
}

void Window::Mark(const std::string& name) {
  if (hwnd_ == nullptr || name.empty()) return;
  if (!mark_.empty()) RemovePropA(hwnd_, mark_.c_str());
  mark_ = SetPropA(hwnd_, name.c_str(), reinterpret_cast<HANDLE>(1)) ? name : std::string();
}

namespace {
struct MarkSearch {
  const std::string& name;
  HWND found;
};

BOOL CALLBACK FindMarked(HWND h, LPARAM p) {
  auto* search = reinterpret_cast<MarkSearch*>(p);
  if (GetPropA(h, search->name.c_str()) == nullptr) return TRUE;
  search->found = h;
  return FALSE;
}
}  // namespace

bool BringMarkedToFront(const std::string& name) {
  MarkSearch search{name, nullptr};
  EnumWindows(FindMarked, reinterpret_cast<LPARAM>(&search));
  if (search.found == nullptr) return false;
  if (IsIconic(search.found)) ShowWindow(search.found, SW_RESTORE);
  // The box it waits on, when it shows one, is what wants the answer.
  SetForegroundWindow(GetLastActivePopup(search.found));
  return true;
}

LRESULT Window::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (ReflectToChild(msg, wParam, lParam, result)) return result;
  if (msg == WM_CONTEXTMENU && popup_ != nullptr) {
    POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    if (lParam == -1) {  // from the keyboard: open at the window's corner
      at = POINT{0, 0};
      ClientToScreen(hwnd_, &at);
    }
    popup_->Popup(OwnerForm().Handle(), at.x, at.y);
    return 0;
  }
  return CallBase(msg, wParam, lParam);
}

bool Window::OnReflected(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

bool Window::ReflectToChild(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (lParam == 0) return false;
  HWND child = NotifyingChild(hwnd_, msg, wParam, lParam);
  Window* target = FromHandle(child);
  // WM_MEASUREITEM of an owner-drawn list comes while it is being created,
  // before its id can be found among the children.
  if (target == nullptr && msg == WM_MEASUREITEM && child == nullptr && creating_ != nullptr &&
      creating_->hwnd_ != nullptr && GetParent(creating_->hwnd_) == hwnd_ &&
      reinterpret_cast<const MEASUREITEMSTRUCT*>(lParam)->CtlType != ODT_MENU)
    target = creating_;
  if (target == nullptr || target == this) return false;
  return target->OnReflected(msg, wParam, lParam, result);
}

LRESULT Window::CallBase(UINT msg, WPARAM wParam, LPARAM lParam) {
  return CallWindowProcA(base_, hwnd_, msg, wParam, lParam);
}

const char* Window::OwnClass(const char* name, UINT style, HBRUSH background) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  if (GetClassInfoExA(GetModuleHandleA(nullptr), name, &wc)) return name;
  wc = WNDCLASSEXA{};
  wc.cbSize = sizeof wc;
  wc.style = style;
  wc.lpfnWndProc = Proc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.hbrBackground = background;
  wc.lpszClassName = name;
  if (!RegisterClassExA(&wc)) throw platform::Error(std::string("Cannot register window class ") + name);
  return name;
}

const char* Window::Superclass(const char* systemClass, const char* name, UINT clearStyle, WNDPROC* base) {
  WNDCLASSEXA sys{};
  sys.cbSize = sizeof sys;
  if (!GetClassInfoExA(nullptr, systemClass, &sys))
    throw platform::Error(std::string("Cannot find window class ") + systemClass);
  *base = sys.lpfnWndProc;
  WNDCLASSEXA mine{};
  mine.cbSize = sizeof mine;
  if (GetClassInfoExA(GetModuleHandleA(nullptr), name, &mine)) return name;
  sys.style &= ~clearStyle;
  sys.lpfnWndProc = Proc;
  sys.hInstance = GetModuleHandleA(nullptr);
  sys.lpszClassName = name;
  sys.style &= ~CS_GLOBALCLASS;
  if (!RegisterClassExA(&sys)) throw platform::Error(std::string("Cannot register window class ") + name);
  return name;
}

void Window::CreateBound(DWORD exStyle, const char* className, const std::string& text, DWORD style, int x,
                         int y, int w, int h, HWND parent, HMENU idOrMenu, WNDPROC base) {
  base_ = base;
  Window* const outer = creating_;
  creating_ = this;
  HWND made = CreateWindowExA(exStyle, className, text.c_str(), style, x, y, w, h, parent, idOrMenu,
                              GetModuleHandleA(nullptr), nullptr);
  creating_ = outer;
  if (made == nullptr) throw platform::Error(std::string("Cannot create window ") + className);
  if (hwnd_ == nullptr) Attach(made);  // a class that sent nothing while being created
}

void Window::CreateSubclassed(DWORD exStyle, const char* className, const std::string& text, DWORD style,
                              int x, int y, int w, int h, HWND parent, HMENU idOrMenu) {
  HWND made = CreateWindowExA(exStyle, className, text.c_str(), style, x, y, w, h, parent, idOrMenu,
                              GetModuleHandleA(nullptr), nullptr);
  if (made == nullptr) throw platform::Error(std::string("Cannot create window ") + className);
  base_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(made, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Window::Proc)));
  subclassed_ = true;
  Attach(made);
}

void Window::Attach(HWND hwnd) {
  hwnd_ = hwnd;
  // The user data finds the object for every message: a window property
  // costs Wine two round trips to its server per look-up, which a fill of
  // many list lines pays once per line. The property stays for windows the
  // user data cannot vouch for (see FromHandle).
  SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetPropA(hwnd, kObjectProp, this);
}

void Window::Detach() {
  if (hwnd_ == nullptr) return;
  SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
  RemovePropA(hwnd_, kObjectProp);
  if (subclassed_) SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(base_));
  subclassed_ = false;
  hwnd_ = nullptr;
}

LRESULT CALLBACK Window::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
  // Only the toolkit's windows run this procedure, so their user data is ours.
  Window* self = Bound(hwnd);
  if (self == nullptr && creating_ != nullptr && creating_->hwnd_ == nullptr) {
    self = creating_;
    self->Attach(hwnd);
  }
  if (self == nullptr) return DefWindowProcA(hwnd, msg, wParam, lParam);
  if (msg == WM_NCDESTROY) {
    const WNDPROC base = self->base_;
    self->Detach();
    try {
      self->OnHandleDestroyed();
    } catch (...) {
      ReportCurrentException();
    }
    return CallWindowProcA(base, hwnd, msg, wParam, lParam);
  }
  try {
    return self->OnMessage(msg, wParam, lParam);
  } catch (...) {
    ReportCurrentException();
  }
  return 0;
}

}  // namespace toolkit
