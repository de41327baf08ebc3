// ReadLog over the real file system: deny-write sharing against writers in
// this and in another process, and undtool's scan of a real folder with
// its local DOS time stamps.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/tools/LogWriter.h"
#include "app/UninstallRun.h"
#include "platform/win32/Win32Services.h"
#include "tests/fakes/FakeRun.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeServices.h"
#include "tools/undtool/Disk.h"
#include "tools/undtool/UndTool.h"

namespace {

constexpr char kHoldSwitch[] = "--und-hold-for-writing=";

// Started again as a child with kHoldSwitch: opens the named file for
// writing (sharing reads and writes), signals "ready", and keeps it open
// until told to let go. Runs before GoogleTest sees the command line.
struct ChildHolder {
  ChildHolder() {
    const std::string cmd = GetCommandLineA();
    const size_t at = cmd.find(kHoldSwitch);
    if (at == std::string::npos) return;
    const std::string path = cmd.substr(at + sizeof kHoldSwitch - 1);
    const std::string id = std::to_string(GetCurrentProcessId());
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, ("und-logreader-ready-" + id).c_str());
    HANDLE done = OpenEventA(SYNCHRONIZE, FALSE, ("und-logreader-done-" + id).c_str());
    if (ready != nullptr) SetEvent(ready);
    if (done != nullptr) WaitForSingleObject(done, 60000);
    ExitProcess(file == INVALID_HANDLE_VALUE ? 3 : 0);
  }
} g_childHolder;

app::LogContent ExampleLog() {
  app::LogContent c;
  c.appName = "Demo";
  c.hostLevels = 1;
  c.totalBytes = 4096;
  c.folders = {{"", 1}};
  c.groups = {{std::nullopt, {{"app.exe", 4096, 0x2AB153C0, 1}}}};
  return c;
}

class LogReaderWin32 : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    dir = std::string(temp) + "und-logreader-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(dir.c_str(), nullptr);
    log = dir + "\\demo.und";
    Write(log, app::WriteLog(ExampleLog()));
    run.LogPath = log;
  }
  void TearDown() override {
    DeleteFileA(log.c_str());
    RemoveTree(dir);
  }

  static void Write(const std::string& path, const std::string& bytes) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
    DWORD done = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
    CloseHandle(h);
  }
  static void RemoveTree(const std::string& folder) {
    WIN32_FIND_DATAA fd;
    HANDLE f = FindFirstFileA((folder + "\\*").c_str(), &fd);
    if (f != INVALID_HANDLE_VALUE) {
      do {
        const std::string name = fd.cFileName;
        if (name == "." || name == "..") continue;
        const std::string path = folder + "\\" + name;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(path);
        else DeleteFileA(path.c_str());
      } while (FindNextFileA(f, &fd));
      FindClose(f);
    }
    RemoveDirectoryA(folder.c_str());
  }
  HANDLE Open(DWORD access, DWORD share) {
    return CreateFileA(log.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  }

  std::string dir, log;
  fakes::FakeRun<platform::win32::Win32FileSystem> world;
  app::TRunData& data = world.data;
  app::UninstallRun& run = world.run;
};

TEST_F(LogReaderWin32, ReadsTheExampleLogFromDisk) {
  ASSERT_TRUE(run.ReadLog());
  EXPECT_EQ(data.UninsData.AppName, "Demo");
  EXPECT_EQ(run.BytesToProcess, 4096);
  EXPECT_EQ(app::ZDataValue((*data.FileLists)[0].get(), 0, 1), 0x2AB153C0);
}

TEST_F(LogReaderWin32, OtherReadersAreWelcome) {
  HANDLE reader = Open(GENERIC_READ, FILE_SHARE_READ);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(run.ReadLog());
  CloseHandle(reader);
}

TEST_F(LogReaderWin32, AWriterInThisProcessMakesItUnreadable) {
  HANDLE writer = Open(GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(run.ReadLog());
  EXPECT_EQ(data.UninsData.AppName, "");
  CloseHandle(writer);
  EXPECT_TRUE(run.ReadLog());  // once the writer is gone
}

TEST_F(LogReaderWin32, AnExclusiveHolderMakesItUnreadable) {
  HANDLE holder = Open(GENERIC_READ, 0);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(run.ReadLog());
  CloseHandle(holder);
}

TEST_F(LogReaderWin32, AWriterInAnotherProcessMakesItUnreadable) {
  char self[MAX_PATH];
  ASSERT_GT(GetModuleFileNameA(nullptr, self, sizeof self), 0u);
  std::string cmd = std::string("\"") + self + "\" " + kHoldSwitch + log;
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  // The events are named after the child's id, so create the child
  // suspended, make them, then let it run.
  ASSERT_TRUE(CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr, &si, &pi));
  const std::string id = std::to_string(pi.dwProcessId);
  HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, ("und-logreader-ready-" + id).c_str());
  HANDLE done = CreateEventA(nullptr, TRUE, FALSE, ("und-logreader-done-" + id).c_str());
  ResumeThread(pi.hThread);
  ASSERT_EQ(WaitForSingleObject(ready, 60000), WAIT_OBJECT_0);
  EXPECT_FALSE(run.ReadLog());
  SetEvent(done);
  WaitForSingleObject(pi.hProcess, 60000);
  DWORD code = 99;
  GetExitCodeProcess(pi.hProcess, &code);
  EXPECT_EQ(code, 0u) << "the child could not open the log for writing";
  EXPECT_TRUE(run.ReadLog());
  CloseHandle(ready);
  CloseHandle(done);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
}

TEST_F(LogReaderWin32, ScanTakesLocalDosTimesFromTheDisk) {
  const std::string inst = dir + "\\inst";
  CreateDirectoryA(inst.c_str(), nullptr);
  CreateDirectoryA((inst + "\\bin").c_str(), nullptr);
  Write(inst + "\\app.exe", std::string(1234, 'x'));
  Write(inst + "\\bin\\a\xE7\xE3o.dll", "abc");  // "ação.dll"
  // 17 May 2001 10:30:01 local time, as FileAge would see it.
  SYSTEMTIME local{};
  local.wYear = 2001;
  local.wMonth = 5;
  local.wDay = 17;
  local.wHour = 10;
  local.wMinute = 30;
  local.wSecond = 1;
  FILETIME lft, utc;
  ASSERT_TRUE(SystemTimeToFileTime(&local, &lft));
  ASSERT_TRUE(LocalFileTimeToFileTime(&lft, &utc));
  HANDLE h = CreateFileA((inst + "\\app.exe").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &utc));
  CloseHandle(h);

  undtool::ScanOptions o;
  o.root = inst;
  o.separator = undtool::kHostSeparator;
  o.utf8Names = undtool::kHostUtf8Names;
  o.appName = "Demo";
  const app::LogContent c = undtool::ScanTree(o, undtool::ListDiskFolder);
  ASSERT_EQ(c.folders.size(), 2u);
  EXPECT_EQ(c.folders[1].name, "bin\\");
  ASSERT_EQ(c.groups[0].files.size(), 1u);
  EXPECT_EQ(c.groups[0].files[0].date, 0x2AB153C0);
  EXPECT_EQ(c.groups[0].files[0].size, 1234);
  EXPECT_EQ(c.groups[1].files[0].name, "a\xE7\xE3o.dll");
  EXPECT_EQ(c.totalBytes, 1237);
  // The uninstaller reads what the scan wrote.
  Write(log, app::WriteLog(c));
  ASSERT_TRUE(run.ReadLog());
  EXPECT_EQ(app::ZDataName((*data.FileLists)[1].get(), 0), "a\xE7\xE3o.dll");
}

}  // namespace
