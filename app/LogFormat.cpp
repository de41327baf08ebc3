#include "app/LogFormat.h"

namespace app {

std::optional<std::string> UnsafeNameReason(std::string_view name) {
  if (!name.empty() && (name.front() == '\\' || name.front() == '/')) {
    return "starts with a path separator (an absolute or network path)";
  }
  for (const char ch : name) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x20) return "holds a control byte";
    if (c == ':') return "holds a colon (a drive letter or a stream)";
    if (c == '*' || c == '?') return "holds a wildcard";
    if (c == '"' || c == '<' || c == '>') return "holds a character Windows names cannot hold";
  }
  size_t start = 0;
  while (start <= name.size()) {
    size_t stop = name.find_first_of("\\/", start);
    if (stop == std::string_view::npos) stop = name.size();
    const std::string_view segment = name.substr(start, stop - start);
    size_t dots = 0;
    bool onlyDotsAndBlanks = !segment.empty();
    for (const char c : segment) {
      if (c == '.') ++dots;
      else if (c != ' ') onlyDotsAndBlanks = false;
    }
    // Windows drops trailing dots and blanks, so ". ." and "..." climb too.
    if (onlyDotsAndBlanks && dots >= 2) return "holds a \"..\" segment (it leads out of the installation folder)";
    start = stop + 1;
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

  bool Int32(int32_t& value, const Field& field) {
    if (!Need(4, field)) return false;
    uint32_t u = 0;
    for (int i = 0; i < 4; ++i) u |= static_cast<uint32_t>(static_cast<uint8_t>(bytes_[pos_ + i])) << (8 * i);
    pos_ += 4;
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
  for (int i = 0; in.ok() && i < keys; ++i) {
    LogRegKey k;
    if (in.Byte(k.levels, {"the level count of registry key", i}) && in.Text(k.key, {"registry key", i})) {
      c.regKeys.push_back(std::move(k));
    }
  }

  if (in.ok()) done = 6;
  if (in.Int32(c.totalBytes, {"the total bytes"})) done = 7;
  c.uninstallKey.clear();
  c.shortcutDir.clear();
  if (in.Text(c.uninstallKey, {"the uninstall key name"})) done = 8;
  if (in.Text(c.shortcutDir, {"the shortcut folder"})) done = 9;

  int32_t count = 0;
  at = in.pos();
  if (in.Int32(count, {"the shortcut count"})) {
    c.shortcutCount = count;
    done = 10;
  }
  if (in.Fits(count, kMinShortcutEntry, at, {"shortcut count"}) && count > 0) c.shortcuts.reserve(count);
  for (int32_t i = 0; in.ok() && i < count; ++i) {
    std::string s;
    if (in.Text(s, {"shortcut", i})) c.shortcuts.push_back(std::move(s));
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
      if (in.Text(f.name, {"the name of file", i, g}) && in.Int32(f.size, {"the size of file", i, g}) &&
          in.Int32(f.date, {"the date of file", i, g}) && in.Byte(f.flag, {"the flag of file", i, g})) {
        CheckName(out, nameAt, f.name, {"the name of file", i, g});
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

}  // namespace app
