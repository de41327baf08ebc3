#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

#include <climits>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/tools/LogWriter.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tools/undtool/Disk.h"
#include "tools/undtool/UndTool.h"

namespace {

using Json = nlohmann::ordered_json;

const unsigned char kExampleLog[] = {
    0x01, 0x04, 0x44, 0x65, 0x6D, 0x6F, 0x01, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x04, 0x6E,
    0x6F, 0x6E, 0x6F, 0x04, 0x6E, 0x6F, 0x6E, 0x6F, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00,
    0x00, 0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x07, 0x61, 0x70, 0x70,
    0x2E, 0x65, 0x78, 0x65, 0x00, 0x10, 0x00, 0x00, 0xC0, 0x53, 0xB1, 0x2A, 0x01};
const std::string kExample(reinterpret_cast<const char*>(kExampleLog), sizeof(kExampleLog));

std::string Error(const Json& description) {
  try {
    undtool::LogBytesFromJson(description);
  } catch (const undtool::ToolError& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(UndToolText, EveryWindows1252ByteRoundTrips) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(undtool::Utf8ToCp1252(undtool::Cp1252ToUtf8(all)), all);
  EXPECT_EQ(undtool::Utf8ToCp1252("a\xC3\xA7\xC3\xA3o \xE2\x82\xAC"), "a\xE7\xE3o \x80");  // "ação €"
  EXPECT_EQ(undtool::Cp1252ToUtf8("\x93x\x94"), "\xE2\x80\x9Cx\xE2\x80\x9D");             // curly quotes
  EXPECT_THROW(undtool::Utf8ToCp1252("\xE4\xB8\xAD"), undtool::ToolError);                 // a CJK letter
  EXPECT_THROW(undtool::Utf8ToCp1252("\xC3"), undtool::ToolError);                         // cut short
  EXPECT_THROW(undtool::Utf8ToCp1252("\xFF"), undtool::ToolError);
}

TEST(UndToolText, DosTimesPackLikeFileAge) {
  EXPECT_EQ(undtool::PackDosTime(2001, 5, 17, 10, 30, 0), 0x2AB153C0);
  EXPECT_EQ(undtool::PackDosTime(2001, 5, 17, 10, 30, 1), 0x2AB153C0);  // two-second steps
  EXPECT_EQ(undtool::PackDosTime(1980, 1, 1, 0, 0, 0), 0x00210000);
  EXPECT_EQ(undtool::PackDosTime(2107, 12, 31, 23, 59, 58), static_cast<int32_t>(0xFF9FBF7D));
  EXPECT_EQ(undtool::PackDosTime(2000, 2, 29, 0, 0, 0).has_value(), true);
  for (auto bad : {undtool::PackDosTime(1979, 12, 31, 23, 59, 59), undtool::PackDosTime(2108, 1, 1, 0, 0, 0),
                   undtool::PackDosTime(2001, 2, 29, 0, 0, 0), undtool::PackDosTime(1900 + 200, 2, 29, 0, 0, 0),
                   undtool::PackDosTime(2001, 13, 1, 0, 0, 0), undtool::PackDosTime(2001, 4, 31, 0, 0, 0),
                   undtool::PackDosTime(2001, 1, 1, 24, 0, 0)}) {
    EXPECT_FALSE(bad.has_value());
  }
  EXPECT_EQ(undtool::DosTimeText(0x2AB153C0), "2001-05-17 10:30:00");
  EXPECT_FALSE(undtool::DosTimeText(0).has_value());  // month 0
  EXPECT_FALSE(undtool::DosTimeText(-1).has_value());
}

TEST(UndToolWrite, ShortDescriptionGivesTheExampleLog) {
  const Json d = Json::parse(R"({
    "appName": "Demo",
    "folders": [{"name": "", "files": [{"name": "app.exe", "size": 4096, "date": "2001-05-17 10:30:00"}]}]
  })");
  EXPECT_EQ(undtool::LogBytesFromJson(d), kExample);
}

TEST(UndToolWrite, EveryFieldAndDamageCanBeDescribed) {
  const Json d = Json::parse(R"({
    "leadByte": 200, "appName": "Caf\u00e9", "hostLevels": 3, "shortcutLevels": 2,
    "regKeys": [{"levels": 2, "key": "\\2\\Software\\X"}],
    "totalBytes": -1, "uninstallKey": "X", "shortcutDir": {"hex": "6E 6F 6E 4F"},
    "shortcutCount": -4, "shortcuts": ["a.lnk"],
    "folderCount": 1, "folders": [{"name": "", "flag": 0}, {"name": "d\\", "flag": 9}],
    "groupCount": 7, "groups": [{"count": 0}, {"files": [{"name": "f", "size": 1, "date": "0x00000002", "flag": 3}]}],
    "trailing": "DE AD", "truncate": 60
  })");
  const app::LogContent c = undtool::LogFromJson(d);
  EXPECT_EQ(c.leadByte, 200);
  EXPECT_EQ(c.appName, "Caf\xE9");
  EXPECT_EQ(c.shortcutDir, "nonO");
  EXPECT_EQ(c.totalBytes, 0xFFFFFFFFu);  // a negative number gives its 32 bits
  EXPECT_EQ(*c.shortcutCount, -4);
  EXPECT_EQ(c.folders[1].flag, 9);
  EXPECT_EQ(*c.groupCount, 7);
  EXPECT_EQ(*c.groups[0].count, 0);
  EXPECT_EQ(c.groups[1].files[0].date, 2);
  EXPECT_EQ(c.trailing, "\xDE\xAD");
  const std::string bytes = undtool::LogBytesFromJson(d);
  EXPECT_EQ(bytes.size(), 60u);
  EXPECT_EQ(bytes, app::WriteLog(c).substr(0, 60));
}

TEST(UndToolWrite, TotalDefaultsToTheSumOfSizes) {
  const Json d = Json::parse(R"({"folders": [{"files": [{"name": "a", "size": 5}]}, {"name": "b\\", "files": [{"name": "b", "size": 7}]}]})");
  EXPECT_EQ(undtool::LogFromJson(d).totalBytes, 12);
  const Json big = Json::parse(R"({"folders": [{"files": [{"name": "a", "size": 4294967295}, {"name": "b", "size": 1}]}]})");
  EXPECT_NE(Error(big).find("totalBytes"), std::string::npos) << Error(big);
}

TEST(UndToolWrite, BadDescriptionsAreNamedPrecisely) {
  const std::pair<const char*, const char*> cases[] = {
      {R"([1, 2])", "description: expected an object"},
      {R"({"appNmae": "x"})", "unknown field \"appNmae\""},
      {R"({"hostLevels": 256})", "description.hostLevels: expected a whole number from 0 to 255"},
      {R"({"hostLevels": "1"})", "description.hostLevels"},
      {R"({"folders": [{"files": [{"name": "a", "size": 4294967296}]}]})", "description.folders[0].files[0].size"},
      {R"({"folders": [{"files": [{"size": 1}]}]})", "description.folders[0].files[0]: a file needs a \"name\""},
      {R"({"folders": [{"files": [{"name": "a", "date": "2001-02-29 00:00:00"}]}]})", "has no DOS form"},
      {R"({"folders": [{"files": [{"name": "a", "date": "yesterday"}]}]})", "YYYY-MM-DD"},
      {R"({"folders": [{"files": []}], "groups": []})", "not both"},
      {R"({"appName": "\u4e2d"})", "description.appName: the character"},
      {R"({"trailing": "ABC"})", "odd number"},
      {R"({"trailing": "XY"})", "hexadecimal"},
      {R"({"shortcuts": "a.lnk"})", "description.shortcuts: expected a list"},
      {R"({"truncate": 99999})", "description.truncate"},
  };
  for (auto [json, expected] : cases) {
    EXPECT_NE(Error(Json::parse(json)).find(expected), std::string::npos) << json << " -> " << Error(Json::parse(json));
  }
  Json longName;
  longName["appName"] = std::string(256, 'a');
  EXPECT_NE(Error(longName).find("at most 255 bytes"), std::string::npos);
}

TEST(UndToolDump, ExampleLogShowsEveryField) {
  const Json j = undtool::DumpLog(kExample);
  EXPECT_TRUE(j["readable"].get<bool>());
  EXPECT_EQ(j["end"], 0x3A);
  EXPECT_EQ(j["appName"], "Demo");
  EXPECT_EQ(j["totalBytes"], 4096);
  EXPECT_TRUE(j["uninstallKey"].is_null());
  EXPECT_TRUE(j["shortcutDir"].is_null());
  EXPECT_EQ(j["shortcutCount"], 0);
  EXPECT_EQ(j["folders"][0]["flag"], 1);
  EXPECT_EQ(j["groups"][0]["files"][0]["date"], "0x2AB153C0");
  EXPECT_EQ(j["groups"][0]["files"][0]["dateText"], "2001-05-17 10:30:00");
  EXPECT_EQ(j["trailing"], "");
}

TEST(UndToolDump, DumpWritesBackToTheSameBytes) {
  const Json d = Json::parse(R"({
    "leadByte": 0, "appName": "A\u00e7\u00e3o \u20ac", "regKeys": [{"levels": 4, "key": "x2xK"}],
    "uninstallKey": "NONO", "shortcutDir": "", "shortcuts": ["", "s"],
    "folders": [{"name": "", "flag": 5}, {"name": "d\\"}],
    "groups": [{"count": -2}, {"files": [{"name": {"hex": "81 8D"}, "size": -3, "date": -1}]}, {}],
    "trailing": "00 FF"
  })");
  const std::string bytes = undtool::LogBytesFromJson(d);
  const Json dumped = undtool::DumpLog(bytes);
  EXPECT_EQ(dumped["uninstallKey"], "NONO");
  EXPECT_FALSE(dumped["groups"][1]["files"][0].contains("dateText"));
  EXPECT_EQ(dumped["groups"][1]["files"][0]["size"], 4294967293u);  // sizes are unsigned
  EXPECT_EQ(undtool::LogBytesFromJson(Json::parse(dumped.dump())), bytes);
}

TEST(UndToolDump, DamageIsReportedWithItsOffsetAndUnreadFieldsAreLeftOut) {
  // Cut inside "app.exe": the file count at 0x25 promises more than is left.
  const Json cut = undtool::DumpLog(kExample.substr(0, 0x2B));
  EXPECT_FALSE(cut["readable"].get<bool>());
  EXPECT_FALSE(cut["complete"].get<bool>());
  ASSERT_EQ(cut["problems"].size(), 1u);
  EXPECT_EQ(cut["problems"][0]["offset"], 0x25);
  EXPECT_FALSE(cut.contains("end"));
  EXPECT_EQ(cut["groups"][0]["count"], 1);
  EXPECT_TRUE(cut["groups"][0]["files"].empty());

  const Json early = undtool::DumpLog(kExample.substr(0, 0x10));  // inside the uninstall key
  EXPECT_EQ(early["totalBytes"], 4096);
  EXPECT_FALSE(early.contains("uninstallKey"));
  EXPECT_FALSE(early.contains("folders"));
  EXPECT_EQ(early["problems"][0]["offset"], 0x0D);

  std::string escaping = kExample;
  escaping[0x2A] = '.';
  escaping[0x2B] = '.';
  escaping[0x2C] = '\\';  // "..\.exe"
  const Json esc = undtool::DumpLog(escaping);
  EXPECT_TRUE(esc["complete"].get<bool>());
  EXPECT_FALSE(esc["readable"].get<bool>());
  EXPECT_EQ(esc["problems"][0]["offset"], 0x29);

  // Folder entry "." and file ".\victim.txt" make "..\victim.txt": damage at the file's name.
  const std::string joined = undtool::LogBytesFromJson(
      Json::parse(R"({"folders": [{"name": ".", "files": [{"name": ".\\victim.txt"}]}]})"));
  const Json climbs = undtool::DumpLog(joined);
  EXPECT_FALSE(climbs["readable"].get<bool>());
  ASSERT_EQ(climbs["problems"].size(), 1u);
  EXPECT_EQ(climbs["problems"][0]["offset"], joined.find(".\\victim.txt") - 1);
}

class UndToolScan : public ::testing::Test {
 protected:
  undtool::ListFolderFn Lister() {
    return [this](const std::string& folder) { return fs.ListFolder(folder); };
  }
  undtool::ScanOptions Options() {
    undtool::ScanOptions o;
    o.root = "C:\\Inst";
    o.appName = "Inst";
    return o;
  }
  fakes::FakeFileSystem fs;
};

TEST_F(UndToolScan, FoldersFollowTheirParentsAndGroupsMatchFolders) {
  fs.AddFile("C:\\Inst\\z.exe", 0x2AB153C0, 100);
  fs.AddFile("C:\\Inst\\a.dll", 0x2AB153C2, 20, platform::kAttrHidden | platform::kAttrReadOnly);
  fs.AddFile("C:\\Inst\\sub\\deep\\x.dat", 7, 3);
  fs.AddFolder("C:\\Inst\\Empty");
  fs.AddFile("C:\\Inst\\b\\y.txt", 9, 4);
  fs.AddFile("C:\\Inst\\inst.und", 1, 50);
  fs.AddFile("C:\\Inst\\cache\\big.bin", 1, 5000);
  undtool::ScanOptions o = Options();
  o.exclude = {"INST.UND", "cache/"};
  o.hostLevels = 2;
  o.uninstallKey = "Inst";
  o.regKeys = {{1, "\\2\\Software\\Inst"}};
  const app::LogContent log = undtool::ScanTree(o, Lister());

  std::vector<std::string> folders;
  for (const app::LogFolder& f : log.folders) folders.push_back(f.name);
  EXPECT_EQ(folders, (std::vector<std::string>{"", "b\\", "Empty\\", "sub\\", "sub\\deep\\"}));
  ASSERT_EQ(log.groups.size(), log.folders.size());
  ASSERT_EQ(log.groups[0].files.size(), 2u);
  EXPECT_EQ(log.groups[0].files[0].name, "a.dll");
  EXPECT_EQ(log.groups[0].files[0].date, 0x2AB153C2);
  EXPECT_EQ(log.groups[0].files[1].name, "z.exe");
  EXPECT_EQ(log.groups[0].files[1].size, 100);
  EXPECT_EQ(log.groups[1].files[0].name, "y.txt");
  EXPECT_TRUE(log.groups[2].files.empty());
  EXPECT_TRUE(log.groups[3].files.empty());
  EXPECT_EQ(log.groups[4].files[0].name, "x.dat");
  EXPECT_EQ(log.totalBytes, 127);
  EXPECT_EQ(log.hostLevels, 2);
  EXPECT_EQ(log.shortcutDir, "nono");
  EXPECT_EQ(log.uninstallKey, "Inst");
  // What the uninstaller will read.
  EXPECT_TRUE(app::ParseLog(app::WriteLog(log)).Readable());
}

TEST_F(UndToolScan, RefusesWhatALogCannotHold) {
  fs.AddFile("C:\\Inst\\huge.iso", 0, 0x100000000ull);
  EXPECT_THROW(undtool::ScanTree(Options(), Lister()), undtool::ToolError);

  fakes::FakeFileSystem sum;
  sum.AddFile("C:\\Inst\\a", 0, 0xFFFFFFFF);
  sum.AddFile("C:\\Inst\\b", 0, 1);
  try {
    undtool::ScanTree(Options(), [&](const std::string& f) { return sum.ListFolder(f); });
    ADD_FAILURE() << "no error";
  } catch (const undtool::ToolError& e) {
    EXPECT_NE(std::string(e.what()).find("4294967296"), std::string::npos) << e.what();
  }

  fakes::FakeFileSystem locked;
  locked.AddFile("C:\\Inst\\sub\\a", 0, 1);
  locked.Fail(fakes::FsOp::List, "C:\\Inst\\sub");
  EXPECT_THROW(undtool::ScanTree(Options(), [&](const std::string& f) { return locked.ListFolder(f); }),
               undtool::ToolError);

  fakes::FakeFileSystem longName;
  longName.AddFile("C:\\Inst\\" + std::string(256, 'n'), 0, 1);
  EXPECT_THROW(undtool::ScanTree(Options(), [&](const std::string& f) { return longName.ListFolder(f); }),
               undtool::ToolError);

  fakes::FakeFileSystem cjk;
  cjk.AddFile("C:\\Inst\\\xE4\xB8\xAD.txt", 0, 1);
  undtool::ScanOptions utf8 = Options();
  utf8.utf8Names = true;
  EXPECT_THROW(undtool::ScanTree(utf8, [&](const std::string& f) { return cjk.ListFolder(f); }), undtool::ToolError);
}

// The command line, with files in a scratch folder.
class UndToolRun : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() /
          ("undtool-test-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::string Path(const char* name) const { return (dir / name).string(); }
  void Put(const char* name, const std::string& bytes) const {
    std::ofstream(Path(name), std::ios::binary) << bytes;
  }
  std::string Get(const char* name) const {
    std::ifstream in(Path(name), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  int Run(std::vector<std::string> args) {
    out.str("");
    err.str("");
    return undtool::Run(args, out, err, undtool::ListDiskFolder, '/', true);
  }
  std::filesystem::path dir;
  std::ostringstream out, err;
};

TEST_F(UndToolRun, WriteThenDumpThroughFiles) {
  Put("d.json", R"({"appName": "Demo", "folders": [{"files": [{"name": "app.exe", "size": 4096, "date": "2001-05-17 10:30:00"}]}]})");
  ASSERT_EQ(Run({"write", Path("d.json"), Path("demo.und")}), 0) << err.str();
  EXPECT_EQ(Get("demo.und"), kExample);
  EXPECT_EQ(err.str(), "");
  ASSERT_EQ(Run({"dump", Path("demo.und")}), 0);
  EXPECT_EQ(Json::parse(out.str())["appName"], "Demo");
  ASSERT_EQ(Run({"dump", Path("demo.und"), Path("demo.json")}), 0);
  EXPECT_EQ(Json::parse(Get("demo.json"))["groups"][0]["files"][0]["size"], 4096);
}

TEST_F(UndToolRun, DamagedLogsAreWrittenWithAWarningAndDumpedWithExitCode1) {
  Put("d.json", R"({"folders": [{"name": "..\\"}], "truncate": 30})");
  ASSERT_EQ(Run({"write", Path("d.json"), Path("bad.und")}), 0);
  EXPECT_NE(err.str().find("warning"), std::string::npos) << err.str();
  EXPECT_EQ(Get("bad.und").size(), 30u);
  EXPECT_EQ(Run({"dump", Path("bad.und")}), 1);
  // Lead byte, empty name, levels, key count, total, "nono" twice, two
  // counts: folder 0's name starts at 27 and is cut.
  EXPECT_NE(err.str().find("offset 27: the log ends inside the name of folder 0"), std::string::npos) << err.str();
  EXPECT_FALSE(Json::parse(out.str())["readable"].get<bool>());
}

TEST_F(UndToolRun, BadInputEndsWithExitCode2AndAMessage) {
  Put("broken.json", "{\"appName\": ");
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{}, "usage"},
      {{"frob"}, "unknown command"},
      {{"write", Path("missing.json"), Path("x.und")}, "cannot open it for reading"},
      {{"write", Path("broken.json"), Path("x.und")}, "not valid JSON"},
      {{"write", Path("broken.json")}, "write needs"},
      {{"dump", Path("missing.und")}, "missing.und: cannot open"},
      {{"scan", dir.string(), Path("x.und")}, "--app"},
      {{"scan", dir.string(), Path("x.und"), "--app", "X", "--host-levels", "300"}, "0 to 255"},
      {{"scan", dir.string(), Path("x.und"), "--app", "X", "--regkey", "nolevels"}, "LEVELS:KEY"},
      {{"scan", dir.string(), Path("x.und"), "--app", "X", "--bogus", "1"}, "unknown option --bogus"},
      {{"scan", Path("nowhere"), Path("x.und"), "--app", "X"}, "cannot list"},
      {{"scan", dir.string(), Path("x.und"), "--app"}, "needs a value"},
  };
  for (const auto& [args, expected] : cases) {
    EXPECT_EQ(Run(args), 2) << expected;
    EXPECT_NE(err.str().find(expected), std::string::npos) << expected << " in: " << err.str();
  }
  EXPECT_FALSE(std::filesystem::exists(Path("x.und")));
}

TEST_F(UndToolRun, ScanReadsSizesAndLocalDosTimesFromTheDisk) {
  std::filesystem::create_directories(dir / "inst" / "bin");
  Put("inst/app.exe", std::string(1234, 'x'));
  Put("inst/bin/\xC3\xA7.dll", "abc");  // "ç.dll"
  std::tm when{};
  when.tm_year = 2001 - 1900;
  when.tm_mon = 4;
  when.tm_mday = 17;
  when.tm_hour = 10;
  when.tm_min = 30;
  when.tm_sec = 1;
  when.tm_isdst = -1;
  const time_t t = std::mktime(&when);  // local time, as FileAge gives it
  const utimbuf times{t, t};
  ASSERT_EQ(::utime(Path("inst/app.exe").c_str(), &times), 0);
  ASSERT_EQ(Run({"scan", Path("inst"), Path("inst.und"), "--app", "Demonstra\xC3\xA7\xC3\xA3o", "--shortcut-dir",
                 "C:\\Menu\\Demo", "--shortcut-levels", "1", "--shortcut", "C:\\Menu\\Demo\\Demo.lnk", "--regkey",
                 "2:\\2\\Software\\Demo", "--uninstall-key", "Demo"}),
            0)
      << err.str();
  const app::ParsedLog p = app::ParseLog(Get("inst.und"));
  ASSERT_TRUE(p.Readable());
  const app::LogContent& c = p.content;
  EXPECT_EQ(c.appName, "Demonstra\xE7\xE3o");
  EXPECT_EQ(c.shortcutDir, "C:\\Menu\\Demo");
  EXPECT_EQ(c.shortcutLevels, 1);
  EXPECT_EQ(c.regKeys[0].levels, 2);
  EXPECT_EQ(c.totalBytes, 1237);
  ASSERT_EQ(c.folders.size(), 2u);
  EXPECT_EQ(c.folders[1].name, "bin\\");
  EXPECT_EQ(c.groups[0].files[0].name, "app.exe");
  EXPECT_EQ(c.groups[0].files[0].size, 1234);
  EXPECT_EQ(c.groups[0].files[0].date, 0x2AB153C0);
  EXPECT_EQ(c.groups[1].files[0].name, "\xE7.dll");
}

}  // namespace
