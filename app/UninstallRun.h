#pragma once
// One run of the uninstaller, top to bottom, apart from its window: the
// start-up checks of the argument, then the fixed sequence of the run (read
// the log, confirm, delete the log, remove, summary, message 41,
// registration) and the progress figures. The steps it calls take only the
// services they use; the window (TfmMain, or any other IMainView) only
// shows what the run tells it.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/Outcome.h"
#include "app/Registration.h"
#include "app/RestartRemovals.h"
#include "app/RunData.h"
#include "platform/Services.h"

namespace app {

// The Windows services one run uses.
struct Services {
  platform::IFileSystem& fs;
  platform::IRegistry& registry;
  platform::IMessageBox& box;
  platform::ILocale& locale;
  platform::IModule& module;
  platform::INamedLock& lock;
};

// What the run shows of itself: the progress window, or whatever stands in
// for it.
class IMainView {
 public:
  virtual ~IMainView() = default;
  // The phase line (StaticText).
  virtual void SetPhase(const std::string& text) = 0;
  // The application line (lbFantaName); repaints at once.
  virtual void SetAppLine(const std::string& text) = 0;
  // Shows the processed-bytes line, the current object and, when given, the
  // bar position; repaints and lets pending window messages run.
  virtual void ShowProgress(const std::string& jobDone, const std::string& object,
                            std::optional<int> position) = 0;
  // Hourglass while the engine works, default cursor otherwise.
  virtual void SetBusyCursor(bool busy) = 0;
  // The failure summary, modal over the window, on the run's FailList.
  virtual void ShowFailureSummary() = 0;
  // Tells the application to end.
  virtual void Terminate() = 0;
  // False for a view that shows no figures: they are not even worked out.
  virtual bool ShowsProgress() const { return true; }
};

// The view of a run without a window (a quiet run): it shows nothing.
class NoView : public IMainView {
 public:
  void SetPhase(const std::string&) override {}
  void SetAppLine(const std::string&) override {}
  void ShowProgress(const std::string&, const std::string&, std::optional<int>) override {}
  void SetBusyCursor(bool) override {}
  void ShowFailureSummary() override {}
  void Terminate() override {}
  bool ShowsProgress() const override { return false; }
};

// The phase line of the progress window for `phase`; nullptr for the
// shortcut host folders, which leave the line as it was.
const char* PhaseCaption(Phase phase);
// "%.0n bytes processados de %.0n bytes a processar" with the locale's
// thousands separator.
std::string FormatJobDone(int64_t processed, int64_t toProcess, const std::string& thousandsSeparator);
// A whole number grouped in thousands.
std::string GroupThousands(int64_t value, const std::string& separator);
// processed / toProcess * 100 rounded to the nearest whole, an exact half to
// the even neighbour, in integers (the same result on every processor); 0 up
// to nothing processed, 100 from toProcess on; nullopt when toProcess <= 0.
std::optional<int> ProgressPosition(int64_t processed, int64_t toProcess);
// LogPath from the first command-line argument: the argument without its
// first three characters when it contains "/f:" (exact case), else empty.
std::string LogPathFromArgument(const std::optional<std::string>& argument);

// How a run ended.
enum class RunEnd : uint8_t {
  NoLog,          // no log argument (message 0)
  LogMissing,     // the log is not there (message 3)
  LogUnreadable,  // the log cannot be read, or is refused (message 6); nothing touched
  Declined,       // No to the confirmation; nothing touched
  Finished,       // removed, and the registration counted down
  Error,          // an error ended the run (the standard error report's case)
};

// A consumer of a whole run: the removal's stream and the run's own steps,
// each heard right after it happened.
class IRunListener : public IRemovalListener {
 public:
  // The log has been read into `data`.
  virtual void OnLogRead(const TRunData& /*data*/) {}
  // What became of the log's deletion, as an outcome of a file.
  virtual void OnLogDeleted(const Outcome& /*log*/) {}
  // What the count-down of the registration did (also when an error ended
  // it half-way).
  virtual void OnRegistration(const RegistrationResult& /*result*/) {}
  // The text of the error that ends the run, before OnEnd.
  virtual void OnError(const std::string& /*text*/) {}
  // The last call of a run.
  virtual void OnEnd(RunEnd /*end*/) {}
};

class UninstallRun : private IRemovalListener {
 public:
  UninstallRun(Services& services, IMainView& view, TRunData& data);

  // A run nobody watches (before Start): the confirmation is taken as Yes;
  // the failure summary, message 41 and messages 0, 3 and 6 are not shown,
  // and an error ends the run instead of passing to the caller: listeners
  // hear each as the run's end. Files in use, and the folders that stay only
  // because of them, are scheduled for the next start of Windows.
  void SetUnattended(bool unattended) { unattended_ = unattended; }

  // FormCreate's checks (after the window and its font are set up): reads
  // the argument, sets LogPath and BaseDir, shows code 0 or 3 and tells the
  // application to end when the log is missing. False when the run ends.
  bool Start(const std::optional<std::string>& firstArgument);

  // FormActivate: the whole run, once. Errors of the engine and of the
  // registration step pass to the caller (after the listeners heard them),
  // unless the run is unattended.
  void Activate();
  // True from the first activation until the run is over (or an error
  // ended it): the window is not to be closed meanwhile, since closing it
  // would end the failure summary the moment it opens and count the
  // registration down behind the user's back.
  bool Running() const { return running_; }

  // Shows BytesProcessed, BytesToProcess and CurrentObject on the window.
  void ShowProgress();

  // Another consumer of the removal's stream (app/Outcome.h), heard after
  // the window and the failure list; it must live as long as the run.
  void Listen(IRemovalListener& listener) { listeners_.Add(listener); }
  // A consumer of the stream and of the run's steps, heard in the order
  // added.
  void Listen(IRunListener& listener) {
    listeners_.Add(listener);
    runListeners_.push_back(&listener);
  }

  // The steps of a run, in their order.
  // ReadLog (app/LogReader.h) from LogPath into the run data; BytesToProcess
  // is the log's total afterwards.
  bool ReadLog();
  // The removal engine over the run data, with the hourglass; the failure
  // list is built anew from its outcomes and, when not empty, shown (unless
  // unattended).
  void RemoveInstallation();
  // The count-down of the uninstaller's own registration (app/Registration.h).
  void UpdateRegistration();

  Services& services() { return services_; }
  IMainView& view() { return view_; }
  TRunData& data() { return data_; }

  std::string LogPath;
  // 64-bit so that installations past 2 GiB count right.
  int64_t BytesToProcess = 0;
  int64_t BytesProcessed = 0;
  std::string CurrentObject;
  bool Activated = false;

 private:
  // Gone before anything is removed; failures are not shown (listeners
  // hear them). Unattended, a log in use is scheduled like any file.
  void DeleteLog();
  // The run's steps after the argument, from Activate.
  void Steps();
  // Tells the listeners how the run ended and the application to end.
  void End(RunEnd end);

  // The engine's stream: captions and figures go to the window.
  void OnPhase(Phase phase) override;
  void OnProgress(int64_t bytesProcessed, const std::string& currentObject) override;

  bool running_ = false;
  bool unattended_ = false;
  Services& services_;
  IMainView& view_;
  TRunData& data_;
  RemovalListeners listeners_;
  std::vector<IRunListener*> runListeners_;
  RestartRemovals restart_;
};

}  // namespace app
