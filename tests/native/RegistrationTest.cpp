#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <optional>
#include <string>
#include <vector>

#include "app/Registration.h"
#include "app/UninstallRun.h"
#include "platform/Error.h"
#include "tests/fakes/FakeMainView.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeServices.h"
#include "tests/native/Cp1252.h"

using platform::kHkeyLocalMachine;
using testing_cp1252::ToCp1252;

namespace {

constexpr char kParent[] = "Software\\Kestrivon\\Dalvests";
constexpr char kOwnKey[] = "Software\\Kestrivon\\Dalvests\\1.0.0.3";
constexpr char kRunOnce[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr char kProgram[] = "C:\\Program Files\\Kestrivon\\desinstalador.exe";

// A lock that notes the count as it stood when taken and when given back,
// to show that the read and the write-back happen inside it.
class WatchingLock : public platform::INamedLock {
 public:
  explicit WatchingLock(fakes::FakeRegistry& reg) : reg_(reg) {}
  bool available = true;
  std::vector<std::string> names;
  std::vector<uint32_t> timeouts;
  std::vector<std::optional<int32_t>> countAtAcquire, countAtRelease;
  int held = 0;

  bool Acquire(const std::string& name, uint32_t timeoutMs) override {
    names.push_back(name);
    timeouts.push_back(timeoutMs);
    if (!available) return false;
    countAtAcquire.push_back(Count());
    ++held;
    return true;
  }
  void Release() override {
    countAtRelease.push_back(Count());
    --held;
  }

 private:
  std::optional<int32_t> Count() { return reg_.GetDword(kHkeyLocalMachine, kOwnKey, "AppsServed"); }
  fakes::FakeRegistry& reg_;
};

class RegistrationFixture : public testing::Test {
 protected:
  void SetUp() override {
    reg.AddKey(kHkeyLocalMachine, kRunOnce);
    reg.AddKey(kHkeyLocalMachine, "Software\\Kestrivon\\Other");  // a sibling of the parent
  }
  void TearDown() override { EXPECT_EQ(reg.OpenHandles(), 0) << "a registry key was left open"; }

  // The installer's registration of the running file, serving `count`.
  void Register(int32_t count, const std::string& key = kOwnKey) {
    reg.SetString(kHkeyLocalMachine, key, "AppPath", module.path);
    reg.SetDword(kHkeyLocalMachine, key, "AppsServed", count);
    if (!fs.Exists(module.path)) fs.AddFile(module.path);
  }
  std::optional<int32_t> Count(const std::string& key = kOwnKey) const {
    return reg.GetDword(kHkeyLocalMachine, key, "AppsServed");
  }
  std::vector<std::string> RunOnceNames() const {
    auto names = reg.ValueNames(kHkeyLocalMachine, kRunOnce);
    std::sort(names.begin(), names.end());
    return names;
  }
  std::optional<std::string> RunOnceData(const std::string& name) const {
    auto v = reg.GetValue(kHkeyLocalMachine, kRunOnce, name);
    if (!v) return std::nullopt;
    EXPECT_EQ(v->type, platform::kRegSz);
    return v->data;
  }
  // Nothing touched: count as given, key there, nothing deleted, no entry.
  void ExpectUntouched(std::optional<int32_t> count) {
    EXPECT_EQ(Count(), count);
    EXPECT_TRUE(reg.Deleted().empty());
    EXPECT_TRUE(RunOnceNames().empty());
    EXPECT_EQ(reg.FlushCount(), 0);
  }

  fakes::FakeFileSystem fs;
  fakes::FakeRegistry reg;
  fakes::FakeMessageBox box;
  fakes::FakeLocale locale;
  fakes::FakeModule module;  // C:\Program Files\Kestrivon\desinstalador.exe, 1.0.0.3, NT
  WatchingLock lock{reg};
  fakes::FakeNamedLock claim;
  app::Services services{fs, reg, box, locale, module, lock, claim};
  fakes::FakeMainView view;
  app::PersonHost person = fakes::PersonAt(box, view);
  app::TRunData data;
  app::UninstallRun run{services, person, view, data};
};

// ---- the count and what it leads to ----

using RegistrationCount = RegistrationFixture;

TEST_F(RegistrationCount, TwoBecomesOneAndNothingElseHappens) {
  Register(2);
  run.UpdateRegistration();
  EXPECT_EQ(Count(), 1);
  EXPECT_TRUE(reg.Exists(kHkeyLocalMachine, kOwnKey));
  EXPECT_TRUE(reg.Deleted().empty());
  EXPECT_TRUE(RunOnceNames().empty());
  EXPECT_TRUE(box.shown().empty());
}

TEST_F(RegistrationCount, OneDeletesTheRegistrationAndSchedulesTheFile) {
  Register(1);
  run.UpdateRegistration();
  EXPECT_FALSE(reg.Exists(kHkeyLocalMachine, kOwnKey));
  EXPECT_EQ(RunOnceNames(), std::vector<std::string>{"Delete"});
  EXPECT_EQ(RunOnceData("Delete"), std::string("cmd.exe /c del \"") + kProgram + "\"");
  EXPECT_EQ(reg.FlushCount(), 1);
  EXPECT_TRUE(box.shown().empty());
}

TEST_F(RegistrationCount, ZeroOrLessGoesOneFurtherDown) {
  for (int32_t before : {0, -1, INT32_MIN + 1}) {
    Register(before);
    run.UpdateRegistration();
    EXPECT_EQ(Count(), before - 1) << before;
    EXPECT_TRUE(reg.Exists(kHkeyLocalMachine, kOwnKey));
    EXPECT_TRUE(RunOnceNames().empty());
  }
  EXPECT_TRUE(reg.Deleted().empty());
}

TEST_F(RegistrationCount, MissingOrUntypedCountChangesNothing) {
  Register(1);
  reg.SetRaw(kHkeyLocalMachine, kOwnKey, "AppsServed", platform::kRegSz, "1");
  run.UpdateRegistration();
  EXPECT_EQ(reg.GetValue(kHkeyLocalMachine, kOwnKey, "AppsServed")->data, "1");
  ExpectUntouched(std::nullopt);

  reg.SetRaw(kHkeyLocalMachine, kOwnKey, "AppsServed", platform::kRegBinary, std::string("\1\0\0\0", 4));
  run.UpdateRegistration();
  EXPECT_EQ(reg.GetValue(kHkeyLocalMachine, kOwnKey, "AppsServed")->type, platform::kRegBinary);
  ExpectUntouched(std::nullopt);

  // No AppsServed at all.
  reg = fakes::FakeRegistry();
  reg.AddKey(kHkeyLocalMachine, kRunOnce);
  reg.SetString(kHkeyLocalMachine, kOwnKey, "AppPath", module.path);
  run.UpdateRegistration();
  EXPECT_EQ(reg.ValueNames(kHkeyLocalMachine, kOwnKey), std::vector<std::string>{"AppPath"});
  ExpectUntouched(std::nullopt);
}

TEST_F(RegistrationCount, ReadOnlyKeyStillLeadsToDeletionAndEntry) {
  Register(1);
  reg.MakeReadOnly(kHkeyLocalMachine, kOwnKey);
  run.UpdateRegistration();
  EXPECT_EQ(Count(), 1);  // the write-back was refused
  ASSERT_FALSE(reg.Deleted().empty());
  EXPECT_EQ(reg.Deleted().front(), "80000002\\SOFTWARE\\KESTRIVON\\DALVESTS\\1.0.0.3");
  EXPECT_EQ(RunOnceNames(), std::vector<std::string>{"Delete"});
  EXPECT_TRUE(box.shown().empty());
}

TEST_F(RegistrationCount, FailedDeletionStillSchedulesTheFile) {
  Register(1);
  reg.Fail(fakes::RegOp::Delete, kHkeyLocalMachine, kOwnKey);
  run.UpdateRegistration();
  EXPECT_TRUE(reg.Exists(kHkeyLocalMachine, kOwnKey));
  EXPECT_TRUE(reg.Exists(kHkeyLocalMachine, kParent));  // not tried after the failure
  EXPECT_EQ(reg.Deleted().size(), 1u);
  EXPECT_EQ(RunOnceNames(), std::vector<std::string>{"Delete"});
}

// ---- is the running file the registered one ----

using RegistrationPath = RegistrationFixture;

TEST_F(RegistrationPath, OtherOrMissingRegistrationsAreLeftAlone) {
  // No registration key at all.
  fs.AddFile(module.path);
  run.UpdateRegistration();
  EXPECT_FALSE(reg.Exists(kHkeyLocalMachine, kOwnKey));
  ExpectUntouched(std::nullopt);

  // AppPath missing.
  reg.SetDword(kHkeyLocalMachine, kOwnKey, "AppsServed", 1);
  run.UpdateRegistration();
  ExpectUntouched(1);

  // AppPath not a string.
  reg.SetDword(kHkeyLocalMachine, kOwnKey, "AppPath", 7);
  run.UpdateRegistration();
  ExpectUntouched(1);

  // AppPath naming another copy that exists.
  fs.AddFile("D:\\Outro\\desinstalador.exe");
  reg.SetString(kHkeyLocalMachine, kOwnKey, "AppPath", "D:\\Outro\\desinstalador.exe");
  run.UpdateRegistration();
  ExpectUntouched(1);

  // AppPath naming a folder.
  fs.AddFolder("D:\\Pasta");
  reg.SetString(kHkeyLocalMachine, kOwnKey, "AppPath", "D:\\Pasta");
  run.UpdateRegistration();
  ExpectUntouched(1);
}

TEST_F(RegistrationPath, RegisteredPathMustNameAnExistingFile) {
  // The text matches the running file, but the file system does not know it.
  reg.SetString(kHkeyLocalMachine, kOwnKey, "AppPath", module.path);
  reg.SetDword(kHkeyLocalMachine, kOwnKey, "AppsServed", 1);
  run.UpdateRegistration();
  ExpectUntouched(1);
}

TEST_F(RegistrationPath, LetterCaseDoesNotMatterButSpellingDoes) {
  Register(1);
  reg.SetString(kHkeyLocalMachine, kOwnKey, "AppPath", "c:\\PROGRAM FILES\\kestrivon\\DESINSTALADOR.EXE");
  // The same file in its short form is another text.
  fs.AddFile("C:\\PROGRA~1\\KESTRI~1\\DESINS~1.EXE");
  module.path = "C:\\PROGRA~1\\KESTRI~1\\DESINS~1.EXE";
  run.UpdateRegistration();
  ExpectUntouched(1);

  module.path = kProgram;
  run.UpdateRegistration();
  EXPECT_FALSE(reg.Exists(kHkeyLocalMachine, kOwnKey));
  // The command names the running file as it spells itself.
  EXPECT_EQ(RunOnceData("Delete"), std::string("cmd.exe /c del \"") + kProgram + "\"");
}

TEST_F(RegistrationPath, CaseIsComparedInTheUsersLocale) {
  // "C:\Aplicação\desinstalador.exe" against its upper-case spelling.
  const std::string lower = ToCp1252("C:\\Aplicação\\desinstalador.exe");
  const std::string upper = ToCp1252("C:\\APLICAÇÃO\\DESINSTALADOR.EXE");
  module.path = lower;
  fs.AddFile(upper);
  reg.SetString(kHkeyLocalMachine, kOwnKey, "AppPath", upper);
  reg.SetDword(kHkeyLocalMachine, kOwnKey, "AppsServed", 1);
  run.UpdateRegistration();
  EXPECT_FALSE(reg.Exists(kHkeyLocalMachine, kOwnKey));
  EXPECT_EQ(RunOnceData("Delete"), "cmd.exe /c del \"" + lower + "\"");
}

TEST_F(RegistrationPath, ExpandableStringIsReadUnexpanded) {
  Register(3);
  reg.SetString(kHkeyLocalMachine, kOwnKey, "AppPath", module.path, platform::kRegExpandSz);
  run.UpdateRegistration();
  EXPECT_EQ(Count(), 2);

  fs.AddFile("%ProgramFiles%\\Kestrivon\\desinstalador.exe");  // nothing expands it
  module.path = "%ProgramFiles%\\Kestrivon\\desinstalador.exe";
  reg.SetString(kHkeyLocalMachine, kOwnKey, "AppPath", module.path, platform::kRegExpandSz);
  run.UpdateRegistration();
  EXPECT_EQ(Count(), 1);
}

// ---- the parent key ----

using RegistrationParent = RegistrationFixture;

TEST_F(RegistrationParent, KeptWhileAnotherRegistrationRemains) {
  Register(1);
  reg.SetDword(kHkeyLocalMachine, "Software\\Kestrivon\\Dalvests\\1.0.0.4", "AppsServed", 3);
  run.UpdateRegistration();
  EXPECT_FALSE(reg.Exists(kHkeyLocalMachine, kOwnKey));
  EXPECT_TRUE(reg.Exists(kHkeyLocalMachine, kParent));
  EXPECT_EQ(Count("Software\\Kestrivon\\Dalvests\\1.0.0.4"), 3);
  EXPECT_EQ(reg.Deleted().size(), 1u);
}

TEST_F(RegistrationParent, DeletedWhenNoneRemainsButNeverTheKeyAbove) {
  Register(1);
  run.UpdateRegistration();
  EXPECT_FALSE(reg.Exists(kHkeyLocalMachine, kParent));
  EXPECT_TRUE(reg.Exists(kHkeyLocalMachine, "Software\\Kestrivon"));
  EXPECT_TRUE(reg.Exists(kHkeyLocalMachine, "Software\\Kestrivon\\Other"));
  EXPECT_EQ(reg.Deleted(), (std::vector<std::string>{"80000002\\SOFTWARE\\KESTRIVON\\DALVESTS\\1.0.0.3",
                                                     "80000002\\SOFTWARE\\KESTRIVON\\DALVESTS"}));
}

TEST_F(RegistrationParent, UnreadableSubkeyCountKeepsOtherRegistrations) {
  Register(1);
  reg.SetDword(kHkeyLocalMachine, "Software\\Kestrivon\\Dalvests\\1.0.0.4", "AppsServed", 3);
  reg.Fail(fakes::RegOp::QueryInfo, kHkeyLocalMachine, kParent);
  run.UpdateRegistration();
  EXPECT_FALSE(reg.Exists(kHkeyLocalMachine, kOwnKey));
  EXPECT_EQ(Count("Software\\Kestrivon\\Dalvests\\1.0.0.4"), 3);
}

// ---- the self-deletion entry ----

using RegistrationRunOnce = RegistrationFixture;

TEST_F(RegistrationRunOnce, PlainDeleteIsTakenWhenFreeWhateverNumbersExist) {
  Register(1);
  reg.SetString(kHkeyLocalMachine, kRunOnce, "Delete0", "a");
  reg.SetString(kHkeyLocalMachine, kRunOnce, "Delete3", "b");
  run.UpdateRegistration();
  EXPECT_EQ(RunOnceNames(), (std::vector<std::string>{"Delete", "Delete0", "Delete3"}));
  EXPECT_EQ(*RunOnceData("Delete0"), "a");
  EXPECT_EQ(*RunOnceData("Delete3"), "b");
}

TEST_F(RegistrationRunOnce, FirstFreeNumberFollowsTakenNames) {
  Register(1);
  reg.SetString(kHkeyLocalMachine, kRunOnce, "DELETE", "a");  // names compare without case
  reg.SetString(kHkeyLocalMachine, kRunOnce, "Delete0", "b");
  reg.SetString(kHkeyLocalMachine, kRunOnce, "Delete2", "c");
  run.UpdateRegistration();
  EXPECT_EQ(RunOnceData("Delete1"), std::string("cmd.exe /c del \"") + kProgram + "\"");
  EXPECT_EQ(*RunOnceData("Delete"), "a");
  EXPECT_EQ(*RunOnceData("Delete0"), "b");
  EXPECT_EQ(*RunOnceData("Delete2"), "c");
}

TEST_F(RegistrationRunOnce, PathWithBlanksIsQuotedUnchanged) {
  module.path = "D:\\Meus  Programas\\ A pasta \\des instalador.exe";
  Register(1);
  run.UpdateRegistration();
  EXPECT_EQ(*RunOnceData("Delete"), "cmd.exe /c del \"D:\\Meus  Programas\\ A pasta \\des instalador.exe\"");
}

TEST_F(RegistrationRunOnce, CommandInterpreterFollowsTheWindowsFamily) {
  EXPECT_EQ(app::SelfDeletionCommand("C:\\a b\\u.exe", true), "cmd.exe /c del \"C:\\a b\\u.exe\"");
  EXPECT_EQ(app::SelfDeletionCommand("C:\\a b\\u.exe", false), "command.com /c del \"C:\\a b\\u.exe\"");

  module.ntFamily = false;
  Register(1);
  run.UpdateRegistration();
  EXPECT_EQ(*RunOnceData("Delete"), std::string("command.com /c del \"") + kProgram + "\"");
}

TEST_F(RegistrationRunOnce, MissingOrUnopenableKeyIsNotCreated) {
  reg = fakes::FakeRegistry();
  Register(1);
  run.UpdateRegistration();
  EXPECT_FALSE(reg.Exists(kHkeyLocalMachine, kOwnKey));  // the file still goes at the next start
  EXPECT_EQ(fs.ScheduledAtRestart(), std::vector<std::string>{kProgram});
  EXPECT_FALSE(reg.Exists(kHkeyLocalMachine, kRunOnce));
  EXPECT_EQ(reg.FlushCount(), 0);

  reg.AddKey(kHkeyLocalMachine, kRunOnce);
  reg.Fail(fakes::RegOp::Open, kHkeyLocalMachine, kRunOnce);
  Register(1);
  EXPECT_NO_THROW(run.UpdateRegistration());
  EXPECT_TRUE(RunOnceNames().empty());
}

TEST_F(RegistrationRunOnce, NothingScheduledKeepsTheRegistrationAtZeroAndTheEntryIsWrittenOnce) {
  Register(1);
  reg.MakeReadOnly(kHkeyLocalMachine, kRunOnce);
  fs.Fail(fakes::FsOp::Schedule, kProgram);
  EXPECT_NO_THROW(run.UpdateRegistration());
  EXPECT_EQ(reg.OpenHandles(), 0);
  EXPECT_EQ(Count(), 0);  // kept, for a later run to finish
  EXPECT_EQ(lock.held, 0);
  EXPECT_TRUE(RunOnceNames().empty());

  // That later run: the count stands where this one left it (claimed at 1),
  // so it only finishes, writing the entry once however often it comes.
  reg = fakes::FakeRegistry();
  reg.AddKey(kHkeyLocalMachine, kRunOnce);
  reg.SetString(kHkeyLocalMachine, kRunOnce, "Delete", std::string("cmd.exe /c del \"") + kProgram + "\"");
  Register(0);
  app::RegistrationResult result;
  app::Registration(reg, module, lock, fs, locale).Update(result, app::CountDownRecord{true, {}});
  EXPECT_TRUE(result.countedEarlier && result.selfDeletionScheduled && result.registrationDeleted);
  EXPECT_EQ(RunOnceNames(), std::vector<std::string>{"Delete"});
  EXPECT_FALSE(reg.Exists(kHkeyLocalMachine, kOwnKey));
}

// ---- version names ----

using RegistrationVersion = RegistrationFixture;

TEST_F(RegistrationVersion, FourDecimalPartsFromTheTwoHalves) {
  EXPECT_EQ(app::FormatVersion(0x00010000, 0x00000003), "1.0.0.3");
  EXPECT_EQ(app::FormatVersion(0x0002000A, 0x000000FF), "2.10.0.255");
  EXPECT_EQ(app::FormatVersion(0, 0), "0.0.0.0");
  EXPECT_EQ(app::FormatVersion(0xFFFFFFFF, 0xFFFFFFFF), "65535.65535.65535.65535");
  EXPECT_EQ(app::FormatVersion(0x00100001, 0x01000010), "16.1.256.16");
  EXPECT_EQ(app::RegistrationKeyPath("1.0.0.3"), "\\Software\\Kestrivon\\Dalvests\\1.0.0.3");
}

TEST_F(RegistrationVersion, TheRunningFilesVersionNamesTheKeyAndTheLock) {
  struct Case {
    std::optional<platform::FileVersion> version;
    const char* name;
  } cases[] = {{platform::FileVersion{0x00010000, 3}, "1.0.0.3"},
               {platform::FileVersion{0x0002000A, 0xFF}, "2.10.0.255"},
               {std::nullopt, "0.0.0.0"},
               {platform::FileVersion{0xFFFFFFFF, 0xFFFFFFFF}, "65535.65535.65535.65535"}};
  for (const Case& c : cases) {
    const std::string key = std::string(kParent) + "\\" + c.name;
    module.version = c.version;
    Register(2, key);
    if (key != kOwnKey) Register(5);  // then 1.0.0.3 must stay as it is
    lock.names.clear();
    run.UpdateRegistration();
    EXPECT_EQ(Count(key), 1) << c.name;
    if (key != kOwnKey) {
      EXPECT_EQ(Count(), 5) << c.name;
    }
    EXPECT_EQ(lock.names, std::vector<std::string>{std::string("Kestrivon.Dalvests.AppsServed.") + c.name});
  }
}

// ---- the lock around the count ----

using RegistrationLock = RegistrationFixture;

TEST_F(RegistrationLock, HeldAcrossReadAndWriteBack) {
  Register(2);
  run.UpdateRegistration();
  EXPECT_EQ(lock.countAtAcquire, std::vector<std::optional<int32_t>>{2});
  EXPECT_EQ(lock.countAtRelease, std::vector<std::optional<int32_t>>{1});
  EXPECT_EQ(lock.timeouts, std::vector<uint32_t>{app::kAppsServedLockTimeoutMs});
  EXPECT_GT(app::kAppsServedLockTimeoutMs, 0u);
  EXPECT_EQ(lock.held, 0);
}

TEST_F(RegistrationLock, ReleasedOnEveryPath) {
  // Counted down, deleted and scheduled.
  Register(1);
  run.UpdateRegistration();
  EXPECT_EQ(lock.held, 0);
  // Write-back refused.
  Register(3);
  reg.MakeReadOnly(kHkeyLocalMachine, kOwnKey);
  run.UpdateRegistration();
  EXPECT_EQ(lock.held, 0);
  // No count to read.
  reg.SetRaw(kHkeyLocalMachine, kOwnKey, "AppsServed", platform::kRegSz, "3");
  run.UpdateRegistration();
  EXPECT_EQ(lock.held, 0);
  EXPECT_EQ(lock.countAtAcquire.size(), lock.countAtRelease.size());
  EXPECT_EQ(lock.countAtAcquire.size(), 3u);
}

TEST_F(RegistrationLock, NotTakenForAnotherFilesRegistration) {
  Register(1);
  reg.SetString(kHkeyLocalMachine, kOwnKey, "AppPath", "D:\\Outro\\desinstalador.exe");
  fs.AddFile("D:\\Outro\\desinstalador.exe");
  run.UpdateRegistration();
  EXPECT_TRUE(lock.names.empty());
  ExpectUntouched(1);
}

TEST_F(RegistrationLock, TimeoutLeavesTheCountAndSchedulesNothing) {
  Register(1);
  lock.available = false;
  run.UpdateRegistration();
  EXPECT_EQ(lock.names.size(), 1u);
  EXPECT_EQ(lock.held, 0);  // nothing given back that was not taken
  EXPECT_TRUE(lock.countAtRelease.empty());
  ExpectUntouched(1);
  EXPECT_TRUE(reg.Exists(kHkeyLocalMachine, kOwnKey));
}

}  // namespace
