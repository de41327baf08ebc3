// A whole run over a real installed tree, real shortcuts and real registry
// keys (32-bit view): what goes, what stays (a changed file, a folder that
// is not empty, a hidden folder, a key with subkeys), the uninstall entry
// deleted with its subkeys, the phases in order on the progress window, the
// full bar, and the failure list of what resisted.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/robot/Robot.h"
#include "tests/e2e/runs/RunKit.h"

namespace {

using robot::BoxInfo;
using robot::Process;
using runkit::kFilesHeader;
using runkit::kFoldersHeader;


class Removal : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(robot::FileExists(robot::ProgramPath())) << robot::ProgramPath();
    name_ = runkit::UniqueName("UndE2E-Runs");
    uninstallKey_ = runkit::kUninstallRoot + name_;
    appKey_ = "Software\\" + name_;
  }

  void TearDown() override {
    p_.Kill();
    robot::KeyRemove(uninstallKey_);
    robot::KeyRemove(appKey_);
    robot::KeyRemove(appKey_, HKEY_CURRENT_USER);
  }

  // Starts a run on `log` and answers the confirmation Yes.
  void StartAndConfirm(const std::string& log) {
    p_ = Process::Start(robot::ProgramPath(), "/f:" + log, dir_.path());
    ASSERT_TRUE(p_.started());
    main_ = p_.WaitForMainWindow();
    ASSERT_NE(main_, nullptr) << "the progress window did not appear";
    auto box = p_.WaitForBox();
    ASSERT_TRUE(box);
    ASSERT_EQ(box->text, runkit::ConfirmText("Demo"));
    controls_ = runkit::MainControls::Of(main_);
    ASSERT_TRUE(controls_.complete()) << "a control of the progress window is missing";
    ASSERT_TRUE(p_.Press(*box, IDYES));
  }

  // Checks the end box, answers it and expects the program to end.
  void Finish(const runkit::RunSeen& seen) {
    ASSERT_TRUE(seen.endBox) << "no box after the removal";
    EXPECT_EQ(seen.endBox->caption, runkit::kFinishedCaption);
    EXPECT_EQ(seen.endBox->text, runkit::kFinishedText);
    EXPECT_TRUE(p_.Press(*seen.endBox, IDOK));
    EXPECT_EQ(p_.WaitForExit(), std::optional<DWORD>(0));
  }

  runkit::NoRegistration noRegistration_;
  robot::TempDir dir_;
  std::string name_, uninstallKey_, appKey_;
  Process p_;
  HWND main_ = nullptr;
  runkit::MainControls controls_;
};

TEST_F(Removal, FullRunRemovesWhatItShouldAndListsWhatResists) {
  const std::string base = dir_ / "Programas\\Demo\\";
  runkit::Installation app(base);
  ASSERT_TRUE(app.AddFile("", "demo.exe", 5000));
  ASSERT_TRUE(app.AddFile("", "leia-me.txt", 100));
  ASSERT_TRUE(app.AddFile("dados\\", "modelo.mod", 300));
  ASSERT_TRUE(app.AddFile("dados\\", "mudado.ini", 50));
  ASSERT_TRUE(app.AddFile("extra\\", "a.bin", 200));
  // Enough files for the phases to be seen going by.
  for (int i = 0; i < 150; ++i) ASSERT_TRUE(app.AddFile("muitos\\", "f" + std::to_string(1000 + i) + ".dat", 700));
  ASSERT_TRUE(app.AddFile("oculta\\", "x.dat", 10));
  app.log().hostLevels = 2;

  // Shortcuts: one directly in the shortcut folder, a read-only one in a sub-folder.
  const std::string menu = dir_ / "Menu\\Demo";
  ASSERT_TRUE(robot::WriteFileBytes(menu + "\\Demo.lnk", "lnk"));
  ASSERT_TRUE(robot::WriteFileBytes(menu + "\\Ajuda\\Ajuda.lnk", "lnk"));
  ASSERT_TRUE(runkit::AddAttributes(menu + "\\Ajuda\\Ajuda.lnk", FILE_ATTRIBUTE_READONLY));
  app.log().shortcutDir = menu;  // the reader adds the backslash
  app.log().shortcuts = {menu + "\\Demo.lnk", menu + "\\Ajuda\\Ajuda.lnk"};
  app.log().shortcutLevels = 1;

  // Registry: the uninstall entry with subkeys; under HKCU a key that goes
  // and one that stays because it has a subkey; under HKLM a key whose
  // parent goes with it; a logged key that is already gone, last.
  ASSERT_TRUE(robot::KeySetString(uninstallKey_, "DisplayName", "Demo"));
  ASSERT_TRUE(robot::KeySetString(uninstallKey_ + "\\Detalhes\\Mais", "x", "y"));
  ASSERT_TRUE(robot::KeySetDword(appKey_ + "\\Opcoes", "Cor", 3, HKEY_CURRENT_USER));
  ASSERT_TRUE(robot::KeySetString(appKey_ + "\\Janelas\\Posicao", "Topo", "10", HKEY_CURRENT_USER));
  ASSERT_TRUE(robot::KeySetString(appKey_ + "\\Maquina", "Pasta", base));
  app.log().uninstallKey = name_;
  const std::string hkcu = "\\1\\\\" + appKey_, hklm = "\\2\\\\" + appKey_;
  app.log().regKeys = {{2, hkcu + "\\Opcoes"}, {1, hkcu + "\\Janelas"}, {2, hklm + "\\Maquina"},
                       {1, hkcu + "\\Sumida"}};

  auto log = app.WriteLogFile();
  ASSERT_TRUE(log);
  // Changed after installation: the stamp differs by one DOS step (2 s).
  ASSERT_TRUE(runkit::ShiftWriteTime(base + "dados\\mudado.ini", 2));
  const auto changedTime = runkit::WriteTime(base + "dados\\mudado.ini");
  // Not the installer's: keeps extra\ from being removed.
  ASSERT_TRUE(robot::WriteFileBytes(base + "extra\\usuario.dat", "meu"));
  ASSERT_TRUE(runkit::AddAttributes(base + "oculta", FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(runkit::AddAttributes(base + "leia-me.txt", FILE_ATTRIBUTE_READONLY));

  const auto runOnceBefore = robot::KeyStringValues(runkit::kRunOnce);
  ASSERT_NO_FATAL_FAILURE(StartAndConfirm(*log));
  runkit::RunSeen seen = runkit::WatchRun(p_, controls_, *log);
  ASSERT_TRUE(seen.endBox) << "no box after the removal";

  // The progress window at the end.
  EXPECT_EQ(seen.finalPhase, "Destruindo registros...");
  std::string why;
  EXPECT_TRUE(runkit::PhasesInOrder(seen.phases, &why)) << why;
  EXPECT_GE(seen.phases.size(), 2u) << "the phase line never changed while the robot looked";
  EXPECT_EQ(seen.finalBar, 100);
  EXPECT_TRUE(std::is_sorted(seen.barPositions.begin(), seen.barPositions.end())) << "the bar went back";
  EXPECT_EQ(seen.finalAppLine, "Desinstalando Demo");
  EXPECT_EQ(seen.finalObject, "HKEY_CURRENT_USER\\" + appKey_ + "\\Sumida");
  const std::string total = runkit::Grouped(app.log().totalBytes);
  EXPECT_EQ(seen.finalJobDone, total + " bytes processados de " + total + " bytes a processar");
  EXPECT_TRUE(seen.logGoneAtEnd);

  // The summary, when the program shows one, lists exactly what resisted.
  if (seen.summaryShown) {
    const std::vector<std::string> expected = {
        kFilesHeader,
        "    " + base + "dados\\mudado.ini",
        kFoldersHeader,
        "    " + base + "extra",
        "    " + base + "dados",
        "    " + dir_.path() + "Programas\\Demo",
        "    " + dir_.path() + "Programas",
    };
    EXPECT_EQ(seen.summaryLines, expected);
  }
  ASSERT_NO_FATAL_FAILURE(Finish(seen));

  // Files: the logged ones are gone except the changed one, which keeps its stamp.
  for (const char* gone : {"demo.exe", "leia-me.txt", "demo.und", "dados\\modelo.mod", "extra\\a.bin",
                           "oculta\\x.dat", "muitos\\f1000.dat", "muitos\\f1149.dat"}) {
    EXPECT_FALSE(robot::FileExists(base + gone)) << gone;
  }
  EXPECT_FALSE(robot::FolderExists(base + "muitos"));
  ASSERT_TRUE(robot::FileExists(base + "dados\\mudado.ini"));
  auto nowTime = runkit::WriteTime(base + "dados\\mudado.ini");
  ASSERT_TRUE(nowTime && changedTime);
  EXPECT_EQ(CompareFileTime(&*nowTime, &*changedTime), 0);
  // Folders: not empty, or hidden, they stay.
  EXPECT_TRUE(robot::FileExists(base + "extra\\usuario.dat"));
  EXPECT_TRUE(robot::FolderExists(base + "extra"));
  EXPECT_TRUE(robot::FolderExists(base + "oculta")) << "a hidden folder counts as not there";
  EXPECT_TRUE(GetFileAttributesA((base + "oculta").c_str()) & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_TRUE(robot::FolderExists(dir_ / "Programas"));
  // Shortcuts and their folders are gone; the folder above the one level stays.
  EXPECT_FALSE(robot::FileExists(menu + "\\Demo.lnk"));
  EXPECT_FALSE(robot::FileExists(menu + "\\Ajuda\\Ajuda.lnk"));
  EXPECT_FALSE(robot::FolderExists(menu));
  EXPECT_TRUE(robot::FolderExists(dir_ / "Menu"));
  // Registry.
  EXPECT_FALSE(robot::KeyExists(uninstallKey_)) << "the uninstall entry goes with its subkeys";
  EXPECT_TRUE(robot::KeyExists(runkit::kUninstallRoot)) << "the system's list stays";
  EXPECT_FALSE(robot::KeyExists(appKey_ + "\\Opcoes", HKEY_CURRENT_USER));
  EXPECT_TRUE(robot::KeyExists(appKey_ + "\\Janelas\\Posicao", HKEY_CURRENT_USER)) << "a key with subkeys stays";
  EXPECT_EQ(robot::KeyGetString(appKey_ + "\\Janelas\\Posicao", "Topo", HKEY_CURRENT_USER),
            std::optional<std::string>("10"));
  EXPECT_FALSE(robot::KeyExists(appKey_)) << "HKLM key and its emptied parent";
  EXPECT_TRUE(robot::KeyExists("Software"));
  EXPECT_FALSE(robot::KeyExists(runkit::NoRegistration::kMakerKey)) << "a run never creates a registration";
  EXPECT_EQ(robot::KeyStringValues(runkit::kRunOnce), runOnceBefore) << "nothing registered, nothing scheduled";
}

TEST_F(Removal, CleanRunShowsNoSummaryAndLeavesNothing) {
  // A tree in which nothing resists: the road of one run, plus a hidden-free
  // sub-folder, one shortcut and one key.
  const std::string base = dir_ / "Demo\\";
  runkit::Installation app(base);
  ASSERT_TRUE(app.AddFile("", "app.exe", 4096));
  ASSERT_TRUE(app.AddFile("bin\\", "lib.dll", 1234567));
  ASSERT_TRUE(robot::KeySetString(uninstallKey_, "DisplayName", "Demo"));
  app.log().uninstallKey = name_;
  ASSERT_TRUE(robot::KeyCreate(appKey_ + "\\Config", HKEY_CURRENT_USER));
  app.log().regKeys = {{2, "\\1\\\\" + appKey_ + "\\Config"}};
  auto log = app.WriteLogFile();
  ASSERT_TRUE(log);

  ASSERT_NO_FATAL_FAILURE(StartAndConfirm(*log));
  runkit::RunSeen seen = runkit::WatchRun(p_, controls_, *log);
  EXPECT_FALSE(seen.summaryShown) << "nothing resisted";
  EXPECT_EQ(seen.finalPhase, "Destruindo registros...");
  EXPECT_EQ(seen.finalBar, 100);
  const std::string total = runkit::Grouped(4096 + 1234567);
  EXPECT_EQ(seen.finalJobDone, total + " bytes processados de " + total + " bytes a processar");
  ASSERT_NO_FATAL_FAILURE(Finish(seen));

  EXPECT_FALSE(robot::FolderExists(base));
  EXPECT_EQ(robot::Snapshot(dir_.path()), robot::TreeState{}) << "everything under the temp folder is gone";
  EXPECT_FALSE(robot::KeyExists(uninstallKey_));
  EXPECT_FALSE(robot::KeyExists(appKey_, HKEY_CURRENT_USER)) << "the emptied parent goes with the second level";
}

}  // namespace
