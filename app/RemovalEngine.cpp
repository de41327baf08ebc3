#include "app/RemovalEngine.h"

#include <exception>

#include "app/UninstallRun.h"
#include "env/Enviro.h"

namespace app {

namespace {

constexpr uint32_t kRootBase = 0x80000000u;
constexpr uint32_t kLastRootIndex = 6;

constexpr char kRootNames[][22] = {
    "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",   "HKEY_LOCAL_MACHINE", "HKEY_USERS",
    "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA",
};

constexpr char kFileIndent[] = "    ";
constexpr char kKeyIndent[] = " ";

// A key path made of nothing but backslashes names the root key (or, after
// the uninstall prefix, the Uninstall key itself), which is never deleted.
bool NamesNoSubkey(const std::string& path) { return path.find_first_not_of('\\') == std::string::npos; }

// Hourglass from construction until the end of the scope, however it ends.
class BusyCursor {
 public:
  explicit BusyCursor(IRemovalSink& sink) : sink_(sink) { sink_.SetBusyCursor(true); }
  ~BusyCursor() {
    try {
      sink_.SetBusyCursor(false);
    } catch (...) {
      // Nothing may leave a destructor; the cursor is cosmetic.
    }
  }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;

 private:
  IRemovalSink& sink_;
};

}  // namespace

void RootKeyName(uint32_t rootIndex, std::string& name) {
  if (rootIndex <= kLastRootIndex) name = kRootNames[rootIndex];
}

std::string ParentPath(const std::string& path) {
  return env::StripTrailingBackslash(env::ExtractFilePath(path));
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
  if (index <= kLastRootIndex) out.root = kRootBase + index;
  return out;
}

RemovalEngine::RemovalEngine(platform::IFileSystem& fs, platform::IRegistry& registry, platform::ILocale& locale,
                             IRemovalSink& sink)
    : fs_(fs), registry_(registry), locale_(locale), sink_(sink) {}

void RemovalEngine::Run(TRunData& data, const TStringList& regKeyList, const std::vector<uint8_t>& regKeyLevels,
                        int64_t& bytesProcessed) {
  BusyCursor busy(sink_);
  bytesProcessed_ = &bytesProcessed;
  if (data.FailList) {
    data.ClearFailList();
  } else {
    data.FailList = std::make_unique<TFailList>();
  }
  failList_ = data.FailList.get();
  openHeader_ = -1;

  sink_.SetPhase(kPhaseFiles);
  OpenGroup(kFailHeaderFiles);
  RemoveFiles(data);
  CloseGroup();

  OpenGroup(kFailHeaderFolders);
  sink_.SetPhase(kPhaseFolders);
  RemoveFolders(data);

  sink_.SetPhase(kPhaseHostFolders);
  WalkFolders(data.UninsData.BaseDir, data.UninsData.HostLevels, true);

  sink_.SetPhase(kPhaseShortcuts);
  CloseGroup();
  OpenGroup(kFailHeaderShortcuts);
  if (data.ShortcutList) {
    RemoveShortcuts(data);
    CloseGroup();
    OpenGroup(kFailHeaderShortcutFolders);
    sink_.SetPhase(kPhaseShortcutFolders);
    RemoveShortcutFolders(data);
  }
  // Shortcut host folders join whichever group is open, without progress.
  WalkFolders(data.UninsData.ShortcutDir, data.UninsData.ShortcutLevels, false);

  CloseGroup();
  OpenGroup(kFailHeaderRegistry);
  sink_.SetPhase(kPhaseRegistry);
  RemoveUninstallKey(data.UninsData.UninstallKey);
  for (size_t e = 0; e < regKeyList.size(); ++e) {
    RemoveLoggedKey(regKeyList[e], e < regKeyLevels.size() ? regKeyLevels[e] : 0);
  }
  CloseGroup();
}

void RemovalEngine::RemoveFiles(const TRunData& data) {
  if (!data.FolderList || !data.FileLists) return;
  const std::string base = env::JoinPath(data.UninsData.BaseDir, "");
  const int folders = data.FolderList->Count();
  const int lists = static_cast<int>(data.FileLists->size());
  // Lists beyond the last folder have no folder to live in and are not visited.
  for (int f = 0; f < folders && f < lists; ++f) {
    const TZDataList* files = (*data.FileLists)[static_cast<size_t>(f)].get();
    if (files == nullptr) continue;
    const std::string folder = base + data.FolderList->Text(f);
    for (int i = 0; i < files->Count(); ++i) {
      const TZData* record = files->At(i);
      if (record == nullptr) continue;
      *bytesProcessed_ += record->Size;
      Show(record->Name);
      const std::string path = folder + record->Name;
      const auto entry = fs_.FindEntry(path);
      if (!entry || entry->IsFolder()) continue;
      // Changed since installation: the user's edits stay.
      if (entry->dosTime != record->Date || !DeleteFileAnyway(path)) RecordFile(path);
    }
  }
}

void RemovalEngine::RemoveFolders(const TRunData& data) {
  if (!data.FolderList) return;
  const std::string base = env::JoinPath(data.UninsData.BaseDir, "");
  // Backward, so that a subfolder (logged after its parent) goes first. Entry
  // 0 is the installation folder, which the host walk takes care of.
  for (int k = data.FolderList->Count() - 1; k >= 1; --k) {
    Show(data.FolderList->Text(k));
    TryRemoveFolder(env::StripTrailingBackslash(base + data.FolderList->Text(k)));
  }
}

void RemovalEngine::RemoveShortcuts(const TRunData& data) {
  for (const std::string& shortcut : *data.ShortcutList) {
    Show(shortcut);
    const auto entry = fs_.FindEntry(shortcut);
    if (!entry || entry->IsFolder()) continue;
    if (!DeleteFileAnyway(shortcut)) failList_->Add(kFileIndent + shortcut);
  }
}

void RemovalEngine::RemoveShortcutFolders(const TRunData& data) {
  const std::string& dir = data.UninsData.ShortcutDir;
  const std::string upperDir = locale_.UpperAnsi(dir);
  // An empty shortcut folder occurs in no path.
  if (upperDir.empty()) return;
  const TStringList& shortcuts = *data.ShortcutList;
  for (size_t j = shortcuts.size(); j-- > 0;) {
    const std::string upper = locale_.UpperAnsi(shortcuts[j]);
    const size_t at = upper.find(upperDir);
    if (at == std::string::npos) continue;
    std::string rel = upper;
    rel.erase(at, upperDir.size());
    rel = env::ExtractFilePath(rel);
    Show(rel);
    // Only the folder that directly holds the shortcut; the logged case of
    // the shortcut folder is kept, the tail is the upper-cased one.
    if (!rel.empty()) TryRemoveFolder(dir + env::StripTrailingBackslash(rel));
  }
}

void RemovalEngine::RemoveUninstallKey(const std::string& uninstallKey) {
  Show(kUninstallKeyShown + uninstallKey);
  // Only backslashes would name the Uninstall key itself, every program's
  // entry with it: such a name counts as none.
  if (NamesNoSubkey(uninstallKey)) return;
  const std::string key = kUninstallKeyPath + uninstallKey;
  if (!registry_.KeyExists(platform::kHkeyLocalMachine, key)) return;
  if (!registry_.DeleteKeyTree(platform::kHkeyLocalMachine, key)) {
    failList_->Add(kKeyIndent + std::string(kUninstallKeyShown) + uninstallKey);
  }
}

void RemovalEngine::RemoveLoggedKey(const std::string& entry, uint8_t levels) {
  const RegKeyEntry parsed = ParseRegKeyEntry(entry);
  std::string key = parsed.keyPath;
  for (unsigned n = levels; n > 0; --n, key = ParentPath(key)) {
    Show(parsed.rootName + key);
    // The walk has reached the root key, which is never deleted.
    if (NamesNoSubkey(key)) return;
    if (parsed.root == 0 || !registry_.KeyExists(parsed.root, key)) continue;
    {
      auto opened = registry_.OpenKey(parsed.root, key);
      if (!opened) {
        failList_->Add(kKeyIndent + parsed.rootName + key);
        return;
      }
      // A key with subkeys holds something that is not the application's.
      if (opened->HasSubkeys()) return;
    }
    // The key alone: should the subkey count have failed to read, whatever
    // lies below it stays.
    if (!registry_.DeleteKey(parsed.root, key)) failList_->Add(kKeyIndent + parsed.rootName + key);
  }
}

void RemovalEngine::Show(const std::string& currentObject) { sink_.ShowProgress(*bytesProcessed_, currentObject); }

void RemovalEngine::OpenGroup(const char* header) {
  openHeader_ = failList_->Count();
  failList_->Add(header);
}

void RemovalEngine::CloseGroup() {
  // A header with nothing under it goes again.
  if (openHeader_ >= 0 && failList_->Count() == openHeader_ + 1) failList_->DeleteLast();
  openHeader_ = -1;
}

void RemovalEngine::RecordFile(const std::string& path) {
  auto fail = std::make_unique<TFailData>();
  fail->Kind = kFailFile;
  failList_->Add(kFileIndent + path, std::move(fail));
}

void RemovalEngine::TryRemoveFolder(const std::string& path) {
  constexpr uint32_t kNotAFolderToTouch = platform::kAttrHidden | platform::kAttrSystem | platform::kAttrVolume;
  const auto entry = fs_.FindEntry(path);
  // Hidden and system folders are the user's or the system's: not there.
  if (!entry || (entry->attributes & kNotAFolderToTouch) != 0) return;
  bool removed = false;
  try {
    removed = fs_.RemoveFolder(path);
  } catch (const std::exception&) {
    removed = false;
  }
  if (!removed) {
    auto fail = std::make_unique<TFailData>();
    fail->Kind = kFailFolder;
    failList_->Add(kFileIndent + path, std::move(fail));
  }
}

void RemovalEngine::WalkFolders(const std::string& start, uint8_t levels, bool showProgress) {
  std::string path = env::StripTrailingBackslash(start);
  for (unsigned n = levels; n > 0;) {
    if (showProgress) Show(path);
    TryRemoveFolder(path);
    if (--n > 0) path = ParentPath(path);
  }
}

bool RemovalEngine::DeleteFileAnyway(const std::string& path) {
  const auto attributes = fs_.GetAttributes(path);
  if (!attributes || !fs_.SetAttributes(path, *attributes & ~platform::kAttrReadOnly)) return false;
  // The read-only bit is not given back when the deletion fails.
  return fs_.RemoveFile(path);
}

namespace {

// The run's window as the engine's sink: the figures go to the run's fields
// first, so they are right even when the engine stops early.
class RunSink : public IRemovalSink {
 public:
  explicit RunSink(UninstallRun& run) : run_(run) {}
  void SetPhase(const std::string& caption) override { run_.view().SetPhase(caption); }
  void ShowProgress(int64_t bytesProcessed, const std::string& currentObject) override {
    run_.BytesProcessed = bytesProcessed;
    run_.CurrentObject = currentObject;
    run_.ShowProgress();
  }
  void SetBusyCursor(bool busy) override { run_.view().SetBusyCursor(busy); }

 private:
  UninstallRun& run_;
};

}  // namespace

void UninstallRun::RemoveInstallation() {
  RunSink sink(*this);
  RemovalEngine engine(services().fs, services().registry, services().locale, sink);
  engine.Run(data(), RegKeyList, RegKeyLevels, BytesProcessed);
  if (data().FailList && data().FailList->Count() > 0) view().ShowFailureSummary();
}

}  // namespace app
