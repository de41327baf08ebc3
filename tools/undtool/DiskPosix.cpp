// The disk of a POSIX host: stat for sizes, localtime for the DOS stamps,
// as the Windows side converts the last-write time to local time first.
#include <dirent.h>
#include <sys/stat.h>

#include <ctime>
#include <memory>

#include "tools/undtool/Disk.h"
#include "tools/undtool/UndTool.h"

namespace undtool {

const char kHostSeparator = '/';
const bool kHostUtf8Names = true;

namespace {
int32_t DosTimeOf(time_t t) {
  std::tm local{};
  if (localtime_r(&t, &local) == nullptr) return 0;
  return PackDosTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                     local.tm_sec)
      .value_or(0);
}
}  // namespace

std::optional<std::vector<platform::FileEntry>> ListDiskFolder(const std::string& folder) {
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
  if (!dir) return std::nullopt;
  std::vector<platform::FileEntry> out;
  while (const dirent* d = readdir(dir.get())) {
    const std::string name = d->d_name;
    const std::string path = folder + "/" + name;
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return std::nullopt;
    // A link counts as what it points to, but a linked folder is left out:
    // it may loop, and the uninstaller would not remove through it anyway.
    if (S_ISLNK(st.st_mode)) {
      if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    }
    platform::FileEntry e;
    e.name = name;
    e.attributes = S_ISDIR(st.st_mode) ? platform::kAttrDirectory : platform::kAttrArchive;
    if (!name.empty() && name[0] == '.' && name != "." && name != "..") e.attributes |= platform::kAttrHidden;
    e.size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
    e.dosTime = DosTimeOf(st.st_mtime);
    if (!S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode)) continue;  // devices, sockets, pipes
    out.push_back(std::move(e));
  }
  return out;
}

}  // namespace undtool
