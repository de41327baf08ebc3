// One run, in the order it happens: the log path (Start), then, at the first
// activation of the window, the log read, the confirmation, the log's
// deletion, the removal with its failure summary, message 41 and the
// registration (Activate and the steps below it).
#include "app/UninstallRun.h"

#include "app/FailList.h"
#include "app/LogReader.h"
#include "app/ProgressFigures.h"
#include "app/Registration.h"
#include "app/OutcomeWords.h"
#include "app/Ownership.h"
#include "app/RemovalEngine.h"
#include "env/Enviro.h"
#include "platform/Error.h"

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

// The root of the volume a full path lies on: "X:\" or "\\server\share\";
// empty for anything else.
std::string VolumeRoot(const std::string& full) {
  if (full.size() >= 2 && full[1] == ':') return full.substr(0, 2) + "\\";
  if (full.rfind("\\\\", 0) != 0) return {};
  const size_t server = full.find('\\', 2);
  if (server == std::string::npos) return {};
  const size_t share = full.find('\\', server + 1);
  return full.substr(0, share == std::string::npos ? full.size() : share) + "\\";
}

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
    : services_(services), host_(host), view_(&view), data_(data) {}

bool UninstallRun::Start(const std::string& logPath) {
  return Start(IdentifyLog(logPath, services_.fs, services_.registry, services_.locale));
}

bool UninstallRun::Start(const LogIdentity& log) {
  data_.RegKeyList.clear();
  data_.RegKeyLevels.clear();
  log_ = log;
  if (!log_.Given()) {
    LogPath.clear();
    data_.UninsData.BaseDir.clear();
    host_.Tell(kNoArgument, "");
    End(RunEnd::NoLog);
    return false;
  }
  // A relative or drive-relative path names the log in the current folder,
  // which then is left: the installation folder is the log's, absolute, and
  // no folder of the run is held as the current one.
  LogPath = log_.full;
  services_.fs.LeaveCurrentFolder();
  const env::PathRules paths(services_.locale);
  data_.UninsData.BaseDir = paths.FolderOfFile(LogPath);
  // One run per log at a time, however the log is spelled: from here to the
  // end of the run, before anything of the log is looked at.
  if (!services_.claim.Acquire(log_.claimName, 0)) {
    host_.ShowOtherRun(log_.claimName);
    End(RunEnd::InProgress);
    return false;
  }
  journal_.emplace(services_.registry, services_.locale, log_);
  platform::Status looked;
  if (const auto entry = services_.fs.FindEntry(LogPath, looked)) {
    logThere_ = !entry->IsFolder();
    logTime_ = entry->dosTime;
  }
  // "Not there" only when the system said so, on a drive it can reach.
  if (!logThere_ && (Refused(looked, LogPath) || Unreachable(LogPath))) {
    host_.Tell(kLogUnreadable, log_.given);
    End(RunEnd::LogUnreadable);
    return false;
  }
  RunJournal::Found found = journal_->Find();
  earlier_ = std::move(found.entry);
  // A journal whose copy of the log cannot be read is as damaged as one
  // that lacks a value.
  if (earlier_ && !logThere_ && !Parsed()) {
    found.damage = "its copy of the log cannot be read";
    found.mayHaveCounted = earlier_->countDownDone;
    earlier_.reset();
  }
  if (!found.damage.empty()) {
    // Set aside: a run goes on from the log, and counts down only if
    // nothing said it had happened; without a log it is of no use.
    countedBefore_ = found.mayHaveCounted;
    listeners_.OnNote("journal: set aside, " + found.damage + (logThere_ ? "; the run goes on from the log" : ""));
  }
  if (!logThere_ && earlier_ && earlier_->countDownRecorded) {
    // Its run got to its count-down, so its removal was over: what stayed
    // for the next start of Windows (the log among it) is gone now. The
    // first activation finishes what is left of the registration and
    // removes the journal.
    over_ = true;
  } else if (!logThere_ && !earlier_) {
    // A damaged journal without a log is of no use: it goes, at the first
    // activation, like one whose uninstallation is over.
    if (found.damage.empty()) {
      host_.Tell(kLogMissing, log_.given);
      End(RunEnd::LogMissing);
      return false;
    }
    over_ = true;
  }
  return true;
}

bool UninstallRun::LogNamesPath(const std::string& fullPath) {
  if (!Parsed()) return false;
  return LogNames(data_, data_.UninsData.BaseDir, fullPath, services_.locale);
}

bool UninstallRun::Parsed() {
  if (!parsed_) {
    // The log's one reading (or its journal's copy, once it is gone): what
    // the steps use and the journal keeps.
    logBytes_ = earlier_ && !logThere_ ? std::optional(earlier_->log) : services_.fs.ReadDenyWrite(LogPath);
    const env::PathRules paths(services_.locale);
    parseRefusal_.clear();
    parsed_ = logBytes_ && ReadLogBytes(*logBytes_, paths, data_, &parseRefusal_);
  }
  return *parsed_;
}

bool UninstallRun::Refused(const platform::Status& looked, const std::string& path) {
  if (looked || platform::NotFound(looked.error())) return false;
  listeners_.OnNote("log: " + path + " cannot be looked at (" + ErrorText(looked.error()) + ")");
  return true;
}

bool UninstallRun::Unreachable(const std::string& fullPath) {
  const std::string root = VolumeRoot(fullPath);
  if (root.empty()) return false;
  platform::Status status;
  if (services_.fs.GetAttributes(root, status)) return false;
  listeners_.OnNote("log: its drive or share " + root + " cannot be reached (" + ErrorText(status.error()) + ")");
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
    // The one way an error ends a run, in every mode.
    const std::string text = TextOf(std::current_exception());
    listeners_.OnError(text);
    listeners_.OnEnd(RunEnd::Error);
    if (host_.EndsAtError()) {
      view_->Terminate();
    } else {
      view_->ReportError(text);
    }
  }
}

void UninstallRun::Steps() {
  if (over_) {
    if (earlier_) {
      // What is left of the registration; the journal goes with it, unless
      // the registration still needs it (CloseJournal).
      listeners_.OnNote("journal: the uninstallation it records is over");
      UpdateRegistration();
    } else {
      journal_->Discard();
    }
    host_.Tell(kLogMissing, log_.given);
    End(RunEnd::LogMissing);
    return;
  }
  view_->SetPhase(kInitializing);
  if (!ReadLog()) {
    host_.Tell(kLogUnreadable, log_.given);
    End(RunEnd::LogUnreadable);
    return;
  }
  listeners_.OnLogRead(data_);
  if (!host_.Confirm(data_.UninsData.AppName)) {
    End(RunEnd::Declined);
    return;
  }
  if (earlier_) {
    listeners_.OnNote("journal: finishing the uninstallation that an earlier run of this log began");
  } else if (!journal_->Begin(*logBytes_, logTime_, services_.fs.ShortPath(LogPath), countedBefore_)) {
    throw platform::Error(platform::FormatError("Failed to create key %s", "HKEY_LOCAL_MACHINE" + journal_->keyPath()));
  } else {
    journalWritten_ = true;
  }
  DeleteLog();
  view_->SetAppLine(kUninstalling + data_.UninsData.AppName);
  RemoveInstallation();
  host_.Tell(kFinished, "");
  UpdateRegistration();
  End(RunEnd::Finished);
}

void UninstallRun::End(RunEnd end) {
  view_->Terminate();
  listeners_.OnEnd(end);
}

bool UninstallRun::ReadLog() {
  // What was read before the run (for its report) is this step's reading;
  // a later call reads afresh.
  const bool parsed = Parsed();
  parsed_.reset();
  if (!parsed) {
    if (!parseRefusal_.empty()) listeners_.OnNote("log: refused: " + parseRefusal_);
    return false;
  }
  if (auto notOwn = NotTheApplicationsReason(data_, log_, services_.fs, services_.registry, services_.locale,
                                             protection())) {
    listeners_.OnNote("log: refused: " + *notOwn);
    return false;
  }
  BytesToProcess = data_.UninsData.TotalBytes;
  // A journal whose log was written anew (a later installation at the same
  // place) belongs to an uninstallation that is over: the new log wins, and
  // the journal's count-down is not this run's.
  // The same bytes are the same installation, whatever the file's time
  // stamp says.
  if (earlier_ && logThere_ && earlier_->log != *logBytes_) {
    earlier_.reset();
    listeners_.OnNote("journal: an earlier run's journal of this path is of an earlier log; the new log wins");
  }
  return true;
}

void UninstallRun::DeleteLog() {
  // Nothing left at the log's place holds the folders back, nor invites a
  // second start; the journal has the log.
  Outcome log;
  log.path = LogPath;
  if (logThere_) {
    // Confined to the installation folder as the system names it now.
    const env::PathRules paths(services_.locale);
    RemoveFileAnyway(services_.fs, host_.Restart(), log,
                     platform::PlaceOf(services_.fs, paths.StripTrailingBackslash(data_.UninsData.BaseDir)));
  } else {
    log.result = Result::Absent;
  }
  logScheduled_ = log.result == Result::Scheduled;
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
    BusyCursor busy(*view_);
    RemovalEngine engine(services_.fs, services_.registry, services_.locale, protection());
    if (earlier_ && !earlier_->kept.empty()) {
      engine.KeepWhereKeptBefore([this](int entry, uint32_t root, const std::string& key) {
        return earlier_->kept.count(RunJournal::KeptMark(entry, root, key)) != 0;
      });
    }
    engine.Run(data_, stream, host_.Restart());
  }
  if (data_.FailList->Count() > 0) host_.ShowFailureSummary(*data_.FailList);
}

void UninstallRun::UpdateRegistration() {
  RegistrationResult result;
  CountDownRecord record;
  record.recordedEarlier = countedBefore_ || (earlier_ && earlier_->countDownDone);
  if (earlier_ || journalWritten_) record.write = [this](int32_t count) { return journal_->RecordCountDown(count); };
  Registration(services_.registry, services_.module, services_.lock, services_.fs, services_.locale)
      .Update(result, record);
  listeners_.OnRegistration(result);
  CloseJournal(result);
}

void UninstallRun::CloseJournal(const RegistrationResult& registration) {
  if (!earlier_ && !journalWritten_) return;
  platform::Status looked;
  const bool logGone = !services_.fs.FindEntry(LogPath, looked) && platform::NotFound(looked.error());
  if (!logGone) {
    listeners_.OnNote("journal: kept while the log is still at its place, so that no later run counts down again");
    // The log goes at the next start of Windows, and so does the journal.
    if (logScheduled_ && journal_->DiscardAtRestart()) {
      listeners_.OnNote("journal: deleted at the next start of Windows, with the log");
    }
  } else if (registration.lockTimedOut || registration.recordFailed || registration.selfDeletionFailed) {
    listeners_.OnNote("journal: kept, so that a later run of this log finishes the count-down");
  } else {
    journal_->Discard();
  }
}

// ---- progress ----

void UninstallRun::OnPhase(Phase phase) {
  if (const char* caption = PhaseCaption(phase)) view_->SetPhase(caption);
}

void UninstallRun::OnProgress(int64_t bytesProcessed, const std::string& currentObject) {
  // The run's own figures first, so that they are right even when the
  // engine stops early.
  BytesProcessed = bytesProcessed;
  CurrentObject = currentObject;
  ShowProgress();
}

const Protection& UninstallRun::protection() {
  if (!protection_) protection_.emplace(services_.module.KnownFolders(), services_.locale);
  return *protection_;
}

void UninstallRun::OnOutcome(const Outcome& outcome) {
  if (outcome.kind != ObjectKind::Key || outcome.result != Result::NotEmpty || outcome.root == 0) return;
  if (!journalWritten_ && !earlier_) return;
  if (outcome.entry < 0) return;
  if (earlier_ && earlier_->kept.count(RunJournal::KeptMark(outcome.entry, outcome.root, outcome.keyPath)) != 0) return;
  journal_->MarkKept(outcome.entry, outcome.root, outcome.keyPath);
}

void UninstallRun::ShowProgress() {
  // The locale's separator costs a look into the user's settings: once per
  // run, since it does not change meanwhile, and not at all without figures.
  if (!view_->ShowsProgress()) return;
  if (!separator_) separator_ = services_.locale.ThousandsSeparator();
  view_->ShowProgress(FormatJobDone(BytesProcessed, BytesToProcess, *separator_),
                     CurrentObject, ProgressPosition(BytesProcessed, BytesToProcess));
}

}  // namespace app
