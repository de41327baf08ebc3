// The engine's outcome stream as the one account of a removal: on random
// worlds, what a run's outcomes say matches what the run left behind, its
// failure list, and the plan of the same world.
#include <gtest/gtest.h>

#include "app/DryRun.h"
#include "app/UninstallRun.h"
#include "tests/fakes/FakeMainView.h"
#include "tests/fakes/FakeServices.h"
#include "tests/native/DryRunWorld.h"
#include "tools/undtool/Plan.h"

namespace {

using app::ObjectKind;
using app::Result;
using Planned = undtool::PlanItem::Outcome;

// Every outcome, and whether the system, asked right then as the engine
// asks, still sees the object: a file that is no folder, a folder that is
// neither hidden nor system, a key that opens.
struct Recorder : app::IRemovalListener {
  explicit Recorder(dryrun_world::World& w) : world(w) {}
  void OnOutcome(const app::Outcome& o) override {
    outcomes.push_back(o);
    if (o.kind == ObjectKind::Key) {
      seen.push_back(o.root != 0 && world.reg.KeyExists(o.root, o.keyPath));
      return;
    }
    const auto entry = world.fs.FindEntry(o.path);
    const uint32_t hiddenOrSystem = platform::kAttrHidden | platform::kAttrSystem;
    seen.push_back(entry && (o.kind == ObjectKind::Folder ? (entry->attributes & hiddenOrSystem) == 0
                                                           : !entry->IsFolder()));
  }
  dryrun_world::World& world;
  std::vector<app::Outcome> outcomes;
  std::vector<bool> seen;
};

// What each result says of its object: a line in the failure list (for a
// file or folder, and for a key), whether it is still there, and how the
// plan puts it.
struct Rule {
  Result result;
  bool listedFileOrFolder;
  bool listedKey;
  bool stillThere;
  Planned planned;
};
constexpr Rule kRules[] = {
    {Result::Removed, false, false, false, Planned::Removed},
    {Result::Changed, true, true, true, Planned::Kept},
    {Result::NotEmpty, true, false, true, Planned::Kept},
    {Result::Absent, false, false, false, Planned::Absent},
    {Result::Failed, true, true, true, Planned::Kept},
};

TEST(OutcomeStream, OutcomesMatchTheWorldTheFailureListAndThePlan) {
  std::map<Result, int> seen;
  for (uint32_t seed = 1; seed <= 300; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    dryrun_world::World planned, actual;
    dryrun_world::Build(planned, seed);
    dryrun_world::Build(actual, seed);

    fakes::FakeMessageBox box;
    box.Answer(6);
    fakes::FakeModule module;
    fakes::FakeNamedLock lock;
    fakes::FakeMainView view;
    app::Services services{actual.fs, actual.reg, box, actual.locale, module, lock};
    app::TRunData data;
    app::UninstallRun run(services, view, data);
    Recorder stream(actual);
    run.Listen(stream);
    ASSERT_TRUE(run.Start("/f:" + std::string(dryrun_world::kLogPath)));
    run.Activate();

    dryrun_world::FakeSubkeys lister(planned.reg);
    undtool::PlanServices planServices{&planned.fs, &planned.reg, &planned.locale, &lister};
    std::string problem;
    const auto plan = undtool::MakePlan(dryrun_world::kLogPath, planServices, problem);
    ASSERT_TRUE(plan) << problem;

    std::vector<std::pair<std::string, int>> expectedLines, listedLines;
    std::vector<const app::Outcome*> rooted;
    for (size_t n = 0; n < stream.outcomes.size(); ++n) {
      const app::Outcome& o = stream.outcomes[n];
      const Rule& rule = kRules[static_cast<int>(o.result)];
      ASSERT_EQ(rule.result, o.result);
      ++seen[o.result];
      const bool key = o.kind == ObjectKind::Key;
      if (key ? rule.listedKey : rule.listedFileOrFolder) {
        const int kind = o.kind == ObjectKind::File ? app::kFailFile : o.kind == ObjectKind::Folder ? app::kFailFolder : -1;
        expectedLines.emplace_back((key ? " " : "    ") + o.path, kind);
      }
      EXPECT_EQ(stream.seen[n], rule.stillThere) << o.path;
      if (key && o.root == 0) continue;  // names no root key: listed last by the plan
      rooted.push_back(&o);
      // The codes: none for what went or changed, ERROR_DIR_NOT_EMPTY for a
      // full folder, the key test's for a key not there, a refused step.
      if (o.result == Result::Failed) EXPECT_NE(o.step, app::Step::None) << o.path;
      else if (o.result == Result::NotEmpty && !key) EXPECT_EQ(o.error, platform::kErrorDirNotEmpty) << o.path;
      else EXPECT_EQ(o.error != 0, key && o.result == Result::Absent) << o.path;
    }
    for (int i = 0; i < data.FailList->Count(); ++i) {
      const std::string& text = data.FailList->Text(i);
      if (text[0] != ' ') continue;  // a header
      listedLines.emplace_back(text, data.FailList->Object(i) ? data.FailList->Object(i)->Kind : -1);
    }
    EXPECT_EQ(listedLines, expectedLines);

    // The plan: the same objects in the same order (entries that name no
    // root key last), put the same way.
    ASSERT_GE(plan->items.size(), rooted.size());
    for (size_t i = 0; i < rooted.size(); ++i) {
      const app::Outcome& o = *rooted[i];
      const undtool::PlanItem& item = plan->items[i];
      EXPECT_EQ(item.kind, o.kind) << o.path;
      EXPECT_EQ(item.path, o.kind == ObjectKind::Key ? app::KeyText(o.root, o.keyPath) : o.path);
      EXPECT_EQ(item.outcome, kRules[static_cast<int>(o.result)].planned) << o.path;
    }
    EXPECT_EQ(plan->items.size(), stream.outcomes.size());
  }
  // The worlds give every result, or the comparison proves little.
  for (const Rule& rule : kRules) EXPECT_GT(seen[rule.result], 20) << static_cast<int>(rule.result);
}

}  // namespace
