// The disk of a Windows host: the platform's own listing, which converts
// the last-write time to local time and packs it as FileAge does.
#include "platform/win32/Win32Services.h"
#include "tools/undtool/Disk.h"

namespace undtool {

const char kHostSeparator = '\\';
const bool kHostUtf8Names = false;

std::optional<std::vector<platform::FileEntry>> ListDiskFolder(const std::string& folder) {
  platform::win32::Win32FileSystem fs;
  return fs.ListFolder(folder);
}

}  // namespace undtool
