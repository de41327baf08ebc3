#pragma once
// The removal engine: works through the phases of an uninstallation
// (installed files, installation folders, host folders, shortcuts, shortcut
// folders, shortcut host folders, registry) and says what became of every
// object it meets as one outcome of its stream (app/Outcome.h).
//
// It is portable and knows no window: it sees the file system, the
// registry and the locale through the platform interfaces, and whoever
// listens to its stream (the run, the failure list, a dry run's plan)
// decides what to show.
#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "app/KeyPlaces.h"
#include "app/Outcome.h"
#include "app/Protection.h"
#include "app/RestartRemovals.h"
#include "app/RunData.h"
#include "env/Enviro.h"
#include "platform/Services.h"

namespace app {

// Where the application's uninstall entry lives, under HKEY_LOCAL_MACHINE.
inline constexpr char kUninstallKeyPath[] = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
// The same key as the progress line and the failure line name it: the root's
// name is followed by two backslashes.
inline constexpr char kUninstallKeyShown[] = "HKEY_LOCAL_MACHINE\\\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// Sets `name` to the root key's name for an index from 0 to 6; leaves it
// unchanged for any other index.
void RootKeyName(uint32_t rootIndex, std::string& name);

// A registry key entry of the log, taken apart. The 2nd character is the
// root index when it is a decimal digit; the 1st and 3rd are not read; the
// key path is everything from the 4th character on.
struct RegKeyEntry {
  // 0x80000000 + index for an index from 0 to 3; 0 when the entry designates
  // no root key of an application's (index 4 to 9, a 2nd character that is
  // no digit, or an entry shorter than two characters). Such an entry finds,
  // deletes and lists nothing.
  uint32_t root = 0;
  // Root key name as progress lines and failure lines show it; empty when
  // the entry designates no root key, so that only the key path is shown.
  std::string rootName;
  std::string keyPath;
};
RegKeyEntry ParseRegKeyEntry(const std::string& entry);

// platform::RemoveFileAnyway (the read-only bit dropped first, then the
// deletion) of a file that was found at `outcome.path`, as the removal
// deletes files, shortcuts and the log, told in `outcome`: Removed, Failed at the refused step, or,
// given `restart`, Scheduled when another program holds the file (Failed at
// Step::Schedule when the scheduling is refused). Every change is confined
// to `within`: a link on the way makes it a Link.
void RemoveFileAnyway(platform::IFileSystem& fs, RestartRemovals* restart, Outcome& outcome,
                      const platform::Place& within = {});

class RemovalEngine {
 public:
  // `protection` names what the removal never takes (app/Protection.h).
  RemovalEngine(platform::IFileSystem& fs, platform::IRegistry& registry, platform::ILocale& locale,
                const Protection& protection);

  // The removal of an uninstallation over the run data, which it only
  // reads. `listener` hears, in order: each phase as it begins; the object
  // being worked on, right after each change, with the running total of
  // the file records' sizes (every record counts, removed or not); and one
  // outcome per object met. A registry key entry without a level in
  // RegKeyLevels has 0 levels.
  //
  // Single failures are outcomes. Anything the services or the listener
  // throw ends the removal there and passes to the caller.
  //
  // With `restart` (a run nobody watches), a file or shortcut whose
  // deletion another program's handle refuses is scheduled for the next
  // start of Windows, and so is a folder refused as not empty that holds
  // nothing but what is scheduled: Scheduled, or Failed at Step::Schedule
  // when the scheduling is refused.
  //
  // A logged key's walk takes only keys in the places of an application's
  // (app/KeyPlaces.h): it ends at one outside them (Protected), and at a
  // key of a class that does not point at the installation folder
  // (NotTheApplications), judged when the class is first met.
  void Run(const TRunData& data, IRemovalListener& listener, RestartRemovals* restart = nullptr);
  // For a run that finishes what an earlier one began: where `keptBefore`
  // names a key of an entry's walk (entry index, root, key path), that walk
  // ends as the earlier run's ended, at a key it kept for its subkeys: the
  // key stays, whether another entry's walk has emptied it since or not.
  void KeepWhereKeptBefore(std::function<bool(int, uint32_t, const std::string&)> keptBefore) {
    keptBefore_ = std::move(keptBefore);
  }

 private:
  void RemoveFiles(const TRunData& data);
  void RemoveFolders(const TRunData& data);
  void RemoveShortcuts(const TRunData& data);
  void RemoveShortcutFolders(const TRunData& data);
  void RemoveUninstallKey(const std::string& uninstallKey);
  void RemoveLoggedKey(int index, const std::string& entry, uint8_t levels, const std::string& ownEntry);
  // The places of the run as the system names them when it begins: the
  // installation folder, the shortcut folder, and the folder of each
  // shortcut outside it; each judged by its final name.
  void FindPlaces(const TRunData& data);
  // The place a shortcut goes in, and why it may not go there (nullptr:
  // it may).
  struct ShortcutPlace {
    platform::Place place;
    const char* why = nullptr;
  };
  ShortcutPlace PlaceOfShortcut(const std::string& shortcut);
  // A path as the system compares paths, by the code page in use.
  std::string Key(const std::string& path) const;
  // The name the system gives the full path `full` through the final name
  // of `place`, when `full` lies strictly below the place; nullopt
  // otherwise.
  std::optional<std::string> FinalNameBelow(const platform::Place& place, const std::string& full) const;

  // A found file or shortcut that is a link, or read-only with other names:
  // Link, and true.
  bool IsLinked(const platform::FileEntry& entry, Outcome& outcome);
  // Whether the installation folder `base`, or a folder of `relativeFolder`
  // below it (as logged, ending in a backslash), is a link.
  bool LinkOnTheWay(const std::string& base, const std::string& relativeFolder);
  // The lookup of outcome.path; a lookup the system refused (not one that
  // found nothing) makes the outcome Failed at Step::Find.
  std::optional<platform::FileEntry> Look(Outcome& outcome);
  // The same, with the lookup's refusal in `looked`.
  std::optional<platform::FileEntry> Look(Outcome& outcome, platform::Status& looked);
  // The outcome of a key's opening or deletion that `status` tells: gone,
  // Absent when the system found nothing, Failed at `step` otherwise.
  static void Refusal(Outcome& outcome, Step step, platform::Status status);
  void Begin(Phase phase);
  void Show(const std::string& currentObject);
  void Report(const Outcome& outcome) { listener_->OnOutcome(outcome); }
  Outcome Met(ObjectKind kind, std::string path) const;
  // The folder test, then the removal of an empty folder, confined to
  // `within`. False when the folder is one of the system's or its users'.
  bool TryRemoveFolder(const std::string& path, const platform::Place& within = {});
  // Tries `levels` folders from `start` upwards; a drive ends the walk
  // unseen, a folder of the system's or its users' ends it after its line.
  void WalkFolders(const std::string& start, uint8_t levels, bool showProgress);

  platform::IFileSystem& fs_;
  platform::IRegistry& registry_;
  platform::ILocale& locale_;
  const Protection& protection_;
  env::PathRules paths_;
  ApplicationClasses classes_;
  std::string userBranch_;
  std::map<std::string, bool> linkOnTheWay_;  // by folder path
  platform::Place installation_;
  const char* installationWhy_ = nullptr;  // why its final name is no installation folder
  platform::Place shortcutDir_;
  const char* shortcutDirWhy_ = nullptr;
  bool shortcutDirAnyFile_ = false;  // any file, not only shortcuts, may go below it
  // The folders of the shortcuts, by Key of their full path: a handful,
  // looked through in order.
  std::vector<std::pair<std::string, platform::Place>> shortcutFolders_;
  const platform::Place* ShortcutFolder(const std::string& key) const;
  IRemovalListener* listener_ = nullptr;
  RestartRemovals* restart_ = nullptr;
  std::function<bool(int, uint32_t, const std::string&)> keptBefore_;
  Phase phase_ = Phase::Files;
  int64_t bytesProcessed_ = 0;
};

}  // namespace app
