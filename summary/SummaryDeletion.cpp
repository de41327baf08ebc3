#include "summary/SummaryDeletion.h"

#include <exception>

#include "env/Enviro.h"
#include "platform/WindowsRules.h"

namespace summary {

namespace {
constexpr int32_t kAskFolder = 42;  // "Apagar a pasta "..."?"
constexpr int32_t kAskFile = 43;    // "Apagar o arquivo "..."?"
}  // namespace

std::string TrimLine(const std::string& text) {
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
  size_t first = 0;
  size_t last = text.size();
  while (first < last && blank(text[first])) ++first;
  while (last > first && blank(text[last - 1])) --last;
  return text.substr(first, last - first);
}

bool SummaryDeletion::DeleteFileEntry(const std::string& path) {
  within_ = platform::PlaceOf(fs_, paths_.ParentPath(fs_.FullPath(path)));
  return DeleteFileIn(path);
}

bool SummaryDeletion::DeleteFolderTree(const std::string& path) {
  within_ = platform::PlaceOf(fs_, paths_.ParentPath(fs_.FullPath(paths_.StripTrailingBackslash(path))));
  return DeleteTreeIn(path);
}

bool SummaryDeletion::DeleteFileIn(const std::string& path) {
  const auto entry = fs_.FindEntry(path);
  if (!entry || entry->IsFolder()) return true;
  // A link goes itself, never its target; a read-only file with other names
  // keeps the bit they share.
  if ((entry->attributes & platform::kAttrReparsePoint) != 0) return static_cast<bool>(fs_.RemoveLink(path));
  if ((entry->attributes & platform::kAttrReadOnly) != 0 && fs_.HardLinks(path).value_or(1) > 1) return false;
  return static_cast<bool>(platform::RemoveFileAnyway(fs_, path, within_));
}

bool SummaryDeletion::DeleteTreeIn(const std::string& path) {
  const std::string folder = paths_.StripTrailingBackslash(path);
  // Found whatever its attributes: a hidden or system folder is removed like
  // any other, never taken for one that is already gone.
  const auto self = fs_.FindEntry(folder);
  if (!self) return true;
  // A link is one entry: it goes itself, and nothing behind it is asked about.
  if ((self->attributes & platform::kAttrReparsePoint) != 0) return static_cast<bool>(fs_.RemoveLink(folder));
  try {
    bool result = DeleteFolderContents(folder);
    if (!fs_.RemoveFolder(folder, within_)) result = false;
    return result;
  } catch (const std::exception&) {
    // Whatever stopped the walk kept something in the folder.
    return false;
  }
}

bool SummaryDeletion::DeleteFolderContents(const std::string& folder) {
  const std::string dir = paths_.JoinPath(folder, "");
  const auto entries = fs_.ListFolder(folder);
  if (!entries) return true;  // nothing listed; the removal decides
  bool result = true;
  for (const platform::FileEntry& entry : *entries) {
    if (entry.name == "." || entry.name == "..") continue;
    const std::string full = dir + entry.name;
    if ((entry.attributes & platform::kAttrReparsePoint) != 0) {
      // Asked about as one entry; a Yes removes the link, never its target.
      if (env::ShowCodedMessage(box_, entry.IsFolder() ? kAskFolder : kAskFile, full) == env::kIdYes &&
          !fs_.RemoveLink(full))
        result = false;
    } else if (entry.IsFolder()) {
      if (env::ShowCodedMessage(box_, kAskFolder, full) == env::kIdYes && !DeleteTreeIn(full)) result = false;
    } else {
      if (env::ShowCodedMessage(box_, kAskFile, full) == env::kIdYes && !DeleteFileIn(full)) result = false;
    }
  }
  return result;
}

std::vector<int32_t> SummaryDeletion::DeleteSelectedLines(app::TFailList& list,
                                                          const std::function<bool(int)>& isSelected) {
  std::vector<std::unique_ptr<THoldInt>> removed;
  const int count = list.Count();
  for (int i = 0; i < count; ++i) {
    if (!isSelected(i)) continue;
    const app::TFailData* record = list.Object(i);
    if (record == nullptr) continue;
    bool gone = false;
    if (record->Kind == app::kFailFile) {
      gone = DeleteFileEntry(TrimLine(list.Text(i)));
    } else if (record->Kind == app::kFailFolder) {
      gone = DeleteFolderTree(TrimLine(list.Text(i)));
    }
    if (gone) removed.push_back(std::make_unique<THoldInt>(THoldInt{i}));
  }

  // Blanked in place: the lines keep their numbers, and the list's line i
  // stays line i of the window's list.
  std::vector<int32_t> blanked;
  for (auto& holder : removed) {
    const int32_t k = holder->Value;
    list.FreeObject(k);
    list.SetText(k, std::string());
    blanked.push_back(k);
    holder.reset();
  }
  return blanked;
}

}  // namespace summary
