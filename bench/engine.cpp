// Overhead of the removal engine itself: a whole run against the in-memory
// fakes, so that the figures show the engine's own bookkeeping (paths, the
// outcome stream, the failure list built from it, progress calls) without
// any disk or registry cost.
// Prints objects per second; asserts nothing.
#include <chrono>
#include <cstdio>
#include <string>

#include "app/FailList.h"
#include "app/RemovalEngine.h"
#include "app/ProgressFigures.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeServices.h"

namespace {

constexpr int32_t kDate = 0x2AB153C0;

// A listener that formats what the window would show, as the run does.
class FormattingListener : public app::IRemovalListener {
 public:
  void OnPhase(app::Phase phase) override {
    if (const char* caption = app::PhaseCaption(phase)) phase_ = caption;
  }
  void OnProgress(int64_t bytes, const std::string& object) override {
    text_ = app::FormatJobDone(bytes, total, ".");
    object_ = object;
    position_ = app::ProgressPosition(bytes, total).value_or(position_);
    ++calls;
  }
  int64_t total = 0;
  long calls = 0;

 private:
  std::string phase_, text_, object_;
  int position_ = 0;
};

struct Setup {
  fakes::FakeFileSystem fs;
  fakes::FakeRegistry registry;
  fakes::FakeLocale locale;
  app::TRunData data;
  long objects = 0;
  int64_t total = 0;
};

// `folders` folders of `filesPerFolder` files, a shortcut per folder and a
// registry key per folder. When `resisting`, every file was edited after
// installation, so everything stays and lands in the failure list.
void Build(Setup& s, int folders, int filesPerFolder, bool resisting) {
  s.data.UninsData.BaseDir = "C:\\Program Files\\Demo\\";
  s.data.UninsData.HostLevels = 2;
  s.data.UninsData.ShortcutDir = "C:\\Menu\\Demo\\";
  s.data.UninsData.ShortcutLevels = 1;
  s.data.UninsData.UninstallKey = "Demo";
  s.registry.AddKey(platform::kHkeyLocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Demo");
  s.data.FolderList = std::make_unique<app::TFolderList>();
  s.data.FileLists = std::make_unique<app::TFileLists>();
  s.data.ShortcutList = std::make_unique<app::TTextList>();
  for (int f = 0; f < folders; ++f) {
    const std::string folder = f == 0 ? "" : "part" + std::to_string(f) + "\\";
    s.data.FolderList->Add(folder, std::make_unique<app::TDirData>());
    auto list = std::make_unique<app::TZDataList>();
    for (int i = 0; i < filesPerFolder; ++i) {
      auto z = std::make_unique<app::TZData>();
      z->Name = "file" + std::to_string(i) + ".dat";
      z->Size = 4096;
      z->Date = kDate;
      s.fs.AddFile(s.data.UninsData.BaseDir + folder + z->Name, resisting ? kDate + 1 : kDate);
      s.total += z->Size;
      list->Add(std::move(z));
    }
    s.data.FileLists->push_back(std::move(list));
    const std::string shortcut = "C:\\Menu\\Demo\\Group" + std::to_string(f) + "\\App.lnk";
    s.data.ShortcutList->push_back(shortcut);
    s.fs.AddFile(shortcut);
    const std::string key = "Software\\Demo\\Part" + std::to_string(f);
    s.registry.AddKey(platform::kHkeyCurrentUser, key);
    s.data.RegKeyList.push_back("x1x\\" + key);
    s.data.RegKeyLevels.push_back(2);
  }
  s.objects = static_cast<long>(folders) * filesPerFolder + 2L * folders + 2L * folders + 1;
}

void Measure(const char* label, int folders, int filesPerFolder, bool resisting, int rounds) {
  double best = 1e300;
  long objects = 0, lines = 0, calls = 0;
  for (int r = 0; r < rounds; ++r) {
    Setup s;
    Build(s, folders, filesPerFolder, resisting);
    FormattingListener progress;
    progress.total = s.total;
    s.data.FailList = std::make_unique<app::TFailList>();
    app::FailListBuilder failures(*s.data.FailList);
    app::RemovalListeners stream{&progress, &failures};
    const app::Protection protection(fakes::FakeModule().KnownFolders(), s.locale);
    app::RemovalEngine engine(s.fs, s.registry, s.locale, protection);
    const auto start = std::chrono::steady_clock::now();
    engine.Run(s.data, stream);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (took.count() < best) best = took.count();
    objects = s.objects;
    lines = s.data.FailList->Count();
    calls = progress.calls;
  }
  std::printf("%-34s %8ld objects  %7ld progress calls  %7ld failure lines  %9.3f ms  %12.0f objects/s\n", label,
              objects, calls, lines, best * 1e3, best > 0 ? objects / best : 0.0);
}

}  // namespace

int main() {
  std::printf("removal engine against the in-memory fakes (best of the rounds)\n");
  Measure("small install, all removed", 5, 20, false, 20);
  Measure("10 000 files, all removed", 100, 100, false, 5);
  Measure("10 000 files, all resisting", 100, 100, true, 5);
  Measure("100 000 files, all removed", 1000, 100, false, 3);
  Measure("100 000 files, all resisting", 1000, 100, true, 3);
  return 0;
}
