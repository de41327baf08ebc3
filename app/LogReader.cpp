// ReadLog: fills the run data from the uninstall log.
//
// The file is read whole while it is held with deny-write sharing, then
// parsed from memory. A log that ends before its last group, whose counts
// promise more entries than the rest of the file holds, or that names a
// folder or file outside the installation folder is unreadable: the run
// data is left as it was and the run shows its "cannot read" message, so
// nothing is removed and the log stays.
#include "app/LogReader.h"

#include <exception>

#include "app/LogFormat.h"
#include "env/Enviro.h"

namespace app {

bool ReadLog(platform::IFileSystem& fs, const env::PathRules& paths, const std::string& logPath, TRunData& data) {
  try {
    const std::optional<std::string> bytes = fs.ReadDenyWrite(logPath);
    return bytes && ReadLogBytes(*bytes, paths, data);
  } catch (const std::exception&) {
    return false;
  }
}

bool ReadLogBytes(const std::string& bytes, const env::PathRules& paths, TRunData& data, std::string* why) {
  try {
    ParsedLog parsed = ParseLog(bytes);
    if (!parsed.Readable()) {
      if (why != nullptr && !parsed.problems.empty()) {
        *why = "offset " + std::to_string(parsed.problems.front().offset) + ": " + parsed.problems.front().what;
      }
      return false;
    }
    LogContent& log = parsed.content;

    TUninsData& header = data.UninsData;
    header.LeadByte = log.leadByte;
    header.AppName = std::move(log.appName);
    header.HostLevels = log.hostLevels;
    header.ShortcutLevels = log.shortcutLevels;
    // Appended to, not emptied first.
    for (LogRegKey& k : log.regKeys) {
      data.RegKeyLevels.push_back(k.levels);
      data.RegKeyList.push_back(std::move(k.key));
    }
    header.TotalBytes = log.totalBytes;
    if (log.uninstallKey != kAbsentMark) header.UninstallKey = std::move(log.uninstallKey);
    if (log.shortcutDir != kAbsentMark) header.ShortcutDir = paths.JoinPath(log.shortcutDir, "");

    if (log.shortcutCount.value_or(0) > 0) {
      if (data.ShortcutList) data.ShortcutList->clear();
      else data.ShortcutList = std::make_unique<TTextList>();
      for (std::string& s : log.shortcuts) data.ShortcutList->push_back(std::move(s));
    }

    if (log.folderCount.value_or(0) > 0) {
      if (data.FolderList) data.ClearFolderList();
      else data.FolderList = std::make_unique<TFolderList>();
      for (LogFolder& f : log.folders) {
        auto dir = std::make_unique<TDirData>();
        dir->Flag = f.flag;
        data.FolderList->Add(std::move(f.name), std::move(dir));
      }
    }

    if (log.groupCount.value_or(0) > 0) {
      if (data.FileLists) data.ClearFileLists();
      else data.FileLists = std::make_unique<TFileLists>();
      data.FileLists->reserve(log.groups.size());
      for (LogGroup& g : log.groups) {
        // An empty group still takes its place, so group j stays folder j's.
        auto list = std::make_unique<TZDataList>();
        for (LogFile& f : g.files) {
          auto z = std::make_unique<TZData>();
          z->Name = std::move(f.name);
          z->Size = f.size;
          z->Date = f.date;
          z->Flag = f.flag;
          list->Add(std::move(z));
        }
        data.FileLists->push_back(std::move(list));
      }
    }
    return true;
  } catch (const std::exception&) {
    // Exhausted memory and the like: the log counts as unreadable.
    return false;
  }
}

}  // namespace app
