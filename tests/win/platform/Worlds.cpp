#include "tests/win/platform/Worlds.h"

#include <sddl.h>

#include <gtest/gtest.h>

#include "tests/e2e/robot/Robot.h"

namespace platform_test {

using platform::win32::UniqueFile;
using platform::win32::UniqueFind;
using platform::win32::UniqueKey;

namespace {
int g_serial = 0;

// Empties and removes a folder whatever its entries' attributes.
void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA fd;
  {
    UniqueFind find(FindFirstFileA((folder + "\\*").c_str(), &fd));
    if (find) {
      do {
        const std::string name = fd.cFileName;
        if (name == "." || name == "..") continue;
        const std::string path = folder + "\\" + name;
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
          RemoveTree(path);
        else
          DeleteFileA(path.c_str());
      } while (FindNextFileA(find.get(), &fd));
    }
  }
  SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
  RemoveDirectoryA(folder.c_str());
}

void DeleteTree(HKEY parent, const std::string& sub) {
  UniqueKey key;
  if (RegOpenKeyExA(parent, sub.c_str(), 0, KEY_ALL_ACCESS, key.put()) == ERROR_SUCCESS) {
    char name[256];
    DWORD len = sizeof name;
    while (RegEnumKeyExA(key.get(), 0, name, &len, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
      DeleteTree(key.get(), name);
      len = sizeof name;
    }
  }
  key.reset();
  RegDeleteKeyA(parent, sub.c_str());
}
}  // namespace

namespace {
constexpr char kSessionManager[] = "System\\CurrentControlSet\\Control\\Session Manager";
constexpr char kPending[] = "PendingFileRenameOperations";

std::optional<std::string> PendingValue() {
  UniqueKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return std::nullopt;
  DWORD size = 0;
  if (RegQueryValueExA(key.get(), kPending, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
  std::string bytes(size, '\0');
  if (RegQueryValueExA(key.get(), kPending, nullptr, nullptr, reinterpret_cast<BYTE*>(bytes.data()), &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  bytes.resize(size);
  return bytes;
}
}  // namespace

RealFsWorld::RealFsWorld() {
  pendingBefore_ = PendingValue();
  char temp[MAX_PATH + 1];
  const DWORD len = GetTempPathA(sizeof temp, temp);
  std::string base(temp, len);
  if (!base.empty() && base.back() == '\\') base.pop_back();
  root_ = base + "\\und-platform-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++g_serial);
  RemoveTree(root_);
  if (!CreateDirectoryA(root_.c_str(), nullptr)) ADD_FAILURE() << "cannot create " << root_;
}

RealFsWorld::~RealFsWorld() {
  holds_.clear();
  // Links go first and by themselves: Wine deletes a file link's target
  // and shows no link to nothing, which is given a target to go.
  for (auto link = links_.rbegin(); link != links_.rend(); ++link) {
    const bool missing = GetFileAttributesA(link->second.c_str()) == INVALID_FILE_ATTRIBUTES;
    if (missing) robot::WriteFileBytes(link->second, "");
    robot::RemoveLinkItself(link->first);
    if (missing) DeleteFileA(link->second.c_str());
  }
  RemoveTree(root_);
  if (PendingValue() == pendingBefore_) return;
  UniqueKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS) return;
  if (!pendingBefore_) {
    RegDeleteValueA(key.get(), kPending);
  } else {
    RegSetValueExA(key.get(), kPending, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(pendingBefore_->data()),
                   static_cast<DWORD>(pendingBefore_->size()));
  }
}

std::vector<std::string> RealFsWorld::ScheduledAtRestart() const {
  std::vector<std::string> ours;
  for (const std::string& path : robot::PendingDeletions()) {
    if (lstrcmpiA(path.substr(0, root_.size() + 1).c_str(), (root_ + "\\").c_str()) == 0) ours.push_back(path);
  }
  return ours;
}

void RealFsWorld::MakeFile(const std::string& path, const std::string& content) {
  UniqueFile f(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_ARCHIVE, nullptr));
  ASSERT_TRUE(f.valid()) << "cannot create " << path;
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(f.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr));
  ASSERT_EQ(written, content.size());
}

void RealFsWorld::MakeFolder(const std::string& path) {
  ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr)) << "cannot create " << path;
}

void RealFsWorld::MakeHardLink(const std::string& path, const std::string& existing) {
  ASSERT_TRUE(CreateHardLinkA(path.c_str(), existing.c_str(), nullptr)) << "cannot link " << path;
}

void RealFsWorld::MakeLink(const std::string& path, const std::string& target) {
  // Wine shows no link to nothing at all: made to a file that then goes,
  // so that the robot sees the link made.
  const bool missing = GetFileAttributesA(target.c_str()) == INVALID_FILE_ATTRIBUTES;
  if (missing) ASSERT_TRUE(robot::WriteFileBytes(target, ""));
  ASSERT_TRUE(robot::MakeLink(path, target)) << "cannot link " << path;
  links_.emplace_back(path, target);
  if (missing) ASSERT_TRUE(DeleteFileA(target.c_str()));
}

void RealFsWorld::SetDosTime(const std::string& path, int32_t dos) {
  FILETIME local, utc;
  const uint32_t packed = static_cast<uint32_t>(dos);
  ASSERT_TRUE(DosDateTimeToFileTime(static_cast<WORD>(packed >> 16), static_cast<WORD>(packed & 0xFFFF), &local));
  ASSERT_TRUE(LocalFileTimeToFileTime(&local, &utc));
  UniqueFile f(CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  ASSERT_TRUE(f.valid());
  ASSERT_TRUE(SetFileTime(f.get(), nullptr, nullptr, &utc));
}

void RealFsWorld::HoldExclusive(const std::string& path) {
  UniqueFile f(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(f.valid());
  holds_.push_back(std::move(f));
}

void RealFsWorld::HoldForWriting(const std::string& path) {
  UniqueFile f(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           0, nullptr));
  ASSERT_TRUE(f.valid());
  holds_.push_back(std::move(f));
}

RealRegWorld::RealRegWorld() {
  base_ = "Software\\UndPlatformTest-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++g_serial);
  DeleteTree(HKEY_CURRENT_USER, base_);
  MakeKey(base_);
}

namespace {
bool SetRights(const std::string& path, const char* sddl) {
  UniqueKey key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, WRITE_DAC, key.put()) != ERROR_SUCCESS) return false;
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &sd, nullptr)) return false;
  const bool ok = RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, sd) == ERROR_SUCCESS;
  LocalFree(sd);
  return ok;
}
}  // namespace

RealRegWorld::~RealRegWorld() {
  for (const std::string& path : narrowed_) SetRights(path, "D:P(A;;KA;;;WD)");
  DeleteTree(HKEY_CURRENT_USER, base_);
}

bool RealRegWorld::MakeReadOnly(const std::string& path) {
  if (!SetRights(path, "D:P(A;;KR;;;WD)")) return false;
  narrowed_.push_back(path);
  return true;
}

void RealRegWorld::MakeKey(const std::string& path) {
  UniqueKey key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                            nullptr),
            ERROR_SUCCESS)
      << path;
}

void RealRegWorld::SetRaw(const std::string& path, const std::string& name, uint32_t type, const std::string& bytes) {
  UniqueKey key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                            nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key.get(), name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                           static_cast<DWORD>(bytes.size())),
            ERROR_SUCCESS);
}

std::pair<uint32_t, std::string> RealRegWorld::Raw(const std::string& path, const std::string& name) {
  UniqueKey key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return {0, {}};
  DWORD type = 0;
  char data[1024];
  DWORD size = sizeof data;
  if (RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data), &size) !=
      ERROR_SUCCESS)
    return {0, {}};
  return {type, std::string(data, size)};
}

}  // namespace platform_test
