#pragma once
// Two worlds for each contract test: the in-memory fake and the real system
// (a scratch temp folder, a scratch key under HKCU\Software). A contract
// test sets the world up through the world, then asserts through the
// platform interface only, so the same assertions hold for both.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/win32/Win32Services.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeRegistry.h"

namespace platform_test {

// Packs a local date and time the way FAT and FindFirstFile's callers do.
inline int32_t PackDos(int year, int month, int day, int hour, int minute, int second) {
  const uint32_t date = ((year - 1980) << 9) | (month << 5) | day;
  const uint32_t time = (hour << 11) | (minute << 5) | (second / 2);
  return static_cast<int32_t>((date << 16) | time);
}

// Wine's ntdll exports its version; Windows' does not.
inline bool RunningUnderWine() {
  return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

class FakeFsWorld {
 public:
  static constexpr const char* kName = "Fake";
  static constexpr bool kReal = false;
  FakeFsWorld() { fs_.AddFolder(root_); }
  platform::IFileSystem& fs() { return fs_; }
  const std::string& root() const { return root_; }

  void MakeFile(const std::string& path, const std::string& content) {
    fs_.AddFile(path, 0, 0, platform::kAttrArchive, content);
  }
  void MakeFolder(const std::string& path) { fs_.AddFolder(path); }
  void MakeHardLink(const std::string& path, const std::string& existing) { fs_.AddHardLink(path, existing); }
  // A symbolic link at `path` to `target`, which need not exist.
  void MakeLink(const std::string& path, const std::string& target) { fs_.AddLink(path, target); }
  void SetDosTime(const std::string& path, int32_t dos) { fs_.SetDosTime(path, dos); }
  void HoldExclusive(const std::string& path) { fs_.Lock(path); }
  void HoldForWriting(const std::string& path) { fs_.OpenForWriting(path); }
  void ReleaseHolds() {
    for (const std::string& p : fs_.AllPaths()) fs_.Unlock(p);
  }
  // Paths are read by the system's code page, double-byte ones included.
  void UseSystemCodePage() { fs_.UseLocale(&locale_); }
  // What is to be deleted at the next start of Windows, in order.
  std::vector<std::string> ScheduledAtRestart() const { return fs_.ScheduledAtRestart(); }

 private:
  std::string root_ = "C:\\Scratch";
  platform::win32::Win32Locale locale_;
  fakes::FakeFileSystem fs_;
};

class RealFsWorld {
 public:
  static constexpr const char* kName = "Win32";
  static constexpr bool kReal = true;
  RealFsWorld();
  ~RealFsWorld();
  platform::IFileSystem& fs() { return fs_; }
  const std::string& root() const { return root_; }

  void MakeFile(const std::string& path, const std::string& content);
  void MakeFolder(const std::string& path);
  void MakeHardLink(const std::string& path, const std::string& existing);
  // Under Wine the host's symbolic link.
  void MakeLink(const std::string& path, const std::string& target);
  void SetDosTime(const std::string& path, int32_t dos);
  void HoldExclusive(const std::string& path);
  void HoldForWriting(const std::string& path);
  void ReleaseHolds() { holds_.clear(); }
  void UseSystemCodePage() {}  // Windows always does
  // The sources of PendingFileRenameOperations below root(), in order; the
  // value is given back as it was when the world goes.
  std::vector<std::string> ScheduledAtRestart() const;

 private:
  std::string root_;
  std::optional<std::string> pendingBefore_;  // the value's bytes
  platform::win32::Win32FileSystem fs_;
  std::vector<platform::win32::UniqueFile> holds_;
  std::vector<std::pair<std::string, std::string>> links_;  // link, target
};

// Registry worlds work below base(), a key under HKEY_CURRENT_USER.
class FakeRegWorld {
 public:
  static constexpr const char* kName = "Fake";
  FakeRegWorld() { reg_.AddKey(platform::kHkeyCurrentUser, base_); }
  platform::IRegistry& reg() { return reg_; }
  const std::string& base() const { return base_; }

  void MakeKey(const std::string& path) { reg_.AddKey(platform::kHkeyCurrentUser, path); }
  void SetRaw(const std::string& path, const std::string& name, uint32_t type, const std::string& bytes) {
    reg_.SetRaw(platform::kHkeyCurrentUser, path, name, type, bytes);
  }
  // Type and bytes of a value as stored; type 0 and no bytes when missing.
  std::pair<uint32_t, std::string> Raw(const std::string& path, const std::string& name) {
    auto v = reg_.GetValue(platform::kHkeyCurrentUser, path, name);
    if (!v) return {0, {}};
    return {v->type, *reg_.RawBytes(platform::kHkeyCurrentUser, path, name)};
  }
  bool MakeReadOnly(const std::string& path) {
    reg_.MakeReadOnly(platform::kHkeyCurrentUser, path);
    return true;
  }

 private:
  std::string base_ = "Software\\UndPlatformTest";
  fakes::FakeRegistry reg_;
};

class RealRegWorld {
 public:
  static constexpr const char* kName = "Win32";
  RealRegWorld();
  ~RealRegWorld();
  platform::IRegistry& reg() { return reg_; }
  const std::string& base() const { return base_; }

  void MakeKey(const std::string& path);
  void SetRaw(const std::string& path, const std::string& name, uint32_t type, const std::string& bytes);
  std::pair<uint32_t, std::string> Raw(const std::string& path, const std::string& name);
  // An access list that lets everybody read the key and nobody write to
  // it; false when the key's rights cannot be changed.
  bool MakeReadOnly(const std::string& path);

 private:
  std::string base_;
  std::vector<std::string> narrowed_;  // given full rights back before the cleanup
  platform::win32::Win32Registry reg_;
};

struct WorldNames {
  template <typename T>
  static std::string GetName(int) {
    return T::kName;
  }
};

}  // namespace platform_test
