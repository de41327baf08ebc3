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
#include "app/RunData.h"
#include "app/RunHost.h"
#include "app/RunListener.h"
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

class UninstallRun : private IRemovalListener {
 public:
  UninstallRun(Services& services, IRunHost& host, IMainView& view, TRunData& data);

  // FormCreate's checks (after the window and its font are set up): sets
  // LogPath and BaseDir from `logPath` (the command line's, app/CommandLine.h),
  // tells code 0 or 3 and has the application end when the log is missing.
  // False when the run ends.
  bool Start(const std::string& logPath);

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
  // ReadLog (app/LogReader.h) from LogPath into the run data; BytesToProcess
  // is the log's total afterwards.
  bool ReadLog();
  // The removal engine over the run data, with the hourglass; the failure
  // list is built anew from its outcomes and, when not empty, shown.
  void RemoveInstallation();
  // The count-down of the uninstaller's own registration (app/Registration.h).
  void UpdateRegistration();

  Services& services() { return services_; }
  TRunData& data() { return data_; }

  std::string LogPath;
  // 64-bit so that installations past 2 GiB count right.
  int64_t BytesToProcess = 0;
  int64_t BytesProcessed = 0;
  std::string CurrentObject;
  bool Activated = false;

 private:
  // Gone before anything is removed; failures are not shown (listeners
  // hear them). A log in use goes where the host sends such files.
  void DeleteLog();
  // The run's steps after the log path, from Activate.
  void Steps();
  // Tells the listeners how the run ended and the application to end.
  void End(RunEnd end);

  // The engine's stream: captions and figures go to the view.
  void OnPhase(Phase phase) override;
  void OnProgress(int64_t bytesProcessed, const std::string& currentObject) override;

  bool running_ = false;
  std::optional<std::string> separator_;  // the locale's, read at the first figures
  Services& services_;
  IRunHost& host_;
  IMainView& view_;
  TRunData& data_;
  RunListeners listeners_;
};

}  // namespace app
