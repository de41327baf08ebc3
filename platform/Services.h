#pragma once
// Narrow interfaces of the Windows services the uninstaller relies on.
// Portable code sees only these; platform/win32 implements them over the
// real API and tests/fakes implements them in memory.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace platform {

// Win32 error codes that callers tell apart, as GetLastError() and the
// registry functions give them.
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorPathNotFound = 3;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorGenFailure = 31;
constexpr uint32_t kErrorSharingViolation = 32;
constexpr uint32_t kErrorLockViolation = 33;
constexpr uint32_t kErrorDirNotEmpty = 145;
constexpr uint32_t kErrorDirectory = 267;  // the directory name is invalid: not a folder
constexpr uint32_t kErrorBadNetPath = 53;
constexpr uint32_t kErrorInvalidDrive = 15;
constexpr uint32_t kErrorNotReady = 21;
constexpr uint32_t kErrorFilenameTooLong = 206;
constexpr uint32_t kErrorInvalidName = 123;
// ERROR_REPARSE_POINT_ENCOUNTERED: the entry asked for was reached through a
// link (it is one, or lies below one) and is left alone.
constexpr uint32_t kErrorThroughLink = 4395;
// ERROR_BAD_FILE_TYPE: the name is a device's (NUL, CON, COM1, a pipe,
// anything in the \\.\ namespace) or opens as something that is no file on
// a disk.
constexpr uint32_t kErrorNotADiskFile = 222;

// What became of one operation: success, or the Win32 error code of its
// refusal, taken right after the call. True when the operation succeeded.
class Status {
 public:
  constexpr Status() = default;
  // A refusal; a code of 0 (the system gave none) counts as a general failure.
  static constexpr Status Refused(uint32_t error) { return Status(error != 0 ? error : kErrorGenFailure); }
  static constexpr Status Of(bool succeeded, uint32_t error) { return succeeded ? Status() : Refused(error); }

  constexpr explicit operator bool() const { return error_ == 0; }
  // 0 after a success.
  constexpr uint32_t error() const { return error_; }

 private:
  constexpr explicit Status(uint32_t error) : error_(error) {}
  uint32_t error_ = 0;
};

// The refusals that say nothing is at a path: the file, or a folder on the
// way to it, is not there. Every other refusal of a lookup or a removal
// says that the system would not look or would not let go.
constexpr bool NotFound(uint32_t error) { return error == kErrorFileNotFound || error == kErrorPathNotFound; }

// File attribute bits, as Windows defines them.
constexpr uint32_t kAttrReadOnly = 0x01;
constexpr uint32_t kAttrHidden = 0x02;
constexpr uint32_t kAttrSystem = 0x04;
constexpr uint32_t kAttrVolume = 0x08;
constexpr uint32_t kAttrDirectory = 0x10;
constexpr uint32_t kAttrArchive = 0x20;
constexpr uint32_t kAttrNormal = 0x80;
// A junction, a symbolic link, a mount point: the entry stands for another.
constexpr uint32_t kAttrReparsePoint = 0x400;

// One directory entry as a find-first/find-next search reports it.
struct FileEntry {
  // The entry's own name, no folder part: as stored for ListFolder; as the
  // path asked for it for FindEntry.
  std::string name;
  uint32_t attributes = 0;  // kAttr... bits
  int32_t dosTime = 0;      // local last-write time, DOS date << 16 | DOS time
  uint64_t size = 0;
  bool IsFolder() const { return (attributes & kAttrDirectory) != 0; }
};

// A file being written, such as a run's report. What is appended reaches
// the system at once, so a process that dies leaves it in the file; Flush
// also writes it through to the disk. Closing the file is destroying it.
class IOutputFile {
 public:
  virtual ~IOutputFile() = default;
  virtual Status Append(const std::string& bytes) = 0;
  virtual Status Flush() = 0;
};

// A folder that changes to the file system stay inside: its full, long
// path as the run judged it, and the name the system gave the folder
// itself, links followed, when the run began (FinalFolderName). Empty: the
// folder each entry lies in, as the system names it at the moment.
struct Place {
  std::string path;
  std::string final;
  bool empty() const { return path.empty(); }
};

class IFileSystem {
 public:
  virtual ~IFileSystem() = default;
  // The entry at the exact path (no wildcard; nothing is found through a
  // trailing backslash), as a find-first on the path reports it; nullopt
  // when nothing is found, with the refusal in `status`: NotFound when
  // nothing is there, any other code when the lookup itself was refused (no
  // access, no such drive, a share that cannot be reached).
  virtual std::optional<FileEntry> FindEntry(const std::string& path, Status& status) = 0;
  // nullopt when the attributes cannot be read, with the refusal in
  // `status` (NotFound for a path that does not exist).
  virtual std::optional<uint32_t> GetAttributes(const std::string& path, Status& status) = 0;
  // The changes below (attributes, removals, schedulings) are confined to
  // a Place: the entry is opened itself, a link at its end not followed,
  // and the call goes on only when the name the system gives that open
  // entry is `within.final` followed by the entry's path below
  // `within.path`, name by name (letters compare without regard to case;
  // an 8.3 name counts as its long one). Anything else, a path that does
  // not lie below `within.path` included, is refused with kErrorThroughLink
  // and nothing changes: a link anywhere below the place, at the entry or
  // on the way to it, whenever it was put there, is never gone through. An
  // empty place confines the call to the folder the entry lies in, as the
  // system names that folder at the moment of the call.
  //
  // Refused for a missing path (ERROR_FILE_NOT_FOUND, or ERROR_PATH_NOT_FOUND
  // when a folder on the way is missing).
  virtual Status SetAttributes(const std::string& path, uint32_t attributes, const Place& within) = 0;
  // Deletes one file, through the handle that was checked. Refused for a
  // missing one (as SetAttributes), a read-only one, a folder or a link
  // (ERROR_ACCESS_DENIED) and one in use (ERROR_SHARING_VIOLATION). What is
  // deleted is what the path named when the call looked: never a link's
  // target.
  virtual Status RemoveFile(const std::string& path, const Place& within) = 0;
  // Removes an empty folder. Refused for a missing one (as SetAttributes), a
  // file (ERROR_DIRECTORY), a folder that is not empty (ERROR_DIR_NOT_EMPTY),
  // a read-only or protected one, a drive or a link (ERROR_ACCESS_DENIED).
  // The check is made on a handle, the removal by name: a folder swapped
  // for a link between the two goes as the link it then is.
  virtual Status RemoveFolder(const std::string& path, const Place& within) = 0;
  // The name the system gives the folder at `folder` once it is opened,
  // every link on the way and at its end followed: full, in long names,
  // without a \\?\ prefix or a trailing backslash (but a drive's root's).
  // Empty when it cannot be opened.
  virtual std::string FinalFolderName(const std::string& folder) = 0;
  // How many names the file has (hard links); nullopt when it cannot be
  // told.
  virtual std::optional<uint32_t> HardLinks(const std::string& path) = 0;
  // Removes a link itself (a junction, a symbolic link to a file or a
  // folder), never what it points to. Refused for anything that is not a
  // link (ERROR_ACCESS_DENIED) and, where the system cannot tell the link
  // from its target, for the link too.
  virtual Status RemoveLink(const std::string& path) = 0;
  // Every entry of `folder` (a path without trailing backslash) as a search
  // of folder\*.* returns them, "." and ".." included when the system gives
  // them. nullopt when the folder cannot be searched.
  virtual std::optional<std::vector<FileEntry>> ListFolder(const std::string& folder) = 0;
  // Opens the file for reading, allowing others to read but not to write
  // while it is open, reads it whole and closes it. nullopt when it cannot be
  // opened or read.
  virtual std::optional<std::string> ReadDenyWrite(const std::string& path) = 0;
  // Has Windows delete the file, or the then empty folder, at `path` at its
  // next start, after what was scheduled before it (MoveFileEx with
  // MOVEFILE_DELAY_UNTIL_REBOOT, which needs administrator rights). Nothing
  // changes now, and nothing is looked at: a path that names nothing yet is
  // scheduled all the same; an entry that is there must pass the place's
  // check (SetAttributes). Refused without the rights (ERROR_ACCESS_DENIED).
  virtual Status RemoveAtRestart(const std::string& path, const Place& within) = 0;
  // Opens the file at `path` for writing after what it holds already,
  // creating it when there is none; others may read it meanwhile. Only a
  // plain file on a disk is written, and only under its own name: a link at
  // the end of the path, dangling or not, or a file with other names (hard
  // links) is refused (kErrorThroughLink) and what it leads to is neither
  // written nor created; so is a device or whatever is no disk file
  // (kErrorNotADiskFile). Links on the folders above it are followed.
  // nullptr when it cannot be opened or created (a folder on the way is
  // missing, the path is a folder or a read-only file, no rights, in use),
  // with the refusal in `status`.
  virtual std::unique_ptr<IOutputFile> OpenOutputFile(const std::string& path, Status& status) = 0;
  // `path` as Windows resolves it: absolute, against the current folder
  // (of its drive, for "C:x"), "." and ".." segments and slashes resolved;
  // the entries that exist in their long form (no 8.3 names). `path` itself
  // when it cannot be resolved.
  virtual std::string FullPath(const std::string& path) = 0;
  // The 8.3 form of an existing `path` (GetShortPathName): the short name
  // of each component that has one; `path` itself when it cannot be told.
  virtual std::string ShortPath(const std::string& path) = 0;
  // Makes the system folder the process's current folder, so that no folder
  // the run removes is held open as the current one.
  virtual void LeaveCurrentFolder() = 0;

  // The same changes, confined to the folder the entry lies in.
  Status SetAttributes(const std::string& path, uint32_t attributes) { return SetAttributes(path, attributes, {}); }
  Status RemoveFile(const std::string& path) { return RemoveFile(path, {}); }
  Status RemoveFolder(const std::string& path) { return RemoveFolder(path, {}); }
  Status RemoveAtRestart(const std::string& path) { return RemoveAtRestart(path, {}); }

  // FindEntry and GetAttributes for a caller that needs no reason.
  std::optional<FileEntry> FindEntry(const std::string& path) {
    Status ignored;
    return FindEntry(path, ignored);
  }
  std::optional<uint32_t> GetAttributes(const std::string& path) {
    Status ignored;
    return GetAttributes(path, ignored);
  }
  // An existing entry that is not a folder.
  bool FileExists(const std::string& path) {
    auto e = FindEntry(path);
    return e && !e->IsFolder();
  }
};

// Root keys are the predefined handles 0x80000000 + index.
constexpr uint32_t kHkeyCurrentUser = 0x80000001;
constexpr uint32_t kHkeyLocalMachine = 0x80000002;

// Value types, as Windows numbers them.
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;

// An open registry key. Closing it is destroying it.
class IRegKey {
 public:
  virtual ~IRegKey() = default;
  // True when only read access was granted.
  virtual bool ReadOnly() const = 0;
  // RegQueryInfoKey succeeded and reported more than 0 subkeys.
  virtual bool HasSubkeys() = 0;
  // The names of the key's values (RegEnumValue), in the registry's order,
  // the default value as ""; nullopt when the enumeration breaks off.
  virtual std::optional<std::vector<std::string>> ValueNames() = 0;
  virtual bool ValueExists(const std::string& name) = 0;
  // A missing value reads as an empty text; nullopt when the value is neither
  // REG_SZ nor REG_EXPAND_SZ (or cannot be read). The text ends at its first
  // zero byte.
  virtual std::optional<std::string> ReadString(const std::string& name) = 0;
  // ReadString, with a REG_EXPAND_SZ value's %variables% expanded from the
  // process's environment, as Windows expands such a value before using it.
  virtual std::optional<std::string> ReadExpandedString(const std::string& name) = 0;
  // nullopt unless the value exists and is REG_DWORD.
  virtual std::optional<int32_t> ReadInt(const std::string& name) = 0;
  // REG_DWORD, 4 bytes; false when the write fails.
  virtual bool WriteInt(const std::string& name, int32_t value) = 0;
  // REG_SZ with its terminating zero; false when the write fails.
  virtual bool WriteString(const std::string& name, const std::string& value) = 0;
  // nullopt unless the value exists and is REG_BINARY.
  virtual std::optional<std::string> ReadBinary(const std::string& name) = 0;
  // REG_BINARY; false when the write fails.
  virtual bool WriteBinary(const std::string& name, const std::string& bytes) = 0;
  virtual bool Flush() = 0;
};

class IRegistry {
 public:
  virtual ~IRegistry() = default;
  // Opens an existing key with full access or, when that is refused, with
  // read access; never creates one. One leading backslash of `path` is
  // dropped. nullptr when neither attempt succeeds or `root` is no root key;
  // `status` then holds the refusal of the read access (ERROR_FILE_NOT_FOUND
  // for a missing key, ERROR_ACCESS_DENIED, ERROR_INVALID_HANDLE for a root
  // that is none).
  virtual std::unique_ptr<IRegKey> OpenKey(uint32_t root, const std::string& path, Status& status) = 0;
  // Opens the key with full access, creating it and the keys on the way to
  // it when missing (RegCreateKeyEx). nullptr when refused, with the
  // refusal in `status`.
  virtual std::unique_ptr<IRegKey> CreateKey(uint32_t root, const std::string& path, Status& status) = 0;
  // Deletes the key after all its subkeys, depth first; succeeds when the
  // key itself has been deleted. Refused for a missing key
  // (ERROR_FILE_NOT_FOUND), a root key or one a subkey of which stays
  // (ERROR_ACCESS_DENIED).
  virtual Status DeleteKeyTree(uint32_t root, const std::string& path) = 0;
  // Deletes the key alone; refused while it has subkeys (ERROR_ACCESS_DENIED),
  // so that a subkey count that could not be read never takes other keys
  // with it.
  virtual Status DeleteKey(uint32_t root, const std::string& path) = 0;

  // The names of the key's subkeys (RegEnumKeyEx), in the registry's order;
  // nullopt when the key cannot be opened or enumerated.
  virtual std::optional<std::vector<std::string>> SubkeyNames(uint32_t root, const std::string& path) = 0;
  // The name of the current user's branch under HKEY_USERS (the user's SID
  // as text, "S-1-5-21-..."); empty when the system cannot tell it.
  virtual std::string CurrentUserBranch() = 0;

  // OpenKey for a caller that needs no reason.
  std::unique_ptr<IRegKey> OpenKey(uint32_t root, const std::string& path) {
    Status ignored;
    return OpenKey(root, path, ignored);
  }
  bool KeyExists(uint32_t root, const std::string& path) {
    return OpenKey(root, path) != nullptr;
  }
};

// Message box with the active window as owner. Returns what MessageBoxA
// returns (IDOK 1, IDCANCEL 2, IDYES 6, IDNO 7, or 0 when it fails).
class IMessageBox {
 public:
  virtual ~IMessageBox() = default;
  virtual int ShowMessage(const std::string& text, const std::string& caption, uint32_t type) = 0;
};

class IScreen {
 public:
  virtual ~IScreen() = default;
  // Logical pixels per inch of the screen in the vertical direction.
  virtual int PixelsPerInchY() = 0;
  // Whether a person can see what the process shows: false on a window
  // station that is not visible (a service's, a deployment tool's running
  // as SYSTEM), where a box waits for an answer nobody can give.
  virtual bool SeenByAPerson() = 0;
};

// Folders of the system and of its users, which no uninstallation removes.
struct SystemFolders {
  std::string windows;   // the Windows folder: it and everything in it
  std::string profiles;  // the profiles folder: it and every folder directly in it (a profile)
  // The Program Files folders, ProgramData, and the shell folders (Start
  // Menu, Programs, Desktop, Startup, application data) for all users and
  // the current one: these folders themselves.
  std::vector<std::string> others;
  std::string profile;  // the current user's profile
  // Where installers put shortcuts and their shortcut folders, for the
  // current user and for all users: Start Menu, Programs, Desktop,
  // Startup, Quick Launch.
  std::vector<std::string> shortcutPlaces;
};

struct FileVersion {
  uint32_t ms = 0;  // dwFileVersionMS
  uint32_t ls = 0;  // dwFileVersionLS
};

class IModule {
 public:
  virtual ~IModule() = default;
  // Full path of the running program file.
  virtual std::string ProgramPath() = 0;
  // Fixed file version from the version resource of `path`; nullopt when the
  // file has none or one of the version calls fails.
  virtual std::optional<FileVersion> ReadFileVersion(const std::string& path) = 0;
  // True on the NT family of Windows (every version in use today), false on
  // the Windows 9x family.
  virtual bool RunsOnNtFamily() = 0;
  // Where the system keeps its own folders and its users' (empty entries
  // for what it does not have).
  virtual SystemFolders KnownFolders() = 0;
};

class ILocale {
 public:
  virtual ~ILocale() = default;
  // Thousands separator of the user's locale settings (may be empty).
  virtual std::string ThousandsSeparator() = 0;
  // Equal without regard to case, in the user's default locale.
  virtual bool EqualIgnoreCase(const std::string& a, const std::string& b) = 0;
  // Upper-casing by the ANSI code page.
  virtual std::string UpperAnsi(const std::string& text) = 0;
  // Lead byte of a double-byte character in the ANSI code page.
  virtual bool IsLeadByte(unsigned char byte) = 0;
  // Text in the ANSI code page as UTF-8.
  virtual std::string ToUtf8(const std::string& ansi) = 0;
};

// A system-wide named lock, for work that two processes must not interleave.
class INamedLock {
 public:
  virtual ~INamedLock() = default;
  // Waits at most `timeoutMs`; false when the lock was not obtained.
  virtual bool Acquire(const std::string& name, uint32_t timeoutMs) = 0;
  virtual void Release() = 0;
};

}  // namespace platform
