#include "app/RestartRemovals.h"

#include "env/Enviro.h"

namespace app {

bool RestartRemovals::InUse(uint32_t error) {
  return error == platform::kErrorSharingViolation || error == platform::kErrorLockViolation;
}

std::string RestartRemovals::Key(const std::string& path) const {
  std::string key = path;
  for (char& c : key) {
    if (c == '/') c = '\\';
  }
  return locale_.UpperAnsi(paths_.StripTrailingBackslash(key));
}

platform::Status RestartRemovals::Schedule(const std::string& path, const platform::Place& within) {
  const platform::Status status = fs_.RemoveAtRestart(path, within);
  if (status) scheduled_.insert(Key(path));
  return status;
}

platform::Status RestartRemovals::ScheduleFile(const std::string& path, const platform::Place& within) {
  return Schedule(path, within);
}

std::optional<platform::Status> RestartRemovals::ScheduleEmptied(const std::string& folder,
                                                                 const platform::Place& within) {
  if (scheduled_.empty()) return std::nullopt;
  const auto entries = fs_.ListFolder(folder);
  if (!entries) return std::nullopt;
  const std::string prefix = paths_.JoinPath(folder, "");
  for (const platform::FileEntry& entry : *entries) {
    if (entry.name == "." || entry.name == "..") continue;
    if (scheduled_.count(Key(prefix + entry.name)) == 0) return std::nullopt;
  }
  return Schedule(folder, within);
}

}  // namespace app
