// One run, in the order it happens: the log path (Start), then, at the first
// activation of the window, the log read, the confirmation, the log's
// deletion, the removal with its failure summary, message 41 and the
// registration (Activate and the steps below it).
#include "app/UninstallRun.h"

#include "app/FailList.h"
#include "app/LogReader.h"
#include "app/ProgressFigures.h"
#include "app/Registration.h"
#include "app/RemovalEngine.h"
#include "env/Enviro.h"

namespace app {

namespace {
constexpr int32_t kNoArgument = 0;
constexpr int32_t kLogMissing = 3;
constexpr int32_t kLogUnreadable = 6;
constexpr int32_t kFinished = 41;
// "Inicializando..."
constexpr char kInitializing[] = "Inicializando...";
// The literal ends in one blank.
constexpr char kUninstalling[] = "Desinstalando ";

// Hourglass from construction until the end of the scope, however it ends.
class BusyCursor {
 public:
  explicit BusyCursor(IMainView& view) : view_(view) { view_.SetBusyCursor(true); }
  ~BusyCursor() {
    try {
      view_.SetBusyCursor(false);
    } catch (...) {
      // Nothing may leave a destructor; the cursor is cosmetic.
    }
  }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;

 private:
  IMainView& view_;
};

std::string TextOf(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "unexpected error";
  }
}
}  // namespace

// ---- start-up: the log path ----

UninstallRun::UninstallRun(Services& services, IRunHost& host, IMainView& view, TRunData& data)
    : services_(services), host_(host), view_(view), data_(data) {}

bool UninstallRun::Start(const std::string& logPath) {
  data_.RegKeyList.clear();
  data_.RegKeyLevels.clear();
  LogPath = logPath;
  data_.UninsData.BaseDir = env::PathRules(services_.locale).FolderOfFile(LogPath);
  if (LogPath.empty()) {
    host_.Tell(kNoArgument, "");
    End(RunEnd::NoLog);
    return false;
  }
  if (!services_.fs.FileExists(LogPath)) {
    host_.Tell(kLogMissing, LogPath);
    End(RunEnd::LogMissing);
    return false;
  }
  return true;
}

// ---- the run ----

void UninstallRun::Activate() {
  if (Activated) return;
  Activated = true;
  running_ = true;
  struct EndOfRun {
    bool& running;
    ~EndOfRun() { running = false; }
  } endOfRun{running_};
  try {
    Steps();
  } catch (...) {
    listeners_.OnError(TextOf(std::current_exception()));
    listeners_.OnEnd(RunEnd::Error);
    host_.OnError();
    view_.Terminate();
  }
}

void UninstallRun::Steps() {
  view_.SetPhase(kInitializing);
  if (!ReadLog()) {
    host_.Tell(kLogUnreadable, LogPath);
    End(RunEnd::LogUnreadable);
    return;
  }
  listeners_.OnLogRead(data_);
  if (!host_.Confirm(data_.UninsData.AppName)) {
    End(RunEnd::Declined);
    return;
  }
  DeleteLog();
  view_.SetAppLine(kUninstalling + data_.UninsData.AppName);
  RemoveInstallation();
  host_.Tell(kFinished, "");
  UpdateRegistration();
  End(RunEnd::Finished);
}

void UninstallRun::End(RunEnd end) {
  view_.Terminate();
  listeners_.OnEnd(end);
}

bool UninstallRun::ReadLog() {
  if (!app::ReadLog(services_.fs, env::PathRules(services_.locale), LogPath, data_)) return false;
  BytesToProcess = data_.UninsData.TotalBytes;
  return true;
}

void UninstallRun::DeleteLog() {
  // So that an interrupted run cannot be started again from the same log.
  Outcome log;
  log.path = LogPath;
  RemoveFoundFile(services_.fs, host_.Restart(), log);
  listeners_.OnLogDeleted(log);
}

void UninstallRun::RemoveInstallation() {
  if (data_.FailList) {
    data_.ClearFailList();
  } else {
    data_.FailList = std::make_unique<TFailList>();
  }
  // The engine's stream goes to the view (through this run), to the
  // failure list and to whoever listens.
  FailListBuilder failures(*data_.FailList);
  RemovalListeners stream{this, &failures, &listeners_};
  {
    BusyCursor busy(view_);
    RemovalEngine(services_.fs, services_.registry, services_.locale).Run(data_, stream, host_.Restart());
  }
  if (data_.FailList->Count() > 0) host_.ShowFailureSummary(*data_.FailList);
}

void UninstallRun::UpdateRegistration() {
  RegistrationResult result;
  try {
    Registration(services_.registry, services_.module, services_.lock, services_.fs, services_.locale).Update(result);
  } catch (...) {
    // What was done before the self-deletion entry failed to be written.
    listeners_.OnRegistration(result);
    throw;
  }
  listeners_.OnRegistration(result);
}

// ---- progress ----

void UninstallRun::OnPhase(Phase phase) {
  if (const char* caption = PhaseCaption(phase)) view_.SetPhase(caption);
}

void UninstallRun::OnProgress(int64_t bytesProcessed, const std::string& currentObject) {
  // The run's own figures first, so that they are right even when the
  // engine stops early.
  BytesProcessed = bytesProcessed;
  CurrentObject = currentObject;
  ShowProgress();
}

void UninstallRun::ShowProgress() {
  // The locale's separator costs a look into the user's settings: once per
  // run, since it does not change meanwhile, and not at all without figures.
  if (!view_.ShowsProgress()) return;
  if (!separator_) separator_ = services_.locale.ThousandsSeparator();
  view_.ShowProgress(FormatJobDone(BytesProcessed, BytesToProcess, *separator_),
                     CurrentObject, ProgressPosition(BytesProcessed, BytesToProcess));
}

}  // namespace app
