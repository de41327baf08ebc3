#include "app/Ownership.h"

#include "app/CommandLine.h"
#include "app/KeyPlaces.h"
#include "app/LogFormat.h"
#include "app/RemovalEngine.h"

namespace app {

namespace {
std::optional<std::string> EntryReason(const TUninsData& h, const LogIdentity& log, platform::IFileSystem& fs,
                                       platform::IRegistry& registry, platform::ILocale& locale);
}  // namespace

std::optional<std::string> NotTheApplicationsReason(const TRunData& data, const LogIdentity& log,
                                                    platform::IFileSystem& fs, platform::IRegistry& registry,
                                                    platform::ILocale& locale, const Protection& protection) {
  const TUninsData& h = data.UninsData;
  const env::PathRules paths(locale);
  // Judged in long names: what the system makes of each path.
  const std::string base = paths.StripTrailingBackslash(h.BaseDir);
  if (const char* why = protection.InstallationFolderReason(base)) return "the installation folder " + base + " is " + why;
  // And as the system names it: a link to a folder of the system's is no
  // application's folder either.
  const std::string final = base.empty() ? std::string() : platform::PlaceOf(fs, base).final;
  if (const char* why = final.empty() ? nullptr : protection.InstallationFolderReason(final)) {
    return "the installation folder " + base + " leads to " + final + ", which is " + why;
  }
  std::string dir = h.ShortcutDir.empty() ? std::string() : fs.FullPath(h.ShortcutDir);
  if (dir.size() > 3) dir = paths.StripTrailingBackslash(dir);  // a drive's root keeps its backslash
  if (!dir.empty()) {
    if (const char* why = protection.ShortcutFolderReason(dir)) return "the shortcut folder " + dir + " is " + why;
  }
  const bool anyFile = !dir.empty() && protection.HoldsAnyFile(dir);
  for (size_t i = 0; data.ShortcutList && i < data.ShortcutList->size(); ++i) {
    const std::string shortcut = fs.FullPath((*data.ShortcutList)[i]);
    const bool belowDir = !dir.empty() && locale.EqualIgnoreCase(shortcut.substr(0, dir.size() + 1), dir + "\\");
    if (anyFile && belowDir) continue;
    if (const char* why = protection.ShortcutReason(shortcut)) {
      return "shortcut " + std::to_string(i) + " (" + shortcut + ") is " + why +
             (belowDir ? ", and the shortcut folder lies below no folder of the shell's for shortcuts" : "");
    }
  }
  if (auto why = EntryReason(h, log, fs, registry, locale)) return why;
  return AnotherUsersKeyReason(data.RegKeyList, data.RegKeyLevels, registry);
}

namespace {

// Why the application's uninstall entry is another program's, or nullopt.
std::optional<std::string> EntryReason(const TUninsData& h, const LogIdentity& log, platform::IFileSystem& fs,
                                       platform::IRegistry& registry, platform::ILocale& locale) {
  if (h.UninstallKey.empty()) return std::nullopt;
  auto entry = registry.OpenKey(platform::kHkeyLocalMachine, kUninstallKeyPath + h.UninstallKey);
  if (!entry) return std::nullopt;
  bool anyCommand = false;
  for (const char* value : {"UninstallString", "QuietUninstallString"}) {
    const std::optional<std::string> command = entry->ReadExpandedString(value);
    if (command && command->empty()) continue;
    anyCommand = true;
    const std::string named =
        command ? LogPathInCommand(*command, [&](unsigned char byte) { return locale.IsLeadByte(byte); }) : "";
    if (named.empty() || !SameLog(IdentifyLog(named, fs, registry, locale), log, locale)) {
      return "the uninstall entry " + h.UninstallKey + " is another program's: its " + value + " names " +
             (!command ? "no log (it is no text)" : named.empty() ? "no log" : named);
    }
  }
  // An entry with no command at all (a remnant, or one of the system's own)
  // is this application's only under its name.
  if (!anyCommand) {
    const std::string shown = entry->ReadString("DisplayName").value_or("");
    if (!shown.empty() && !locale.EqualIgnoreCase(shown, h.AppName)) {
      return "the uninstall entry " + h.UninstallKey + " is another program's: it has no command, and its "
             "DisplayName is " + shown;
    }
  }
  return std::nullopt;
}

}  // namespace

bool LogNames(const TRunData& data, const std::string& base, const std::string& fullPath, platform::ILocale& locale) {
  const env::PathRules paths(locale);
  const std::string target = paths.StripTrailingBackslash(fullPath);
  const auto same = [&](const std::string& path) {
    return locale.EqualIgnoreCase(paths.StripTrailingBackslash(path), target);
  };
  if (!data.UninsData.ShortcutDir.empty() && same(data.UninsData.ShortcutDir)) return true;
  if (data.ShortcutList) {
    for (const std::string& shortcut : *data.ShortcutList) {
      if (same(shortcut)) return true;
    }
  }
  if (!data.FolderList) return false;
  for (int f = 0; f < data.FolderList->Count(); ++f) {
    const std::string folder = base + data.FolderList->Text(f);
    if (same(folder)) return true;
    const TZDataList* files = data.FileLists && static_cast<size_t>(f) < data.FileLists->size()
                                  ? (*data.FileLists)[static_cast<size_t>(f)].get()
                                  : nullptr;
    for (int i = 0; files != nullptr && i < files->Count(); ++i) {
      if (files->At(i) != nullptr && same(folder + files->At(i)->Name)) return true;
    }
  }
  return false;
}

}  // namespace app
