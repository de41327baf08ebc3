#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/RunData.h"
#include "env/Enviro.h"
#include "summary/SummaryDeletion.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeServices.h"

using platform::kAttrArchive;
using platform::kAttrDirectory;
using platform::kAttrHidden;
using platform::kAttrReadOnly;
using platform::kAttrSystem;

namespace {

class SummaryFixture : public testing::Test {
 protected:
  // A line as the failure list shows it: four blanks, then the path.
  int AddLine(const std::string& text, std::optional<int32_t> kind) {
    std::unique_ptr<app::TFailData> record;
    if (kind) {
      record = std::make_unique<app::TFailData>();
      record->Kind = *kind;
    }
    return list.Add(text, std::move(record));
  }
  int FileLine(const std::string& path) { return AddLine("    " + path, app::kFailFile); }
  int FolderLine(const std::string& path) { return AddLine("    " + path, app::kFailFolder); }

  std::vector<int32_t> Delete(std::set<int> selected) {
    return deletion.DeleteSelectedLines(list, [selected](int i) { return selected.count(i) != 0; });
  }
  void ExpectBlank(int i) {
    EXPECT_EQ(list.Text(i), "") << i;
    EXPECT_EQ(list.Object(i), nullptr) << i;
  }
  std::vector<std::string> Questions() const {
    std::vector<std::string> out;
    for (const auto& s : box.shown()) out.push_back(s.text);
    return out;
  }
  static std::string AskFile(const std::string& p) { return "Apagar o arquivo \"" + p + "\"?"; }
  static std::string AskFolder(const std::string& p) { return "Apagar a pasta \"" + p + "\"?"; }

  fakes::FakeFileSystem fs;
  fakes::FakeMessageBox box;
  fakes::FakeLocale locale;
  summary::SummaryDeletion deletion{fs, box, locale};
  app::TFailList list;
};

// ---- file lines ----

using SummaryDeletionFile = SummaryFixture;

TEST_F(SummaryDeletionFile, ReadOnlyFileIsDeletedWithoutAQuestion) {
  fs.AddFile("C:\\App\\ro.dll", 0, 10, kAttrReadOnly | kAttrArchive);
  AddLine("Arquivos que n\343o puderam ser removidos:", std::nullopt);
  FileLine("C:\\App\\ro.dll");
  EXPECT_EQ(Delete({0, 1}), std::vector<int32_t>{1});
  EXPECT_FALSE(fs.Exists("C:\\App\\ro.dll"));
  ExpectBlank(1);
  EXPECT_EQ(list.Text(0), "Arquivos que n\343o puderam ser removidos:");
  EXPECT_TRUE(box.shown().empty());
}

TEST_F(SummaryDeletionFile, FileAlreadyGoneBlanksItsLine) {
  FileLine("C:\\App\\gone.dll");
  EXPECT_EQ(Delete({0}), std::vector<int32_t>{0});
  ExpectBlank(0);
  EXPECT_TRUE(fs.Mutated().empty());
  EXPECT_TRUE(box.shown().empty());
}

TEST_F(SummaryDeletionFile, RefusedDeletionKeepsTheLine) {
  fs.AddFile("C:\\App\\locked.dll");
  fs.Fail(fakes::FsOp::RemoveFile, "C:\\App\\locked.dll");
  fs.AddFile("C:\\App\\attrs.dll", 0, 0, kAttrReadOnly);
  fs.Fail(fakes::FsOp::SetAttributes, "C:\\App\\attrs.dll");
  FileLine("C:\\App\\locked.dll");
  FileLine("C:\\App\\attrs.dll");
  EXPECT_TRUE(Delete({0, 1}).empty());
  EXPECT_EQ(list.Text(0), "    C:\\App\\locked.dll");
  ASSERT_NE(list.Object(1), nullptr);
  EXPECT_EQ(list.Object(1)->Kind, app::kFailFile);
  EXPECT_TRUE(fs.Exists("C:\\App\\attrs.dll"));
  // The attributes could not be written, so no deletion was tried.
  for (const std::string& call : fs.Calls()) EXPECT_NE(call, "RemoveFile C:\\App\\attrs.dll");

  fs.ClearFaults();
  EXPECT_EQ(Delete({0}), std::vector<int32_t>{0});  // tried again, and now it goes
}

TEST_F(SummaryDeletionFile, PathIsTrimmedOfControlsAndBlanksOnly) {
  EXPECT_EQ(summary::TrimLine("    C:\\a b.txt  "), "C:\\a b.txt");
  EXPECT_EQ(summary::TrimLine("\t\r\n\x01 C:\\x\x1f "), "C:\\x");
  EXPECT_EQ(summary::TrimLine("\xA0" "C:\\x\xA0"), "\xA0" "C:\\x\xA0");  // no-break space is above 32
  EXPECT_EQ(summary::TrimLine("   "), "");

  fs.AddFile("C:\\App\\a b.txt");
  AddLine(" \t C:\\App\\a b.txt \r", app::kFailFile);
  EXPECT_EQ(Delete({0}), std::vector<int32_t>{0});
  EXPECT_FALSE(fs.Exists("C:\\App\\a b.txt"));
}

// ---- folder lines ----

using SummaryDeletionFolder = SummaryFixture;

TEST_F(SummaryDeletionFolder, LinksGoThemselvesAndNothingBehindThemIsAskedAbout) {
  fs.AddFile("C:\\Outside\\secret.txt");
  fs.AddFile("C:\\Outside\\ro.dll", 0, 0, kAttrReadOnly);
  fs.AddLink("C:\\App\\Data\\out", "C:\\Outside");
  fs.AddLink("C:\\App\\Data\\one.txt", "C:\\Outside\\secret.txt");
  fs.AddHardLink("C:\\App\\Data\\ro.dll", "C:\\Outside\\ro.dll");
  FolderLine("C:\\App\\Data\\");
  for (int i = 0; i < 3; ++i) box.Answer(env::kIdYes);
  EXPECT_EQ(Delete({0}), std::vector<int32_t>{});  // the read-only name stays, and with it the folder
  EXPECT_EQ(Questions().size(), 3u) << "one question per link, none for what lies behind";
  EXPECT_FALSE(fs.Exists("C:\\App\\Data\\out") || fs.Exists("C:\\App\\Data\\one.txt"));
  EXPECT_TRUE(fs.Exists("C:\\Outside\\secret.txt"));
  EXPECT_EQ(*fs.Attributes("C:\\Outside\\ro.dll") & kAttrReadOnly, kAttrReadOnly) << "its bit is kept";
  // A folder line that is a link itself goes without a question.
  fs.AddLink("C:\\App\\Linked", "C:\\Outside");
  FolderLine("C:\\App\\Linked\\");
  EXPECT_EQ(Delete({1}), std::vector<int32_t>{1});
  EXPECT_TRUE(fs.Exists("C:\\Outside\\secret.txt"));
  EXPECT_EQ(Questions().size(), 3u);
  // A folder swapped for a link while the question about a file in it
  // waits: the Yes deletes nothing behind the link.
  fs.AddFile("C:\\App\\Data\\deep\\secret.txt");
  fs.AddFile("C:\\App\\Data\\mine.txt");
  box.whileShown = [&](const std::string& text) {
    if (text == AskFile("C:\\App\\Data\\deep\\secret.txt")) fs.SwapForLink("C:\\App\\Data\\deep", "C:\\Outside");
  };
  FolderLine("C:\\App\\Data\\");
  for (int i = 0; i < 3; ++i) box.Answer(env::kIdYes);
  EXPECT_EQ(Delete({2}), std::vector<int32_t>{});
  EXPECT_TRUE(fs.Exists("C:\\Outside\\secret.txt")) << "deleted through the link swapped in";
  EXPECT_FALSE(fs.Exists("C:\\App\\Data\\mine.txt"));
}

TEST_F(SummaryDeletionFolder, YesToBothFilesRemovesEverything) {
  fs.AddFile("C:\\App\\Data\\a.txt");
  fs.AddFile("C:\\App\\Data\\b.txt", 0, 0, kAttrReadOnly);
  FolderLine("C:\\App\\Data\\");
  box.Answer(env::kIdYes);
  box.Answer(env::kIdYes);
  EXPECT_EQ(Delete({0}), std::vector<int32_t>{0});
  EXPECT_EQ(Questions(), (std::vector<std::string>{AskFile("C:\\App\\Data\\a.txt"), AskFile("C:\\App\\Data\\b.txt")}));
  EXPECT_FALSE(fs.Exists("C:\\App\\Data"));
  EXPECT_TRUE(fs.Exists("C:\\App"));
  ExpectBlank(0);
}

TEST_F(SummaryDeletionFolder, NoToOneFileKeepsItTheFolderAndTheLine) {
  fs.AddFile("C:\\App\\Data\\a.txt");
  fs.AddFile("C:\\App\\Data\\b.txt");
  FolderLine("C:\\App\\Data");
  box.Answer(env::kIdYes);
  box.Answer(env::kIdNo);
  EXPECT_TRUE(Delete({0}).empty());
  EXPECT_FALSE(fs.Exists("C:\\App\\Data\\a.txt"));
  EXPECT_TRUE(fs.Exists("C:\\App\\Data\\b.txt"));
  EXPECT_TRUE(fs.IsFolder("C:\\App\\Data"));
  EXPECT_EQ(list.Text(0), "    C:\\App\\Data");
  ASSERT_NE(list.Object(0), nullptr);
  EXPECT_EQ(list.Object(0)->Kind, app::kFailFolder);
}

TEST_F(SummaryDeletionFolder, OnlyYesConsents) {
  fs.AddFile("C:\\App\\Data\\a.txt");
  fs.AddFile("C:\\App\\Data\\b.txt");
  fs.AddFile("C:\\App\\Data\\c.txt");
  FolderLine("C:\\App\\Data");
  box.Answer(env::kIdOk);
  box.Answer(env::kIdCancel);
  box.Answer(0);  // the box could not be shown
  EXPECT_TRUE(Delete({0}).empty());
  EXPECT_EQ(fs.AllPaths().size(), 5u);
}

TEST_F(SummaryDeletionFolder, QuestionsGoDepthFirst) {
  fs.AddFile("C:\\T\\a.txt");
  fs.AddFile("C:\\T\\Sub\\Deep\\x.txt");
  fs.AddFile("C:\\T\\Sub\\y.txt");
  fs.AddFile("C:\\T\\z.txt");
  FolderLine("C:\\T");
  for (int i = 0; i < 7; ++i) box.Answer(env::kIdYes);
  EXPECT_EQ(Delete({0}), std::vector<int32_t>{0});
  EXPECT_EQ(Questions(), (std::vector<std::string>{
                             AskFile("C:\\T\\a.txt"), AskFolder("C:\\T\\Sub"), AskFolder("C:\\T\\Sub\\Deep"),
                             AskFile("C:\\T\\Sub\\Deep\\x.txt"), AskFile("C:\\T\\Sub\\y.txt"), AskFile("C:\\T\\z.txt")}));
  EXPECT_FALSE(fs.Exists("C:\\T"));
  // Question 42 is the folder question, 43 the file question.
  EXPECT_EQ(box.shown()[1].text, env::BuildCodedMessage(42, "C:\\T\\Sub").text);
  EXPECT_EQ(box.shown()[0].text, env::BuildCodedMessage(43, "C:\\T\\a.txt").text);
}

TEST_F(SummaryDeletionFolder, KeptSubFolderKeepsItsParent) {
  fs.AddFile("C:\\T\\Sub\\x.txt");
  fs.AddFile("C:\\T\\z.txt");
  FolderLine("C:\\T");
  box.Answer(env::kIdNo);   // Sub
  box.Answer(env::kIdYes);  // z.txt
  EXPECT_TRUE(Delete({0}).empty());
  EXPECT_TRUE(fs.Exists("C:\\T\\Sub\\x.txt"));
  EXPECT_FALSE(fs.Exists("C:\\T\\z.txt"));
  EXPECT_EQ(box.shown().size(), 2u);  // nothing asked inside the kept folder
}

TEST_F(SummaryDeletionFolder, HiddenAndSystemFoldersAreReallyRemoved) {
  fs.AddFolder("C:\\App\\Cache", kAttrDirectory | kAttrHidden);
  fs.AddFolder("C:\\App\\Cache\\Sys", kAttrDirectory | kAttrSystem | kAttrHidden);
  fs.AddFile("C:\\App\\Cache\\Sys\\h.bin", 0, 0, kAttrHidden | kAttrSystem);
  fs.AddFolder("C:\\App\\Empty", kAttrDirectory | kAttrSystem);
  FolderLine("C:\\App\\Cache");
  FolderLine("C:\\App\\Empty");
  box.Answer(env::kIdYes);
  box.Answer(env::kIdYes);
  EXPECT_EQ(Delete({0, 1}), (std::vector<int32_t>{0, 1}));
  EXPECT_FALSE(fs.Exists("C:\\App\\Cache"));
  EXPECT_FALSE(fs.Exists("C:\\App\\Empty"));
  EXPECT_TRUE(fs.Exists("C:\\App"));
}

TEST_F(SummaryDeletionFolder, RefusedRemovalOrMissingFolder) {
  fs.AddFolder("C:\\App\\Busy");
  fs.Fail(fakes::FsOp::RemoveFolder, "C:\\App\\Busy");
  FolderLine("C:\\App\\Busy");
  FolderLine("C:\\App\\Gone");
  EXPECT_EQ(Delete({0, 1}), std::vector<int32_t>{1});
  EXPECT_TRUE(fs.IsFolder("C:\\App\\Busy"));
  EXPECT_EQ(list.Text(0), "    C:\\App\\Busy");
  ExpectBlank(1);
  EXPECT_TRUE(box.shown().empty());
  EXPECT_TRUE(deletion.DeleteFolderTree("C:\\Nowhere\\"));
}

// ---- the selection ----

using SummaryDeletionLines = SummaryFixture;

TEST_F(SummaryDeletionLines, LinesWithoutAFileOrFolderRecordAreNeverActedOn) {
  fs.AddFile("C:\\Users\\Ana\\Desktop\\App.lnk");
  fs.AddFolder("C:\\App");
  AddLine("Atalhos:", std::nullopt);
  AddLine("    C:\\Users\\Ana\\Desktop\\App.lnk", std::nullopt);  // a shortcut line
  AddLine("    HKEY_LOCAL_MACHINE\\Software\\App", std::nullopt);   // a registry line
  AddLine("    C:\\App", 2);                                         // an unknown kind
  EXPECT_TRUE(Delete({0, 1, 2, 3}).empty());
  EXPECT_TRUE(fs.Mutated().empty());
  EXPECT_TRUE(fs.Exists("C:\\Users\\Ana\\Desktop\\App.lnk"));
  EXPECT_EQ(list.Text(1), "    C:\\Users\\Ana\\Desktop\\App.lnk");
  EXPECT_EQ(list.Object(3)->Kind, 2);
}

TEST_F(SummaryDeletionLines, OnlySelectedLinesAndBlankedLinesStayInPlace) {
  fs.AddFile("C:\\App\\a.dll");
  fs.AddFile("C:\\App\\b.dll");
  fs.AddFile("C:\\App\\c.dll");
  AddLine("Arquivos:", std::nullopt);
  FileLine("C:\\App\\a.dll");
  FileLine("C:\\App\\b.dll");
  FileLine("C:\\App\\c.dll");
  EXPECT_EQ(Delete({1, 3}), (std::vector<int32_t>{1, 3}));
  ASSERT_EQ(list.Count(), 4);
  ExpectBlank(1);
  ExpectBlank(3);
  EXPECT_EQ(list.Text(2), "    C:\\App\\b.dll");
  EXPECT_TRUE(fs.Exists("C:\\App\\b.dll"));

  // Chosen again, blanked lines do nothing at all.
  const size_t calls = fs.Calls().size();
  EXPECT_TRUE(Delete({1, 3}).empty());
  EXPECT_EQ(fs.Calls().size(), calls);
  EXPECT_EQ(list.Count(), 4);
  EXPECT_EQ(list.Text(2), "    C:\\App\\b.dll");
}

}  // namespace
