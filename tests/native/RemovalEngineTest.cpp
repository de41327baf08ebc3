#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <random>
#include <set>

#include "app/tools/LogWriter.h"
#include "app/OutcomeWords.h"
#include "app/RemovalEngine.h"
#include "app/UninstallRun.h"
#include "env/Enviro.h"
#include "platform/Error.h"
#include "platform/ServiceWrappers.h"
#include "platform/WindowsRules.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeMainView.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeServices.h"
#include "tests/fuzz/RemovalSafety.h"
#include "tests/native/Cp1252.h"

using testing_cp1252::ToCp1252;

namespace {

using fakes::FsOp;
using fakes::RegOp;
using platform::kHkeyCurrentUser;
using platform::kHkeyLocalMachine;

constexpr int32_t kDate = 0x2AB153C0;  // 17 May 2001, 10:30:00
constexpr int kNoObject = -1;

const std::string kFilesHeader = ToCp1252("Arquivos que não puderam ser apagados:");
const std::string kFoldersHeader = ToCp1252("Pastas que não puderam ser apagadas:");
const std::string kShortcutsHeader = ToCp1252("Atalhos que não puderam ser apagados:");
const std::string kShortcutFoldersHeader = ToCp1252("Pastas de atalhos que não puderam ser apagadas:");
const std::string kRegistryHeader = ToCp1252("Registros que não puderam ser eliminados:");
const std::string kUninstallShown = "HKEY_LOCAL_MACHINE\\\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const std::string kUninstallPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// A file system that passes everything to the fake, but throws the project's
// error from one chosen operation on one chosen path.
class ThrowingFs : public platform::FileSystemWrapper {
 public:
  using FileSystemWrapper::FileSystemWrapper;
  void ThrowOn(FsOp op, const std::string& path) {
    op_ = op;
    path_ = platform::PathKey(path);
  }

  using FileSystemWrapper::FindEntry;
  using FileSystemWrapper::RemoveFolder;
  std::optional<platform::FileEntry> FindEntry(const std::string& p, platform::Status& s) override {
    Maybe(FsOp::Find, p);
    return FileSystemWrapper::FindEntry(p, s);
  }
  platform::Status RemoveFolder(const std::string& p, const platform::Place& within) override {
    Maybe(FsOp::RemoveFolder, p);
    return FileSystemWrapper::RemoveFolder(p, within);
  }

 private:
  void Maybe(FsOp op, const std::string& p) {
    if (op_ && *op_ == op && platform::PathKey(p) == path_) throw platform::Error("boom");
  }
  std::optional<FsOp> op_;
  std::string path_;
};

// A registry that passes everything to the fake, but refuses a chosen key
// from its n-th opening on: the key test finds it, the opening that follows
// fails (a key whose rights changed in between).
class FlakyRegistry : public platform::RegistryWrapper {
 public:
  using RegistryWrapper::RegistryWrapper;
  void FailOpensFrom(uint32_t root, const std::string& path, int nth) { failFrom_[platform::KeyNode(root, path)] = nth; }

  using platform::IRegistry::OpenKey;
  std::unique_ptr<platform::IRegKey> OpenKey(uint32_t root, const std::string& path,
                                             platform::Status& status) override {
    const std::string name = platform::KeyNode(root, path);
    const int count = ++opens_[name];
    auto it = failFrom_.find(name);
    if (it != failFrom_.end() && count >= it->second) {
      status = platform::Status::Refused(platform::kErrorAccessDenied);
      return nullptr;
    }
    return RegistryWrapper::OpenKey(root, path, status);
  }

 private:
  std::map<std::string, int> failFrom_;
  std::map<std::string, int> opens_;
};

struct EngineFixture : ::testing::Test {
  fakes::FakeFileSystem fs;
  ThrowingFs fsProxy{fs};
  fakes::FakeRegistry registry;
  FlakyRegistry registryProxy{registry};
  fakes::FakeMessageBox box;
  fakes::FakeLocale locale;
  fakes::FakeModule module;
  fakes::FakeNamedLock lock;
  fakes::FakeNamedLock claim;
  fakes::FakeMainView view;
  app::PersonHost person = fakes::PersonAt(box, view);
  app::TRunData data;
  app::Services services{fsProxy, registryProxy, box, locale, module, lock, claim};
  app::UninstallRun run{services, person, view, data};

  EngineFixture() { data.UninsData.BaseDir = "D:\\Demo\\"; }

  // Run data as the log reader leaves it.
  void Folder(const std::string& name) {
    if (!data.FolderList) data.FolderList = std::make_unique<app::TFolderList>();
    if (!data.FileLists) data.FileLists = std::make_unique<app::TFileLists>();
    data.FolderList->Add(name, std::make_unique<app::TDirData>());
    data.FileLists->push_back(std::make_unique<app::TZDataList>());
  }
  void File(size_t folder, const std::string& name, uint32_t size = 100, int32_t date = kDate) {
    auto z = std::make_unique<app::TZData>();
    z->Name = name;
    z->Size = size;
    z->Date = date;
    (*data.FileLists)[folder]->Add(std::move(z));
  }
  void Shortcut(const std::string& path) {
    if (!data.ShortcutList) data.ShortcutList = std::make_unique<app::TTextList>();
    data.ShortcutList->push_back(path);
  }
  void LoggedKey(uint8_t levels, const std::string& entry) {
    data.RegKeyLevels.push_back(levels);
    data.RegKeyList.push_back(entry);
  }

  void Remove() { run.RemoveInstallation(); }

  std::vector<std::string> Lines() const {
    std::vector<std::string> out;
    for (int i = 0; i < data.FailList->Count(); ++i) out.push_back(data.FailList->Text(i));
    return out;
  }
  std::vector<int> Kinds() const {
    std::vector<int> out;
    for (int i = 0; i < data.FailList->Count(); ++i) {
      const app::TFailData* d = data.FailList->Object(i);
      out.push_back(d ? d->Kind : kNoObject);
    }
    return out;
  }
  std::vector<std::string> Objects() const {
    std::vector<std::string> out;
    for (const auto& p : view.progress) out.push_back(p.object);
    return out;
  }
  std::vector<std::string> CallsOf(const std::string& op) const {
    std::vector<std::string> out;
    for (const std::string& c : fs.Calls()) {
      if (c.rfind(op + " ", 0) == 0) out.push_back(c.substr(op.size() + 1));
    }
    return out;
  }
  bool Touched(const std::string& path) const {
    for (const std::string& m : fs.Mutated()) {
      if (fakes::FakeFileSystem::Key(m) == fakes::FakeFileSystem::Key(path)) return true;
    }
    return false;
  }
  bool Contains(const std::vector<std::string>& v, const std::string& s) const {
    return std::find(v.begin(), v.end(), s) != v.end();
  }
};

// ---- installed files ----

using RemovalEngineFiles = EngineFixture;

TEST_F(RemovalEngineFiles, FileWithLoggedStampIsDeletedAndBytesCounted) {
  Folder("");
  File(0, "app.exe", 4096);
  data.UninsData.TotalBytes = 4096;
  run.BytesToProcess = 4096;
  fs.AddFile("D:\\Demo\\app.exe", kDate);
  Remove();
  EXPECT_FALSE(fs.Exists("D:\\Demo\\app.exe"));
  EXPECT_EQ(data.FailList->Count(), 0);
  EXPECT_EQ(run.BytesProcessed, 4096);
  ASSERT_FALSE(view.progress.empty());
  EXPECT_EQ(view.progress[0].object, "app.exe");
  EXPECT_EQ(view.progress[0].position, 100);
  EXPECT_EQ(view.summaries, 0);
}

TEST_F(RemovalEngineFiles, TwoSecondsOfDifferenceLeaveTheFileAndListIt) {
  Folder("");
  File(0, "data.ini", 700, kDate);
  fs.AddFile("D:\\Demo\\data.ini", kDate + 1);  // one DOS time step: two seconds
  Remove();
  EXPECT_TRUE(fs.Exists("D:\\Demo\\data.ini"));
  EXPECT_FALSE(Touched("D:\\Demo\\data.ini"));
  EXPECT_EQ(Lines(), (std::vector<std::string>{kFilesHeader, "    D:\\Demo\\data.ini"}));
  EXPECT_EQ(Kinds(), (std::vector<int>{kNoObject, app::kFailFile}));
  EXPECT_EQ(run.BytesProcessed, 700);
  EXPECT_EQ(view.summaries, 1);
}

TEST_F(RemovalEngineFiles, ReadOnlyFileWithLoggedStampLosesTheBitAndGoes) {
  Folder("");
  File(0, "ro.dll");
  fs.AddFile("D:\\Demo\\ro.dll", kDate, 0, platform::kAttrReadOnly | platform::kAttrArchive);
  Remove();
  EXPECT_FALSE(fs.Exists("D:\\Demo\\ro.dll"));
  EXPECT_EQ(data.FailList->Count(), 0);
}

TEST_F(RemovalEngineFiles, MissingFileAndFolderAtAFilesPathAreNeitherDeletedNorListed) {
  Folder("");
  File(0, "gone.txt", 10);
  File(0, "adir", 20);
  fs.AddFolder("D:\\Demo\\adir");
  Remove();
  EXPECT_TRUE(fs.IsFolder("D:\\Demo\\adir"));
  EXPECT_FALSE(Touched("D:\\Demo\\gone.txt"));
  EXPECT_FALSE(Touched("D:\\Demo\\adir"));
  EXPECT_EQ(data.FailList->Count(), 0);
  EXPECT_EQ(run.BytesProcessed, 30);  // sizes count all the same
}

TEST_F(RemovalEngineFiles, ReadOnlyBitThatCannotBeDroppedListsTheFileWithoutDeleting) {
  Folder("");
  File(0, "a.txt");
  fs.AddFile("D:\\Demo\\a.txt", kDate, 0, platform::kAttrReadOnly);
  fs.Fail(FsOp::SetAttributes, "D:\\Demo\\a.txt");
  Remove();
  EXPECT_TRUE(fs.Exists("D:\\Demo\\a.txt"));
  EXPECT_TRUE(CallsOf("RemoveFile").empty());
  EXPECT_EQ(Lines(), (std::vector<std::string>{kFilesHeader, "    D:\\Demo\\a.txt"}));
  EXPECT_EQ(Kinds(), (std::vector<int>{kNoObject, app::kFailFile}));
}

// A file that the system finds to be reached through a link only when it
// is deleted (Wine shows a link to a file as a plain file) is a link: kept
// and listed as any link is, never reported as a failed deletion.
TEST_F(RemovalEngineFiles, FileFoundToBeALinkAtItsDeletionIsKeptAsALink) {
  Folder("");
  File(0, "a.txt");
  fs.AddFile("D:\\Demo\\a.txt", kDate);
  fs.Fail(FsOp::RemoveFile, "D:\\Demo\\a.txt", platform::kErrorThroughLink);
  struct : app::IRunListener {
    std::vector<app::Result> results;
    void OnOutcome(const app::Outcome& o) override { results.push_back(o.result); }
  } heard;
  run.Listen(heard);
  Remove();
  EXPECT_EQ(heard.results, std::vector<app::Result>{app::Result::Link});
  EXPECT_TRUE(fs.Exists("D:\\Demo\\a.txt"));
  EXPECT_EQ(Lines(), (std::vector<std::string>{kFilesHeader, "    D:\\Demo\\a.txt"}));
}

TEST_F(RemovalEngineFiles, FileInUseIsListedAndKeepsItsDroppedReadOnlyBit) {
  Folder("");
  File(0, "busy.dll");
  fs.AddFile("D:\\Demo\\busy.dll", kDate, 0, platform::kAttrReadOnly);
  fs.Lock("D:\\Demo\\busy.dll");
  Remove();
  EXPECT_TRUE(fs.Exists("D:\\Demo\\busy.dll"));
  EXPECT_EQ(*fs.Attributes("D:\\Demo\\busy.dll") & platform::kAttrReadOnly, 0u);
  EXPECT_EQ(Lines(), (std::vector<std::string>{kFilesHeader, "    D:\\Demo\\busy.dll"}));
  EXPECT_EQ(Kinds()[1], app::kFailFile);
}

TEST_F(RemovalEngineFiles, PathsJoinBaseFolderEntryAndNameAndWalkForward) {
  data.UninsData.BaseDir = "D:\\Demo";  // no trailing backslash: one is added
  Folder("");
  Folder("bin\\");
  File(0, "a.txt");
  File(1, "b.txt");
  File(1, "c.txt");
  Remove();
  // Each folder is looked at once for a link before its files.
  EXPECT_EQ(CallsOf("Find"), (std::vector<std::string>{"D:\\Demo", "D:\\Demo\\a.txt", "D:\\Demo\\bin",
                                                       "D:\\Demo\\bin\\b.txt", "D:\\Demo\\bin\\c.txt", "D:\\Demo\\bin"}));
}

TEST_F(RemovalEngineFiles, ListsBeyondTheLastFolderAreNotVisited) {
  Folder("");
  data.FileLists->push_back(std::make_unique<app::TZDataList>());  // a list with no folder
  auto z = std::make_unique<app::TZData>();
  z->Name = "stray.txt";
  z->Size = 5;
  z->Date = kDate;
  (*data.FileLists)[1]->Add(std::move(z));
  fs.AddFile("D:\\Demo\\stray.txt", kDate);
  Remove();
  EXPECT_TRUE(fs.Exists("D:\\Demo\\stray.txt"));
  EXPECT_EQ(run.BytesProcessed, 0);
  EXPECT_FALSE(Contains(Objects(), "stray.txt"));
}

TEST_F(RemovalEngineFiles, AFolderWithoutAListHasNoFilesButIsStillTried) {
  Folder("");
  File(0, "a.txt");
  data.FolderList->Add("more\\");  // fewer lists than folders
  fs.AddFolder("D:\\Demo\\more");
  Remove();
  EXPECT_FALSE(fs.Exists("D:\\Demo\\more"));
  EXPECT_EQ(CallsOf("Find"), (std::vector<std::string>{"D:\\Demo", "D:\\Demo\\a.txt", "D:\\Demo\\more"}));
}

TEST_F(RemovalEngineFiles, InstallationsPastTwoGibibytesCountRightFromTheLog) {
  app::LogContent log;
  log.totalBytes = 3000000000u;
  log.folders = {{"", 1}};
  log.groups = {{std::nullopt, {{"big.iso", 0, kDate, 1}, {"small.bin", 500000000, kDate, 1}}}};
  log.groups[0].files[0].size = 2500000000u;
  fs.AddFile("D:\\Demo\\demo.und", 0, 0, platform::kAttrArchive, app::WriteLog(log));
  run.LogPath = "D:\\Demo\\demo.und";
  ASSERT_TRUE(run.ReadLog());
  Remove();
  ASSERT_GE(view.progress.size(), 2u);
  EXPECT_EQ(view.progress[0].jobDone, "2.500.000.000 bytes processados de 3.000.000.000 bytes a processar");
  EXPECT_EQ(view.progress[0].position, 83);
  EXPECT_EQ(view.progress[1].position, 100);
}

TEST_F(RemovalEngineFiles, ATotalOfZeroLeavesTheBarAlone) {
  Folder("");
  File(0, "a", 10);
  run.BytesToProcess = 0;
  Remove();
  ASSERT_FALSE(view.progress.empty());
  for (const auto& p : view.progress) EXPECT_FALSE(p.position.has_value()) << p.object;
}

// ---- installation folders and host folders ----

using RemovalEngineFolders = EngineFixture;

TEST_F(RemovalEngineFolders, ALoneResistingFolderGivesExactlyTwoLines) {
  Folder("");
  Folder("sub\\");
  fs.AddFile("D:\\Demo\\sub\\user.txt");
  Remove();
  EXPECT_EQ(Lines(), (std::vector<std::string>{kFoldersHeader, "    D:\\Demo\\sub"}));
  EXPECT_EQ(Kinds(), (std::vector<int>{kNoObject, app::kFailFolder}));
  EXPECT_TRUE(fs.Exists("D:\\Demo\\sub\\user.txt"));
}

TEST_F(RemovalEngineFolders, IndexZeroIsNeverTriedAndTheWalkRunsBackward) {
  Folder("");
  Folder("a\\");
  Folder("a\\b\\");
  fs.AddFolder("D:\\Demo\\a\\b");
  Remove();
  EXPECT_EQ(CallsOf("RemoveFolder"), (std::vector<std::string>{"D:\\Demo\\a\\b", "D:\\Demo\\a"}));
  EXPECT_TRUE(fs.IsFolder("D:\\Demo"));
  EXPECT_FALSE(fs.Exists("D:\\Demo\\a"));
  EXPECT_EQ(data.FailList->Count(), 0);
  EXPECT_TRUE(Contains(Objects(), "a\\b\\"));
}

TEST_F(RemovalEngineFolders, HostWalkTriesBaseDirThenItsParents) {
  data.UninsData.BaseDir = "D:\\Apps\\Demo\\";
  data.UninsData.HostLevels = 2;
  fs.AddFolder("D:\\Apps\\Demo");
  fs.AddFile("D:\\Apps\\other.txt");
  Remove();
  EXPECT_EQ(CallsOf("RemoveFolder"), (std::vector<std::string>{"D:\\Apps\\Demo", "D:\\Apps"}));
  EXPECT_FALSE(fs.Exists("D:\\Apps\\Demo"));
  EXPECT_EQ(Lines(), (std::vector<std::string>{kFoldersHeader, "    D:\\Apps"}));
  EXPECT_EQ(Objects()[0], "D:\\Apps\\Demo");
  EXPECT_EQ(Objects()[1], "D:\\Apps");
}

TEST_F(RemovalEngineFolders, WalksThatReachTheDriveNeverTryIt) {
  data.UninsData.HostLevels = 4;  // D:\Demo, then D: three times
  data.UninsData.ShortcutDir = "D:\\Menu\\";
  data.UninsData.ShortcutLevels = 3;
  fs.AddFolder("D:\\");  // a drive answers as a folder when asked as "D:"
  fs.AddFile("D:\\Demo\\user.txt");
  Remove();
  EXPECT_EQ(CallsOf("RemoveFolder"), std::vector<std::string>{"D:\\Demo"});
  EXPECT_EQ(Lines(), (std::vector<std::string>{kFoldersHeader, "    D:\\Demo"}));
  // Nor is the drive a line of any kind, nor the object shown.
  for (const std::string& shown : Objects()) EXPECT_TRUE(shown != "D:" && shown != "D:\\") << shown;
}

TEST_F(RemovalEngineFolders, FoldersWhoseLastCharacterEndsInByte5CGoUnderDoubleByteCodePages) {
  locale.UseCodePage932();
  fs.UseLocale(&locale);
  const std::string table = "\x90\xAC\x90\xD1\x95\x5C";  // "成績表": its last byte is 0x5C
  const std::string log = "D:\\" + table + "\\" + table + ".und";
  fs.AddFile(log);
  ASSERT_TRUE(run.Start(log));
  EXPECT_EQ(data.UninsData.BaseDir, "D:\\" + table + "\\");
  ASSERT_TRUE(fs.RemoveFile(log));  // as the run does before the removal
  data.UninsData.HostLevels = 1;
  data.UninsData.ShortcutDir = "D:\\Menu\\";
  data.UninsData.ShortcutLevels = 1;
  Folder("");
  Folder(table + "\\");
  Shortcut("D:\\Menu\\" + table + "\\x.lnk");
  fs.AddFolder("D:\\" + table + "\\" + table);
  fs.AddFolder("D:\\Menu\\" + table);
  Remove();
  EXPECT_TRUE(fs.AllPaths().empty()) << fs.AllPaths().front();
  EXPECT_EQ(data.FailList->Count(), 0);
}

TEST_F(RemovalEngineFolders, HostLevelsZeroTriesNothing) {
  data.UninsData.HostLevels = 0;
  fs.AddFolder("D:\\Demo");
  Remove();
  EXPECT_TRUE(CallsOf("RemoveFolder").empty());
  EXPECT_TRUE(fs.IsFolder("D:\\Demo"));
}

TEST_F(RemovalEngineFolders, HiddenOrSystemFolderCountsAsNotThere) {
  Folder("");
  Folder("hid\\");
  Folder("sys\\");
  fs.AddFolder("D:\\Demo\\hid", platform::kAttrDirectory | platform::kAttrHidden);
  fs.AddFolder("D:\\Demo\\sys", platform::kAttrDirectory | platform::kAttrSystem);
  Remove();
  EXPECT_TRUE(fs.IsFolder("D:\\Demo\\hid"));
  EXPECT_TRUE(fs.IsFolder("D:\\Demo\\sys"));
  EXPECT_TRUE(CallsOf("RemoveFolder").empty());
  EXPECT_EQ(data.FailList->Count(), 0);
}

TEST_F(RemovalEngineFolders, AnErrorWhileRemovingCountsAsAFailureAndTheRunGoesOn) {
  Folder("");
  Folder("x\\");
  Folder("y\\");
  fs.AddFolder("D:\\Demo\\x");
  fs.AddFolder("D:\\Demo\\y");
  fsProxy.ThrowOn(FsOp::RemoveFolder, "D:\\Demo\\y");
  Remove();
  EXPECT_FALSE(fs.Exists("D:\\Demo\\x"));
  EXPECT_EQ(Lines(), (std::vector<std::string>{kFoldersHeader, "    D:\\Demo\\y"}));
  EXPECT_EQ(Kinds()[1], app::kFailFolder);
}

TEST_F(RemovalEngineFolders, AMissingFolderIsNotRecorded) {
  Folder("");
  Folder("never\\");
  data.UninsData.HostLevels = 3;
  Remove();
  EXPECT_EQ(data.FailList->Count(), 0);
  EXPECT_TRUE(CallsOf("RemoveFolder").empty());
}

// ---- shortcuts and shortcut folders ----

using RemovalEngineShortcuts = EngineFixture;

TEST_F(RemovalEngineShortcuts, ShortcutsGoWithoutStampComparisonAndResistingOnesHaveNoObject) {
  data.UninsData.ShortcutDir = "D:\\Menu\\Prog\\";
  Shortcut("D:\\Menu\\Prog\\app.lnk");
  Shortcut("D:\\Menu\\Prog\\ro.lnk");
  Shortcut("D:\\Menu\\Prog\\busy.lnk");
  Shortcut("D:\\Menu\\Prog\\gone.lnk");
  fs.AddFile("D:\\Menu\\Prog\\app.lnk", 12345);
  fs.AddFile("D:\\Menu\\Prog\\ro.lnk", 0, 0, platform::kAttrReadOnly);
  fs.Fail(FsOp::SetAttributes, "D:\\Menu\\Prog\\ro.lnk");
  fs.AddFile("D:\\Menu\\Prog\\busy.lnk");
  fs.Lock("D:\\Menu\\Prog\\busy.lnk");
  Remove();
  EXPECT_FALSE(fs.Exists("D:\\Menu\\Prog\\app.lnk"));
  EXPECT_EQ(Lines(), (std::vector<std::string>{kShortcutsHeader, "    D:\\Menu\\Prog\\ro.lnk",
                                               "    D:\\Menu\\Prog\\busy.lnk"}));
  EXPECT_EQ(Kinds(), (std::vector<int>{kNoObject, kNoObject, kNoObject}));
  EXPECT_FALSE(Touched("D:\\Menu\\Prog\\gone.lnk"));
}

TEST_F(RemovalEngineShortcuts, ResistingShortcutFolderKeepsLoggedCaseAndUpperCasedTail) {
  data.UninsData.ShortcutDir = "D:\\Menu\\Prog\\";
  Shortcut("d:\\menu\\prog\\Sub\\App.lnk");
  fs.AddFile("D:\\Menu\\Prog\\Sub\\App.lnk");
  fs.AddFile("D:\\Menu\\Prog\\Sub\\mine.lnk");
  Remove();
  EXPECT_EQ(Lines(), (std::vector<std::string>{kShortcutFoldersHeader, "    D:\\Menu\\Prog\\SUB"}));
  EXPECT_EQ(Kinds(), (std::vector<int>{kNoObject, app::kFailFolder}));
  EXPECT_TRUE(Contains(Objects(), "SUB\\"));
}

TEST_F(RemovalEngineShortcuts, UpperCasingGoesThroughTheAnsiCodePage) {
  // "D:\Menu\Programação\" logged, the shortcut spelt in capitals.
  data.UninsData.ShortcutDir = "D:\\Menu\\Programa\347\343o\\";
  Shortcut("D:\\MENU\\PROGRAMA\307\303O\\Sub\\x.lnk");
  fs.AddFolder("D:\\Menu\\Programa\347\343o\\Sub");
  Remove();
  EXPECT_EQ(CallsOf("RemoveFolder"), (std::vector<std::string>{"D:\\Menu\\Programa\347\343o\\SUB"}));
  EXPECT_FALSE(fs.Exists("D:\\Menu\\Programa\347\343o\\Sub"));
}

TEST_F(RemovalEngineShortcuts, UpperCasingOfTheShortcutGoesThroughTheAnsiCodePageToo) {
  // "D:\Menu\PROGRAMAÇÃO\" logged, the shortcut spelt in small letters.
  data.UninsData.ShortcutDir = "D:\\Menu\\PROGRAMA\307\303O\\";
  Shortcut("d:\\menu\\programa\347\343o\\sub\\x.lnk");
  fs.AddFolder("D:\\Menu\\Programa\347\343o\\Sub");
  Remove();
  EXPECT_EQ(CallsOf("RemoveFolder"), (std::vector<std::string>{"D:\\Menu\\PROGRAMA\307\303O\\SUB"}));
  EXPECT_FALSE(fs.Exists("D:\\Menu\\Programa\347\343o\\Sub"));
}

TEST_F(RemovalEngineShortcuts, OnlyTheFolderDirectlyHoldingAShortcutIsTriedBackward) {
  data.UninsData.ShortcutDir = "D:\\Menu\\Prog\\";
  Shortcut("D:\\Menu\\Prog\\A\\B\\deep.lnk");
  Shortcut("D:\\Menu\\Prog\\top.lnk");
  Shortcut("D:\\Elsewhere\\x.lnk");
  fs.AddFolder("D:\\Menu\\Prog\\A\\B");
  Remove();
  // top.lnk lies in the shortcut folder itself: progress, but no attempt;
  // x.lnk lies outside: neither.
  EXPECT_EQ(CallsOf("RemoveFolder"), (std::vector<std::string>{"D:\\Menu\\Prog\\A\\B"}));
  EXPECT_TRUE(fs.IsFolder("D:\\Menu\\Prog\\A"));
  const auto objects = Objects();
  const auto top = std::find(objects.begin(), objects.end(), "D:\\Menu\\Prog\\top.lnk");
  ASSERT_NE(top, objects.end());
  // The folder phase runs backward: x.lnk (nothing shown), top.lnk (""), deep.lnk.
  const auto empty = std::find(top + 1, objects.end(), "");
  ASSERT_NE(empty, objects.end());
  EXPECT_EQ(*(empty + 1), "A\\B\\");
}

TEST_F(RemovalEngineShortcuts, ShortcutHostWalkStartsWithTheShortcutFolderWithoutProgress) {
  data.UninsData.ShortcutDir = "D:\\Menu\\Prog\\";
  data.UninsData.ShortcutLevels = 2;
  Shortcut("D:\\Menu\\Prog\\app.lnk");
  fs.AddFile("D:\\Menu\\Prog\\app.lnk");
  fs.AddFile("D:\\Menu\\keep.lnk");
  Remove();
  EXPECT_EQ(CallsOf("RemoveFolder"), (std::vector<std::string>{"D:\\Menu\\Prog", "D:\\Menu"}));
  EXPECT_FALSE(fs.Exists("D:\\Menu\\Prog"));
  EXPECT_EQ(Lines(), (std::vector<std::string>{kShortcutFoldersHeader, "    D:\\Menu"}));
  EXPECT_FALSE(Contains(Objects(), "D:\\Menu\\Prog"));
  EXPECT_FALSE(Contains(Objects(), "D:\\Menu"));
}

TEST_F(RemovalEngineShortcuts, WithoutShortcutListHostFoldersJoinTheShortcutGroup) {
  data.UninsData.ShortcutDir = "D:\\Menu\\Prog\\";
  data.UninsData.ShortcutLevels = 1;
  fs.AddFile("D:\\Menu\\Prog\\user.lnk");
  Remove();
  EXPECT_EQ(Lines(), (std::vector<std::string>{kShortcutsHeader, "    D:\\Menu\\Prog"}));
  EXPECT_EQ(Kinds(), (std::vector<int>{kNoObject, app::kFailFolder}));
}

TEST_F(RemovalEngineShortcuts, EmptyShortcutDirTriesNoShortcutFolder) {
  data.UninsData.ShortcutDir = "";
  data.UninsData.ShortcutLevels = 3;
  Shortcut("D:\\Menu\\Prog\\Sub\\app.lnk");
  fs.AddFolder("D:\\Menu\\Prog\\Sub");
  Remove();
  EXPECT_TRUE(CallsOf("RemoveFolder").empty());
  EXPECT_TRUE(fs.IsFolder("D:\\Menu\\Prog\\Sub"));
  EXPECT_EQ(data.FailList->Count(), 0);
}

// ---- registry ----

using RemovalEngineRegistry = EngineFixture;

TEST_F(RemovalEngineRegistry, UninstallKeyGoesWithItsSubkeys) {
  data.UninsData.UninstallKey = "Demo";
  registry.AddKey(kHkeyLocalMachine, kUninstallPath + "Demo\\Sub\\Deeper");
  registry.AddKey(kHkeyLocalMachine, kUninstallPath + "Other");
  Remove();
  EXPECT_FALSE(registry.Exists(kHkeyLocalMachine, kUninstallPath + "Demo"));
  EXPECT_TRUE(registry.Exists(kHkeyLocalMachine, kUninstallPath + "Other"));
  EXPECT_EQ(data.FailList->Count(), 0);
  EXPECT_TRUE(Contains(Objects(), kUninstallShown + "Demo"));
}

TEST_F(RemovalEngineRegistry, UninstallKeyThatResistsIsListedWithItsFixedPrefix) {
  data.UninsData.UninstallKey = "Demo";
  registry.AddKey(kHkeyLocalMachine, kUninstallPath + "Demo");
  registry.Fail(RegOp::Delete, kHkeyLocalMachine, kUninstallPath + "Demo");
  Remove();
  EXPECT_EQ(Lines(), (std::vector<std::string>{kRegistryHeader, " " + kUninstallShown + "Demo"}));
  EXPECT_EQ(Kinds(), (std::vector<int>{kNoObject, kNoObject}));
}

TEST_F(RemovalEngineRegistry, MissingUninstallKeyIsNotRecorded) {
  data.UninsData.UninstallKey = "Demo";
  Remove();
  EXPECT_TRUE(registry.Deleted().empty());
  EXPECT_EQ(data.FailList->Count(), 0);
}

TEST_F(RemovalEngineRegistry, EmptyUninstallKeyIsStillShownButTheRegistryIsLeftAlone) {
  registry.AddKey(kHkeyLocalMachine, kUninstallPath + "Other");
  Remove();
  EXPECT_TRUE(Contains(Objects(), kUninstallShown));
  EXPECT_TRUE(registry.Deleted().empty());
}

TEST_F(RemovalEngineRegistry, UninstallKeyOfBackslashesNeverNamesTheWholeUninstallKey) {
  data.UninsData.UninstallKey = "\\";
  registry.AddKey(kHkeyLocalMachine, kUninstallPath + "Other");
  Remove();
  EXPECT_TRUE(registry.Deleted().empty());
  EXPECT_TRUE(registry.Exists(kHkeyLocalMachine, kUninstallPath + "Other"));
}

TEST_F(RemovalEngineRegistry, KeyWithSubkeysIsNeitherDeletedNorListedAndEndsItsWalk) {
  registry.AddKey(kHkeyCurrentUser, "Software\\Demo\\Settings\\Window");
  LoggedKey(3, "x1x\\Software\\Demo\\Settings");
  Remove();
  EXPECT_TRUE(registry.Exists(kHkeyCurrentUser, "Software\\Demo\\Settings\\Window"));
  EXPECT_TRUE(registry.Deleted().empty());
  EXPECT_EQ(data.FailList->Count(), 0);
  EXPECT_TRUE(Contains(Objects(), "HKEY_CURRENT_USER\\Software\\Demo\\Settings"));
  EXPECT_FALSE(Contains(Objects(), "HKEY_CURRENT_USER\\Software\\Demo"));
  EXPECT_EQ(registry.OpenHandles(), 0);
}

TEST_F(RemovalEngineRegistry, UnreadableSubkeyCountNeverTakesTheSubkeysAlong) {
  registry.AddKey(kHkeyCurrentUser, "Software\\Demo\\Settings\\Window");
  registry.Fail(fakes::RegOp::QueryInfo, kHkeyCurrentUser, "Software\\Demo\\Settings");
  LoggedKey(1, "x1x\\Software\\Demo\\Settings");
  Remove();
  EXPECT_TRUE(registry.Exists(kHkeyCurrentUser, "Software\\Demo\\Settings\\Window"));
  ASSERT_EQ(data.FailList->Count(), 2);
  EXPECT_EQ(data.FailList->Text(1), " HKEY_CURRENT_USER\\Software\\Demo\\Settings");
}

TEST_F(RemovalEngineRegistry, MissingKeysWalkGoesOnToItsParent) {
  registry.AddKey(kHkeyCurrentUser, "Software\\Demo");
  registry.AddKey(kHkeyCurrentUser, "Software\\Other");
  LoggedKey(3, "x1x\\Software\\Demo\\Gone");
  Remove();
  EXPECT_FALSE(registry.Exists(kHkeyCurrentUser, "Software\\Demo"));
  EXPECT_TRUE(registry.Exists(kHkeyCurrentUser, "Software\\Other"));
  EXPECT_EQ(registry.Deleted(), (std::vector<std::string>{"80000001\\SOFTWARE\\DEMO"}));
  EXPECT_EQ(data.FailList->Count(), 0);
  const auto objects = Objects();
  const std::vector<std::string> tail(objects.end() - 3, objects.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"HKEY_CURRENT_USER\\Software\\Demo\\Gone",
                                            "HKEY_CURRENT_USER\\Software\\Demo", "HKEY_CURRENT_USER\\Software"}));
}

TEST_F(RemovalEngineRegistry, KeyThatExistsButCannotBeOpenedIsListedAndEndsItsWalk) {
  registry.AddKey(kHkeyCurrentUser, "Software\\Demo\\Cfg");
  registry.AddKey(kHkeyCurrentUser, "Software\\Other");
  registryProxy.FailOpensFrom(kHkeyCurrentUser, "\\Software\\Demo\\Cfg", 2);
  LoggedKey(2, "x1x\\Software\\Demo\\Cfg");
  Remove();
  EXPECT_EQ(Lines(), (std::vector<std::string>{kRegistryHeader, " HKEY_CURRENT_USER\\Software\\Demo\\Cfg"}));
  EXPECT_TRUE(registry.Deleted().empty());
  EXPECT_TRUE(registry.Exists(kHkeyCurrentUser, "Software\\Demo"));
}

TEST_F(RemovalEngineRegistry, FailedDeletionIsListedAndTheWalkGoesOn) {
  registry.AddKey(kHkeyCurrentUser, "Software\\Demo\\Cfg");
  registry.Fail(RegOp::Delete, kHkeyCurrentUser, "Software\\Demo\\Cfg");
  LoggedKey(2, "x1x\\Software\\Demo\\Cfg");
  Remove();
  EXPECT_EQ(Lines(), (std::vector<std::string>{kRegistryHeader, " HKEY_CURRENT_USER\\Software\\Demo\\Cfg"}));
  // The parent still has the resisting subkey: it ends the walk unlisted.
  EXPECT_EQ(registry.Deleted(), (std::vector<std::string>{"80000001\\SOFTWARE\\DEMO\\CFG"}));
  EXPECT_TRUE(Contains(Objects(), "HKEY_CURRENT_USER\\Software\\Demo"));
}

TEST_F(RemovalEngineRegistry, WalkStopsBeforeTheSystemsKeysAndAtTheRoot) {
  registry.AddKey(kHkeyCurrentUser, "Software\\Demo");
  LoggedKey(5, "x1x\\Software\\Demo");
  LoggedKey(2, "x3x");
  Remove();
  EXPECT_FALSE(registry.Exists(kHkeyCurrentUser, "Software\\Demo"));
  EXPECT_TRUE(registry.Exists(kHkeyCurrentUser, "Software")) << "a direct subkey of the root";
  EXPECT_EQ(registry.Deleted(), (std::vector<std::string>{"80000001\\SOFTWARE\\DEMO"}));
  EXPECT_EQ(data.FailList->Count(), 0);
  const auto objects = Objects();
  const std::vector<std::string> tail(objects.end() - 3, objects.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"HKEY_CURRENT_USER\\Software\\Demo", "HKEY_CURRENT_USER\\Software",
                                            "HKEY_USERS"}));
}

// A class (or App Paths entry) goes only when a string of it names a file
// of the installation folder D:\Demo\ (8.3 form D:\DEMO~1\), or, for an
// extension, its ProgID's does; one that does not stays, unlisted.
TEST_F(RemovalEngineRegistry, ClassesGoOnlyWhenTheyPointAtTheApplication) {
  const uint32_t hkcr = 0x80000000u, hku = 0x80000003u;
  const std::string sid = fakes::kCurrentUserSid, paths = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
  const std::string big = "Big.Doc\\shell\\open\\command";
  fs.AddFolder("D:\\Demo");
  fs.AddShortName("D:\\Demo", "DEMO~1");
  registry.SetEnvironment("Demo", "D:\\Demo");
  const struct {
    uint32_t root;
    std::string key, value, data;  // a string the class holds
    uint8_t levels;
    std::string logged;  // below the root; "" when the key itself is not logged
    bool goes;
  } rows[] = {
      {hkcr, "Maker.Doc\\shell\\open\\command", "", "\"D:\\Demo\\app.exe\" \"%1\"", 4, "Maker.Doc\\shell\\open\\command", true},
      {hkcr, ".abc", "", "Maker.Doc", 1, ".abc", true},  // judged after Maker.Doc went
      {hkcr, "CLSID\\{0D6F8B1E-0000-0000-0000-000000000001}\\InprocServer32", "", "d:\\demo~1\\x.dll", 2,
       "CLSID\\{0D6F8B1E-0000-0000-0000-000000000001}\\InprocServer32", true},
      {hkcr, "CLSID\\{00021401-0000-0000-C000-000000000046}\\InprocServer32", "", "C:\\Windows\\System32\\x.dll", 2,
       "CLSID\\{00021401-0000-0000-C000-000000000046}\\InprocServer32", false},
      {hkcr, "exefile\\shell\\open\\command", "", "\"%1\" %*", 4, "exefile\\shell\\open\\command", false},
      {hkcr, ".exe", "", "exefile", 1, ".exe", false},
      {hkcr, "Trick.Doc\\shell\\open\\command", "", "D:\\Demo\\..\\Windows\\notepad.exe", 4, "Trick.Doc\\shell\\open\\command", false},
      {hkcr, "Near.Doc\\DefaultIcon", "", "D:\\Demo2\\near.exe,0", 2, "Near.Doc\\DefaultIcon", false},
      {hkcr, "Expand.Doc\\DefaultIcon", "Icon", "%DEMO%\\app.exe,0", 2, "Expand.Doc\\DefaultIcon", true},
      {hkcr, big, "", "\"D:\\Demo\\app.exe\" \"%1\"", 4, big, false},  // too large to read through
      {kHkeyLocalMachine, paths + "app.exe", "", "D:\\Demo\\app.exe", 1, paths + "app.exe", true},
      {kHkeyCurrentUser, paths + "other.exe", "Path", "D:\\Demo\\", 1, paths + "other.exe", false},
      {hku, sid + "_Classes\\Maker.Link\\DefaultIcon", "", "\"D:\\DEMO\\APP.EXE\",0", 2,
       sid + "_Classes\\Maker.Link\\DefaultIcon", true},
      {kHkeyCurrentUser, "Software\\Classes\\.xyz", "", "Near.Doc", 1, "Software\\Classes\\.xyz", false},
  };
  for (int i = 0; i < 70; ++i) registry.AddKey(hkcr, "Big.Doc\\Verb" + std::to_string(i));
  registry.AddKey(hkcr, "CLSID\\{00000000-0000-0000-0000-00000000000B}");
  for (const auto& row : rows) {
    registry.SetString(row.root, row.key, row.value, row.data, row.data[0] == '%' ? platform::kRegExpandSz : platform::kRegSz);
    if (!row.logged.empty()) LoggedKey(row.levels, std::string("x") + static_cast<char>('0' + (row.root & 7)) + "x\\" + row.logged);
  }
  struct : app::IRunListener {
    std::vector<std::string> kept;
    void OnOutcome(const app::Outcome& o) override { if (o.result == app::Result::NotTheApplications) kept.push_back(o.keyPath); }
  } heard;
  run.Listen(heard);
  Remove();
  std::vector<std::string> kept;
  for (const auto& row : rows) {
    EXPECT_EQ(registry.Exists(row.root, row.key), !row.goes) << row.key;
    if (!row.goes) kept.push_back("\\" + row.logged);
    if (row.goes && row.levels > 1) EXPECT_FALSE(registry.Exists(row.root, row.logged.substr(0, row.logged.rfind('\\'))));
  }
  EXPECT_EQ(heard.kept, kept) << "each one that stays is reported, once, as not the application's";
  EXPECT_TRUE(registry.Exists(hkcr, "CLSID")) << "the list of classes stays";
  EXPECT_EQ(data.FailList->Count(), 0);
}

TEST_F(RemovalEngineRegistry, LevelZeroIsSkippedWithoutProgress) {
  registry.AddKey(kHkeyCurrentUser, "Software\\Demo");
  LoggedKey(0, "x1x\\Software\\Demo");
  Remove();
  EXPECT_TRUE(registry.Exists(kHkeyCurrentUser, "Software\\Demo"));
  EXPECT_EQ(Objects().back(), kUninstallShown);
}

TEST_F(RemovalEngineRegistry, RootIndexesSevenToNineDesignateNoRootKey) {
  for (const char* entry : {"x7x\\Software\\Demo", "x8x\\Software\\Demo", "x9x\\Software\\Demo"}) {
    LoggedKey(2, entry);
  }
  for (uint32_t root = 0x80000000; root <= 0x80000006; ++root) registry.AddKey(root, "Software\\Demo");
  Remove();
  EXPECT_TRUE(registry.Deleted().empty());
  EXPECT_EQ(data.FailList->Count(), 0);
  // Without a root name, the key path alone is shown.
  const auto objects = Objects();
  EXPECT_EQ(std::count(objects.begin(), objects.end(), "\\Software\\Demo"), 3);
  EXPECT_EQ(std::count(objects.begin(), objects.end(), "\\Software"), 3);
}

TEST_F(RemovalEngineRegistry, BadEntriesDesignateNoRootKeyAndTheRunGoesOn) {
  registry.AddKey(kHkeyCurrentUser, "Software\\Demo");
  registry.AddKey(kHkeyCurrentUser, "Software\\Last");
  LoggedKey(3, "xAx\\Software\\Demo");
  LoggedKey(3, "x x\\Software\\Demo");
  LoggedKey(1, "x");
  LoggedKey(1, "");
  LoggedKey(1, "x1x\\Software\\Last");
  ASSERT_NO_THROW(Remove());
  EXPECT_TRUE(registry.Exists(kHkeyCurrentUser, "Software\\Demo"));
  EXPECT_EQ(registry.Deleted(), (std::vector<std::string>{"80000001\\SOFTWARE\\LAST"}));
  EXPECT_EQ(data.FailList->Count(), 0);
  const auto objects = Objects();
  const std::vector<std::string> tail(objects.end() - 9, objects.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"\\Software\\Demo", "\\Software", "", "\\Software\\Demo", "\\Software",
                                            "", "", "", "HKEY_CURRENT_USER\\Software\\Last"}));
  EXPECT_EQ(view.cursor, (std::vector<bool>{true, false}));
}

TEST(RemovalEngineRootNames, NamesTheSevenRootsAndLeavesOthersUnchanged) {
  const char* names[] = {"HKEY_CLASSES_ROOT",     "HKEY_CURRENT_USER",   "HKEY_LOCAL_MACHINE", "HKEY_USERS",
                         "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA"};
  for (uint32_t i = 0; i < 7; ++i) {
    std::string name = "before";
    app::RootKeyName(i, name);
    EXPECT_EQ(name, names[i]);
  }
  for (uint32_t i : {7u, 9u, 0xFFFFFFFFu}) {
    std::string name = "before";
    app::RootKeyName(i, name);
    EXPECT_EQ(name, "before");
  }
}

TEST(RemovalEngineParentPath, SameRuleForFoldersAndKeys) {
  fakes::FakeLocale cp1252;
  const env::PathRules paths(cp1252);
  EXPECT_EQ(paths.ParentPath("D:\\A\\B"), "D:\\A");
  EXPECT_EQ(paths.ParentPath("D:\\A"), "D:");
  EXPECT_EQ(paths.ParentPath("D:"), "D:");
  EXPECT_EQ(paths.ParentPath("\\Software\\Demo"), "\\Software");
  EXPECT_EQ(paths.ParentPath("\\Software"), "");
  EXPECT_EQ(paths.ParentPath("Software"), "");
  EXPECT_EQ(paths.ParentPath("\\Software\\Demo\\"), "\\Software\\Demo");
}

// ---- the failure list as a whole, phases, cursor, summary ----

using RemovalEngineRun = EngineFixture;

TEST_F(RemovalEngineRun, TheSixLineExample) {
  data.UninsData.HostLevels = 1;
  Folder("");
  File(0, "data.ini");
  fs.AddFile("D:\\Demo\\data.ini", kDate + 0x20);  // edited after installation
  registry.AddKey(kHkeyCurrentUser, "Software\\Demo");
  registryProxy.FailOpensFrom(kHkeyCurrentUser, "\\Software\\Demo", 2);
  LoggedKey(1, "x1x\\Software\\Demo");
  Remove();
  EXPECT_EQ(Lines(), (std::vector<std::string>{kFilesHeader, "    D:\\Demo\\data.ini", kFoldersHeader,
                                               "    D:\\Demo", kRegistryHeader,
                                               " HKEY_CURRENT_USER\\Software\\Demo"}));
  EXPECT_EQ(Kinds(), (std::vector<int>{kNoObject, app::kFailFile, kNoObject, app::kFailFolder, kNoObject, kNoObject}));
  EXPECT_EQ(view.summaries, 1);
}

TEST_F(RemovalEngineRun, PhaseCaptionsInOrder) {
  Shortcut("D:\\Menu\\x.lnk");
  Remove();
  EXPECT_EQ(view.phases, (std::vector<std::string>{"Destruindo arquivos...", "Destruindo pastas...",
                                                   "Destruindo pastas hospedeiras...", "Destruindo atalhos...",
                                                   "Destruindo pastas de atalhos...", "Destruindo registros..."}));
}

TEST_F(RemovalEngineRun, WithoutShortcutListTheShortcutFolderCaptionIsSkipped) {
  Remove();
  EXPECT_EQ(view.phases, (std::vector<std::string>{"Destruindo arquivos...", "Destruindo pastas...",
                                                   "Destruindo pastas hospedeiras...", "Destruindo atalhos...",
                                                   "Destruindo registros..."}));
}

TEST_F(RemovalEngineRun, EverythingRemovedLeavesAnEmptyListAndNoDialog) {
  data.UninsData.HostLevels = 2;
  data.UninsData.BaseDir = "D:\\Apps\\Demo\\";
  data.UninsData.ShortcutDir = "D:\\Menu\\Demo\\";
  data.UninsData.ShortcutLevels = 2;
  data.UninsData.UninstallKey = "Demo";
  Folder("");
  Folder("bin\\");
  File(0, "a.txt");
  File(1, "b.dll");
  fs.AddFile("D:\\Apps\\Demo\\a.txt", kDate);
  fs.AddFile("D:\\Apps\\Demo\\bin\\b.dll", kDate);
  Shortcut("D:\\Menu\\Demo\\Tools\\t.lnk");
  fs.AddFile("D:\\Menu\\Demo\\Tools\\t.lnk");
  registry.AddKey(kHkeyLocalMachine, kUninstallPath + "Demo");
  registry.AddKey(kHkeyCurrentUser, "Software\\Demo\\Cfg");
  LoggedKey(2, "x1x\\Software\\Demo\\Cfg");
  Remove();
  EXPECT_EQ(data.FailList->Count(), 0);
  EXPECT_EQ(view.summaries, 0);
  EXPECT_TRUE(fs.AllPaths().empty()) << fs.AllPaths().front();
  EXPECT_FALSE(registry.Exists(kHkeyCurrentUser, "Software\\Demo"));
  EXPECT_TRUE(registry.Exists(kHkeyCurrentUser, "Software"));
}

TEST_F(RemovalEngineRun, PreviousFailuresAreClearedFirst) {
  data.FailList = std::make_unique<app::TFailList>();
  data.FailList->Add("old", std::make_unique<app::TFailData>());
  Remove();
  EXPECT_EQ(data.FailList->Count(), 0);
  EXPECT_EQ(view.summaries, 0);
}

TEST_F(RemovalEngineRun, CursorIsRestoredBeforeTheSummaryIsShown) {
  Folder("");
  Folder("sub\\");
  fs.AddFile("D:\\Demo\\sub\\user.txt");
  std::vector<bool> cursorAtSummary;
  view.onSummary = [&] { cursorAtSummary = view.cursor; };
  Remove();
  EXPECT_EQ(view.summaries, 1);
  EXPECT_EQ(cursorAtSummary, (std::vector<bool>{true, false}));
}

TEST_F(RemovalEngineRun, CursorIsRestoredWhenAnErrorEscapesAndNoDialogIsShown) {
  Folder("");
  File(0, "a.txt");
  File(0, "b.txt");
  fs.AddFile("D:\\Demo\\a.txt", kDate + 1);
  fsProxy.ThrowOn(FsOp::Find, "D:\\Demo\\b.txt");
  EXPECT_THROW(Remove(), platform::Error);
  EXPECT_EQ(view.cursor, (std::vector<bool>{true, false}));
  EXPECT_EQ(view.summaries, 0);
  // The list as filled so far.
  EXPECT_EQ(Lines(), (std::vector<std::string>{kFilesHeader, "    D:\\Demo\\a.txt"}));
  EXPECT_EQ(run.BytesProcessed, 200);
}

TEST_F(RemovalEngineRun, GroupsFollowTheirOrderAndEmptyOnesVanish) {
  data.UninsData.ShortcutDir = "D:\\Menu\\";
  data.UninsData.UninstallKey = "Demo";
  Folder("");
  File(0, "x.txt");
  fs.AddFile("D:\\Demo\\x.txt", kDate);
  fs.Lock("D:\\Demo\\x.txt");
  Shortcut("D:\\Menu\\Sub\\s.lnk");
  fs.AddFile("D:\\Menu\\Sub\\s.lnk");
  fs.Lock("D:\\Menu\\Sub\\s.lnk");
  registry.AddKey(kHkeyLocalMachine, kUninstallPath + "Demo");
  registry.Fail(RegOp::Delete, kHkeyLocalMachine, kUninstallPath + "Demo");
  Remove();
  EXPECT_EQ(Lines(), (std::vector<std::string>{kFilesHeader, "    D:\\Demo\\x.txt", kShortcutsHeader,
                                               "    D:\\Menu\\Sub\\s.lnk", kShortcutFoldersHeader,
                                               "    D:\\Menu\\SUB", kRegistryHeader, " " + kUninstallShown + "Demo"}));
}

// ---- property: hostile logs, through the real reader, stay in their folders ----

TEST(RemovalEngineProperty, HostileLogsThroughTheReaderStayInTheirFolders) {
  for (unsigned seed = 1; seed <= 20000; ++seed) {
    safety::Choices pick(seed);
    const std::string log = safety::HostileLog(pick);
    ASSERT_EQ(safety::CheckRemoval(log, pick), "") << "seed " << seed << "\n" << testing::PrintToString(log);
  }
  std::printf("20000 hostile logs: %d removals ran (%d with a folder swapped for a link mid-run), %d changes, "
              "all inside the application's places\n",
              safety::tally.runs, safety::tally.swapped, safety::tally.changes);
  EXPECT_GT(safety::tally.swapped, 0);
}

// ---- property: only what the log names and the bounded walks reach ----

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string JoinParts(const std::vector<std::string>& parts, size_t count) {
  std::string out;
  for (size_t i = 0; i < count; ++i) out += (i ? "\\" : "") + parts[i];
  return out;
}

std::string RegName(uint32_t root, const std::string& path) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "%08X", root);
  return std::string(hex) + "\\" + Upper(path);
}

struct Scenario {
  fakes::FakeFileSystem fs;
  fakes::FakeRegistry registry;
  fakes::FakeLocale locale;
  app::TRunData data;
  std::set<std::string> fsAllowed;   // FakeFileSystem::Key of every path the engine may change
  std::set<std::string> regAllowed;  // RegName of every key it may try to delete
  std::vector<std::string> changedFiles;
  std::vector<std::string> bystanders;  // files nobody named
  std::vector<std::pair<uint32_t, std::string>> bystanderKeys;
};

void Build(Scenario& s, std::mt19937& rng) {
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  auto name = [&](const char* stem) { return std::string(stem) + std::to_string(pick(4)); };
  const auto fold = [](const std::string& p) { return fakes::FakeFileSystem::Key(p); };

  // Installation folder C:\p0\...\pd, host levels up to one past the drive.
  std::vector<std::string> base = {"C:"};
  for (int d = pick(4) + 1; d > 0; --d) base.push_back(name("h"));
  const std::string baseDir = JoinParts(base, base.size()) + "\\";
  s.data.UninsData.BaseDir = baseDir;
  s.data.UninsData.HostLevels = static_cast<uint8_t>(pick(static_cast<int>(base.size()) + 1));
  for (size_t l = 0; l < s.data.UninsData.HostLevels && l + 1 < base.size(); ++l) {
    s.fsAllowed.insert(fold(JoinParts(base, base.size() - l)));
  }
  if (s.data.UninsData.HostLevels >= base.size()) s.fsAllowed.insert("C:");

  // Folder entries, each below an earlier one; files in them.
  std::vector<std::string> folders = {""};
  for (int k = pick(4); k > 0; --k) folders.push_back(folders[static_cast<size_t>(pick(static_cast<int>(folders.size())))] + name("f") + "\\");
  s.data.FolderList = std::make_unique<app::TFolderList>();
  s.data.FileLists = std::make_unique<app::TFileLists>();
  for (size_t k = 0; k < folders.size(); ++k) {
    s.data.FolderList->Add(folders[k], std::make_unique<app::TDirData>());
    if (k >= 1) s.fsAllowed.insert(fold(baseDir + folders[k]));
    if (pick(3) == 0) s.fs.AddFolder(baseDir + folders[k], platform::kAttrDirectory | (pick(4) == 0 ? platform::kAttrHidden : 0));
    if (k > 0 && pick(5) == 0) continue;  // fewer lists than folders
    auto list = std::make_unique<app::TZDataList>();
    for (int i = pick(4); i > 0; --i) {
      auto z = std::make_unique<app::TZData>();
      z->Name = name("file") + ".dat";
      z->Size = pick(1000);
      z->Date = 0x2AB10000 + pick(3);
      const std::string path = baseDir + folders[k] + z->Name;
      if (!s.fsAllowed.insert(fold(path)).second) continue;  // one record per file
      switch (pick(6)) {
        case 0: break;  // gone already
        case 1:
          s.fs.AddFile(path, z->Date + 2);  // edited by the user
          s.changedFiles.push_back(path);
          break;
        case 2: s.fs.AddFile(path, z->Date, 0, platform::kAttrReadOnly); break;
        case 3:
          s.fs.AddFile(path, z->Date);
          s.fs.Lock(path);
          break;
        default: s.fs.AddFile(path, z->Date); break;
      }
      list->Add(std::move(z));
    }
    s.data.FileLists->push_back(std::move(list));
  }
  // Files and folders nobody named, inside and beside the installation.
  for (int b = pick(4); b > 0; --b) {
    const std::string path = baseDir + folders[static_cast<size_t>(pick(static_cast<int>(folders.size())))] + name("user") + ".txt";
    if (s.fsAllowed.count(fold(path)) == 0 && !s.fs.Exists(path)) {
      s.fs.AddFile(path, kDate);
      s.bystanders.push_back(path);
    }
  }
  s.fs.AddFile(JoinParts(base, base.size() - 1) + "\\sibling\\keep.txt", kDate);
  s.bystanders.push_back(JoinParts(base, base.size() - 1) + "\\sibling\\keep.txt");
  if (pick(4) == 0) s.fs.Fail(FsOp::RemoveFolder, baseDir);

  // Shortcuts in and below C:\Menu\Prog\, spelt in any case.
  std::vector<std::string> menu = {"C:", "Menu", "Prog"};
  s.data.UninsData.ShortcutDir = pick(6) == 0 ? "" : "C:\\Menu\\Prog\\";
  s.data.UninsData.ShortcutLevels = static_cast<uint8_t>(pick(4));
  if (!s.data.UninsData.ShortcutDir.empty()) {
    for (size_t l = 0; l < s.data.UninsData.ShortcutLevels && l + 1 < menu.size(); ++l) {
      s.fsAllowed.insert(fold(JoinParts(menu, menu.size() - l)));
    }
    if (s.data.UninsData.ShortcutLevels >= menu.size()) s.fsAllowed.insert("C:");
  }
  if (pick(5) != 0) {
    s.data.ShortcutList = std::make_unique<app::TTextList>();
    for (int j = pick(4); j > 0; --j) {
      const std::string sub = pick(2) ? "" : name("s") + "\\";
      std::string path = "C:\\Menu\\Prog\\" + sub + name("app") + ".lnk";
      if (pick(2)) path = Upper(path);
      s.data.ShortcutList->push_back(path);
      s.fsAllowed.insert(fold(path));
      if (!sub.empty() && !s.data.UninsData.ShortcutDir.empty()) s.fsAllowed.insert(fold("C:\\Menu\\Prog\\" + sub));
      if (pick(3)) s.fs.AddFile(path, 0, 0, pick(4) == 0 ? platform::kAttrReadOnly : platform::kAttrArchive);
      if (pick(6) == 0) s.fs.Lock(path);
    }
  }
  s.fs.AddFile("C:\\Menu\\Other\\other.lnk");
  s.bystanders.push_back("C:\\Menu\\Other\\other.lnk");

  // Registry: the uninstall entry, logged keys with level walks, bystanders.
  if (pick(3)) {
    s.data.UninsData.UninstallKey = "Demo";
    s.registry.AddKey(kHkeyLocalMachine, kUninstallPath + "Demo\\Sub");
    s.regAllowed.insert(RegName(kHkeyLocalMachine, kUninstallPath + "Demo"));
  }
  s.registry.AddKey(kHkeyLocalMachine, kUninstallPath + "Other");
  s.bystanderKeys.push_back({kHkeyLocalMachine, kUninstallPath + "Other"});
  for (int e = pick(5); e > 0; --e) {
    const int index = pick(10);
    std::vector<std::string> parts = {"Software"};
    for (int d = pick(3) + 1; d > 0; --d) parts.push_back(name("k"));
    const uint8_t n = static_cast<uint8_t>(pick(5));
    std::string entry = "x" + std::to_string(index) + "x\\" + JoinParts(parts, parts.size());
    if (pick(8) == 0) entry[1] = 'Z';  // no root at all
    s.data.RegKeyList.push_back(entry);
    s.data.RegKeyLevels.push_back(n);
    const bool hasRoot = entry[1] >= '0' && entry[1] <= '6';
    const uint32_t root = 0x80000000u + static_cast<uint32_t>(index);
    for (size_t l = 0; hasRoot && l < n && l < parts.size(); ++l) {
      s.regAllowed.insert(RegName(root, JoinParts(parts, parts.size() - l)));
    }
    if (index <= 6 && pick(3)) s.registry.AddKey(root, JoinParts(parts, parts.size() - static_cast<size_t>(pick(2))));
    if (index <= 6 && pick(6) == 0) s.registry.Fail(RegOp::Delete, root, JoinParts(parts, parts.size()));
    if (index <= 6 && pick(6) == 0) s.registry.Fail(RegOp::Open, root, JoinParts(parts, parts.size()));
  }
  s.registry.AddKey(kHkeyCurrentUser, "Software\\Bystander\\Inner");
  s.bystanderKeys.push_back({kHkeyCurrentUser, "Software\\Bystander\\Inner"});
}

TEST(RemovalEngineProperty, TouchesOnlyWhatTheLogNamesAndNoHeaderStandsAlone) {
  const std::set<std::string> headers = {kFilesHeader, kFoldersHeader, kShortcutsHeader, kShortcutFoldersHeader,
                                         kRegistryHeader};
  const std::vector<std::string> order = {kFilesHeader, kFoldersHeader, kShortcutsHeader, kShortcutFoldersHeader,
                                          kRegistryHeader};
  for (unsigned seed = 1; seed <= 400; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    Scenario s;
    Build(s, rng);
    fakes::FakeMessageBox box;
    fakes::FakeModule module;
    fakes::FakeNamedLock lock;
    fakes::FakeNamedLock claim;
    fakes::FakeMainView view;
    app::Services services{s.fs, s.registry, box, s.locale, module, lock, claim};
    app::PersonHost person = fakes::PersonAt(box, view);
    app::UninstallRun(services, person, view, s.data).RemoveInstallation();

    for (const std::string& m : s.fs.Mutated()) {
      EXPECT_EQ(s.fsAllowed.count(fakes::FakeFileSystem::Key(m)), 1u) << "touched " << m;
    }
    for (const std::string& d : s.registry.Deleted()) EXPECT_EQ(s.regAllowed.count(d), 1u) << "deleted " << d;
    for (const std::string& p : s.changedFiles) {
      EXPECT_TRUE(s.fs.Exists(p)) << p;
      EXPECT_EQ(std::count(s.fs.Mutated().begin(), s.fs.Mutated().end(), p), 0) << p;
    }
    for (const std::string& p : s.bystanders) EXPECT_TRUE(s.fs.Exists(p)) << p;
    for (const auto& [root, key] : s.bystanderKeys) EXPECT_TRUE(s.registry.Exists(root, key)) << key;
    EXPECT_EQ(s.registry.OpenHandles(), 0);
    ASSERT_FALSE(view.cursor.empty());
    EXPECT_FALSE(view.cursor.back());

    const app::TFailList& list = *s.data.FailList;
    size_t lastGroup = 0;
    for (int i = 0; i < list.Count(); ++i) {
      const std::string& line = list.Text(i);
      if (headers.count(line)) {
        ASSERT_LT(i + 1, list.Count()) << "header last: " << line;
        EXPECT_EQ(headers.count(list.Text(i + 1)), 0u) << "header alone: " << line;
        const size_t group = static_cast<size_t>(std::find(order.begin(), order.end(), line) - order.begin()) + 1;
        EXPECT_GT(group, lastGroup) << line;
        lastGroup = group;
        EXPECT_EQ(list.Object(i), nullptr);
      } else {
        ASSERT_GT(i, 0);
        EXPECT_EQ(line[0], ' ') << line;
      }
    }
  }
}

// ---- property: a folder read once decides what lookups one by one would ----

// Names as the system resolves them (an 8.3 alias of an existing entry;
// trailing dots and blanks dropped), each lookup counted. One by one: no
// folder can be read, and a missing folder is not told from a missing file.
class SystemNames : public platform::FileSystemWrapper {
 public:
  SystemNames(platform::IFileSystem& fs, bool oneByOne) : FileSystemWrapper(fs), oneByOne_(oneByOne) {}
  std::map<std::string, int> finds;  // by PathKey of the path asked for
  using FileSystemWrapper::FindEntry;
  using FileSystemWrapper::GetAttributes;
  std::optional<platform::FileEntry> FindEntry(const std::string& p, platform::Status& s) override {
    ++finds[platform::PathKey(p)];
    auto found = FileSystemWrapper::FindEntry(Resolved(p), s);
    if (oneByOne_ && s.error() == platform::kErrorPathNotFound) s = platform::Status::Refused(platform::kErrorFileNotFound);
    return found;
  }
  std::optional<uint32_t> GetAttributes(const std::string& p, platform::Status& s) override {
    return FileSystemWrapper::GetAttributes(Resolved(p), s);
  }
  using FileSystemWrapper::RemoveFile;
  using FileSystemWrapper::SetAttributes;
  platform::Status SetAttributes(const std::string& p, uint32_t a, const platform::Place& within) override {
    return target().SetAttributes(Resolved(p), a, within);
  }
  platform::Status RemoveFile(const std::string& p, const platform::Place& within) override {
    return target().RemoveFile(Resolved(p), within);
  }
  std::optional<uint32_t> HardLinks(const std::string& p) override { return target().HardLinks(Resolved(p)); }
  std::optional<std::vector<platform::FileEntry>> ListFolder(const std::string& f) override {
    return oneByOne_ ? std::nullopt : target().ListFolder(f);
  }

 private:
  std::string Resolved(std::string p) {
    while (!p.empty() && (p.back() == '.' || p.back() == ' ')) p.pop_back();
    return target().FullPath(p);
  }
  bool oneByOne_;
};

// A world of files gone, there, changed, read-only, in use, unreadable,
// hard-linked or a folder, logged by plain, 8.3, dotted, accented or device
// names, in folders there or missing; `finds` gets the lookups each file
// should cost once a plain name's lookup found nothing with four to come.
void BuildFolders(fakes::FakeFileSystem& fs, app::TRunData& data, std::mt19937& rng, std::map<std::string, int>& finds) {
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  data.UninsData.BaseDir = "C:\\App\\";
  data.FolderList = std::make_unique<app::TFolderList>();
  data.FileLists = std::make_unique<app::TFileLists>();
  const bool baseThere = pick(10) != 0;
  for (int f = 0, folders = 1 + pick(4); f < folders; ++f) {
    const std::string rel = f == 0 ? "" : "d" + std::to_string(f) + "\\", folder = "C:\\App\\" + rel;
    const bool there = baseThere && (f == 0 || pick(4) != 0), unspellable = there && pick(8) == 0;
    if (there) fs.AddFile(folder + (unspellable ? "caf?.txt" : "user.txt"));  // a name the code page cannot spell
    data.FolderList->Add(rel, std::make_unique<app::TDirData>());
    data.FileLists->push_back(std::make_unique<app::TZDataList>());
    bool read = false;
    for (int i = 0, n = pick(31); i < n; ++i) {
      const std::string num = std::to_string(i);
      const int kind = pick(9) < 5 ? 0 : 1 + pick(4), state = there ? pick(10) : 0;
      const std::string logged[] = {pick(2) ? "f" + num + ".dat" : "Arquivo " + num + ".Dat", "ARQUIV~" + num + ".TXT",
                                    "t" + num + (pick(2) ? ".txt." : ".txt "), ToCp1252("ação" + num + ".txt"), "aux." + num};
      const std::string disk[] = {pick(2) ? Upper(logged[0]) : logged[0], "arquivo longo " + num + ".txt",
                                  "t" + num + ".txt", ToCp1252("AÇÃO" + num + ".TXT"), logged[4]};
      auto z = std::make_unique<app::TZData>();
      z->Name = logged[kind];
      z->Date = kDate;
      (*data.FileLists)[static_cast<size_t>(f)]->Add(std::move(z));
      const std::string path = folder + disk[kind];
      if (state == 7) fs.AddFolder(path);
      if (state > 3 && state != 7) fs.AddFile(path, state == 5 ? kDate + 1 : kDate, 0, state % 3 == 0 ? 1 : 0x20);
      if (state > 3 && kind == 1) fs.AddShortName(path, logged[1]);
      if (state == 8) pick(2) ? fs.Lock(path) : fs.Fail(FsOp::Find, path);
      if (state == 9 && pick(2)) fs.AddHardLink("C:\\Outside\\" + std::to_string(f) + "-" + num, path);
      finds[platform::PathKey(folder + logged[kind])] = read && kind == 0 && state <= 3 ? 0 : 1;
      read = read || (kind == 0 && state <= 3 && n - 1 - i >= 4 && !unspellable);
    }
  }
}

TEST(RemovalEngineProperty, AFolderReadOnceDecidesWhatLookupsOneByOneWould) {
  int spared = 0;
  for (uint32_t seed = 1; seed <= 600; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::vector<std::string> heard[2];
    std::map<std::string, int> finds[2], expected;
    for (const bool oneByOne : {false, true}) {
      fakes::FakeFileSystem disk;
      app::TRunData data;
      std::mt19937 rng(seed);
      BuildFolders(disk, data, rng, expected);
      SystemNames fs(disk, oneByOne);
      fakes::FakeRegistry registry;
      fakes::FakeMessageBox box;
      fakes::FakeLocale locale;
      fakes::FakeModule module;
      fakes::FakeNamedLock lock, claim;
      fakes::FakeMainView view;
      app::Services services{fs, registry, box, locale, module, lock, claim};
      app::PersonHost person = fakes::PersonAt(box, view);
      app::UninstallRun run(services, person, view, data);
      struct : app::IRunListener {
        std::vector<std::string>* out;
        void OnOutcome(const app::Outcome& o) override {
          out->push_back(o.path + " " + app::OutcomeReason(o, "") + std::to_string(static_cast<int>(o.result)) + " " +
                         std::to_string(o.error) + " " + std::to_string(o.attributes) + " " + std::to_string(o.diskTime));
        }
      } listener;
      listener.out = &heard[oneByOne];
      run.Listen(listener);
      run.RemoveInstallation();
      for (int i = 0; i < data.FailList->Count(); ++i) heard[oneByOne].push_back("line " + data.FailList->Text(i));
      for (const std::string& p : disk.AllPaths()) heard[oneByOne].push_back(p + " " + std::to_string(*disk.Attributes(p)));
      finds[oneByOne] = fs.finds;
    }
    EXPECT_EQ(heard[0], heard[1]);
    for (const auto& [path, count] : expected) {
      EXPECT_EQ(finds[0][path], count) << path;
      EXPECT_EQ(finds[1][path], 1) << path;
      spared += 1 - count;
    }
  }
  EXPECT_GT(spared, 2000);
  std::printf("%d lookups of files already gone spared\n", spared);
}

}  // namespace
