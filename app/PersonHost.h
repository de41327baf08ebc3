#pragma once
// A run with a person at the screen, as the program has always run: every
// question is a message box, the failure summary is a modal dialog, files
// in use stay in the summary, an error shows the standard error report
// and the window stays, and the exit code is 0.
#include <functional>

#include "app/RunHost.h"
#include "platform/Services.h"

namespace app {

class PersonHost : public IRunHost {
 public:
  // `summary` shows the failure summary modally over the progress window;
  // `toFront` brings the window of the run that holds a claim to the front
  // (none: nothing is shown).
  PersonHost(platform::IMessageBox& box, std::function<void(TFailList&)> summary,
             std::function<void(const std::string&)> toFront = {})
      : box_(box), summary_(std::move(summary)), toFront_(std::move(toFront)) {}

  bool Confirm(const std::string& appName) override;
  void Tell(int32_t code, const std::string& argument) override;
  void ShowOtherRun(const std::string& claimName) override {
    if (toFront_) toFront_(claimName);
  }
  void ShowFailureSummary(TFailList& failures) override { summary_(failures); }
  RestartRemovals* Restart() override { return nullptr; }
  bool EndsAtError() const override { return false; }
  bool RefusesUnknownSwitches() const override { return false; }
  uint32_t ExitCode(uint32_t) const override { return 0; }

 private:
  platform::IMessageBox& box_;
  std::function<void(TFailList&)> summary_;
  std::function<void(const std::string&)> toFront_;
};

}  // namespace app
