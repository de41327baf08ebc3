#pragma once
// A progress window that records what the run showed on it, and a person
// at the screen who answers from a scripted message box and whose failure
// summaries are counted on that window.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/MainView.h"
#include "app/PersonHost.h"
#include "tests/fakes/FakeServices.h"

namespace fakes {

class FakeMainView : public app::IMainView {
 public:
  struct Progress {
    std::string jobDone, object;
    std::optional<int> position;
  };
  std::vector<std::string> phases;
  std::vector<std::string> appLines;
  std::vector<Progress> progress;
  std::vector<bool> cursor;  // every SetBusyCursor call
  int summaries = 0;
  int terminated = 0;
  std::vector<std::string> errorReports;  // ReportError's texts
  // Called when the summary would be shown (a test may edit the list there).
  std::function<void()> onSummary;

  // What a person's host shows as the failure summary.
  void ShowFailureSummary() {
    ++summaries;
    if (onSummary) onSummary();
  }

  void SetPhase(const std::string& text) override { phases.push_back(text); }
  void SetAppLine(const std::string& text) override { appLines.push_back(text); }
  void ShowProgress(const std::string& jobDone, const std::string& object, std::optional<int> position) override {
    progress.push_back({jobDone, object, position});
  }
  void SetBusyCursor(bool busy) override { cursor.push_back(busy); }
  void Terminate() override { ++terminated; }
  void ReportError(const std::string& text) override { errorReports.push_back(text); }
};

// A person at the screen: answers come from `box`, summaries are counted on
// `view`.
inline app::PersonHost PersonAt(FakeMessageBox& box, FakeMainView& view) {
  return app::PersonHost(box, [&view](app::TFailList&) { view.ShowFailureSummary(); });
}

}  // namespace fakes
