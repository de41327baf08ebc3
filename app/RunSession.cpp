#include "app/RunSession.h"

#include "app/Registration.h"
#include "env/Enviro.h"

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

RunSession::RunSession(const CommandLine& line, Services& services, SessionInfo info)
    : line_(line), services_(services), info_(std::move(info)) {}

bool RunSession::Open() {
  if (line_.reportPath) {
    platform::Status status;
    auto file = services_.fs.CreateOutputFile(*line_.reportPath, status);
    if (!file) {
      if (!line_.Unattended()) env::ShowCodedMessage(services_.box, kProblem, *line_.reportPath);
      refused_ = true;
      return false;
    }
    report_ = std::make_unique<RunReport>(std::move(file), services_.fs, services_.locale, verdict_,
                                          line_.Unattended());
    const std::string program = services_.module.ProgramPath();
    const auto version = services_.module.ReadFileVersion(program).value_or(platform::FileVersion{});
    report_->Line("Desinstalador Kestrivon " + FormatVersion(version.ms, version.ls) +
                  ": report of an uninstallation");
    report_->Field("started", info_.startTime);
    report_->Field("command line", info_.commandLine);
    report_->Line(std::string("mode: ") + ModeName(line_.mode));
    const std::string log = LogPathFromArgument(line_.logArgument);
    report_->Field("log", log.empty() ? "none given" : log);
  }
  if (line_.Unattended() && !line_.unknownSwitches.empty()) {
    if (report_) {
      std::string switches;
      for (const std::string& s : line_.unknownSwitches) switches += (switches.empty() ? "" : " ") + s;
      report_->Field("unknown switches", switches);
      report_->Verdict("refused before anything was touched", kExitBadArguments);
    }
    refused_ = true;
    return false;
  }
  return true;
}

void RunSession::Attach(UninstallRun& run) {
  run.SetUnattended(line_.Unattended());
  run.Listen(verdict_);
  if (report_) run.Listen(*report_);
}

void RunSession::Fail(const std::string& text) {
  failed_ = true;
  if (report_) report_->OnError(text);
}

void RunSession::Close() {
  if (!report_) return;
  if (!refused_ && (!verdict_.Ended() || failed_)) {
    report_->Verdict(failed_ ? "an error ended the run" : verdict_.Text(), ExitCode());
  }
  report_->Close();
}

uint32_t RunSession::ExitCode() const {
  if (!line_.Unattended()) return kExitGone;
  if (refused_) return kExitBadArguments;
  return failed_ ? kExitFailed : verdict_.ExitCode();
}

uint32_t RunQuietly(const CommandLine& line, Services& services, TRunData& data, const SessionInfo& info) {
  RunSession session(line, services, info);
  if (session.Open()) {
    NoView view;
    UninstallRun run(services, view, data);
    session.Attach(run);
    if (run.Start(line.logArgument)) run.Activate();
    data.FreeLists();
  }
  session.Close();
  return session.ExitCode();
}

}  // namespace app
