#pragma once
// One start of the program apart from its window: the command line, the
// report (/log:<file>) and the verdict around one UninstallRun, and the one
// place where the run's end becomes the report's last lines and the
// process's exit code.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/CommandLine.h"
#include "app/LogIdentity.h"
#include "app/RunReport.h"
#include "app/RunVerdict.h"
#include "app/UninstallRun.h"

namespace app {

// What the report says of how the program was started.
struct SessionInfo {
  std::string commandLine;  // as the process received it
  std::string startTime;    // local time, "YYYY-MM-DD HH:MM:SS"
  bool seenByAPerson = true;  // false: nobody could answer a box
};

class RunSession {
 public:
  // `log` is the run's (app/LogIdentity.h), `host` the run's
  // (app/RunHost.h); the session asks the host what the mode changes of the
  // command line, the report and the exit code.
  RunSession(const CommandLine& line, const LogIdentity& log, Services& services, IRunHost& host,
             SessionInfo info);

  // Before anything is touched: writes the report's header (after an
  // existing report's lines and a separator), refuses an unknown switch
  // when the host does and an interactive run that nobody can see (exit
  // code 1602, a report line saying why), makes `run` the session's run
  // (the verdict and the report hear it) and starts it (UninstallRun::Start:
  // the claim and the log's one reading). The report file is opened then,
  // and refused when it cannot be created or would take the place of the
  // log or of a file or folder that the log names: message 6 naming it.
  // False: the run must not go on (its start ended it, or exit code 87).
  bool Open(UninstallRun& run);
  // An error outside the run's steps (the window toolkit's, in a run nobody
  // watches): a report line, and the run has failed.
  void Fail(const std::string& text);
  // The end: the report's result and exit code lines, the report written
  // through to the disk, and the process's exit code.
  uint32_t Close();

  IRunHost& host() { return host_; }

 private:
  // Whether the report path names the log, or a file or folder that it
  // names: full paths, long form, letter case aside.
  bool ReportWouldOverwriteTheLog(UninstallRun& run, bool started);

  const CommandLine& line_;
  const LogIdentity& log_;
  Services& services_;
  IRunHost& host_;
  SessionInfo info_;
  RunVerdict verdict_;
  std::unique_ptr<RunReport> report_;
  class DeferredFile;
  DeferredFile* reportFile_ = nullptr;  // report_'s file
};

// One start of the program after its command line, the one place a run is
// built: the log's identity (IdentifyLog), the session, the run; then,
// when the session opens, the run's steps, on `window` when one is given
// (it shows the run's window and runs it to its end; /quiet has none).
// Gives the process's exit code.
uint32_t RunProgram(const CommandLine& line, Services& services, IRunHost& host, SessionInfo info, TRunData& data,
                    const std::function<void(UninstallRun& run, RunSession& session)>& window = {});

}  // namespace app
