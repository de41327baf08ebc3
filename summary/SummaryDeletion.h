#pragma once
// What the failure summary deletes when the user asks for it: the files and
// folders named by the selected lines of the failure list. TfmSumary's
// miApagarClick calls DeleteSelectedLines and then refills its list.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/RunData.h"
#include "env/Enviro.h"
#include "platform/Services.h"

namespace summary {

// Holds the index of one line whose file or folder was removed, until the
// line is blanked.
struct THoldInt {
  int32_t Value = 0;
};

// The path of an actionable line: its text without the characters of code
// 32 or less at either end.
std::string TrimLine(const std::string& text);

class SummaryDeletion {
 public:
  SummaryDeletion(platform::IFileSystem& fs, platform::IMessageBox& box, platform::ILocale& locale)
      : fs_(fs), box_(box), paths_(locale) {}

  // Deletes one file, clearing its read-only bit first. True when no file is
  // left at `path` (also when there was none to begin with); false when the
  // attributes cannot be written or the deletion is refused. A link goes
  // itself, never its target; a read-only file with other names (hard
  // links) is kept, its bit theirs too.
  bool DeleteFileEntry(const std::string& path);

  // Deletes the folder at `path` after asking about every entry in it, depth
  // first: code 42 for a sub-folder, code 43 for a file, each with the
  // entry's full path; only Yes consents. A link (the folder itself, or an
  // entry in it) is one entry: it goes itself, and what lies behind it is
  // never asked about nor deleted. True when the folder is gone (also
  // when it was not there); false when anything in it was kept or could not
  // be deleted, or the folder itself could not be removed. Never throws.
  bool DeleteFolderTree(const std::string& path);

  // For every selected line with a record, in ascending order: deletes the
  // file (Kind 0) or folder (Kind 1) that the line names. Each line whose
  // object is gone then becomes an empty line without a record, in place,
  // so that line numbers never move. Gives the indexes of the blanked lines.
  std::vector<int32_t> DeleteSelectedLines(app::TFailList& list, const std::function<bool(int)>& isSelected);

 private:
  bool DeleteFolderContents(const std::string& folder);
  bool DeleteFileIn(const std::string& path);
  bool DeleteTreeIn(const std::string& path);

  // Where the deletion of the line being worked on stays: the folder that
  // holds the line's file or folder, as the system named it before the
  // first question (platform::Place). A link swapped in below it while a
  // question waits is never gone through.
  platform::Place within_;

  platform::IFileSystem& fs_;
  platform::IMessageBox& box_;
  env::PathRules paths_;
};

}  // namespace summary
