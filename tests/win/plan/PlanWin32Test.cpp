// undtool's plan over a real folder tree and the real registry: it changes
// nothing on the disk or in the registry, and the real removal that follows
// it does what it said, with the failure list it predicted.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "app/tools/LogWriter.h"
#include "app/UninstallRun.h"
#include "platform/WindowsRules.h"
#include "platform/win32/Win32Services.h"
#include "tests/fakes/FakeMainView.h"
#include "tests/fakes/FakeServices.h"
#include "tools/undtool/Disk.h"
#include "tools/undtool/Plan.h"
#include "tools/undtool/UndTool.h"

namespace {

const std::string kUninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

void Write(const std::string& path, const std::string& bytes) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
  DWORD done = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
  CloseHandle(h);
}

void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA fd;
  HANDLE f = FindFirstFileA((folder + "\\*").c_str(), &fd);
  if (f != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = fd.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = folder + "\\" + name;
      SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(path);
      else DeleteFileA(path.c_str());
    } while (FindNextFileA(f, &fd));
    FindClose(f);
  }
  RemoveDirectoryA(folder.c_str());
}

// Every entry under `folder` with its attributes, size and last-write time.
void Snapshot(const std::string& folder, std::map<std::string, std::string>& out) {
  WIN32_FIND_DATAA fd;
  HANDLE f = FindFirstFileA((folder + "\\*").c_str(), &fd);
  if (f == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = fd.cFileName;
    if (name == "." || name == "..") continue;
    const std::string path = folder + "\\" + name;
    std::ostringstream s;
    s << fd.dwFileAttributes << ' ' << fd.nFileSizeLow << ' ' << fd.ftLastWriteTime.dwLowDateTime << ' '
      << fd.ftLastWriteTime.dwHighDateTime;
    out[path] = s.str();
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) Snapshot(path, out);
  } while (FindNextFileA(f, &fd));
  FindClose(f);
}

// Every key under root\path with its value names and data.
void KeySnapshot(HKEY root, const std::string& path, std::map<std::string, std::string>& out) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  std::string values;
  for (DWORD i = 0;; ++i) {
    char name[256];
    DWORD nameLen = sizeof name;
    BYTE data[512];
    DWORD dataLen = sizeof data;
    DWORD type = 0;
    if (RegEnumValueA(key, i, name, &nameLen, nullptr, &type, data, &dataLen) != ERROR_SUCCESS) break;
    values += std::string(name, nameLen) + "=" + std::string(reinterpret_cast<char*>(data), dataLen) + ";";
  }
  out[path] = values;
  std::vector<std::string> subs;
  for (DWORD i = 0;; ++i) {
    char name[256];
    DWORD len = sizeof name;
    if (RegEnumKeyExA(key, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    subs.emplace_back(name, len);
  }
  RegCloseKey(key);
  for (const std::string& s : subs) KeySnapshot(root, path + "\\" + s, out);
}

void AddKey(HKEY root, const std::string& path, const char* value = nullptr) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
  if (value != nullptr) {
    RegSetValueExA(key, "Value", 0, REG_SZ, reinterpret_cast<const BYTE*>(value), static_cast<DWORD>(strlen(value) + 1));
  }
  RegCloseKey(key);
}

void DeleteTreeOf(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
    std::vector<std::string> subs;
    for (DWORD i = 0;; ++i) {
      char name[256];
      DWORD len = sizeof name;
      if (RegEnumKeyExA(key, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      subs.emplace_back(name, len);
    }
    RegCloseKey(key);
    for (const std::string& s : subs) DeleteTreeOf(root, path + "\\" + s);
  }
  RegDeleteKeyA(root, path.c_str());
}

class PlanWin32 : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    const std::string id = std::to_string(GetCurrentProcessId());
    top = std::string(temp) + "und-plan-" + id;
    inst = top + "\\Apps\\Demo";
    menu = top + "\\Menu\\Demo";
    vendorKey = "Software\\UndPlanTest" + id;
    uninstallName = "UndPlanTest" + id;
    RemoveTree(top);
    for (const std::string& d : {top, top + "\\Apps", inst, inst + "\\Bin", inst + "\\Docs", top + "\\Menu", menu}) {
      CreateDirectoryA(d.c_str(), nullptr);
    }
    Write(inst + "\\app.exe", "program");
    Write(inst + "\\data.ini", "[settings]");
    Write(inst + "\\ro.dll", "library");
    SetFileAttributesA((inst + "\\ro.dll").c_str(), FILE_ATTRIBUTE_READONLY);
    Write(inst + "\\Bin\\tool.dll", "tool");
    Write(inst + "\\Docs\\readme.txt", "read me");
    Write(menu + "\\Demo.lnk", "link");

    AddKey(HKEY_CURRENT_USER, vendorKey + "\\Gone", "x");
    AddKey(HKEY_CURRENT_USER, vendorKey + "\\Kept\\Child");
    AddKey(HKEY_LOCAL_MACHINE, kUninstall + uninstallName + "\\Parts", "y");

    undtool::ScanOptions o;
    o.root = inst;
    o.separator = undtool::kHostSeparator;
    o.utf8Names = undtool::kHostUtf8Names;
    o.appName = "Demo";
    o.hostLevels = 2;
    o.shortcutDir = menu;
    o.shortcutLevels = 1;
    o.shortcuts = {menu + "\\Demo.lnk"};
    o.uninstallKey = uninstallName;
    o.regKeys = {{2, "\\1\\" + vendorKey + "\\Gone"}, {1, "\\1\\" + vendorKey + "\\Kept"}};
    log = inst + "\\demo.und";
    Write(log, app::WriteLog(undtool::ScanTree(o, undtool::ListDiskFolder)));

    // After installation: the user edits a file and adds one of their own.
    HANDLE h = CreateFileA((inst + "\\data.ini").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    FILETIME t;
    GetFileTime(h, nullptr, nullptr, &t);
    ULARGE_INTEGER u{{t.dwLowDateTime, t.dwHighDateTime}};
    u.QuadPart -= 3600ULL * 10000000ULL;  // an hour earlier
    t.dwLowDateTime = u.LowPart;
    t.dwHighDateTime = u.HighPart;
    ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &t));
    CloseHandle(h);
    Write(inst + "\\Docs\\notes.txt", "mine");
  }
  void TearDown() override {
    RemoveTree(top);
    DeleteTreeOf(HKEY_CURRENT_USER, vendorKey);
    DeleteTreeOf(HKEY_LOCAL_MACHINE, kUninstall + uninstallName);
  }

  std::map<std::string, std::string> World() {
    std::map<std::string, std::string> w;
    Snapshot(top, w);
    std::map<std::string, std::string> keys;
    KeySnapshot(HKEY_CURRENT_USER, vendorKey, keys);
    KeySnapshot(HKEY_LOCAL_MACHINE, kUninstall + uninstallName, keys);
    for (auto& [k, v] : keys) w["reg:" + k] = v;
    return w;
  }

  std::string top, inst, menu, log, vendorKey, uninstallName;
};

TEST_F(PlanWin32, PlanChangesNothingAndTheRealRunDoesWhatItSaid) {
  const auto before = World();
  ASSERT_GT(before.size(), 12u);

  std::ostringstream out, err;
  ASSERT_EQ(undtool::Run({"plan", log}, out, err, undtool::ListDiskFolder, undtool::kHostSeparator,
                         undtool::kHostUtf8Names, undtool::HostPlanServices()),
            0)
      << err.str();
  EXPECT_EQ(World(), before);
  const std::string text = out.str();
  for (const std::string& expected : {
           "  file     " + inst + "\\app.exe\n",
           "  file     " + inst + "\\ro.dll  -- its read-only bit is dropped first\n",
           "  folder   " + inst + "\\Bin\n",
           "  folder   " + inst + "\\Docs  -- not empty: 1 entry stays (notes.txt)\n",
           "  key      HKEY_CURRENT_USER\\" + vendorKey + "\\Gone\n",
           "  key      HKEY_CURRENT_USER\\" + vendorKey + "  -- it has subkeys; the walk ends here\n",
           "  key      HKEY_CURRENT_USER\\" + vendorKey + "\\Kept  -- it has subkeys; the walk ends here\n",
           "  key      HKEY_LOCAL_MACHINE\\" + kUninstall + uninstallName + "  -- with its subkeys\n",
           "  shortcut " + menu + "\\Demo.lnk\n",
           "  folder   " + menu + "\n",
       }) {
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "--- in ---\n" << text;
  }
  EXPECT_NE(text.find("data.ini  -- changed since installation (logged "), std::string::npos) << text;

  // The program itself, when it stands beside this test.
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, sizeof self);
  std::string exe = self;
  exe = exe.substr(0, exe.find_last_of('\\') + 1) + "undtool.exe";
  if (GetFileAttributesA(exe.c_str()) != INVALID_FILE_ATTRIBUTES) {
    std::string cmd = "\"" + exe + "\" plan \"" + log + "\" --json";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si,
                               &pi));
    ASSERT_EQ(WaitForSingleObject(pi.hProcess, 60000), WAIT_OBJECT_0);
    DWORD code = 99;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(World(), before);
  }

  // Now the real removal, as the uninstaller runs it after Yes.
  std::string problem;
  const auto plan = undtool::MakePlan(log, *undtool::HostPlanServices(), problem);
  ASSERT_TRUE(plan) << problem;
  EXPECT_EQ(World(), before);

  platform::win32::Win32FileSystem fs;
  platform::win32::Win32Registry reg;
  platform::win32::Win32Locale locale;
  fakes::FakeMessageBox box;
  platform::win32::Win32Module module;  // this machine's folders judge the places
  fakes::FakeNamedLock lock;
  fakes::FakeNamedLock claim;
  fakes::FakeMainView view;
  app::PersonHost person = fakes::PersonAt(box, view);
  app::Services services{fs, reg, box, locale, module, lock, claim};
  app::TRunData data;
  app::UninstallRun run(services, person, view, data);
  ASSERT_TRUE(run.Start(log));
  ASSERT_TRUE(run.ReadLog());
  platform::RemoveFileAnyway(fs, log);  // the log goes first, as in a run
  run.RemoveInstallation();

  ASSERT_EQ(static_cast<int>(plan->failList.size()), data.FailList->Count());
  for (int i = 0; i < data.FailList->Count(); ++i) EXPECT_EQ(plan->failList[i].text, data.FailList->Text(i));
  for (const undtool::PlanItem& item : plan->items) {
    if (item.kind == undtool::PlanItem::Kind::Key) continue;
    const bool there = GetFileAttributesA(item.path.c_str()) != INVALID_FILE_ATTRIBUTES;
    EXPECT_EQ(there, item.outcome == undtool::PlanItem::Outcome::Kept) << item.path;
  }
  HKEY key = nullptr;
  EXPECT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, (vendorKey + "\\Gone").c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
  EXPECT_NE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, (kUninstall + uninstallName).c_str(), 0, KEY_READ, &key),
            ERROR_SUCCESS);
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, (vendorKey + "\\Kept\\Child").c_str(), 0, KEY_READ, &key),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

// Under code page 932 a folder whose last character's second byte is 0x5C:
// the plan and the run read its path alike, and both remove it.
TEST_F(PlanWin32, DoubleByteFolderEndingInByte5CIsPlannedAsTheRunRemovesIt) {
  if (GetACP() != 932) {
    const char* lang = std::getenv("UND_LANG");
    if (lang != nullptr && std::string(lang).rfind("ja_JP", 0) == 0) FAIL() << "no code page 932 under " << lang;
    GTEST_SKIP() << "needs code page 932 (UND_LANG=ja_JP.UTF-8)";
  }
  const std::string folder = top + "\\Menu\\\x90\xAC\x90\xD1\x95\x5C";  // "成績表": its last byte is 0x5C
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  app::LogContent content;
  content.appName = "Demo";
  content.shortcutDir = folder;  // as the installer may write it, without a backslash
  content.shortcutLevels = 1;
  const std::string dbcsLog = inst + "\\cp932.und";
  Write(dbcsLog, app::WriteLog(content));

  std::ostringstream out, err;
  ASSERT_EQ(undtool::Run({"plan", dbcsLog}, out, err, undtool::ListDiskFolder, undtool::kHostSeparator,
                         undtool::kHostUtf8Names, undtool::HostPlanServices()),
            0)
      << err.str();
  const std::string text = out.str();
  const size_t line = text.find("  folder   " + folder + "\n");
  EXPECT_LT(line, text.find("Would be kept")) << text;

  platform::win32::Win32FileSystem fs;
  platform::win32::Win32Registry reg;
  platform::win32::Win32Locale locale;
  fakes::FakeMessageBox box;
  fakes::FakeModule module;
  fakes::FakeNamedLock lock;
  fakes::FakeNamedLock claim;
  fakes::FakeMainView view;
  app::PersonHost person = fakes::PersonAt(box, view);
  app::Services services{fs, reg, box, locale, module, lock, claim};
  app::TRunData data;
  app::UninstallRun run(services, person, view, data);
  ASSERT_TRUE(run.Start(dbcsLog));
  ASSERT_TRUE(run.ReadLog());
  run.RemoveInstallation();
  EXPECT_EQ(GetFileAttributesA(folder.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(data.FailList->Count(), 0);
}

TEST_F(PlanWin32, ARefusedLogEndsWithCodeOneAndStays) {
  Write(log, "\x01\x04" "De");
  const auto before = World();
  std::ostringstream out, err;
  EXPECT_EQ(undtool::Run({"plan", log}, out, err, undtool::ListDiskFolder, undtool::kHostSeparator,
                         undtool::kHostUtf8Names, undtool::HostPlanServices()),
            1);
  EXPECT_NE(err.str().find("would refuse this log"), std::string::npos) << err.str();
  EXPECT_EQ(World(), before);
}

}  // namespace
