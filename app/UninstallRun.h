#pragma once
// One run of the uninstaller, top to bottom, apart from its window: the
// start-up checks of the log path, then the fixed sequence of the run (read
// the log, confirm, delete the log, remove, summary, message 41,
// registration) and the progress figures. The steps it calls take only the
// services they use; what it asks and tells goes to its host
// (app/RunHost.h), what it shows to its view (app/MainView.h), and what it
// did to its listeners (app/RunListener.h).
#include <cstdint>
#include <optional>
#include <string>

#include "app/MainView.h"
#include "app/Protection.h"
#include "app/RunData.h"
#include "app/RunHost.h"
#include "app/RunJournal.h"
#include "app/RunListener.h"
#include "app/Services.h"
#include "app/LogIdentity.h"
#include "platform/Services.h"

namespace app {

class UninstallRun : private IRemovalListener {
 public:
  // Built once a program, for a window and for none: `view` shows it until
  // ShowOn gives it another.
  UninstallRun(Services& services, IRunHost& host, IMainView& view, TRunData& data);

  // The view from now on (the progress window, once it exists).
  void ShowOn(IMainView& view) { view_ = &view; }

  // The start-up checks of the log `log` names (app/LogIdentity.h): sets
  // LogPath and BaseDir and claims the log for this run; ends the run,
  // touching nothing,
  // when no log was given (code 0), another run holds the log, the log
  // cannot be looked at (code 6) or neither it nor its journal is there
  // (code 3). False when the run ends. The log is read once, when it is
  // first needed (ReadLog, LogNamesPath).
  bool Start(const LogIdentity& log);
  // Start for a caller that has only the text (tests, tools): the identity
  // made by IdentifyLog.
  bool Start(const std::string& logPath);
  // The name of the run's claim on its log (a named lock held from Start to
  // the end); empty before Start.
  const std::string& ClaimName() const { return log_.claimName; }
  const LogIdentity& Log() const { return log_; }
  // Whether the log, as Start read it (or its journal held it), names
  // `fullPath` as one of its files, folders, shortcuts or its shortcut
  // folder; false for a log that cannot be read.
  bool LogNamesPath(const std::string& fullPath);

  // FormActivate: the whole run, once. An error ends the run: the listeners
  // hear it, then the host decides what follows (IRunHost::OnError).
  void Activate();
  // True from the first activation until the run is over (or an error
  // ended it): the window is not to be closed meanwhile, since closing it
  // would end the failure summary the moment it opens and count the
  // registration down behind the user's back.
  bool Running() const { return running_; }

  // Shows BytesProcessed, BytesToProcess and CurrentObject on the view.
  void ShowProgress();

  // A consumer of the removal's stream and of the run's steps; it must live
  // as long as the run. Listeners hear each call after the view and the
  // failure list.
  void Listen(IRunListener& listener) { listeners_.Add(listener); }

  // The steps of a run, in their order.
  // ReadLog (app/LogReader.h) from LogPath, or from the journal an earlier
  // run left, into the run data; BytesToProcess is the log's total
  // afterwards.
  bool ReadLog();
  // The removal engine over the run data, with the hourglass; the failure
  // list is built anew from its outcomes and, when not empty, shown.
  void RemoveInstallation();
  // The count-down of the uninstaller's own registration (app/Registration.h).
  void UpdateRegistration();

  Services& services() { return services_; }
  TRunData& data() { return data_; }

  // The log's full path (LogIdentity::full); the messages name it as it
  // was given.
  std::string LogPath;
  // 64-bit so that installations past 2 GiB count right.
  int64_t BytesToProcess = 0;
  int64_t BytesProcessed = 0;
  std::string CurrentObject;
  bool Activated = false;

 private:
  // Gone before anything is removed, into the journal first; failures are
  // not shown (listeners hear them). A log in use goes where the host sends
  // such files.
  void DeleteLog();
  // The journal's last change, unless something is left for a later run to
  // finish: the log still at its place, or a count-down still to do.
  void CloseJournal(const RegistrationResult& registration);
  // A lookup of `path` that the system refused (not one that found
  // nothing), told to the listeners.
  bool Refused(const platform::Status& looked, const std::string& path);
  // The drive or share of a full path cannot be reached: told too.
  bool Unreachable(const std::string& fullPath);
  // The log read and parsed into the run data, once; false when it cannot
  // be read or parsed (parseRefusal_ says why, when the log does).
  bool Parsed();
  // The run's steps after the log path, from Activate.
  void Steps();
  // Tells the listeners how the run ended and the application to end.
  void End(RunEnd end);

  // The engine's stream: captions and figures go to the view.
  void OnPhase(Phase phase) override;
  void OnProgress(int64_t bytesProcessed, const std::string& currentObject) override;
  // What the run never takes, from the system's folders (once a run).
  const Protection& protection();
  // A logged key kept for its subkeys goes into the journal.
  void OnOutcome(const Outcome& outcome) override;

  bool running_ = false;
  std::optional<std::string> separator_;  // the locale's, read at the first figures
  Services& services_;
  IRunHost& host_;
  IMainView* view_;
  TRunData& data_;
  RunListeners listeners_;
  LogIdentity log_;
  std::optional<RunJournal> journal_;
  // What an earlier run of this log left in its journal.
  std::optional<RunJournal::Entry> earlier_;
  bool logThere_ = false;     // the log stood at its place at Start
  int32_t logTime_ = 0;       // its time stamp then
  std::optional<std::string> logBytes_;  // as read (or the journal's copy); nullopt: unreadable
  std::optional<bool> parsed_;           // whether logBytes_ parsed into the run data, once asked
  std::string parseRefusal_;             // why not
  bool journalWritten_ = false;
  // A journal set aside may have counted this log down: it is not counted
  // again.
  bool countedBefore_ = false;
  // The journal is of an uninstallation that is over, or damaged, and the
  // log is gone: the run only tidies up and ends as "not there".
  bool over_ = false;
  bool logScheduled_ = false;  // the log goes at the next start of Windows
  std::optional<Protection> protection_;
};

}  // namespace app
