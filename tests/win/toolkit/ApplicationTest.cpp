// The application window: the program's one taskbar button, the owner of
// the forms, and where a click on that button and its "close" go.
#include <functional>

#include "tests/win/toolkit/ToolkitFixture.h"

namespace toolkit_test {
namespace {

// The windows of this thread a taskbar gives a button to: visible and
// top-level, and either unowned and no tool window, or marked as an
// application window.
std::vector<HWND> TaskbarWindows() {
  std::vector<HWND> found;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND hwnd, LPARAM data) WINAPI -> BOOL {
        const LONG ex = GetWindowLongA(hwnd, GWL_EXSTYLE);
        const bool unowned = GetWindow(hwnd, GW_OWNER) == nullptr && !(ex & WS_EX_TOOLWINDOW);
        if (IsWindowVisible(hwnd) && (unowned || (ex & WS_EX_APPWINDOW)))
          reinterpret_cast<std::vector<HWND>*>(data)->push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

std::string TextOf(HWND hwnd) {
  char buffer[256] = {};
  GetWindowTextA(hwnd, buffer, sizeof buffer);
  return buffer;
}

class ApplicationTest : public ToolkitTest {
 protected:
  ApplicationTest() { app.SetTitle("Desinstalador Kestrivon"); }

  // Runs `during` inside the message loop once the main form is active,
  // then closes the main form, which ends the loop.
  void RunWith(toolkit::Form& form, const std::function<void()>& during) {
    bool done = false;
    form.OnActivate = [&] {
      if (done) return;
      done = true;
      during();
      form.Close();
    };
    app.Run(form);
    EXPECT_TRUE(done) << "the main form was never activated";
  }

  // Activates the application window as a click on its taskbar button
  // does, and lets the activation settle.
  void ActivateApplicationWindow() {
    SetActiveWindow(app.Handle());
    app.ProcessMessages();
  }
};

TEST_F(ApplicationTest, TheTitleIsTheOneTaskbarButtonWhileTheProgramRuns) {
  toolkit::Form form(Params());
  EXPECT_EQ(GetWindow(form.Handle(), GW_OWNER), app.Handle()) << "forms belong to the application window";
  EXPECT_FALSE(IsWindowVisible(app.Handle()));
  EXPECT_TRUE(TaskbarWindows().empty());

  RunWith(form, [&] {
    EXPECT_TRUE(IsWindowVisible(form.Handle()));
    EXPECT_EQ(TaskbarWindows(), std::vector<HWND>{app.Handle()});
    EXPECT_EQ(TextOf(app.Handle()), "Desinstalador Kestrivon");
    RECT r{};
    GetWindowRect(app.Handle(), &r);
    EXPECT_EQ(r.right - r.left, 0) << "the application window itself is never seen";
    EXPECT_EQ(r.bottom - r.top, 0);
    EXPECT_FALSE(GetWindowLongA(app.Handle(), GWL_EXSTYLE) & WS_EX_TOOLWINDOW);

    app.SetTitle("Outro t\355tulo");  // "Outro título"
    EXPECT_EQ(TextOf(app.Handle()), "Outro t\355tulo");
  });

  EXPECT_FALSE(IsWindowVisible(app.Handle())) << "no button once the loop is over";
  EXPECT_TRUE(TaskbarWindows().empty());
  EXPECT_TRUE(reports.empty());
}

TEST_F(ApplicationTest, AModalFormGetsNoButtonAndLeavesTheApplicationWindowEnabled) {
  toolkit::Form form(Params());
  toolkit::Form modal(Params(200, 100));
  EXPECT_EQ(GetWindow(modal.Handle(), GW_OWNER), app.Handle());
  bool checked = false;
  modal.OnActivate = [&] {
    if (checked) return;
    checked = true;
    EXPECT_EQ(TaskbarWindows(), std::vector<HWND>{app.Handle()});
    EXPECT_FALSE(IsWindowEnabled(form.Handle()));
    EXPECT_TRUE(IsWindowEnabled(app.Handle()));
    modal.SetModalResult(toolkit::mrOk);
  };
  RunWith(form, [&] { EXPECT_EQ(modal.ShowModal(), toolkit::mrOk); });
  EXPECT_TRUE(checked);
}

TEST_F(ApplicationTest, ActivatingTheApplicationWindowActivatesTheFormInFront) {
  toolkit::Form form(Params());
  toolkit::Form modal(Params(200, 100));
  HWND activeAfterClick = nullptr;
  HWND activeInModal = nullptr;
  bool inModal = false;
  modal.OnActivate = [&] {
    if (inModal) return;
    inModal = true;
    ActivateApplicationWindow();
    activeInModal = GetActiveWindow();
    modal.SetModalResult(toolkit::mrOk);
  };
  RunWith(form, [&] {
    ActivateApplicationWindow();
    activeAfterClick = GetActiveWindow();
    modal.ShowModal();
  });
  EXPECT_EQ(activeAfterClick, form.Handle()) << "the main form, not the invisible window";
  EXPECT_EQ(activeInModal, modal.Handle()) << "the modal form, not the disabled main form";
}

// Drives a message box of this thread from a timer while the box runs its
// own loop: first a click on the taskbar button, then, on the next tick,
// notes the active window and presses OK.
struct BoxProbe {
  HWND application = nullptr;
  int ticks = 0;
  HWND box = nullptr;
  HWND active = nullptr;
};
BoxProbe g_probe;

void CALLBACK ProbeBox(HWND, UINT, UINT_PTR id, DWORD) {
  HWND box = FindWindowA("#32770", "Caixa");
  if (box == nullptr || !IsWindowVisible(box)) return;
  if (g_probe.ticks++ == 0) {
    g_probe.box = box;
    SetActiveWindow(g_probe.application);
    return;
  }
  KillTimer(nullptr, id);
  g_probe.active = GetActiveWindow();
  PostMessageA(box, WM_COMMAND, IDOK, 0);
}

TEST_F(ApplicationTest, ActivatingTheApplicationWindowBringsBackAMessageBox) {
  toolkit::Form form(Params());
  g_probe = BoxProbe{app.Handle()};
  RunWith(form, [&] {
    const UINT_PTR timer = SetTimer(nullptr, 0, 100, ProbeBox);
    ASSERT_NE(timer, 0u);
    MessageBoxA(form.Handle(), "Texto", "Caixa", MB_OK);
  });
  ASSERT_NE(g_probe.box, nullptr) << "the box was never seen";
  EXPECT_EQ(g_probe.active, g_probe.box);
}

TEST_F(ApplicationTest, MinimisingFromTheTaskbarHidesTheFormsAndRestoringBringsThemBack) {
  toolkit::Form form(Params());
  bool hidden = true, restored = false, active = false;
  RunWith(form, [&] {
    SendMessageA(app.Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    app.ProcessMessages();
    hidden = IsIconic(app.Handle()) && !IsWindowVisible(form.Handle());
    SendMessageA(app.Handle(), WM_SYSCOMMAND, SC_RESTORE, 0);
    app.ProcessMessages();
    restored = !IsIconic(app.Handle()) && IsWindowVisible(form.Handle());
    active = GetActiveWindow() == form.Handle();
  });
  EXPECT_TRUE(hidden);
  EXPECT_TRUE(restored);
  EXPECT_TRUE(active);
}

TEST_F(ApplicationTest, ClosingTheApplicationWindowClosesTheMainFormUnlessAModalFormIsUp) {
  toolkit::Form form(Params());
  toolkit::Form modal(Params(200, 100));
  bool stillModal = false;
  bool asked = false;
  modal.OnActivate = [&] {
    if (asked) return;
    asked = true;
    SendMessageA(app.Handle(), WM_CLOSE, 0, 0);
    app.ProcessMessages();
    stillModal = modal.Modal() && IsWindowVisible(modal.Handle()) && !app.Terminated();
    modal.SetModalResult(toolkit::mrOk);
  };
  bool terminatedByClose = false;
  form.OnActivate = [&] {
    if (asked) return;
    modal.ShowModal();
    // The taskbar's "close window" on the application's button.
    SendMessageA(app.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
    terminatedByClose = app.Terminated();
  };
  app.Run(form);
  EXPECT_TRUE(stillModal) << "a modal form keeps the program from closing";
  EXPECT_TRUE(terminatedByClose);
  EXPECT_TRUE(IsWindow(app.Handle())) << "closing never destroys the application window";
  EXPECT_TRUE(IsWindow(form.Handle()));
  EXPECT_TRUE(reports.empty());
}

}  // namespace
}  // namespace toolkit_test
