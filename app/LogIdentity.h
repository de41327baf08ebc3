#pragma once
// Which log a run is about: one value, made once at start-up from the text
// the command line gave, and handed to everything that needs it (the run,
// its session and report, the claim, the journal, the own-entry check).
#include <string>

#include "platform/Services.h"

namespace app {

struct LogIdentity {
  // As given (the command line's, app/CommandLine.h): what the messages name.
  std::string given;
  // Absolute, the short components of what exists replaced by their long
  // names; for an 8.3 spelling whose folders are gone, the long path that a
  // journal recorded for it. Empty when no log was given.
  std::string full;
  // The run's claim on the log (a named lock) and the key of its journal,
  // both named after the full path with its letters folded.
  std::string claimName;
  std::string journalKey;

  bool Given() const { return !given.empty(); }
};

// The identity of the log that `given` names; an empty one for an empty
// text.
LogIdentity IdentifyLog(const std::string& given, platform::IFileSystem& fs, platform::IRegistry& registry,
                        platform::ILocale& locale);

// Whether two identities name the same log: their full paths, letter case
// aside.
bool SameLog(const LogIdentity& a, const LogIdentity& b, platform::ILocale& locale);

}  // namespace app
