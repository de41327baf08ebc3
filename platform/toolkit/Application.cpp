#include "platform/toolkit/Application.h"

#include "platform/Error.h"
#include "platform/toolkit/Form.h"

namespace toolkit {

namespace {
Application* g_current = nullptr;

constexpr char kWindowClass[] = "Kestrivon.Application";
// Posted on activation: the form is activated once the application
// window's own activation is complete.
constexpr UINT kActivateForm = WM_APP + 0x101;

struct FormSearch {
  HWND application;
  HWND found;
};

// The first visible, enabled window of the thread, in stacking order (owned
// windows lie above their owners), that the application window owns
// directly or through another window.
BOOL CALLBACK FindForm(HWND hwnd, LPARAM data) {
  auto* s = reinterpret_cast<FormSearch*>(data);
  if (hwnd == s->application || !IsWindowVisible(hwnd) || !IsWindowEnabled(hwnd)) return TRUE;
  // GetAncestor's root owner follows owners of pop-up windows only.
  for (HWND owner = GetWindow(hwnd, GW_OWNER); owner != nullptr; owner = GetWindow(owner, GW_OWNER)) {
    if (owner == s->application) {
      s->found = hwnd;
      return FALSE;
    }
  }
  return TRUE;
}
}  // namespace

Application::Application() : previous_(g_current) { g_current = this; }

Application::~Application() {
  if (handle_ != nullptr && IsWindow(handle_)) {
    SetWindowLongPtrA(handle_, GWLP_USERDATA, 0);
    DestroyWindow(handle_);
  }
  if (g_current == this) g_current = previous_;
}

Application& Application::Current() {
  if (g_current != nullptr) return *g_current;
  static Application fallback;
  return fallback;
}

void Application::SetTitle(const std::string& title) {
  title_ = title;
  if (handle_ != nullptr) SetWindowTextA(handle_, title_.c_str());
}

HWND Application::Handle() {
  if (handle_ != nullptr) return handle_;
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA existing{};
  if (!GetClassInfoA(instance, kWindowClass, &existing)) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.lpszClassName = kWindowClass;
    if (RegisterClassA(&wc) == 0) throw platform::Error("Cannot register the application window class");
  }
  // No size, at the centre of the screen, where a minimise would shrink to.
  handle_ = CreateWindowExA(0, kWindowClass, title_.c_str(),
                            WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                            GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0, nullptr,
                            nullptr, instance, this);
  if (handle_ == nullptr) throw platform::Error("Cannot create the application window");
  return handle_;
}

LRESULT CALLBACK Application::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
  if (msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    auto* creating = static_cast<Application*>(create->lpCreateParams);
    creating->handle_ = hwnd;
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creating));
  }
  auto* self = reinterpret_cast<Application*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcA(hwnd, msg, wParam, lParam);
  try {
    return self->OnMessage(msg, wParam, lParam);
  } catch (...) {
    ReportCurrentException();
    return 0;
  }
}

LRESULT Application::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE && HIWORD(wParam) == 0) PostMessageA(handle_, kActivateForm, 0, 0);
      break;
    case kActivateForm:
      if (GetActiveWindow() == handle_ && !IsIconic(handle_)) {
        HWND form = FormToActivate();
        if (form != nullptr) SetActiveWindow(form);
      }
      return 0;
    case WM_CLOSE:
      // As the main form's close box; never destroys the window (and with
      // it every form) by itself. A disabled main form (a modal window is
      // up) can't be closed.
      if (mainForm_ != nullptr && mainForm_->Handle() != nullptr && IsWindowEnabled(mainForm_->Handle()))
        mainForm_->Close();
      return 0;
    default:
      break;
  }
  return DefWindowProcA(handle_, msg, wParam, lParam);
}

HWND Application::FormToActivate() const {
  HWND popup = GetLastActivePopup(handle_);
  if (popup != nullptr && popup != handle_ && IsWindowVisible(popup) && IsWindowEnabled(popup)) return popup;
  FormSearch search{handle_, nullptr};
  EnumThreadWindows(GetCurrentThreadId(), FindForm, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

void Application::Run(Form& mainForm) {
  mainForm_ = &mainForm;
  if (!terminated_) {
    SetWindowPos(Handle(), nullptr, 0, 0, 0, 0,
                 SWP_SHOWWINDOW | SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER);
    mainForm.Show();
  }
  while (!terminated_) HandleOne(true);
  if (handle_ != nullptr) ShowWindow(handle_, SW_HIDE);
}

void Application::Terminate() { terminated_ = true; }

void Application::ProcessMessages() {
  while (HandleOne(false)) {
  }
}

void Application::HandleMessage() { HandleOne(true); }

bool Application::HandleOne(bool wait) {
  MSG msg{};
  if (wait) {
    const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == -1) return false;
    if (got == 0) {
      terminated_ = true;
      return true;
    }
  } else {
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
    if (msg.message == WM_QUIT) {
      terminated_ = true;
      return true;
    }
  }
  // Tab, arrow keys, Enter and access keys move between a form's controls.
  HWND root = msg.hwnd != nullptr ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
  if (root != nullptr && dynamic_cast<Form*>(Window::FromHandle(root)) != nullptr &&
      IsDialogMessageA(root, &msg))
    return true;
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
  return true;
}

void Application::ShowException(const std::exception& error) { ShowException(std::string(error.what())); }

void Application::ShowException(const std::string& text) {
  if (report_) {
    report_(text);
    return;
  }
  MessageBoxA(GetActiveWindow(), text.c_str(), title_.c_str(), MB_ICONSTOP | MB_OK);
}

void ReportCurrentException() noexcept {
  try {
    try {
      throw;
    } catch (const std::exception& e) {
      Application::Current().ShowException(e);
    } catch (...) {
      Application::Current().ShowException(std::string("Unexpected error"));
    }
  } catch (...) {
    // The report itself failed; nothing is left to tell the user with.
  }
}

void Screen::SetCursor(CursorKind kind) {
  cursor_ = kind;
  ::SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(kind == CursorKind::Hourglass ? IDC_WAIT : IDC_ARROW)));
}

bool Screen::ApplyCursor() {
  if (cursor_ == CursorKind::Default) return false;
  ::SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT)));
  return true;
}

}  // namespace toolkit
