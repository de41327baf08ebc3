#pragma once
// Whoever started a run, and what the run asks of them: a person at the
// screen (app/PersonHost.h) or a deployment tool that runs it with /quiet or
// /passive (app/UnattendedHost.h). Everything that differs between the two
// is an answer of this interface; the run itself asks the same questions in
// every mode.
#include <cstdint>
#include <string>

#include "app/RestartRemovals.h"
#include "app/RunData.h"

namespace app {

class IRunHost {
 public:
  virtual ~IRunHost() = default;
  // Message 36 with the application's name. False: the answer was No.
  virtual bool Confirm(const std::string& appName) = 0;
  // A message of the catalogue that tells, and asks nothing: 0, 3 and 6 (the
  // run then ends) and 41 (the removal is over).
  virtual void Tell(int32_t code, const std::string& argument) = 0;
  // Another run of the same log holds its claim (`claimName`), so this one
  // ends, touching nothing: a person gets that run's window in front.
  virtual void ShowOtherRun(const std::string& claimName) = 0;
  // What resisted the removal, `failures` not being empty; returns once
  // nobody looks at it any more.
  virtual void ShowFailureSummary(TFailList& failures) = 0;
  // Where a deletion goes that another program's open handle refuses: the
  // next start of Windows, or nowhere (nullptr) when a person sees it in
  // the summary instead.
  virtual RestartRemovals* Restart() = 0;
  // Whether an error that ended the run ends the program at once; a
  // person's window instead shows the standard error report and stays
  // until it is closed (IMainView::ReportError).
  virtual bool EndsAtError() const = 0;
  // Whether switches that nobody knows refuse the run (exit code 87).
  virtual bool RefusesUnknownSwitches() const = 0;
  // The process's exit code when the run's verdict is `verdict`.
  virtual uint32_t ExitCode(uint32_t verdict) const = 0;
};

}  // namespace app
