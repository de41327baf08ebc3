#pragma once
// The uninstall log at byte level: its content as plain values and a parser
// that says where a log is damaged. The reader of the run, the log tool and
// every test fixture go through this one piece of code; the writer, which
// the program never needs, is app/tools/LogWriter.h.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace app {

// The mark that the uninstall key name or the shortcut folder is absent
// (exact case; "NONO" is an ordinary text).
inline constexpr std::string_view kAbsentMark = "nono";

struct LogRegKey {
  uint8_t levels = 0;
  std::string key;  // second character: root digit; path from the fourth on
};

struct LogFolder {
  std::string name;  // relative to the installation folder; "" is the folder itself
  uint8_t flag = 0;
};

struct LogFile {
  std::string name;
  uint32_t size = 0;  // what an installer writes: 0 to 4 GiB - 1
  int32_t date = 0;  // packed local DOS date (high 16 bits) and time
  uint8_t flag = 0;
};

struct LogGroup {
  // Written instead of files.size() when set; a parsed log always sets it.
  std::optional<int32_t> count;
  std::vector<LogFile> files;
};

// Everything a log holds, field by field in file order. Texts are raw bytes
// (Windows-1252). The optional counts let a writer put down a count that
// does not match its entries (a damaged log); a parsed log sets all of them
// to the values found in the file.
struct LogContent {
  uint8_t leadByte = 1;
  std::string appName;
  uint8_t hostLevels = 0;
  uint8_t shortcutLevels = 0;
  std::optional<uint8_t> regKeyCount;
  std::vector<LogRegKey> regKeys;
  uint32_t totalBytes = 0;  // unsigned, as the file sizes
  std::string uninstallKey{kAbsentMark};  // raw text, "nono" when absent
  std::string shortcutDir{kAbsentMark};   // raw text, "nono" when absent
  std::optional<int32_t> shortcutCount;
  std::vector<std::string> shortcuts;
  std::optional<int32_t> folderCount;
  std::vector<LogFolder> folders;
  std::optional<int32_t> groupCount;
  std::vector<LogGroup> groups;
  std::string trailing;  // bytes after the last group
};

struct LogProblem {
  size_t offset = 0;  // where the damaged field starts
  std::string what;   // plain English, names the field
};

struct ParsedLog {
  LogContent content;  // everything read before the first structural damage
  // False when the log ends before its last group or a count promises more
  // entries than the rest of the file can hold; parsing stopped there.
  bool complete = false;
  size_t end = 0;  // offset just after the last group (when complete)
  // How many of the fifteen top-level fields were read whole, in file order
  // (lead byte 1 ... file groups 15); the entries of the field after them
  // hold what was read of it.
  int fieldsRead = 0;
  // Structural damage (at most one, the last) and unsafe names (parsing goes
  // on past those), in file order.
  std::vector<LogProblem> problems;

  // What the uninstaller accepts: complete, and no name reaches outside the
  // installation folder (nor a shortcut path, by a ".." segment, outside
  // where it was put).
  bool Readable() const { return complete && problems.empty(); }
};

// Reads a log in one pass. Never allocates more than a small multiple of
// the input's size: a count is checked against what the rest of the input
// can hold before any entry is read.
ParsedLog ParseLog(std::string_view bytes);

// Why a folder entry's name or a file's name would lead outside the
// installation folder (or is no name Windows allows), or nullopt when it is
// safe. Refused: a ".." segment (or any segment of dots and blanks with two
// dots or more), a leading backslash or slash, a colon (drive letters,
// streams), the wildcards * and ?, the characters " < > and control bytes.
// Every 0x5C byte counts as a separator, which is the safe side under
// double-byte code pages as well.
std::optional<std::string> UnsafeNameReason(std::string_view name);

// The same for a file's name, and for the path the removal uses: the folder
// entry's name followed by the file's name with nothing between, so that a
// folder entry "." and a name ".\x" are refused as the "..\x" they make.
std::optional<std::string> UnsafeFileReason(std::string_view folder, std::string_view name);

// Why a path is no plain absolute one in its canonical form (X:\..., no
// slash, no two backslashes in a row, no second colon, no wildcard, no
// control byte, no "." or ".." segment, no name ending in a dot or a
// blank), or nullopt: what a shortcut and the shortcut folder must be.
// Only letter case and 8.3 names may then differ from the path Windows
// makes of it.
std::optional<std::string> PlainPathReason(std::string_view path);
// A shortcut file: .lnk, .pif or .url, any letter case.
bool IsShortcutFile(std::string_view path);
// Why the uninstall key name is not one plain key name (blank, a separator,
// a control byte), or nullopt.
std::optional<std::string> UninstallKeyNameReason(std::string_view name);

// Why a shortcut path would lead the removal astray, or nullopt. A shortcut
// is a plain absolute path, of a shortcut file anywhere (the desktop, say)
// or of any file below the shortcut folder; none holds a ".." segment; and
// what the shortcut folder phase keeps of it, the path less the first
// occurrence of the shortcut folder (`shortcutDir`, the log's text; "nono"
// or empty for none), holds none either, wherever that occurrence may fall
// under any ANSI code page's upper-casing.
std::optional<std::string> UnsafeShortcutReason(std::string_view shortcut, std::string_view shortcutDir);

// The packed local DOS date (high 16 bits) and time (low 16 bits) of a
// file's last write, as the log keeps it: nullopt outside 1980..2107 or for
// impossible fields. Seconds go down to even.
std::optional<int32_t> PackDosTime(int year, int month, int day, int hour, int minute, int second);
// "YYYY-MM-DD HH:MM:SS", or nullopt when the fields are not a valid date.
std::optional<std::string> DosTimeText(int32_t dosTime);

// Smallest size of one entry of each kind, for the count checks.
inline constexpr size_t kMinRegKeyEntry = 2;    // level byte + empty text
inline constexpr size_t kMinShortcutEntry = 1;  // empty text
inline constexpr size_t kMinFolderEntry = 2;    // empty text + flag
inline constexpr size_t kMinFileGroup = 4;      // file count
inline constexpr size_t kMinFileEntry = 10;     // empty text + size + date + flag

}  // namespace app
