#pragma once
// What no uninstallation removes, whoever wrote its log: the folders of
// the system and of its users. A walk up from a folder of the application
// stops before one. (Registry keys are judged the other way round, by the
// places an application's keys may lie in: app/KeyPlaces.h.)
//
// The folders come from the system (platform::IModule::KnownFolders),
// since where they lie differs from machine to machine.
#include <string>
#include <vector>

#include "platform/Services.h"

namespace app {

class Protection {
 public:
  Protection(platform::SystemFolders folders, platform::ILocale& locale);

  // Why the folder at `path` (no trailing backslash needed) is the system's
  // or its users', or nullptr.
  const char* FolderReason(const std::string& path) const;

 private:
  std::string Key(const std::string& path) const;

  platform::ILocale& locale_;
  std::string windows_;
  std::string profiles_;
  std::vector<std::string> others_;
};

}  // namespace app
