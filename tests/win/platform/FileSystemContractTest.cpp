// The file system behaviours the fake promises, checked against Windows.
// Not checkable under Wine, which keeps no read-only bit on folders and no
// archive bit at all: the fake follows Windows there (a read-only folder
// refuses removal).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "tests/win/platform/Worlds.h"

namespace platform_test {
namespace {

using platform::FileEntry;
using platform::kAttrArchive;
using platform::kAttrDirectory;
using platform::kAttrHidden;
using platform::kAttrNormal;
using platform::kAttrReadOnly;
using platform::kErrorAccessDenied;
using platform::kErrorDirectory;
using platform::kErrorDirNotEmpty;
using platform::kErrorFileNotFound;
using platform::kErrorPathNotFound;
using platform::kErrorSharingViolation;

template <typename World>
class FileSystemContract : public ::testing::Test {
 protected:
  std::string P(const std::string& rel) const { return world.root() + "\\" + rel; }
  std::vector<std::string> Names(const std::vector<FileEntry>& entries) {
    std::vector<std::string> names;
    for (const FileEntry& e : entries) names.push_back(e.name);
    std::sort(names.begin(), names.end());
    return names;
  }
  const FileEntry* Named(const std::vector<FileEntry>& entries, const std::string& name) {
    for (const FileEntry& e : entries)
      if (e.name == name) return &e;
    return nullptr;
  }

  World world;
  platform::IFileSystem& fs = world.fs();
};

using FsWorlds = ::testing::Types<FakeFsWorld, RealFsWorld>;
TYPED_TEST_SUITE(FileSystemContract, FsWorlds, WorldNames);

TYPED_TEST(FileSystemContract, FindsAFileWithItsSizeNameAndAttributes) {
  this->world.MakeFile(this->P("Leia-me.txt"), "hello");
  auto e = this->fs.FindEntry(this->P("LEIA-ME.TXT"));  // paths ignore case
  ASSERT_TRUE(e);
  EXPECT_EQ(e->name, "LEIA-ME.TXT");  // as asked, no folder part
  EXPECT_EQ(e->size, 5u);
  EXPECT_FALSE(e->IsFolder());
  EXPECT_EQ(e->attributes, kAttrArchive);
  EXPECT_TRUE(this->fs.FileExists(this->P("leia-me.txt")));
  EXPECT_EQ(this->fs.GetAttributes(this->P("leia-me.txt")), kAttrArchive);
}

TYPED_TEST(FileSystemContract, CountsAFilesNames) {
  this->world.MakeFile(this->P("a.dll"), "x");
  this->world.MakeFile(this->P("only.dll"), "y");
  this->world.MakeHardLink(this->P("b.dll"), this->P("a.dll"));
  EXPECT_EQ(this->fs.HardLinks(this->P("b.dll")), 2u);
  EXPECT_EQ(this->fs.HardLinks(this->P("only.dll")), 1u);
  EXPECT_FALSE(this->fs.HardLinks(this->P("none.dll")));
}

TYPED_TEST(FileSystemContract, FindsAFolderButNotThroughATrailingBackslash) {
  this->world.MakeFolder(this->P("Sub"));
  this->world.MakeFile(this->P("f.txt"), "x");
  auto e = this->fs.FindEntry(this->P("Sub"));
  ASSERT_TRUE(e);
  EXPECT_TRUE(e->IsFolder());
  EXPECT_FALSE(this->fs.FileExists(this->P("Sub")));
  EXPECT_FALSE(this->fs.FindEntry(this->P("Sub\\")));
  EXPECT_FALSE(this->fs.FindEntry(this->P("f.txt\\")));
  EXPECT_FALSE(this->fs.FindEntry(this->world.root() + "\\"));
  // Exact paths only: a wildcard never finds some other entry.
  EXPECT_FALSE(this->fs.FindEntry(this->P("f.tx?")));
  EXPECT_FALSE(this->fs.FindEntry(this->P("*.txt")));
  EXPECT_TRUE(this->fs.GetAttributes(this->P("Sub")).value_or(0) & kAttrDirectory);
}

TYPED_TEST(FileSystemContract, ADriveIsNoEntry) {
  // Asked for "C:", Windows answers for the drive's current folder.
  const std::string drive = this->world.root().substr(0, 2);
  for (const std::string& path : {drive, drive + "\\", drive + "/"}) {
    EXPECT_FALSE(this->fs.FindEntry(path)) << path;
    EXPECT_FALSE(this->fs.RemoveFolder(path)) << path;
  }
}

TYPED_TEST(FileSystemContract, DoubleByteNameEndingInByte5CIsFoundAndRemoved) {
  if (GetACP() != 932) {
    const char* lang = std::getenv("UND_LANG");
    if (lang != nullptr && std::string(lang).rfind("ja_JP", 0) == 0) FAIL() << "no code page 932 under " << lang;
    GTEST_SKIP() << "needs code page 932 (UND_LANG=ja_JP.UTF-8)";
  }
  this->world.UseSystemCodePage();
  const std::string folder = this->P("\x90\xAC\x90\xD1\x95\x5C");  // "成績表": its last byte is 0x5C
  const std::string file = folder + "\\\x95\x5C.txt";              // "表.txt" inside it
  this->world.MakeFolder(folder);
  this->world.MakeFile(file, "x");
  auto e = this->fs.FindEntry(folder);
  ASSERT_TRUE(e);
  EXPECT_TRUE(e->IsFolder());
  EXPECT_EQ(e->name, "\x90\xAC\x90\xD1\x95\x5C");
  EXPECT_FALSE(this->fs.FindEntry(folder + "\\"));  // a real backslash after it still finds nothing
  EXPECT_TRUE(this->fs.FileExists(file));
  EXPECT_FALSE(this->fs.RemoveFolder(folder));
  EXPECT_TRUE(this->fs.RemoveFile(file));
  EXPECT_TRUE(this->fs.RemoveFolder(folder));
  EXPECT_FALSE(this->fs.FindEntry(folder));
}

TYPED_TEST(FileSystemContract, AccentedNamesIgnoreCaseAndKeepTheirSpelling) {
  // "Ação Šó.txt" found as "AÇÃO ŠÓ.TXT" and as "ação šó.txt"
  const std::string stored = "A\347\343o \212\363.txt";
  this->world.MakeFile(this->P(stored), "x");
  for (const std::string& asked : {std::string("A\307\303O \212\323.TXT"), std::string("a\347\343o \232\363.txt")}) {
    auto e = this->fs.FindEntry(this->P(asked));
    ASSERT_TRUE(e) << asked;
  }
  auto listed = this->fs.ListFolder(this->world.root());
  ASSERT_TRUE(listed);
  EXPECT_TRUE(this->Named(*listed, stored)) << "listing gives the stored spelling";
  EXPECT_TRUE(this->fs.RemoveFile(this->P("A\307\303O \212\323.TXT")));
  EXPECT_FALSE(this->fs.FindEntry(this->P(stored)));
}

TYPED_TEST(FileSystemContract, HiddenFolderIsFoundWithItsAttributes) {
  this->world.MakeFolder(this->P("Oculta"));
  ASSERT_TRUE(this->fs.SetAttributes(this->P("Oculta"), kAttrHidden));
  auto e = this->fs.FindEntry(this->P("Oculta"));
  ASSERT_TRUE(e);
  EXPECT_EQ(e->attributes & (kAttrHidden | kAttrDirectory), kAttrHidden | kAttrDirectory);
  EXPECT_TRUE(this->fs.RemoveFolder(this->P("Oculta")));
}

TYPED_TEST(FileSystemContract, MissingPathsFailEveryOperation) {
  // The file is not found; or a folder on the way to it is not.
  const struct {
    std::string path;
    uint32_t error;
  } cases[] = {{this->P("nada.txt"), kErrorFileNotFound}, {this->P("nada\\deeper.txt"), kErrorPathNotFound}};
  for (const auto& [path, error] : cases) {
    SCOPED_TRACE(path);
    EXPECT_FALSE(this->fs.FindEntry(path));
    EXPECT_FALSE(this->fs.FileExists(path));
    EXPECT_FALSE(this->fs.GetAttributes(path));
    EXPECT_EQ(this->fs.SetAttributes(path, kAttrArchive).error(), error);
    EXPECT_EQ(this->fs.RemoveFile(path).error(), error);
    EXPECT_EQ(this->fs.RemoveFolder(path).error(), error);
    EXPECT_FALSE(this->fs.ListFolder(path));
    EXPECT_FALSE(this->fs.ReadDenyWrite(path));
  }
}

TYPED_TEST(FileSystemContract, HiddenAttributeSurvivesAndIsReported) {
  this->world.MakeFile(this->P("oculto.dat"), "x");
  ASSERT_TRUE(this->fs.SetAttributes(this->P("oculto.dat"), kAttrHidden | kAttrArchive));
  EXPECT_EQ(this->fs.GetAttributes(this->P("oculto.dat")), kAttrHidden | kAttrArchive);
  auto e = this->fs.FindEntry(this->P("oculto.dat"));
  ASSERT_TRUE(e);
  EXPECT_EQ(e->attributes, kAttrHidden | kAttrArchive);
  auto list = this->fs.ListFolder(this->world.root());
  ASSERT_TRUE(list);
  const FileEntry* listed = this->Named(*list, "oculto.dat");
  ASSERT_NE(listed, nullptr);
  EXPECT_EQ(listed->attributes, kAttrHidden | kAttrArchive);
}

TYPED_TEST(FileSystemContract, AFileLeftWithoutAttributesReportsNormal) {
  this->world.MakeFile(this->P("a.txt"), "x");
  ASSERT_TRUE(this->fs.SetAttributes(this->P("a.txt"), kAttrReadOnly));
  ASSERT_TRUE(this->fs.SetAttributes(this->P("a.txt"), 0));  // read-only bit dropped
  // Wine keeps no archive bit and reports every file as archived; Windows
  // (and the fake) report a file with nothing left as normal.
  const uint32_t wine = TypeParam::kReal && RunningUnderWine() ? kAttrArchive : 0;
  EXPECT_EQ(this->fs.GetAttributes(this->P("a.txt")), wine ? wine : kAttrNormal);
  ASSERT_TRUE(this->fs.SetAttributes(this->P("a.txt"), kAttrNormal | kAttrHidden));
  EXPECT_EQ(this->fs.GetAttributes(this->P("a.txt")), kAttrHidden | wine);  // normal counts only alone
}

TYPED_TEST(FileSystemContract, ReadOnlyFileRefusesDeletionUntilTheBitIsDropped) {
  this->world.MakeFile(this->P("ro.txt"), "x");
  ASSERT_TRUE(this->fs.SetAttributes(this->P("ro.txt"), kAttrReadOnly | kAttrArchive));
  EXPECT_EQ(this->fs.RemoveFile(this->P("ro.txt")).error(), kErrorAccessDenied);
  EXPECT_TRUE(this->fs.FileExists(this->P("ro.txt")));
  const uint32_t attrs = this->fs.GetAttributes(this->P("ro.txt")).value_or(0);
  EXPECT_TRUE(attrs & kAttrReadOnly);
  ASSERT_TRUE(this->fs.SetAttributes(this->P("ro.txt"), attrs & ~kAttrReadOnly));
  EXPECT_TRUE(this->fs.RemoveFile(this->P("ro.txt")));
  EXPECT_FALSE(this->fs.FindEntry(this->P("ro.txt")));
}

TYPED_TEST(FileSystemContract, FilesAndFoldersAreRemovedOnlyByTheirOwnOperation) {
  this->world.MakeFolder(this->P("Sub"));
  this->world.MakeFile(this->P("f.txt"), "x");
  EXPECT_EQ(this->fs.RemoveFile(this->P("Sub")).error(), kErrorAccessDenied);
  EXPECT_EQ(this->fs.RemoveFolder(this->P("f.txt")).error(), kErrorDirectory);
  EXPECT_FALSE(this->fs.ReadDenyWrite(this->P("Sub")));
  EXPECT_FALSE(this->fs.ListFolder(this->P("f.txt")));
  EXPECT_TRUE(this->fs.FindEntry(this->P("Sub")));
  EXPECT_TRUE(this->fs.FindEntry(this->P("f.txt")));
}

TYPED_TEST(FileSystemContract, NonEmptyFolderRefusesRemoval) {
  this->world.MakeFolder(this->P("Sub"));
  this->world.MakeFolder(this->P("Sub\\Inner"));
  this->world.MakeFile(this->P("Sub\\Inner\\f.txt"), "x");
  EXPECT_EQ(this->fs.RemoveFolder(this->P("Sub")).error(), kErrorDirNotEmpty);
  EXPECT_EQ(this->fs.RemoveFolder(this->P("Sub\\Inner")).error(), kErrorDirNotEmpty);
  ASSERT_TRUE(this->fs.RemoveFile(this->P("Sub\\Inner\\f.txt")));
  EXPECT_EQ(this->fs.RemoveFolder(this->P("Sub")).error(), kErrorDirNotEmpty);
  EXPECT_TRUE(this->fs.RemoveFolder(this->P("Sub\\Inner")));
  EXPECT_TRUE(this->fs.RemoveFolder(this->P("Sub")));
  EXPECT_FALSE(this->fs.FindEntry(this->P("Sub")));
}

TYPED_TEST(FileSystemContract, TimeStampsArePackedLocalDosTimes) {
  this->world.MakeFile(this->P("t.txt"), "x");
  const int32_t stamp = PackDos(2021, 6, 15, 10, 20, 30);
  this->world.SetDosTime(this->P("t.txt"), stamp);
  auto e = this->fs.FindEntry(this->P("t.txt"));
  ASSERT_TRUE(e);
  EXPECT_EQ(e->dosTime, stamp);
  EXPECT_EQ(static_cast<uint32_t>(e->dosTime) >> 16, ((2021u - 1980) << 9) | (6 << 5) | 15);

  // From 2044 on the date's top bit is set: the value is negative.
  const int32_t late = PackDos(2050, 12, 31, 23, 59, 58);
  ASSERT_LT(late, 0);
  this->world.SetDosTime(this->P("t.txt"), late);
  EXPECT_EQ(this->fs.FindEntry(this->P("t.txt"))->dosTime, late);
  auto list = this->fs.ListFolder(this->world.root());
  ASSERT_TRUE(list);
  ASSERT_NE(this->Named(*list, "t.txt"), nullptr);
  EXPECT_EQ(this->Named(*list, "t.txt")->dosTime, late);
}

TYPED_TEST(FileSystemContract, FileHeldWithoutSharingIsSeenButNeitherReadNorDeleted) {
  this->world.MakeFile(this->P("busy.dll"), "payload");
  this->world.HoldExclusive(this->P("busy.dll"));
  EXPECT_TRUE(this->fs.FileExists(this->P("busy.dll")));
  EXPECT_TRUE(this->fs.GetAttributes(this->P("busy.dll")));
  EXPECT_FALSE(this->fs.ReadDenyWrite(this->P("busy.dll")));
  EXPECT_EQ(this->fs.RemoveFile(this->P("busy.dll")).error(), kErrorSharingViolation);
  // Attributes are not subject to sharing.
  EXPECT_TRUE(this->fs.SetAttributes(this->P("busy.dll"), kAttrArchive));
  this->world.ReleaseHolds();
  EXPECT_EQ(this->fs.ReadDenyWrite(this->P("busy.dll")), "payload");
  EXPECT_TRUE(this->fs.RemoveFile(this->P("busy.dll")));
}

TYPED_TEST(FileSystemContract, FileOpenForWritingCannotBeReadDenyingWriteNorDeleted) {
  this->world.MakeFile(this->P("log.und"), "abc");
  this->world.HoldForWriting(this->P("log.und"));
  EXPECT_TRUE(this->fs.FileExists(this->P("log.und")));
  EXPECT_FALSE(this->fs.ReadDenyWrite(this->P("log.und")));
  EXPECT_EQ(this->fs.RemoveFile(this->P("log.und")).error(), kErrorSharingViolation);
  this->world.ReleaseHolds();
  EXPECT_EQ(this->fs.ReadDenyWrite(this->P("log.und")), "abc");
}

TYPED_TEST(FileSystemContract, ReadsWholeFilesByteForByte) {
  const std::string bytes("\0\1\xff\r\n\x1a" "end", 9);
  this->world.MakeFile(this->P("bin.und"), bytes);
  this->world.MakeFile(this->P("empty.und"), "");
  EXPECT_EQ(this->fs.ReadDenyWrite(this->P("bin.und")), bytes);
  EXPECT_EQ(this->fs.ReadDenyWrite(this->P("empty.und")), std::string());
}

TYPED_TEST(FileSystemContract, ListsEveryEntryWithDotsAndHiddenOnes) {
  this->world.MakeFile(this->P("a.txt"), "x");
  this->world.MakeFile(this->P("Escondido.txt"), "x");
  this->world.MakeFolder(this->P("Sub"));
  this->world.MakeFile(this->P("Sub\\deeper.txt"), "x");
  ASSERT_TRUE(this->fs.SetAttributes(this->P("Escondido.txt"), kAttrHidden));
  auto list = this->fs.ListFolder(this->world.root());
  ASSERT_TRUE(list);
  EXPECT_EQ(this->Names(*list), (std::vector<std::string>{".", "..", "Escondido.txt", "Sub", "a.txt"}));
  EXPECT_TRUE(this->Named(*list, ".")->IsFolder());
  EXPECT_TRUE(this->Named(*list, "..")->IsFolder());
  EXPECT_TRUE(this->Named(*list, "Sub")->IsFolder());
  EXPECT_TRUE(this->Named(*list, "Escondido.txt")->attributes & kAttrHidden);

  ASSERT_TRUE(this->fs.RemoveFile(this->P("Sub\\deeper.txt")));
  auto sub = this->fs.ListFolder(this->P("Sub"));
  ASSERT_TRUE(sub);
  EXPECT_EQ(this->Names(*sub), (std::vector<std::string>{".", ".."}));
}

TYPED_TEST(FileSystemContract, RemovalAtRestartIsScheduledInOrderAndChangesNothingNow) {
  this->world.MakeFolder(this->P("Sub"));
  this->world.MakeFile(this->P("Sub\\busy.dll"), "x");
  this->world.HoldExclusive(this->P("Sub\\busy.dll"));
  EXPECT_TRUE(this->fs.RemoveAtRestart(this->P("Sub\\busy.dll")));
  EXPECT_TRUE(this->fs.RemoveAtRestart(this->P("Sub")));
  EXPECT_TRUE(this->fs.RemoveAtRestart(this->P("nada.dll"))) << "what is not there yet is not looked for";
  EXPECT_TRUE(this->fs.FileExists(this->P("Sub\\busy.dll")));
  EXPECT_EQ(this->world.ScheduledAtRestart(),
            (std::vector<std::string>{this->P("Sub\\busy.dll"), this->P("Sub"), this->P("nada.dll")}));
}

TYPED_TEST(FileSystemContract, OutputFileGrowsByWhatIsAppendedAndIsNeverADeviceNorReachedThroughALink) {
  this->world.MakeFile(this->P("report.txt"), "an older report");
  platform::Status status;
  auto file = this->fs.OpenOutputFile(this->P("report.txt"), status);
  ASSERT_TRUE(file);
  EXPECT_TRUE(status);
  EXPECT_TRUE(file->Append("one\r\n"));
  EXPECT_TRUE(file->Append("two\r\n"));
  EXPECT_TRUE(file->Flush());
  EXPECT_FALSE(this->fs.ReadDenyWrite(this->P("report.txt"))) << "it is open for writing";
  file.reset();
  EXPECT_EQ(this->fs.ReadDenyWrite(this->P("report.txt")), "an older reportone\r\ntwo\r\n");
  file = this->fs.OpenOutputFile(this->P("new.txt"), status);
  ASSERT_TRUE(file) << status.error();
  EXPECT_TRUE(file->Append("new\r\n"));
  file.reset();
  EXPECT_EQ(this->fs.ReadDenyWrite(this->P("new.txt")), "new\r\n");

  this->world.MakeFolder(this->P("Sub"));
  this->world.MakeFile(this->P("Sub\\system.ini"), "[boot]");
  this->world.MakeLink(this->P("to-file.txt"), this->P("Sub\\system.ini"));
  this->world.MakeLink(this->P("to-nothing.txt"), this->P("Sub\\planted.dll"));
  this->world.MakeHardLink(this->P("other-name.txt"), this->P("Sub\\system.ini"));
  const struct {
    std::string path;
    uint32_t error;
  } refused[] = {
      {this->P("Sub"), kErrorAccessDenied},
      {this->P("nada\\report.txt"), kErrorPathNotFound},
      {this->P("to-file.txt"), platform::kErrorThroughLink},
      {this->P("to-nothing.txt"), platform::kErrorThroughLink},
      {this->P("other-name.txt"), platform::kErrorThroughLink},
      {"NUL", platform::kErrorNotADiskFile},
      {this->P("con"), platform::kErrorNotADiskFile},
      {"\\\\.\\COM1", platform::kErrorNotADiskFile},
      {"\\\\?\\GLOBALROOT\\Device\\Null", platform::kErrorNotADiskFile},
  };
  for (const auto& r : refused) {
    EXPECT_FALSE(this->fs.OpenOutputFile(r.path, status)) << r.path;
    EXPECT_EQ(status.error(), r.error) << r.path;
  }
  // What a link leads to is neither written nor made.
  EXPECT_EQ(this->fs.ReadDenyWrite(this->P("Sub\\system.ini")), "[boot]");
  EXPECT_FALSE(this->fs.FindEntry(this->P("Sub\\planted.dll")));
}

// What the fake cannot model: clock conversions and real sizes.
TEST(Win32FileSystem, DosTimeKeepsTwoSecondSteps) {
  RealFsWorld world;
  const std::string path = world.root() + "\\odd.txt";
  world.MakeFile(path, "x");
  SYSTEMTIME st = {};
  st.wYear = 2022;
  st.wMonth = 3;
  st.wDay = 7;
  st.wHour = 8;
  st.wMinute = 9;
  st.wSecond = 31;  // odd: DOS time keeps only even seconds
  st.wMilliseconds = 900;
  FILETIME local, utc;
  ASSERT_TRUE(SystemTimeToFileTime(&st, &local));
  ASSERT_TRUE(LocalFileTimeToFileTime(&local, &utc));
  {
    platform::win32::UniqueFile f(CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                              OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(f.valid());
    ASSERT_TRUE(SetFileTime(f.get(), nullptr, nullptr, &utc));
  }
  platform::win32::Win32FileSystem fs;
  EXPECT_EQ(fs.FindEntry(path)->dosTime, PackDos(2022, 3, 7, 8, 9, 30));
  EXPECT_EQ(platform::win32::Win32FileSystem::DosTime(utc), PackDos(2022, 3, 7, 8, 9, 30));

  FILETIME before1980 = {};  // 1601: no DOS form
  EXPECT_EQ(platform::win32::Win32FileSystem::DosTime(before1980), 0);
}

TEST(Win32FileSystem, ReportsSizesOfLargerFiles) {
  RealFsWorld world;
  const std::string path = world.root() + "\\big.bin";
  std::string content(3 * 1024 * 1024 + 7, 'z');
  content[1024 * 1024] = 'A';  // past the first read block
  world.MakeFile(path, content);
  platform::win32::Win32FileSystem fs;
  EXPECT_EQ(fs.FindEntry(path)->size, content.size());
  auto read = fs.ReadDenyWrite(path);
  ASSERT_TRUE(read);
  EXPECT_TRUE(*read == content);
}

}  // namespace
}  // namespace platform_test
