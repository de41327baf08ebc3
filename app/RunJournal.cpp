#include "app/RunJournal.h"

#include <algorithm>

#include "app/Registration.h"
#include "platform/WindowsRules.h"

namespace app {

namespace {
constexpr uint32_t kRoot = platform::kHkeyLocalMachine;
constexpr char kLogValue[] = "Log";
constexpr char kBytesValue[] = "Bytes";
constexpr char kLogTimeValue[] = "LogTime";
constexpr char kShortLogValue[] = "ShortLog";
constexpr char kClaimedAtValue[] = "ClaimedAt";
constexpr char kKeptValue[] = "Kept";
constexpr char kCountedValue[] = "Counted";
// Set when writing the journal made the maker's key: it goes with the
// journal, so that a run leaves no key of its own behind.
constexpr char kMadeMakerValue[] = "MadeMaker";
constexpr char kMakerKey[] = "\\Software\\Kestrivon";
// Written last of each step, so that a step a run died in is not taken for
// done: 1 the removal began, 2 the count-down is recorded.
constexpr char kStageValue[] = "Stage";
constexpr int32_t kBegun = 1;
constexpr int32_t kCountDownRecorded = 2;
}  // namespace

std::string LogHash(platform::ILocale& locale, const std::string& fullLogPath) {
  // FNV-1a, 64 bits: the same on every machine and in every build.
  uint64_t hash = 0xCBF29CE484222325ull;
  for (const char c : locale.UpperAnsi(fullLogPath)) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001B3ull;
  }
  std::string hex(16, '0');
  for (int i = 15; i >= 0; --i, hash >>= 4) hex[static_cast<size_t>(i)] = "0123456789ABCDEF"[hash & 15];
  return hex;
}

RunJournal::RunJournal(platform::IRegistry& registry, platform::ILocale& locale, const LogIdentity& log)
    : registry_(registry), locale_(locale), logPath_(log.full), key_(log.journalKey) {}

std::optional<std::string> RunJournal::LongPathOfShort(platform::IRegistry& registry, platform::ILocale& locale,
                                                       const std::string& fullPath) {
  const auto names = registry.SubkeyNames(kRoot, kJournalParent);
  if (!names) return std::nullopt;
  const std::string prefix = locale.UpperAnsi(kJournalName);
  for (const std::string& name : *names) {
    if (locale.UpperAnsi(name).rfind(prefix, 0) != 0) continue;
    auto key = registry.OpenKey(kRoot, std::string(kJournalParent) + "\\" + name);
    if (!key) continue;
    const auto shortLog = key->ReadString(kShortLogValue);
    const auto longLog = key->ReadString(kLogValue);
    if (shortLog && longLog && !shortLog->empty() && !longLog->empty() && locale.EqualIgnoreCase(*shortLog, fullPath)) {
      return longLog;
    }
  }
  return std::nullopt;
}

RunJournal::Found RunJournal::Find() {
  Found found;
  auto key = registry_.OpenKey(kRoot, key_);
  if (!key) return found;
  // The key is named after this log's path: one that names another log has
  // been damaged (two paths of one hash do not happen in practice).
  const auto path = key->ReadString(kLogValue);
  const auto stage = key->ReadInt(kStageValue);
  auto bytes = key->ReadBinary(kBytesValue);
  const auto time = key->ReadInt(kLogTimeValue);
  const auto recordedAt = key->ReadInt(kClaimedAtValue);
  found.mayHaveCounted =
      (stage && *stage >= kCountDownRecorded) || recordedAt.has_value() || key->ReadInt(kCountedValue).has_value();
  const bool ours = path && locale_.EqualIgnoreCase(*path, logPath_);
  if (!ours || !stage || !bytes || !time || *stage < kBegun || *stage > kCountDownRecorded) {
    found.damage = std::string("it lacks ") +
                   (!ours ? "this log's path"
                    : !stage || *stage < kBegun || *stage > kCountDownRecorded ? "a stage it knows"
                    : !bytes ? "the log's bytes"
                             : "the log's time stamp");
    return found;
  }
  Entry entry{*path, std::move(*bytes), *time, *stage >= kCountDownRecorded, recordedAt, false, {}};
  entry.countDownDone = entry.countDownRecorded || key->ReadInt(kCountedValue).has_value();
  kept_ = key->ReadString(kKeptValue).value_or("");
  for (size_t at = 0; at < kept_.size();) {
    const size_t end = std::min(kept_.find('\n', at), kept_.size());
    entry.kept.insert(kept_.substr(at, end - at));
    at = end + 1;
  }
  found.entry = std::move(entry);
  return found;
}

bool RunJournal::Begin(const std::string& log, int32_t logTime, const std::string& shortPath, bool counted) {
  // A journal left by a run of an earlier log at the same path goes first.
  registry_.DeleteKeyTree(kRoot, key_);
  const bool makerThere = registry_.KeyExists(kRoot, kMakerKey);
  platform::Status status;
  auto key = registry_.CreateKey(kRoot, key_, status);
  return key && (makerThere || key->WriteInt(kMadeMakerValue, 1)) && key->WriteString(kLogValue, logPath_) &&
         key->WriteBinary(kBytesValue, log) && key->WriteInt(kLogTimeValue, logTime) &&
         (locale_.EqualIgnoreCase(shortPath, logPath_) || key->WriteString(kShortLogValue, shortPath)) &&
         (!counted || key->WriteInt(kCountedValue, 1)) &&
         key->WriteInt(kStageValue, kBegun) && key->Flush();
}

bool RunJournal::RecordCountDown(int32_t count) {
  auto key = registry_.OpenKey(kRoot, key_);
  return key && !key->ReadOnly() && key->WriteInt(kClaimedAtValue, count) && key->WriteInt(kStageValue, kCountDownRecorded) &&
         key->Flush();
}

std::string RunJournal::KeptMark(int entry, uint32_t root, const std::string& path) {
  return std::to_string(entry) + ":" + platform::KeyNode(root, path);
}

void RunJournal::MarkKept(int entry, uint32_t root, const std::string& path) {
  auto key = registry_.OpenKey(kRoot, key_);
  if (!key) return;
  const std::string node = KeptMark(entry, root, path);
  const std::string kept = kept_ + (kept_.empty() ? "" : "\n") + node;
  if (key->WriteString(kKeptValue, kept)) kept_ = kept;
}

bool RunJournal::DiscardAtRestart() {
  auto runOnce = registry_.OpenKey(kRoot, kRunOnceKey);
  const std::string name = key_.substr(key_.rfind('\\') + 1);
  // The 32-bit view, where this program keeps it, whoever runs the entry.
  return runOnce && !runOnce->ReadOnly() &&
         runOnce->WriteString(name, "reg.exe delete \"HKLM" + key_ + "\" /f /reg:32") && runOnce->Flush();
}

void RunJournal::Discard() {
  bool madeMaker = false;
  if (auto key = registry_.OpenKey(kRoot, key_)) madeMaker = key->ReadInt(kMadeMakerValue).has_value();
  registry_.DeleteKeyTree(kRoot, key_);
  // Refused while anything else lives in it.
  if (madeMaker) registry_.DeleteKey(kRoot, kMakerKey);
}

}  // namespace app
