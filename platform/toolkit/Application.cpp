#include "platform/toolkit/Application.h"

#include "platform/toolkit/Form.h"

namespace toolkit {

namespace {
Application* g_current = nullptr;
}  // namespace

Application::Application() : previous_(g_current) { g_current = this; }

Application::~Application() {
  if (g_current == this) g_current = previous_;
}

Application& Application::Current() {
  if (g_current != nullptr) return *g_current;
  static Application fallback;
  return fallback;
}

void Application::Run(Form& mainForm) {
  mainForm_ = &mainForm;
  if (!terminated_) mainForm.Show();
  while (!terminated_) HandleOne(true);
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
  MessageBoxA(GetActiveWindow(), text.c_str(), Title.c_str(), MB_ICONSTOP | MB_OK);
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
