#pragma once
// What no uninstallation removes, whoever wrote its log: the registry keys
// that the system and other programs own by convention, and the folders of
// the system and of its users. A log that names one as its own is refused
// when it is read; a walk up from a key or folder of the application stops
// before one.
//
// The keys are data, below, each with its reason; the folders come from the
// system (platform::IModule::KnownFolders), since where they lie differs
// from machine to machine.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Services.h"

namespace app {

// Why the key at `path` below the root key `root` (0x80000000 + index) is
// the system's or another program's, or nullptr when an installer may own
// it. Every uninstall entry is some program's; only the one named
// `ownEntry` (the application's uninstall key name) and what lies in it may
// be the application's. Letters compare without regard to case; leading
// and trailing backslashes do not count.
const char* ProtectedKeyReason(uint32_t root, const std::string& path, const std::string& ownEntry = {});

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
