#include "tools/undtool/Plan.h"

#include <ostream>

#include <nlohmann/json.hpp>

#include "app/FailList.h"
#include "app/LogFormat.h"
#include "app/LogReader.h"
#include "app/OutcomeWords.h"
#include "app/RemovalEngine.h"
#include "env/Enviro.h"
#include "platform/WindowsRules.h"
#include "tools/undtool/UndTool.h"

namespace undtool {

namespace {

using Json = nlohmann::ordered_json;
using Kind = PlanItem::Kind;
using Outcome = PlanItem::Outcome;

// The plan's items, one per outcome of the engine's stream, in its order;
// the dry-run layer adds its reasons for what it refused. Entries that name
// no root key come last.
class ItemCollector : public app::IRemovalListener {
 public:
  ItemCollector(std::vector<PlanItem>& items, app::DryRunFileSystem& fs, app::DryRunRegistry& registry)
      : items_(items), fs_(fs), registry_(registry) {}

  void OnOutcome(const app::Outcome& o) override {
    PlanItem item;
    item.kind = o.kind;
    item.path = app::ObjectPath(o);
    switch (o.result) {
      case app::Result::Removed: item.outcome = Outcome::Removed; break;
      case app::Result::Absent: item.outcome = Outcome::Absent; break;
      default: item.outcome = Outcome::Kept; break;
    }
    item.why = Why(o, item);
    if (o.kind == app::ObjectKind::Key && o.root == 0) {
      noRoot_.push_back(std::move(item));
    } else {
      items_.push_back(std::move(item));
    }
  }

  // The entries that name no root key, after everything else.
  void Finish() {
    for (PlanItem& item : noRoot_) items_.push_back(std::move(item));
    noRoot_.clear();
  }

 private:
  // The words a run's report uses too (app/OutcomeWords.h), with the dry
  // run's reasons for what it refused, and what only a plan knows: the
  // subkeys a tree deletion takes, and keys gone with one deleted before.
  std::string Why(const app::Outcome& o, PlanItem& item) {
    const bool isKey = o.kind == app::ObjectKind::Key;
    std::string refusal;
    switch (o.result) {
      case app::Result::Absent:
        if (isKey && o.root != 0 && registry_.Why(o.root, o.keyPath) == "deleted earlier in the plan") {
          return "already gone with a key deleted before it";
        }
        break;
      case app::Result::Changed:
        item.loggedTime = o.loggedTime;
        item.diskTime = o.diskTime;
        break;
      case app::Result::Removed:
        if (isKey) {
          item.subkeys = registry_.Taken(o.root, o.keyPath);
          if (!item.subkeys.empty()) item.subkeys.pop_back();  // the key itself, taken last
          return item.subkeys.empty() ? "" : "with its subkeys";
        }
        break;
      case app::Result::NotEmpty:
        if (!isKey) refusal = fs_.Why(o.path);
        break;
      case app::Result::Failed:
        if (isKey && o.step == app::Step::Open) {
          refusal = app::ErrorText(o.error);
          break;
        }
        refusal = isKey ? registry_.Why(o.root, o.keyPath) : fs_.Why(o.path);
        // A refusal of the system's own, not the overlay's: its code says it.
        if (refusal.empty() && o.error != 0) refusal = app::ErrorText(o.error);
        if (isKey) item.subkeys = registry_.Taken(o.root, o.keyPath);
        break;
      case app::Result::Scheduled:
      case app::Result::Protected:
      case app::Result::NotTheApplications:
      case app::Result::Link:
        break;
    }
    std::string why = app::OutcomeReason(o, refusal);
    if (!item.subkeys.empty()) why += "; the subkeys listed still go";
    return why;
  }

  std::vector<PlanItem>& items_;
  std::vector<PlanItem> noRoot_;
  app::DryRunFileSystem& fs_;
  app::DryRunRegistry& registry_;
};

constexpr char kLimits[] =
    "Not known without trying: a file held open by another program, a folder in use, and registry rights "
    "checked only when a deletion is asked for. The plan counts such entries as removable; a real run "
    "would list them among the failures.";

}  // namespace

std::optional<PlanResult> MakePlan(const std::string& logPath, PlanServices& services, std::string& problem) {
  app::DryRunFileSystem fs(*services.fs);
  app::DryRunRegistry registry(*services.registry, services.subkeys);

  // The uninstaller's own checks: the file test of the start-up, then the
  // log reader (message 3 and message 6).
  if (!fs.FileExists(logPath)) {
    problem = logPath + ": no such file (the uninstaller would show message 3)";
    return std::nullopt;
  }
  const auto bytes = fs.ReadDenyWrite(logPath);
  if (!bytes) {
    problem = logPath + ": cannot be opened for reading (no access, or another program has it open for "
                        "writing); the uninstaller would show message 6";
    return std::nullopt;
  }
  const app::ParsedLog parsed = app::ParseLog(*bytes);
  if (!parsed.Readable()) {
    problem = logPath + ": the uninstaller would refuse this log (message 6):";
    for (const app::LogProblem& p : parsed.problems) {
      problem += "\n  offset " + std::to_string(p.offset) + ": " + p.what;
    }
    return std::nullopt;
  }

  // The code page's path rules, as the uninstaller itself runs under them.
  const env::PathRules paths(*services.locale);
  app::TRunData data;
  data.UninsData.BaseDir = paths.FolderOfFile(logPath);
  if (!app::ReadLog(fs, paths, logPath, data)) {
    problem = logPath + ": the uninstaller could not read this log (message 6)";
    return std::nullopt;
  }

  PlanResult result;
  result.logPath = logPath;
  result.appName = data.UninsData.AppName;
  result.baseDir = data.UninsData.BaseDir;

  // The run deletes its log before anything else.
  result.logDeleted = static_cast<bool>(platform::RemoveFileAnyway(fs, logPath));

  // The engine over the dry-run layer; its stream gives the items and,
  // as in the run, the failure list.
  app::TFailList failList;
  app::FailListBuilder failures(failList);
  ItemCollector items(result.items, fs, registry);
  app::RemovalListeners stream{&failures, &items};
  const app::Protection protection(services.folders, *services.locale);
  app::RemovalEngine(fs, registry, *services.locale, protection).Run(data, stream);
  items.Finish();

  for (int i = 0; i < failList.Count(); ++i) {
    const app::TFailData* fail = failList.Object(i);
    result.failList.push_back({failList.Text(i), fail ? fail->Kind : -1});
  }
  return result;
}

int Plan(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, PlanServices* services,
         bool utf8Output) {
  std::vector<std::string> positional;
  bool json = false;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--json") json = true;
    else if (args[i].rfind("--", 0) == 0) throw ToolError("plan: unknown option " + args[i]);
    else positional.push_back(args[i]);
  }
  if (positional.size() != 1) throw ToolError("plan needs one LOG.und");
  if (services == nullptr || services->fs == nullptr || services->registry == nullptr || services->locale == nullptr) {
    err << "undtool: plan works on Windows only: it runs the uninstaller's removal over the Windows file system "
           "and registry (use undtool.exe)\n";
    return 2;
  }
  // The log's path arrives in the host's encoding, like every other text.
  const std::string logPath = utf8Output ? Utf8ToCp1252(positional[0]) : positional[0];
  std::string problem;
  const auto plan = MakePlan(logPath, *services, problem);
  auto shown = [&](const std::string& cp1252) { return utf8Output ? Cp1252ToUtf8(cp1252) : cp1252; };
  if (!plan) {
    err << "undtool: " << shown(problem) << "\n";
    return 1;
  }

  if (json) {
    Json j;
    j["log"] = Cp1252ToUtf8(plan->logPath);
    j["appName"] = Cp1252ToUtf8(plan->appName);
    j["baseDir"] = Cp1252ToUtf8(plan->baseDir);
    j["logDeleted"] = plan->logDeleted;
    Json remove = Json::array(), keep = Json::array(), absent = Json::array();
    for (const PlanItem& item : plan->items) {
      Json i;
      i["kind"] = app::KindName(item.kind);
      i["path"] = Cp1252ToUtf8(item.path);
      if (!item.why.empty()) i["why"] = Cp1252ToUtf8(item.why);
      if (item.loggedTime) i["logged"] = app::TimeStampText(*item.loggedTime);
      if (item.diskTime) i["onDisk"] = app::TimeStampText(*item.diskTime);
      if (!item.subkeys.empty()) {
        Json subs = Json::array();
        for (const std::string& s : item.subkeys) subs.push_back(Cp1252ToUtf8(s));
        i["subkeys"] = std::move(subs);
      }
      (item.outcome == Outcome::Removed ? remove : item.outcome == Outcome::Kept ? keep : absent).push_back(i);
    }
    j["remove"] = std::move(remove);
    j["keep"] = std::move(keep);
    j["absent"] = std::move(absent);
    Json fails = Json::array();
    for (const PlanFailLine& line : plan->failList) {
      Json l;
      l["text"] = Cp1252ToUtf8(line.text);
      l["kind"] = line.kind == app::kFailFile ? Json("file") : line.kind == app::kFailFolder ? Json("folder") : Json();
      fails.push_back(std::move(l));
    }
    j["failList"] = std::move(fails);
    j["limits"] = kLimits;
    out << j.dump(2) << "\n";
    return 0;
  }

  out << "Plan for " << shown(plan->logPath) << " (a dry run: nothing has been changed)\n";
  out << "Application: " << shown(plan->appName) << "\n";
  out << "Installation folder: " << shown(plan->baseDir) << "\n";
  out << (plan->logDeleted ? "The log itself is deleted first.\n"
                           : "The log itself would stay: it cannot be deleted.\n");
  const struct {
    Outcome outcome;
    const char* title;
  } sections[] = {{Outcome::Removed, "Would be removed"},
                  {Outcome::Kept, "Would be kept"},
                  {Outcome::Absent, "Not there, nothing to do"}};
  for (const auto& section : sections) {
    size_t count = 0;
    for (const PlanItem& item : plan->items) count += item.outcome == section.outcome;
    out << "\n" << section.title << " (" << count << "):\n";
    for (const PlanItem& item : plan->items) {
      if (item.outcome != section.outcome) continue;
      out << "  " << shown(app::ObjectLine(app::KindName(item.kind), item.path, item.why)) << "\n";
      for (const std::string& s : item.subkeys) out << "             with " << shown(s) << "\n";
    }
  }
  out << "\nFailure list, as the summary dialog would show it";
  if (plan->failList.empty()) {
    out << ": empty (no summary dialog)\n";
  } else {
    out << " (" << plan->failList.size() << " lines):\n";
    for (const PlanFailLine& line : plan->failList) out << shown(line.text) << "\n";
  }
  out << "\n" << kLimits << "\n";
  return 0;
}

}  // namespace undtool
