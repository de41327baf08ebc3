#pragma once
// A dry-run layer over the file system and the registry: the same calls the
// removal engine makes, but nothing ever changes. Every mutating call is
// played out in an overlay, so that what the engine sees afterwards is what
// it would see after a real run: a removed file is no longer found, a folder
// whose entries were all removed may go, a deleted key no longer opens.
//
// A refused call gives the error code Windows would give, and the layer
// keeps, for each path and key, the reason of its last refusal in plain
// words (Why), so that a plan can say more than the code.
//
// What the overlay cannot know without trying is said so: a file held open
// by another program, a folder in use, and rights the system checks only
// when asked to delete. The layer predicts success for those.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/OutcomeWords.h"
#include "platform/Services.h"

namespace app {

class DryRunFileSystem : public platform::IFileSystem {
 public:
  // `real` is only read; it must outlive the layer.
  explicit DryRunFileSystem(platform::IFileSystem& real);

  // Reads see the overlay: removed entries are gone (from FindEntry,
  // GetAttributes, ListFolder and ReadDenyWrite: not found), changed
  // attributes show.
  using platform::IFileSystem::FindEntry;
  using platform::IFileSystem::GetAttributes;
  using platform::IFileSystem::RemoveAtRestart;
  using platform::IFileSystem::RemoveFile;
  using platform::IFileSystem::RemoveFolder;
  using platform::IFileSystem::SetAttributes;
  std::optional<platform::FileEntry> FindEntry(const std::string& path, platform::Status& status) override;
  std::optional<uint32_t> GetAttributes(const std::string& path, platform::Status& status) override;
  // Refused for a missing entry; otherwise the overlay takes the attributes
  // as SetFileAttributes would (the folder bit ignored, "normal" only alone).
  // Every change confined to a place is refused, as the run's would be,
  // for an entry that the folders as they are now do not reach below it
  // (platform::ReachedWithin).
  platform::Status SetAttributes(const std::string& path, uint32_t attributes, const platform::Place& within) override;
  // Refused for a missing entry, a folder and a read-only file (unless its
  // bit was dropped here first). A file in use elsewhere cannot be told.
  platform::Status RemoveFile(const std::string& path, const platform::Place& within) override;
  // Refused for a missing entry, a file, a read-only folder, a folder that
  // cannot be listed, and one with any entry (besides "." and "..") that
  // the overlay has not removed.
  platform::Status RemoveFolder(const std::string& path, const platform::Place& within) override;
  std::string FinalFolderName(const std::string& folder) override { return real_.FinalFolderName(folder); }
  std::optional<std::vector<platform::FileEntry>> ListFolder(const std::string& folder) override;
  std::optional<std::string> ReadDenyWrite(const std::string& path) override;
  // A dry run schedules nothing and writes no file: both are refused
  // (ERROR_ACCESS_DENIED).
  platform::Status RemoveAtRestart(const std::string& path, const platform::Place& within) override;
  std::unique_ptr<platform::IOutputFile> OpenOutputFile(const std::string& path, platform::Status& status) override;
  std::string FullPath(const std::string& path) override { return real_.FullPath(path); }
  std::string ShortPath(const std::string& path) override { return real_.ShortPath(path); }
  std::optional<uint32_t> HardLinks(const std::string& path) override { return real_.HardLinks(path); }
  // A dry run removes no link either (ERROR_ACCESS_DENIED).
  platform::Status RemoveLink(const std::string& path) override;
  void LeaveCurrentFolder() override {}

  // Folded paths of the entries the overlay removed, in removal order.
  const std::vector<std::string>& Removed() const { return removedOrder_; }
  bool IsRemoved(const std::string& path) const;
  // Why the last refused call on `path` was refused ("not empty: 1 entry
  // stays (notes.txt)", "read-only", ...); empty when none was.
  std::string Why(const std::string& path) const;

 private:
  std::optional<platform::FileEntry> Current(const std::string& path, platform::Status& status);
  std::optional<platform::FileEntry> Current(const std::string& path) {
    platform::Status ignored;
    return Current(path, ignored);
  }
  platform::Status Refuse(const std::string& path, uint32_t error, std::string why);

  platform::IFileSystem& real_;
  std::map<std::string, std::string> why_;  // folded path: last refusal
  std::set<std::string> removed_;
  std::vector<std::string> removedOrder_;
  std::map<std::string, uint32_t> attributes_;
};

// The subkey names of a key, one level deep; nullopt when they cannot be
// listed. The registry interface of the run has no enumeration of its own,
// so the host supplies one (RegEnumKeyEx on Windows, the fake's keys in
// tests).
class ISubkeyLister {
 public:
  virtual ~ISubkeyLister() = default;
  virtual std::optional<std::vector<std::string>> Subkeys(uint32_t root, const std::string& path) = 0;
};

class DryRunRegistry : public platform::IRegistry {
 public:
  // `real` is only read (keys are opened, never written, flushed or
  // deleted). Without a lister a key whose subkeys the system reports is
  // taken to keep them: it is never deleted alone, and a tree deletion
  // predicts the key's own deletion only.
  explicit DryRunRegistry(platform::IRegistry& real, ISubkeyLister* lister = nullptr);

  // nullptr for a key deleted here (or under a deleted key). The key's
  // writes and flushes are kept in the overlay.
  using platform::IRegistry::OpenKey;
  std::unique_ptr<platform::IRegKey> OpenKey(uint32_t root, const std::string& path,
                                             platform::Status& status) override;
  // Each subkey first, depth first, as far as each may go; then the key
  // itself when nothing is left below it and it opens with full access.
  // A dry run creates nothing (ERROR_ACCESS_DENIED).
  std::unique_ptr<platform::IRegKey> CreateKey(uint32_t root, const std::string& path,
                                               platform::Status& status) override;
  platform::Status DeleteKeyTree(uint32_t root, const std::string& path) override;
  // Refused for a missing key, a root key, a key with subkeys that the
  // overlay has not deleted, and a key that opens only for reading.
  platform::Status DeleteKey(uint32_t root, const std::string& path) override;
  // The real key's subkeys that the overlay has not deleted.
  std::optional<std::vector<std::string>> SubkeyNames(uint32_t root, const std::string& path) override;
  std::string CurrentUserBranch() override;

  // "HKEY_...\path" texts of the deleted keys, in deletion order.
  const std::vector<std::string>& Deleted() const { return deletedOrder_; }
  bool IsDeleted(uint32_t root, const std::string& path) const;
  // Why the last refused call on the key (an opening, a deletion, a write
  // to it) was refused; empty when none was.
  std::string Why(uint32_t root, const std::string& path) const;
  // The "HKEY_...\path" texts of the keys that the last deletion of the
  // key took, deepest first, the key itself last when it went.
  std::vector<std::string> Taken(uint32_t root, const std::string& path) const;

  // The subkey query as the engine sees it: false when the real key reports
  // none (or its count cannot be read), else whether a subkey the overlay
  // has not deleted remains (without a lister: true).
  bool HasRemainingSubkeys(uint32_t root, const std::string& path, platform::IRegKey& real);
  // What a deletion meets: a listed subkey the overlay has not deleted, or,
  // when the subkeys cannot be listed, whatever the real key reports.
  bool KeepsSubkeys(uint32_t root, const std::string& path, platform::IRegKey& real);

 private:
  class Key;
  friend class Key;
  struct Values {
    std::map<std::string, std::pair<uint32_t, std::string>> byName;  // folded: (type, data)
  };
  // Whether a listed subkey is left; nullopt when there is no list.
  std::optional<bool> SubkeysLeftByList(uint32_t root, const std::string& path);
  // Deletes `path` after its subkeys; the keys taken go to `taken`.
  platform::Status DeleteTree(uint32_t root, const std::string& path, std::vector<std::string>& taken,
                              std::string& why);
  void MarkDeleted(uint32_t root, const std::string& path);
  platform::Status Refuse(uint32_t root, const std::string& path, uint32_t error, std::string why);

  platform::IRegistry& real_;
  ISubkeyLister* lister_;
  std::map<std::string, std::string> why_;                 // node: last refusal
  std::map<std::string, std::vector<std::string>> taken_;  // node: keys its last deletion took
  std::set<std::string> deleted_;
  std::vector<std::string> deletedOrder_;
  std::map<std::string, Values> written_;
};

}  // namespace app
