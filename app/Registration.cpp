#include "app/Registration.h"

#include <memory>
#include <string>

#include "env/Enviro.h"

namespace app {

const char kRegistrationPrefix[] = "\\Software\\Kestrivon\\Dalvests\\";
const char kRunOnceKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const char kAppPathValue[] = "AppPath";
const char kAppsServedValue[] = "AppsServed";

namespace {

constexpr uint32_t kRoot = platform::kHkeyLocalMachine;
constexpr char kDeleteValue[] = "Delete";

// Holds the named lock from a successful Acquire until the scope ends.
class LockHold {
 public:
  LockHold(platform::INamedLock& lock, const std::string& name, uint32_t timeoutMs)
      : lock_(lock), held_(lock.Acquire(name, timeoutMs)) {}
  ~LockHold() {
    if (held_) lock_.Release();
  }
  LockHold(const LockHold&) = delete;
  LockHold& operator=(const LockHold&) = delete;
  bool held() const { return held_; }

 private:
  platform::INamedLock& lock_;
  bool held_;
};

}  // namespace

std::string FormatVersion(uint32_t ms, uint32_t ls) {
  const uint32_t parts[] = {ms >> 16, ms & 0xFFFFu, ls >> 16, ls & 0xFFFFu};
  std::string name;
  for (uint32_t part : parts) {
    if (!name.empty()) name += '.';
    name += std::to_string(part);
  }
  return name;
}

std::string RegistrationKeyPath(const std::string& versionName) { return kRegistrationPrefix + versionName; }

std::string AppsServedLockName(const std::string& versionName) {
  return "Kestrivon.Dalvests.AppsServed." + versionName;
}

std::string SelfDeletionCommand(const std::string& programPath, bool ntFamily) {
  return std::string(ntFamily ? "cmd.exe" : "command.com") + " /c del \"" + programPath + "\"";
}

void Registration::Update(RegistrationResult& result, const CountDownRecord& record) {
  const std::string program = module_.ProgramPath();
  uint32_t ms = 0;
  uint32_t ls = 0;
  ReadFileVersion(program, ms, ls);
  const std::string version = FormatVersion(ms, ls);
  result.version = version;

  // The earlier run that recorded the count-down got as far as deleting the
  // registration; the key above it may be all that is left to do.
  if (record.recordedEarlier && !registry_.KeyExists(kRoot, RegistrationKeyPath(version))) {
    result.countedEarlier = true;
    DeleteEmptyParent();
    return;
  }

  // Another copy of the uninstaller (or a stale registration) is not ours to
  // count down.
  const std::string registered = ReadRegisteredPath(version);
  if (registered.empty() || !locale_.EqualIgnoreCase(registered, program)) return;
  result.ours = true;

  if (DecrementAppsServed(version, record, result) != 0) return;

  // The file goes at the next start of Windows as well as at the next
  // logon, whichever comes first (a standard user's logon cannot delete it
  // from Program Files). Both before the deletion: a registration at 0 that
  // could schedule neither stays, for a later run to finish.
  result.selfDeletionScheduled = ScheduleSelfDeletion(program);
  result.deletedAtRestart = static_cast<bool>(fs_.RemoveAtRestart(program));
  if (!result.selfDeletionScheduled && !result.deletedAtRestart) {
    result.selfDeletionFailed = true;
    return;
  }
  result.registrationDeleted = DeleteRegistration(version);
}

void Registration::ReadFileVersion(const std::string& path, uint32_t& ms, uint32_t& ls) {
  if (auto version = module_.ReadFileVersion(path)) {
    ms = version->ms;
    ls = version->ls;
  }
}

std::string Registration::ReadRegisteredPath(const std::string& versionName) {
  auto key = registry_.OpenKey(kRoot, RegistrationKeyPath(versionName));
  if (!key) return {};
  const auto path = key->ReadString(kAppPathValue);
  if (!path || !fs_.FileExists(*path)) return {};
  return *path;
}

int32_t Registration::DecrementAppsServed(const std::string& versionName, const CountDownRecord& record,
                                          RegistrationResult& result) {
  // Two uninstallers of one version finishing together would otherwise both
  // read the same count and write back the same result.
  LockHold lock(lock_, AppsServedLockName(versionName), kAppsServedLockTimeoutMs);
  auto key = registry_.OpenKey(kRoot, RegistrationKeyPath(versionName));
  if (!key) return -1;
  const auto count = key->ReadInt(kAppsServedValue);
  if (!count) return -1;
  result.countBefore = count;
  if (!lock.held()) {
    result.lockTimedOut = true;
    return -1;
  }
  // An earlier run of this log recorded the count-down: never again,
  // whatever the count is now (other installations count it up and down
  // meanwhile).
  if (record.recordedEarlier) {
    result.countedEarlier = true;
    return *count;
  }
  if (record.write && !record.write(*count)) {
    result.recordFailed = true;
    return -1;
  }
  // Wraps like the 32-bit registry value itself would.
  const int32_t decremented = static_cast<int32_t>(static_cast<uint32_t>(*count) - 1u);
  // A key that opened read-only cannot take the new count; the count still
  // decides what follows.
  if (key->WriteInt(kAppsServedValue, decremented)) result.countAfter = decremented;
  return decremented;
}

bool Registration::DeleteRegistration(const std::string& versionName) {
  const std::string keyPath = RegistrationKeyPath(versionName);
  if (!registry_.KeyExists(kRoot, keyPath)) return false;
  if (!registry_.DeleteKeyTree(kRoot, keyPath)) return false;
  DeleteEmptyParent();
  return true;
}

void Registration::DeleteEmptyParent() {
  const std::string parent = env::PathRules(locale_).StripTrailingBackslash(kRegistrationPrefix);
  auto key = registry_.OpenKey(kRoot, parent);
  if (!key || key->HasSubkeys()) return;
  key.reset();  // closed before it is deleted
  // Only an empty parent goes: should the subkey count have failed to read,
  // the other registrations below it stay.
  registry_.DeleteKey(kRoot, parent);
}

bool Registration::ScheduleSelfDeletion(const std::string& programPath) {
  auto key = registry_.OpenKey(kRoot, kRunOnceKey);
  if (!key) return false;

  const std::string command = SelfDeletionCommand(programPath, module_.RunsOnNtFamily());
  std::string name = kDeleteValue;
  for (int k = 0; key->ValueExists(name); ++k) {
    if (key->ReadString(name) == command) return true;
    name = kDeleteValue + std::to_string(k);
  }
  if (!key->WriteString(name, command)) return false;
  // The entry must survive a power cut before the next start of Windows.
  key->Flush();
  return true;
}

}  // namespace app
