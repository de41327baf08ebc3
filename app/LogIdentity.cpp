#include "app/LogIdentity.h"

#include "app/RunJournal.h"

namespace app {

LogIdentity IdentifyLog(const std::string& given, platform::IFileSystem& fs, platform::IRegistry& registry,
                        platform::ILocale& locale) {
  LogIdentity log;
  log.given = given;
  if (given.empty()) return log;
  log.full = fs.FullPath(given);
  const auto named = [&] {
    const std::string hash = LogHash(locale, log.full);
    log.claimName = "Kestrivon.Dalvests.Log." + hash;
    log.journalKey = kJournalKeyPrefix + hash;
  };
  named();
  // A spelling that no longer lengthens (its folders are gone) is found
  // through the journal that recorded it, when neither the log nor a
  // journal of this spelling is there.
  platform::Status looked;
  if (!registry.KeyExists(platform::kHkeyLocalMachine, log.journalKey) && !fs.FindEntry(log.full, looked) &&
      platform::NotFound(looked.error())) {
    if (auto recorded = RunJournal::LongPathOfShort(registry, locale, log.full)) {
      log.full = *recorded;
      named();
    }
  }
  return log;
}

bool SameLog(const LogIdentity& a, const LogIdentity& b, platform::ILocale& locale) {
  return a.Given() && b.Given() && locale.EqualIgnoreCase(a.full, b.full);
}

}  // namespace app
