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

RunSession::RunSession(const CommandLine& line, Services& services, IRunHost& host, SessionInfo info)
    : line_(line), services_(services), host_(host), info_(std::move(info)) {}

bool RunSession::Open() {
  if (line_.reportPath) {
    platform::Status status;
    auto file = services_.fs.CreateOutputFile(*line_.reportPath, status);
    if (!file) {
      host_.Tell(kProblem, *line_.reportPath);
      verdict_.Refuse();
      return false;
    }
    report_ = std::make_unique<RunReport>(std::move(file), services_.fs, services_.locale);
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
  const uint32_t exitCode = host_.ExitCode(verdict_.ExitCode());
  if (report_) {
    report_->Verdict(verdict_.Text(), exitCode);
    report_->Close();
  }
  return exitCode;
}

}  // namespace app
