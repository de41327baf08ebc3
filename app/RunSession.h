#pragma once
// One start of the program apart from its window: the command line, the
// report (/log:<file>) and the exit code around one UninstallRun. An
// interactive run without /log: needs none of it.
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
};

class RunSession {
 public:
  RunSession(const CommandLine& line, Services& services, SessionInfo info);

  // Before anything is touched. Creates the report, emptying an existing
  // file, and writes its header; refuses, in a run nobody watches, an
  // unknown switch. False: the run must not start (exit code 87). A report
  // that cannot be created ends an interactive run with message 6 naming it.
  bool Open();
  // Makes `run` the session's run, before its Start: unattended as the
  // command line says, heard by the verdict and then the report.
  void Attach(UninstallRun& run);
  // An error outside the run's steps (the window toolkit's, in a run nobody
  // watches): a report line, and the run has failed.
  void Fail(const std::string& text);
  // The report's last lines when the run never ended, then the file
  // written through to the disk.
  void Close();

  // The process's exit code: 0 for an interactive run.
  uint32_t ExitCode() const;

 private:
  const CommandLine& line_;
  Services& services_;
  SessionInfo info_;
  RunVerdict verdict_;
  std::unique_ptr<RunReport> report_;
  bool refused_ = false;
  bool failed_ = false;
};

// A quiet run from start to end, without any window or box; gives the exit
// code.
uint32_t RunQuietly(const CommandLine& line, Services& services, TRunData& data, const SessionInfo& info);

}  // namespace app
