#include "app/RunVerdict.h"

namespace app {

void RunVerdict::Count(const Outcome& outcome) {
  failed_ += outcome.result == Result::Failed;
  scheduled_ += outcome.result == Result::Scheduled;
}

uint32_t RunVerdict::ExitCode() const {
  if (!end_) return kExitFailed;
  switch (*end_) {
    case RunEnd::NoLog: return kExitBadArguments;
    case RunEnd::LogMissing: return kExitNotInstalled;
    case RunEnd::LogUnreadable: return kExitBadLog;
    case RunEnd::Declined: return kExitDeclined;
    case RunEnd::Error: return kExitFailed;
    case RunEnd::Finished: break;
  }
  return failed_ > 0 ? kExitFailed : scheduled_ > 0 ? kExitRestartNeeded : kExitGone;
}

std::string RunVerdict::Text() const {
  const auto objects = [](int n) { return std::to_string(n) + (n == 1 ? " object" : " objects"); };
  if (!end_) return "the run did not end";
  switch (*end_) {
    case RunEnd::NoLog: return "no log argument (/f:<log>); nothing touched";
    case RunEnd::LogMissing: return "the log does not exist; nothing touched";
    case RunEnd::LogUnreadable: return "the log cannot be read, or is refused; nothing touched, the log kept";
    case RunEnd::Declined: return "declined at the confirmation; nothing touched";
    case RunEnd::Error: return "an error ended the run";
    case RunEnd::Finished: break;
  }
  if (failed_ > 0) return objects(failed_) + " could not be removed and " + (failed_ == 1 ? "is" : "are") + " not scheduled";
  if (scheduled_ > 0) return "the application is gone once Windows starts again (" + objects(scheduled_) + " deleted then)";
  return "the application is gone";
}

}  // namespace app
