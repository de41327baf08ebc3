// The progress window over fake services: its layout, start-up, the wiring
// of activation to the run, the progress display and an escaping error.
#include "app/tools/LogWriter.h"
#include "app/PersonHost.h"
#include "app/RunSession.h"
#include "app/ui/uMain.h"
#include "env/Enviro.h"
#include "platform/Error.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeServices.h"
#include "tests/win/toolkit/ToolkitFixture.h"

namespace toolkit_test {
namespace {

constexpr char kLog[] = "C:\\App\\app.und";

class MainFormTest : public ToolkitTest {
 protected:
  std::string LogBytes() {
    app::LogContent content;
    content.appName = "Demo";
    return app::WriteLog(content);
  }
  void AddLog(const std::string& bytes) { fs.AddFile(kLog, 0, bytes.size(), platform::kAttrArchive, bytes); }
  std::vector<std::string> Captions() {
    std::vector<std::string> c;
    for (const auto& s : box.shown()) c.push_back(s.caption + "|" + s.text);
    return c;
  }

  fakes::FakeFileSystem fs;
  fakes::FakeRegistry registry;
  fakes::FakeMessageBox box;
  fakes::FakeLocale locale;
  fakes::FakeModule module;
  fakes::FakeNamedLock lock;
  fakes::FakeNamedLock claim;
  fakes::FakeScreen screen{96};
  app::Services services{fs, registry, box, locale, module, lock, claim};
  TfmMain* shown = nullptr;
  app::PersonHost person{box, [this](app::TFailList& failures) { shown->ShowFailureSummary(failures); }};
  app::TRunData data;
  app::NoView none;
  std::unique_ptr<app::UninstallRun> run;

  // The window of a run started on `log`, as the program makes it.
  std::unique_ptr<TfmMain> Window(platform::IScreen& on, app::Services& with, const std::string& log = kLog) {
    run = std::make_unique<app::UninstallRun>(with, person, none, data);
    EXPECT_TRUE(run->Start(log));
    auto form = std::make_unique<TfmMain>(*run, on);
    shown = form.get();
    return form;
  }
  std::unique_ptr<TfmMain> Window() { return Window(screen, services); }
};

TEST_F(MainFormTest, LayoutAndCaptionsAfterFormCreate) {
  AddLog(LogBytes());
  auto window = Window();
  TfmMain& form = *window;
  EXPECT_TRUE(box.shown().empty());
  EXPECT_FALSE(app.Terminated());
  EXPECT_FALSE(IsWindowVisible(form.Handle()));

  EXPECT_EQ(form.Caption(), "Desinstalador Kestrivon v1.0");
  EXPECT_EQ(form.ClientWidth(), 394);
  EXPECT_EQ(form.ClientHeight(), 190);
  const LONG style = GetWindowLongA(form.Handle(), GWL_STYLE);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_FALSE(style & WS_THICKFRAME);

  EXPECT_EQ(form.ProgressBar.Bounds(), Rect(10, 172, 371, 12));
  EXPECT_EQ(form.StaticText.Bounds(), Rect(4, 40, 381, 23));
  EXPECT_EQ(form.stObject.Bounds(), Rect(10, 78, 375, 47));
  EXPECT_EQ(form.Bevel1.Bounds(), Rect(0, 165, 394, 25));
  EXPECT_EQ(form.Bevel1.GetAlign(), toolkit::Align::Bottom);
  // The labels size themselves: empty, to one blank in the form's font.
  const SIZE blank = Extent(form.Font(), " ");
  EXPECT_EQ(form.lbFantaName.Bounds(), Rect(6, 8, blank.cx, blank.cy));
  EXPECT_EQ(form.lbJobDone.Bounds(), Rect(2, 144, blank.cx, blank.cy));
  EXPECT_EQ(form.lbJobDone.Height(), form.TextHeight(" ")) << "one line of the form's font";

  EXPECT_EQ(form.lbFantaName.Caption(), "");
  EXPECT_EQ(form.StaticText.Caption(), "");
  EXPECT_EQ(form.stObject.Caption(), "");
  EXPECT_EQ(form.lbJobDone.Caption(), "");
  EXPECT_FALSE(form.StaticText.ShowAccelChar());
  EXPECT_TRUE(form.stObject.ShowAccelChar());
  EXPECT_EQ(form.ProgressBar.Position(), 0);

  EXPECT_EQ(form.FontHeight(), -11);
  EXPECT_EQ(FontHeightOf(form.stObject.Handle()), -11);
  EXPECT_EQ(form.Run().LogPath, kLog);
  EXPECT_EQ(data.UninsData.BaseDir, "C:\\App\\");

  // Tab order and stacking follow the declaration order.
  EXPECT_EQ(GetWindow(form.Handle(), GW_CHILD), form.ProgressBar.Handle());
  EXPECT_EQ(GetWindow(form.ProgressBar.Handle(), GW_HWNDNEXT), form.StaticText.Handle());
}

TEST_F(MainFormTest, FontCompensationReachesEveryControl) {
  AddLog(LogBytes());
  fakes::FakeScreen large(120);
  auto window = Window(large, services);
  TfmMain& form = *window;
  EXPECT_EQ(form.FontHeight(), -9);
  for (HWND c = GetWindow(form.Handle(), GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
    if (toolkit::Window::FromHandle(c) == &form.Bevel1) continue;  // draws no text
    EXPECT_EQ(FontHeightOf(c), -9);
  }
  const SIZE blank = Extent(form.Font(), " ");
  EXPECT_EQ(form.lbJobDone.Height(), blank.cy);
}

TEST_F(MainFormTest, StartUpRefusalsShowTheirCodeAndNeverMakeTheWindow) {
  const struct {
    std::vector<std::string> args;
    std::string text;
  } cases[] = {
      {{}, "N\343o h\341 par\342metro de desinstala\347\343o (arquivo /f:?.und)"},
      {{std::string("/f:") + kLog}, std::string("O arquivo \"") + kLog + "\"\n\rparece n\343o existir."},
  };
  for (const auto& c : cases) {
    fakes::FakeMessageBox once;
    app::Services with{fs, registry, once, locale, module, lock, claim};
    app::PersonHost asked{once, [](app::TFailList&) {}};
    bool made = false;
    app::RunProgram(app::ParseCommandLine(c.args), with, asked, {}, data,
                    [&](app::UninstallRun&, app::RunSession&) { made = true; });
    ASSERT_EQ(once.shown().size(), 1u);
    EXPECT_EQ(once.shown()[0].text, c.text);
    EXPECT_EQ(once.shown()[0].type, 16u);
    EXPECT_FALSE(made);
  }
  EXPECT_TRUE(reports.empty());
}

TEST_F(MainFormTest, FirstActivationRunsTheUninstallationOnce) {
  AddLog("not a log");
  auto window = Window();
  TfmMain& form = *window;
  ASSERT_FALSE(app.Terminated());
  std::string phaseWhileAsked;
  app.Run(form);  // shows, activates, code 6, ends
  ASSERT_EQ(box.shown().size(), 1u);
  EXPECT_EQ(box.shown()[0].text, std::string("O arquivo \"") + kLog + "\"\n\rapresentou problemas.");
  EXPECT_EQ(form.StaticText.Caption(), "Inicializando...");
  EXPECT_TRUE(form.Run().Activated);
  EXPECT_TRUE(fs.Exists(kLog)) << "an unreadable log stays";

  // Later activations do nothing.
  form.Show();
  SendMessageA(form.Handle(), WM_ACTIVATE, WA_ACTIVE, 0);
  app.ProcessMessages();
  EXPECT_EQ(box.shown().size(), 1u);
  EXPECT_TRUE(reports.empty());
}

class DiskFailingFs : public fakes::FakeFileSystem {
 public:
  using fakes::FakeFileSystem::RemoveFile;
  platform::Status RemoveFile(const std::string&, const platform::Place&) override { throw platform::Error("Falha de disco"); }
};

TEST_F(MainFormTest, ErrorEscapingTheRunReachesTheReportAndTheWindowStaysOpen) {
  DiskFailingFs failing;
  const std::string bytes = LogBytes();
  failing.AddFile(kLog, 0, bytes.size(), platform::kAttrArchive, bytes);
  app::Services s{failing, registry, box, locale, module, lock, claim};
  box.Answer(env::kIdYes);
  auto window = Window(screen, s);
  TfmMain& form = *window;
  bool openWhenReported = false;
  app.SetErrorReport([&](const std::string& text) {
    reports.push_back(text);
    openWhenReported = IsWindowVisible(form.Handle()) && !app.Terminated();
    PostMessageA(form.Handle(), WM_CLOSE, 0, 0);  // the user closes it
  });
  app.Run(form);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0], "Falha de disco");
  EXPECT_TRUE(openWhenReported);
  ASSERT_EQ(box.shown().size(), 1u) << "message 41 never comes";
  EXPECT_EQ(box.shown()[0].caption, "Continuar?");
}

TEST_F(MainFormTest, ShowProgressFillsTheLinesAndTheBar) {
  AddLog(LogBytes());
  auto window = Window();
  TfmMain& form = *window;
  form.SetRefreshInterval(0);  // every call is due
  form.ShowProgress("1.024 bytes processados de 8 bytes a processar", "C:\\App\\a&b.dll", 38);
  EXPECT_EQ(form.lbJobDone.Caption(), "1.024 bytes processados de 8 bytes a processar");
  EXPECT_EQ(form.lbJobDone.Width(), Extent(form.Font(), "1.024 bytes processados de 8 bytes a processar").cx);
  EXPECT_EQ(form.stObject.Caption(), "C:\\App\\a&b.dll");
  EXPECT_EQ(form.ProgressBar.Position(), 38);
  form.ShowProgress("x", "y", std::nullopt);
  EXPECT_EQ(form.ProgressBar.Position(), 38) << "no position given: the bar stays";

  // Through the run's own figures.
  form.Run().BytesToProcess = 8;
  form.Run().BytesProcessed = 1;
  form.Run().CurrentObject = "C:\\App\\b.dll";
  form.ShowProgress();
  EXPECT_EQ(form.ProgressBar.Position(), 12);
  EXPECT_EQ(form.stObject.Caption(), "C:\\App\\b.dll");
  EXPECT_EQ(form.lbJobDone.Caption(), "1 bytes processados de 8 bytes a processar");

  form.SetAppLine("Desinstalando Demo");
  EXPECT_EQ(form.lbFantaName.Caption(), "Desinstalando Demo");
  form.SetPhase("Apagando arquivos");
  EXPECT_EQ(form.StaticText.Caption(), "Apagando arquivos");
}

TEST_F(MainFormTest, QuickFiguresWaitForTheNextRefreshButEveryPhaseEndsRight) {
  AddLog(LogBytes());
  auto window = Window();
  TfmMain& form = *window;
  form.SetRefreshInterval(3600 * 1000);  // nothing is due again during this test
  form.SetPhase("Destruindo arquivos...");
  form.ShowProgress("1 bytes processados de 4 bytes a processar", "a.dll", 25);
  EXPECT_EQ(form.stObject.Caption(), "a.dll") << "the first figures show at once";
  form.ShowProgress("2 bytes processados de 4 bytes a processar", "b.dll", 50);
  form.ShowProgress("3 bytes processados de 4 bytes a processar", "c.dll", std::nullopt);
  EXPECT_EQ(form.stObject.Caption(), "a.dll") << "within the interval nothing is painted";
  EXPECT_EQ(form.ProgressBar.Position(), 25);

  form.SetPhase("Destruindo pastas...");  // the phase that ends shows its last figures
  EXPECT_EQ(form.stObject.Caption(), "c.dll");
  EXPECT_EQ(form.lbJobDone.Caption(), "3 bytes processados de 4 bytes a processar");
  EXPECT_EQ(form.ProgressBar.Position(), 50) << "the last position given, not cleared by a call without one";
  EXPECT_EQ(form.StaticText.Caption(), "Destruindo pastas...");

  form.ShowProgress("4 bytes processados de 4 bytes a processar", "D:\\Demo", 100);
  form.SetBusyCursor(false);  // the engine has ended
  EXPECT_EQ(form.stObject.Caption(), "D:\\Demo");
  EXPECT_EQ(form.ProgressBar.Position(), 100);
}

TEST_F(MainFormTest, FormDestroyFreesTheLists) {
  AddLog(LogBytes());
  data.FailList = std::make_unique<app::TFailList>();
  data.FailList->Add("    C:\\App\\a.dll", std::make_unique<app::TFailData>());
  data.ShortcutList = std::make_unique<app::TTextList>();
  {
    auto window = Window();
  TfmMain& form = *window;
    data.RegKeyList.push_back("x");
  }
  EXPECT_EQ(data.FailList, nullptr);
  EXPECT_EQ(data.ShortcutList, nullptr);
}

}  // namespace
}  // namespace toolkit_test
