#include <gtest/gtest.h>

#include "app/tools/DryRun.h"
#include "app/RemovalEngine.h"
#include "app/UninstallRun.h"
#include "platform/WindowsRules.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeMainView.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeServices.h"
#include "tests/native/DryRunWorld.h"

namespace {

using dryrun_world::FakeSubkeys;
using platform::kAttrArchive;
using platform::kAttrDirectory;
using platform::kAttrNormal;
using platform::kAttrReadOnly;
using platform::kHkeyCurrentUser;
using platform::kHkeyLocalMachine;

class DryRunFiles : public testing::Test {
 protected:
  void TearDown() override {
    // Nothing a dry run does ever reaches the machine.
    EXPECT_TRUE(real.Mutated().empty());
  }
  fakes::FakeFileSystem real;
  app::DryRunFileSystem fs{real};
};

TEST_F(DryRunFiles, RemovedFileIsNoLongerFoundListedOrRead) {
  real.AddFile("C:\\App\\a.dll", 7, 0, kAttrArchive, "bytes");
  real.AddFile("C:\\App\\b.dll");
  ASSERT_TRUE(fs.RemoveFile("c:\\app\\A.DLL"));
  EXPECT_FALSE(fs.FindEntry("C:\\App\\a.dll"));
  EXPECT_FALSE(fs.GetAttributes("C:\\App\\a.dll"));
  EXPECT_FALSE(fs.ReadDenyWrite("C:\\App\\a.dll"));
  const auto listed = fs.ListFolder("C:\\App");
  ASSERT_TRUE(listed);
  std::vector<std::string> names;
  for (const auto& e : *listed) names.push_back(e.name);
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", "b.dll"}));
  EXPECT_TRUE(real.Exists("C:\\App\\a.dll"));
  EXPECT_FALSE(fs.RemoveFile("C:\\App\\a.dll"));  // gone is gone
}

TEST_F(DryRunFiles, RemoveFileRefusesWhatWindowsRefuses) {
  real.AddFile("C:\\App\\ro.dll", 0, 0, kAttrReadOnly);
  real.AddFolder("C:\\App\\Folder");
  // The codes Windows gives, and the reasons in words.
  EXPECT_EQ(fs.RemoveFile("C:\\App\\ro.dll").error(), platform::kErrorAccessDenied);
  EXPECT_EQ(fs.RemoveFile("C:\\App\\Folder").error(), platform::kErrorAccessDenied);
  EXPECT_EQ(fs.RemoveFile("C:\\App\\missing.dll").error(), platform::kErrorFileNotFound);
  EXPECT_EQ(fs.Why("C:\\App\\ro.dll"), "read-only");
  EXPECT_EQ(fs.Why("C:\\App\\Folder"), "a folder, not a file");
  EXPECT_EQ(fs.Why("C:\\App\\missing.dll"), "not present");
  EXPECT_TRUE(real.Exists("C:\\App\\ro.dll"));
}

TEST_F(DryRunFiles, DroppedReadOnlyBitLetsTheFileGoAndShowsMeanwhile) {
  real.AddFile("C:\\App\\ro.dll", 0, 0, kAttrReadOnly | kAttrArchive);
  ASSERT_TRUE(fs.SetAttributes("C:\\App\\ro.dll", kAttrArchive));
  EXPECT_EQ(fs.GetAttributes("C:\\App\\ro.dll"), kAttrArchive);
  EXPECT_EQ(fs.FindEntry("C:\\App\\ro.dll")->attributes, kAttrArchive);
  EXPECT_EQ(fs.ListFolder("C:\\App")->back().attributes, kAttrArchive);
  EXPECT_EQ(real.Attributes("C:\\App\\ro.dll"), kAttrReadOnly | kAttrArchive);
  EXPECT_TRUE(fs.RemoveFile("C:\\App\\ro.dll"));
}

TEST_F(DryRunFiles, SetAttributesFollowsWindows) {
  real.AddFile("C:\\App\\f.txt", 0, 0, kAttrReadOnly);
  real.AddFolder("C:\\App\\D", kAttrDirectory | kAttrReadOnly);
  ASSERT_TRUE(fs.SetAttributes("C:\\App\\f.txt", 0));
  EXPECT_EQ(fs.GetAttributes("C:\\App\\f.txt"), kAttrNormal);  // nothing left reads as normal
  ASSERT_TRUE(fs.SetAttributes("C:\\App\\D", 0));
  EXPECT_EQ(fs.GetAttributes("C:\\App\\D"), kAttrDirectory);  // the folder bit stays
  EXPECT_FALSE(fs.SetAttributes("C:\\App\\missing", 0));
}

TEST_F(DryRunFiles, FolderGoesOnlyWhenEverythingInItWentFirst) {
  real.AddFile("C:\\App\\Sub\\a.dll");
  real.AddFile("C:\\App\\b.dll");
  EXPECT_EQ(fs.RemoveFolder("C:\\App").error(), platform::kErrorDirNotEmpty);
  EXPECT_EQ(fs.Why("C:\\App"), "not empty: 2 entries stay (b.dll, Sub)");
  EXPECT_FALSE(fs.RemoveFolder("C:\\App\\Sub"));
  ASSERT_TRUE(fs.RemoveFile("C:\\App\\Sub\\a.dll"));
  ASSERT_TRUE(fs.RemoveFolder("C:\\App\\Sub"));
  EXPECT_FALSE(fs.RemoveFolder("C:\\App"));
  EXPECT_EQ(fs.Why("C:\\App"), "not empty: 1 entry stays (b.dll)");
  ASSERT_TRUE(fs.RemoveFile("C:\\App\\b.dll"));
  EXPECT_TRUE(fs.RemoveFolder("C:\\App"));
  // Below a removed folder nothing is left to find.
  EXPECT_FALSE(fs.FindEntry("C:\\App\\Sub\\a.dll"));
  EXPECT_FALSE(fs.ListFolder("C:\\App"));
  EXPECT_EQ(fs.Removed(), (std::vector<std::string>{"C:\\APP\\SUB\\A.DLL", "C:\\APP\\SUB", "C:\\APP\\B.DLL", "C:\\APP"}));
  EXPECT_EQ(real.AllPaths().size(), 4u);
}

TEST_F(DryRunFiles, FolderRemovalRefusesFilesReadOnlyAndUnlistableFolders) {
  real.AddFolder("C:\\App\\Locked", kAttrDirectory | kAttrReadOnly);
  real.AddFolder("C:\\App\\Unlistable");
  real.Fail(fakes::FsOp::List, "C:\\App\\Unlistable");
  real.AddFile("C:\\App\\f.txt");
  const std::vector<std::string> paths = {"C:\\App\\Locked", "C:\\App\\Unlistable", "C:\\App\\f.txt",
                                         "C:\\App\\None"};
  std::vector<std::string> why;
  std::vector<uint32_t> codes;
  for (const std::string& p : paths) {
    codes.push_back(fs.RemoveFolder(p).error());
    why.push_back(fs.Why(p));
  }
  EXPECT_EQ(why, (std::vector<std::string>{"read-only folder", "its entries cannot be listed", "a file, not a folder",
                                           "not present"}));
  EXPECT_EQ(codes, (std::vector<uint32_t>{platform::kErrorAccessDenied, platform::kErrorAccessDenied,
                                          platform::kErrorDirectory, platform::kErrorFileNotFound}));
}

TEST_F(DryRunFiles, ALockedFileCannotBeToldWithoutTrying) {
  // The honest limit of a dry run: the system says "in use" only to the
  // deletion itself.
  real.AddFile("C:\\App\\busy.dll");
  real.Lock("C:\\App\\busy.dll");
  fakes::FakeFileSystem twin = real;
  EXPECT_TRUE(fs.RemoveFile("C:\\App\\busy.dll"));
  EXPECT_FALSE(twin.RemoveFile("C:\\App\\busy.dll"));
  EXPECT_TRUE(real.Exists("C:\\App\\busy.dll"));
}

class DryRunKeys : public testing::Test {
 protected:
  void TearDown() override {
    EXPECT_TRUE(real.Deleted().empty());
    EXPECT_EQ(real.FlushCount(), 0);
    EXPECT_EQ(real.OpenHandles(), 0);
  }
  fakes::FakeRegistry real;
  FakeSubkeys lister{real};
  app::DryRunRegistry reg{real, &lister};
};

TEST_F(DryRunKeys, KeyWithSubkeysStaysUntilTheyAreDeletedHere) {
  real.AddKey(kHkeyCurrentUser, "Software\\Maker\\App\\Sub");
  EXPECT_EQ(reg.DeleteKey(kHkeyCurrentUser, "\\Software\\Maker\\App").error(), platform::kErrorAccessDenied);
  EXPECT_EQ(reg.Why(kHkeyCurrentUser, "Software\\Maker\\App"), "it has subkeys");
  ASSERT_TRUE(reg.DeleteKey(kHkeyCurrentUser, "\\Software\\Maker\\App\\Sub"));
  {
    auto key = reg.OpenKey(kHkeyCurrentUser, "\\software\\maker\\APP");
    ASSERT_NE(key, nullptr);
    EXPECT_FALSE(key->HasSubkeys());
  }
  EXPECT_TRUE(reg.DeleteKey(kHkeyCurrentUser, "\\Software\\Maker\\App"));
  EXPECT_EQ(reg.OpenKey(kHkeyCurrentUser, "Software\\Maker\\App"), nullptr);
  EXPECT_FALSE(reg.KeyExists(kHkeyCurrentUser, "Software\\Maker\\App\\Sub"));
  EXPECT_TRUE(reg.KeyExists(kHkeyCurrentUser, "Software\\Maker"));
  EXPECT_EQ(reg.Deleted(), (std::vector<std::string>{"HKEY_CURRENT_USER\\Software\\Maker\\App\\Sub",
                                                     "HKEY_CURRENT_USER\\Software\\Maker\\App"}));
  EXPECT_TRUE(real.Exists(kHkeyCurrentUser, "Software\\Maker\\App\\Sub"));
}

TEST_F(DryRunKeys, DeleteKeyRefusesMissingRootAndReadOnlyKeys) {
  real.MakeReadOnly(kHkeyCurrentUser, "Software\\Fixed");
  EXPECT_FALSE(reg.DeleteKey(kHkeyCurrentUser, "Software\\Fixed"));
  EXPECT_FALSE(reg.DeleteKey(kHkeyCurrentUser, "Software\\Missing"));
  EXPECT_FALSE(reg.DeleteKey(kHkeyCurrentUser, ""));
  EXPECT_FALSE(reg.DeleteKeyTree(kHkeyCurrentUser, "\\"));
  EXPECT_TRUE(reg.Deleted().empty());
}

TEST_F(DryRunKeys, SubkeyCountThatCannotBeReadStillBlocksTheDeletion) {
  // As on Windows: the engine's query says "none", the deletion meets them.
  real.AddKey(kHkeyCurrentUser, "Software\\App\\Sub");
  real.Fail(fakes::RegOp::QueryInfo, kHkeyCurrentUser, "Software\\App");
  auto key = reg.OpenKey(kHkeyCurrentUser, "Software\\App");
  ASSERT_NE(key, nullptr);
  EXPECT_FALSE(key->HasSubkeys());
  key.reset();
  EXPECT_FALSE(reg.DeleteKey(kHkeyCurrentUser, "Software\\App"));
}

TEST_F(DryRunKeys, TreeDeletionTakesWhatItCanDepthFirst) {
  const std::string u = "Software\\Uninstall\\Demo";
  real.AddKey(kHkeyLocalMachine, u + "\\A\\Deep");
  real.AddKey(kHkeyLocalMachine, u + "\\B");
  ASSERT_TRUE(reg.DeleteKeyTree(kHkeyLocalMachine, "\\" + u));
  EXPECT_EQ(reg.Taken(kHkeyLocalMachine, u),
            (std::vector<std::string>{"HKEY_LOCAL_MACHINE\\Software\\Uninstall\\Demo\\A\\DEEP",
                                      "HKEY_LOCAL_MACHINE\\Software\\Uninstall\\Demo\\A",
                                      "HKEY_LOCAL_MACHINE\\Software\\Uninstall\\Demo\\B",
                                      "HKEY_LOCAL_MACHINE\\Software\\Uninstall\\Demo"}));
  EXPECT_FALSE(reg.KeyExists(kHkeyLocalMachine, u + "\\B"));
  EXPECT_TRUE(reg.KeyExists(kHkeyLocalMachine, "Software\\Uninstall"));
}

TEST_F(DryRunKeys, TreeDeletionLeavesAReadOnlySubkeyAndThenFails) {
  const std::string u = "Software\\Uninstall\\Demo";
  real.AddKey(kHkeyLocalMachine, u + "\\Free");
  real.MakeReadOnly(kHkeyLocalMachine, u + "\\Held");
  EXPECT_EQ(reg.DeleteKeyTree(kHkeyLocalMachine, u).error(), platform::kErrorAccessDenied);
  EXPECT_EQ(reg.Why(kHkeyLocalMachine, u), "a subkey stays");
  EXPECT_FALSE(reg.KeyExists(kHkeyLocalMachine, u + "\\Free"));
  EXPECT_TRUE(reg.KeyExists(kHkeyLocalMachine, u + "\\Held"));
  EXPECT_TRUE(reg.KeyExists(kHkeyLocalMachine, u));
  // The real tree deletion agrees.
  fakes::FakeRegistry copy = real;
  EXPECT_FALSE(copy.DeleteKeyTree(kHkeyLocalMachine, u));
  EXPECT_FALSE(copy.Exists(kHkeyLocalMachine, u + "\\Free"));
  EXPECT_TRUE(copy.Exists(kHkeyLocalMachine, u + "\\Held"));
}

TEST_F(DryRunKeys, WritesAndFlushesStayInTheOverlay) {
  real.SetString(kHkeyLocalMachine, "Software\\K", "Name", "old");
  real.MakeReadOnly(kHkeyLocalMachine, "Software\\R");
  {
    auto key = reg.OpenKey(kHkeyLocalMachine, "Software\\K");
    ASSERT_NE(key, nullptr);
    EXPECT_TRUE(key->WriteString("name", "new"));
    EXPECT_TRUE(key->WriteInt("Count", 3));
    EXPECT_TRUE(key->Flush());
    EXPECT_EQ(key->ReadString("NAME"), "new");
    EXPECT_EQ(key->ReadInt("count"), 3);
    EXPECT_FALSE(key->ReadInt("Name"));
    EXPECT_TRUE(key->ValueExists("Count"));
    auto readOnly = reg.OpenKey(kHkeyLocalMachine, "Software\\R");
    ASSERT_NE(readOnly, nullptr);
    EXPECT_FALSE(readOnly->WriteInt("Count", 1));
  }
  EXPECT_EQ(real.GetValue(kHkeyLocalMachine, "Software\\K", "Name")->data, "old");
  EXPECT_FALSE(real.GetValue(kHkeyLocalMachine, "Software\\K", "Count"));
  EXPECT_EQ(reg.Why(kHkeyLocalMachine, "Software\\R"), "the key is open for reading only");
  EXPECT_EQ(reg.Why(kHkeyLocalMachine, "Software\\K"), "");
}

TEST_F(DryRunKeys, AKeyDeletedWhileOpenAnswersWithErrors) {
  real.SetString(kHkeyLocalMachine, "Software\\K", "Name", "v");
  auto key = reg.OpenKey(kHkeyLocalMachine, "Software\\K");
  ASSERT_NE(key, nullptr);
  ASSERT_TRUE(reg.DeleteKey(kHkeyLocalMachine, "Software\\K"));
  EXPECT_FALSE(key->ReadString("Name"));
  EXPECT_FALSE(key->WriteString("Name", "w"));
  EXPECT_FALSE(key->Flush());
}

TEST(DryRunKeysWithoutLister, ParentOfADeletedSubkeyIsTakenToKeepOthers) {
  fakes::FakeRegistry real;
  real.AddKey(kHkeyCurrentUser, "Software\\App\\Sub");
  app::DryRunRegistry reg(real);
  ASSERT_TRUE(reg.DeleteKey(kHkeyCurrentUser, "Software\\App\\Sub"));
  // Without a list of its subkeys nothing says Sub was the only one.
  EXPECT_FALSE(reg.DeleteKey(kHkeyCurrentUser, "Software\\App"));
  EXPECT_TRUE(real.Deleted().empty());
}

// The engine over the dry-run layer against the engine over an identical
// world: the same failure list, the same removals, and afterwards the same
// view of every entry and key; the planned world itself stays as it was.
TEST(DryRunProperty, PlanOverACopyPredictsTheRealRunExactly) {
  int withFailures = 0, withRemovals = 0, withKeys = 0;
  for (uint32_t seed = 1; seed <= 400; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    dryrun_world::World planned, actual;
    dryrun_world::Build(planned, seed);
    dryrun_world::Build(actual, seed);
    const auto pathsBefore = dryrun_world::Paths(planned.fs);
    const auto keysBefore = dryrun_world::Keys(planned.reg);
    ASSERT_EQ(pathsBefore, dryrun_world::Paths(actual.fs));

    FakeSubkeys lister(planned.reg);
    app::DryRunFileSystem dryFs(planned.fs);
    app::DryRunRegistry dryReg(planned.reg, &lister);
    dryrun_world::EngineRun plan(planned, dryFs, dryReg);
    plan.Go();
    dryrun_world::EngineRun real(actual, actual.fs, actual.reg);
    real.Go();

    EXPECT_EQ(plan.Failures(), real.Failures());
    EXPECT_EQ(plan.view.summaries, real.view.summaries);
    const std::set<std::string> removed(dryFs.Removed().begin(), dryFs.Removed().end());
    EXPECT_EQ(removed, dryrun_world::Minus(pathsBefore, dryrun_world::Paths(actual.fs)));
    std::set<std::string> deleted;
    for (const std::string& k : dryReg.Deleted()) deleted.insert(platform::PathKey(k));
    EXPECT_EQ(deleted, dryrun_world::Minus(keysBefore, dryrun_world::Keys(actual.reg)));

    // What the engine would see now is what it sees after the real run.
    for (const std::string& p : planned.fs.AllPaths()) {
      ASSERT_EQ(dryFs.IsRemoved(p), !actual.fs.Exists(p)) << p;
      if (actual.fs.Exists(p)) {
        EXPECT_EQ(dryFs.GetAttributes(p), actual.fs.Attributes(p)) << p;
      } else {
        EXPECT_FALSE(dryFs.FindEntry(p)) << p;
      }
    }
    for (const std::string& k : planned.reg.AllKeys()) {
      const uint32_t root = static_cast<uint32_t>(std::stoul(k.substr(0, 8), nullptr, 16));
      const std::string path = k.substr(9);
      EXPECT_EQ(dryReg.IsDeleted(root, path), !actual.reg.Exists(root, path)) << k;
    }

    // The planned world is as it was.
    EXPECT_TRUE(planned.fs.Mutated().empty());
    EXPECT_TRUE(planned.reg.Deleted().empty());
    EXPECT_EQ(planned.reg.FlushCount(), 0);
    EXPECT_EQ(dryrun_world::Paths(planned.fs), pathsBefore);
    EXPECT_EQ(dryrun_world::Keys(planned.reg), keysBefore);
    EXPECT_TRUE(planned.fs.Exists(dryrun_world::kLogPath));

    withFailures += !real.Failures().empty();
    withRemovals += !removed.empty();
    withKeys += !deleted.empty();
  }
  // The worlds cover both outcomes, or the comparison proves little.
  EXPECT_GT(withFailures, 100);
  EXPECT_GT(withRemovals, 300);
  EXPECT_GT(withKeys, 100);
}

}  // namespace
