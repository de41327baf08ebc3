#include "app/LogFormat.h"

#include "app/KeyPlaces.h"

namespace app {

namespace {

constexpr char kClimbs[] = "holds a \"..\" segment (it leads out of the installation folder)";

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Windows drops trailing dots and blanks, so ". ." and "..." climb too.
bool Climbs(std::string_view segment) {
  size_t dots = 0;
  for (const char c : segment) {
    if (c == '.') ++dots;
    else if (c != ' ') return false;
  }
  return dots >= 2;
}

// Every 0x5C byte counts as a separator, which is the safe side under
// double-byte code pages as well: more segments are judged, not fewer.
bool AnySegmentClimbs(std::string_view path) {
  size_t start = 0;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i < path.size() && !IsSeparator(path[i])) continue;
    if (Climbs(path.substr(start, i - start))) return true;
    start = i + 1;
  }
  return false;
}

// Whether the segment that `before` and `after` make where they meet climbs.
bool JunctionClimbs(std::string_view before, std::string_view after) {
  size_t from = before.size();
  while (from > 0 && !IsSeparator(before[from - 1])) --from;
  size_t to = 0;
  while (to < after.size() && !IsSeparator(after[to])) ++to;
  return Climbs(std::string(before.substr(from)) + std::string(after.substr(0, to)));
}

unsigned char Byte(std::string_view s, size_t i) { return static_cast<unsigned char>(s[i]); }

// Whether upper-casing by some ANSI code page could make `text` from `at`
// on begin with `dir`: ASCII letters fold as ASCII; a byte of a non-ASCII
// character, or one that may be the second byte of a double-byte character,
// may fold to anything.
bool MayBeginWith(std::string_view text, size_t at, std::string_view dir) {
  const auto wild = [](std::string_view s, size_t i) { return Byte(s, i) >= 0x80 || (i > 0 && Byte(s, i - 1) >= 0x80); };
  const auto fold = [](unsigned char c) { return c >= 'a' && c <= 'z' ? c - 0x20 : c; };
  for (size_t k = 0; k < dir.size(); ++k) {
    if (!wild(text, at + k) && !wild(dir, k) && fold(Byte(text, at + k)) != fold(Byte(dir, k))) return false;
  }
  return true;
}

}  // namespace

std::optional<std::string> UnsafeNameReason(std::string_view name) {
  if (!name.empty() && IsSeparator(name.front())) {
    return "starts with a path separator (an absolute or network path)";
  }
  for (const char ch : name) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x20) return "holds a control byte";
    if (c == ':') return "holds a colon (a drive letter or a stream)";
    if (c == '*' || c == '?') return "holds a wildcard";
    if (c == '"' || c == '<' || c == '>') return "holds a character Windows names cannot hold";
  }
  if (AnySegmentClimbs(name)) return kClimbs;
  return std::nullopt;
}

std::optional<std::string> UnsafeFileReason(std::string_view folder, std::string_view name) {
  if (auto reason = UnsafeNameReason(name)) return reason;
  if (JunctionClimbs(folder, name)) return "joined to its folder's name " + std::string(kClimbs);
  return std::nullopt;
}

std::optional<std::string> PlainPathReason(std::string_view path) {
  const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (path.size() < 3 || !letter(path[0]) || path[1] != ':' || path[2] != '\\')
    return "is no plain absolute path (X:\\...)";
  for (size_t i = 2; i < path.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(path[i]);
    if (c < 0x20) return "holds a control byte";
    if (c == '/') return "holds a slash";
    if (c == ':') return "holds a second colon (a stream)";
    if (c == '*' || c == '?') return "holds a wildcard";
    if (c == '"' || c == '<' || c == '>' || c == '|') return "holds a character Windows names cannot hold";
    // Two backslashes in a row, unless the first may be the second byte of
    // a double-byte character.
    if (c == '\\' && path[i - 1] == '\\' && (i < 2 || static_cast<unsigned char>(path[i - 2]) < 0x80))
      return "holds two backslashes in a row";
  }
  if (AnySegmentClimbs(path)) return "holds a \"..\" segment";
  // Windows drops a name's trailing dots and blanks, and a "." segment: the
  // path would name another than it spells.
  for (size_t i = 3; i <= path.size(); ++i) {
    if ((i == path.size() || path[i] == '\\') && (path[i - 1] == '.' || path[i - 1] == ' ')) {
      return "holds a name that ends in a dot or a blank (it is not in its canonical form)";
    }
  }
  return std::nullopt;
}

bool IsShortcutFile(std::string_view path) {
  if (path.size() < 4) return false;
  std::string ext(path.substr(path.size() - 4));
  for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return ext == ".lnk" || ext == ".pif" || ext == ".url";
}

std::optional<std::string> UninstallKeyNameReason(std::string_view name) {
  if (name.find_first_not_of(' ') == std::string_view::npos) return "is blank";
  for (const char ch : name) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x20) return "holds a control byte";
    if (c == '\\' || c == '/') return "is no single key name (it holds a separator)";
  }
  return std::nullopt;
}

std::optional<std::string> UnsafeShortcutReason(std::string_view shortcut, std::string_view shortcutDir) {
  if (auto reason = PlainPathReason(shortcut)) return reason;
  if (!IsShortcutFile(shortcut)) {
    // Any file may lie below the shortcut folder, only shortcut files
    // elsewhere.
    std::string dir(shortcutDir);
    if (!dir.empty() && dir.back() != '\\') dir += '\\';
    const bool below = dir.size() > 1 && shortcutDir != kAbsentMark && shortcut.size() > dir.size() &&
                       MayBeginWith(shortcut, 0, dir);
    if (!below) return "is no shortcut file (.lnk, .pif, .url) and lies outside the shortcut folder";
  }
  if (shortcutDir.empty() || shortcutDir == kAbsentMark) return std::nullopt;
  // The shortcut folder phase deletes the first occurrence of the shortcut
  // folder (with one trailing backslash, upper-cased) from the upper-cased
  // path and removes a folder named by what is left, in which the text
  // before the occurrence and the text after it meet in one segment.
  // Wherever the folder may occur, that segment must not climb.
  const auto dotOrBlank = [](char c) { return c == '.' || c == ' ' || IsSeparator(c); };
  std::string dir(shortcutDir);
  if (dir.back() != '\\') dir += '\\';
  for (int form = 0; form < 2; ++form) {
    for (size_t at = 0; at + dir.size() <= shortcut.size(); ++at) {
      const size_t after = at + dir.size();
      // Cheap first: only where dots, blanks or separators meet.
      if ((at > 0 && !dotOrBlank(shortcut[at - 1])) || (after < shortcut.size() && !dotOrBlank(shortcut[after])))
        continue;
      if (MayBeginWith(shortcut, at, dir) && JunctionClimbs(shortcut.substr(0, at), shortcut.substr(after))) {
        return "less the shortcut folder holds a \"..\" segment (it leads out of the shortcut folder)";
      }
    }
    // A folder whose last byte is 0x5C gets another backslash when that byte
    // is the second byte of a double-byte character.
    if (shortcutDir.back() != '\\') break;
    dir += '\\';
  }
  return std::nullopt;
}

namespace {

// Names a field for a problem report; the text is only built when a
// problem is found, so reading a long log stays cheap.
struct Field {
  const char* what;
  int64_t index = -1;
  int64_t group = -1;
  std::string Describe() const {
    std::string s = what;
    if (index >= 0) s += " " + std::to_string(index);
    if (group >= 0) s += " of group " + std::to_string(group);
    return s;
  }
};

// Reads the fields in order. A failed read records where and what, and
// every later read fails as well.
class Cursor {
 public:
  Cursor(std::string_view bytes, ParsedLog& out) : bytes_(bytes), out_(out) {}

  bool ok() const { return ok_; }
  size_t pos() const { return pos_; }
  size_t remaining() const { return bytes_.size() - pos_; }

  bool Byte(uint8_t& value, const Field& field) {
    if (!Need(1, field)) return false;
    value = static_cast<uint8_t>(bytes_[pos_++]);
    return true;
  }

  bool UInt32(uint32_t& value, const Field& field) {
    if (!Need(4, field)) return false;
    uint32_t u = 0;
    for (int i = 0; i < 4; ++i) u |= static_cast<uint32_t>(static_cast<uint8_t>(bytes_[pos_ + i])) << (8 * i);
    pos_ += 4;
    value = u;
    return true;
  }

  bool Int32(int32_t& value, const Field& field) {
    uint32_t u = 0;
    if (!UInt32(u, field)) return false;
    value = static_cast<int32_t>(u);
    return true;
  }

  bool Text(std::string& value, const Field& field) {
    if (!Need(1, field)) return false;
    const size_t length = static_cast<uint8_t>(bytes_[pos_]);
    if (remaining() - 1 < length) {
      return Fail(pos_, "the log ends inside " + field.Describe() + " (" + std::to_string(length) +
                            " bytes announced, " + std::to_string(remaining() - 1) + " left)");
    }
    value.assign(bytes_.substr(pos_ + 1, length));
    pos_ += 1 + length;
    return true;
  }

  // A count of entries at least `minEntry` bytes long each must fit in the
  // rest of the input; checked before anything is allocated for them.
  bool Fits(int64_t count, size_t minEntry, size_t countOffset, const Field& field) {
    if (!ok_ || count <= 0) return ok_;
    const uint64_t needed = static_cast<uint64_t>(count) * minEntry;
    if (needed > remaining()) {
      return Fail(countOffset, field.Describe() + " " + std::to_string(count) + " promises at least " +
                                   std::to_string(needed) + " bytes, only " + std::to_string(remaining()) +
                                   " are left");
    }
    return true;
  }

 private:
  bool Need(size_t n, const Field& field) {
    if (!ok_) return false;
    if (remaining() >= n) return true;
    return Fail(pos_, (remaining() == 0 ? "the log ends before " : "the log ends inside ") + field.Describe());
  }

  bool Fail(size_t offset, std::string what) {
    ok_ = false;
    out_.problems.push_back({offset, std::move(what)});
    return false;
  }

  std::string_view bytes_;
  ParsedLog& out_;
  size_t pos_ = 0;
  bool ok_ = true;
};

void CheckName(ParsedLog& out, size_t offset, const std::string& name, const Field& field) {
  if (auto reason = UnsafeNameReason(name)) out.problems.push_back({offset, field.Describe() + " " + *reason});
}

}  // namespace

ParsedLog ParseLog(std::string_view bytes) {
  ParsedLog out;
  LogContent& c = out.content;
  Cursor in(bytes, out);

  int& done = out.fieldsRead;
  if (in.Byte(c.leadByte, {"the lead byte"})) done = 1;
  if (in.Text(c.appName, {"the application name"})) done = 2;
  if (in.Byte(c.hostLevels, {"the host levels"})) done = 3;
  if (in.Byte(c.shortcutLevels, {"the shortcut levels"})) done = 4;

  uint8_t keys = 0;
  size_t at = in.pos();
  if (in.Byte(keys, {"the registry key count"})) {
    c.regKeyCount = keys;
    done = 5;
  }
  if (in.Fits(keys, kMinRegKeyEntry, at, {"registry key count"})) c.regKeys.reserve(keys);
  std::vector<size_t> keyOffsets;
  for (int i = 0; in.ok() && i < keys; ++i) {
    LogRegKey k;
    const size_t keyAt = in.pos();
    if (in.Byte(k.levels, {"the level count of registry key", i}) && in.Text(k.key, {"registry key", i})) {
      c.regKeys.push_back(std::move(k));
      keyOffsets.push_back(keyAt);
    }
  }

  if (in.ok()) done = 6;
  if (in.UInt32(c.totalBytes, {"the total bytes"})) done = 7;
  c.uninstallKey.clear();
  c.shortcutDir.clear();
  at = in.pos();
  if (in.Text(c.uninstallKey, {"the uninstall key name"})) {
    done = 8;
    if (c.uninstallKey != kAbsentMark) {
      if (auto reason = UninstallKeyNameReason(c.uninstallKey)) out.problems.push_back({at, "the uninstall key name " + *reason});
    }
  }
  // A key that lies in no place of an application's is none of its own:
  // judged once the application's own uninstall entry is known. Whose
  // branch of HKEY_USERS is the current user's, only the system can tell
  // (app/Ownership.h); whether a class points at the application, only the
  // registry (app/RemovalEngine.h).
  for (size_t i = 0; i < keyOffsets.size(); ++i) {
    const LogRegKey& k = c.regKeys[i];
    const bool rooted = k.key.size() >= 2 && k.key[1] >= '0' && k.key[1] <= '3';
    if (!rooted || k.levels == 0) continue;
    const std::string own = done >= 8 && c.uninstallKey != kAbsentMark ? c.uninstallKey : std::string();
    const KeyJudgement judged = JudgeKeyPlace(0x80000000u + static_cast<uint32_t>(k.key[1] - '0'),
                                              k.key.size() > 3 ? k.key.substr(3) : std::string(), own, nullptr);
    if (judged.place == KeyPlace::Outside) {
      out.problems.push_back({keyOffsets[i], Field{"registry key", static_cast<int>(i)}.Describe() +
                                                 " names a key that is not the application's: " + judged.why});
    }
  }
  at = in.pos();
  if (in.Text(c.shortcutDir, {"the shortcut folder"})) {
    done = 9;
    if (c.shortcutDir != kAbsentMark && !c.shortcutDir.empty()) {
      if (auto reason = PlainPathReason(c.shortcutDir)) out.problems.push_back({at, "the shortcut folder " + *reason});
    }
  }

  int32_t count = 0;
  at = in.pos();
  if (in.Int32(count, {"the shortcut count"})) {
    c.shortcutCount = count;
    done = 10;
  }
  if (in.Fits(count, kMinShortcutEntry, at, {"shortcut count"}) && count > 0) c.shortcuts.reserve(count);
  for (int32_t i = 0; in.ok() && i < count; ++i) {
    std::string s;
    const size_t textAt = in.pos();
    if (in.Text(s, {"shortcut", i})) {
      if (auto reason = UnsafeShortcutReason(s, c.shortcutDir)) {
        out.problems.push_back({textAt, Field{"shortcut", i}.Describe() + " " + *reason});
      }
      c.shortcuts.push_back(std::move(s));
    }
  }

  count = 0;
  at = in.pos();
  if (in.ok()) done = 11;
  if (in.Int32(count, {"the folder count"})) {
    c.folderCount = count;
    done = 12;
  }
  if (in.Fits(count, kMinFolderEntry, at, {"folder count"}) && count > 0) c.folders.reserve(count);
  for (int32_t i = 0; in.ok() && i < count; ++i) {
    LogFolder f;
    const size_t nameAt = in.pos();
    if (in.Text(f.name, {"the name of folder", i}) && in.Byte(f.flag, {"the flag of folder", i})) {
      CheckName(out, nameAt, f.name, {"folder", i});
      c.folders.push_back(std::move(f));
    }
  }

  count = 0;
  at = in.pos();
  if (in.ok()) done = 13;
  if (in.Int32(count, {"the file group count"})) {
    c.groupCount = count;
    done = 14;
  }
  if (in.Fits(count, kMinFileGroup, at, {"file group count"}) && count > 0) c.groups.reserve(count);
  for (int32_t g = 0; in.ok() && g < count; ++g) {
    // The group takes its place before its files are read.
    c.groups.emplace_back();
    LogGroup& group = c.groups.back();
    int32_t files = 0;
    at = in.pos();
    if (in.Int32(files, {"the file count of group", g})) group.count = files;
    if (in.Fits(files, kMinFileEntry, at, {"file count of group", g}) && files > 0) group.files.reserve(files);
    for (int32_t i = 0; in.ok() && i < files; ++i) {
      LogFile f;
      const size_t nameAt = in.pos();
      if (in.Text(f.name, {"the name of file", i, g}) && in.UInt32(f.size, {"the size of file", i, g}) &&
          in.Int32(f.date, {"the date of file", i, g}) && in.Byte(f.flag, {"the flag of file", i, g})) {
        // The engine joins the folder entry and the name with nothing between.
        const std::string_view folder =
            static_cast<size_t>(g) < c.folders.size() ? std::string_view(c.folders[g].name) : std::string_view();
        if (auto reason = UnsafeFileReason(folder, f.name)) {
          out.problems.push_back({nameAt, Field{"the name of file", i, g}.Describe() + " " + *reason});
        }
        group.files.push_back(std::move(f));
      }
    }
  }

  if (in.ok()) done = 15;
  out.complete = in.ok();
  if (out.complete) {
    out.end = in.pos();
    c.trailing.assign(bytes.substr(in.pos()));
  }
  return out;
}

std::optional<int32_t> PackDosTime(int year, int month, int day, int hour, int minute, int second) {
  static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1980 || year > 2107 || month < 1 || month > 12 || day < 1 || hour < 0 || hour > 23 || minute < 0 ||
      minute > 59 || second < 0 || second > 59) {
    return std::nullopt;
  }
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (day > kDays[month - 1] || (month == 2 && day == 29 && !leap)) return std::nullopt;
  const uint32_t date = (static_cast<uint32_t>(year - 1980) << 9) | (month << 5) | day;
  const uint32_t time = (hour << 11) | (minute << 5) | (second / 2);
  return static_cast<int32_t>((date << 16) | time);
}

std::optional<std::string> DosTimeText(int32_t dosTime) {
  const uint32_t u = static_cast<uint32_t>(dosTime);
  const int year = 1980 + static_cast<int>(u >> 25), month = (u >> 21) & 15, day = (u >> 16) & 31;
  const int hour = (u >> 11) & 31, minute = (u >> 5) & 63, second = (u & 31) * 2;
  const auto again = PackDosTime(year, month, day, hour, minute, second);
  if (!again || *again != dosTime) return std::nullopt;
  // By hand: the uninstaller carries no printf.
  const auto two = [](int n) { return std::string{static_cast<char>('0' + n / 10), static_cast<char>('0' + n % 10)}; };
  return std::to_string(year) + "-" + two(month) + "-" + two(day) + " " + two(hour) + ":" + two(minute) + ":" +
         two(second);
}

}  // namespace app
