// Forms: size, place, font, events, modal display, message processing and
// the error report.
#include <stdexcept>

#include "platform/Error.h"
#include "platform/toolkit/Controls.h"
#include "tests/win/toolkit/ToolkitFixture.h"

namespace toolkit_test {
namespace {

using FormTest = ToolkitTest;

TEST_F(FormTest, HasTheClientSizeAndStandsAtTheCentreOfTheScreen) {
  toolkit::Form form(Params(394, 190));
  RECT client{};
  GetClientRect(form.Handle(), &client);
  EXPECT_EQ(client.right, 394);
  EXPECT_EQ(client.bottom, 190);
  RECT window{};
  GetWindowRect(form.Handle(), &window);
  EXPECT_EQ(window.left, (GetSystemMetrics(SM_CXSCREEN) - (window.right - window.left)) / 2);
  EXPECT_EQ(window.top, (GetSystemMetrics(SM_CYSCREEN) - (window.bottom - window.top)) / 2);

  form.SetClientSize(554, 308);
  GetClientRect(form.Handle(), &client);
  EXPECT_EQ(client.right, 554);
  EXPECT_EQ(client.bottom, 308);
  GetWindowRect(form.Handle(), &window);
  EXPECT_EQ(window.left, (GetSystemMetrics(SM_CXSCREEN) - (window.right - window.left)) / 2);
}

TEST_F(FormTest, BorderStylesAreFixedSizeWithACloseBox) {
  toolkit::FormParams p = Params();
  toolkit::Form single(p);
  p.border = toolkit::BorderStyle::Dialog;
  toolkit::Form dialog(p);
  const LONG s = GetWindowLongA(single.Handle(), GWL_STYLE);
  const LONG d = GetWindowLongA(dialog.Handle(), GWL_STYLE);
  EXPECT_EQ(s & WS_CAPTION, WS_CAPTION);
  EXPECT_TRUE(s & WS_SYSMENU);
  EXPECT_FALSE(s & WS_THICKFRAME);
  EXPECT_FALSE(s & WS_MAXIMIZEBOX);
  EXPECT_TRUE(d & WS_POPUP);
  EXPECT_TRUE(d & WS_SYSMENU);
  EXPECT_FALSE(d & WS_THICKFRAME);
  EXPECT_TRUE(GetWindowLongA(dialog.Handle(), GWL_EXSTYLE) & WS_EX_DLGMODALFRAME);
  EXPECT_FALSE(IsWindowVisible(single.Handle())) << "a form shows only when asked to";
}

TEST_F(FormTest, FontHeightChangeReachesEveryControl) {
  toolkit::Form form(Params());
  toolkit::StaticText text(form, 4, 40, 381, 23);
  toolkit::ScrollBox box(form, 0, 0, 100, 30);
  toolkit::StaticText nested(box, 0, 0, 50, 20);
  EXPECT_EQ(FontHeightOf(text.Handle()), -11);
  EXPECT_EQ(FontHeightOf(nested.Handle()), -11);

  form.SetFontHeight(-9);
  EXPECT_EQ(form.FontHeight(), -9);
  EXPECT_EQ(FontHeightOf(text.Handle()), -9);
  EXPECT_EQ(FontHeightOf(nested.Handle()), -9);
  EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(text.Handle(), WM_GETFONT, 0, 0)), form.Font());
  LOGFONTA lf{};
  GetObjectA(form.Font(), sizeof lf, &lf);
  EXPECT_STREQ(lf.lfFaceName, "MS Sans Serif");
  EXPECT_EQ(lf.lfCharSet, DEFAULT_CHARSET);
}

TEST_F(FormTest, MeasuresTextInItsOwnFont) {
  toolkit::Form form(Params());
  const std::string text = "\301\307 Sum\341rio";  // "ÁÇ Sumário"
  const SIZE expected = Extent(form.Font(), text);
  EXPECT_EQ(form.TextWidth(text), expected.cx);
  EXPECT_EQ(form.TextHeight("\301\307"), Extent(form.Font(), "\301\307").cy);
  EXPECT_EQ(form.TextWidth(""), 0);

  form.SetFontHeight(-22);
  EXPECT_GT(form.TextWidth(text), expected.cx);
  EXPECT_EQ(form.TextWidth(text), Extent(form.Font(), text).cx);
}

TEST_F(FormTest, AMeterMeasuresAsTheFormInTheFontItWasMadeWith) {
  toolkit::Form form(Params());
  const std::string texts[] = {"", "\301\307", "\301\307 Sum\341rio", "    C:\\" + std::string(300, 'W')};
  for (const int height : {-11, -22}) {
    form.SetFontHeight(height);
    toolkit::TextMeter meter(form);
    for (const std::string& text : texts) {
      const SIZE expected = Extent(form.Font(), text);
      EXPECT_EQ(meter.Width(text), expected.cx) << height << " " << text;
      EXPECT_EQ(meter.Height(text), expected.cy) << height << " " << text;
      EXPECT_EQ(meter.Width(text), form.TextWidth(text)) << height << " " << text;
      // Sure only of what is true, and sure of it in the dialog's code page.
      EXPECT_FALSE(meter.NoWiderThan(text, expected.cx - 1)) << height << " " << text;
      EXPECT_TRUE(meter.NoWiderThan(text, expected.cx)) << height << " " << text;
    }
  }
}

TEST_F(FormTest, ButtonWithAModalResultEndsTheModalDisplay) {
  toolkit::Form owner(Params());
  owner.Show();
  toolkit::FormParams p = Params(300, 100);
  p.border = toolkit::BorderStyle::Dialog;
  p.owner = owner.Handle();
  toolkit::Form dialog(p);
  toolkit::Button ok(dialog, 10, 10, 115, 19, "&Deixar como est\341");
  ok.ModalResult = toolkit::mrOk;
  int clicks = 0;
  ok.OnClick = [&] { ++clicks; };
  bool ownerDisabledMeanwhile = false;
  dialog.OnActivate = [&] {
    ownerDisabledMeanwhile = !IsWindowEnabled(owner.Handle());
    PostMessageA(ok.Handle(), BM_CLICK, 0, 0);
  };

  EXPECT_EQ(dialog.ShowModal(), toolkit::mrOk);
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(ownerDisabledMeanwhile);
  EXPECT_TRUE(IsWindowEnabled(owner.Handle()));
  EXPECT_FALSE(IsWindowVisible(dialog.Handle()));
  EXPECT_FALSE(app.Terminated());
}

TEST_F(FormTest, CloseBoxEndsTheModalDisplayWithCancel) {
  toolkit::Form dialog(Params(300, 100));
  toolkit::Button ok(dialog, 10, 10, 115, 19, "OK");
  ok.ModalResult = toolkit::mrOk;
  dialog.OnActivate = [&] { PostMessageA(dialog.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0); };
  EXPECT_EQ(dialog.ShowModal(), toolkit::mrCancel);
  EXPECT_TRUE(IsWindow(dialog.Handle())) << "closing a modal form hides it, the object destroys it";
  EXPECT_FALSE(app.Terminated());
}

TEST_F(FormTest, ButtonWithoutModalResultLeavesTheModalDisplayOpen) {
  toolkit::Form dialog(Params(300, 100));
  toolkit::Button other(dialog, 10, 10, 80, 19, "Outro");
  toolkit::Button ok(dialog, 100, 10, 80, 19, "OK");
  ok.ModalResult = toolkit::mrOk;
  int otherClicks = 0;
  other.OnClick = [&] {
    ++otherClicks;
    PostMessageA(ok.Handle(), BM_CLICK, 0, 0);  // only this one ends it
  };
  dialog.OnActivate = [&] { PostMessageA(other.Handle(), BM_CLICK, 0, 0); };
  EXPECT_EQ(dialog.ShowModal(), toolkit::mrOk);
  EXPECT_EQ(otherClicks, 1);
}

TEST_F(FormTest, ClosingTheMainFormEndsTheMessageLoop) {
  toolkit::Form form(Params());
  int activations = 0;
  form.OnActivate = [&] {
    ++activations;
    PostMessageA(form.Handle(), WM_CLOSE, 0, 0);
  };
  app.Run(form);
  EXPECT_TRUE(app.Terminated());
  EXPECT_GE(activations, 1);
}

TEST_F(FormTest, RunAfterTerminateNeverShowsTheForm) {
  toolkit::Form form(Params());
  bool shown = false;
  form.OnShow = [&] { shown = true; };
  form.OnCreate = [&] { app.Terminate(); };
  form.DoCreate();
  app.Run(form);
  EXPECT_FALSE(shown);
  EXPECT_FALSE(IsWindowVisible(form.Handle()));
}

class CountingForm : public toolkit::Form {
 public:
  static constexpr UINT kPing = WM_APP + 7;
  explicit CountingForm(const toolkit::FormParams& p) : Form(p) {}
  int pings = 0;

 protected:
  LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (msg == kPing) {
      ++pings;
      return 0;
    }
    return Form::OnMessage(msg, wParam, lParam);
  }
};

TEST_F(FormTest, ProcessMessagesRunsEveryPendingMessageAndReturns) {
  CountingForm form(Params());
  for (int i = 0; i < 3; ++i) PostMessageA(form.Handle(), CountingForm::kPing, 0, 0);
  EXPECT_EQ(form.pings, 0);
  app.ProcessMessages();
  EXPECT_EQ(form.pings, 3);
  MSG left{};
  EXPECT_FALSE(PeekMessageA(&left, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_FALSE(app.Terminated());
}

TEST_F(FormTest, ProcessMessagesNotesAQuitRequest) {
  PostQuitMessage(0);
  app.ProcessMessages();
  EXPECT_TRUE(app.Terminated());
}

TEST_F(FormTest, ErrorInAnEventHandlerReachesTheReportAndStopsThere) {
  toolkit::Form form(Params());
  toolkit::Button button(form, 10, 10, 80, 19, "Botao");
  form.OnShow = [] { throw platform::Error("Erro ao mostrar"); };
  button.OnClick = [] { throw std::runtime_error("Erro no clique"); };
  form.OnCreate = [] { throw platform::Error("Erro ao criar"); };

  form.DoCreate();
  form.Show();  // returns normally: nothing crossed the window procedure
  SendMessageA(button.Handle(), BM_CLICK, 0, 0);
  ASSERT_EQ(reports.size(), 3u);
  EXPECT_EQ(reports[0], "Erro ao criar");
  EXPECT_EQ(reports[1], "Erro ao mostrar");
  EXPECT_EQ(reports[2], "Erro no clique");
  EXPECT_TRUE(IsWindow(form.Handle()));
}

// What the answering timer found in the box.
struct SeenBox {
  std::string caption, text;
  bool icon = false;
  UINT type = 0;
};
SeenBox g_seen;

// Answers the stop box from a timer of this thread while the box runs its
// own message loop.
void CALLBACK AnswerBox(HWND, UINT, UINT_PTR id, DWORD) {
  HWND box = FindWindowA("#32770", "Desinstalador Kestrivon");
  if (box == nullptr) return;
  KillTimer(nullptr, id);
  char buffer[256] = {};
  GetWindowTextA(box, buffer, sizeof buffer);
  g_seen.caption = buffer;
  GetDlgItemTextA(box, 0xFFFF, buffer, sizeof buffer);
  g_seen.text = buffer;
  g_seen.icon = GetDlgItem(box, 1088) != nullptr;
  g_seen.type = (GetDlgItem(box, IDOK) != nullptr ? 1 : 0) | (GetDlgItem(box, IDCANCEL) != nullptr ? 2 : 0);
  PostMessageA(box, WM_COMMAND, IDOK, 0);
}

TEST_F(FormTest, ErrorReportWithoutHookIsAStopBoxCaptionedWithTheTitle) {
  toolkit::Application own;  // no hook: the real box
  own.SetTitle("Desinstalador Kestrivon");
  g_seen = SeenBox{};
  const UINT_PTR timer = SetTimer(nullptr, 0, 200, AnswerBox);
  ASSERT_NE(timer, 0u);
  own.ShowException(platform::Error("N\343o deu certo"));  // "Não deu certo"
  EXPECT_EQ(g_seen.caption, "Desinstalador Kestrivon");
  EXPECT_EQ(g_seen.text, "N\343o deu certo");
  EXPECT_TRUE(g_seen.icon);
  EXPECT_EQ(g_seen.type, 1u) << "one OK button";
}

}  // namespace
}  // namespace toolkit_test
