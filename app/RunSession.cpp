#include "app/RunSession.h"

#include "app/LogReader.h"
#include "app/Ownership.h"
#include "app/Registration.h"
#include "app/RunJournal.h"

namespace app {

namespace {

constexpr int32_t kProblem = 6;  // "O arquivo "<path>"\n\rapresentou problemas."

const char* ModeName(RunMode mode) {
  switch (mode) {
    case RunMode::Interactive: return "interactive";
    case RunMode::Passive: return "passive";
    case RunMode::Quiet: return "quiet";
  }
  return "?";
}

}  // namespace

RunSession::RunSession(const CommandLine& line, Services& services, IRunHost& host, SessionInfo info)
    : line_(line), services_(services), host_(host), info_(std::move(info)) {}

bool RunSession::ReportWouldOverwriteTheLog(const std::string& report) {
  if (line_.logPath.empty()) return false;
  platform::IFileSystem& fs = services_.fs;
  const std::string full = fs.FullPath(report), log = fs.FullPath(line_.logPath);
  if (services_.locale.EqualIgnoreCase(full, log)) return true;
  // What the log names, from the log or, once it is gone, from the journal
  // of the run that deleted it.
  std::optional<std::string> bytes = fs.ReadDenyWrite(log);
  if (!bytes) {
    if (auto earlier = RunJournal(services_.registry, services_.locale, log).Find()) bytes = std::move(earlier->log);
  }
  const env::PathRules paths(services_.locale);
  TRunData data;
  if (!bytes || !ReadLogBytes(*bytes, paths, data)) return false;
  return LogNames(data, paths.FolderOfFile(log), full, services_.locale);
}

bool RunSession::Open() {
  if (line_.reportPath) {
    platform::IFileSystem& fs = services_.fs;
    const auto earlier = fs.FindEntry(*line_.reportPath);
    platform::Status status;
    // A report never takes the place of the log or of what it names.
    auto file = ReportWouldOverwriteTheLog(*line_.reportPath) ? nullptr : fs.OpenOutputFile(*line_.reportPath, status);
    if (!file) {
      host_.Tell(kProblem, *line_.reportPath);
      verdict_.Refuse();
      return false;
    }
    report_ = std::make_unique<RunReport>(std::move(file), fs, services_.locale);
    // An earlier run's report stays, this run's follows it; the line end
    // first ends a line that a cut-off run left open (else a blank line).
    if (earlier && earlier->size > 0) report_->Line("\r\n======== next run, started " + info_.startTime + " ========");
    const std::string program = services_.module.ProgramPath();
    const auto version = services_.module.ReadFileVersion(program).value_or(platform::FileVersion{});
    report_->Line("Desinstalador Kestrivon " + FormatVersion(version.ms, version.ls) +
                  ": report of an uninstallation");
    report_->Field("started", info_.startTime);
    report_->Field("command line", info_.commandLine);
    report_->Line(std::string("mode: ") + ModeName(line_.mode));
    report_->Field("log", line_.logPath.empty() ? "none given" : line_.logPath);
  }
  if (host_.RefusesUnknownSwitches() && !line_.unknownSwitches.empty()) {
    if (report_) {
      std::string switches;
      for (const std::string& s : line_.unknownSwitches) switches += (switches.empty() ? "" : " ") + s;
      report_->Field("unknown switches", switches);
    }
    verdict_.Refuse();
    return false;
  }
  if (line_.mode == RunMode::Interactive && !info_.seenByAPerson) {
    // Message 36 would wait until a deployment tool gives up on the run.
    if (report_) report_->Line("screen: nobody can see it (a window station that is not visible): run with /quiet");
    verdict_.NobodyToAsk();
    return false;
  }
  return true;
}

void RunSession::Attach(UninstallRun& run) {
  run.Listen(verdict_);
  if (report_) run.Listen(*report_);
}

void RunSession::RunWithoutWindow(TRunData& data) {
  NoView view;
  UninstallRun run(services_, host_, view, data);
  Attach(run);
  if (run.Start(line_.logPath)) run.Activate();
  data.FreeLists();
}

void RunSession::Fail(const std::string& text) {
  verdict_.Fail();
  if (report_) report_->OnError(text);
}

uint32_t RunSession::Close() {
  const uint32_t exitCode = verdict_.Unseen() ? verdict_.ExitCode() : host_.ExitCode(verdict_.ExitCode());
  if (report_) {
    report_->Verdict(verdict_.Text(), exitCode);
    report_->Close();
  }
  return exitCode;
}

}  // namespace app
