#pragma once
// The progress window fmMain: wires its controls to the run (UninstallRun),
// which holds every decision of start-up and of the uninstallation.
#include <cstdint>
#include <optional>
#include <string>

#include "app/RunData.h"
#include "app/RunSession.h"
#include "app/UninstallRun.h"
#include "platform/Services.h"
#include "platform/toolkit/Controls.h"
#include "platform/toolkit/Form.h"

class TfmMain : public toolkit::Form, public app::IMainView {
 public:
  // Creating the window runs FormCreate, which may already end the run
  // (the application is then terminated and the window must not be shown).
  // `logPath` is the command line's (app/CommandLine.h); `host` is whoever
  // started the run. A `session` (its verdict and report) gets the run
  // before it starts.
  TfmMain(app::Services& services, platform::IScreen& screen, app::TRunData& data, app::IRunHost& host,
          std::string logPath, app::RunSession* session = nullptr);
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
  std::string logPath_;
  app::UninstallRun run_;
};

// The main window of the running program; null before it exists.
extern TfmMain* fmMain;
