#pragma once
// The verdict of a run as a deployment tool reads it: the one place that
// sums the removal's stream, the run's end and the refusals of the command
// line up into a result and an exit code.
#include <cstdint>
#include <optional>
#include <string>

#include "app/RunListener.h"

namespace app {

// Exit codes of a run nobody watches, the codes Windows installers give.
inline constexpr uint32_t kExitGone = 0;              // everything removed, absent or kept by design
inline constexpr uint32_t kExitRestartNeeded = 3010;  // as 0, once Windows starts again
inline constexpr uint32_t kExitFailed = 1603;         // something stays that should have gone; or an error
inline constexpr uint32_t kExitNotInstalled = 1605;   // the log does not exist
inline constexpr uint32_t kExitBadLog = 13;           // the log cannot be read; nothing touched
inline constexpr uint32_t kExitBadArguments = 87;     // no log argument, an unknown switch, no report file
inline constexpr uint32_t kExitDeclined = 1602;       // No to the confirmation (interactive runs only)
inline constexpr uint32_t kExitInProgress = 1618;     // another run of the same log is under way; retry later

class RunVerdict : public IRunListener {
 public:
  void OnOutcome(const Outcome& outcome) override { Count(outcome); }
  void OnLogDeleted(const Outcome& log) override { Count(log); }
  void OnEnd(RunEnd end) override { end_ = end; }

  // The command line refused the run before anything was touched.
  void Refuse() { refused_ = true; }
  // An interactive run that nobody can see: nobody can confirm it.
  void NobodyToAsk() { unseen_ = true; }
  // Whether the exit code stands in every mode (a person's run otherwise
  // ends with 0).
  bool Unseen() const { return unseen_; }
  // An error outside the run's steps (the window toolkit's) failed it,
  // however the run itself ended.
  void Fail() { failed_ = true; }

  // A run that has not ended (its window closed before it began) failed.
  uint32_t ExitCode() const;
  // Whether the exit code stands in every mode: the run was not refused and
  // did not reach an end (its window went before it began, or an error
  // ended it). A person's run ends with 0 only when it got to its end.
  bool EndedShort() const { return !refused_ && (!end_ || failed_ || *end_ == RunEnd::Error); }
  // What the exit code says of this run, in a few words.
  std::string Text() const;

 private:
  // Failed counts against the run, Scheduled asks for a restart; kept by
  // design (changed, not empty) and absent are the application gone.
  void Count(const Outcome& outcome);

  std::optional<RunEnd> end_;
  bool refused_ = false;
  bool unseen_ = false;
  bool failed_ = false;
  int failedObjects_ = 0;
  int scheduled_ = 0;
};

}  // namespace app
