#pragma once
// The journal of one log's uninstallation: what lets a run that was killed
// be finished by the next one, and keeps an application from being counted
// down twice.
//
// Before anything is removed the log leaves its place, but its bytes go
// into the journal first, with how far the run has come: the removal began,
// and later the count-down was recorded. The journal lives in the registry,
// beside the uninstaller's registration, under
//   HKEY_LOCAL_MACHINE\Software\Kestrivon\Dalvests-journal-<16 hex digits>
// (the digits are a hash of the log's full path, letter case folded), where
// only administrators may write; the key names the log it belongs to. It
// is deleted as the run's very last change, so that a run killed at any
// point before leaves it for the next run of the same log (and with it the
// maker's key, should the journal have made it).
#include <cstdint>
#include <optional>
#include <set>
#include <string>

#include "app/LogIdentity.h"
#include "platform/Services.h"

namespace app {

// Where every journal lives; its keys are this followed by the log's hash.
inline constexpr char kJournalParent[] = "\\Software\\Kestrivon";
inline constexpr char kJournalName[] = "Dalvests-journal-";
inline constexpr char kJournalKeyPrefix[] = "\\Software\\Kestrivon\\Dalvests-journal-";

// A hash of a log's full path with its letters folded by the code page,
// as sixteen hexadecimal digits: the journal's key and the run's claim on
// the log are named after it (app/LogIdentity.h).
std::string LogHash(platform::ILocale& locale, const std::string& fullLogPath);

class RunJournal {
 public:
  struct Entry {
    std::string logPath;  // as the run that wrote it took it
    std::string log;      // the log's bytes
    int32_t logTime = 0;  // the log file's time stamp (packed local DOS time) when it was read
    // An earlier run got to its count-down and recorded it (with the count
    // it read then): its removal was over.
    bool countDownRecorded = false;
    std::optional<int32_t> recordedAt;
    // The count does not go down for this log again: its count-down was
    // recorded, or a journal set aside before this one may have counted.
    bool countDownDone = false;
    // Where an earlier run ended the walk of a logged key because the key
    // had subkeys (KeptMark): it ends there again, so that a key emptied
    // later in that run by another entry's walk is not taken now, as it was
    // not taken then.
    std::set<std::string> kept;
  };

  // The journal of the log `log` names.
  RunJournal(platform::IRegistry& registry, platform::ILocale& locale, const LogIdentity& log);

  // The full long path of the log whose journal recorded `fullPath` as the
  // log's 8.3 spelling; nullopt when no journal did. A short spelling no
  // longer lengthens once its folders are gone, and its retry finds the
  // journal by it.
  static std::optional<std::string> LongPathOfShort(platform::IRegistry& registry, platform::ILocale& locale,
                                                    const std::string& fullPath);

  // What stands in the journal's place.
  struct Found {
    std::optional<Entry> entry;  // a journal of this log that a run left
    // Not empty: a journal of this log stands there but lacks what a run
    // needs (a run died while writing its beginning, or it was damaged);
    // it says why. Such a journal is set aside, never finished from.
    std::string damage;
    // What a damaged journal still says: its run may have counted down.
    bool mayHaveCounted = false;
  };
  Found Find();
  // Writes the journal anew, before the log leaves its place: its bytes and
  // time stamp, its 8.3 spelling `shortPath` (when it differs from the long
  // one), the removal begun. False when it cannot be written; the run must
  // not go on then, since nothing would be left to finish it by.
  // `counted`: a journal set aside before may have counted this log down
  // already; the new one says so, so that no run counts it down.
  bool Begin(const std::string& log, int32_t logTime, const std::string& shortPath, bool counted = false);
  // Writes down, before the count goes down, that this log's count-down
  // goes from `count`. False when it cannot be written.
  bool RecordCountDown(int32_t count);
  // Writes down that the walk of logged key entry `entry` ended at
  // `root`\`path`, which had subkeys. Best effort: without it a retry
  // merely decides afresh.
  void MarkKept(int entry, uint32_t root, const std::string& path);
  // "<entry>:<platform::KeyNode>", as Entry::kept holds it.
  static std::string KeptMark(int entry, uint32_t root, const std::string& path);
  // Deletes the journal: the uninstallation is over.
  void Discard();
  // Has Windows delete the journal at its next start (a run-once entry named
  // after the journal): what keeps it, the log, goes then too. False when
  // the entry cannot be written.
  bool DiscardAtRestart();

  const std::string& keyPath() const { return key_; }

 private:
  platform::IRegistry& registry_;
  platform::ILocale& locale_;
  std::string logPath_;
  std::string key_;
  std::string kept_;  // as written, one key node a line
};

}  // namespace app
