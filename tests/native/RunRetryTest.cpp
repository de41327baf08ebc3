// Runs that die and are run again: over random installed worlds, a /quiet
// uninstallation that stops dead after its k-th change to the disk or the
// registry, for every k, is run again from the same command line (and once
// more after a second death); the world it ends in must be the world of one
// uninterrupted run, the application counted down exactly once, and the
// exit code the one an uninterrupted run gives.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "app/RunSession.h"
#include "app/UnattendedHost.h"
#include "tests/native/DryRunWorld.h"

namespace {

constexpr uint32_t kWorlds = 200;
constexpr char kRegistration[] = "Software\\Kestrivon\\Dalvests\\1.0.0.3";

// What survives a process: the disk and the registry.
struct Machine {
  explicit Machine(uint32_t seed) {
    dryrun_world::Build(w, seed);
    w.fs.AddFile(module.path);
    w.reg.SetString(platform::kHkeyLocalMachine, kRegistration, "AppPath", module.path);
    w.reg.SetDword(platform::kHkeyLocalMachine, kRegistration, "AppsServed", static_cast<int32_t>(1 + seed % 2));
    w.reg.AddKey(platform::kHkeyLocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce");
    w.fs.CountChanges(&crash);
    w.reg.CountChanges(&crash);
  }
  // One start of the program, as a deployment tool makes it.
  uint32_t Run() {
    fakes::FakeMessageBox box;
    fakes::FakeNamedLock lock, claim;
    app::Services services{w.fs, w.reg, box, w.locale, module, lock, claim};
    app::UnattendedHost host(w.fs, w.locale);
    const app::CommandLine line = app::ParseCommandLine({"/quiet", std::string("/f:") + dryrun_world::kLogPath});
    app::TRunData data;
    return app::RunProgram(line, services, host, {}, data);
  }
  // Every path with its attributes, every key with its values.
  std::map<std::string, std::string> World() const {
    std::map<std::string, std::string> out;
    for (const std::string& p : w.fs.AllPaths()) out["file " + platform::PathKey(p)] = std::to_string(*w.fs.Attributes(p));
    for (const std::string& k : w.reg.AllKeys()) {
      const uint32_t root = static_cast<uint32_t>(std::stoul(k.substr(0, 8), nullptr, 16));
      const std::string path = k.size() > 9 ? k.substr(9) : "";
      std::string values;
      for (const std::string& name : w.reg.ValueNames(root, path)) {
        values += name + "=" + w.reg.RawBytes(root, path, name).value_or("") + ";";
      }
      out["key " + k] = values;
    }
    return out;
  }
  std::optional<int32_t> Count() const {
    return w.reg.GetDword(platform::kHkeyLocalMachine, kRegistration, "AppsServed");
  }

  dryrun_world::World w;
  fakes::FakeModule module;
  fakes::CrashPoint crash;
};

TEST(RunRetry, AKilledRunIsFinishedByTheNextOneAndCountedDownOnce) {
  int interrupted = 0;
  for (uint32_t seed = 1; seed <= kWorlds; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    Machine once(seed);
    if (getenv("DIFF") && (seed==3||seed==52)) { for (auto& k : once.w.log.regKeys) printf("entry %d %s\n", k.levels, k.key.c_str()); for (auto& k: once.w.reg.AllKeys()) printf("  key %s\n", k.c_str()); }
    const std::optional<int32_t> countBefore = once.Count();
    const uint32_t code = once.Run();
    const auto world = once.World();
    const int changes = once.crash.changes();
    // The count went down once, or the registration went with its last one.
    EXPECT_TRUE(once.Count() == (*countBefore > 1 ? std::optional<int32_t>(*countBefore - 1) : std::nullopt));

    std::mt19937 rng(seed);
    for (int k = 0; k < changes; ++k) {
      SCOPED_TRACE("killed after change " + std::to_string(k));
      Machine m(seed);
      m.crash.DieAfter(k);
      m.Run();
      ASSERT_TRUE(m.crash.died());
      // Now and then the retry dies too, somewhere along its own way.
      m.crash = fakes::CrashPoint();
      if (k % 3 == 0) m.crash.DieAfter(std::uniform_int_distribution<int>(0, changes)(rng));
      uint32_t last = m.Run();
      if (m.crash.died()) {
        m.crash = fakes::CrashPoint();
        last = m.Run();
      }
      EXPECT_EQ(last, code);
      EXPECT_EQ(m.Count(), once.Count());
      EXPECT_EQ(m.World(), world);
      if (getenv("DIFF") && m.World() != world) { auto a = m.World(); for (auto& [k,v]: a) if (!world.count(k) || world.at(k)!=v) printf("retry has %s=%s\n", k.c_str(), v.c_str()); for (auto& [k,v]: world) if (!a.count(k)|| a.at(k)!=v) printf("once has %s=%s\n", k.c_str(), v.c_str()); }
      ++interrupted;
    }
  }
  EXPECT_GT(interrupted, 4000);
  std::printf("%u worlds, %d runs killed and run again\n", kWorlds, interrupted);
}

}  // namespace
