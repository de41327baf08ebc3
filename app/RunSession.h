#pragma once
// One start of the program apart from its window: the command line, the
// report (/log:<file>) and the verdict around one UninstallRun, and the one
// place where the run's end becomes the report's last lines and the
// process's exit code.
#include <cstdint>
#include <memory>
#include <string>

#include "app/CommandLine.h"
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
  // `host` is the run's (app/RunHost.h); the session asks it what the mode
  // changes of the command line, the report and the exit code.
  RunSession(const CommandLine& line, Services& services, IRunHost& host, SessionInfo info);

  // Before anything is touched. Opens the report, after an existing one's
  // lines and a separator, and writes its header; refuses an unknown switch
  // when the host does. False: the run must not start (exit code 87). A
  // report that cannot be created, or would take the place of the log or of
  // a file or folder that it names, is told as message 6 naming it. An
  // interactive run that nobody can see does not start either (exit code
  // 1602, a report line saying why).
  bool Open();
  // Makes `run` the session's run, before its Start: the verdict and the
  // report hear it.
  void Attach(UninstallRun& run);
  // A run without a window (/quiet): start to end, over a view that shows
  // nothing.
  void RunWithoutWindow(TRunData& data);
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
  bool ReportWouldOverwriteTheLog(const std::string& report);

  const CommandLine& line_;
  Services& services_;
  IRunHost& host_;
  SessionInfo info_;
  RunVerdict verdict_;
  std::unique_ptr<RunReport> report_;
};

}  // namespace app
