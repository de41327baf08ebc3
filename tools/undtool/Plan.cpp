#include "tools/undtool/Plan.h"

#include <ostream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "app/LogFormat.h"
#include "app/RemovalEngine.h"
#include "app/UninstallRun.h"
#include "env/Enviro.h"
#include "tools/undtool/UndTool.h"

namespace undtool {

namespace {

using Json = nlohmann::ordered_json;
using Op = app::DryRunEvent::Op;
using Kind = PlanItem::Kind;
using Outcome = PlanItem::Outcome;

constexpr char kMarkLog[] = "(the log)";

// Only the log reader of the run is used, which needs none of these.
class NoBox : public platform::IMessageBox {
 public:
  int ShowMessage(const std::string&, const std::string&, uint32_t) override { return 0; }
};
class NoModule : public platform::IModule {
 public:
  std::string ProgramPath() override { return {}; }
  std::optional<platform::FileVersion> ReadFileVersion(const std::string&) override { return std::nullopt; }
  bool RunsOnNtFamily() override { return true; }
};
class NoLock : public platform::INamedLock {
 public:
  bool Acquire(const std::string&, uint32_t) override { return false; }
  void Release() override {}
};
class NoView : public app::IMainView {
 public:
  void SetPhase(const std::string&) override {}
  void SetAppLine(const std::string&) override {}
  void ShowProgress(const std::string&, const std::string&, std::optional<int>) override {}
  void SetBusyCursor(bool) override {}
  void ShowFailureSummary() override {}
  void Terminate() override {}
};

// The engine's phases go into the journal, so that its calls can be told
// apart afterwards.
class MarkingSink : public app::IRemovalSink {
 public:
  explicit MarkingSink(app::DryRunJournal& journal) : journal_(journal) {}
  void SetPhase(const std::string& caption) override { journal_.Mark(caption); }
  void ShowProgress(int64_t, const std::string&) override {}
  void SetBusyCursor(bool) override {}

 private:
  app::DryRunJournal& journal_;
};

std::string TimeText(int32_t dosTime) {
  if (auto t = DosTimeText(dosTime)) return *t;
  std::ostringstream s;
  s << "0x" << std::hex << std::uppercase << static_cast<uint32_t>(dosTime);
  return s.str();
}

// Turns the journal of one dry run into the plan's items. The engine makes
// exactly one lookup per file record and per shortcut, in order, and one per
// folder it tries, so each lookup opens an item and the calls after it on
// the same path settle it.
class ItemBuilder {
 public:
  ItemBuilder(const app::TRunData& data, PlanResult& result) : data_(data), result_(result) {
    if (data.FolderList && data.FileLists) {
      const std::string base = env::JoinPath(data.UninsData.BaseDir, "");
      const int lists = static_cast<int>(data.FileLists->size());
      for (int f = 0; f < data.FolderList->Count() && f < lists; ++f) {
        const app::TZDataList* files = (*data.FileLists)[static_cast<size_t>(f)].get();
        for (int i = 0; files != nullptr && i < files->Count(); ++i) {
          if (const app::TZData* z = files->At(i)) dates_.push_back(z->Date);
        }
      }
    }
  }

  void Take(const app::DryRunEvent& e) {
    switch (e.op) {
      case Op::Mark:
        phase_ = e.path;
        shortcutLookups_ = (phase_ == app::kPhaseShortcuts && data_.ShortcutList) ? data_.ShortcutList->size() : 0;
        current_ = nullptr;
        break;
      case Op::Find: Lookup(e); break;
      case Op::SetAttributes:
        if (phase_ == kMarkLog) break;
        if (Settles(e) && !e.ok) Settle(Outcome::Kept, "the read-only bit cannot be dropped (" + e.why + ")");
        break;
      case Op::RemoveFile:
        if (phase_ == kMarkLog) {
          result_.logDeleted = e.ok;
          break;
        }
        if (!Settles(e)) break;
        if (e.ok) Settle(Outcome::Removed, dropped_ ? "its read-only bit is dropped first" : "");
        else Settle(Outcome::Kept, "deletion refused: " + e.why);
        break;
      case Op::RemoveFolder:
        if (!Settles(e)) break;
        if (e.ok) Settle(Outcome::Removed, "");
        else Settle(Outcome::Kept, e.why);
        break;
      case Op::OpenKey: OpenKey(e); break;
      case Op::HasSubkeys:
        if (current_ != nullptr && current_->kind == Kind::Key && e.ok) {
          Settle(Outcome::Kept, "it has subkeys; the walk ends here");
        }
        break;
      case Op::DeleteKey:
        if (current_ == nullptr || current_->kind != Kind::Key) break;
        if (e.ok) Settle(Outcome::Removed, "");
        else Settle(Outcome::Kept, "deletion refused: " + e.why);
        break;
      case Op::DeleteKeyTree:
        if (current_ == nullptr || current_->kind != Kind::Key) break;
        current_->subkeys.assign(e.keys.begin(), e.keys.end());
        if (e.ok) {
          current_->subkeys.pop_back();  // the key itself, taken last
          Settle(Outcome::Removed, current_->subkeys.empty() ? "" : "with its subkeys");
        } else {
          Settle(Outcome::Kept, "deletion refused: " + e.why +
                                    (current_->subkeys.empty() ? "" : "; the subkeys listed still go"));
        }
        break;
      case Op::WriteValue:
      case Op::Flush: break;
    }
  }

 private:
  PlanItem& Open(Kind kind, const std::string& path) {
    result_.items.push_back(PlanItem{});
    current_ = &result_.items.back();
    current_->kind = kind;
    current_->path = path;
    dropped_ = false;
    keyOpened_ = false;
    return *current_;
  }

  void Lookup(const app::DryRunEvent& e) {
    if (phase_.empty() || phase_ == kMarkLog) return;
    Kind kind = Kind::Folder;
    if (phase_ == app::kPhaseFiles) {
      kind = Kind::File;
    } else if (phase_ == app::kPhaseShortcuts && shortcutLookups_ > 0) {
      kind = Kind::Shortcut;
      --shortcutLookups_;
    }
    PlanItem& item = Open(kind, e.path);
    if (kind == Kind::File) {
      if (fileIndex_ < dates_.size()) item.loggedTime = dates_[fileIndex_];
      ++fileIndex_;
    }
    constexpr uint32_t kNotAFolderToTouch = platform::kAttrHidden | platform::kAttrSystem | platform::kAttrVolume;
    if (!e.entry) {
      item.outcome = Outcome::Absent;
      item.why = "not present";
    } else if (kind != Kind::Folder && e.entry->IsFolder()) {
      item.outcome = Outcome::Absent;
      item.why = "the path names a folder";
    } else if (kind == Kind::Folder && (e.entry->attributes & kNotAFolderToTouch) != 0) {
      item.outcome = Outcome::Absent;
      item.why = "hidden or system folder: counts as not there";
    } else {
      // Settled by the calls that follow; a file nothing more is done to
      // has changed since installation.
      item.outcome = Outcome::Kept;
      dropped_ = (e.entry->attributes & platform::kAttrReadOnly) != 0;
      if (kind == Kind::File && item.loggedTime && *item.loggedTime != e.entry->dosTime) {
        item.diskTime = e.entry->dosTime;
        item.why = "changed since installation (logged " + TimeText(*item.loggedTime) + ", on disk " +
                   TimeText(e.entry->dosTime) + ")";
      } else {
        item.why = kind == Kind::Folder ? "not removed" : "its attributes cannot be read";
        item.loggedTime.reset();
      }
      return;
    }
    item.loggedTime.reset();
    current_ = nullptr;
  }

  void OpenKey(const app::DryRunEvent& e) {
    const std::string text = app::KeyText(e.root, e.path);
    if (keyOpened_ && current_ != nullptr && app::FoldPath(current_->path) == app::FoldPath(text)) {
      // The engine's second opening of the same key.
      keyOpened_ = false;
      if (!e.ok) Settle(Outcome::Kept, "it cannot be opened");
      return;
    }
    PlanItem& item = Open(Kind::Key, text);
    keyOpened_ = e.ok;
    if (e.ok) {
      item.outcome = Outcome::Kept;
      item.why = "not deleted";
    } else {
      item.outcome = Outcome::Absent;
      item.why = e.why == "deleted earlier in the plan" ? "already gone with a key deleted before it" : "not present";
    }
  }

  bool Settles(const app::DryRunEvent& e) const {
    return current_ != nullptr && current_->outcome == Outcome::Kept &&
           app::FoldPath(current_->path) == app::FoldPath(e.path);
  }

  void Settle(Outcome outcome, const std::string& why) {
    current_->outcome = outcome;
    current_->why = why;
    current_->loggedTime.reset();
    current_->diskTime.reset();
  }

  const app::TRunData& data_;
  PlanResult& result_;
  std::vector<int32_t> dates_;
  size_t fileIndex_ = 0;
  std::string phase_;
  size_t shortcutLookups_ = 0;
  PlanItem* current_ = nullptr;  // the last item, while calls may still settle it
  bool dropped_ = false;
  bool keyOpened_ = false;  // the last key item was found and waits for the engine's next call
};

const char* KindName(Kind kind) {
  switch (kind) {
    case Kind::File: return "file";
    case Kind::Folder: return "folder";
    case Kind::Shortcut: return "shortcut";
    case Kind::Key: return "key";
  }
  return "?";
}

constexpr char kLimits[] =
    "Not known without trying: a file held open by another program, a folder in use, and registry rights "
    "checked only when a deletion is asked for. The plan counts such entries as removable; a real run "
    "would list them among the failures.";

}  // namespace

std::optional<PlanResult> MakePlan(const std::string& logPath, PlanServices& services, std::string& problem) {
  app::DryRunJournal journal;
  app::DryRunFileSystem fs(*services.fs, journal);
  app::DryRunRegistry registry(*services.registry, journal, services.subkeys);

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

  NoBox box;
  NoModule module;
  NoLock lock;
  NoView view;
  app::Services runServices{fs, registry, box, *services.locale, module, lock};
  app::TRunData data;
  app::UninstallRun run(runServices, view, data);
  run.LogPath = logPath;
  data.UninsData.BaseDir = env::FolderOfFile(logPath);
  if (!run.ReadLog()) {
    problem = logPath + ": the uninstaller could not read this log (message 6)";
    return std::nullopt;
  }

  PlanResult result;
  result.logPath = logPath;
  result.appName = data.UninsData.AppName;
  result.baseDir = data.UninsData.BaseDir;

  // The run deletes its log before anything else, as FormActivate does.
  journal.Mark(kMarkLog);
  if (const auto attributes = fs.GetAttributes(logPath)) {
    if (fs.SetAttributes(logPath, *attributes & ~platform::kAttrReadOnly)) fs.RemoveFile(logPath);
  }

  MarkingSink sink(journal);
  app::RemovalEngine engine(fs, registry, *services.locale, sink);
  int64_t processed = 0;
  engine.Run(data, run.RegKeyList, run.RegKeyLevels, processed);

  ItemBuilder builder(data, result);
  for (const app::DryRunEvent& e : journal.events()) builder.Take(e);
  // Entries whose root digit names no root key never reach the registry.
  for (size_t i = 0; i < run.RegKeyList.size(); ++i) {
    const app::RegKeyEntry entry = app::ParseRegKeyEntry(run.RegKeyList[i]);
    if (entry.root != 0 || i >= run.RegKeyLevels.size() || run.RegKeyLevels[i] == 0) continue;
    PlanItem item;
    item.kind = Kind::Key;
    item.path = run.RegKeyList[i];
    item.why = "the entry names no root key";
    result.items.push_back(std::move(item));
  }

  for (int i = 0; i < data.FailList->Count(); ++i) {
    const app::TFailData* fail = data.FailList->Object(i);
    result.failList.push_back({data.FailList->Text(i), fail ? fail->Kind : -1});
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
      i["kind"] = KindName(item.kind);
      i["path"] = Cp1252ToUtf8(item.path);
      if (!item.why.empty()) i["why"] = Cp1252ToUtf8(item.why);
      if (item.loggedTime) i["logged"] = TimeText(*item.loggedTime);
      if (item.diskTime) i["onDisk"] = TimeText(*item.diskTime);
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
      std::string kind = KindName(item.kind);
      kind.resize(9, ' ');
      out << "  " << kind << shown(item.path);
      if (!item.why.empty()) out << "  -- " << shown(item.why);
      out << "\n";
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
