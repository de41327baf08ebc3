// Reading a large uninstall log: 200,000 file entries in 400 folders, read
// from the in-memory file system. Prints time, entries per second and the
// process's peak memory.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/tools/LogWriter.h"
#include "app/UnattendedHost.h"
#include "app/UninstallRun.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeServices.h"

namespace {

long PeakRssKb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;  // kilobytes on Linux
}

constexpr int kFolders = 400;
constexpr int kFilesPerFolder = 500;

std::string BigLog() {
  app::LogContent c;
  c.appName = "Bench";
  c.hostLevels = 1;
  c.regKeys = {{1, "\\2\\Software\\Bench"}};
  c.uninstallKey = "Bench";
  for (int f = 0; f < kFolders; ++f) {
    c.folders.push_back({f == 0 ? "" : "folder" + std::to_string(f) + "\\", 1});
    app::LogGroup g;
    for (int i = 0; i < kFilesPerFolder; ++i) {
      g.files.push_back({"file_" + std::to_string(f) + "_" + std::to_string(i) + ".dat", static_cast<uint32_t>(1000 + i), 0x2AB153C0, 1});
    }
    c.groups.push_back(std::move(g));
  }
  return app::WriteLog(c);
}

}  // namespace

int main() {
  const std::string bytes = BigLog();
  const long before = PeakRssKb();
  const char* path = "C:\\Bench\\bench.und";
  fakes::FakeRegistry registry;
  fakes::FakeMessageBox box;
  fakes::FakeLocale locale;
  fakes::FakeModule module;
  fakes::FakeNamedLock lock;
  fakes::FakeNamedLock claim;
  app::NoView view;

  std::vector<double> ms;
  for (int round = 0; round < 7; ++round) {
    fakes::FakeFileSystem fs;
    fs.AddFile(path, 0, 0, platform::kAttrArchive, bytes);
    app::Services services{fs, registry, box, locale, module, lock, claim};
    app::TRunData data;
    app::UnattendedHost host{fs, locale};
    app::UninstallRun run{services, host, view, data};
    run.LogPath = path;
    const auto start = std::chrono::steady_clock::now();
    const bool ok = run.ReadLog();
    const auto stop = std::chrono::steady_clock::now();
    if (!ok || !data.FileLists || data.FileLists->size() != kFolders) {
      std::fprintf(stderr, "the log was not read\n");
      return 1;
    }
    ms.push_back(std::chrono::duration<double, std::milli>(stop - start).count());
  }
  std::sort(ms.begin(), ms.end());
  const double median = ms[ms.size() / 2];
  const long entries = static_cast<long>(kFolders) * kFilesPerFolder;
  std::printf("log: %zu bytes, %ld file entries in %d folders\n", bytes.size(), entries, kFolders);
  std::printf("ReadLog: best %.1f ms, median %.1f ms over %zu rounds (target under 100 ms)\n", ms.front(), median,
              ms.size());
  std::printf("entries per second (median): %.0f\n", entries / (median / 1000.0));
  std::printf("peak memory: %ld KiB (%ld KiB before reading, log and test data included)\n", PeakRssKb(), before);
  return 0;
}
