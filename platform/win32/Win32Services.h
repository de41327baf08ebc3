#pragma once
// The platform services over the real Windows API (ANSI calls, Windows-1252
// text). Every member is noexcept in effect: failures come back as the
// interface's false, nullopt, nullptr or refused Status (with the error
// code the system gave right after the call), never as an exception.
#include <windows.h>

#include "platform/Services.h"
#include "platform/win32/Unique.h"

namespace platform::win32 {

// Paths are ANSI text, handed to the wide calls as the ...A calls would
// convert them; from MAX_PATH on in the \\?\ form, so that a long path is
// read and removed rather than refused.
class Win32FileSystem : public IFileSystem {
 public:
  using IFileSystem::FindEntry;
  using IFileSystem::GetAttributes;
  using IFileSystem::RemoveAtRestart;
  using IFileSystem::RemoveFile;
  using IFileSystem::RemoveFolder;
  using IFileSystem::SetAttributes;
  // The time stamp is 0 when the last-write time has no DOS form (before
  // 1980 or after 2107).
  std::optional<FileEntry> FindEntry(const std::string& path, Status& status) override;
  std::optional<uint32_t> GetAttributes(const std::string& path, Status& status) override;
  Status SetAttributes(const std::string& path, uint32_t attributes, const Place& within) override;
  Status RemoveFile(const std::string& path, const Place& within) override;
  // A drive is refused (ERROR_ACCESS_DENIED) without asking the system,
  // which would take "C:" for the drive's current folder.
  Status RemoveFolder(const std::string& path, const Place& within) override;
  std::string FinalFolderName(const std::string& folder) override;
  // An existing folder whose search finds nothing at all (a drive root can
  // be like that) gives an empty list; a search that breaks off midway gives
  // nullopt rather than a partial list.
  std::optional<std::vector<FileEntry>> ListFolder(const std::string& folder) override;
  // nullopt also for a file too large to hold in memory (over 4 GiB, or
  // more than this 32-bit process can allocate).
  std::optional<std::string> ReadDenyWrite(const std::string& path) override;
  Status RemoveAtRestart(const std::string& path, const Place& within) override;
  // Written with WriteFile as it comes (no buffer of the program's own);
  // Flush is FlushFileBuffers. A device's name is refused before anything
  // is opened; the rest is checked on the open handle, and a file the call
  // made is deleted again when refused.
  std::unique_ptr<IOutputFile> OpenOutputFile(const std::string& path, Status& status) override;
  std::string FullPath(const std::string& path) override;
  std::string ShortPath(const std::string& path) override;
  std::optional<uint32_t> HardLinks(const std::string& path) override;
  Status RemoveLink(const std::string& path) override;
  void LeaveCurrentFolder() override;

  // The packed local DOS date (high 16 bits) and time (low 16 bits) of a
  // file time in UTC; 0 when it has no DOS form.
  static int32_t DosTime(const FILETIME& utc);

 private:
  // Whether the open `entry` is the one at `path` itself, below `within`
  // (IFileSystem::Place).
  bool ReachedDirectly(HANDLE entry, const std::string& path, const Place& within);
  // The final name of a folder, the last one asked about kept: removals go
  // folder by folder, so a parent is opened once per folder, not per file.
  std::wstring CachedFinalFolder(const std::wstring& folder);
  std::wstring folderAsked_, folderFinal_;
};

// Keys are opened in the 32-bit view that this 32-bit program sees anyway,
// the view in which the companion installer wrote them.
class Win32Registry : public IRegistry {
 public:
  using IRegistry::OpenKey;
  std::unique_ptr<IRegKey> OpenKey(uint32_t root, const std::string& path, Status& status) override;
  std::unique_ptr<IRegKey> CreateKey(uint32_t root, const std::string& path, Status& status) override;
  // Refused for the root itself (an empty path), ERROR_ACCESS_DENIED: a root
  // key is never deleted.
  Status DeleteKeyTree(uint32_t root, const std::string& path) override;
  Status DeleteKey(uint32_t root, const std::string& path) override;
  // The names of the key's direct subkeys; nullopt when it cannot be opened
  // for enumeration or the enumeration breaks off.
  std::optional<std::vector<std::string>> SubkeyNames(uint32_t root, const std::string& path) override;
  // From the process's token (TokenUser): the SID the user's hive is loaded
  // under in HKEY_USERS.
  std::string CurrentUserBranch() override;
};

class Win32RegKey : public IRegKey {
 public:
  Win32RegKey(UniqueKey key, bool readOnly) : key_(std::move(key)), readOnly_(readOnly) {}

  bool ReadOnly() const override { return readOnly_; }
  bool HasSubkeys() override;
  std::optional<std::vector<std::string>> ValueNames() override;
  bool ValueExists(const std::string& name) override;
  std::optional<std::string> ReadString(const std::string& name) override;
  std::optional<std::string> ReadExpandedString(const std::string& name) override;
  std::optional<int32_t> ReadInt(const std::string& name) override;
  bool WriteInt(const std::string& name, int32_t value) override;
  bool WriteString(const std::string& name, const std::string& value) override;
  std::optional<std::string> ReadBinary(const std::string& name) override;
  bool WriteBinary(const std::string& name, const std::string& bytes) override;
  bool Flush() override;

  HKEY get() const { return key_.get(); }

 private:
  UniqueKey key_;
  bool readOnly_;
};

class Win32MessageBox : public IMessageBox {
 public:
  int ShowMessage(const std::string& text, const std::string& caption, uint32_t type) override;
};

class Win32Screen : public IScreen {
 public:
  // 96 when the screen DC cannot be had.
  int PixelsPerInchY() override;
  // True when the window station's flags cannot be read.
  bool SeenByAPerson() override;
};

class Win32Module : public IModule {
 public:
  // Empty when the name cannot be read.
  std::string ProgramPath() override;
  std::optional<FileVersion> ReadFileVersion(const std::string& path) override;
  bool RunsOnNtFamily() override;
  // From the shell's folder table (SHGetFolderPath) and the profile list.
  SystemFolders KnownFolders() override;
};

class Win32Locale : public ILocale {
 public:
  std::string ThousandsSeparator() override;
  bool EqualIgnoreCase(const std::string& a, const std::string& b) override;
  std::string UpperAnsi(const std::string& text) override;
  bool IsLeadByte(unsigned char byte) override;
  // By the ANSI code page (CP_ACP) through UTF-16; empty when the
  // conversion fails.
  std::string ToUtf8(const std::string& ansi) override;
};

// A mutex named after the lock. Mutexes belong to threads: Release must be
// called on the thread that acquired. One object holds at most one lock;
// acquiring again first releases the one held. Destroying the object
// releases what it holds.
class Win32NamedLock : public INamedLock {
 public:
  Win32NamedLock() = default;
  ~Win32NamedLock() override { Release(); }
  Win32NamedLock(const Win32NamedLock&) = delete;
  Win32NamedLock& operator=(const Win32NamedLock&) = delete;

  // false also for an empty name: an unnamed mutex would lock nothing.
  bool Acquire(const std::string& name, uint32_t timeoutMs) override;
  void Release() override;
  bool Held() const { return held_; }

  // The mutex name for a lock name: characters a mutex name cannot hold
  // (the backslash, which would name a namespace) become '_'.
  static std::string MutexName(const std::string& name);

 private:
  UniqueHandle mutex_;
  bool held_ = false;
};

// One of each service, for the program entry.
struct Win32Platform {
  Win32FileSystem fileSystem;
  Win32Registry registry;
  Win32MessageBox messageBox;
  Win32Screen screen;
  Win32Module module;
  Win32Locale locale;
  Win32NamedLock namedLock;
  Win32NamedLock claim;
};

}  // namespace platform::win32
