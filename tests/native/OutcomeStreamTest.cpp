// The engine's outcome stream as the one account of a removal: on random
// worlds, what a run's outcomes say matches what the run left behind, its
// failure list, its report, and the plan of the same world.
#include <gtest/gtest.h>

#include <sstream>

#include "app/OutcomeWords.h"
#include "app/RunReport.h"
#include "app/UninstallRun.h"
#include "tests/fakes/FakeMainView.h"
#include "tests/native/DryRunWorld.h"
#include "tools/undtool/Plan.h"

namespace {

using app::ObjectKind;
using app::Result;
using Planned = undtool::PlanItem::Outcome;

// Every outcome, and whether the system, asked right then as the engine
// asks, still sees the object: a file that is no folder, a folder neither
// hidden nor system, a key that opens.
struct Recorder : app::IRunListener {
  explicit Recorder(dryrun_world::World& w) : world(w) {}
  void OnOutcome(const app::Outcome& o) override {
    outcomes.push_back(o);
    // A lookup or opening the system refused finds nothing here either;
    // the world holds the object all the same.
    if (o.step == app::Step::Find || o.step == app::Step::Open) {
      seen.push_back(o.step == app::Step::Find ? world.fs.Exists(o.path) : world.reg.Exists(o.root, o.keyPath));
      return;
    }
    const auto entry = o.kind == ObjectKind::Key ? std::nullopt : world.fs.FindEntry(o.path);
    const bool folder = o.kind == ObjectKind::Folder;
    seen.push_back(o.kind == ObjectKind::Key ? o.root != 0 && world.reg.KeyExists(o.root, o.keyPath)
                                             : entry && (folder ? (entry->attributes & 0x6) == 0 : !entry->IsFolder()));
  }
  dryrun_world::World& world;
  std::vector<app::Outcome> outcomes;
  std::vector<bool> seen;
};

// What each result says of its object: a line in the failure list (for a
// file or folder; for a key), whether it is still there, how the plan puts
// it, and its error code (for a file or folder; for a key): -1 any.
struct Rule {
  Result result;
  bool listedFileOrFolder, listedKey;
  int stillThere;  // -1: never looked at, either
  Planned planned;
  int64_t errorFileOrFolder, errorKey;
};
constexpr Rule kRules[] = {
    {Result::Removed, false, false, false, Planned::Removed, 0, 0},
    {Result::Changed, true, true, true, Planned::Kept, 0, 0},
    {Result::NotEmpty, true, false, true, Planned::Kept, platform::kErrorDirNotEmpty, 0},
    {Result::Absent, false, false, false, Planned::Absent, 0, -1},  // a key: what the key test met
    {Result::Failed, true, true, true, Planned::Kept, -1, -1},
    {Result::Protected, false, false, -1, Planned::Kept, 0, 0},  // the walks reach Software
};
const Rule& RuleOf(Result result) {
  for (const Rule& r : kRules) {
    if (r.result == result) return r;
  }
  ADD_FAILURE() << "no rule for result " << static_cast<int>(result);
  return kRules[0];
}

// The first words of a reason, before what only a plan or only a run knows
// (the dry run's reason, or the refusal's code).
std::string Gist(const std::string& why) { return why.substr(0, why.find_first_of(":(;")); }

TEST(OutcomeStream, OutcomesMatchTheWorldTheFailureListTheReportAndThePlan) {
  std::map<Result, int> seen;
  for (uint32_t seed = 1; seed <= 300; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    dryrun_world::World planned, actual;
    dryrun_world::Build(planned, seed);
    dryrun_world::Build(actual, seed);
    dryrun_world::EngineRun engine(actual, actual.fs, actual.reg);
    app::UninstallRun& run = engine.run;
    const app::TRunData& data = engine.data;
    Recorder stream(actual);
    run.Listen(stream);
    platform::Status created;
    app::RunReport report(actual.fs.OpenOutputFile("C:\\report.txt", created), actual.fs, actual.locale);
    run.Listen(report);
    engine.box.Answer(6);  // Yes to the question
    ASSERT_TRUE(run.Start(dryrun_world::kLogPath));
    run.Activate();
    dryrun_world::FakeSubkeys lister(planned.reg);
    undtool::PlanServices planServices{&planned.fs, &planned.reg, &planned.locale, &lister};
    std::string problem;
    const auto plan = undtool::MakePlan(dryrun_world::kLogPath, planServices, problem);
    ASSERT_TRUE(plan) << problem;

    std::vector<std::pair<std::string, int>> expectedLines, listedLines;
    std::vector<const app::Outcome*> rooted;  // the plan lists entries naming no root key last
    for (size_t n = 0; n < stream.outcomes.size(); ++n) {
      const app::Outcome& o = stream.outcomes[n];
      const Rule& rule = RuleOf(o.result);
      ++seen[o.result];
      const bool key = o.kind == ObjectKind::Key;
      if (key ? rule.listedKey : rule.listedFileOrFolder) {
        const int kind = o.kind == ObjectKind::File ? app::kFailFile : o.kind == ObjectKind::Folder ? app::kFailFolder : -1;
        expectedLines.emplace_back((key ? " " : "    ") + o.path, kind);
      }
      if (rule.stillThere >= 0) {
        EXPECT_EQ(stream.seen[n], rule.stillThere == 1) << o.path;
      }
      const int64_t error = key ? rule.errorKey : rule.errorFileOrFolder;
      if (error >= 0) {
        EXPECT_EQ(o.error, error) << o.path;
      }
      if (o.result == Result::Failed) {
        EXPECT_NE(o.step, app::Step::None) << o.path;
      }
      if (!key || o.root != 0) rooted.push_back(&o);
    }
    for (int i = 0; i < data.FailList->Count(); ++i) {
      if (data.FailList->Text(i)[0] != ' ') continue;  // a header
      listedLines.emplace_back(data.FailList->Text(i), data.FailList->Object(i) ? data.FailList->Object(i)->Kind : -1);
    }
    EXPECT_EQ(listedLines, expectedLines);

    // The report's object lines, one per outcome after the application's
    // and the log's, name each object as the plan does, in the same words.
    std::vector<std::string> reported;
    std::istringstream lines(actual.fs.Content("C:\\report.txt"));
    for (std::string line; std::getline(lines, line);) reported.push_back(line.substr(0, line.size() - 1));
    // + application, log, registration (the result and the exit code are
    // the session's, written at its close)
    ASSERT_EQ(reported.size(), stream.outcomes.size() + 3);

    ASSERT_EQ(plan->items.size(), stream.outcomes.size());
    for (size_t i = 0; i < rooted.size(); ++i) {
      const app::Outcome& o = *rooted[i];
      const undtool::PlanItem& item = plan->items[i];
      EXPECT_EQ(item.kind, o.kind) << o.path;
      EXPECT_EQ(item.path, o.kind == ObjectKind::Key ? app::KeyText(o.root, o.keyPath) : o.path);
      EXPECT_EQ(item.outcome, RuleOf(o.result).planned) << o.path;
      const std::string& line = reported[static_cast<size_t>(rooted[i] - stream.outcomes.data()) + 2];
      const std::string plannedLine = actual.locale.ToUtf8(app::ObjectLine(app::KindName(item.kind), item.path, ""));
      EXPECT_EQ(line.compare(11, plannedLine.size(), plannedLine), 0) << line << "\n" << plannedLine;
      const size_t cut = line.find("  -- ", 11 + plannedLine.size());
      const std::string why = cut == std::string::npos ? "" : line.substr(cut + 5);
      // What both know alike, both say alike; elsewhere the dry run's reason
      // or the refusal's code follows the same first words.
      if (o.result == Result::Changed || o.result == Result::NotEmpty || o.result == Result::Removed) {
        // The report names what a folder holds only inside the
        // application's places; the plan, the integrator's own, everywhere.
        if (why == "not empty") {
          EXPECT_EQ(item.why.rfind("not empty", 0), 0u) << line;
        } else if (item.why != "with its subkeys") {
          EXPECT_EQ(why, actual.locale.ToUtf8(item.why)) << line;
        }
      } else if (item.why != "already gone with a key deleted before it") {
        EXPECT_EQ(Gist(why), Gist(actual.locale.ToUtf8(item.why))) << line;
      }
    }
  }
  // The worlds give every result, or the comparison proves little.
  // (Protected only where a walk reaches Software: rarer.)
  for (const Rule& rule : kRules) {
    EXPECT_GT(seen[rule.result], rule.result == Result::Protected ? 10 : 20) << static_cast<int>(rule.result);
  }
}

}  // namespace
