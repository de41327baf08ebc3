// Whole-program acceptance: the road of one run and the failure situations
// that no other whole-program test meets, each driven through the robot as a
// person would, with the screen texts read byte for byte (Windows-1252) and
// the disk and the 32-bit registry checked afterwards.
//
// docs/acceptance-matrix.md says where each step and each failure
// situation is tested, in this file and elsewhere.

#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "tests/e2e/robot/Robot.h"
#include "tests/e2e/runs/RunKit.h"

namespace {

using robot::BoxInfo;
using robot::Process;
using runkit::kMainCaption;
using runkit::kTitle;
using runkit::kFilesHeader;
using runkit::kFoldersHeader;
using runkit::kShortcutsHeader;
using runkit::kShortcutFoldersHeader;
using runkit::kRegistryHeader;
using runkit::kDalvests;
using runkit::kRegistration;
using runkit::Strip;

constexpr char kNoVersionRegistration[] = "Software\\Kestrivon\\Dalvests\\0.0.0.0";
// What the progress window shows for the uninstall entry, also for none:
// two backslashes after the root's name.
constexpr char kUninstallShown[] = "HKEY_LOCAL_MACHINE\\\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// A file held open by the test, as another program would hold it: no
// sharing at all, so it cannot be deleted while the handle lives.
class HeldOpen {
 public:
  explicit HeldOpen(const std::string& path)
      : handle_(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {}
  HeldOpen(const HeldOpen&) = delete;
  HeldOpen& operator=(const HeldOpen&) = delete;
  ~HeldOpen() { Release(); }
  bool held() const { return handle_ != INVALID_HANDLE_VALUE; }
  void Release() {
    if (held()) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_;
};

// Writes a value of any type (REG_DWORD, REG_EXPAND_SZ, ...) in the 32-bit view.
bool SetRawValue(const std::string& key, const std::string& name, DWORD type, const std::string& bytes) {
  HKEY h = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr) !=
      ERROR_SUCCESS) {
    return false;
  }
  const bool ok = RegSetValueExA(h, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                 static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
  RegCloseKey(h);
  return ok;
}

std::string StringBytes(const std::string& text) { return std::string(text.c_str(), text.size() + 1); }

std::optional<std::pair<DWORD, std::string>> RawValue(const std::string& key, const std::string& name) {
  auto saved = runkit::SaveKey(HKEY_LOCAL_MACHINE, key);
  if (!saved) return std::nullopt;
  auto it = saved->values.find(name);
  if (it == saved->values.end()) return std::nullopt;
  return it->second;
}

// Takes the version resource out of a program file, as a build without one
// would leave it: the root entry of the resource type RT_VERSION (16) is
// renumbered to RT_VXD (20), an unused type that keeps the entries in
// ascending order.
bool RemoveVersionResource(const std::string& exe) {
  auto bytes = robot::ReadFileBytes(exe);
  if (!bytes || bytes->size() < sizeof(IMAGE_DOS_HEADER)) return false;
  std::string& image = *bytes;
  auto at = [&](size_t offset, size_t size) { return offset + size <= image.size() ? &image[offset] : nullptr; };
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(at(0, sizeof(IMAGE_DOS_HEADER)));
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(at(dos->e_lfanew, sizeof(IMAGE_NT_HEADERS32)));
  if (nt == nullptr || nt->Signature != IMAGE_NT_SIGNATURE) return false;
  const DWORD resources = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_RESOURCE].VirtualAddress;
  const size_t sections =
      dos->e_lfanew + offsetof(IMAGE_NT_HEADERS32, OptionalHeader) + nt->FileHeader.SizeOfOptionalHeader;
  size_t root = 0;
  for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i) {
    const auto* section = reinterpret_cast<const IMAGE_SECTION_HEADER*>(
        at(sections + i * sizeof(IMAGE_SECTION_HEADER), sizeof(IMAGE_SECTION_HEADER)));
    if (section == nullptr) return false;
    if (resources >= section->VirtualAddress && resources < section->VirtualAddress + section->SizeOfRawData)
      root = resources - section->VirtualAddress + section->PointerToRawData;
  }
  const auto* directory = reinterpret_cast<const IMAGE_RESOURCE_DIRECTORY*>(at(root, sizeof(IMAGE_RESOURCE_DIRECTORY)));
  if (root == 0 || directory == nullptr) return false;
  const size_t entries = root + sizeof(IMAGE_RESOURCE_DIRECTORY);
  const int count = directory->NumberOfNamedEntries + directory->NumberOfIdEntries;
  bool renumbered = false;
  for (int i = directory->NumberOfNamedEntries; i < count; ++i) {
    auto* entry = reinterpret_cast<IMAGE_RESOURCE_DIRECTORY_ENTRY*>(
        at(entries + i * sizeof(IMAGE_RESOURCE_DIRECTORY_ENTRY), sizeof(IMAGE_RESOURCE_DIRECTORY_ENTRY)));
    if (entry == nullptr) return false;
    if (entry->Name == 16) {
      entry->Name = 20;
      renumbered = true;
    }
  }
  return renumbered && robot::WriteFileBytes(exe, image);
}

using runkit::KeyRights;
// Everyone may read the key, nobody may write to it.
constexpr char kReadOnly[] = "D:P(A;;KR;;;WD)";
// Everyone may read the key and delete it, nobody may write to it.
constexpr char kReadAndDelete[] = "D:P(A;;KRSD;;;WD)";
constexpr const char* kClosed = runkit::kNobodyMayOpen;

// What a whole run left for the checks.
struct RunResult {
  runkit::RunSeen seen;
  std::vector<BoxInfo> boxes;
  std::optional<DWORD> exitCode;
};

class Acceptance : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(robot::FileExists(robot::ProgramPath())) << robot::ProgramPath();
    ASSERT_TRUE(runOnce_.existed()) << "the prefix has no HKLM RunOnce key";
    name_ = runkit::UniqueName("UndAcceptance");
  }

  void TearDown() override {
    for (const auto& [root, key] : keys_) robot::KeyRemove(key, root);
  }

  // A key of the test's own, removed afterwards.
  std::string OwnKey(const std::string& key, HKEY root) {
    keys_.emplace_back(root, key);
    return key;
  }

  // A copy of the uninstaller registered for `appsServed` applications, in a
  // folder of the test's own (a run that unregisters it schedules the copy,
  // never the program beside the tests).
  std::string RegisteredCopy(DWORD appsServed) {
    std::string copy = dir_ / "Comum\\desinstalador.exe";
    EXPECT_TRUE(robot::MakeFolders(dir_ / "Comum"));
    EXPECT_TRUE(CopyFileA(robot::ProgramPath().c_str(), copy.c_str(), FALSE));
    EXPECT_TRUE(robot::KeySetString(kRegistration, "AppPath", copy));
    EXPECT_TRUE(robot::KeySetDword(kRegistration, "AppsServed", appsServed));
    return copy;
  }

  // A small installed application with its log.
  std::string SmallApplication(const std::string& folder) {
    runkit::Installation app(dir_ / folder);
    EXPECT_TRUE(app.AddFile("", "app.exe", 2048));
    EXPECT_TRUE(app.AddFile("dados\\", "base.dat", 300));
    auto log = app.WriteLogFile();
    EXPECT_TRUE(log);
    return log.value_or("");
  }

  // The whole run as a person does it: the confirmation answered Yes, the
  // failure summary (if one comes) left as it is, OK to the end message.
  RunResult WholeRun(const std::string& exe, const std::string& log, const std::string& appName = "Demo") {
    RunResult result;
    Process p = Process::Start(exe, "/f:" + log, dir_.path());
    EXPECT_TRUE(p.started());
    HWND main = p.WaitForWindow(nullptr, kMainCaption);
    auto confirm = p.WaitForBox();
    EXPECT_NE(main, nullptr) << "no progress window";
    EXPECT_TRUE(confirm) << "no confirmation";
    if (main == nullptr || !confirm) return result;
    EXPECT_EQ(confirm->caption, runkit::kConfirmCaption);
    EXPECT_EQ(confirm->text, runkit::ConfirmText(appName));
    EXPECT_EQ(confirm->defaultButton, IDNO);
    const runkit::MainControls controls = runkit::MainControls::Of(main);
    EXPECT_TRUE(controls.complete()) << "a control of the progress window is missing";
    if (!controls.complete()) return result;
    EXPECT_TRUE(p.Press(*confirm, IDYES));
    result.seen = runkit::WatchRun(p, controls, log);
    EXPECT_TRUE(result.seen.endBox) << "no end message";
    if (result.seen.endBox) {
      EXPECT_EQ(result.seen.endBox->caption, runkit::kFinishedCaption);
      EXPECT_EQ(result.seen.endBox->text, runkit::kFinishedText);
      EXPECT_EQ(result.seen.endBox->buttons, std::vector<int>{IDOK});
      EXPECT_TRUE(p.Press(*result.seen.endBox, IDOK));
    }
    result.exitCode = p.WaitForExit();
    result.boxes = p.boxes();
    return result;
  }

  // Checks that a run ended as runs without an error end: confirmation, end
  // message, nothing else, exit code 0.
  static void EndedPlainly(const RunResult& r) {
    EXPECT_EQ(r.exitCode, std::optional<DWORD>(0));
    EXPECT_EQ(r.boxes.size(), 2u) << "only the confirmation and the end message";
  }

  // Restored last, after the temporary folder is gone.
  runkit::NoRegistration noRegistration_;
  runkit::ValuesGuard runOnce_{HKEY_LOCAL_MACHINE, runkit::kRunOnce};
  robot::TempDir dir_;
  std::string name_;
  std::vector<std::pair<HKEY, std::string>> keys_;
};

// --- the road of one run -------------------------------------------------------

// One file in the installation folder, one host level, no shortcuts, no
// uninstall entry, no registry keys; the uninstaller serves one more
// application besides this one.
TEST_F(Acceptance, RoadOfOneRun) {
  ASSERT_EQ(runkit::ThousandsSeparator(), ".") << "the run is meant for a Portuguese (Brazil) locale";
  const std::string copy = RegisteredCopy(2);
  const std::string base = dir_ / "Demo\\";
  runkit::Installation app(base);
  ASSERT_TRUE(app.AddFile("", "demo.exe", 1234567));
  auto log = app.WriteLogFile();
  ASSERT_TRUE(log);

  Process p = Process::Start(copy, "/f:" + *log, dir_.path());
  ASSERT_TRUE(p.started());
  HWND main = p.WaitForWindow(nullptr, kMainCaption);
  ASSERT_NE(main, nullptr);
  auto confirm = p.WaitForBox();
  ASSERT_TRUE(confirm) << "the log was not read";
  // The log was read: the question names the application, No is the default.
  EXPECT_EQ(confirm->caption, "Continuar?");
  // "Você está prestes a desinstalar "Demo".\n\rContinuar?"
  EXPECT_EQ(confirm->text, "Voc\352 est\341 prestes a desinstalar \"Demo\".\n\rContinuar?");
  EXPECT_EQ(confirm->buttons, (std::vector<int>{IDYES, IDNO}));
  EXPECT_EQ(confirm->defaultButton, IDNO);
  const runkit::MainControls controls = runkit::MainControls::Of(main);
  ASSERT_TRUE(controls.complete());
  EXPECT_EQ(robot::WindowText(controls.phase), "Inicializando...");
  EXPECT_EQ(robot::WindowText(controls.appLine), "");
  EXPECT_TRUE(robot::FileExists(*log)) << "nothing is deleted before the answer";
  EXPECT_TRUE(robot::FileExists(base + "demo.exe"));

  ASSERT_TRUE(p.Press(*confirm, IDYES));
  const runkit::RunSeen seen = runkit::WatchRun(p, controls, *log);
  ASSERT_TRUE(seen.endBox) << "no end message";
  // Everything happened before the end message: the log, the file and the
  // host folder are gone, the bar is full, and no summary came.
  EXPECT_TRUE(seen.logGoneAtEnd);
  EXPECT_FALSE(robot::FileExists(base + "demo.exe"));
  EXPECT_FALSE(robot::FolderExists(base)) << "the one host level";
  EXPECT_TRUE(robot::FolderExists(dir_.path())) << "only one host level";
  EXPECT_FALSE(seen.summaryShown) << "nothing failed";
  EXPECT_EQ(seen.finalBar, 100);
  EXPECT_EQ(seen.finalAppLine, "Desinstalando Demo");
  EXPECT_EQ(seen.finalJobDone, "1.234.567 bytes processados de 1.234.567 bytes a processar");
  EXPECT_EQ(seen.finalPhase, "Destruindo registros...");
  EXPECT_EQ(seen.finalObject, kUninstallShown) << "shown also without an uninstall entry";
  std::string why;
  EXPECT_TRUE(runkit::PhasesInOrder(seen.phases, &why)) << why;
  // "Término" / "Processo terminado."
  EXPECT_EQ(seen.endBox->caption, "T\351rmino");
  EXPECT_EQ(seen.endBox->text, "Processo terminado.");
  EXPECT_EQ(seen.endBox->buttons, std::vector<int>{IDOK});
  // The registration is counted down only after the end message.
  EXPECT_EQ(robot::KeyGetDword(kRegistration, "AppsServed"), std::optional<DWORD>(2));
  ASSERT_TRUE(p.Press(*seen.endBox, IDOK));
  EXPECT_EQ(p.WaitForExit(), std::optional<DWORD>(0));
  EXPECT_EQ(p.boxes().size(), 2u);

  EXPECT_EQ(robot::KeyGetDword(kRegistration, "AppsServed"), std::optional<DWORD>(1));
  EXPECT_EQ(robot::KeyGetString(kRegistration, "AppPath"), std::optional<std::string>(copy));
  EXPECT_TRUE(runkit::ValueNames(HKEY_LOCAL_MACHINE, runkit::kRunOnce).empty()) << "one application still served";
  EXPECT_TRUE(robot::FileExists(copy));
}

// --- removal -------------------------------------------------------------------

// Installed files that are not there (gone, or a folder in their place) and
// an installation folder marked as a system folder are neither removed nor
// listed; the files' sizes count all the same, so the bar ends full.
TEST_F(Acceptance, WhatIsNotThereIsNeitherRemovedNorListed) {
  const std::string base = dir_ / "Programas\\Demo\\";
  runkit::Installation app(base);
  ASSERT_TRUE(app.AddFile("", "demo.exe", 4000));
  ASSERT_TRUE(app.AddFile("", "sumido.dll", 3000));
  ASSERT_TRUE(app.AddFile("", "virou-pasta.dat", 2000));
  ASSERT_TRUE(app.AddFile("sistema\\", "cache.bin", 1000));
  auto log = app.WriteLogFile();
  ASSERT_TRUE(log);
  ASSERT_TRUE(DeleteFileA((base + "sumido.dll").c_str()));
  ASSERT_TRUE(DeleteFileA((base + "virou-pasta.dat").c_str()));
  ASSERT_TRUE(CreateDirectoryA((base + "virou-pasta.dat").c_str(), nullptr));
  ASSERT_TRUE(robot::WriteFileBytes(base + "sistema\\do-usuario.txt", "meu"));
  ASSERT_TRUE(runkit::AddAttributes(base + "sistema", FILE_ATTRIBUTE_SYSTEM));
  ASSERT_TRUE(GetFileAttributesA((base + "sistema").c_str()) & FILE_ATTRIBUTE_SYSTEM)
      << "the file system keeps no system bit";

  const RunResult r = WholeRun(robot::ProgramPath(), *log);
  EndedPlainly(r);
  // Only the installation folder is listed: what stands in it keeps it.
  EXPECT_EQ(r.seen.summaryLines, (std::vector<std::string>{kFoldersHeader, "    " + Strip(base)}));
  EXPECT_EQ(r.seen.finalBar, 100);
  EXPECT_EQ(r.seen.finalJobDone, "10.000 bytes processados de 10.000 bytes a processar");
  EXPECT_FALSE(robot::FileExists(base + "demo.exe"));
  EXPECT_FALSE(robot::FileExists(base + "sistema\\cache.bin"));
  EXPECT_TRUE(robot::FolderExists(base + "virou-pasta.dat"));
  EXPECT_TRUE(robot::FileExists(base + "sistema\\do-usuario.txt"));
  EXPECT_TRUE(GetFileAttributesA((base + "sistema").c_str()) & FILE_ATTRIBUTE_SYSTEM);
}

// Installed files that another program holds open cannot be deleted: they
// are listed (and keep their folders), the run goes on. A read-only one has
// lost its read-only bit by then: it is not put back.
TEST_F(Acceptance, FilesInUseAreListedAndTheRunGoesOn) {
  const std::string base = dir_ / "Demo\\";
  runkit::Installation app(base);
  ASSERT_TRUE(app.AddFile("", "demo.exe", 4096));
  ASSERT_TRUE(app.AddFile("dados\\", "em-uso.dat", 500));
  ASSERT_TRUE(app.AddFile("dados\\", "protegido.dat", 600));
  ASSERT_TRUE(app.AddFile("dados\\", "livre.dat", 700));
  auto log = app.WriteLogFile();
  ASSERT_TRUE(log);
  ASSERT_TRUE(runkit::AddAttributes(base + "dados\\protegido.dat", FILE_ATTRIBUTE_READONLY));
  const auto inUseBytes = robot::ReadFileBytes(base + "dados\\em-uso.dat");
  HeldOpen inUse(base + "dados\\em-uso.dat"), readOnly(base + "dados\\protegido.dat");
  ASSERT_TRUE(inUse.held() && readOnly.held());

  const RunResult r = WholeRun(robot::ProgramPath(), *log);
  inUse.Release();
  readOnly.Release();
  EndedPlainly(r);
  EXPECT_TRUE(r.seen.summaryShown);
  EXPECT_EQ(r.seen.summaryLines, (std::vector<std::string>{kFilesHeader, "    " + base + "dados\\em-uso.dat",
                                                           "    " + base + "dados\\protegido.dat", kFoldersHeader,
                                                           "    " + base + "dados", "    " + Strip(base)}));
  EXPECT_EQ(r.seen.finalBar, 100);
  EXPECT_FALSE(robot::FileExists(base + "demo.exe"));
  EXPECT_FALSE(robot::FileExists(base + "dados\\livre.dat"));
  EXPECT_EQ(robot::ReadFileBytes(base + "dados\\em-uso.dat"), inUseBytes);
  ASSERT_TRUE(robot::FileExists(base + "dados\\protegido.dat"));
  EXPECT_FALSE(GetFileAttributesA((base + "dados\\protegido.dat").c_str()) & FILE_ATTRIBUTE_READONLY)
      << "the bit dropped before the failed deletion stays dropped";
}

// An installation folder that another program holds open cannot be
// removed even when empty: it is listed, and so is the folder above it.
TEST_F(Acceptance, FolderInUseIsListed) {
  const std::string base = dir_ / "Demo\\";
  runkit::Installation app(base);
  ASSERT_TRUE(app.AddFile("", "demo.exe", 4096));
  ASSERT_TRUE(app.AddFile("cache\\", "indice.dat", 100));
  auto log = app.WriteLogFile();
  ASSERT_TRUE(log);
  HANDLE held = CreateFileA((base + "cache").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);

  const RunResult r = WholeRun(robot::ProgramPath(), *log);
  CloseHandle(held);
  EndedPlainly(r);
  EXPECT_EQ(r.seen.summaryLines,
            (std::vector<std::string>{kFoldersHeader, "    " + base + "cache", "    " + Strip(base)}));
  EXPECT_FALSE(robot::FileExists(base + "cache\\indice.dat"));
  EXPECT_TRUE(robot::FolderExists(base + "cache"));
}

// A shortcut held open stays and is listed as logged; the sub-folder of the
// start-menu folder that keeps something of the user's is listed with the
// menu folder in its logged letter case and the rest upper-cased, and the
// menu folder itself, still holding both, is listed by its host walk.
TEST_F(Acceptance, ShortcutsAndShortcutFoldersThatResist) {
  const std::string base = dir_ / "Demo\\";
  runkit::Installation app(base);
  ASSERT_TRUE(app.AddFile("", "demo.exe", 4096));
  const std::string menu = dir_ / "Menu Iniciar\\Demo Apps";
  const std::vector<std::string> shortcuts = {menu + "\\Demo.lnk", menu + "\\Ferramentas\\Config.lnk",
                                              menu + "\\Ajuda\\Leia-me.lnk"};
  for (const auto& s : shortcuts) ASSERT_TRUE(robot::WriteFileBytes(s, "atalho"));
  app.log().shortcuts = shortcuts;
  // Already gone before the run: neither tried nor listed.
  app.log().shortcuts.insert(app.log().shortcuts.begin() + 1, menu + "\\Sumido.lnk");
  ASSERT_TRUE(robot::WriteFileBytes(menu + "\\Ajuda\\notas.txt", "do usuario"));
  app.log().shortcutDir = menu + "\\";
  app.log().shortcutLevels = 1;
  auto log = app.WriteLogFile();
  ASSERT_TRUE(log);
  HeldOpen held(menu + "\\Demo.lnk");
  ASSERT_TRUE(held.held());

  const RunResult r = WholeRun(robot::ProgramPath(), *log);
  held.Release();
  EndedPlainly(r);
  EXPECT_EQ(r.seen.summaryLines,
            (std::vector<std::string>{kShortcutsHeader, "    " + menu + "\\Demo.lnk", kShortcutFoldersHeader,
                                      "    " + menu + "\\AJUDA", "    " + menu}));
  EXPECT_TRUE(robot::FileExists(menu + "\\Demo.lnk"));
  EXPECT_FALSE(robot::FolderExists(menu + "\\Ferramentas"));
  EXPECT_FALSE(robot::FileExists(menu + "\\Ajuda\\Leia-me.lnk"));
  EXPECT_TRUE(robot::FileExists(menu + "\\Ajuda\\notas.txt"));
  EXPECT_FALSE(robot::FolderExists(base));
}

// A log with a shortcut folder but no shortcuts: the folder's host walk
// still runs, and what resists joins the shortcut group, since the group of
// shortcut folders exists only with shortcuts.
TEST_F(Acceptance, WithoutShortcutsTheMenuFolderJoinsTheShortcutGroup) {
  const std::string base = dir_ / "Demo\\";
  runkit::Installation app(base);
  ASSERT_TRUE(app.AddFile("", "demo.exe", 4096));
  const std::string menu = dir_ / "Menu\\Demo";
  ASSERT_TRUE(robot::WriteFileBytes(menu + "\\do-usuario.lnk", "atalho"));
  ASSERT_TRUE(robot::MakeFolders(dir_ / "Menu\\Vazia"));
  app.log().shortcutDir = menu + "\\";
  app.log().shortcutLevels = 2;
  auto log = app.WriteLogFile();
  ASSERT_TRUE(log);

  const RunResult r = WholeRun(robot::ProgramPath(), *log);
  EndedPlainly(r);
  EXPECT_EQ(r.seen.summaryLines,
            (std::vector<std::string>{kShortcutsHeader, "    " + menu, "    " + dir_ / "Menu"}));
  for (const auto& phase : r.seen.phases) EXPECT_NE(phase, "Destruindo pastas de atalhos...");
  EXPECT_TRUE(robot::FileExists(menu + "\\do-usuario.lnk"));
  EXPECT_TRUE(robot::FolderExists(dir_ / "Menu\\Vazia")) << "the walk removes no folder beside its own";
}

// Registry entries that designate nothing the run may touch: an uninstall
// entry already gone, root indexes 7 to 9, a second character that is no
// digit, a level count of 0. Nothing is deleted or listed for them, and the
// run ends as any other.
TEST_F(Acceptance, RegistryEntriesThatDesignateNothing) {
  const std::string base = dir_ / "Demo\\";
  runkit::Installation app(base);
  ASSERT_TRUE(app.AddFile("", "demo.exe", 4096));
  const std::string key = OwnKey("Software\\" + name_, HKEY_CURRENT_USER);
  OwnKey(key, HKEY_LOCAL_MACHINE);
  for (const char* sub : {"\\Sete", "\\Nove", "\\Letra", "\\Zero", "\\Vai"}) {
    ASSERT_TRUE(robot::KeyCreate(key + sub, HKEY_CURRENT_USER));
    ASSERT_TRUE(robot::KeyCreate(key + sub, HKEY_LOCAL_MACHINE));
  }
  app.log().uninstallKey = name_ + "-Sumida";
  app.log().regKeys = {{2, "(7)\\" + key + "\\Sete"},
                       {2, "(9)\\" + key + "\\Nove"},
                       {2, "(x)\\" + key + "\\Letra"},
                       {2, "("},
                       {1, "(1)\\" + key + "\\Vai"},
                       {0, "(1)\\" + key + "\\Zero"}};
  auto log = app.WriteLogFile();
  ASSERT_TRUE(log);

  const RunResult r = WholeRun(robot::ProgramPath(), *log);
  EndedPlainly(r);
  EXPECT_FALSE(r.seen.summaryShown) << "nothing failed";
  // The entry with level 0 shows no progress: the last object is the one before it.
  EXPECT_EQ(r.seen.finalObject, "HKEY_CURRENT_USER\\" + key + "\\Vai");
  EXPECT_FALSE(robot::KeyExists(key + "\\Vai", HKEY_CURRENT_USER));
  for (const char* sub : {"\\Sete", "\\Nove", "\\Letra", "\\Zero"}) {
    EXPECT_TRUE(robot::KeyExists(key + sub, HKEY_CURRENT_USER)) << sub;
    EXPECT_TRUE(robot::KeyExists(key + sub, HKEY_LOCAL_MACHINE)) << sub;
  }
  EXPECT_TRUE(robot::KeyExists(key + "\\Vai", HKEY_LOCAL_MACHINE));
  EXPECT_TRUE(robot::KeyExists(runkit::kUninstallRoot)) << "the system's list stays";
}

// --- registry rights -------------------------------------------------------------

// An uninstall entry holding a key nobody may open, which holds another:
// the entry cannot go and is listed under its fixed prefix; the run goes on
// and ends as usual.
TEST_F(Acceptance, UninstallEntryThatResistsIsListed) {
  const std::string entry = OwnKey(std::string(runkit::kUninstallRoot) + name_, HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(robot::KeySetString(entry, "DisplayName", "Demo"));
  ASSERT_TRUE(robot::KeyCreate(entry + "\\Travada\\Dentro"));
  KeyRights closed(HKEY_LOCAL_MACHINE, entry + "\\Travada", kClosed);
  ASSERT_TRUE(closed.applied());
  runkit::Installation app(dir_ / "Demo\\");
  ASSERT_TRUE(app.AddFile("", "demo.exe", 4096));
  app.log().uninstallKey = name_;
  auto log = app.WriteLogFile();
  ASSERT_TRUE(log);

  const RunResult r = WholeRun(robot::ProgramPath(), *log);
  EndedPlainly(r);
  EXPECT_TRUE(r.seen.summaryShown);
  EXPECT_EQ(r.seen.summaryLines, (std::vector<std::string>{kRegistryHeader, std::string(" ") + kUninstallShown + name_}));
  EXPECT_TRUE(robot::KeyExists(entry));
  EXPECT_EQ(robot::KeyGetString(entry, "DisplayName"), std::optional<std::string>("Demo"));
  EXPECT_FALSE(robot::FileExists(dir_ / "Demo\\demo.exe")) << "the files went before";
}

// A logged key nobody may open is no absent one: it is listed, its walk
// ends there, and the next entry of the log is removed as usual.
TEST_F(Acceptance, LoggedKeyNobodyMayOpenIsListedAndEndsItsWalk) {
  const std::string key = OwnKey("Software\\" + name_, HKEY_CURRENT_USER);
  ASSERT_TRUE(robot::KeyCreate(key + "\\Fechada", HKEY_CURRENT_USER));
  ASSERT_TRUE(robot::KeyCreate(key + "\\Aberta", HKEY_CURRENT_USER));
  KeyRights closed(HKEY_CURRENT_USER, key + "\\Fechada", kClosed);
  ASSERT_TRUE(closed.applied());
  runkit::Installation app(dir_ / "Demo\\");
  ASSERT_TRUE(app.AddFile("", "demo.exe", 4096));
  app.log().regKeys = {{2, "(1)\\" + key + "\\Fechada"}, {1, "(1)\\" + key + "\\Aberta"}};
  auto log = app.WriteLogFile();
  ASSERT_TRUE(log);

  const RunResult r = WholeRun(robot::ProgramPath(), *log);
  EndedPlainly(r);
  EXPECT_TRUE(r.seen.summaryShown);
  EXPECT_EQ(r.seen.summaryLines,
            (std::vector<std::string>{runkit::kRegistryHeader, " HKEY_CURRENT_USER\\" + key + "\\Fechada"}));
  EXPECT_FALSE(robot::KeyExists(key + "\\Aberta", HKEY_CURRENT_USER));
  EXPECT_TRUE(robot::KeyExists(key, HKEY_CURRENT_USER)) << "the walk ended below it";
}

// A registration key that opens read-only: the count cannot be written back,
// the key still goes and the file is scheduled for deletion.
TEST_F(Acceptance, ReadOnlyRegistrationStillGoesAndTheFileIsScheduled) {
  const std::string copy = RegisteredCopy(1);
  KeyRights readOnly(HKEY_LOCAL_MACHINE, kRegistration, kReadAndDelete);
  ASSERT_TRUE(readOnly.applied());

  EndedPlainly(WholeRun(copy, SmallApplication("App")));
  EXPECT_FALSE(robot::KeyExists(kRegistration));
  EXPECT_EQ(robot::KeyGetString(runkit::kRunOnce, "Delete"),
            std::optional<std::string>("cmd.exe /c del \"" + copy + "\""));
}

// A registration key that cannot be deleted (it holds a key nobody may
// open, which holds another): it stays with the count at 0, the key above
// it stays, and the file is still scheduled for deletion.
TEST_F(Acceptance, RegistrationThatCannotGoStillSchedulesTheFile) {
  const std::string copy = RegisteredCopy(1);
  const std::string closedKey = std::string(kRegistration) + "\\Travada";
  ASSERT_TRUE(robot::KeyCreate(closedKey + "\\Dentro"));
  KeyRights closed(HKEY_LOCAL_MACHINE, closedKey, kClosed);
  ASSERT_TRUE(closed.applied());

  EndedPlainly(WholeRun(copy, SmallApplication("App")));
  EXPECT_EQ(robot::KeyGetDword(kRegistration, "AppsServed"), std::optional<DWORD>(0));
  EXPECT_TRUE(robot::KeyExists(kDalvests));
  EXPECT_EQ(robot::KeyGetString(runkit::kRunOnce, "Delete"),
            std::optional<std::string>("cmd.exe /c del \"" + copy + "\""));
}

// A run-once key that cannot be written: no error report any more; the
// file still goes at the next start of Windows, and so the registration
// goes too.
TEST_F(Acceptance, ReadOnlyRunOnceKeyStillSchedulesTheFileForTheNextStart) {
  const std::string copy = RegisteredCopy(1);
  KeyRights readOnly(HKEY_LOCAL_MACHINE, runkit::kRunOnce, kReadOnly);
  ASSERT_TRUE(readOnly.applied());
  EndedPlainly(WholeRun(copy, SmallApplication("App")));
  EXPECT_FALSE(robot::KeyExists(kRegistration));
  EXPECT_TRUE(runkit::ValueNames(HKEY_LOCAL_MACHINE, runkit::kRunOnce).empty());
  const auto pending = robot::PendingDeletions();
  EXPECT_TRUE(std::any_of(pending.begin(), pending.end(),
                          [&](const std::string& p) { return lstrcmpiA(p.c_str(), copy.c_str()) == 0; }))
      << "the copy is not in PendingFileRenameOperations";
}

// --- registration --------------------------------------------------------------

// A count of 0 (or less) goes one further down and schedules nothing.
TEST_F(Acceptance, CountOfZeroGoesToMinusOne) {
  const std::string copy = RegisteredCopy(0);
  EndedPlainly(WholeRun(copy, SmallApplication("App")));
  EXPECT_EQ(robot::KeyGetDword(kRegistration, "AppsServed"), std::optional<DWORD>(0xFFFFFFFFu));
  EXPECT_EQ(robot::KeyGetString(kRegistration, "AppPath"), std::optional<std::string>(copy));
  EXPECT_TRUE(runkit::ValueNames(HKEY_LOCAL_MACHINE, runkit::kRunOnce).empty());
}

// A count that is missing, or is no DWORD, changes nothing.
TEST_F(Acceptance, CountMissingOrNotADwordChangesNothing) {
  const std::string copy = RegisteredCopy(1);
  auto saved = runkit::SaveKey(HKEY_LOCAL_MACHINE, kRegistration);
  ASSERT_TRUE(saved);

  HKEY h = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRegistration, 0, KEY_ALL_ACCESS, &h), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteValueA(h, "AppsServed"), ERROR_SUCCESS);
  RegCloseKey(h);
  EndedPlainly(WholeRun(copy, SmallApplication("Sem")));
  EXPECT_FALSE(robot::KeyValueExists(kRegistration, "AppsServed"));
  EXPECT_EQ(robot::KeyGetString(kRegistration, "AppPath"), std::optional<std::string>(copy));
  EXPECT_TRUE(runkit::ValueNames(HKEY_LOCAL_MACHINE, runkit::kRunOnce).empty());

  ASSERT_TRUE(SetRawValue(kRegistration, "AppsServed", REG_SZ, StringBytes("1")));
  EndedPlainly(WholeRun(copy, SmallApplication("Texto")));
  EXPECT_EQ(RawValue(kRegistration, "AppsServed"), std::make_optional(std::make_pair(DWORD{REG_SZ}, StringBytes("1"))));
  EXPECT_TRUE(runkit::ValueNames(HKEY_LOCAL_MACHINE, runkit::kRunOnce).empty());
}

// A registered path that is missing, no string, or names no file leaves the
// registration as it is.
TEST_F(Acceptance, RegisteredPathThatNamesNoFileChangesNothing) {
  const std::string copy = RegisteredCopy(1);
  auto expectUntouched = [&](const char* what) {
    EXPECT_EQ(robot::KeyGetDword(kRegistration, "AppsServed"), std::optional<DWORD>(1)) << what;
    EXPECT_TRUE(runkit::ValueNames(HKEY_LOCAL_MACHINE, runkit::kRunOnce).empty()) << what;
  };

  HKEY h = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRegistration, 0, KEY_ALL_ACCESS, &h), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteValueA(h, "AppPath"), ERROR_SUCCESS);
  RegCloseKey(h);
  EndedPlainly(WholeRun(copy, SmallApplication("SemCaminho")));
  expectUntouched("AppPath missing");

  const DWORD number = 7;
  ASSERT_TRUE(SetRawValue(kRegistration, "AppPath", REG_DWORD, std::string(reinterpret_cast<const char*>(&number), 4)));
  EndedPlainly(WholeRun(copy, SmallApplication("Numero")));
  expectUntouched("AppPath a DWORD");

  ASSERT_TRUE(robot::KeySetString(kRegistration, "AppPath", dir_ / "Comum\\sumido.exe"));
  EndedPlainly(WholeRun(copy, SmallApplication("Sumido")));
  expectUntouched("AppPath naming no file");
}

// The registered path is compared without regard to letter case, and an
// expandable string is read as it stands: the last application unregisters
// the file and schedules its deletion under its own spelling.
TEST_F(Acceptance, RegisteredPathInOtherLetterCaseCounts) {
  const std::string copy = RegisteredCopy(1);
  std::string upper = copy;
  CharUpperBuffA(upper.data(), static_cast<DWORD>(upper.size()));
  ASSERT_NE(upper, copy);
  ASSERT_TRUE(SetRawValue(kRegistration, "AppPath", REG_EXPAND_SZ, StringBytes(upper)));

  EndedPlainly(WholeRun(copy, SmallApplication("App")));
  EXPECT_FALSE(robot::KeyExists(kRegistration));
  EXPECT_FALSE(robot::KeyExists(kDalvests));
  EXPECT_TRUE(robot::KeyExists(runkit::NoRegistration::kMakerKey)) << "the key above is never deleted";
  EXPECT_EQ(runkit::ValueNames(HKEY_LOCAL_MACHINE, runkit::kRunOnce), std::vector<std::string>{"Delete"});
  EXPECT_EQ(robot::KeyGetString(runkit::kRunOnce, "Delete"),
            std::optional<std::string>("cmd.exe /c del \"" + copy + "\""));
}

// A program file without a version resource goes by the version name
// 0.0.0.0; the registration of 1.0.0.3 is not its own.
TEST_F(Acceptance, FileWithoutVersionGoesBy0000) {
  const std::string copy = RegisteredCopy(1);
  ASSERT_TRUE(RemoveVersionResource(copy));
  DWORD handle = 0;
  ASSERT_EQ(GetFileVersionInfoSizeA(copy.c_str(), &handle), 0u) << "the version resource is still there";
  ASSERT_TRUE(robot::KeySetString(kNoVersionRegistration, "AppPath", copy));
  ASSERT_TRUE(robot::KeySetDword(kNoVersionRegistration, "AppsServed", 1));

  EndedPlainly(WholeRun(copy, SmallApplication("App")));
  EXPECT_FALSE(robot::KeyExists(kNoVersionRegistration));
  EXPECT_EQ(robot::KeyGetDword(kRegistration, "AppsServed"), std::optional<DWORD>(1)) << "another version's";
  EXPECT_TRUE(robot::KeyExists(kDalvests)) << "another registration is left in it";
  EXPECT_EQ(robot::KeyGetString(runkit::kRunOnce, "Delete"),
            std::optional<std::string>("cmd.exe /c del \"" + copy + "\""));
}

// Without the run-once key the registration still goes, but no entry is
// written, the key is not created, and nothing is said.
TEST_F(Acceptance, WithoutRunOnceKeyNothingIsScheduled) {
  runkit::KeyGuard runOnceKey(HKEY_LOCAL_MACHINE, runkit::kRunOnce);
  ASSERT_TRUE(robot::KeyRemove(runkit::kRunOnce));
  const std::string copy = RegisteredCopy(1);

  EndedPlainly(WholeRun(copy, SmallApplication("App")));
  EXPECT_FALSE(robot::KeyExists(kRegistration));
  EXPECT_FALSE(robot::KeyExists(runkit::kRunOnce)) << "never created";
  EXPECT_TRUE(robot::FileExists(copy));
}

}  // namespace
