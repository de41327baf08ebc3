#pragma once
// undtool plan: what a run of the uninstaller over a log would remove and
// keep, worked out by the removal engine itself over the dry-run layer, so
// nothing on the disk or in the registry changes.
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "app/tools/DryRun.h"
#include "app/Outcome.h"
#include "platform/Services.h"

namespace undtool {

// The machine's own services the plan reads through. The plan never calls
// a mutating operation of `fs` or `registry`.
struct PlanServices {
  platform::IFileSystem* fs = nullptr;
  platform::IRegistry* registry = nullptr;
  platform::ILocale* locale = nullptr;
  app::ISubkeyLister* subkeys = nullptr;  // optional
  // The system's folders, which a run never takes; none when not given.
  platform::SystemFolders folders;
};

// The host's services, or nullptr where the plan cannot run: it needs the
// Windows file system and registry (undtool.exe).
PlanServices* HostPlanServices();

// One outcome of the engine's stream over the dry-run layer.
struct PlanItem {
  using Kind = app::ObjectKind;
  // Removed; kept (changed, not empty or refused); absent.
  enum class Outcome { Removed, Kept, Absent };
  Kind kind = Kind::File;
  Outcome outcome = Outcome::Absent;
  std::string path;  // Windows-1252, as the engine names it
  // Kept and absent: the reason; removed: a remark (read-only bit dropped).
  std::string why;
  // A file kept because it changed since installation.
  std::optional<int32_t> loggedTime;
  std::optional<int32_t> diskTime;
  // A key deleted with its subkeys: the subkeys, deepest first.
  std::vector<std::string> subkeys;
};

struct PlanFailLine {
  std::string text;  // exactly as the summary dialog lists it
  int kind = -1;     // -1 no object, 0 file, 1 folder
};

struct PlanResult {
  std::string logPath;
  std::string appName;
  std::string baseDir;
  bool logDeleted = false;  // the run deletes its log before it removes
  std::vector<PlanItem> items;  // in the engine's order
  std::vector<PlanFailLine> failList;
};

// Works out the plan of the log at `logPath`; nullopt with a message in
// `problem` when the uninstaller would refuse the log (missing, unreadable,
// damaged or unsafe), which it then shows as message 3 or 6.
std::optional<PlanResult> MakePlan(const std::string& logPath, PlanServices& services, std::string& problem);

// `plan LOG [--json]`. 0: the plan is printed; 1: the log would be refused
// (the reason on `err`); 2: bad usage, or no services on this host. Texts
// go out as UTF-8 when `utf8Output`, else in Windows-1252 as they are.
int Plan(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, PlanServices* services,
         bool utf8Output);

}  // namespace undtool
