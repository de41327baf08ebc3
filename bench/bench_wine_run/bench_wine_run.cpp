// Whole run of desinstalador.exe over many installed files, timed against a
// bare loop that deletes the same number of files with the same calls, in
// the same program run and on the same disk. Prints figures; asserts nothing.
//
//   bench_wine_run [files] [rounds]      (defaults: 20000 files, 3 rounds)
//
// UND_BENCH_RETRY_FILES (default 100000; 0 leaves it out) sets the size of
// the tree of the retry part below, which runs `rounds` times after the
// others; with 0 rounds, the retry part is all that runs, once.
// UND_BENCH_RETRY_PER_FOLDER (default 1000) its files per folder: a lookup
// that finds nothing costs more the more the folder still holds.
//
// Measured, per round, each on a freshly written tree of `files` files:
//   run       the program from the Yes of the confirmation to the end box
//             (reading the log and start-up are before the Yes and not in it)
//   run-min   the same with the progress window minimised before the Yes:
//             what painting costs shows as the difference to `run`
//   bare      GetFileAttributes, SetFileAttributes, DeleteFile per file, then
//             RemoveDirectory per folder
//   bare+find bare plus the engine's file test per file (FindFirstFile,
//             FindClose, local DOS time stamp compared with the logged one)
//   quiet     the program with /quiet, from its start to its end (start-up
//             and reading the log included): no window at all
//   quiet+log the same writing its report (/log:), one line per object
//   retry     a /quiet run killed (TerminateProcess) once half of its files
//             are gone, then the same command run again to its end: the
//             second run, from its start to its end, against `quiet` on a
//             tree of the same size
// The end box is polled every 20 ms, so `run` is known to about that much.
// Each part runs on a tree written just before it, once the disk has
// caught up with what was written: otherwise one part pays for writing
// back another's tree, or finds its own tree dropped from the caches, and
// the figures vary by several times from round to round. After the rounds come the medians of
// each ratio over the rounds that worked out.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/e2e/robot/Robot.h"
#include "tests/e2e/runs/RunKit.h"

namespace {

constexpr int kFilesPerFolder = 1000;
constexpr size_t kFileSize = 512;

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// An installed tree of `files` files under base, with its log.
struct Tree {
  std::string base;
  std::string log;
  std::vector<std::string> folders;  // full paths, sub-folders before the base
  std::vector<std::string> files;    // full paths
  std::vector<int32_t> dates;        // logged DOS time stamps, same index
};

bool WriteTree(const std::string& base, int files, Tree& tree, int perFolder = kFilesPerFolder) {
  runkit::Installation app(base);
  tree = Tree{};
  tree.base = app.base();
  for (int i = 0; i < files; ++i) {
    std::string folder = "pasta" + std::to_string(i / perFolder) + "\\";
    std::string name = "arquivo" + std::to_string(i) + ".dat";
    if (!app.AddFile(folder, name, kFileSize)) {
      std::fprintf(stderr, "cannot write %s%s%s\n", tree.base.c_str(), folder.c_str(), name.c_str());
      return false;
    }
    tree.files.push_back(tree.base + folder + name);
  }
  for (size_t g = 0; g < app.log().groups.size(); ++g) {
    for (const auto& f : app.log().groups[g].files) tree.dates.push_back(f.date);
  }
  for (size_t f = app.log().folders.size(); f-- > 1;) tree.folders.push_back(tree.base + app.log().folders[f].name);
  tree.folders.push_back(tree.base);
  auto log = app.WriteLogFile();
  if (!log) return false;
  tree.log = *log;
  return true;
}

std::optional<int32_t> FileStamp(const std::string& path) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA(path.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return std::nullopt;
  FindClose(find);
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return std::nullopt;
  FILETIME local;
  WORD date = 0, time = 0;
  FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
  FileTimeToDosDateTime(&local, &date, &time);
  return static_cast<int32_t>((static_cast<uint32_t>(date) << 16) | time);
}

// Kilobytes the kernel has yet to write to disk (Dirty and Writeback of
// /proc/meminfo, which Wine shows on drive Z:); -1 when it cannot tell.
long PendingWritesKb() {
  HANDLE f = CreateFileA("Z:\\proc\\meminfo", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return -1;
  char text[8192];
  DWORD got = 0;
  const BOOL read = ReadFile(f, text, sizeof text - 1, &got, nullptr);
  CloseHandle(f);
  if (!read) return -1;
  text[got] = '\0';
  long kb = 0;
  for (const char* key : {"\nDirty:", "\nWriteback:"}) {
    const char* at = std::strstr(text, key);
    if (at == nullptr) return -1;
    kb += std::atol(at + std::strlen(key));
  }
  return kb;
}

// Until the disk has caught up (at most 4 MB left to write, or 60 s gone).
// Wine starts a Unix program natively: sync(1) gets the writing going at
// once instead of when the kernel's dirty pages expire.
void Settle() {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  char command[] = "Z:\\bin\\sync";
  // Wine gives no handles for a Unix program (process id 0, and garbage
  // for the thread): nothing to close then.
  if (CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process) &&
      process.dwProcessId != 0) {
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  const double start = Now();
  for (long kb = PendingWritesKb(); kb > 4096 && Now() - start < 60; kb = PendingWritesKb()) Sleep(100);
}

// Seconds for the bare loop; -1 when a file resisted.
double BareLoop(const Tree& tree, bool withFileTest) {
  double start = Now();
  int failed = 0;
  for (size_t i = 0; i < tree.files.size(); ++i) {
    const std::string& path = tree.files[i];
    if (withFileTest) {
      auto stamp = FileStamp(path);
      if (!stamp || *stamp != tree.dates[i]) {
        ++failed;
        continue;
      }
    }
    DWORD a = GetFileAttributesA(path.c_str());
    if (a == INVALID_FILE_ATTRIBUTES || !SetFileAttributesA(path.c_str(), a & ~FILE_ATTRIBUTE_READONLY) ||
        !DeleteFileA(path.c_str())) {
      ++failed;
    }
  }
  for (const auto& folder : tree.folders) {
    std::string p = folder;
    if (p.back() == '\\') p.pop_back();
    RemoveDirectoryA(p.c_str());
  }
  double seconds = Now() - start;
  if (failed) std::fprintf(stderr, "bare loop: %d files resisted\n", failed);
  return failed ? -1 : seconds;
}

// Seconds from the Yes to the end box of the program over the tree; -1
// when the run did not go as expected.
double WholeRun(const Tree& tree, const std::string& workDir, bool minimised) {
  robot::Process p = robot::Process::Start(robot::ProgramPath(), "/f:" + tree.log, workDir);
  HWND main = p.WaitForMainWindow();
  auto confirm = p.WaitForBox(120000);
  if (!main || !confirm || confirm->text != runkit::ConfirmText("Demo")) {
    std::fprintf(stderr, "run: no confirmation box\n");
    return -1;
  }
  if (minimised) {
    ShowWindow(main, SW_MINIMIZE);
    Sleep(500);
  }
  HWND yes = GetDlgItem(confirm->hwnd, IDYES);
  double start = Now();
  PostMessageA(confirm->hwnd, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), reinterpret_cast<LPARAM>(yes));
  std::optional<robot::BoxInfo> end;
  while (p.running() && Now() - start < 1800) {
    // The confirmation may still be listed for a moment after the Yes.
    auto box = p.WaitForBox(0);
    if (box && box->hwnd != confirm->hwnd) {
      end = box;
      break;
    }
    Sleep(20);
  }
  double wall = Now() - start;
  if (!end || end->text != runkit::kFinishedText) {
    std::fprintf(stderr, "run: no end box (%s)\n", end ? end->text.c_str() : "none");
    return -1;
  }
  p.Press(*end, IDOK);
  p.WaitForExit(120000);
  int left = 0;
  for (const auto& f : tree.files) left += robot::FileExists(f);
  if (left) {
    std::fprintf(stderr, "run: %d files left behind\n", left);
    return -1;
  }
  return wall;
}

// The program with /quiet (and its report when `report` is not empty), from
// its start to its end; -1 when it did not end with 0 or left files behind.
double QuietRun(const Tree& tree, const std::string& workDir, const std::string& report) {
  std::string args = "/quiet " + robot::QuoteArgument("/f:" + tree.log);
  if (!report.empty()) args += " " + robot::QuoteArgument("/log:" + report);
  const double start = Now();
  robot::Process p = robot::Process::StartRaw(robot::ProgramPath(), args, workDir);
  const auto code = p.WaitForExit(1800000);
  const double seconds = Now() - start;
  int left = 0;
  for (const auto& f : tree.files) left += robot::FileExists(f);
  if (code != std::optional<DWORD>(0) || left) {
    std::fprintf(stderr, "quiet run: exit code %ld, %d files left behind\n", code ? static_cast<long>(*code) : -1L,
                 left);
    return -1;
  }
  return seconds;
}

// A /quiet run over the tree, killed as soon as the file in the middle of
// the log is gone; false when the run ended by itself first or the kill
// did not end it. Started without the robot, which waits for an input idle
// that a run without a window never reaches.
bool KilledHalfWay(const Tree& tree, const std::string& workDir) {
  const std::string exe = robot::ProgramPath();
  std::string line = robot::QuoteArgument(exe) + " /quiet " + robot::QuoteArgument("/f:" + tree.log);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION p{};
  if (!CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, workDir.c_str(), &startup, &p)) {
    std::fprintf(stderr, "killed run: cannot start (%lu)\n", GetLastError());
    return false;
  }
  const auto running = [&] { return WaitForSingleObject(p.hProcess, 0) == WAIT_TIMEOUT; };
  const std::string& middle = tree.files[tree.files.size() / 2];
  const double start = Now();
  while (running() && robot::FileExists(middle) && Now() - start < 1800) Sleep(10);
  const bool wasRunning = running();
  const bool killed = wasRunning && TerminateProcess(p.hProcess, 255) &&
                      WaitForSingleObject(p.hProcess, 10000) == WAIT_OBJECT_0;
  CloseHandle(p.hThread);
  CloseHandle(p.hProcess);
  if (!killed) {
    std::fprintf(stderr, "killed run: %s\n",
                 wasRunning ? "still running after the kill" : "it ended before half of its files were gone");
    return false;
  }
  int left = 0;
  for (const auto& f : tree.files) left += robot::FileExists(f);
  std::printf("       killed after %.3f s with %d of %zu files left\n", Now() - start, left, tree.files.size());
  return true;
}

int FromEnvironment(const char* name, int otherwise) {
  const char* text = std::getenv(name);
  return text != nullptr && *text != '\0' ? std::atoi(text) : otherwise;
}

// The median of the figures above 0 (failed rounds give -1); -1 when none.
double Median(std::vector<double> figures) {
  figures.erase(std::remove_if(figures.begin(), figures.end(), [](double f) { return f <= 0; }), figures.end());
  if (figures.empty()) return -1;
  std::sort(figures.begin(), figures.end());
  const size_t n = figures.size();
  return n % 2 ? figures[n / 2] : (figures[n / 2 - 1] + figures[n / 2]) / 2;
}

double Ratio(double a, double b) { return a > 0 && b > 0 ? a / b : -1; }

}  // namespace

int main(int argc, char** argv) {
  int files = argc > 1 ? std::atoi(argv[1]) : 20000;
  int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  const int retryFiles = FromEnvironment("UND_BENCH_RETRY_FILES", 100000);
  const int retryPerFolder = FromEnvironment("UND_BENCH_RETRY_PER_FOLDER", kFilesPerFolder);
  if (files <= 0 || rounds < 0 || retryFiles < 0 || retryPerFolder <= 0) {
    std::fprintf(stderr, "usage: bench_wine_run [files] [rounds]\n");
    return 2;
  }
  if (!robot::FileExists(robot::ProgramPath())) {
    std::fprintf(stderr, "%s is missing\n", robot::ProgramPath().c_str());
    return 2;
  }
  std::printf("bench_wine_run: %d files of %u bytes, %d per folder, %d round(s)\n", files,
              static_cast<unsigned>(kFileSize), kFilesPerFolder, rounds);
  if (rounds > 0) {
    std::printf("%-6s %10s %10s %10s %10s %12s %12s\n", "round", "run s", "run-min s", "bare s", "bare+find s",
                "run/bare", "run/bare+f");
  }
  robot::TempDir dir;
  std::vector<double> runBare, runBareFind, quietBare, quietLogBare;
  for (int r = 0; r < rounds; ++r) {
    // Each part on a tree written just before it, once the disk has caught
    // up: every part starts from the same state of the disk and its caches.
    Tree tree;
    auto fresh = [&](const char* name) {
      if (!WriteTree(dir / (std::string(name) + "\\Demo\\"), files, tree)) return false;
      Settle();
      return true;
    };
    if (!fresh("run")) return 1;
    double run = WholeRun(tree, dir.path(), false);
    if (!fresh("min")) return 1;
    double runMin = WholeRun(tree, dir.path(), true);
    if (!fresh("bare")) return 1;
    double bare = BareLoop(tree, false);
    if (!fresh("find")) return 1;
    double bareFind = BareLoop(tree, true);
    if (!fresh("quiet")) return 1;
    double quiet = QuietRun(tree, dir.path(), "");
    if (!fresh("report")) return 1;
    double quietReport = QuietRun(tree, dir.path(), dir / "relatorio.txt");
    robot::DeleteTree(dir.path() + "run");
    robot::DeleteTree(dir.path() + "min");
    robot::DeleteTree(dir.path() + "bare");
    robot::DeleteTree(dir.path() + "find");
    robot::DeleteTree(dir.path() + "quiet");
    robot::DeleteTree(dir.path() + "report");
    runBare.push_back(Ratio(run, bare));
    runBareFind.push_back(Ratio(run, bareFind));
    quietBare.push_back(Ratio(quiet, bare));
    quietLogBare.push_back(Ratio(quietReport, bare));
    std::printf("%-6d %10.3f %10.3f %10.3f %10.3f %12.2f %12.2f\n", r + 1, run, runMin, bare, bareFind,
                runBare.back(), runBareFind.back());
    if (run > 0 && runMin > 0) {
      std::printf("       painting (run - run-min): %.3f s, %.0f%% of the run\n", run - runMin,
                  100.0 * (run - runMin) / run);
    }
    if (run > 0 && bareFind > 0) {
      std::printf("       beyond the file calls (run - bare+find): %.3f s, %.0f%% of the run\n",
                  run - bareFind, 100.0 * (run - bareFind) / run);
    }
    std::printf("       quiet run: %.3f s, with its report %.3f s; quiet/bare %.2f, quiet+log/bare %.2f\n", quiet,
                quietReport, quietBare.back(), quietLogBare.back());
    std::fflush(stdout);
  }
  if (rounds > 0) {
    std::printf("median of %d round(s): run/bare %.2f, run/bare+f %.2f, quiet/bare %.2f, quiet+log/bare %.2f\n",
                rounds, Median(runBare), Median(runBareFind), Median(quietBare), Median(quietLogBare));
  }
  if (retryFiles == 0) return 0;

  // A run killed half-way and run again, against an uninterrupted one.
  const int retryRounds = rounds > 0 ? rounds : 1;
  std::printf("retry of a run killed half-way: %d files, %d per folder, %d round(s)\n", retryFiles, retryPerFolder,
              retryRounds);
  std::printf("%-6s %12s %12s %14s\n", "round", "quiet s", "retry s", "retry/quiet");
  std::vector<double> retryQuiet;
  for (int r = 0; r < retryRounds; ++r) {
    Tree tree;
    if (!WriteTree(dir / "once\\Demo\\", retryFiles, tree, retryPerFolder)) return 1;
    Settle();
    const double once = QuietRun(tree, dir.path(), "");
    robot::DeleteTree(dir.path() + "once");
    if (!WriteTree(dir / "killed\\Demo\\", retryFiles, tree, retryPerFolder)) return 1;
    Settle();
    double retry = -1;
    if (KilledHalfWay(tree, dir.path())) {
      Settle();
      retry = QuietRun(tree, dir.path(), "");
    }
    robot::DeleteTree(dir.path() + "killed");
    retryQuiet.push_back(Ratio(retry, once));
    std::printf("%-6d %12.3f %12.3f %14.2f\n", r + 1, once, retry, retryQuiet.back());
    std::fflush(stdout);
  }
  std::printf("median of %d round(s): retry/quiet %.2f at %d files\n", retryRounds, Median(retryQuiet), retryFiles);
  return 0;
}
