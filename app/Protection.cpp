#include "app/Protection.h"

#include <algorithm>

#include "env/Enviro.h"

namespace app {

Protection::Protection(platform::SystemFolders folders, platform::ILocale& locale)
    : locale_(locale), windows_(Key(folders.windows)), profiles_(Key(folders.profiles)) {
  for (const std::string& f : folders.others) {
    if (!f.empty()) others_.push_back(Key(f));
  }
}

std::string Protection::Key(const std::string& path) const {
  std::string key = path;
  std::replace(key.begin(), key.end(), '/', '\\');
  return locale_.UpperAnsi(env::PathRules(locale_).StripTrailingBackslash(key));
}

const char* Protection::FolderReason(const std::string& path) const {
  const std::string key = Key(path);
  if (key.empty()) return nullptr;
  const env::PathRules paths(locale_);
  const auto within = [&](const std::string& folder) {
    return !folder.empty() && (key == folder || key.rfind(folder + "\\", 0) == 0);
  };
  if (within(windows_)) return "the Windows folder, or a folder in it";
  if (!profiles_.empty()) {
    if (key == profiles_) return "the folder of the users' profiles";
    if (paths.ParentPath(key) == profiles_) return "a user's profile";
  }
  if (std::find(others_.begin(), others_.end(), key) != others_.end())
    return "a folder of the system's or of its users' own (Program Files, ProgramData, Start Menu, Desktop, ...)";
  return nullptr;
}

}  // namespace app
