#include "platform/WindowsRules.h"

#include <cmath>

namespace platform {

unsigned char UpperCp1252(unsigned char u) {
  if ((u >= 'a' && u <= 'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7)) return static_cast<unsigned char>(u - 0x20);
  if (u == 0x9A || u == 0x9C || u == 0x9E) return static_cast<unsigned char>(u - 0x10);  // š œ ž
  if (u == 0xFF) return 0x9F;                                                             // ÿ
  return u;
}

std::string UpperCp1252(std::string text) {
  for (char& c : text) c = static_cast<char>(UpperCp1252(static_cast<unsigned char>(c)));
  return text;
}

std::string PathKey(std::string_view path) {
  std::string key(path);
  for (char& c : key) c = c == '/' ? '\\' : static_cast<char>(UpperCp1252(static_cast<unsigned char>(c)));
  if (!key.empty() && key.back() == '\\') key.pop_back();
  return key;
}

std::string KeyNode(uint32_t root, std::string_view path) {
  while (!path.empty() && path.front() == '\\') path.remove_prefix(1);
  while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string node(8, '0');
  for (int i = 7; i >= 0; --i, root >>= 4) node[static_cast<size_t>(i)] = kHex[root & 0xF];
  if (!path.empty()) node += '\\' + UpperCp1252(std::string(path));
  return node;
}

bool NamesADevice(std::string_view asked) {
  std::string path(asked);
  for (char& c : path) c = c == '/' ? '\\' : static_cast<char>(UpperCp1252(static_cast<unsigned char>(c)));
  if (path.rfind("\\\\.\\", 0) == 0) return true;
  if (path.rfind("\\\\?\\", 0) == 0 || path.rfind("\\??\\", 0) == 0) {
    path.erase(0, 4);
    const bool drive = path.size() >= 3 && path[1] == ':' && path[2] == '\\' && path[0] >= 'A' && path[0] <= 'Z';
    if (!drive && path.rfind("UNC\\", 0) != 0) return true;
  }
  // The last name, as Windows looks at it: a colon at the end, then dots
  // and spaces at the end, do not count.
  if (!path.empty() && path.back() == ':') path.pop_back();
  while (!path.empty() && (path.back() == '.' || path.back() == ' ')) path.pop_back();
  size_t start = path.find_last_of('\\');
  start = start == std::string::npos ? 0 : start + 1;
  if (start == 0 && path.size() >= 2 && path[1] == ':') start = 2;  // "C:NUL"
  std::string name = path.substr(start, path.find_first_of(".:", start) - start);
  while (!name.empty() && name.back() == ' ') name.pop_back();
  if (name == "CON" || name == "PRN" || name == "AUX" || name == "NUL" || name == "CONIN$" || name == "CONOUT$")
    return true;
  if (name.size() != 4 || (name.rfind("COM", 0) != 0 && name.rfind("LPT", 0) != 0)) return false;
  const unsigned char digit = static_cast<unsigned char>(name[3]);
  return (digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;  // 1 2 3 raised
}

uint32_t Cp1252ToUnicode(unsigned char byte) {
  static constexpr uint16_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                         0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                         0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                         0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  return byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : byte;
}

std::string Cp1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (const char ch : bytes) {
    const uint32_t cp = Cp1252ToUnicode(static_cast<unsigned char>(ch));
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

std::vector<std::string> SplitCommandLine(std::string_view command,
                                          const std::function<bool(unsigned char)>& isLeadByte) {
  std::vector<std::string> out;
  size_t i = 0;
  const size_t n = command.size();
  const auto lead = [&](size_t at) {
    return isLeadByte && at + 1 < n && isLeadByte(static_cast<unsigned char>(command[at]));
  };
  // The program's name: no escapes, a quote toggles.
  {
    std::string name;
    bool quoted = false;
    while (i < n && (quoted || (command[i] != ' ' && command[i] != '\t'))) {
      if (command[i] == '"') {
        quoted = !quoted;
        ++i;
        continue;
      }
      if (lead(i)) name += command[i++];
      name += command[i++];
    }
    out.push_back(std::move(name));
  }
  for (;;) {
    while (i < n && (command[i] == ' ' || command[i] == '\t')) ++i;
    if (i >= n) break;
    std::string argument;
    bool quoted = false;
    while (i < n) {
      size_t backslashes = 0;
      while (i < n && command[i] == '\\') {
        ++backslashes;
        ++i;
      }
      if (i < n && command[i] == '"') {
        argument.append(backslashes / 2, '\\');
        if (backslashes % 2 == 1) {
          argument += '"';
          ++i;
        } else if (quoted && i + 1 < n && command[i + 1] == '"') {
          argument += '"';
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
        continue;
      }
      argument.append(backslashes, '\\');
      if (i >= n || (!quoted && (command[i] == ' ' || command[i] == '\t'))) break;
      if (lead(i)) argument += command[i++];
      argument += command[i++];
    }
    out.push_back(std::move(argument));
  }
  return out;
}

std::string ExpandEnvironmentText(std::string_view text,
                                  const std::function<std::optional<std::string>(const std::string&)>& lookup) {
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    const size_t open = text.find('%', i);
    if (open == std::string_view::npos) break;
    const size_t close = text.find('%', open + 1);
    if (close == std::string_view::npos) break;
    out.append(text.substr(i, open - i));
    const std::string name(text.substr(open + 1, close - open - 1));
    const std::optional<std::string> value = name.empty() ? std::nullopt : lookup(name);
    if (value) {
      out += *value;
      i = close + 1;
    } else {
      // The closing % may open the next name.
      out.append(text.substr(open, close - open));
      i = close;
    }
  }
  out.append(text.substr(i));
  return out;
}

std::optional<std::string> PathBelow(std::string_view path, const Place& within) {
  std::string_view place = within.path;
  // A drive's root is the only place that ends in a backslash; any other
  // last byte 0x5C is the second byte of a double-byte character.
  if (place.size() == 3 && place[1] == ':' && place[2] == '\\') place.remove_suffix(1);
  if (place.empty() || path.size() <= place.size() || path[place.size()] != '\\') return std::nullopt;
  if (UpperCp1252(std::string(path.substr(0, place.size()))) != UpperCp1252(std::string(place))) return std::nullopt;
  return std::string(path.substr(place.size()));
}

bool ReachedWithin(IFileSystem& fs, const std::string& path, const Place& within) {
  if (within.empty()) return true;
  const std::string full = fs.FullPath(path);
  const std::optional<std::string> rest = PathBelow(full, within);
  if (!rest) return false;
  const size_t cut = full.find_last_of('\\');
  const std::string folder = fs.FinalFolderName(full.substr(0, cut == 2 ? 3 : cut));
  const auto join = [](std::string a, const std::string& b) {
    if (!a.empty() && a.back() == '\\') a.pop_back();
    return PathKey(a + b);
  };
  return !folder.empty() && join(folder, full.substr(cut)) == join(within.final, *rest);
}

Place PlaceOf(IFileSystem& fs, const std::string& folder) {
  // "C:" alone would be the drive's current folder.
  const std::string full = fs.FullPath(folder.size() == 2 && folder[1] == ':' ? folder + "\\" : folder);
  return {full, fs.FinalFolderName(full)};
}

FileRemoval RemoveFileAnyway(IFileSystem& fs, const std::string& path, const Place& within) {
  FileRemoval out;
  const auto attributes = fs.GetAttributes(path, out.status);
  if (!attributes) {
    out.failedAt = Step::ReadAttributes;
    return out;
  }
  if ((*attributes & kAttrReadOnly) != 0) {
    out.status = fs.SetAttributes(path, *attributes & ~kAttrReadOnly, within);
    if (!out.status) {
      out.failedAt = Step::DropReadOnly;
      return out;
    }
  }
  out.status = fs.RemoveFile(path, within);
  if (!out.status) out.failedAt = Step::Delete;
  return out;
}

int64_t RoundHalfEven(int64_t whole, int restAgainstHalf) {
  if (restAgainstHalf > 0 || (restAgainstHalf == 0 && whole % 2 != 0)) return whole + 1;
  return whole;
}

int64_t RoundHalfEven(double value) {
  const double down = std::floor(value);
  const double rest = value - down;  // exact: down is a whole multiple of value's last place
  return RoundHalfEven(static_cast<int64_t>(down), rest < 0.5 ? -1 : rest > 0.5 ? 1 : 0);
}

}  // namespace platform
