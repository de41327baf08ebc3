#pragma once
// The host's disk as the scan sees it.
#include <optional>
#include <string>
#include <vector>

#include "platform/Services.h"

namespace undtool {

// The entries of one folder with sizes, attributes and local DOS time
// stamps (0 for a time with no DOS form); nullopt when it cannot be listed.
std::optional<std::vector<platform::FileEntry>> ListDiskFolder(const std::string& folder);

// The host's path separator, and whether its file names are UTF-8 (they are
// turned into Windows-1252 for the log) or already in the ANSI code page.
extern const char kHostSeparator;
extern const bool kHostUtf8Names;

}  // namespace undtool
