#pragma once
// Rules of Windows that the product follows and the fakes model, written
// once: the case of Windows-1252 letters and their Unicode code points, the
// names that stand for devices, the deletion of a file that may be
// read-only, and the processor's rounding of halves.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Services.h"

namespace platform {

// A Windows-1252 byte in upper case, as CharUpperBuffA and the case-blind
// comparisons of paths, key names and value names see it: a-z and the
// accented small letters (0xE0..0xFE but 0xF7), and the small letters of
// the 0x80 row (0x9A, 0x9C, 0x9E, 0xFF).
unsigned char UpperCp1252(unsigned char byte);
// Every byte of `text` through UpperCp1252.
std::string UpperCp1252(std::string text);

// A path as Windows compares paths of Windows-1252 text, for keys of sets
// and maps: letters through UpperCp1252, either slash as a backslash, one
// trailing backslash ignored.
std::string PathKey(std::string_view path);
// A registry key as Windows compares key names: the root's handle in eight
// hexadecimal digits, then, when the path names more than the root, a
// backslash and the path without its leading and trailing backslashes,
// letters through UpperCp1252 ("80000002\\SOFTWARE\\DEMO").
std::string KeyNode(uint32_t root, std::string_view path);

// A command line split into its arguments as the C runtime splits one for
// a program's argv, the program's name first: the name ends at the next
// quote when it begins with one, else at a blank, and nothing in it is an
// escape; the other arguments are separated by blanks and tabs outside
// double quotes, a quoted part may stand anywhere in an argument and keeps
// its blanks, 2n backslashes before a quote are n and the quote delimits,
// 2n+1 are n and a literal quote, a doubled quote inside quotes is one
// literal quote, and backslashes before anything else are themselves.
// `isLeadByte` tells the lead bytes of the code page's double-byte
// characters, whose second byte is never a backslash, quote or blank.
std::vector<std::string> SplitCommandLine(std::string_view command,
                                          const std::function<bool(unsigned char)>& isLeadByte = {});

// `text` with each %NAME% replaced by the value `lookup` gives for NAME, as
// ExpandEnvironmentStrings does for a REG_EXPAND_SZ value: names in any
// letter case; a name that `lookup` does not know, and a lone %, stay as
// they stand.
std::string ExpandEnvironmentText(std::string_view text,
                                  const std::function<std::optional<std::string>(const std::string&)>& lookup);

// The code point of a Windows-1252 byte; the five bytes the code page
// leaves unassigned give the C1 control of the same number, as Windows
// converts them, so every byte has one.
uint32_t Cp1252ToUnicode(unsigned char byte);
// Windows-1252 text as UTF-8.
std::string Cp1252ToUtf8(std::string_view bytes);

// Whether `path` names a device rather than a file on a disk, by its name
// alone: anything in the \\.\ namespace (\\.\COM1, \\.\pipe\x,
// \\.\PhysicalDrive0), a \\?\ or \??\ path other than a drive's or a
// share's (\\?\GLOBALROOT\...), and a last name that Windows takes for a
// device in any folder: CON, PRN, AUX, NUL, COM1-9 and LPT1-9 (also with
// 0 and the superscript digits), CONIN$, CONOUT$, whatever follows a dot,
// a colon or trailing spaces ("nul.txt", "COM1:", "CON  ").
bool NamesADevice(std::string_view path);

// The part of `path` below the place `within` (from the backslash after
// the place's path on), when `path` lies strictly below it, letters
// compared as Windows-1252 folds them; nullopt otherwise.
std::optional<std::string> PathBelow(std::string_view path, const Place& within);
// Whether the entry at `path`, by its full long path, lies below the place
// `within` name by name, with the folders as the system names them now:
// the final name of its folder (FinalFolderName) followed by its own name
// is `within.final` followed by the path below `within.path`. True for an
// empty place. The check of a confined change made by name, for a caller
// that holds no handle; the system's own is made on the entry's handle.
bool ReachedWithin(IFileSystem& fs, const std::string& path, const Place& within);
// The place of the folder at `folder` (no trailing backslash but a root's)
// as the system names it now: its full long path and its final name
// (IFileSystem::FinalFolderName).
Place PlaceOf(IFileSystem& fs, const std::string& folder);

// The call of a removal that was refused.
enum class Step : uint8_t {
  None,
  Find,            // the lookup of the object itself, refused otherwise than by finding nothing
  ReadAttributes,  // the attribute query before the read-only bit is dropped
  DropReadOnly,    // the attribute change
  Delete,          // the deletion or removal itself
  Open,            // opening a key that the key test had found
  Schedule,        // the deletion at the next start of Windows, asked for a file in use
};

// What became of a file deletion that drops the read-only bit first.
struct FileRemoval {
  Step failedAt = Step::None;  // None: the file is gone
  Status status;  // the refusal; success when gone
  explicit operator bool() const { return failedAt == Step::None; }
};

// Drops the read-only bit of the file at `path` (its other attributes
// stay), then deletes it: GetAttributes, SetAttributes (only when the bit
// is set), RemoveFile, each only when the one before succeeded; the
// refusal of the one that failed is in `status`. The read-only bit is not given back
// when the deletion is refused. Both changes are confined to `within`.
FileRemoval RemoveFileAnyway(IFileSystem& fs, const std::string& path, const Place& within = {});

// Rounding to the nearest whole, an exact half to the even neighbour (the
// processor's default rounding): `whole` rounded down, with `restAgainstHalf`
// telling whether what was cut off lies below (< 0), exactly at (0) or
// above (> 0) one half.
int64_t RoundHalfEven(int64_t whole, int restAgainstHalf);
// `value` rounded so.
int64_t RoundHalfEven(double value);

}  // namespace platform
