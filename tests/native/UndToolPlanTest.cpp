#include <gtest/gtest.h>

#include <sstream>

#include <nlohmann/json.hpp>

#include "app/tools/LogWriter.h"
#include "app/RemovalEngine.h"
#include "app/UninstallRun.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeMainView.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeRun.h"
#include "tests/fakes/FakeServices.h"
#include "tests/native/Cp1252.h"
#include "tests/native/DryRunWorld.h"
#include "tools/undtool/Plan.h"
#include "tools/undtool/UndTool.h"

namespace {

using dryrun_world::kDate;
using Json = nlohmann::ordered_json;
using platform::kHkeyCurrentUser;
using platform::kHkeyLocalMachine;
using undtool::PlanItem;
using Kind = PlanItem::Kind;
using Outcome = PlanItem::Outcome;
using testing_cp1252::ToCp1252;

const std::string kLog = "C:\\Apps\\Demo\\demo.und";
const std::string kUninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// One installed world and the plan's view of it.
class UndToolPlan : public testing::Test {
 protected:
  UndToolPlan() { log.appName = "Demo"; }

  void TearDown() override {
    // Whatever was planned, nothing changed.
    EXPECT_TRUE(fs.Mutated().empty());
    EXPECT_TRUE(reg.Deleted().empty());
    EXPECT_EQ(reg.OpenHandles(), 0);
  }

  void File(const std::string& folder, const std::string& name, int32_t date) {
    if (log.folders.empty() || log.folders.back().name != folder) {
      log.folders.push_back({folder, 1});
      log.groups.emplace_back();
    }
    log.groups.back().files.push_back({name, 100, date, 1});
  }
  void Folder(const std::string& name) {
    log.folders.push_back({name, 1});
    log.groups.emplace_back();
  }
  void WriteLog() { fs.AddFile(kLog, kDate, 0, platform::kAttrArchive, app::WriteLog(log)); }

  undtool::PlanResult MakePlan() {
    WriteLog();
    std::string problem;
    auto plan = undtool::MakePlan(kLog, services, problem);
    EXPECT_TRUE(plan) << problem;
    return plan ? *plan : undtool::PlanResult{};
  }
  int Command(std::vector<std::string> args, bool utf8 = false) {
    out.str("");
    err.str("");
    return undtool::Run(args, out, err, nullptr, '\\', utf8, &services);
  }

  const PlanItem* Item(const undtool::PlanResult& plan, Kind kind, const std::string& path) {
    for (const PlanItem& i : plan.items) {
      if (i.kind == kind && platform::PathKey(i.path) == platform::PathKey(path)) return &i;
    }
    ADD_FAILURE() << "no item for " << path;
    static const PlanItem none;
    return &none;
  }

  app::LogContent log;
  fakes::FakeFileSystem fs;
  fakes::FakeRegistry reg;
  fakes::FakeLocale locale;
  dryrun_world::FakeSubkeys lister{reg};
  undtool::PlanServices services{&fs, &reg, &locale, &lister, {}};
  std::ostringstream out, err;
};

TEST_F(UndToolPlan, ChangedFileIsKeptWithBothTimeStamps) {
  File("", "data.ini", kDate);
  fs.AddFile("C:\\Apps\\Demo\\data.ini", kDate + 1);
  const auto plan = MakePlan();
  const PlanItem* item = Item(plan, Kind::File, "C:\\Apps\\Demo\\data.ini");
  EXPECT_EQ(item->outcome, Outcome::Kept);
  EXPECT_EQ(item->loggedTime, kDate);
  EXPECT_EQ(item->diskTime, kDate + 1);
  EXPECT_EQ(item->why, "changed since installation (logged 2001-05-17 10:30:00, on disk 2001-05-17 10:30:02)");
  ASSERT_EQ(plan.failList.size(), 2u);
  EXPECT_EQ(plan.failList[0].text, ToCp1252("Arquivos que não puderam ser apagados:"));
  EXPECT_EQ(plan.failList[1].text, "    C:\\Apps\\Demo\\data.ini");
  EXPECT_EQ(plan.failList[1].kind, app::kFailFile);
}

TEST_F(UndToolPlan, ReadOnlyFileIsPlannedAsRemovedAndTheEmptiedFolderWithIt) {
  log.hostLevels = 1;
  File("", "app.exe", kDate);
  File("Bin\\", "ro.dll", kDate);
  fs.AddFile("C:\\Apps\\Demo\\app.exe", kDate);
  fs.AddFile("C:\\Apps\\Demo\\Bin\\ro.dll", kDate, 0, platform::kAttrReadOnly);
  const auto plan = MakePlan();
  EXPECT_TRUE(plan.logDeleted);
  const PlanItem* ro = Item(plan, Kind::File, "C:\\Apps\\Demo\\Bin\\ro.dll");
  EXPECT_EQ(ro->outcome, Outcome::Removed);
  EXPECT_EQ(ro->why, "its read-only bit is dropped first");
  EXPECT_EQ(Item(plan, Kind::File, "C:\\Apps\\Demo\\app.exe")->why, "");
  // Bin and the installation folder are empty once the plan has run: the
  // log went first, then every file.
  EXPECT_EQ(Item(plan, Kind::Folder, "C:\\Apps\\Demo\\Bin")->outcome, Outcome::Removed);
  EXPECT_EQ(Item(plan, Kind::Folder, "C:\\Apps\\Demo")->outcome, Outcome::Removed);
  EXPECT_TRUE(plan.failList.empty());
  EXPECT_TRUE(fs.Exists(kLog));
  EXPECT_EQ(fs.Attributes("C:\\Apps\\Demo\\Bin\\ro.dll"), platform::kAttrReadOnly);
}

TEST_F(UndToolPlan, NonEmptyFolderIsKeptAndSaysWhatStays) {
  log.hostLevels = 2;
  File("", "app.exe", kDate);
  fs.AddFile("C:\\Apps\\Demo\\app.exe", kDate);
  fs.AddFile("C:\\Apps\\Demo\\notes.txt");
  fs.AddFile("C:\\Apps\\Other\\x.exe");
  const auto plan = MakePlan();
  const PlanItem* base = Item(plan, Kind::Folder, "C:\\Apps\\Demo");
  EXPECT_EQ(base->outcome, Outcome::Kept);
  EXPECT_EQ(base->why, "not empty: 1 entry stays (notes.txt)");
  EXPECT_EQ(Item(plan, Kind::Folder, "C:\\Apps")->why, "not empty: 2 entries stay (Demo, Other)");
  ASSERT_EQ(plan.failList.size(), 3u);
  EXPECT_EQ(plan.failList[1].text, "    C:\\Apps\\Demo");
  EXPECT_EQ(plan.failList[2].text, "    C:\\Apps");
  EXPECT_EQ(plan.failList[2].kind, app::kFailFolder);
}

TEST_F(UndToolPlan, EntriesNotThereAreSaidSo) {
  File("", "gone.dll", kDate);
  File("", "nowafolder", kDate);
  Folder("Hidden\\");
  Folder("Missing\\");
  log.shortcutDir = "C:\\Menu\\Demo";
  log.shortcuts = {"C:\\Menu\\Demo\\gone.lnk"};
  log.regKeys = {{1, "\\1\\Software\\Gone"}, {1, "\\8\\Software\\Nowhere"}};
  fs.AddFolder("C:\\Apps\\Demo\\nowafolder");
  fs.AddFolder("C:\\Apps\\Demo\\Hidden", platform::kAttrDirectory | platform::kAttrHidden);
  const auto plan = MakePlan();
  EXPECT_EQ(Item(plan, Kind::File, "C:\\Apps\\Demo\\gone.dll")->why, "not present");
  EXPECT_EQ(Item(plan, Kind::File, "C:\\Apps\\Demo\\nowafolder")->why, "the path names a folder");
  EXPECT_EQ(Item(plan, Kind::Folder, "C:\\Apps\\Demo\\Hidden")->why, "hidden or system folder: counts as not there");
  EXPECT_EQ(Item(plan, Kind::Folder, "C:\\Apps\\Demo\\Missing")->outcome, Outcome::Absent);
  EXPECT_EQ(Item(plan, Kind::Shortcut, "C:\\Menu\\Demo\\gone.lnk")->outcome, Outcome::Absent);
  EXPECT_EQ(Item(plan, Kind::Key, "HKEY_CURRENT_USER\\Software\\Gone")->why, "not present");
  EXPECT_EQ(Item(plan, Kind::Key, "\\8\\Software\\Nowhere")->why, "the entry names no root key");
  for (const PlanItem& i : plan.items) EXPECT_NE(i.outcome, Outcome::Removed) << i.path;
}

TEST_F(UndToolPlan, KeyWithSubkeysIsKeptAndEndsItsWalk) {
  log.regKeys = {{3, "\\1\\Software\\Maker\\App"}};
  reg.AddKey(kHkeyCurrentUser, "Software\\Maker\\App\\Settings");
  const auto plan = MakePlan();
  const PlanItem* key = Item(plan, Kind::Key, "HKEY_CURRENT_USER\\Software\\Maker\\App");
  EXPECT_EQ(key->outcome, Outcome::Kept);
  EXPECT_EQ(key->why, "it has subkeys; the walk ends here");
  // Nothing above it is tried, and a key with subkeys is not a failure.
  for (const PlanItem& i : plan.items) EXPECT_NE(i.path, "HKEY_CURRENT_USER\\Software\\Maker");
  EXPECT_TRUE(plan.failList.empty());
}

TEST_F(UndToolPlan, LoggedKeysWalkUpThroughParentsTheyEmpty) {
  log.regKeys = {{3, "\\1\\Software\\Maker\\App"}};
  reg.AddKey(kHkeyCurrentUser, "Software\\Maker\\App");
  reg.AddKey(kHkeyCurrentUser, "Software\\Other");
  const auto plan = MakePlan();
  EXPECT_EQ(Item(plan, Kind::Key, "HKEY_CURRENT_USER\\Software\\Maker\\App")->outcome, Outcome::Removed);
  EXPECT_EQ(Item(plan, Kind::Key, "HKEY_CURRENT_USER\\Software\\Maker")->outcome, Outcome::Removed);
  const PlanItem* software = Item(plan, Kind::Key, "HKEY_CURRENT_USER\\Software");
  EXPECT_EQ(software->outcome, Outcome::Kept);
  EXPECT_EQ(software->why, "a direct subkey of its root (Software, System, a user's hive)");
}

TEST_F(UndToolPlan, UninstallKeyGoesWithItsSubkeys) {
  log.uninstallKey = "Demo";
  reg.AddKey(kHkeyLocalMachine, kUninstall + "Demo\\Parts\\One");
  reg.AddKey(kHkeyLocalMachine, kUninstall + "Other");
  const auto plan = MakePlan();
  const PlanItem* key = Item(plan, Kind::Key, "HKEY_LOCAL_MACHINE\\" + kUninstall + "Demo");
  EXPECT_EQ(key->outcome, Outcome::Removed);
  EXPECT_EQ(key->subkeys, (std::vector<std::string>{"HKEY_LOCAL_MACHINE\\" + kUninstall + "Demo\\PARTS\\ONE",
                                                    "HKEY_LOCAL_MACHINE\\" + kUninstall + "Demo\\PARTS"}));
  EXPECT_TRUE(plan.failList.empty());
  EXPECT_TRUE(reg.Exists(kHkeyLocalMachine, kUninstall + "Demo\\Parts\\One"));
}

TEST_F(UndToolPlan, UninstallKeyHeldByAReadOnlySubkeyIsAFailureLine) {
  log.uninstallKey = "Demo";
  reg.AddKey(kHkeyLocalMachine, kUninstall + "Demo\\Free");
  reg.MakeReadOnly(kHkeyLocalMachine, kUninstall + "Demo\\Held");
  const auto plan = MakePlan();
  const PlanItem* key = Item(plan, Kind::Key, "HKEY_LOCAL_MACHINE\\" + kUninstall + "Demo");
  EXPECT_EQ(key->outcome, Outcome::Kept);
  EXPECT_EQ(key->why, "deletion refused: a subkey stays; the subkeys listed still go");
  EXPECT_EQ(key->subkeys, (std::vector<std::string>{"HKEY_LOCAL_MACHINE\\" + kUninstall + "Demo\\FREE"}));
  ASSERT_EQ(plan.failList.size(), 2u);
  EXPECT_EQ(plan.failList[1].text,
            " HKEY_LOCAL_MACHINE\\\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Demo");
}

TEST_F(UndToolPlan, ShortcutsAndTheirFolders) {
  log.shortcutDir = "C:\\Menu\\Demo";
  log.shortcutLevels = 1;
  log.shortcuts = {"C:\\Menu\\Demo\\App.lnk", "C:\\Menu\\Demo\\Tools\\Tool.lnk"};
  fs.AddFile("C:\\Menu\\Demo\\App.lnk", 0, 0, platform::kAttrReadOnly);
  fs.AddFile("C:\\Menu\\Demo\\Tools\\Tool.lnk");
  fs.AddFile("C:\\Menu\\Demo\\Tools\\user.lnk");
  const auto plan = MakePlan();
  EXPECT_EQ(Item(plan, Kind::Shortcut, "C:\\Menu\\Demo\\App.lnk")->outcome, Outcome::Removed);
  EXPECT_EQ(Item(plan, Kind::Shortcut, "C:\\Menu\\Demo\\Tools\\Tool.lnk")->outcome, Outcome::Removed);
  EXPECT_EQ(Item(plan, Kind::Folder, "C:\\Menu\\Demo\\TOOLS")->why, "not empty: 1 entry stays (user.lnk)");
  EXPECT_EQ(Item(plan, Kind::Folder, "C:\\Menu\\Demo")->outcome, Outcome::Kept);
  ASSERT_EQ(plan.failList.size(), 3u);
  EXPECT_EQ(plan.failList[0].text, ToCp1252("Pastas de atalhos que não puderam ser apagadas:"));
  EXPECT_EQ(plan.failList[1].text, "    C:\\Menu\\Demo\\TOOLS");
}

TEST_F(UndToolPlan, UnderCodePage932AFolderEndingInByte5CIsPlannedAsTheRunRemovesIt) {
  const std::string table = "C:\\Menu\\\x90\xAC\x90\xD1\x95\x5C";  // "成績表": its last byte is 0x5C
  log.shortcutDir = table;
  log.shortcutLevels = 1;
  fakes::FakeRun<> actual;
  for (auto* w : {&locale, &actual.locale}) w->UseCodePage932();
  fs.UseLocale(&locale);
  actual.fs.UseLocale(&actual.locale);
  fs.AddFolder(table);
  const auto plan = MakePlan();
  EXPECT_EQ(Item(plan, Kind::Folder, table)->outcome, Outcome::Removed);

  actual.fs.AddFile(kLog, kDate, 0, platform::kAttrArchive, app::WriteLog(log));
  actual.fs.AddFolder(table);
  actual.box.Answer(6);
  ASSERT_TRUE(actual.run.Start(kLog));
  actual.run.Activate();
  EXPECT_FALSE(actual.fs.Exists(table));
  EXPECT_EQ(actual.data.FailList->Count(), 0);
}

TEST_F(UndToolPlan, TextOutputListsEverySectionAndTheFailureListVerbatim) {
  log.hostLevels = 1;
  File("", "app.exe", kDate);
  File("", "data.ini", kDate);
  fs.AddFile("C:\\Apps\\Demo\\app.exe", kDate);
  fs.AddFile("C:\\Apps\\Demo\\data.ini", kDate + 2);
  WriteLog();
  ASSERT_EQ(Command({"plan", kLog}), 0) << err.str();
  const std::string text = out.str();
  for (const std::string& expected : {
           std::string("Plan for C:\\Apps\\Demo\\demo.und (a dry run: nothing has been changed)\n"),
           std::string("The log itself is deleted first.\n"),
           std::string("Would be removed (1):\n  file     C:\\Apps\\Demo\\app.exe\n"),
           std::string("Would be kept (2):\n  file     C:\\Apps\\Demo\\data.ini  -- changed since installation "
                       "(logged 2001-05-17 10:30:00, on disk 2001-05-17 10:30:04)\n"),
           std::string("  folder   C:\\Apps\\Demo  -- not empty: 1 entry stays (data.ini)\n"),
           std::string("Failure list, as the summary dialog would show it (4 lines):\n") +
               ToCp1252("Arquivos que não puderam ser apagados:\n    C:\\Apps\\Demo\\data.ini\n"
                        "Pastas que não puderam ser apagadas:\n    C:\\Apps\\Demo\n"),
           std::string("Not known without trying: a file held open by another program"),
       }) {
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n--- in ---\n" << text;
  }
  // UTF-8 on hosts whose console speaks it.
  ASSERT_EQ(Command({"plan", kLog}, true), 0);
  EXPECT_NE(out.str().find("Arquivos que n\xC3\xA3o puderam"), std::string::npos);
}

TEST_F(UndToolPlan, JsonOutputCarriesTheSameFacts) {
  File("", "app.exe", kDate);
  File("", "data.ini", kDate);
  fs.AddFile("C:\\Apps\\Demo\\app.exe", kDate);
  fs.AddFile("C:\\Apps\\Demo\\data.ini", kDate + 2);
  log.regKeys = {{1, "\\1\\Software\\Caf\351"}};  // "Café"
  reg.AddKey(kHkeyCurrentUser, "Software\\Caf\351");
  WriteLog();
  ASSERT_EQ(Command({"plan", kLog, "--json"}), 0) << err.str();
  const Json j = Json::parse(out.str());
  EXPECT_EQ(j["appName"], "Demo");
  EXPECT_EQ(j["baseDir"], "C:\\Apps\\Demo\\");
  EXPECT_EQ(j["logDeleted"], true);
  ASSERT_EQ(j["remove"].size(), 2u);
  EXPECT_EQ(j["remove"][0]["path"], "C:\\Apps\\Demo\\app.exe");
  EXPECT_EQ(j["remove"][1]["kind"], "key");
  EXPECT_EQ(j["remove"][1]["path"], "HKEY_CURRENT_USER\\Software\\Caf\xC3\xA9");
  ASSERT_EQ(j["keep"].size(), 1u);
  EXPECT_EQ(j["keep"][0]["logged"], "2001-05-17 10:30:00");
  EXPECT_EQ(j["keep"][0]["onDisk"], "2001-05-17 10:30:04");
  ASSERT_EQ(j["failList"].size(), 2u);
  EXPECT_EQ(j["failList"][0]["text"], "Arquivos que n\xC3\xA3o puderam ser apagados:");
  EXPECT_TRUE(j["failList"][0]["kind"].is_null());
  EXPECT_EQ(j["failList"][1]["kind"], "file");
}

TEST_F(UndToolPlan, LogsTheUninstallerRefusesEndWithCodeOne) {
  // Missing.
  EXPECT_EQ(Command({"plan", kLog}), 1);
  EXPECT_NE(err.str().find("no such file (the uninstaller would show message 3)"), std::string::npos) << err.str();
  // Open for writing elsewhere.
  WriteLog();
  fs.OpenForWriting(kLog);
  EXPECT_EQ(Command({"plan", kLog}), 1);
  EXPECT_NE(err.str().find("cannot be opened for reading"), std::string::npos) << err.str();
  fs.Unlock(kLog);
  // Cut short.
  const std::string bytes = app::WriteLog(log);
  fs.SetContent(kLog, bytes.substr(0, bytes.size() - 3));
  EXPECT_EQ(Command({"plan", kLog}), 1);
  EXPECT_NE(err.str().find("would refuse this log (message 6):\n  offset "), std::string::npos) << err.str();
  // A name reaching outside the installation folder.
  File("..\\", "system.ini", kDate);
  fs.SetContent(kLog, app::WriteLog(log));
  EXPECT_EQ(Command({"plan", kLog}), 1);
  EXPECT_NE(err.str().find("would refuse this log"), std::string::npos) << err.str();
  EXPECT_TRUE(out.str().empty());
}

TEST_F(UndToolPlan, UsageAndHostsWithoutServices) {
  EXPECT_EQ(Command({"plan"}), 2);
  EXPECT_NE(err.str().find("plan needs one LOG.und"), std::string::npos);
  EXPECT_EQ(Command({"plan", kLog, "--bogus"}), 2);
  EXPECT_NE(err.str().find("unknown option --bogus"), std::string::npos);
  std::ostringstream o, e;
  EXPECT_EQ(undtool::Run({"plan", kLog}, o, e, nullptr, '/', true), 2);
  EXPECT_NE(e.str().find("plan works on Windows only"), std::string::npos);
  EXPECT_TRUE(o.str().empty());
}

// The plan over one copy of a random world against a real run over another:
// the same failure list, and exactly the entries and keys the run removes.
TEST(UndToolPlanProperty, PlanPredictsTheRealRun) {
  for (uint32_t seed = 1000; seed < 1300; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    dryrun_world::World planned, actual;
    dryrun_world::Build(planned, seed);
    dryrun_world::Build(actual, seed);
    const auto pathsBefore = dryrun_world::Paths(planned.fs);
    const auto keysBefore = dryrun_world::Keys(planned.reg);

    dryrun_world::FakeSubkeys lister(planned.reg);
    undtool::PlanServices services{&planned.fs, &planned.reg, &planned.locale, &lister, {}};
    std::string problem;
    const auto plan = undtool::MakePlan(dryrun_world::kLogPath, services, problem);
    ASSERT_TRUE(plan) << problem;

    // The uninstaller's own run, Yes to the question.
    dryrun_world::EngineRun engine(actual, actual.fs, actual.reg);
    engine.box.Answer(6);
    ASSERT_TRUE(engine.run.Start(dryrun_world::kLogPath));
    engine.run.Activate();
    ASSERT_TRUE(engine.data.FailList);

    const auto realFails = engine.Failures();
    ASSERT_EQ(plan->failList.size(), realFails.size());
    for (size_t i = 0; i < realFails.size(); ++i) {
      EXPECT_EQ(plan->failList[i].text, realFails[i].first);
      EXPECT_EQ(plan->failList[i].kind, realFails[i].second);
    }

    std::set<std::string> removed, deleted;
    if (plan->logDeleted) removed.insert(platform::PathKey(dryrun_world::kLogPath));
    for (const PlanItem& i : plan->items) {
      if (i.outcome != Outcome::Removed) continue;
      if (i.kind == Kind::Key) {
        EXPECT_TRUE(deleted.insert(platform::PathKey(i.path)).second) << i.path;
        for (const std::string& s : i.subkeys) deleted.insert(platform::PathKey(s));
      } else {
        EXPECT_TRUE(removed.insert(platform::PathKey(i.path)).second) << i.path;
      }
    }
    // A kept tree's subkeys that still go.
    for (const PlanItem& i : plan->items) {
      if (i.outcome == Outcome::Kept) {
        for (const std::string& s : i.subkeys) deleted.insert(platform::PathKey(s));
      }
    }
    EXPECT_EQ(removed, dryrun_world::Minus(pathsBefore, dryrun_world::Paths(actual.fs)));
    // The real run also counts its registration down; only the removal's
    // keys are compared.
    EXPECT_EQ(deleted, dryrun_world::Minus(keysBefore, dryrun_world::Keys(actual.reg)));

    // What the plan keeps is still there after the real run.
    for (const PlanItem& i : plan->items) {
      if (i.outcome == Outcome::Kept && i.kind != Kind::Key) {
        EXPECT_TRUE(actual.fs.Exists(i.path)) << i.path;
      }
    }

    EXPECT_TRUE(planned.fs.Mutated().empty());
    EXPECT_TRUE(planned.reg.Deleted().empty());
    EXPECT_EQ(planned.reg.FlushCount(), 0);
    EXPECT_EQ(dryrun_world::Paths(planned.fs), pathsBefore);
    EXPECT_EQ(dryrun_world::Keys(planned.reg), keysBefore);
  }
}

}  // namespace
