#include <gtest/gtest.h>

#include <climits>

#include "app/tools/LogWriter.h"
#include "app/UninstallRun.h"
#include "env/Enviro.h"
#include "tests/fakes/FakeRun.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeServices.h"

namespace {

using app::LogContent;
using app::LogFile;
using app::LogFolder;
using app::LogGroup;

// The example log of the format description, byte for byte.
const unsigned char kExampleLog[] = {
    0x01, 0x04, 0x44, 0x65, 0x6D, 0x6F, 0x01, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x04, 0x6E,
    0x6F, 0x6E, 0x6F, 0x04, 0x6E, 0x6F, 0x6E, 0x6F, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00,
    0x00, 0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x07, 0x61, 0x70, 0x70,
    0x2E, 0x65, 0x78, 0x65, 0x00, 0x10, 0x00, 0x00, 0xC0, 0x53, 0xB1, 0x2A, 0x01};
static_assert(sizeof(kExampleLog) == 0x3A);

std::string ExampleBytes() { return std::string(reinterpret_cast<const char*>(kExampleLog), sizeof(kExampleLog)); }

// A log with something in every list.
LogContent RichLog() {
  LogContent c;
  c.leadByte = 0xFE;
  c.appName = "Rich App";
  c.hostLevels = 2;
  c.shortcutLevels = 1;
  c.regKeys = {{1, "\\2\\Software\\Rich"}, {3, "\\1\\Software\\Rich\\User"}};
  c.totalBytes = 70000;
  c.uninstallKey = "RichApp";
  c.shortcutDir = "C:\\Menu\\Rich";
  c.shortcuts = {"C:\\Menu\\Rich\\Rich.lnk", "C:\\Desktop\\Rich.lnk"};
  c.folders = {{"", 1}, {"bin\\", 0}, {"bin\\plugins\\", 7}};
  c.groups = {LogGroup{std::nullopt, {{"rich.exe", 60000, 0x2AB153C0, 1}, {"readme.txt", 4000, 0x2AB153C1, 0}}},
              LogGroup{std::nullopt, {}},
              LogGroup{std::nullopt, {{"p.dll", 6000, -5, 2}}}};
  return c;
}

class LogReader : public ::testing::Test {
 protected:
  static constexpr const char* kLog = "D:\\Demo\\demo.und";

  bool Read(const std::string& bytes) {
    fs.AddFile(kLog, 0, 0, platform::kAttrArchive, bytes);
    run.LogPath = kLog;
    return run.ReadLog();
  }
  bool Read(const LogContent& c) { return Read(app::WriteLog(c)); }

  // Nothing of a refused log reached the run data.
  void ExpectUntouched() {
    EXPECT_EQ(data.UninsData.AppName, "");
    EXPECT_EQ(data.UninsData.TotalBytes, 0);
    EXPECT_EQ(run.BytesToProcess, 0);
    EXPECT_TRUE(data.RegKeyList.empty());
    EXPECT_FALSE(data.ShortcutList);
    EXPECT_FALSE(data.FolderList);
    EXPECT_FALSE(data.FileLists);
  }

  fakes::FakeRun<> world;
  fakes::FakeFileSystem& fs = world.fs;
  fakes::FakeLocale& locale = world.locale;
  app::Services& services = world.services;
  fakes::FakeMainView& view = world.view;
  app::PersonHost& person = world.person;
  app::TRunData& data = world.data;
  app::UninstallRun& run = world.run;
};

TEST_F(LogReader, ExampleLogYieldsItsValues) {
  ASSERT_TRUE(Read(ExampleBytes()));
  const app::TUninsData& h = data.UninsData;
  EXPECT_EQ(h.LeadByte, 1);
  EXPECT_EQ(h.AppName, "Demo");
  EXPECT_EQ(h.HostLevels, 1);
  EXPECT_EQ(h.ShortcutLevels, 0);
  EXPECT_EQ(h.TotalBytes, 4096);
  EXPECT_EQ(run.BytesToProcess, 4096);
  EXPECT_EQ(h.UninstallKey, "");
  EXPECT_EQ(h.ShortcutDir, "");
  EXPECT_TRUE(data.RegKeyList.empty());
  EXPECT_TRUE(data.RegKeyLevels.empty());
  EXPECT_FALSE(data.ShortcutList);
  ASSERT_TRUE(data.FolderList);
  ASSERT_EQ(data.FolderList->Count(), 1);
  EXPECT_EQ(data.FolderList->Text(0), "");
  ASSERT_NE(data.FolderList->Object(0), nullptr);
  EXPECT_EQ(data.FolderList->Object(0)->Flag, 1);
  ASSERT_TRUE(data.FileLists);
  ASSERT_EQ(data.FileLists->size(), 1u);
  const app::TZDataList* group = (*data.FileLists)[0].get();
  ASSERT_EQ(group->Count(), 1);
  EXPECT_EQ(app::ZDataName(group, 0), "app.exe");
  EXPECT_EQ(app::ZDataValue(group, 0, 0), 4096);
  EXPECT_EQ(app::ZDataValue(group, 0, 1), 0x2AB153C0);
  EXPECT_EQ(group->At(0)->Flag, 1);
  EXPECT_EQ(data.UninsData.BaseDir, "");  // set at start-up, never by the log
  // The file was read with deny-write sharing, once.
  EXPECT_EQ(fs.Calls(), std::vector<std::string>{std::string("Read ") + kLog});
}

TEST_F(LogReader, AbsentMarkIsExactCase) {
  LogContent c = RichLog();
  c.uninstallKey = "nono";
  c.shortcutDir = "nono";
  ASSERT_TRUE(Read(c));
  EXPECT_EQ(data.UninsData.UninstallKey, "");
  EXPECT_EQ(data.UninsData.ShortcutDir, "");

  for (const char* other : {"NONO", "Nono", "nonO", "nono ", "non"}) {
    app::TRunData fresh;
    app::UninstallRun again{services, person, view, fresh};
    c.uninstallKey = other;
    c.shortcutDir = "nono";
    fs.AddFile(kLog, 0, 0, platform::kAttrArchive, app::WriteLog(c));
    again.LogPath = kLog;
    ASSERT_TRUE(again.ReadLog()) << other;
    EXPECT_EQ(fresh.UninsData.UninstallKey, other);
    // As a shortcut folder such a text is no absent mark but a folder that
    // is no plain absolute path: the log is refused.
    c.uninstallKey = "nono";
    c.shortcutDir = other;
    fs.AddFile(kLog, 0, 0, platform::kAttrArchive, app::WriteLog(c));
    EXPECT_FALSE(again.ReadLog()) << other;
  }
}

TEST_F(LogReader, ShortcutFolderGetsOneTrailingBackslash) {
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\Menu\\Demo", "C:\\Menu\\Demo\\"}, {"C:\\Menu\\Demo\\", "C:\\Menu\\Demo\\"}, {"", ""}, {"nono", ""}};
  for (auto [text, expected] : cases) {
    app::TRunData fresh;
    app::UninstallRun again{services, person, view, fresh};
    LogContent c = RichLog();
    c.shortcutDir = text;
    fs.AddFile(kLog, 0, 0, platform::kAttrArchive, app::WriteLog(c));
    again.LogPath = kLog;
    ASSERT_TRUE(again.ReadLog()) << text;
    EXPECT_EQ(fresh.UninsData.ShortcutDir, expected) << text;
  }
}

TEST_F(LogReader, ShortcutFolderEndingInATrailByteGetsItsBackslash) {
  // Under code page 932 0x95 0x5C is one character, so a backslash follows.
  locale.UseCodePage932();
  LogContent c = RichLog();
  c.shortcutDir = "C:\\\x95\x5C";
  ASSERT_TRUE(Read(c));
  EXPECT_EQ(data.UninsData.ShortcutDir, "C:\\\x95\x5C\\");
}

TEST_F(LogReader, CountsOfZeroOrLessReadNoEntriesAndLeaveListsAlone) {
  for (int32_t count : {0, -1, INT_MIN}) {
    app::TRunData fresh;
    app::UninstallRun again{services, person, view, fresh};
    // Lists from an earlier read stay as they were.
    fresh.ShortcutList = std::make_unique<app::TTextList>(app::TTextList{"old.lnk"});
    fresh.FolderList = std::make_unique<app::TFolderList>();
    fresh.FolderList->Add("old\\", std::make_unique<app::TDirData>());
    LogContent c;
    c.appName = "X";
    c.shortcutCount = count;
    c.folderCount = count;
    c.groupCount = count;
    // Whatever follows a count of zero or less is the next field: here the
    // trailing bytes look like entries but must be ignored.
    c.trailing = std::string("\x05" "a.lnk", 6);
    fs.AddFile(kLog, 0, 0, platform::kAttrArchive, app::WriteLog(c));
    again.LogPath = kLog;
    ASSERT_TRUE(again.ReadLog()) << count;
    ASSERT_TRUE(fresh.ShortcutList);
    EXPECT_EQ(*fresh.ShortcutList, app::TTextList{"old.lnk"});
    ASSERT_EQ(fresh.FolderList->Count(), 1);
    EXPECT_EQ(fresh.FolderList->Text(0), "old\\");
    EXPECT_FALSE(fresh.FileLists);
  }
}

TEST_F(LogReader, NegativeShortcutCountLetsTheFolderCountFollowAtOnce) {
  LogContent c = RichLog();
  c.shortcutCount = -7;
  c.shortcuts.clear();
  ASSERT_TRUE(Read(c));
  EXPECT_FALSE(data.ShortcutList);
  ASSERT_TRUE(data.FolderList);
  EXPECT_EQ(data.FolderList->Count(), 3);
  EXPECT_EQ(data.FolderList->Text(2), "bin\\plugins\\");
}

TEST_F(LogReader, PositiveCountsReplaceEarlierLists) {
  data.ShortcutList = std::make_unique<app::TTextList>(app::TTextList{"old.lnk", "old2.lnk"});
  data.FolderList = std::make_unique<app::TFolderList>();
  data.FolderList->Add("old\\", std::make_unique<app::TDirData>());
  data.FileLists = std::make_unique<app::TFileLists>();
  data.FileLists->push_back(std::make_unique<app::TZDataList>());
  data.FileLists->push_back(std::make_unique<app::TZDataList>());
  data.RegKeyList = {"\\2\\Earlier"};
  data.RegKeyLevels = {9};
  ASSERT_TRUE(Read(RichLog()));
  EXPECT_EQ(*data.ShortcutList, (app::TTextList{"C:\\Menu\\Rich\\Rich.lnk", "C:\\Desktop\\Rich.lnk"}));
  ASSERT_EQ(data.FolderList->Count(), 3);
  EXPECT_EQ(data.FolderList->Text(0), "");
  EXPECT_EQ(data.FolderList->Object(2)->Flag, 7);
  ASSERT_EQ(data.FileLists->size(), 3u);
  EXPECT_EQ(app::ZDataName((*data.FileLists)[0].get(), 1), "readme.txt");
  // The key lists are appended to, not emptied.
  EXPECT_EQ(data.RegKeyList, (app::TTextList{"\\2\\Earlier", "\\2\\Software\\Rich", "\\1\\Software\\Rich\\User"}));
  EXPECT_EQ(data.RegKeyLevels, (std::vector<uint8_t>{9, 1, 3}));
  EXPECT_EQ(data.UninsData.UninstallKey, "RichApp");
  EXPECT_EQ(data.UninsData.LeadByte, 0xFE);
}

TEST_F(LogReader, EmptyFileGroupKeepsItsPosition) {
  ASSERT_TRUE(Read(RichLog()));
  ASSERT_EQ(data.FileLists->size(), 3u);
  EXPECT_EQ((*data.FileLists)[1]->Count(), 0);
  const app::TZDataList* third = (*data.FileLists)[2].get();
  EXPECT_EQ(app::ZDataName(third, 0), "p.dll");
  EXPECT_EQ(app::ZDataValue(third, 0, 1), -5);
  EXPECT_EQ(third->At(0)->Flag, 2);

  // A negative file count is an empty group too.
  LogContent c = RichLog();
  c.groups[1].count = -3;
  app::TRunData fresh;
  app::UninstallRun again{services, person, view, fresh};
  fs.AddFile(kLog, 0, 0, platform::kAttrArchive, app::WriteLog(c));
  again.LogPath = kLog;
  ASSERT_TRUE(again.ReadLog());
  ASSERT_EQ(fresh.FileLists->size(), 3u);
  EXPECT_EQ((*fresh.FileLists)[1]->Count(), 0);
  EXPECT_EQ(app::ZDataName((*fresh.FileLists)[2].get(), 0), "p.dll");
}

TEST_F(LogReader, GroupCountNeedNotMatchFolderCount) {
  LogContent c = RichLog();
  c.groups.pop_back();
  ASSERT_TRUE(Read(c));
  EXPECT_EQ(data.FolderList->Count(), 3);
  EXPECT_EQ(data.FileLists->size(), 2u);
}

TEST_F(LogReader, AllRegistryKeySlotsAndLongNames) {
  LogContent c;
  const std::string longest(255, 'k');
  for (int i = 0; i < 255; ++i) {
    c.regKeys.push_back({static_cast<uint8_t>(i), i == 254 ? longest : "\\2\\Software\\Maker\\K" + std::to_string(i)});
  }
  c.appName = std::string(255, '\xE9');  // 255 times "é"
  c.folders = {{"", 0}, {std::string(254, 'd') + "\\", 0}};
  c.groups = {LogGroup{std::nullopt, {{std::string(255, 'f'), 1, 2, 3}, {"", 0, 0, 0}}}};
  ASSERT_TRUE(Read(c));
  EXPECT_EQ(data.UninsData.AppName, std::string(255, '\xE9'));
  ASSERT_EQ(data.RegKeyList.size(), 255u);
  EXPECT_EQ(data.RegKeyList[254], longest);
  EXPECT_EQ(data.RegKeyLevels[200], 200);
  EXPECT_EQ(data.FolderList->Text(1).size(), 255u);
  const app::TZDataList* g = (*data.FileLists)[0].get();
  EXPECT_EQ(app::ZDataName(g, 0), std::string(255, 'f'));
  EXPECT_EQ(app::ZDataName(g, 1), "");
  EXPECT_EQ(app::ZDataValue(g, 1, 0), 0);  // an empty name is still a record
}

TEST_F(LogReader, BytesAfterTheLastGroupAreIgnored) {
  std::string bytes = ExampleBytes() + std::string("\x07garbage\xFF\xFF\xFF\xFF", 12);
  ASSERT_TRUE(Read(bytes));
  EXPECT_EQ(data.FileLists->size(), 1u);
  EXPECT_EQ(app::ZDataName((*data.FileLists)[0].get(), 0), "app.exe");
}

TEST_F(LogReader, TotalAndSizesAreUnsigned) {
  LogContent c = RichLog();
  c.totalBytes = 0xFFFFFFFE;
  c.groups[0].files[0].size = 3000000000u;
  ASSERT_TRUE(Read(c));
  EXPECT_EQ(data.UninsData.TotalBytes, 4294967294u);
  EXPECT_EQ(run.BytesToProcess, 4294967294);
  EXPECT_EQ((*data.FileLists)[0]->At(0)->Size, 3000000000u);
}

TEST_F(LogReader, EveryTruncationIsUnreadable) {
  const std::string whole = app::WriteLog(RichLog());
  ASSERT_TRUE(app::ParseLog(whole).Readable());
  for (size_t n = 0; n < whole.size(); ++n) {
    app::TRunData fresh;
    app::UninstallRun again{services, person, view, fresh};
    fs.AddFile(kLog, 0, 0, platform::kAttrArchive, whole.substr(0, n));
    again.LogPath = kLog;
    EXPECT_FALSE(again.ReadLog()) << "cut at " << n;
    EXPECT_EQ(fresh.UninsData.AppName, "") << "cut at " << n;
    EXPECT_FALSE(fresh.FolderList) << "cut at " << n;
    EXPECT_TRUE(fresh.RegKeyList.empty()) << "cut at " << n;
  }
  const std::string example = ExampleBytes();
  for (size_t n = 0; n < example.size(); ++n) EXPECT_FALSE(app::ParseLog(example.substr(0, n)).Readable()) << n;
}

TEST_F(LogReader, HugeCountsAreRefusedAtTheCount) {
  struct Case {
    const char* what;
    LogContent log;
  };
  std::vector<Case> cases;
  LogContent c;
  c.regKeyCount = 255;  // 255 entries of at least 2 bytes cannot fit
  cases.push_back({"registry keys", c});
  c = {};
  c.shortcutCount = INT_MAX;
  cases.push_back({"shortcuts", c});
  c = {};
  c.folderCount = 0x40000000;
  cases.push_back({"folders", c});
  c = {};
  c.groupCount = INT_MAX;
  cases.push_back({"groups", c});
  c = {};
  c.groups = {LogGroup{INT_MAX, {}}};
  cases.push_back({"files", c});
  c = {};
  // Two files promised, 19 bytes left where 20 are needed.
  c.groups = {LogGroup{2, {{"a", 1, 2, 3}}}};
  c.trailing = "12345678";
  cases.push_back({"files, barely", c});

  for (const Case& k : cases) {
    const std::string bytes = app::WriteLog(k.log);
    const app::ParsedLog parsed = app::ParseLog(bytes);
    EXPECT_FALSE(parsed.complete) << k.what;
    ASSERT_EQ(parsed.problems.size(), 1u) << k.what;
    EXPECT_NE(parsed.problems[0].what.find("promises"), std::string::npos) << k.what << ": " << parsed.problems[0].what;
    // Refused before any entry was stored.
    EXPECT_TRUE(parsed.content.regKeys.empty() && parsed.content.shortcuts.empty() && parsed.content.folders.empty())
        << k.what;
    app::TRunData fresh;
    app::UninstallRun again{services, person, view, fresh};
    fs.AddFile(kLog, 0, 0, platform::kAttrArchive, bytes);
    again.LogPath = kLog;
    EXPECT_FALSE(again.ReadLog()) << k.what;
  }
}

TEST_F(LogReader, ACountThatExactlyFitsIsRead) {
  // 255 registry keys of 2 bytes each and nothing else: the count check must
  // not refuse a log that is merely tight.
  LogContent c;
  for (int i = 0; i < 255; ++i) c.regKeys.push_back({0, ""});
  c.groups = {LogGroup{std::nullopt, {{"", 0, 0, 0}}}};
  ASSERT_TRUE(Read(c));
  EXPECT_EQ(data.RegKeyList.size(), 255u);
}

TEST_F(LogReader, NamesThatLeaveTheInstallationFolderAreRefused) {
  const std::string folders[] = {"..\\",        "sub\\..\\..\\", "..",         "C:\\Windows\\", "c:",
                                 "\\Windows\\", "/etc/",         "\\\\srv\\s\\", "sub/../../",    "...\\",
                                 ". .\\",       "a\\.. \\",      "sub\\*\\",     "x\ny\\",        std::string("a\0b\\", 4)};
  for (const std::string& bad : folders) {
    LogContent c = RichLog();
    c.folders[1].name = bad;
    EXPECT_FALSE(app::ParseLog(app::WriteLog(c)).Readable()) << "folder " << bad;
  }
  const std::string nul("ab\0c", 4);
  const std::string files[] = {"..\\boot.ini", "a\\..\\..\\x", "..",      "C:\\autoexec.bat", "D:x.dll",
                               "\\x.dll",      "x.dll:stream", "*.dll",   "?.dll",            "a\"b",
                               "<a>",          nul,            "...",     "sub/../../x"};
  for (const std::string& bad : files) {
    LogContent c = RichLog();
    c.groups[2].files[0].name = bad;
    const app::ParsedLog parsed = app::ParseLog(app::WriteLog(c));
    EXPECT_TRUE(parsed.complete) << "file " << bad;
    EXPECT_FALSE(parsed.Readable()) << "file " << bad;
  }
  // What the removal joins: folder entry and name, and a shortcut less the
  // shortcut folder ("C:\Menu\Rich"), wherever that may occur.
  const std::pair<std::string, std::string> joined[] = {{".", ".\\victim.txt"}, {"a\\.", ". \\x"}, {"a/.", "./x"}};
  for (const auto& [folder, name] : joined) {
    LogContent c = RichLog();
    c.folders[2].name = folder;
    c.groups[2].files[0].name = name;
    EXPECT_FALSE(app::ParseLog(app::WriteLog(c)).Readable()) << folder << " + " << name;
  }
  // Nor a path that Windows would make another of: a "." segment, a name
  // ending in a dot or a blank.
  for (const std::string bad : {"C:\\Menu\\Rich\\..\\Other.lnk", "C:\\Desktop\\. .\\x.lnk",
                                ".C:\\Menu\\Rich\\.\\x.lnk", ". c:\\menu\\rich\\.", "..C:\\MENU\\RICH\\",
                                "D:\\Desktop\\.\\Rich.lnk", "C:\\windows.\\system32\\x.lnk", "C:\\Menu \\x.lnk",
                                "C:\\Menu\\x.lnk."}) {
    LogContent c = RichLog();
    c.shortcuts.push_back(bad);
    EXPECT_FALSE(app::ParseLog(app::WriteLog(c)).Readable()) << "shortcut " << bad;
  }
  // Through the reader: refused, nothing taken over.
  LogContent c = RichLog();
  c.groups[0].files[1].name = "..\\..\\Windows\\system.ini";
  EXPECT_FALSE(Read(c));
  ExpectUntouched();
}

TEST_F(LogReader, OrdinaryNamesWithDotsAreAccepted) {
  LogContent c = RichLog();
  c.folders.push_back({"a..b\\.cfg\\", 0});
  c.folders.push_back({"sub\\.\\x\\", 0});
  c.folders.push_back({"\xE7\xE3o\\", 0});  // "ção"
  c.groups.push_back({std::nullopt, {{"..x", 1, 1, 1}, {"x..", 1, 1, 1}, {".hidden", 1, 1, 1}, {"a b.txt", 1, 1, 1}}});
  // Shortcuts are full paths elsewhere by nature; dots inside names do not
  // climb.
  c.shortcuts.push_back("D:\\Desktop\\Rich..x.lnk");
  ASSERT_TRUE(Read(c));
  EXPECT_EQ(data.FolderList->Text(5), "\xE7\xE3o\\");
  EXPECT_EQ(app::ZDataName(data.FileLists->back().get(), 1), "x..");
}

TEST_F(LogReader, LogThatCannotBeOpenedIsUnreadable) {
  run.LogPath = kLog;
  EXPECT_FALSE(run.ReadLog());  // missing

  fs.AddFile(kLog, 0, 0, platform::kAttrArchive, ExampleBytes());
  fs.OpenForWriting(kLog);
  EXPECT_FALSE(run.ReadLog());
  ExpectUntouched();

  fakes::FakeFileSystem other;
  other.AddFile(kLog, 0, 0, platform::kAttrArchive, ExampleBytes());
  other.Lock(kLog);
  app::Services s2{other, world.registry, world.box, world.locale, world.module, world.lock, world.claim};
  app::UninstallRun locked{s2, person, view, data};
  locked.LogPath = kLog;
  EXPECT_FALSE(locked.ReadLog());

  fs.AddFolder("D:\\Demo\\folder.und");
  run.LogPath = "D:\\Demo\\folder.und";
  EXPECT_FALSE(run.ReadLog());
  ExpectUntouched();
}

TEST_F(LogReader, EmptyFileIsUnreadable) {
  EXPECT_FALSE(Read(std::string()));
  ExpectUntouched();
}

}  // namespace
