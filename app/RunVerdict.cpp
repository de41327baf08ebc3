#include "app/RunVerdict.h"

namespace app {

void RunVerdict::Count(const Outcome& outcome) {
  failedObjects_ += outcome.result == Result::Failed;
  scheduled_ += outcome.result == Result::Scheduled;
}

uint32_t RunVerdict::ExitCode() const {
  if (unseen_) return kExitDeclined;
  if (refused_) return kExitBadArguments;
  if (failed_ || !end_) return kExitFailed;
  switch (*end_) {
    case RunEnd::NoLog: return kExitBadArguments;
    case RunEnd::LogMissing: return kExitNotInstalled;
    case RunEnd::LogUnreadable: return kExitBadLog;
    case RunEnd::Declined: return kExitDeclined;
    case RunEnd::InProgress: return kExitInProgress;
    case RunEnd::Error: return kExitFailed;
    case RunEnd::Finished: break;
  }
  return failedObjects_ > 0 ? kExitFailed : scheduled_ > 0 ? kExitRestartNeeded : kExitGone;
}

std::string RunVerdict::Text() const {
  const auto objects = [](int n) { return std::to_string(n) + (n == 1 ? " object" : " objects"); };
  if (unseen_) return "not confirmed: nobody can see this run's boxes; nothing touched";
  if (refused_) return "refused before anything was touched";
  if (failed_) return "an error ended the run";
  if (!end_) return "the run did not end";
  switch (*end_) {
    case RunEnd::NoLog: return "no log argument (/f:<log>); nothing touched";
    case RunEnd::LogMissing: return "the log does not exist; nothing touched";
    case RunEnd::LogUnreadable: return "the log cannot be read, or is refused; nothing touched, the log kept";
    case RunEnd::Declined: return "declined at the confirmation; nothing touched";
    case RunEnd::InProgress: return "another uninstallation of this log is in progress; nothing touched";
    case RunEnd::Error: return "an error ended the run";
    case RunEnd::Finished: break;
  }
  if (failedObjects_ > 0)
    return objects(failedObjects_) + " could not be removed and " + (failedObjects_ == 1 ? "is" : "are") +
           " not scheduled";
  if (scheduled_ > 0) return "the application is gone once Windows starts again (" + objects(scheduled_) + " deleted then)";
  return "the application is gone";
}

}  // namespace app
