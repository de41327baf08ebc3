#include "app/RunSession.h"

#include "app/Registration.h"

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

// The report's file, opened once the run has read its log: until then
// what is written waits here, then goes to the file in one write.
class RunSession::DeferredFile : public platform::IOutputFile {
 public:
  platform::Status Append(const std::string& bytes) override {
    if (file_) return file_->Append(bytes);
    if (!dropped_) pending_ += bytes;
    return {};
  }
  platform::Status Flush() override {
    return file_ ? file_->Flush() : platform::Status::Refused(platform::kErrorInvalidHandle);
  }
  platform::Status Open(std::unique_ptr<platform::IOutputFile> file) {
    file_ = std::move(file);
    const platform::Status written = file_->Append(pending_);
    pending_.clear();
    return written;
  }
  // No file after all: what was written and will be is dropped.
  void Drop() {
    dropped_ = true;
    pending_.clear();
  }

 private:
  std::unique_ptr<platform::IOutputFile> file_;
  std::string pending_;
  bool dropped_ = false;
};

RunSession::RunSession(const CommandLine& line, const LogIdentity& log, Services& services, IRunHost& host,
                       SessionInfo info)
    : line_(line), log_(log), services_(services), host_(host), info_(std::move(info)) {}

bool RunSession::ReportWouldOverwriteTheLog(UninstallRun& run, bool started) {
  if (!log_.Given()) return false;
  const std::string full = services_.fs.FullPath(*line_.reportPath);
  if (services_.locale.EqualIgnoreCase(full, log_.full)) return true;
  // What the log names, from the run's own reading of it (or of its
  // journal).
  return started && run.LogNamesPath(full);
}

bool RunSession::Open(UninstallRun& run) {
  platform::IFileSystem& fs = services_.fs;
  std::optional<platform::FileEntry> earlier;
  if (line_.reportPath) {
    earlier = fs.FindEntry(*line_.reportPath);
    auto file = std::make_unique<DeferredFile>();
    reportFile_ = file.get();
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
    report_->Field("log", log_.Given() ? log_.given : "none given");
  }
  bool go = true;
  bool started = false;
  if (host_.RefusesUnknownSwitches() && !line_.unknownSwitches.empty()) {
    if (report_) {
      std::string switches;
      for (const std::string& s : line_.unknownSwitches) switches += (switches.empty() ? "" : " ") + s;
      report_->Field("unknown switches", switches);
    }
    verdict_.Refuse();
    go = false;
  } else if (line_.mode == RunMode::Interactive && !info_.seenByAPerson) {
    // Message 36 would wait until a deployment tool gives up on the run.
    if (report_) report_->Line("screen: nobody can see it (a window station that is not visible): run with /quiet");
    verdict_.NobodyToAsk();
    go = false;
  } else {
    run.Listen(verdict_);
    if (report_) run.Listen(*report_);
    started = true;
    go = run.Start(log_);
  }
  if (report_) {
    platform::Status status;
    // A report never takes the place of the log or of what it names.
    auto file = ReportWouldOverwriteTheLog(run, started && go) ? nullptr : fs.OpenOutputFile(*line_.reportPath, status);
    if (!file) {
      reportFile_->Drop();
      // A start that ended the run has told why already.
      if (!started || go) host_.Tell(kProblem, *line_.reportPath);
      verdict_.Refuse();
      return false;
    }
    reportFile_->Open(std::move(file));
  }
  return go;
}

void RunSession::Fail(const std::string& text) {
  verdict_.Fail();
  if (report_) report_->OnError(text);
}

uint32_t RunSession::Close() {
  // No run is reported as gone that did not get to its end.
  const bool standing = verdict_.Unseen() || verdict_.EndedShort();
  const uint32_t exitCode = standing ? verdict_.ExitCode() : host_.ExitCode(verdict_.ExitCode());
  if (report_) {
    report_->Verdict(verdict_.Text(), exitCode);
    report_->Close();
  }
  return exitCode;
}

uint32_t RunProgram(const CommandLine& line, Services& services, IRunHost& host, SessionInfo info, TRunData& data,
                    const std::function<void(UninstallRun& run, RunSession& session)>& window) {
  const LogIdentity log = IdentifyLog(line.logPath, services.fs, services.registry, services.locale);
  RunSession session(line, log, services, host, std::move(info));
  NoView noView;
  UninstallRun run(services, host, noView, data);
  if (session.Open(run)) {
    if (window) {
      window(run, session);
      run.ShowOn(noView);
    } else {
      run.Activate();
    }
  }
  data.FreeLists();
  return session.Close();
}

}  // namespace app
