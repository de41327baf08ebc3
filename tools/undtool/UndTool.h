#pragma once
// undtool: writes uninstall logs from a JSON description, dumps logs as JSON
// (with the offsets of damaged places) and scans an installed folder tree
// into a log. The byte work is app/LogFormat's, the same code the
// uninstaller reads with.
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/tools/LogWriter.h"
#include "platform/Services.h"
#include "platform/WindowsRules.h"

namespace undtool {

// Bad input: the message names what is wrong and where.
class ToolError : public std::runtime_error {
 public:
  explicit ToolError(const std::string& message) : std::runtime_error(message) {}
};

// Windows-1252 bytes from UTF-8 text; throws ToolError for a character the
// code page lacks. The five unassigned bytes come from U+0081, U+008D,
// U+008F, U+0090 and U+009D, so every byte round-trips.
std::string Utf8ToCp1252(std::string_view utf8);
using platform::Cp1252ToUtf8;

// The log's time stamps (app/LogFormat.h).
using app::DosTimeText;
using app::PackDosTime;

// The description a `write` takes: the same shape `dump` gives, so a dump
// can be edited and written back. Throws ToolError, naming the field.
app::LogContent LogFromJson(const nlohmann::ordered_json& description);
// The bytes to write for a description (its "truncate" applied).
std::string LogBytesFromJson(const nlohmann::ordered_json& description);

// Every field of a log, its counts as found, and "problems" with the byte
// offset of each damaged place; "readable" says whether the uninstaller
// would accept it.
nlohmann::ordered_json DumpLog(std::string_view bytes);

// Lists one folder of the disk: entries with size, attributes and local DOS
// time stamp, "." and ".." allowed. nullopt when the folder cannot be read.
using ListFolderFn = std::function<std::optional<std::vector<platform::FileEntry>>(const std::string& folder)>;

struct ScanOptions {
  std::string root;         // the installation folder, in the host's spelling
  char separator = '\\';    // the host's path separator
  bool utf8Names = false;   // host names are UTF-8 (turned into Windows-1252)
  std::string appName;      // Windows-1252
  uint8_t hostLevels = 1;
  std::string shortcutDir;  // empty: absent
  uint8_t shortcutLevels = 0;
  std::vector<std::string> shortcuts;
  std::string uninstallKey;  // empty: absent
  std::vector<app::LogRegKey> regKeys;
  std::vector<std::string> exclude;  // names relative to root, any case
  uint8_t leadByte = 1;
  uint8_t flag = 1;  // for every folder and file entry
};

// The log for the tree under options.root: folder entry 0 is the root, each
// folder comes after its parent (sorted by name, depth first), one file group
// per folder entry, sizes and time stamps from the lister, total bytes their
// sum. Throws ToolError for a name over 255 bytes, a file or total past
// 4 GiB (what a log can hold), or a folder that cannot be listed.
app::LogContent ScanTree(const ScanOptions& options, const ListFolderFn& list);

struct PlanServices;

// The command line, without the program name. Returns the exit code: 0 done,
// 1 `dump` of a log the uninstaller would refuse (the dump is still
// printed) or `plan` of such a log, 2 bad usage or input (with a message on
// `err`). `plan` needs `planServices` (see Plan.h); without them it says
// where it runs.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const ListFolderFn& diskList,
        char separator, bool utf8Names, PlanServices* planServices = nullptr);

}  // namespace undtool
