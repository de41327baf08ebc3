#pragma once
// What no uninstallation removes, whoever wrote its log: the folders of
// the system and of its users. A walk up from a folder of the application
// stops before one. (Registry keys are judged the other way round, by the
// places an application's keys may lie in: app/KeyPlaces.h.)
//
// The folders come from the system (platform::IModule::KnownFolders),
// since where they lie differs from machine to machine.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Services.h"

namespace app {

// Where the files and folders of an application may lie, said positively:
// its installation folder's tree, unless that folder is one of the
// system's or its users' own; the shortcut files its log names, wherever
// they lie but in the Windows folder and in another user's profile; and
// any file below its shortcut folder only where that folder lies below a
// place of the shell's for shortcuts (where installers make theirs). Every
// path is judged full and in long names (IFileSystem::FullPath); the
// folders come from the system, each with its reason.
class Protection {
 public:
  Protection(platform::SystemFolders folders, platform::ILocale& locale);

  // Why the folder at `path` (no trailing backslash needed) is the system's
  // or its users', or nullptr: a drive or its root, the Windows folder or a
  // folder in it, the profiles folder or a profile, a folder of the shell's
  // or of the system's itself. Neither removed nor walked past.
  const char* FolderReason(const std::string& path) const;
  // Whether `path` names a drive, its root or a share ("C:", "C:\\",
  // "\\\\srv\\share"), or nothing: no folder of anybody's, and where a walk
  // up ends.
  static bool IsDrive(std::string path);
  // Why the folder at `path` is no application's installation folder
  // (FolderReason), or nullptr: its tree is the application's.
  const char* InstallationFolderReason(const std::string& path) const { return FolderReason(path); }
  // Why the shortcut folder at `path` holds no application's shortcuts:
  // a drive's root, or the Windows folder or a folder in it.
  const char* ShortcutFolderReason(const std::string& path) const;
  // Whether any file, not only shortcuts, may go below the shortcut folder
  // at `path`: it lies strictly below a place of the shell's for shortcuts.
  bool HoldsAnyFile(const std::string& path) const;
  // Why the file at `path` is no shortcut its log may name on its own, or
  // nullptr: its name is not a shortcut's (.lnk, .pif, .url), or it lies in
  // the Windows folder or in another user's profile.
  const char* ShortcutReason(const std::string& path) const;

 private:
  // How a folder of the table protects.
  enum class Reach : uint8_t { Itself, Tree, Profiles };
  struct Folder {
    std::string key;
    Reach reach;
    const char* why;
  };
  std::string Key(const std::string& path) const;
  static bool Within(const std::string& key, const std::string& folder);

  platform::ILocale& locale_;
  std::vector<Folder> folders_;
  std::string windows_;
  std::string profiles_;
  std::string profile_;
  std::vector<std::string> shortcutPlaces_;
};

}  // namespace app
