#pragma once
// The progress window fmMain: wires its controls to the run (UninstallRun),
// which holds every decision of start-up and of the uninstallation.
#include <cstdint>
#include <optional>
#include <string>

#include "app/RunData.h"
#include "app/UninstallRun.h"
#include "platform/Services.h"
#include "platform/toolkit/Controls.h"
#include "platform/toolkit/Form.h"

class TfmMain : public toolkit::Form, public app::IMainView {
 public:
  // The window of `run`, which has started (UninstallRun::Start) and is
  // shown on this window from now on. Creating the window runs FormCreate.
  TfmMain(app::UninstallRun& run, platform::IScreen& screen);
  ~TfmMain() override;

  // Controls, in their declared order (also their stacking and tab order).
  toolkit::ProgressBar ProgressBar;
  toolkit::StaticText StaticText;
  toolkit::Bevel Bevel1;
  toolkit::Label lbJobDone;
  toolkit::StaticText stObject;
  toolkit::Label lbFantaName;

  void FormCreate();
  void FormActivate();
  void FormDestroy();
  // The removal engine's progress refresh.
  void ShowProgress() { run_.ShowProgress(); }

  app::UninstallRun& Run() { return run_; }

  // The shortest time between two refreshes of the progress figures; tests
  // lengthen it to see what waits for the next refresh.
  void SetRefreshInterval(uint32_t ms) { refreshIntervalMs_ = ms; }

  // app::IMainView
  void SetPhase(const std::string& text) override;
  void SetAppLine(const std::string& text) override;
  void ShowProgress(const std::string& jobDone, const std::string& object, std::optional<int> position) override;
  void SetBusyCursor(bool busy) override;
  void Terminate() override;
  void ReportError(const std::string& text) override;

  // The failure summary, modal over this window, on `failures` (a person
  // host's summary).
  void ShowFailureSummary(app::TFailList& failures);

 private:
  // Figures given to ShowProgress and not yet on the screen.
  struct PendingProgress {
    std::string jobDone;
    std::string object;
    std::optional<int> position;
  };
  // Shows what is pending, paints what changed and lets waiting window
  // messages run.
  void FlushProgress();

  platform::IScreen& screen_;
  std::optional<PendingProgress> pending_;
  uint32_t refreshIntervalMs_ = 100;
  uint32_t lastRefresh_ = 0;
  bool refreshedOnce_ = false;
  app::UninstallRun& run_;
};
