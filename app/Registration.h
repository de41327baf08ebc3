#pragma once
// The uninstaller's own registration: the count of the applications that
// this uninstaller file serves, counted down once at the end of every run,
// and the scheduled deletion of the file when the count reaches zero.
//
// The run's UpdateRegistration drives the steps declared here; the helpers
// are public so that the texts they build can be checked alone.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/Services.h"

namespace app {

// "\Software\Kestrivon\Dalvests\": one subkey per registered version.
extern const char kRegistrationPrefix[];
// Taken from the root key as well: no other key is open when it is used.
extern const char kRunOnceKey[];
// Values of a registration key.
extern const char kAppPathValue[];
extern const char kAppsServedValue[];

// How long an uninstaller waits for another one counting down the same
// registration. When the wait runs out the count is left as it is and
// nothing is scheduled: a registration that serves one application too many
// only leaves the uninstaller file behind, while a lost count would delete
// it under an application that still needs it. The same rule decides every
// doubt below.
constexpr uint32_t kAppsServedLockTimeoutMs = 10000;

// The version name: the four 16-bit parts of dwFileVersionMS and
// dwFileVersionLS, high part first, in decimal, joined by full stops.
std::string FormatVersion(uint32_t ms, uint32_t ls);

// "\Software\Kestrivon\Dalvests\" followed by the version name.
std::string RegistrationKeyPath(const std::string& versionName);

// Name of the system-wide lock that guards the read, decrement and
// write-back of "AppsServed" for one version. It holds no backslash, so the
// platform may place it in whichever namespace makes it machine-wide.
std::string AppsServedLockName(const std::string& versionName);

// The run-once command that deletes `programPath` at the next start of
// Windows: cmd.exe on the NT family (which has no command.com on 64-bit
// systems), command.com on the 9x family; the path between double quotes,
// unchanged.
std::string SelfDeletionCommand(const std::string& programPath, bool ntFamily);

// What one count-down did, as a run's report tells it.
struct RegistrationResult {
  std::string version;  // the version name of the running program file
  // The registration names the running program file: it was ours to count
  // down.
  bool ours = false;
  // "AppsServed" as read, and the count written back; nullopt when nothing
  // was read, or nothing written (a key that opened for reading only).
  std::optional<int32_t> countBefore, countAfter;
  // The lock around the count was not had in time: countBefore is the count
  // as it stands, untouched.
  bool lockTimedOut = false;
  // An earlier run of the same log had recorded the count-down, and did it.
  bool countedEarlier = false;
  // The record could not be written down: nothing was counted down.
  bool recordFailed = false;
  bool registrationDeleted = false;
  // The self-deletion entry is in the run-once key.
  bool selfDeletionScheduled = false;
  // The file is also scheduled for deletion at the next start of Windows.
  bool deletedAtRestart = false;
  // The count reached 0 but neither the entry nor the deletion at the next
  // start could be scheduled: the registration stays (count 0) for a later
  // run to finish.
  bool selfDeletionFailed = false;
};

// The count-down of one log's application, done once however often its
// uninstallation runs (app/RunJournal.h keeps the record).
struct CountDownRecord {
  // An earlier run of this log recorded its count-down: it counted down,
  // or died between the record and the count's write, where the count stays
  // one too high (a leftover uninstaller file, never one deleted under an
  // application that still needs it). Either way the count does not go
  // down again.
  bool recordedEarlier = false;
  // Writes the record down for the count just read under the lock, before
  // the count goes down; false when it could not be written. Empty: nothing
  // to write down.
  std::function<bool(int32_t count)> write;
};

// The count-down of the running program file, the run's last step. Each
// step opens and closes its own keys, also when it fails. Besides the
// registry, the program's module and the named lock, it asks the file system
// whether the registered path names a file, and the locale whether that path
// is the running program's.
class Registration {
 public:
  Registration(platform::IRegistry& registry, platform::IModule& module, platform::INamedLock& lock,
               platform::IFileSystem& fs, platform::ILocale& locale)
      : registry_(registry), module_(module), lock_(lock), fs_(fs), locale_(locale) {}

  // Tells `result` what it did; nothing fails out of it. With the record
  // written earlier the count stays as it stands; either way a count at 0
  // is finished: the self-deletion entry first, then the registration's
  // deletion, so that a registration without the entry is never deleted.
  void Update(RegistrationResult& result, const CountDownRecord& record = {});

 private:
  // The two halves of the fixed file version of `path`; `ms` and `ls` keep
  // their values when the file has no usable version resource.
  void ReadFileVersion(const std::string& path, uint32_t& ms, uint32_t& ls);
  // "AppPath" of the registration of `versionName` when it names an
  // existing file; empty otherwise.
  std::string ReadRegisteredPath(const std::string& versionName);
  // Counts "AppsServed" down by one under the version's lock, as `record`
  // allows, and gives the count then, or -1 when there was nothing to count
  // down (key or value missing, value not a DWORD, lock not obtained in
  // time, the record not written). A failed write-back still gives the
  // decremented count. `result` gets the count read and the count written.
  int32_t DecrementAppsServed(const std::string& versionName, const CountDownRecord& record,
                              RegistrationResult& result);
  // Deletes the registration of `versionName` and, when no other one is
  // left, "\Software\Kestrivon\Dalvests"; failures pass silently. True when
  // the registration key went.
  bool DeleteRegistration(const std::string& versionName);
  // "\Software\Kestrivon\Dalvests" when no registration is left in it.
  void DeleteEmptyParent();
  // Writes the self-deletion entry for `programPath` under the first free
  // name of Delete, Delete0, Delete1, ..., unless one of those names holds
  // it already (an earlier run that died after writing it). False when the
  // run-once key cannot be opened or the write fails.
  bool ScheduleSelfDeletion(const std::string& programPath);

  platform::IRegistry& registry_;
  platform::IModule& module_;
  platform::INamedLock& lock_;
  platform::IFileSystem& fs_;
  platform::ILocale& locale_;
};

}  // namespace app
