#pragma once
// A run that nobody watches (/quiet, /passive), everything it does
// differently in one place: the confirmation is taken as Yes; messages 0,
// 3, 6 and 41 and the failure summary are not shown; files that another
// program holds open, and the folders that stay only because of them, are
// deleted at the next start of Windows; an error ends the run instead of
// waiting for somebody to read its report; a second run of a log that
// another run holds ends at once (1618, for the tool to retry); a switch
// nobody knows refuses the run; and the exit code tells a deployment tool
// how it went.
#include "app/RunHost.h"
#include "platform/Services.h"

namespace app {

class UnattendedHost : public IRunHost {
 public:
  UnattendedHost(platform::IFileSystem& fs, platform::ILocale& locale) : restart_(fs, locale) {}

  bool Confirm(const std::string&) override { return true; }
  void Tell(int32_t, const std::string&) override {}
  void ShowOtherRun(const std::string&) override {}
  void ShowFailureSummary(TFailList&) override {}
  RestartRemovals* Restart() override { return &restart_; }
  bool EndsAtError() const override { return true; }
  bool RefusesUnknownSwitches() const override { return true; }
  uint32_t ExitCode(uint32_t verdict) const override { return verdict; }

 private:
  RestartRemovals restart_;
};

}  // namespace app
