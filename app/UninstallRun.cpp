// One run, in the order it happens: the argument (Start), then, at the first
// activation of the window, the log read, the confirmation, the log's
// deletion, the removal with its failure summary, message 41 and the
// registration (Activate and the steps below it).
#include "app/UninstallRun.h"

#include "app/FailList.h"
#include "app/LogReader.h"
#include "app/Registration.h"
#include "app/RemovalEngine.h"
#include "env/Enviro.h"
#include "platform/WindowsRules.h"

namespace app {

namespace {
constexpr int32_t kNoArgument = 0;
constexpr int32_t kLogMissing = 3;
constexpr int32_t kLogUnreadable = 6;
constexpr int32_t kConfirm = 36;
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
}  // namespace

// ---- start-up: the argument ----

UninstallRun::UninstallRun(Services& services, IMainView& view, TRunData& data)
    : services_(services), view_(view), data_(data), restart_(services.fs, services.locale) {}

bool UninstallRun::Start(const std::optional<std::string>& firstArgument) {
  data_.RegKeyList.clear();
  data_.RegKeyLevels.clear();
  LogPath = LogPathFromArgument(firstArgument);
  data_.UninsData.BaseDir = env::FolderOfFile(LogPath);
  if (LogPath.empty()) {
    if (!unattended_) env::ShowCodedMessage(services_.box, kNoArgument, "");
    End(RunEnd::NoLog);
    return false;
  }
  if (!services_.fs.FileExists(LogPath)) {
    if (!unattended_) env::ShowCodedMessage(services_.box, kLogMissing, LogPath);
    End(RunEnd::LogMissing);
    return false;
  }
  return true;
}

std::string LogPathFromArgument(const std::optional<std::string>& argument) {
  if (!argument || argument->find("/f:") == std::string::npos) return {};
  return argument->substr(3);
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
  const auto fail = [this](const std::string& text) {
    for (IRunListener* l : runListeners_) l->OnError(text);
    End(RunEnd::Error);
  };
  try {
    Steps();
  } catch (const std::exception& error) {
    fail(error.what());
    if (!unattended_) throw;
  } catch (...) {
    fail("unexpected error");
    if (!unattended_) throw;
  }
}

void UninstallRun::Steps() {
  view_.SetPhase(kInitializing);
  if (!ReadLog()) {
    if (!unattended_) env::ShowCodedMessage(services_.box, kLogUnreadable, LogPath);
    End(RunEnd::LogUnreadable);
    return;
  }
  for (IRunListener* l : runListeners_) l->OnLogRead(data_);
  if (!unattended_ && env::ShowCodedMessage(services_.box, kConfirm, data_.UninsData.AppName) == env::kIdNo) {
    End(RunEnd::Declined);
    return;
  }
  DeleteLog();
  view_.SetAppLine(kUninstalling + data_.UninsData.AppName);
  RemoveInstallation();
  if (!unattended_) env::ShowCodedMessage(services_.box, kFinished, "");
  UpdateRegistration();
  End(RunEnd::Finished);
}

void UninstallRun::End(RunEnd end) {
  // An interactive run that an error ended keeps its window until the user
  // closes it; the error report is the caller's.
  if (end != RunEnd::Error || unattended_) view_.Terminate();
  for (IRunListener* l : runListeners_) l->OnEnd(end);
}

bool UninstallRun::ReadLog() {
  if (!app::ReadLog(services_.fs, LogPath, data_)) return false;
  BytesToProcess = data_.UninsData.TotalBytes;
  return true;
}

void UninstallRun::DeleteLog() {
  // So that an interrupted run cannot be started again from the same log.
  Outcome log;
  log.path = LogPath;
  RemoveFoundFile(services_.fs, unattended_ ? &restart_ : nullptr, log);
  for (IRunListener* l : runListeners_) l->OnLogDeleted(log);
}

void UninstallRun::RemoveInstallation() {
  if (data_.FailList) {
    data_.ClearFailList();
  } else {
    data_.FailList = std::make_unique<TFailList>();
  }
  // The engine's stream goes to the window (through this run), to the
  // failure list and to whoever listens.
  FailListBuilder failures(*data_.FailList);
  RemovalListeners stream{this, &failures, &listeners_};
  {
    BusyCursor busy(view_);
    RemovalEngine(services_.fs, services_.registry, services_.locale)
        .Run(data_, stream, unattended_ ? &restart_ : nullptr);
  }
  if (data_.FailList->Count() > 0 && !unattended_) view_.ShowFailureSummary();
}

void UninstallRun::UpdateRegistration() {
  RegistrationResult result;
  const auto tell = [&] {
    for (IRunListener* l : runListeners_) l->OnRegistration(result);
  };
  try {
    Registration(services_.registry, services_.module, services_.lock, services_.fs, services_.locale).Update(result);
  } catch (...) {
    // What was done before the self-deletion entry failed to be written.
    tell();
    throw;
  }
  tell();
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
  // The locale's separator costs a look into the user's settings per file.
  if (!view_.ShowsProgress()) return;
  view_.ShowProgress(FormatJobDone(BytesProcessed, BytesToProcess, services_.locale.ThousandsSeparator()),
                     CurrentObject, ProgressPosition(BytesProcessed, BytesToProcess));
}

const char* PhaseCaption(Phase phase) {
  switch (phase) {
    case Phase::Files: return "Destruindo arquivos...";
    case Phase::Folders: return "Destruindo pastas...";
    case Phase::HostFolders: return "Destruindo pastas hospedeiras...";
    case Phase::Shortcuts: return "Destruindo atalhos...";
    case Phase::ShortcutFolders: return "Destruindo pastas de atalhos...";
    case Phase::ShortcutHostFolders: return nullptr;
    case Phase::Registry: return "Destruindo registros...";
  }
  return nullptr;
}

std::string GroupThousands(int64_t value, const std::string& separator) {
  const bool negative = value < 0;
  // Work on the magnitude as unsigned so INT64_MIN cannot overflow.
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  const std::string digits = std::to_string(magnitude);
  std::string out;
  out.reserve(digits.size() + digits.size() / 3 * separator.size() + 1);
  if (negative) out += '-';
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += separator;
    out += digits[i];
  }
  return out;
}

std::string FormatJobDone(int64_t processed, int64_t toProcess, const std::string& thousandsSeparator) {
  return GroupThousands(processed, thousandsSeparator) + " bytes processados de " +
         GroupThousands(toProcess, thousandsSeparator) + " bytes a processar";
}

std::optional<int> ProgressPosition(int64_t processed, int64_t toProcess) {
  if (toProcess <= 0) return std::nullopt;
  // The bar shows anything past its ends as full or empty.
  if (processed <= 0) return 0;
  if (processed >= toProcess) return 100;
  // In integers, so that no floating-point unit decides a half: x87's
  // extended precision would make 23 of 40 (57.5) come out as 58 in one
  // build and 57 in another. 100 * processed = whole * toProcess + rest,
  // summed up without overflow since processed < toProcess.
  const uint64_t p = static_cast<uint64_t>(processed);
  const uint64_t t = static_cast<uint64_t>(toProcess);
  int whole = 0;
  uint64_t rest = 0;
  for (int i = 0; i < 100; ++i) {
    if (rest >= t - p) {
      rest -= t - p;
      ++whole;
    } else {
      rest += p;
    }
  }
  // rest / t against one half: rest against what is short of the next whole.
  const uint64_t shortOfNext = t - rest;
  return static_cast<int>(platform::RoundHalfEven(whole, rest < shortOfNext ? -1 : rest > shortOfNext ? 1 : 0));
}

}  // namespace app
