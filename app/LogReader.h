#pragma once
// ReadLog: fills the run data from the uninstall log.
#include <string>

#include "app/RunData.h"
#include "env/Enviro.h"
#include "platform/Services.h"

namespace app {

// Reads the log at `logPath` through `fs`, under the path rules of the
// run's code page, (held with deny-write sharing
// while it is read) into `data`: the header (not BaseDir, which comes from
// the log's path), the registry key entries and their levels (appended to
// what `data` holds), and every list the log gives entries for (emptied
// first when it exists). False when the log cannot be opened or read, ends
// early, promises more entries than it holds, or names a folder or file
// outside the installation folder; `data` is then left as it was.
bool ReadLog(platform::IFileSystem& fs, const env::PathRules& paths, const std::string& logPath, TRunData& data);
// The same from the log's bytes, read already (or kept in the run's
// journal).
// `why`, when given, gets the first problem of a refused log, with its
// offset.
bool ReadLogBytes(const std::string& bytes, const env::PathRules& paths, TRunData& data, std::string* why = nullptr);

}  // namespace app
