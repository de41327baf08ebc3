#include "app/ui/uMain.h"

#include <windows.h>

#include <cstdlib>
#include <memory>

#include "env/Enviro.h"
#include "platform/toolkit/Application.h"
#include "summary/ui/uSumary.h"

namespace {
toolkit::FormParams MainFormParams() {
  toolkit::FormParams p;
  p.caption = "Desinstalador Kestrivon v1.0";
  p.border = toolkit::BorderStyle::Single;
  p.clientWidth = 394;
  p.clientHeight = 190;
  p.centered = true;
  p.fontName = "MS Sans Serif";
  p.fontHeight = -11;
  return p;
}
}  // namespace

TfmMain::TfmMain(app::UninstallRun& run, platform::IScreen& screen)
    : toolkit::Form(MainFormParams()),
      ProgressBar(*this, 10, 172, 371, 12),
      StaticText(*this, 4, 40, 381, 23, /*showAccelChar=*/false, "StaticText"),
      Bevel1(*this, 0, 165, 394, 25),
      lbJobDone(*this, 2, 144, "%d bytes processados de %d bytes a processar"),
      stObject(*this, 10, 78, 375, 47, /*showAccelChar=*/true, "stObject"),
      lbFantaName(*this, 6, 8, "lbFantaName"),
      screen_(screen),
      run_(run) {
  Bevel1.SetAlign(toolkit::Align::Bottom);
  OnCreate = [this] { FormCreate(); };
  OnActivate = [this] { FormActivate(); };
  OnDestroy = [this] { FormDestroy(); };
  // The close box, Alt+F4 and the taskbar's close are ignored while the run
  // goes on: it runs to its summary and its end message in any case.
  OnCloseQuery = [this] { return !run_.Running(); };
  run_.ShowOn(*this);
  DoCreate();
}

TfmMain::~TfmMain() {
  // FormDestroy runs while this object is still whole.
  DestroyHandle();
}

void TfmMain::FormCreate() {
  env::InitEnvironment(screen_);
  SetFontHeight(env::CompensateFontHeight(FontHeight()));
  lbFantaName.SetCaption("");
  stObject.SetCaption("");
  StaticText.SetCaption("");
  lbJobDone.SetCaption("");
  // The run has started (its log path checked and claimed): a run that
  // holds its log can be found by the next start of the same log.
  Mark(run_.ClaimName());
}

void TfmMain::FormActivate() { run_.Activate(); }

void TfmMain::FormDestroy() { run_.data().FreeLists(); }

void TfmMain::SetPhase(const std::string& text) {
  // The phase that ends keeps its last figures on the screen.
  FlushProgress();
  StaticText.SetCaption(text);
}

void TfmMain::SetAppLine(const std::string& text) {
  lbFantaName.SetCaption(text);
  Repaint();
}

void TfmMain::ShowProgress(const std::string& jobDone, const std::string& object, std::optional<int> position) {
  // Painting the window costs far more than removing one file, and a phase
  // may hold thousands of them: the figures go to the screen at most once
  // per refresh interval, and whatever is still pending is shown when the
  // phase changes and when the engine ends.
  if (!pending_) pending_.emplace();
  pending_->jobDone = jobDone;
  pending_->object = object;
  if (position) pending_->position = position;
  if (refreshedOnce_ && GetTickCount() - lastRefresh_ < refreshIntervalMs_) return;
  FlushProgress();
}

void TfmMain::FlushProgress() {
  if (!pending_) return;
  lbJobDone.SetCaption(pending_->jobDone);
  stObject.SetCaption(pending_->object);
  if (pending_->position) ProgressBar.SetPosition(*pending_->position);
  pending_.reset();
  // The lines and the bar have painted themselves or marked what changed;
  // painting only that costs a fraction of repainting the whole window, and
  // shows the same.
  Update();
  toolkit::Application::Current().ProcessMessages();
  lastRefresh_ = GetTickCount();
  refreshedOnce_ = true;
}

void TfmMain::SetBusyCursor(bool busy) {
  if (!busy) FlushProgress();  // the engine has ended: its last figures show
  toolkit::Screen::SetCursor(busy ? toolkit::CursorKind::Hourglass : toolkit::CursorKind::Default);
}

void TfmMain::ShowFailureSummary(app::TFailList& failures) {
  FlushProgress();
  // Modal over this window; it edits the list in place and is destroyed when
  // it closes (its modal result is not used).
  auto dialog = std::make_unique<TfmSumary>(Handle(), failures, run_.services().fs, run_.services().box,
                                             run_.services().locale);
  dialog->ShowModal();
}

void TfmMain::ReportError(const std::string& text) {
  FlushProgress();
  toolkit::Application::Current().ShowException(text);
}

void TfmMain::Terminate() {
  FlushProgress();
  toolkit::Application::Current().Terminate();
}
