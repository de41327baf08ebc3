#pragma once
// A dry-run layer over the file system and the registry: the same calls the
// removal engine makes, but nothing ever changes. Every mutating call is
// written down and played out in an overlay, so that what the engine sees
// afterwards is what it would see after a real run: a removed file is no
// longer found, a folder whose entries were all removed may go, a deleted
// key no longer opens.
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

#include "platform/Services.h"

namespace app {

// One call the engine made through the layer, in call order.
struct DryRunEvent {
  enum class Op {
    Mark,           // a note of the caller's (the phase, say), in `path`
    Find,           // ok: an entry was found; `entry` holds it
    SetAttributes,  // `attributes`: what was asked for
    RemoveFile,
    RemoveFolder,
    OpenKey,        // ok: opened; `readOnly`: only with read access
    HasSubkeys,     // ok: the key has subkeys that the plan leaves
    DeleteKey,
    DeleteKeyTree,  // `keys`: every key it takes, deepest first
    WriteValue,     // `path`: key, `name`: value
    Flush,
  };
  Op op = Op::Mark;
  uint32_t root = 0;  // registry calls
  std::string path;   // as the caller gave it
  std::string name;   // WriteValue
  bool ok = false;    // found, succeeded, has subkeys
  bool readOnly = false;
  uint32_t attributes = 0;
  std::optional<platform::FileEntry> entry;
  // Why a call was refused, in plain words; empty when it went through.
  std::string why;
  std::vector<std::string> keys;
};

// The calls of one dry run, shared by its file system and its registry so
// that their order stays visible.
class DryRunJournal {
 public:
  void Add(DryRunEvent event) { events_.push_back(std::move(event)); }
  void Mark(const std::string& note);
  const std::vector<DryRunEvent>& events() const { return events_; }

 private:
  std::vector<DryRunEvent> events_;
};

// Paths and names compared as Windows does for Windows-1252 text: letters
// without regard to case (accented ones included), one trailing backslash
// ignored.
std::string FoldPath(const std::string& path);

class DryRunFileSystem : public platform::IFileSystem {
 public:
  // `real` is only read; it must outlive the layer.
  DryRunFileSystem(platform::IFileSystem& real, DryRunJournal& journal);

  // Reads see the overlay: removed entries are gone (from FindEntry,
  // GetAttributes, ListFolder and ReadDenyWrite), changed attributes show.
  std::optional<platform::FileEntry> FindEntry(const std::string& path) override;
  std::optional<uint32_t> GetAttributes(const std::string& path) override;
  // Refused for a missing entry; otherwise the overlay takes the attributes
  // as SetFileAttributes would (the folder bit ignored, "normal" only alone).
  bool SetAttributes(const std::string& path, uint32_t attributes) override;
  // Refused for a missing entry, a folder and a read-only file (unless its
  // bit was dropped here first). A file in use elsewhere cannot be told.
  bool RemoveFile(const std::string& path) override;
  // Refused for a missing entry, a file, a read-only folder, a folder that
  // cannot be listed, and one with any entry (besides "." and "..") that
  // the overlay has not removed.
  bool RemoveFolder(const std::string& path) override;
  std::optional<std::vector<platform::FileEntry>> ListFolder(const std::string& folder) override;
  std::optional<std::string> ReadDenyWrite(const std::string& path) override;

  // Folded paths of the entries the overlay removed, in removal order.
  const std::vector<std::string>& Removed() const { return removedOrder_; }
  bool IsRemoved(const std::string& path) const;

 private:
  std::optional<platform::FileEntry> Current(const std::string& path);
  void Refuse(DryRunEvent& event, const std::string& why);

  platform::IFileSystem& real_;
  DryRunJournal& journal_;
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
  DryRunRegistry(platform::IRegistry& real, DryRunJournal& journal, ISubkeyLister* lister = nullptr);

  // nullptr for a key deleted here (or under a deleted key). The key's
  // writes and flushes are written down and kept in the overlay.
  std::unique_ptr<platform::IRegKey> OpenKey(uint32_t root, const std::string& path) override;
  // Each subkey first, depth first, as far as each may go; then the key
  // itself when nothing is left below it and it opens with full access.
  bool DeleteKeyTree(uint32_t root, const std::string& path) override;
  // Refused for a missing key, a root key, a key with subkeys that the
  // overlay has not deleted, and a key that opens only for reading.
  bool DeleteKey(uint32_t root, const std::string& path) override;

  // "HKEY_...\path" texts of the deleted keys, in deletion order.
  const std::vector<std::string>& Deleted() const { return deletedOrder_; }
  bool IsDeleted(uint32_t root, const std::string& path) const;

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
  static std::string NodeKey(uint32_t root, const std::string& path);
  // Whether a listed subkey is left; nullopt when there is no list.
  std::optional<bool> SubkeysLeftByList(uint32_t root, const std::string& path);
  // Deletes `path` after its subkeys; the keys taken go to `taken`.
  bool DeleteTree(uint32_t root, const std::string& path, std::vector<std::string>& taken, std::string& why);
  void MarkDeleted(uint32_t root, const std::string& path);

  platform::IRegistry& real_;
  DryRunJournal& journal_;
  ISubkeyLister* lister_;
  std::set<std::string> deleted_;
  std::vector<std::string> deletedOrder_;
  std::map<std::string, Values> written_;
};

// "HKEY_LOCAL_MACHINE\Software\X" for root 0x80000002 and "\Software\X" (one
// leading backslash dropped); a root without a name shows as its number.
std::string KeyText(uint32_t root, const std::string& path);

}  // namespace app
