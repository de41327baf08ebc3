#pragma once
// Deletions put off to the next start of Windows, for a run that nobody
// watches: files that another program holds open, and the folders that stay
// only because of them. The run's log and the removal share one of these,
// so that a folder holding nothing but a scheduled log goes as well.
#include <optional>
#include <set>
#include <string>

#include "env/Enviro.h"
#include "platform/Services.h"

namespace app {

class RestartRemovals {
 public:
  RestartRemovals(platform::IFileSystem& fs, platform::ILocale& locale) : fs_(fs), locale_(locale), paths_(locale) {}

  // The refusals of a deletion that another program's open handle causes:
  // ERROR_SHARING_VIOLATION and ERROR_LOCK_VIOLATION.
  static bool InUse(uint32_t error);

  // Schedules the file, confined to `within`; it counts as scheduled when
  // that succeeded.
  platform::Status ScheduleFile(const std::string& path, const platform::Place& within = {});
  // For a folder the system refused as not empty: schedules it when every
  // entry left in it is scheduled already (after those entries, so it is
  // empty when its turn comes). nullopt when it holds anything else, or its
  // entries cannot be listed: it stays.
  std::optional<platform::Status> ScheduleEmptied(const std::string& folder, const platform::Place& within = {});

 private:
  // Paths compared as the system compares them: letters of the code page
  // without regard to case, either slash, no trailing backslash.
  std::string Key(const std::string& path) const;
  platform::Status Schedule(const std::string& path, const platform::Place& within);

  platform::IFileSystem& fs_;
  platform::ILocale& locale_;
  env::PathRules paths_;
  std::set<std::string> scheduled_;
};

}  // namespace app
