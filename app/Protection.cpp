#include "app/Protection.h"

#include <algorithm>
#include <string_view>

#include "app/LogFormat.h"
#include "env/Enviro.h"
#include "platform/WindowsRules.h"

namespace app {

namespace {

constexpr uint32_t kClassesRoot = 0x80000000u;
constexpr uint32_t kCurrentUser = 0x80000001u;
constexpr uint32_t kLocalMachine = 0x80000002u;
constexpr uint32_t kUsers = 0x80000003u;

// The shell's own classes among the direct subkeys of the classes root; the
// others are extensions and ProgIDs, which installers own.
constexpr std::string_view kShellClasses[] = {
    "*",        "ALLFILESYSTEMOBJECTS", "APPID",     "APPLICATIONS", "CLSID",     "COMPONENT CATEGORIES",
    "DIRECTORY", "DRIVE",               "EXEFILE",   "DLLFILE",      "LNKFILE",   "BATFILE",
    "CMDFILE",   "COMFILE",             "TXTFILE",   "FOLDER",       "INTERFACE", "MIME",
    "PROTOCOLS", "SYSTEMFILEASSOCIATIONS", "TYPELIB", "UNKNOWN",     "HTTP",      "HTTPS",
    "FILE",      "MAILTO",              "FTP",       "RECORD",       "INSTALLER", "WOW6432NODE",
};

// The rules, in the order they are judged. Every path is seen in upper
// case, split at its backslashes, below a root; a user's hive under
// HKEY_USERS is seen as HKEY_CURRENT_USER.
const char* ClassesReason(const std::vector<std::string>& c, size_t at) {
  if (c.size() == at) return "the classes of the shell and of every program";
  if (c.size() == at + 1 && std::find(std::begin(kShellClasses), std::end(kShellClasses), c[at]) != std::end(kShellClasses))
    return "a class of the shell's own (CLSID, Interface, TypeLib, AppID, *, Folder, Directory, exefile, ...)";
  return nullptr;
}

const char* SoftwareReason(const std::vector<std::string>& s, size_t at, const std::string& ownEntry) {
  if (s.size() > at && s[at] == "WOW6432NODE") {
    if (s.size() == at + 1) return "the 32-bit view of Software, every program's";
    ++at;
  }
  if (s.size() == at) return "every program's settings";
  if (s[at] == "POLICIES") return "policies, set by administrators";
  if (s[at] == "CLASSES") return ClassesReason(s, at + 1);
  if (s[at] != "MICROSOFT") return nullptr;
  if (s.size() == at + 1) return "Microsoft's settings";
  if (s[at + 1] != "WINDOWS" && s[at + 1] != "WINDOWS NT") return nullptr;
  if (s.size() == at + 2) return "the settings of Windows";
  if (s[at + 2] != "CURRENTVERSION") return nullptr;
  // Run, RunOnce, Uninstall, App Paths, Policies, Winlogon, Image File
  // Execution Options, ...: their own subkeys are for installers.
  if (s.size() <= at + 4) return "the settings of Windows (CurrentVersion and its direct subkeys: Run, Uninstall, ...)";
  if (s[at + 3] == "POLICIES") return "policies, set by administrators";
  if (s[at + 3] == "UNINSTALL" && s[at + 4] != ownEntry) return "another program's uninstall entry";
  return nullptr;
}

std::vector<std::string> Segments(const std::string& path) {
  std::vector<std::string> out;
  const std::string upper = platform::UpperCp1252(path);
  for (size_t at = 0; at <= upper.size();) {
    const size_t end = std::min(upper.find('\\', at), upper.size());
    if (end > at) out.push_back(upper.substr(at, end - at));
    at = end + 1;
  }
  return out;
}

}  // namespace

const char* ProtectedKeyReason(uint32_t root, const std::string& path, const std::string& ownEntry) {
  std::vector<std::string> s = Segments(path);
  if (s.empty()) return "a root key";
  if (root == kClassesRoot) return ClassesReason(s, 0);
  if (root != kCurrentUser && root != kLocalMachine && root != kUsers) return nullptr;
  if (s.size() == 1) return "a direct subkey of its root (Software, System, a user's hive)";
  if (root == kUsers) s.erase(s.begin());  // a user's hive, read as HKEY_CURRENT_USER
  if (root == kLocalMachine && s[0] == "SYSTEM") return "the configuration of the system (services, drivers, control sets)";
  if (s[0] == "SOFTWARE") return SoftwareReason(s, 1, platform::UpperCp1252(ownEntry));
  return nullptr;
}

Protection::Protection(platform::SystemFolders folders, platform::ILocale& locale)
    : locale_(locale),
      windows_(Key(folders.windows)),
      profiles_(Key(folders.profiles)),
      profile_(Key(folders.profile)) {
  const auto add = [&](const std::string& path, Reach reach, const char* why) {
    if (!path.empty()) folders_.push_back({Key(path), reach, why});
  };
  add(folders.windows, Reach::Tree, "the Windows folder, or a folder in it");
  add(folders.profiles, Reach::Profiles, "the folder of the users' profiles, or a user's profile");
  for (const std::string& f : folders.shortcutPlaces) {
    add(f, Reach::Itself, "a folder of the shell's for shortcuts (Start Menu, Programs, Desktop, Startup, Quick Launch)");
    if (!f.empty()) shortcutPlaces_.push_back(Key(f));
  }
  for (const std::string& f : folders.others) {
    add(f, Reach::Itself, "a folder of the system's or of its users' own (Program Files, ProgramData, Start Menu, Desktop, ...)");
  }
}

std::string Protection::Key(const std::string& path) const {
  std::string key = path;
  std::replace(key.begin(), key.end(), '/', '\\');
  return locale_.UpperAnsi(env::PathRules(locale_).StripTrailingBackslash(key));
}

bool Protection::Within(const std::string& key, const std::string& folder) {
  return !folder.empty() && (key == folder || key.rfind(folder + "\\", 0) == 0);
}

const char* Protection::FolderReason(const std::string& path) const {
  const std::string key = Key(path);
  if (key.empty()) return nullptr;
  // "C:", "C:\" and "\\server\share" alike: nothing to walk to above it.
  if ((key.size() == 2 && key[1] == ':') || (key.rfind("\\\\", 0) == 0 && std::count(key.begin(), key.end(), '\\') <= 3))
    return "a drive";
  const env::PathRules paths(locale_);
  for (const Folder& f : folders_) {
    const bool hit = f.reach == Reach::Tree       ? Within(key, f.key)
                     : f.reach == Reach::Profiles ? key == f.key || paths.ParentPath(key) == f.key
                                                  : key == f.key;
    if (hit) return f.why;
  }
  return nullptr;
}

const char* Protection::ShortcutFolderReason(const std::string& path) const {
  const char* why = FolderReason(path);
  if (why != nullptr && (std::string_view(why) == "a drive" || Within(Key(path), windows_))) return why;
  return nullptr;
}

bool Protection::HoldsAnyFile(const std::string& path) const {
  const std::string key = Key(path);
  for (const std::string& place : shortcutPlaces_) {
    if (key != place && Within(key, place)) return true;
  }
  return false;
}

const char* Protection::ShortcutReason(const std::string& path) const {
  const std::string key = Key(path);
  if (!IsShortcutFile(key)) return "no shortcut file (.lnk, .pif, .url) by its long name";
  if (Within(key, windows_)) return "in the Windows folder, or a folder in it";
  if (!profiles_.empty() && Within(key, profiles_)) {
    // Below a profile: the current user's, or the shortcut places of all
    // users (the public desktop), only.
    const bool own = Within(key, profile_);
    const bool everybody = std::any_of(shortcutPlaces_.begin(), shortcutPlaces_.end(),
                                       [&](const std::string& place) { return Within(key, place); });
    if (!own && !everybody) return "in another user's profile";
  }
  return nullptr;
}

}  // namespace app
