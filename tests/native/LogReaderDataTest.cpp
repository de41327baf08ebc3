// The run data's accessors and clearing operations, and the byte format's
// writer and parser agreeing with each other.
#include <gtest/gtest.h>

#include <climits>

#include "app/tools/LogWriter.h"
#include "app/RunData.h"

namespace {

std::unique_ptr<app::TZData> Z(const char* name, int32_t size, int32_t date) {
  auto z = std::make_unique<app::TZData>();
  z->Name = name;
  z->Size = size;
  z->Date = date;
  return z;
}

TEST(LogReaderData, AccessorsAnswerForGoodAndBadIndices) {
  app::TZDataList list;
  list.Add(Z("a.exe", 10, 20));
  list.Add(nullptr);  // an empty slot
  list.Add(Z("c.dll", 30, 40));
  EXPECT_EQ(app::ZDataValue(&list, 0, 0), 10);
  EXPECT_EQ(app::ZDataValue(&list, 0, 1), 20);
  EXPECT_EQ(app::ZDataValue(&list, 2, 1), 40);
  EXPECT_EQ(app::ZDataName(&list, 2), "c.dll");
  for (int32_t which : {2, -1, 100, INT_MIN}) EXPECT_EQ(app::ZDataValue(&list, 0, which), -1) << which;
  for (int32_t index : {3, -1, INT_MAX, INT_MIN}) {
    EXPECT_EQ(app::ZDataValue(&list, index, 0), -1) << index;
    EXPECT_EQ(app::ZDataName(&list, index), "") << index;
  }
  EXPECT_EQ(app::ZDataValue(&list, 1, 0), -1);
  EXPECT_EQ(app::ZDataValue(&list, 1, 1), -1);
  EXPECT_EQ(app::ZDataName(&list, 1), "");
  EXPECT_EQ(app::ZDataValue(nullptr, 0, 0), -1);
  EXPECT_EQ(app::ZDataName(nullptr, 0), "");
}

TEST(LogReaderData, DeleteRemovesTheSlotAndIgnoresBadIndices) {
  app::TZDataList list;
  list.Add(Z("a", 1, 1));
  list.Add(nullptr);
  list.Add(Z("c", 3, 3));
  app::ZDataDelete(&list, 3);
  app::ZDataDelete(&list, -1);
  app::ZDataDelete(nullptr, 0);
  EXPECT_EQ(list.Count(), 3);
  app::ZDataDelete(&list, 1);  // the empty slot goes as well
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(app::ZDataName(&list, 1), "c");
  app::ZDataDelete(&list, 0);
  EXPECT_EQ(app::ZDataName(&list, 0), "c");
  EXPECT_EQ(list.Count(), 1);
}

TEST(LogReaderData, ClearingOperationsEmptyButKeepTheLists) {
  app::TRunData data;
  // Absent lists: nothing happens, nothing is created.
  data.ClearFolderList();
  data.ClearFileLists();
  data.ClearFailList();
  EXPECT_FALSE(data.FolderList);
  EXPECT_FALSE(data.FileLists);
  EXPECT_FALSE(data.FailList);

  data.FolderList = std::make_unique<app::TFolderList>();
  data.FolderList->Add("", std::make_unique<app::TDirData>());
  data.FolderList->Add("sub\\");
  data.FileLists = std::make_unique<app::TFileLists>();
  data.FileLists->push_back(std::make_unique<app::TZDataList>());
  data.FileLists->back()->Add(Z("x", 1, 1));
  data.FileLists->push_back(nullptr);
  data.FailList = std::make_unique<app::TFailList>();
  data.FailList->Add("header");
  data.FailList->Add("C:\\x", std::make_unique<app::TFailData>());
  data.ClearFolderList();
  data.ClearFileLists();
  data.ClearFailList();
  ASSERT_TRUE(data.FolderList);
  ASSERT_TRUE(data.FileLists);
  ASSERT_TRUE(data.FailList);
  EXPECT_EQ(data.FolderList->Count(), 0);
  EXPECT_TRUE(data.FileLists->empty());
  EXPECT_EQ(data.FailList->Count(), 0);
  data.FreeLists();
  EXPECT_FALSE(data.FolderList || data.FileLists || data.FailList || data.ShortcutList);
}

TEST(LogReaderFormat, WriterPutsDownTheExampleBytes) {
  app::LogContent c;
  c.leadByte = 1;
  c.appName = "Demo";
  c.hostLevels = 1;
  c.totalBytes = 4096;
  c.folders = {{"", 1}};
  c.groups = {{std::nullopt, {{"app.exe", 4096, 0x2AB153C0, 1}}}};
  const std::string bytes = app::WriteLog(c);
  ASSERT_EQ(bytes.size(), 0x3Au);
  EXPECT_EQ(bytes.substr(0x09, 4), std::string("\x00\x10\x00\x00", 4));
  EXPECT_EQ(bytes.substr(0x0D, 5), "\x04nono");
  EXPECT_EQ(bytes.substr(0x35, 5), std::string("\xC0\x53\xB1\x2A\x01", 5));
}

TEST(LogReaderFormat, ParseGivesBackWhatWasWritten) {
  app::LogContent c;
  c.leadByte = 0;
  c.appName = "Caf\xE9";  // "Café"
  c.hostLevels = 255;
  c.shortcutLevels = 3;
  c.regKeys = {{2, "\\2\\Software\\X"}, {0, ""}};
  c.totalBytes = INT_MIN;
  c.uninstallKey = "X";
  c.shortcutDir = "";
  c.shortcuts = {"", "C:\\a.lnk"};
  c.folders = {{"", 0}, {"d\\", 255}};
  c.groups = {{std::nullopt, {{"f", INT_MAX, -1, 9}}}, {std::nullopt, {}}};
  c.trailing = std::string("\0\xFF", 2);
  const std::string bytes = app::WriteLog(c);
  const app::ParsedLog p = app::ParseLog(bytes);
  ASSERT_TRUE(p.complete);  // (an empty shortcut is no path the uninstaller accepts)
  EXPECT_EQ(p.end, bytes.size() - 2);
  EXPECT_EQ(app::WriteLog(p.content), bytes);
  EXPECT_EQ(p.content.appName, c.appName);
  EXPECT_EQ(p.content.totalBytes, INT_MIN);
  EXPECT_EQ(p.content.groups[0].files[0].size, INT_MAX);
  EXPECT_EQ(p.content.folders[1].flag, 255);
  EXPECT_EQ(*p.content.folderCount, 2);
}

TEST(LogReaderFormat, ProblemsNameTheOffsetAndTheField) {
  app::LogContent c;
  c.appName = "A";
  c.folders = {{"", 0}, {"..\\", 0}};
  c.groups = {{std::nullopt, {}}, {3, {{"ok", 1, 1, 1}}}};
  const std::string bytes = app::WriteLog(c);
  const app::ParsedLog p = app::ParseLog(bytes);
  ASSERT_EQ(p.problems.size(), 2u);
  // folder 1's name starts after: lead 1, name 2, levels 2, key count 1,
  // total 4, "nono" 5 twice, shortcut count 4, folder count 4, folder 0 2.
  EXPECT_EQ(p.problems[0].offset, 30u);
  EXPECT_NE(p.problems[0].what.find("folder 1"), std::string::npos) << p.problems[0].what;
  EXPECT_NE(p.problems[1].what.find("file count of group 1"), std::string::npos) << p.problems[1].what;
  EXPECT_FALSE(p.complete);

  const app::ParsedLog cut = app::ParseLog(bytes.substr(0, 2));
  ASSERT_EQ(cut.problems.size(), 1u);
  EXPECT_EQ(cut.problems[0].offset, 1u);
  EXPECT_NE(cut.problems[0].what.find("inside the application name"), std::string::npos) << cut.problems[0].what;

  // A logged key outside an application's places, at its entry's offset; a
  // class that may point at the application is the removal's to judge.
  c.regKeys = {{1, "\\2\\Software\\Maker"}, {2, "\\0\\exefile\\shell"}, {1, "\\2\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"}};
  c.folders = {{"", 0}};
  c.groups = {{std::nullopt, {}}};
  const app::ParsedLog keys = app::ParseLog(app::WriteLog(c));
  ASSERT_EQ(keys.problems.size(), 1u);
  EXPECT_EQ(keys.problems[0].offset, 6 + 2 + c.regKeys[0].key.size() + 2 + c.regKeys[1].key.size());
  EXPECT_NE(keys.problems[0].what.find("registry key 2 names a key that is not the application's: a branch of the system's own"),
            std::string::npos) << keys.problems[0].what;
}

TEST(LogReaderFormat, WriterRefusesOverlongTexts) {
  app::LogContent c;
  c.appName = std::string(256, 'a');
  EXPECT_THROW(app::WriteLog(c), std::length_error);
  c.appName = std::string(255, 'a');
  EXPECT_EQ(app::WriteLog(c)[1], '\xFF');
}

}  // namespace
