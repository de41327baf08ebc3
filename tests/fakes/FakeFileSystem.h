#pragma once
// In-memory file system with the Windows semantics the uninstaller relies
// on: case-insensitive paths, attributes, DOS time stamps, folders that
// refuse removal while not empty, read-only files that refuse deletion,
// files held open without sharing, and any single operation made to fail.
// Refusals carry the error codes Windows gives for them.
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Services.h"
#include "tests/fakes/CrashPoint.h"

namespace fakes {

enum class FsOp { Find, GetAttributes, SetAttributes, RemoveFile, RemoveFolder, List, Read, Schedule, Create, Write };

class FakeFileSystem : public platform::IFileSystem {
 public:
  FakeFileSystem() = default;

  // Set-up. Parent folders are created as needed (attributes 0x10).
  void AddFile(const std::string& path, int32_t dosTime = 0, uint64_t size = 0,
               uint32_t attributes = platform::kAttrArchive, std::string content = {});
  void AddFolder(const std::string& path, uint32_t attributes = platform::kAttrDirectory);
  // A link at `path` to `target` (a junction or symbolic link: a folder link
  // when the target is a folder, else a file link). Paths through it lead to
  // the target; the link itself answers for its own name (attributes with
  // the reparse bit), and attribute changes, listings and reads follow it.
  void AddLink(const std::string& path, const std::string& target);
  // The folder at `path` and all it holds are moved out of the way, and a
  // link to `target` takes its place (another process's swap).
  void SwapForLink(const std::string& path, const std::string& target);
  // A second name for the file at `existing`: both share their attributes.
  void AddHardLink(const std::string& path, const std::string& existing);
  // The 8.3 name `shortName` of the existing entry at `path` (its last
  // component): FullPath lengthens it while the entry exists, ShortPath
  // gives it.
  void AddShortName(const std::string& path, const std::string& shortName);
  void SetContent(const std::string& path, std::string content);
  // Local last-write time as the packed DOS value.
  void SetDosTime(const std::string& path, int32_t dosTime);
  // The file is open elsewhere without sharing: it cannot be read or deleted.
  void Lock(const std::string& path);
  // The file is open elsewhere for writing (sharing read and write, not
  // delete, as programs do): reading with deny-write fails, and so does
  // deletion.
  void OpenForWriting(const std::string& path);
  // The other handle (Lock or OpenForWriting) is closed.
  void Unlock(const std::string& path);
  // The ANSI code page's lead bytes, for the last character of a path (the
  // second byte of a double-byte character may be 0x5C); none when not set.
  void UseLocale(platform::ILocale* locale);
  // Every change (attributes, removals, schedulings, not the output files)
  // counts on `crash` from now on.
  void CountChanges(CrashPoint* crash) { crash_ = crash; }
  // The folder that relative paths start from (C:\ when not set).
  void SetCurrentFolder(std::string folder) { current_ = std::move(folder); }
  // Make `op` on `path` fail (every time, until cleared); a refused
  // operation gives `error`.
  void Fail(FsOp op, const std::string& path, uint32_t error = platform::kErrorAccessDenied);
  void ClearFaults();

  // Inspection.
  bool Exists(const std::string& path) const;
  bool IsFolder(const std::string& path) const;
  std::optional<uint32_t> Attributes(const std::string& path) const;
  // Every path that exists, in their stored spelling, sorted case-insensitively.
  std::vector<std::string> AllPaths() const;
  // Paths that a mutating call (set attributes, remove file, remove folder)
  // was made for, whether it succeeded or not, as given by the caller.
  const std::vector<std::string>& Mutated() const { return mutated_; }
  // Every call, as "Op path", in order.
  const std::vector<std::string>& Calls() const { return calls_; }
  // What RemoveAtRestart scheduled, in order, as given by the caller.
  const std::vector<std::string>& ScheduledAtRestart() const { return scheduled_; }
  // The next start of Windows: every handle is closed, then what was
  // scheduled goes in its order (a folder only when empty by then).
  void Restart();

  // platform::IFileSystem
  using platform::IFileSystem::FindEntry;
  using platform::IFileSystem::GetAttributes;
  using platform::IFileSystem::RemoveAtRestart;
  using platform::IFileSystem::RemoveFile;
  using platform::IFileSystem::RemoveFolder;
  using platform::IFileSystem::SetAttributes;
  std::optional<platform::FileEntry> FindEntry(const std::string& path, platform::Status& status) override;
  // A drive's root answers as a folder (a missing drive is a fault on its
  // root: Fail(FsOp::GetAttributes, "Q:\\", ERROR_PATH_NOT_FOUND)).
  std::optional<uint32_t> GetAttributes(const std::string& path, platform::Status& status) override;
  // A change confined to a place compares the entry's path as the links
  // on the way lead (Through) with the place's final name followed by the
  // path below the place.
  platform::Status SetAttributes(const std::string& path, uint32_t attributes, const platform::Place& within) override;
  platform::Status RemoveFile(const std::string& path, const platform::Place& within) override;
  platform::Status RemoveFolder(const std::string& path, const platform::Place& within) override;
  // The key of the folder that the links lead to (links at the end too).
  std::string FinalFolderName(const std::string& folder) override;
  std::optional<std::vector<platform::FileEntry>> ListFolder(const std::string& folder) override;
  std::optional<std::string> ReadDenyWrite(const std::string& path) override;
  // Recorded, not carried out until Restart; counts as a mutation.
  platform::Status RemoveAtRestart(const std::string& path, const platform::Place& within) override;
  // The file's content grows with each Append (Content of its path); the
  // output files are not mutations of the installed world. A link (even to
  // nothing) or a file with other names is refused, as is a device's name
  // (platform::NamesADevice).
  std::unique_ptr<platform::IOutputFile> OpenOutputFile(const std::string& path, platform::Status& status) override;
  // Slashes as backslashes, "." and ".." and doubled separators resolved,
  // relative paths from the current folder; the short names of existing
  // entries lengthened (AddShortName).
  std::string FullPath(const std::string& path) override;
  std::string ShortPath(const std::string& path) override;
  std::optional<uint32_t> HardLinks(const std::string& path) override;
  platform::Status RemoveLink(const std::string& path) override;
  void LeaveCurrentFolder() override { current_ = "C:\\Windows\\System32"; }
  // `path` as the system reaches it: every link on the way followed (not a
  // link at its end).
  std::string Through(const std::string& path) const;
  // The bytes of a file; empty when there is none.
  std::string Content(const std::string& path) const;

  // Case-insensitive key of a path (ASCII upper case, slashes as backslashes,
  // trailing backslash gone).
  static std::string Key(const std::string& path);

 private:
  struct Node {
    std::string path;  // spelling as created
    uint32_t attributes = 0;
    int32_t dosTime = 0;
    uint64_t size = 0;
    std::string content;
    bool locked = false;
    bool openForWriting = false;
    std::string target;  // a link's
    int group = 0;       // hard links share one; 0: one name only
  };
  static Node Folder(const std::string& path, uint32_t attributes) {
    Node n;
    n.path = path;
    n.attributes = attributes;
    return n;
  }
  // Whether the entry at `path` lies outside the place `within`, as the
  // links lead now.
  bool Outside(const std::string& path, const platform::Place& within);
  // The error of a fault set on `op` for `path`; 0 when none is.
  uint32_t Failing(FsOp op, const std::string& path) const;
  friend class FakeOutputFile;
  // What Windows says of a missing path: the file is not found, or a folder
  // on the way to it is not.
  uint32_t MissingError(const std::string& path) const;
  // Where the name at the end of `path` starts (after its last separator).
  size_t NameStart(const std::string& path) const;
  // The last backslash or slash of `path` that is a character of its own.
  size_t LastSeparator(std::string_view path) const;
  // Key() by the code page in use, links on the way followed.
  std::string KeyOf(const std::string& path) const;
  std::string PlainKey(const std::string& path) const;
  void Call(const char* op, const std::string& path);
  bool HasChildren(const std::string& key) const;
  void EnsureParents(const std::string& path);

  void Change() {
    if (crash_ != nullptr) crash_->Change();
  }

  // The node a link at `key` leads to, or the node itself.
  std::map<std::string, Node>::iterator Followed(std::map<std::string, Node>::iterator it);
  // Attributes set on one name of a file are every name's.
  void ShareAttributes(const Node& n);

  platform::ILocale* locale_ = nullptr;
  CrashPoint* crash_ = nullptr;
  int links_ = 0;
  int groups_ = 0;
  std::string current_ = "C:\\";
  std::map<std::string, Node> nodes_;  // by Key()
  std::map<std::string, std::string> longOfShort_;  // Key(long folder\\short name) -> long path
  std::map<std::string, std::string> shortOfLong_;  // Key(long path) -> short name
  std::map<std::pair<int, std::string>, uint32_t> faults_;
  std::vector<std::string> mutated_;
  std::vector<std::string> calls_;
  std::vector<std::string> scheduled_;
};

}  // namespace fakes
