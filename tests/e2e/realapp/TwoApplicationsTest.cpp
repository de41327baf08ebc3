// Two real-looking applications of one maker, served by one registered
// uninstaller: a few hundred files in nested folders, shortcuts in a
// start-menu folder with a sub-folder, uninstall entries with subkeys and
// registry keys with level walks. The first uninstallation keeps what the
// second application still shares (the maker's folders and key) and the
// uninstaller itself; the second removes everything, unregisters the
// uninstaller and schedules its deletion, which a simulated restart carries
// out.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/robot/Robot.h"
#include "tests/e2e/runs/RunKit.h"

namespace {

using runkit::kDalvests;
using runkit::kFoldersHeader;
using runkit::kMainCaption;
using runkit::kRegistration;
using runkit::kShortcutFoldersHeader;
using runkit::Strip;
using runkit::SimulateRestart;

struct Application {
  std::string name;          // shown in the confirmation
  std::string folder;        // installation folder, with its trailing backslash
  std::string shortcutDir;   // with its trailing backslash
  std::string uninstallKey;  // name under ...\Uninstall
  std::string userKey;       // under HKEY_CURRENT_USER
  std::string log;
  int files = 0;
};

class TwoApplications : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(robot::FileExists(robot::ProgramPath())) << robot::ProgramPath();
    ASSERT_TRUE(runOnce_.existed()) << "the prefix has no HKLM RunOnce key";
    ASSERT_TRUE(robot::KeyRemove(runkit::NoRegistration::kMakerKey));
    maker_ = dir_ / "Programas\\Exemplos Kestrivon\\";
    menu_ = dir_ / "Menu\\Programas\\Exemplos Kestrivon\\";
    userMaker_ = "Software\\" + runkit::UniqueName("ExemplosKestrivon");
    uninstaller_ = dir_ / "Comum\\desinstalador.exe";
    ASSERT_TRUE(robot::MakeFolders(dir_ / "Comum"));
    ASSERT_TRUE(CopyFileA(robot::ProgramPath().c_str(), uninstaller_.c_str(), FALSE));
    ASSERT_TRUE(robot::KeySetString(kRegistration, "AppPath", uninstaller_));
    ASSERT_TRUE(robot::KeySetDword(kRegistration, "AppsServed", 2));
  }

  void TearDown() override {
    robot::KeyRemove(userMaker_, HKEY_CURRENT_USER);
    for (const std::string& key : uninstallKeys_) robot::KeyRemove(runkit::kUninstallRoot + key);
  }

  // Installs one application as the companion installer would and writes
  // its log: `modules` x 40 data files in nested folders besides the program.
  Application Install(const std::string& name, const std::string& folderName, int modules) {
    Application a;
    a.name = name;
    a.folder = maker_ + folderName + "\\";
    a.shortcutDir = menu_ + folderName + "\\";
    a.uninstallKey = runkit::UniqueName(folderName);
    a.userKey = userMaker_ + "\\" + folderName;
    uninstallKeys_.push_back(a.uninstallKey);

    runkit::Installation app(a.folder);
    app.log().appName = name;
    app.log().hostLevels = 2;  // the application's folder, then the maker's
    EXPECT_TRUE(app.AddFile("", folderName + ".exe", 65536));
    EXPECT_TRUE(app.AddFile("", "leia-me.txt", 700));
    EXPECT_TRUE(app.AddFolder("dados\\"));
    for (int m = 0; m < modules; ++m) {
      const std::string sub = "dados\\modulo" + std::to_string(m) + "\\";
      for (int f = 0; f < 40; ++f) EXPECT_TRUE(app.AddFile(sub, "parte" + std::to_string(f) + ".dat", 100 + 37 * f));
    }
    EXPECT_TRUE(app.AddFile("ajuda\\", "indice.htm", 1500));
    EXPECT_TRUE(app.AddFile("ajuda\\imagens\\", "logo.bmp", 4096));
    for (const auto& g : app.log().groups) a.files += static_cast<int>(g.files.size());

    // Start menu: one shortcut in the application's folder, one in a sub-folder.
    EXPECT_TRUE(robot::MakeFolders(a.shortcutDir + "Extras"));
    EXPECT_TRUE(robot::WriteFileBytes(a.shortcutDir + name + ".lnk", "atalho"));
    EXPECT_TRUE(robot::WriteFileBytes(a.shortcutDir + "Extras\\Leia-me.lnk", "atalho"));
    app.log().shortcutDir = a.shortcutDir;
    app.log().shortcutLevels = 2;  // the application's menu folder, then the maker's
    app.log().shortcuts = {a.shortcutDir + name + ".lnk", a.shortcutDir + "Extras\\Leia-me.lnk"};

    // The uninstall entry, with a subkey of its own; the application's keys.
    const std::string entry = runkit::kUninstallRoot + a.uninstallKey;
    EXPECT_TRUE(robot::KeySetString(entry, "DisplayName", name));
    EXPECT_TRUE(robot::KeySetString(entry + "\\Detalhes", "Versao", "2.1"));
    app.log().uninstallKey = a.uninstallKey;
    EXPECT_TRUE(robot::KeySetString(a.userKey + "\\Opcoes", "Idioma", "pt-BR", HKEY_CURRENT_USER));
    EXPECT_TRUE(robot::KeySetString(a.userKey + "\\Janelas", "Largura", "640", HKEY_CURRENT_USER));
    // Three levels from Opcoes: Opcoes, the application's key, the maker's key.
    app.log().regKeys = {{1, "(1)\\" + a.userKey + "\\Janelas"}, {3, "(1)\\" + a.userKey + "\\Opcoes"}};

    auto log = app.WriteLogFile(folderName + ".und");
    EXPECT_TRUE(log);
    a.log = log.value_or("");
    return a;
  }

  // The whole run as a person does it: Yes, a look at the summary if one
  // comes (left as it is), OK to the end message.
  runkit::RunSeen Uninstall(const Application& a) {
    robot::Process p = robot::Process::Start(uninstaller_, "/f:" + a.log, dir_.path());
    EXPECT_TRUE(p.started());
    auto confirm = p.WaitForBox();
    EXPECT_TRUE(confirm);
    if (!confirm) return {};
    EXPECT_EQ(confirm->caption, runkit::kConfirmCaption);
    EXPECT_EQ(confirm->text, runkit::ConfirmText(a.name));
    HWND main = p.WaitForWindow(nullptr, kMainCaption);
    EXPECT_TRUE(main);
    EXPECT_TRUE(p.Press(*confirm, IDYES));
    runkit::RunSeen seen = runkit::WatchRun(p, runkit::MainControls::Of(main), a.log);
    EXPECT_TRUE(seen.endBox) << "no end message";
    if (seen.endBox) {
      EXPECT_EQ(seen.endBox->caption, runkit::kFinishedCaption);
      EXPECT_EQ(seen.endBox->text, runkit::kFinishedText);
      EXPECT_TRUE(p.Press(*seen.endBox, IDOK));
    }
    EXPECT_EQ(p.WaitForExit(), std::optional<DWORD>(0));
    return seen;
  }

  robot::TempDir dir_;
  std::string maker_, menu_, userMaker_, uninstaller_;
  std::vector<std::string> uninstallKeys_;
  runkit::KeyGuard registrations_{HKEY_LOCAL_MACHINE, runkit::NoRegistration::kMakerKey};
  runkit::ValuesGuard runOnce_{HKEY_LOCAL_MACHINE, runkit::kRunOnce};
  runkit::ValuesGuard userRunOnce_{HKEY_CURRENT_USER, runkit::kRunOnce};
};

TEST_F(TwoApplications, FirstKeepsWhatTheSecondSharesAndTheSecondRemovesEverything) {
  const Application sheet = Install("Planilha Demo 2.1", "Planilha", 5);
  const Application diary = Install("Agenda Demo 1.4", "Agenda", 3);
  ASSERT_GE(sheet.files + diary.files, 300);

  // First: everything of its own goes; the maker's folders and key stay for
  // the other application, and the summary says which folders stayed.
  runkit::RunSeen first = Uninstall(sheet);
  EXPECT_FALSE(robot::FolderExists(sheet.folder));
  EXPECT_FALSE(robot::FolderExists(sheet.shortcutDir));
  EXPECT_TRUE(robot::FolderExists(diary.folder));
  EXPECT_TRUE(robot::FileExists(diary.shortcutDir + "Extras\\Leia-me.lnk"));
  EXPECT_TRUE(first.summaryShown);
  EXPECT_EQ(first.summaryLines,
            (std::vector<std::string>{kFoldersHeader, "    " + Strip(maker_), kShortcutFoldersHeader,
                                      "    " + Strip(menu_)}));
  EXPECT_EQ(first.finalBar, 100);
  EXPECT_EQ(first.finalAppLine, "Desinstalando " + sheet.name);
  EXPECT_FALSE(robot::KeyExists(runkit::kUninstallRoot + sheet.uninstallKey));
  EXPECT_FALSE(robot::KeyExists(sheet.userKey, HKEY_CURRENT_USER));
  EXPECT_TRUE(robot::KeyExists(diary.userKey + "\\Opcoes", HKEY_CURRENT_USER));
  EXPECT_TRUE(robot::KeyExists(runkit::kUninstallRoot + diary.uninstallKey + "\\Detalhes"));
  EXPECT_EQ(robot::KeyGetDword(kRegistration, "AppsServed"), std::optional<DWORD>(1));
  EXPECT_TRUE(robot::FileExists(uninstaller_));
  EXPECT_TRUE(runkit::ValueNames(HKEY_LOCAL_MACHINE, runkit::kRunOnce).empty());

  // Second: nothing resists, so no summary; the maker's folders and key go
  // with the last application, and so does the uninstaller's registration.
  runkit::RunSeen second = Uninstall(diary);
  EXPECT_FALSE(second.summaryShown);
  EXPECT_FALSE(robot::FolderExists(maker_));
  EXPECT_FALSE(robot::FolderExists(menu_));
  EXPECT_TRUE(robot::FolderExists(dir_ / "Menu\\Programas")) << "two shortcut levels only";
  EXPECT_FALSE(robot::KeyExists(runkit::kUninstallRoot + diary.uninstallKey));
  EXPECT_FALSE(robot::KeyExists(userMaker_, HKEY_CURRENT_USER));
  EXPECT_TRUE(robot::KeyExists("Software", HKEY_CURRENT_USER)) << "the walk ends below the root";
  EXPECT_FALSE(robot::KeyExists(kRegistration));
  EXPECT_FALSE(robot::KeyExists(kDalvests));
  EXPECT_EQ(robot::KeyGetString(runkit::kRunOnce, "Delete"),
            std::optional<std::string>("cmd.exe /c del \"" + uninstaller_ + "\""));
  EXPECT_TRUE(robot::FileExists(uninstaller_)) << "deleted only at the next start";

  ASSERT_TRUE(SimulateRestart());
  EXPECT_FALSE(robot::FileExists(uninstaller_));
  EXPECT_TRUE(runkit::ValueNames(HKEY_LOCAL_MACHINE, runkit::kRunOnce).empty());
}

}  // namespace
