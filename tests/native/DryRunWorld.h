#pragma once
// Test helper for the dry-run tests: random installed worlds (a folder tree,
// shortcuts, registry keys and the uninstall log that names them), built
// the same way twice from one seed, the fake's subkeys as a lister, and
// an uninstaller run over such a world.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "app/tools/DryRun.h"
#include "app/tools/LogWriter.h"
#include "app/UninstallRun.h"
#include "platform/WindowsRules.h"
#include "tests/fakes/FakeMainView.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeServices.h"

namespace dryrun_world {

inline constexpr char kBase[] = "C:\\Apps\\Vendor\\Demo\\";
inline constexpr char kLogPath[] = "C:\\Apps\\Vendor\\Demo\\demo.und";
inline constexpr char kUninstallPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
inline constexpr int32_t kDate = 0x2AB153C0;  // 17 May 2001, 10:30:00


// "HKEY_...\PATH", folded, for a key of the fake's list.
inline std::string FoldedKeyText(const std::string& fakeKey) {
  const uint32_t root = static_cast<uint32_t>(std::stoul(fakeKey.substr(0, 8), nullptr, 16));
  return platform::PathKey(app::KeyText(root, fakeKey.size() > 9 ? fakeKey.substr(9) : ""));
}

class FakeSubkeys : public app::ISubkeyLister {
 public:
  explicit FakeSubkeys(const fakes::FakeRegistry& reg) : reg_(reg) {}
  int calls = 0;
  std::optional<std::vector<std::string>> Subkeys(uint32_t root, const std::string& path) override {
    ++calls;
    if (!reg_.Exists(root, path)) return std::nullopt;
    const std::string prefix = platform::KeyNode(root, path) + "\\";
    std::vector<std::string> out;
    for (const std::string& k : reg_.AllKeys()) {
      if (k.compare(0, prefix.size(), prefix) == 0 && k.find('\\', prefix.size()) == std::string::npos) {
        out.push_back(k.substr(prefix.size()));
      }
    }
    return out;
  }

 private:
  const fakes::FakeRegistry& reg_;
};

struct World {
  fakes::FakeFileSystem fs;
  fakes::FakeRegistry reg;
  fakes::FakeLocale locale;
  app::LogContent log;
};

// Everything that exists, folded, for before/after comparisons.
inline std::set<std::string> Paths(const fakes::FakeFileSystem& fs) {
  std::set<std::string> out;
  for (const std::string& p : fs.AllPaths()) out.insert(platform::PathKey(p));
  return out;
}
inline std::set<std::string> Keys(const fakes::FakeRegistry& reg) {
  std::set<std::string> out;
  for (const std::string& k : reg.AllKeys()) out.insert(FoldedKeyText(k));
  return out;
}
inline std::set<std::string> Minus(const std::set<std::string>& a, const std::set<std::string>& b) {
  std::set<std::string> out;
  for (const std::string& x : a) {
    if (b.count(x) == 0) out.insert(x);
  }
  return out;
}

// A random world from `seed`. Only what a dry run can know without trying
// is varied: changed, missing, read-only and hidden entries, folders kept
// full by files the log does not name, keys with subkeys, read-only keys,
// keys that cannot be opened, subkey counts that cannot be read, lookups
// that find nothing. Locked files are left out: no dry run can see them.
inline void Build(World& w, uint32_t seed) {
  std::mt19937 rng(seed);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto chance = [&](int percent) { return pick(0, 99) < percent; };
  using platform::kHkeyCurrentUser;
  using platform::kHkeyLocalMachine;

  app::LogContent& log = w.log;
  log.appName = "Demo";
  // The uninstaller's home, as on every machine it runs on.
  w.reg.AddKey(kHkeyLocalMachine, "Software\\Kestrivon\\Dalvests");
  log.hostLevels = static_cast<uint8_t>(pick(0, 4));
  w.fs.AddFolder("C:\\Apps\\Vendor\\Demo");
  if (chance(30)) w.fs.AddFile("C:\\Apps\\Vendor\\Other.txt", kDate);
  if (chance(20)) w.fs.AddFolder("C:\\Apps\\Zeta");

  // Folder entries: the installation folder, then sub-folders after their
  // parents.
  std::vector<std::string> names{""};
  const int folders = pick(0, 4);
  for (int i = 1; i <= folders; ++i) {
    std::string name = "Sub" + std::to_string(i) + "\\";
    if (names.size() > 1 && chance(40)) name = names[static_cast<size_t>(pick(1, static_cast<int>(names.size()) - 1))] +
                                                "In" + std::to_string(i) + "\\";
    names.push_back(name);
  }
  for (size_t f = 0; f < names.size(); ++f) {
    const std::string folder = kBase + names[f];
    if (f > 0 && chance(85)) {
      uint32_t attributes = platform::kAttrDirectory;
      if (chance(8)) attributes |= platform::kAttrHidden;
      if (chance(5)) attributes |= platform::kAttrReadOnly;
      w.fs.AddFolder(folder, attributes);
    }
    log.folders.push_back({names[f], 1});
    app::LogGroup group;
    const int files = pick(0, 3);
    for (int i = 0; i < files; ++i) {
      std::string name = "file" + std::to_string(f) + "_" + std::to_string(i) + (chance(20) ? ".ini" : ".dat");
      if (chance(10)) name = "caf\351" + std::to_string(i) + ".txt";  // "café"
      const int32_t date = kDate + 2 * i;
      const uint32_t size = static_cast<uint32_t>(pick(0, 5000));
      group.files.push_back({name, size, date, 1});
      log.totalBytes += size;
      // On disk, in another letter case now and then.
      std::string onDisk = folder + (chance(20) ? platform::PathKey(name) : name);
      const int roll = pick(0, 99);
      if (roll < 15) continue;  // gone already
      if (roll < 19) {
        w.fs.AddFolder(onDisk);  // a folder where the file was
        continue;
      }
      uint32_t attributes = platform::kAttrArchive;
      if (chance(20)) attributes |= platform::kAttrReadOnly;
      if (chance(5)) attributes |= platform::kAttrHidden;
      w.fs.AddFile(onDisk, chance(75) ? date : date + 2, static_cast<uint64_t>(size), attributes);
      if (chance(3)) w.fs.Fail(fakes::FsOp::Find, onDisk);
    }
    if (chance(15)) w.fs.AddFile(folder + "user-notes.txt", kDate);
    log.groups.push_back(std::move(group));
  }
  if (chance(10)) log.groups.pop_back();  // fewer groups than folders

  // Shortcuts.
  const bool haveDir = chance(75);
  const std::string dir = "C:\\Menu\\Demo\\";
  if (haveDir) {
    log.shortcutDir = chance(50) ? "C:\\Menu\\Demo" : dir;
    log.shortcutLevels = static_cast<uint8_t>(pick(0, 2));
    if (chance(85)) w.fs.AddFolder("C:\\Menu\\Demo");
    if (chance(15)) w.fs.AddFile("C:\\Menu\\Demo\\readme.txt");
    if (chance(30)) w.fs.AddFile("C:\\Menu\\Other.lnk");
  }
  const int shortcuts = pick(0, 3);
  for (int j = 0; j < shortcuts; ++j) {
    std::string path;
    const int where = pick(0, 99);
    if (where < 55) path = dir + "App" + std::to_string(j) + ".lnk";
    else if (where < 85) path = dir + "Sub" + std::to_string(j % 2) + "\\x" + std::to_string(j) + ".lnk";
    else path = "C:\\Desk\\d" + std::to_string(j) + ".lnk";
    if (path.compare(0, dir.size(), dir) == 0 && chance(15)) path = "c:\\menu\\demo\\" + path.substr(dir.size());
    log.shortcuts.push_back(path);
    if (chance(80)) {
      w.fs.AddFile(path, kDate, 0, chance(20) ? platform::kAttrReadOnly : platform::kAttrArchive);
    }
  }

  // The uninstall entry, with subkeys of its own.
  if (chance(70)) {
    log.uninstallKey = "Demo";
    const std::string key = std::string(kUninstallPath) + "Demo";
    if (chance(80)) {
      w.reg.SetString(kHkeyLocalMachine, key, "DisplayName", "Demo");
      const int subs = pick(0, 3);
      for (int s = 0; s < subs; ++s) {
        const std::string sub = key + "\\Part" + std::to_string(s);
        w.reg.AddKey(kHkeyLocalMachine, chance(40) ? sub + "\\Deeper" : sub);
        if (chance(10)) w.reg.MakeReadOnly(kHkeyLocalMachine, sub);
      }
    }
    w.reg.AddKey(kHkeyLocalMachine, std::string(kUninstallPath) + "SomethingElse");
  }

  // Logged keys, walked upwards.
  const int regKeys = pick(0, 4);
  for (int e = 0; e < regKeys; ++e) {
    const uint32_t root = chance(50) ? kHkeyCurrentUser : kHkeyLocalMachine;
    const char digit = chance(5) ? '7' : static_cast<char>('0' + (root - 0x80000000u));
    const std::string path = chance(70) ? "Software\\Vendor\\Demo\\K" + std::to_string(e) : "Software\\Vendor\\Demo";
    log.regKeys.push_back({static_cast<uint8_t>(pick(0, 3)), std::string("\\") + digit + "\\" + path});
    if (chance(70)) {
      w.reg.SetDword(root, path, "Value", e);
      if (chance(20)) w.reg.AddKey(root, path + "\\Child");
      if (chance(10)) w.reg.MakeReadOnly(root, path);
      if (chance(5)) w.reg.Fail(fakes::RegOp::Open, root, path);
      if (chance(5)) w.reg.Fail(fakes::RegOp::QueryInfo, root, path);
    }
    if (chance(30)) w.reg.AddKey(root, "Software\\Vendor\\Other");
  }

  w.fs.AddFile(kLogPath, kDate, 0, chance(20) ? platform::kAttrReadOnly : platform::kAttrArchive,
               app::WriteLog(log));
}

// One uninstaller run over a world (or the dry-run layer over it), with
// every other service faked.
struct EngineRun {
  explicit EngineRun(World& w, platform::IFileSystem& fs, platform::IRegistry& reg)
      : services{fs, reg, box, w.locale, module, lock, claim}, run(services, person, view, data) {}
  fakes::FakeMessageBox box;
  fakes::FakeModule module;
  fakes::FakeNamedLock lock;
  fakes::FakeNamedLock claim;
  fakes::FakeMainView view;
  app::PersonHost person = fakes::PersonAt(box, view);
  app::Services services;
  app::TRunData data;
  app::UninstallRun run;

  void Go() {
    ASSERT_TRUE(run.Start(kLogPath));
    ASSERT_TRUE(run.ReadLog());
    // The log goes first, as in a run.
    platform::RemoveFileAnyway(services.fs, run.LogPath);
    run.RemoveInstallation();
  }
  std::vector<std::pair<std::string, int>> Failures() const {
    std::vector<std::pair<std::string, int>> out;
    for (int i = 0; i < data.FailList->Count(); ++i) {
      out.emplace_back(data.FailList->Text(i), data.FailList->Object(i) ? data.FailList->Object(i)->Kind : -1);
    }
    return out;
  }
};

}  // namespace dryrun_world
