// Feeds arbitrary bytes to ReadLog through the in-memory file system and
// checks what must hold for any input: no crash, leak or runaway
// allocation (the sanitizers and libFuzzer's limits watch those), the reader
// agrees with the parser, a log read whole is written back to the very same
// bytes, and what was accepted is what the run data holds.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/tools/LogWriter.h"
#include "app/UninstallRun.h"
#include "tests/fakes/FakeRun.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeServices.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const char* path = "C:\\App\\app.und";
  fakes::FakeRun<> world;
  world.fs.AddFile(path, 0, 0, platform::kAttrArchive, bytes);
  app::TRunData& runData = world.data;
  app::UninstallRun& run = world.run;
  run.LogPath = path;

  const bool read = run.ReadLog();
  const app::ParsedLog parsed = app::ParseLog(bytes);
  // A log that parses may still name what is not its application's (a
  // shortcut outside the places for shortcuts, say): refused all the same.
  Check(!read || parsed.Readable());
  if (parsed.complete) {
    Check(parsed.end <= bytes.size());
    Check(app::WriteLog(parsed.content) == bytes);
  }
  if (!read && parsed.Readable()) return 0;
  if (!read) {
    Check(!runData.FolderList && !runData.FileLists && !runData.ShortcutList && runData.RegKeyList.empty());
    return 0;
  }
  const app::LogContent& c = parsed.content;
  Check(runData.RegKeyList.size() == c.regKeys.size() && runData.RegKeyLevels.size() == c.regKeys.size());
  Check(runData.UninsData.TotalBytes == c.totalBytes && run.BytesToProcess == c.totalBytes);
  Check(static_cast<bool>(runData.FolderList) == (*c.folderCount > 0));
  if (runData.FolderList) Check(runData.FolderList->Count() == *c.folderCount);
  Check(static_cast<bool>(runData.FileLists) == (*c.groupCount > 0));
  if (runData.FileLists) {
    Check(runData.FileLists->size() == static_cast<size_t>(*c.groupCount));
    for (size_t g = 0; g < c.groups.size(); ++g) {
      const app::TZDataList* list = (*runData.FileLists)[g].get();
      Check(list->Count() == static_cast<int>(c.groups[g].files.size()));
      for (int i = 0; i < list->Count(); ++i) {
        Check(app::ZDataName(list, i) == c.groups[g].files[static_cast<size_t>(i)].name);
        Check(!app::UnsafeNameReason(app::ZDataName(list, i)));
      }
    }
  }
  return 0;
}
