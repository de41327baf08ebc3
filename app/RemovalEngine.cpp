#include "app/RemovalEngine.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "env/Enviro.h"
#include "platform/WindowsRules.h"

namespace app {

namespace {

constexpr uint32_t kRootBase = 0x80000000u;
constexpr uint32_t kLastRootIndex = 6;
constexpr uint32_t kLastApplicationRoot = 3;  // HKEY_USERS

constexpr char kRootNames[][22] = {
    "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",   "HKEY_LOCAL_MACHINE", "HKEY_USERS",
    "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA",
};

// A removal refused for now: Scheduled when `scheduled` succeeded (the
// refusal that put it off stays in the outcome), Failed at Step::Schedule
// otherwise.
void PutOff(Outcome& outcome, platform::Status scheduled) {
  if (scheduled) {
    outcome.result = Result::Scheduled;
    outcome.step = Step::Delete;
  } else {
    outcome.result = Result::Failed;
    outcome.step = Step::Schedule;
    outcome.error = scheduled.error();
  }
}

// A file name that one listing of its folder decides: plain ASCII, whose
// case folds the same by every code page's rules and the system's own, and
// none that the system finds under another name than the listed one (an
// 8.3 alias has a '~'; trailing dots and blanks are dropped), nor a
// wildcard, a path, a stream or a device.
bool ListingDecides(const std::string& name) {
  if (name.empty() || name.back() == '.' || name.back() == ' ') return false;
  for (const char c : name) {
    if (c < 0x20 || c > 0x7E || std::strchr("\\/:*?\"<>|~", c) != nullptr) return false;
  }
  // A device's name, before any extension and blanks: CON, COM1, ... Bit
  // 0x20 dropped folds the letters; digits become 0x10 to 0x19, '$' 0x04.
  size_t end = std::min(name.find('.'), name.size());
  while (end > 0 && name[end - 1] == ' ') --end;
  char stem[8] = {};
  for (size_t i = 0; i < end && i < 7; ++i) stem[i] = static_cast<char>(name[i] & ~0x20);
  if (end > 7) return true;
  if (end == 4 && stem[3] >= 0x10 && stem[3] <= 0x19) stem[3] = '#';
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "COM#", "LPT#", "CONIN\x04", "CONOUT\x04", "CLOCK\x04"}) {
    if (std::strcmp(stem, device) == 0) return false;
  }
  return true;
}

std::string AsciiUpper(std::string name) {
  for (char& c : name) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 0x20 : c);
  return name;
}

// A run finishing what a killed one began meets many files that are gone
// already, and a lookup that finds nothing costs far more than one that
// finds (Wine reads the whole folder in search of the name in another
// case). So once a lookup in a folder finds nothing, the folder is read
// once, and the names the reading decides that it lacks are gone without a
// lookup of their own; below a missing folder, all of them are. Everything
// else is looked up one by one, as before any reading, and so is every name
// of a folder that cannot be read.
class FolderNames {
 public:
  // Certainly not in the folder: what a lookup of it would find is nothing.
  bool Absent(const std::string& name) const {
    if (state_ != State::Listed && state_ != State::Missing) return false;
    return ListingDecides(name) && (state_ == State::Missing || names_.find(AsciiUpper(name)) == names_.end());
  }
  // Whether the lookup of `name` that found nothing with `error`, with
  // `left` more names of the folder to come, makes the folder worth reading.
  bool WorthReading(const std::string& name, uint32_t error, int left) const {
    return state_ == State::Unread && left >= kReadFrom && ListingDecides(name) && platform::NotFound(error);
  }
  // `folder` (without its trailing backslash) after such a lookup.
  void Read(platform::IFileSystem& fs, const std::string& folder, uint32_t error) {
    // A folder on the way is missing: no name of the folder is there.
    if (error == platform::kErrorPathNotFound) {
      state_ = State::Missing;
      return;
    }
    state_ = State::Unknown;
    const auto listing = fs.ListFolder(folder);
    if (!listing) return;
    for (const platform::FileEntry& entry : *listing) {
      // A name the code page cannot spell comes as '?', which no name has.
      if (entry.name.find('?') != std::string::npos) {
        names_.clear();
        return;
      }
      std::string key = AsciiUpper(entry.name);
      names_.emplace(key, true);
    }
    state_ = State::Listed;
  }

 private:
  // Fewer names left than this are cheaper to look up than the reading.
  static constexpr int kReadFrom = 4;
  enum class State : uint8_t { Unread, Listed, Missing, Unknown };
  State state_ = State::Unread;
  // AsciiUpper of every listed name; a map of the engine's kind
  // (linkOnTheWay_), whose code the program has already.
  std::map<std::string, bool> names_;
};

// A key path made of nothing but backslashes names the root key (or, after
// the uninstall prefix, the Uninstall key itself), which is never deleted.
bool NamesNoSubkey(const std::string& path) { return path.find_first_not_of('\\') == std::string::npos; }

}  // namespace

void RootKeyName(uint32_t rootIndex, std::string& name) {
  if (rootIndex <= kLastRootIndex) name = kRootNames[rootIndex];
}

RegKeyEntry ParseRegKeyEntry(const std::string& entry) {
  RegKeyEntry out;
  if (entry.size() > 3) out.keyPath = entry.substr(3);
  // An entry the installer did not write as "?d?path" keeps the run going:
  // it designates no root key instead of stopping the removal half-way, after
  // the log is already gone.
  if (entry.size() < 2 || entry[1] < '0' || entry[1] > '9') return out;
  const uint32_t index = static_cast<uint32_t>(entry[1] - '0');
  RootKeyName(index, out.rootName);
  // HKEY_PERFORMANCE_DATA, HKEY_CURRENT_CONFIG (an alias into System) and
  // HKEY_DYN_DATA hold nothing of an application's: no root either.
  if (index <= kLastApplicationRoot) out.root = kRootBase + index;
  return out;
}

RemovalEngine::RemovalEngine(platform::IFileSystem& fs, platform::IRegistry& registry, platform::ILocale& locale,
                             const Protection& protection)
    : fs_(fs), registry_(registry), locale_(locale), protection_(protection), paths_(locale), classes_(registry, locale) {}

void RemovalEngine::Run(const TRunData& data, IRemovalListener& listener, RestartRemovals* restart) {
  listener_ = &listener;
  restart_ = restart;
  bytesProcessed_ = 0;
  FindPlaces(data);
  // The installation folder's 8.3 form while it is still there; nothing of
  // the system's points at an application installed in one of its folders.
  std::vector<std::string> forms;
  const bool keys = std::any_of(data.RegKeyLevels.begin(), data.RegKeyLevels.end(), [](uint8_t n) { return n > 0; });
  const std::string base = paths_.StripTrailingBackslash(data.UninsData.BaseDir);
  if (keys && protection_.FolderReason(base) == nullptr) {
    forms = {base + "\\", paths_.StripTrailingBackslash(fs_.ShortPath(base)) + "\\"};
  }
  classes_.SetFolder(std::move(forms));
  userBranch_ = keys ? registry_.CurrentUserBranch() : std::string();

  Begin(Phase::Files);
  RemoveFiles(data);
  Begin(Phase::Folders);
  RemoveFolders(data);
  Begin(Phase::HostFolders);
  WalkFolders(data.UninsData.BaseDir, data.UninsData.HostLevels, true);
  Begin(Phase::Shortcuts);
  if (data.ShortcutList) {
    RemoveShortcuts(data);
    Begin(Phase::ShortcutFolders);
    RemoveShortcutFolders(data);
  }
  // Without progress: the window keeps the last object and caption.
  Begin(Phase::ShortcutHostFolders);
  WalkFolders(data.UninsData.ShortcutDir, data.UninsData.ShortcutLevels, false);
  Begin(Phase::Registry);
  RemoveUninstallKey(data.UninsData.UninstallKey);
  for (size_t e = 0; e < data.RegKeyList.size(); ++e) {
    RemoveLoggedKey(static_cast<int>(e), data.RegKeyList[e], e < data.RegKeyLevels.size() ? data.RegKeyLevels[e] : 0,
                    data.UninsData.UninstallKey);
  }
}

void RemovalEngine::FindPlaces(const TRunData& data) {
  const auto judged = [&](const std::string& folder, platform::Place& place, const char*& why, auto&& rule) {
    place = folder.empty() ? platform::Place{} : platform::PlaceOf(fs_, paths_.StripTrailingBackslash(folder));
    why = place.final.empty() ? nullptr : rule(place.final);
  };
  judged(data.UninsData.BaseDir, installation_, installationWhy_,
         [&](const std::string& f) { return protection_.InstallationFolderReason(f); });
  judged(data.UninsData.ShortcutDir, shortcutDir_, shortcutDirWhy_,
         [&](const std::string& f) { return protection_.ShortcutFolderReason(f); });
  // Any file only where the folder lies below a place of the shell's for
  // shortcuts by its path and by what the system makes of it.
  shortcutDirAnyFile_ = !shortcutDir_.empty() && protection_.HoldsAnyFile(shortcutDir_.path) &&
                        (shortcutDir_.final.empty() || protection_.HoldsAnyFile(shortcutDir_.final));
  shortcutFolders_.clear();
  for (size_t i = 0; data.ShortcutList && i < data.ShortcutList->size(); ++i) {
    const std::string full = fs_.FullPath((*data.ShortcutList)[i]);
    const std::string folder = paths_.StripTrailingBackslash(paths_.ExtractFilePath(full));
    if (!folder.empty() && ShortcutFolder(Key(folder)) == nullptr) {
      shortcutFolders_.emplace_back(Key(folder), platform::PlaceOf(fs_, folder));
    }
  }
}

RemovalEngine::ShortcutPlace RemovalEngine::PlaceOfShortcut(const std::string& shortcut) {
  const std::string full = fs_.FullPath(shortcut);
  ShortcutPlace out;
  if (const auto final = FinalNameBelow(shortcutDir_, full)) {
    out.place = shortcutDir_;
    if (shortcutDirWhy_ != nullptr) {
      out.why = shortcutDirWhy_;
    } else if (!shortcutDirAnyFile_) {
      out.why = protection_.ShortcutReason(*final);
    }
    return out;
  }
  const std::string folder = paths_.StripTrailingBackslash(paths_.ExtractFilePath(full));
  const platform::Place* known = ShortcutFolder(Key(folder));
  if (known == nullptr) {
    out.why = "in no folder the system can name";
    return out;
  }
  out.place = *known;
  if (const auto final = FinalNameBelow(out.place, full); final && !out.place.final.empty()) {
    out.why = protection_.ShortcutReason(*final);
  }
  return out;
}

const platform::Place* RemovalEngine::ShortcutFolder(const std::string& key) const {
  for (const auto& [folder, place] : shortcutFolders_) {
    if (folder == key) return &place;
  }
  return nullptr;
}

std::string RemovalEngine::Key(const std::string& path) const {
  return locale_.UpperAnsi(paths_.StripTrailingBackslash(path));
}

std::optional<std::string> RemovalEngine::FinalNameBelow(const platform::Place& place, const std::string& full) const {
  if (place.empty()) return std::nullopt;
  const std::string key = Key(full), folder = Key(place.path);
  if (key.size() <= folder.size() || key[folder.size()] != '\\' || key.compare(0, folder.size(), folder) != 0)
    return std::nullopt;
  return paths_.StripTrailingBackslash(place.final) + full.substr(folder.size());
}

void RemovalEngine::RemoveFiles(const TRunData& data) {
  if (!data.FolderList || !data.FileLists) return;
  const std::string base = paths_.JoinPath(data.UninsData.BaseDir, "");
  const int folders = data.FolderList->Count();
  const int lists = static_cast<int>(data.FileLists->size());
  // Lists beyond the last folder have no folder to live in and are not visited.
  for (int f = 0; f < folders && f < lists; ++f) {
    const TZDataList* files = (*data.FileLists)[static_cast<size_t>(f)].get();
    if (files == nullptr) continue;
    const std::string folder = base + data.FolderList->Text(f);
    // Behind a link the files are another folder's: not even looked at.
    const bool behindLink = LinkOnTheWay(base, data.FolderList->Text(f));
    FolderNames names;
    for (int i = 0; i < files->Count(); ++i) {
      const TZData* record = files->At(i);
      if (record == nullptr) continue;
      bytesProcessed_ += record->Size;
      Show(record->Name);
      Outcome outcome = Met(ObjectKind::File, folder + record->Name);
      platform::Status looked;
      const auto entry = behindLink || names.Absent(record->Name) ? std::nullopt : Look(outcome, looked);
      if (behindLink) {
        outcome.result = Result::Link;
      } else if (installationWhy_ != nullptr) {
        outcome.result = Result::Protected;
        outcome.why = installationWhy_;
      } else if (outcome.result == Result::Failed) {
        // The system would not look: the file may well be there.
      } else if (!entry || entry->IsFolder()) {
        outcome.result = Result::Absent;
        if (!entry && names.WorthReading(record->Name, looked.error(), files->Count() - 1 - i)) {
          names.Read(fs_, paths_.StripTrailingBackslash(folder), looked.error());
        }
      } else if (entry->dosTime != record->Date) {
        // Changed since installation: the user's edits stay.
        outcome.result = Result::Changed;
        outcome.loggedTime = record->Date;
        outcome.diskTime = entry->dosTime;
      } else if (!IsLinked(*entry, outcome)) {
        RemoveFileAnyway(fs_, restart_, outcome, installation_);
      }
      Report(outcome);
    }
  }
}

void RemovalEngine::RemoveFolders(const TRunData& data) {
  if (!data.FolderList) return;
  const std::string base = paths_.JoinPath(data.UninsData.BaseDir, "");
  // Backward, so that a subfolder (logged after its parent) goes first. Entry
  // 0 is the installation folder, which the host walk takes care of.
  for (int k = data.FolderList->Count() - 1; k >= 1; --k) {
    Show(data.FolderList->Text(k));
    const std::string folder = paths_.StripTrailingBackslash(base + data.FolderList->Text(k));
    if (LinkOnTheWay(base, paths_.ExtractFilePath(paths_.StripTrailingBackslash(data.FolderList->Text(k))))) {
      Outcome behind = Met(ObjectKind::Folder, folder);
      behind.result = Result::Link;
      Report(behind);
      continue;
    }
    TryRemoveFolder(folder, installation_);
  }
}

void RemovalEngine::RemoveShortcuts(const TRunData& data) {
  for (const std::string& shortcut : *data.ShortcutList) {
    Show(shortcut);
    Outcome outcome = Met(ObjectKind::Shortcut, shortcut);
    // Where the system puts it now, judged before anything is looked at.
    const ShortcutPlace where = PlaceOfShortcut(shortcut);
    const auto entry = where.why != nullptr ? std::nullopt : Look(outcome);
    // A shortcut's time stamp is not compared.
    if (where.why != nullptr) {
      outcome.result = Result::Protected;
      outcome.why = where.why;
    } else if (outcome.result == Result::Failed) {
    } else if (!entry || entry->IsFolder()) {
      outcome.result = Result::Absent;
    } else if (!IsLinked(*entry, outcome)) {
      RemoveFileAnyway(fs_, restart_, outcome, where.place);
    }
    Report(outcome);
  }
}

void RemovalEngine::RemoveShortcutFolders(const TRunData& data) {
  const std::string& dir = data.UninsData.ShortcutDir;
  const std::string upperDir = locale_.UpperAnsi(dir);
  // An empty shortcut folder occurs in no path.
  if (upperDir.empty()) return;
  const TTextList& shortcuts = *data.ShortcutList;
  for (size_t j = shortcuts.size(); j-- > 0;) {
    const std::string upper = locale_.UpperAnsi(shortcuts[j]);
    const size_t at = upper.find(upperDir);
    if (at == std::string::npos) continue;
    std::string rel = upper;
    rel.erase(at, upperDir.size());
    rel = paths_.ExtractFilePath(rel);
    Show(rel);
    // Only the folder that directly holds the shortcut; the logged case of
    // the shortcut folder is kept, the tail is the upper-cased one.
    if (!rel.empty()) TryRemoveFolder(dir + paths_.StripTrailingBackslash(rel), shortcutDir_);
  }
}

void RemovalEngine::RemoveUninstallKey(const std::string& uninstallKey) {
  Show(kUninstallKeyShown + uninstallKey);
  // Only backslashes would name the Uninstall key itself, every program's
  // entry with it: such a name counts as none.
  if (NamesNoSubkey(uninstallKey)) return;
  Outcome outcome = Met(ObjectKind::Key, kUninstallKeyShown + uninstallKey);
  outcome.root = platform::kHkeyLocalMachine;
  outcome.keyPath = kUninstallKeyPath + uninstallKey;
  platform::Status status;
  if (!registry_.OpenKey(outcome.root, outcome.keyPath, status)) {
    // Not there only when the system says so: one nobody may open stays.
    Refusal(outcome, Step::Open, status);
  } else {
    // With its subkeys: the entry is the application's own.
    status = registry_.DeleteKeyTree(outcome.root, outcome.keyPath);
    Refusal(outcome, Step::Delete, status);
  }
  Report(outcome);
}

void RemovalEngine::RemoveLoggedKey(int index, const std::string& entry, uint8_t levels, const std::string& ownEntry) {
  const RegKeyEntry parsed = ParseRegKeyEntry(entry);
  std::string key = parsed.keyPath;
  for (unsigned n = levels; n > 0; --n, key = paths_.ParentPath(key)) {
    Show(parsed.rootName + key);
    if (parsed.root == 0 && n == levels) {
      Outcome none = Met(ObjectKind::Key, entry);
      none.keyPath = parsed.keyPath;
      none.result = Result::Absent;
      Report(none);
    }
    // The walk has reached the root key, which is never deleted.
    if (NamesNoSubkey(key)) return;
    if (parsed.root == 0) continue;
    // Nor does it take a key outside the places of an application's.
    const KeyJudgement place = JudgeKeyPlace(parsed.root, key, ownEntry, &userBranch_);
    if (place.place == KeyPlace::Outside) {
      Outcome kept = Met(ObjectKind::Key, parsed.rootName + key);
      kept.root = parsed.root;
      kept.keyPath = key;
      kept.entry = index;
      kept.result = Result::Protected;
      kept.why = place.why;
      Report(kept);
      return;
    }
    Outcome outcome = Met(ObjectKind::Key, parsed.rootName + key);
    outcome.root = parsed.root;
    outcome.keyPath = key;
    outcome.entry = index;
    const bool keptBefore = keptBefore_ && keptBefore_(index, parsed.root, key);
    platform::Status status;
    // The key test: "not there" only when the system says so; a key nobody
    // may open is there and kept, and its walk ends.
    if (!registry_.OpenKey(parsed.root, key, status)) {
      Refusal(outcome, Step::Open, status);
      Report(outcome);
      if (outcome.result == Result::Absent && !keptBefore) continue;
      return;
    }
    // A class is the application's only when it points at it.
    if (place.place == KeyPlace::Class && !classes_.PointsAtApplication(parsed.root, place)) {
      outcome.result = Result::NotTheApplications;
      Report(outcome);
      return;
    }
    {
      auto opened = registry_.OpenKey(parsed.root, key, status);
      if (!opened) {
        Refusal(outcome, Step::Open, status);
        Report(outcome);
        if (outcome.result == Result::Absent && !keptBefore) continue;
        return;
      }
      // A key with subkeys holds something that is not the application's.
      if (keptBefore || opened->HasSubkeys()) {
        outcome.result = Result::NotEmpty;
        opened.reset();
        Report(outcome);
        return;
      }
    }
    // The key alone: should the subkey count have failed to read, whatever
    // lies below it stays.
    status = registry_.DeleteKey(parsed.root, key);
    Refusal(outcome, Step::Delete, status);
    Report(outcome);
  }
}

bool RemovalEngine::IsLinked(const platform::FileEntry& entry, Outcome& outcome) {
  // A link goes neither itself nor its target. A file with other names
  // shares its read-only bit with them: it goes only when the bit is clear
  // already, so that a name outside never loses its protection.
  if ((entry.attributes & platform::kAttrReparsePoint) == 0) {
    if ((entry.attributes & platform::kAttrReadOnly) == 0 || fs_.HardLinks(outcome.path).value_or(1) <= 1) return false;
  }
  outcome.result = Result::Link;
  return true;
}

bool RemovalEngine::LinkOnTheWay(const std::string& base, const std::string& relativeFolder) {
  // From the installation folder itself down to the folder: each level
  // looked at once per run.
  std::string folder = paths_.StripTrailingBackslash(base);
  std::string rest = relativeFolder;
  for (;;) {
    auto known = linkOnTheWay_.find(folder);
    if (known == linkOnTheWay_.end()) {
      const auto entry = fs_.FindEntry(folder);
      known = linkOnTheWay_.emplace(folder, entry && (entry->attributes & platform::kAttrReparsePoint) != 0).first;
    }
    if (known->second) return true;
    const size_t cut = rest.find('\\');
    if (rest.empty() || cut == std::string::npos) return false;
    folder += "\\" + rest.substr(0, cut);
    rest.erase(0, cut + 1);
  }
}

std::optional<platform::FileEntry> RemovalEngine::Look(Outcome& outcome) {
  platform::Status looked;
  return Look(outcome, looked);
}

std::optional<platform::FileEntry> RemovalEngine::Look(Outcome& outcome, platform::Status& looked) {
  auto entry = fs_.FindEntry(outcome.path, looked);
  if (entry) {
    outcome.attributes = entry->attributes;
  } else if (!platform::NotFound(looked.error())) {
    outcome.result = Result::Failed;
    outcome.step = Step::Find;
    outcome.error = looked.error();
  }
  return entry;
}

void RemovalEngine::Refusal(Outcome& outcome, Step step, platform::Status status) {
  if (status) {
    outcome.result = Result::Removed;
    return;
  }
  outcome.result = platform::NotFound(status.error()) ? Result::Absent : Result::Failed;
  if (outcome.result == Result::Failed) outcome.step = step;
  outcome.error = status.error();
}

void RemovalEngine::Begin(Phase phase) {
  phase_ = phase;
  listener_->OnPhase(phase);
}

void RemovalEngine::Show(const std::string& currentObject) { listener_->OnProgress(bytesProcessed_, currentObject); }

Outcome RemovalEngine::Met(ObjectKind kind, std::string path) const {
  Outcome outcome;
  outcome.phase = phase_;
  outcome.kind = kind;
  outcome.path = std::move(path);
  return outcome;
}

bool RemovalEngine::TryRemoveFolder(const std::string& path, const platform::Place& within) {
  constexpr uint32_t kNotAFolderToTouch = platform::kAttrHidden | platform::kAttrSystem | platform::kAttrVolume;
  Outcome outcome = Met(ObjectKind::Folder, path);
  // The system's folders and its users' are never tried, by their path nor
  // by what the system makes of it.
  const std::string full = fs_.FullPath(path);
  const char* why = protection_.FolderReason(full);
  if (why == nullptr && within.empty()) {
    const std::string final = fs_.FinalFolderName(path);
    if (!final.empty()) why = protection_.FolderReason(final);
  } else if (const auto final = why == nullptr && !within.final.empty() ? FinalNameBelow(within, full) : std::nullopt) {
    // Below a place, as the place's final name leads.
    why = protection_.FolderReason(*final);
  }
  if (why != nullptr) {
    outcome.result = Result::Protected;
    outcome.why = why;
    Report(outcome);
    return false;
  }
  const auto entry = Look(outcome);
  if (outcome.result == Result::Failed) {
    Report(outcome);
    return true;
  }
  if (entry && (entry->attributes & platform::kAttrReparsePoint) != 0) {
    outcome.result = Result::Link;
    Report(outcome);
    return true;
  }
  // Hidden and system folders are the user's or the system's: not there.
  if (!entry || (entry->attributes & kNotAFolderToTouch) != 0) {
    outcome.result = Result::Absent;
    Report(outcome);
    return true;
  }
  platform::Status status;
  bool raised = false;
  try {
    status = fs_.RemoveFolder(path, within);
  } catch (const std::exception&) {
    // An error while removing counts as a refusal, one without a code.
    raised = true;
  }
  if (status && !raised) {
    outcome.result = Result::Removed;
  } else if (platform::NotFound(status.error())) {
    outcome.result = Result::Absent;  // another run took it meanwhile
    outcome.error = status.error();
  } else if (status.error() == platform::kErrorThroughLink) {
    outcome.result = Result::Link;
    outcome.attributes |= platform::kAttrReparsePoint;
  } else if (status.error() == platform::kErrorDirNotEmpty) {
    outcome.result = Result::NotEmpty;
    outcome.error = status.error();
    if (restart_ != nullptr) {
      if (const auto scheduled = restart_->ScheduleEmptied(path, within)) PutOff(outcome, *scheduled);
    }
  } else {
    outcome.result = Result::Failed;
    outcome.step = Step::Delete;
    outcome.error = status.error();
  }
  Report(outcome);
  return true;
}

void RemovalEngine::WalkFolders(const std::string& start, uint8_t levels, bool showProgress) {
  std::string path = paths_.StripTrailingBackslash(start);
  for (unsigned n = levels; n > 0;) {
    // Above a drive there is nothing, and above a folder of the system's
    // nothing of the application's.
    if (Protection::IsDrive(path)) return;
    if (showProgress) Show(path);
    if (!TryRemoveFolder(path)) return;
    if (--n > 0) path = paths_.ParentPath(path);
  }
}

void RemoveFileAnyway(platform::IFileSystem& fs, RestartRemovals* restart, Outcome& outcome,
                      const platform::Place& within) {
  // The read-only bit is not given back when the deletion fails.
  const platform::FileRemoval removal = platform::RemoveFileAnyway(fs, outcome.path, within);
  if (removal) {
    outcome.result = Result::Removed;
    return;
  }
  // Gone at whichever step: another run took it meanwhile.
  if (platform::NotFound(removal.status.error())) {
    outcome.result = Result::Absent;
    outcome.error = removal.status.error();
    return;
  }
  // Reached through a link that the first look could not see.
  if (removal.status.error() == platform::kErrorThroughLink) {
    outcome.result = Result::Link;
    outcome.attributes |= platform::kAttrReparsePoint;
    return;
  }
  outcome.result = Result::Failed;
  outcome.error = removal.status.error();
  outcome.step = removal.failedAt;
  if (restart != nullptr && outcome.step == Step::Delete && RestartRemovals::InUse(outcome.error)) {
    PutOff(outcome, restart->ScheduleFile(outcome.path, within));
  }
}

}  // namespace app
