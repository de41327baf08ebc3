#include "app/FailList.h"

namespace app {

namespace {

constexpr char kFileIndent[] = "    ";
constexpr char kKeyIndent[] = " ";

constexpr const char* kHeaders[] = {kFailHeaderFiles, kFailHeaderFolders, kFailHeaderShortcuts,
                                    kFailHeaderShortcutFolders, kFailHeaderRegistry};

// The group a phase opens; 0 for the shortcut host folders, which join the
// group that is open.
int GroupOf(Phase phase) {
  switch (phase) {
    case Phase::Files: return 1;
    case Phase::Folders:
    case Phase::HostFolders: return 2;
    case Phase::Shortcuts: return 3;
    case Phase::ShortcutFolders: return 4;
    case Phase::ShortcutHostFolders: return 0;
    case Phase::Registry: return 5;
  }
  return 0;
}

}  // namespace

bool IsFailure(const Outcome& outcome) {
  switch (outcome.result) {
    case Result::Changed:
    case Result::Failed: return true;
    case Result::NotEmpty: return outcome.kind == ObjectKind::Folder;
    // A link, or a file with other names, stays like a folder that holds
    // something; what lies below a link was never looked at.
    case Result::Link: return outcome.attributes != 0;
    case Result::Protected:
    case Result::NotTheApplications:
    case Result::Removed:
    case Result::Absent:
    case Result::Scheduled: return false;
  }
  return false;
}

void FailListBuilder::OnPhase(Phase phase) {
  if (const int group = GroupOf(phase)) openGroup_ = group;
}

void FailListBuilder::OnOutcome(const Outcome& outcome) {
  if (!IsFailure(outcome)) return;
  int group = GroupOf(outcome.phase);
  if (group == 0) group = openGroup_ != 0 ? openGroup_ : GroupOf(Phase::Shortcuts);
  if (headerShown_ != group) {
    list_.Add(kHeaders[group - 1]);
    headerShown_ = group;
  }
  std::unique_ptr<TFailData> record;
  if (outcome.kind == ObjectKind::File || outcome.kind == ObjectKind::Folder) {
    record = std::make_unique<TFailData>();
    record->Kind = outcome.kind == ObjectKind::File ? kFailFile : kFailFolder;
  }
  list_.Add((outcome.kind == ObjectKind::Key ? kKeyIndent : kFileIndent) + outcome.path, std::move(record));
}

}  // namespace app
