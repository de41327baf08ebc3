#pragma once
// The application object: its title, its window, the message loop, the way
// to end it, pending-message processing, and the standard error report that
// every window procedure hands its caught errors to.
#include <windows.h>

#include <exception>
#include <functional>
#include <string>

namespace toolkit {

class Form;

class Application {
 public:
  // The newest application object becomes the current one; destroying it
  // makes the previous one current again.
  Application();
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // The current application; a built-in one when none was created.
  static Application& Current();

  // Caption of the error reports and text of the application window.
  void SetTitle(const std::string& title);

  // The application window, created on first use. It is never seen itself
  // (no size): while Run goes on it stands for the program on the taskbar,
  // with the title as its text, and owns the forms, which therefore have no
  // taskbar buttons of their own. Activating it (a click on its button)
  // activates the form last active; closing it closes the main form.
  HWND Handle();

  // Shows the application window and `mainForm`, unless Terminate was
  // called before, and handles messages until Terminate. Closing the main
  // form terminates.
  void Run(Form& mainForm);
  Form* MainForm() const { return mainForm_; }

  // Tells the message loop (and any modal loop) to end once the message in
  // hand has been handled.
  void Terminate();
  bool Terminated() const { return terminated_; }

  // Handles every message waiting in the thread's queue, then returns.
  void ProcessMessages();
  // Waits for one message and handles it.
  void HandleMessage();

  // The standard error report: a stop box with the error's text, captioned
  // with Title, owned by the active window. A hook, when set, takes the text
  // instead of the box (tests).
  void ShowException(const std::exception& error);
  void ShowException(const std::string& text);
  using ErrorReport = std::function<void(const std::string& text)>;
  void SetErrorReport(ErrorReport hook) { report_ = std::move(hook); }

 private:
  // False when there was nothing to handle.
  bool HandleOne(bool wait);
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept;
  LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  // The form to activate in place of the application window.
  HWND FormToActivate() const;

  Application* previous_ = nullptr;
  std::string title_;
  HWND handle_ = nullptr;
  Form* mainForm_ = nullptr;
  bool terminated_ = false;
  ErrorReport report_;
};

// For catch blocks of window procedures and callbacks: hands the exception
// being handled to the current application's report. Never throws.
void ReportCurrentException() noexcept;

// The screen cursor: while it is not the default, every window of the
// toolkit shows it.
enum class CursorKind { Default, Hourglass };

class Screen {
 public:
  static void SetCursor(CursorKind kind);
  // WM_SETCURSOR: true when the screen cursor was set and the message is
  // answered.
  static bool ApplyCursor();

 private:
  static inline CursorKind cursor_ = CursorKind::Default;
};

}  // namespace toolkit
