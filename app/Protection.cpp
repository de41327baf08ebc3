#include "app/Protection.h"

#include <algorithm>

#include "app/LogFormat.h"
#include "env/Enviro.h"

namespace app {

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
  if (IsDrive(key)) return "a drive";
  const env::PathRules paths(locale_);
  for (const Folder& f : folders_) {
    const bool hit = f.reach == Reach::Tree       ? Within(key, f.key)
                     : f.reach == Reach::Profiles ? key == f.key || paths.ParentPath(key) == f.key
                                                  : key == f.key;
    if (hit) return f.why;
  }
  return nullptr;
}

bool Protection::IsDrive(std::string path) {
  while (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  if (path.size() <= 2) return path.size() != 1 || path[0] == '\\';
  return path.rfind("\\\\", 0) == 0 && std::count(path.begin(), path.end(), '\\') <= 3;
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
