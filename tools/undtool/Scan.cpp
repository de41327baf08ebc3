// undtool scan: the log of an installed folder tree.
#include "tools/undtool/UndTool.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <ostream>
#include <sstream>

namespace undtool {

namespace {

std::string UpperAscii(std::string s) {
  for (char& ch : s) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  return s;
}

struct Walker {
  const ScanOptions& o;
  const ListFolderFn& list;
  app::LogContent& log;
  std::vector<std::string> exclude;  // upper case, backslashes, no trailing one
  uint64_t total = 0;

  bool Excluded(const std::string& rel) const {
    return std::find(exclude.begin(), exclude.end(), UpperAscii(rel)) != exclude.end();
  }

  std::string LogName(const std::string& hostName, const std::string& hostPath) const {
    if (!o.utf8Names) return hostName;
    try {
      return Utf8ToCp1252(hostName);
    } catch (const ToolError& e) {
      throw ToolError(hostPath + ": " + e.what());
    }
  }

  void Walk(const std::string& hostFolder, const std::string& relFolder) {
    auto entries = list(hostFolder);
    if (!entries) throw ToolError(hostFolder + ": cannot list this folder");
    std::sort(entries->begin(), entries->end(), [](const platform::FileEntry& a, const platform::FileEntry& b) {
      return UpperAscii(a.name) < UpperAscii(b.name);
    });
    log.folders.push_back({relFolder, o.flag});
    log.groups.emplace_back();
    const size_t group = log.groups.size() - 1;
    std::vector<std::pair<std::string, std::string>> subfolders;  // host name, log name
    for (const platform::FileEntry& e : *entries) {
      if (e.name == "." || e.name == "..") continue;
      const std::string hostPath = hostFolder + o.separator + e.name;
      const std::string name = LogName(e.name, hostPath);
      if (Excluded(relFolder + name)) continue;
      if (e.IsFolder()) {
        subfolders.emplace_back(e.name, name);
        continue;
      }
      if (name.size() > 255) throw ToolError(hostPath + ": the name is longer than the 255 bytes a log holds");
      if (e.size > UINT32_MAX) {
        throw ToolError(hostPath + ": " + std::to_string(e.size) + " bytes, past the 4 GiB a log can give a file");
      }
      total += e.size;
      log.groups[group].files.push_back({name, static_cast<uint32_t>(e.size), e.dosTime, o.flag});
    }
    for (const auto& [hostName, name] : subfolders) {
      const std::string rel = relFolder + name + "\\";
      if (rel.size() > 255) throw ToolError(hostFolder + o.separator + hostName + ": the folder path is longer than 255 bytes");
      Walk(hostFolder + o.separator + hostName, rel);
    }
  }
};

}  // namespace

app::LogContent ScanTree(const ScanOptions& o, const ListFolderFn& list) {
  app::LogContent log;
  log.leadByte = o.leadByte;
  log.appName = o.appName;
  log.hostLevels = o.hostLevels;
  log.shortcutLevels = o.shortcutLevels;
  log.regKeys = o.regKeys;
  log.uninstallKey = o.uninstallKey.empty() ? std::string(app::kAbsentMark) : o.uninstallKey;
  log.shortcutDir = o.shortcutDir.empty() ? std::string(app::kAbsentMark) : o.shortcutDir;
  log.shortcuts = o.shortcuts;
  Walker w{o, list, log, {}};
  for (std::string e : o.exclude) {
    std::replace(e.begin(), e.end(), '/', '\\');
    while (!e.empty() && e.back() == '\\') e.pop_back();
    w.exclude.push_back(UpperAscii(e));
  }
  std::string root = o.root;
  while (root.size() > 1 && root.back() == o.separator) root.pop_back();
  w.Walk(root, "");
  if (w.total > UINT32_MAX) {
    throw ToolError(o.root + ": the files add up to " + std::to_string(w.total) +
                    " bytes, past the 4294967295 a log's total can hold");
  }
  log.totalBytes = static_cast<uint32_t>(w.total);
  for (const std::string& s : log.shortcuts) {
    if (s.size() > 255) throw ToolError("shortcut \"" + s + "\" is longer than 255 bytes");
  }
  return log;
}

}  // namespace undtool
