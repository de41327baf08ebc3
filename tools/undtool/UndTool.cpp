#include "tools/undtool/UndTool.h"

#include "tools/undtool/Plan.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <ostream>
#include <sstream>

namespace undtool {

using Json = nlohmann::ordered_json;

namespace {

[[noreturn]] void Bad(const std::string& where, const std::string& what) { throw ToolError(where + ": " + what); }

std::string Hex(std::string_view bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0) out += ' ';
    const auto b = static_cast<unsigned char>(bytes[i]);
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

std::string FromHex(const std::string& text, const std::string& where) {
  std::string out;
  int high = -1;
  for (const char c : text) {
    if (c == ' ') continue;
    int v;
    if (c >= '0' && c <= '9') v = c - '0';
    else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    else Bad(where, "expected hexadecimal byte pairs, found '" + std::string(1, c) + "'");
    if (high < 0) {
      high = v;
    } else {
      out += static_cast<char>(high * 16 + v);
      high = -1;
    }
  }
  if (high >= 0) Bad(where, "an odd number of hexadecimal digits");
  return out;
}

std::string DateHex(int32_t date) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<uint32_t>(date));
  return buf;
}

// --- reading a description ---

void CheckKeys(const Json& obj, const std::string& where, std::initializer_list<const char*> allowed) {
  if (!obj.is_object()) Bad(where, "expected an object");
  for (auto it = obj.begin(); it != obj.end(); ++it) {
    if (std::none_of(allowed.begin(), allowed.end(), [&](const char* k) { return it.key() == k; })) {
      Bad(where, "unknown field \"" + it.key() + "\"");
    }
  }
}

int64_t Whole(const Json& j, const std::string& where, int64_t lo, int64_t hi) {
  const std::string range = "expected a whole number from " + std::to_string(lo) + " to " + std::to_string(hi);
  if (!j.is_number_integer()) Bad(where, range);
  if (j.is_number_unsigned()) {
    const uint64_t u = j.get<uint64_t>();
    if (u > static_cast<uint64_t>(hi)) Bad(where, range);
    return static_cast<int64_t>(u);
  }
  const int64_t v = j.get<int64_t>();
  if (v < lo || v > hi) Bad(where, range);
  return v;
}

template <class T>
T WholeOr(const Json& obj, const char* key, const std::string& where, T fallback) {
  if (!obj.contains(key)) return fallback;
  return static_cast<T>(Whole(obj[key], where + "." + key, std::numeric_limits<T>::min(), std::numeric_limits<T>::max()));
}

template <class T>
std::optional<T> OptionalWhole(const Json& obj, const char* key, const std::string& where) {
  if (!obj.contains(key) || obj[key].is_null()) return std::nullopt;
  return static_cast<T>(Whole(obj[key], where + "." + key, std::numeric_limits<T>::min(), std::numeric_limits<T>::max()));
}

// A text: a JSON string (UTF-8, turned into Windows-1252) or {"hex": "..."}
// for raw bytes.
std::string Text(const Json& j, const std::string& where) {
  std::string bytes;
  if (j.is_string()) {
    try {
      bytes = Utf8ToCp1252(j.get<std::string>());
    } catch (const ToolError& e) {
      Bad(where, e.what());
    }
  } else if (j.is_object() && j.size() == 1 && j.contains("hex") && j["hex"].is_string()) {
    bytes = FromHex(j["hex"].get<std::string>(), where + ".hex");
  } else {
    Bad(where, "expected a text, or {\"hex\": \"...\"} for raw bytes");
  }
  if (bytes.size() > 255) Bad(where, "a log text holds at most 255 bytes, this one has " + std::to_string(bytes.size()));
  return bytes;
}

std::string TextOr(const Json& obj, const char* key, const std::string& where, const std::string& fallback) {
  if (!obj.contains(key)) return fallback;
  return Text(obj[key], where + "." + key);
}

// null or missing: the absent mark.
std::string MaybeAbsent(const Json& obj, const char* key, const std::string& where) {
  if (!obj.contains(key) || obj[key].is_null()) return std::string(app::kAbsentMark);
  return Text(obj[key], where + "." + key);
}

// A size or total: unsigned 32 bits as the log holds them (0 to 4294967295);
// a negative number gives its two's-complement bits, as older descriptions
// wrote them.
uint32_t Bytes32(const Json& j, const std::string& where) {
  return static_cast<uint32_t>(Whole(j, where, INT32_MIN, UINT32_MAX));
}

int32_t Date(const Json& j, const std::string& where) {
  if (j.is_number_integer()) return static_cast<int32_t>(static_cast<uint32_t>(Whole(j, where, INT32_MIN, UINT32_MAX)));
  if (!j.is_string()) Bad(where, "expected a number, \"0x2AB153C0\" or \"2001-05-17 10:30:00\"");
  const std::string s = j.get<std::string>();
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    const std::string bytes = FromHex(s.substr(2), where);
    if (bytes.size() != 4) Bad(where, "expected 8 hexadecimal digits after 0x");
    uint32_t v = 0;
    for (const char c : bytes) v = (v << 8) | static_cast<unsigned char>(c);
    return static_cast<int32_t>(v);
  }
  int y, mo, d, h, mi, se;
  char tail;
  if (std::sscanf(s.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &se, &tail) != 6) {
    Bad(where, "expected \"YYYY-MM-DD HH:MM:SS\" (local time), a number or \"0x...\"");
  }
  const auto packed = PackDosTime(y, mo, d, h, mi, se);
  if (!packed) Bad(where, "\"" + s + "\" has no DOS form (1980 to 2107, valid date and time)");
  return *packed;
}

app::LogFile FileFromJson(const Json& j, const std::string& where) {
  CheckKeys(j, where, {"name", "size", "date", "dateText", "flag"});
  app::LogFile f;
  if (!j.contains("name")) Bad(where, "a file needs a \"name\"");
  f.name = Text(j["name"], where + ".name");
  f.size = j.contains("size") ? Bytes32(j["size"], where + ".size") : 0;
  f.date = j.contains("date") ? Date(j["date"], where + ".date") : 0;
  f.flag = WholeOr<uint8_t>(j, "flag", where, 1);
  return f;
}

std::vector<app::LogFile> FilesFromJson(const Json& obj, const std::string& where) {
  std::vector<app::LogFile> files;
  if (!obj.contains("files")) return files;
  const Json& arr = obj["files"];
  if (!arr.is_array()) Bad(where + ".files", "expected a list");
  for (size_t i = 0; i < arr.size(); ++i) files.push_back(FileFromJson(arr[i], where + ".files[" + std::to_string(i) + "]"));
  return files;
}

const Json* List(const Json& obj, const char* key, const std::string& where) {
  if (!obj.contains(key)) return nullptr;
  if (!obj[key].is_array()) Bad(where + "." + key, "expected a list");
  return &obj[key];
}

}  // namespace

std::string Utf8ToCp1252(std::string_view utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    uint32_t cp;
    size_t len;
    if (c < 0x80) cp = c, len = 1;
    else if ((c & 0xE0) == 0xC0) cp = c & 0x1F, len = 2;
    else if ((c & 0xF0) == 0xE0) cp = c & 0x0F, len = 3;
    else if ((c & 0xF8) == 0xF0) cp = c & 0x07, len = 4;
    else throw ToolError("not UTF-8 text (byte " + std::to_string(c) + " at " + std::to_string(i) + ")");
    if (i + len > utf8.size()) throw ToolError("not UTF-8 text (cut short at " + std::to_string(i) + ")");
    for (size_t k = 1; k < len; ++k) {
      const auto t = static_cast<unsigned char>(utf8[i + k]);
      if ((t & 0xC0) != 0x80) throw ToolError("not UTF-8 text (at " + std::to_string(i) + ")");
      cp = (cp << 6) | (t & 0x3F);
    }
    const std::string_view original = utf8.substr(i, len);
    i += len;
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      out += static_cast<char>(cp);
      continue;
    }
    unsigned byte = 0x80;
    while (byte < 0xA0 && platform::Cp1252ToUnicode(static_cast<unsigned char>(byte)) != cp) ++byte;
    if (byte == 0xA0) {
      throw ToolError("the character \"" + std::string(original) + "\" has no Windows-1252 form");
    }
    out += static_cast<char>(byte);
  }
  return out;
}

app::LogContent LogFromJson(const Json& d) {
  const std::string top = "description";
  CheckKeys(d, top,
            {"leadByte", "appName", "hostLevels", "shortcutLevels", "regKeyCount", "regKeys", "totalBytes",
             "uninstallKey", "shortcutDir", "shortcutCount", "shortcuts", "folderCount", "folders", "groupCount",
             "groups", "trailing", "truncate", "size", "end", "complete", "readable", "problems"});
  app::LogContent c;
  c.leadByte = WholeOr<uint8_t>(d, "leadByte", top, 1);
  c.appName = TextOr(d, "appName", top, "");
  c.hostLevels = WholeOr<uint8_t>(d, "hostLevels", top, 1);
  c.shortcutLevels = WholeOr<uint8_t>(d, "shortcutLevels", top, 0);
  c.regKeyCount = OptionalWhole<uint8_t>(d, "regKeyCount", top);
  if (const Json* keys = List(d, "regKeys", top)) {
    if (keys->size() > 255) Bad(top + ".regKeys", "at most 255 registry keys fit in a log");
    for (size_t i = 0; i < keys->size(); ++i) {
      const std::string where = top + ".regKeys[" + std::to_string(i) + "]";
      CheckKeys((*keys)[i], where, {"levels", "key"});
      c.regKeys.push_back({WholeOr<uint8_t>((*keys)[i], "levels", where, 1), TextOr((*keys)[i], "key", where, "")});
    }
  }
  c.uninstallKey = MaybeAbsent(d, "uninstallKey", top);
  c.shortcutDir = MaybeAbsent(d, "shortcutDir", top);
  c.shortcutCount = OptionalWhole<int32_t>(d, "shortcutCount", top);
  if (const Json* list = List(d, "shortcuts", top)) {
    for (size_t i = 0; i < list->size(); ++i) c.shortcuts.push_back(Text((*list)[i], top + ".shortcuts[" + std::to_string(i) + "]"));
  }
  c.folderCount = OptionalWhole<int32_t>(d, "folderCount", top);
  c.groupCount = OptionalWhole<int32_t>(d, "groupCount", top);
  const Json* groups = List(d, "groups", top);
  if (const Json* list = List(d, "folders", top)) {
    for (size_t i = 0; i < list->size(); ++i) {
      const std::string where = top + ".folders[" + std::to_string(i) + "]";
      const Json& f = (*list)[i];
      CheckKeys(f, where, {"name", "flag", "files"});
      c.folders.push_back({TextOr(f, "name", where, ""), WholeOr<uint8_t>(f, "flag", where, 1)});
      if (groups && f.contains("files")) {
        Bad(where, "give files inside the folders or in \"groups\", not both");
      }
      // Files inside a folder make that folder's group.
      if (!groups) c.groups.push_back({std::nullopt, FilesFromJson(f, where)});
    }
  }
  if (groups) {
    for (size_t i = 0; i < groups->size(); ++i) {
      const std::string where = top + ".groups[" + std::to_string(i) + "]";
      const Json& g = (*groups)[i];
      CheckKeys(g, where, {"count", "files"});
      c.groups.push_back({OptionalWhole<int32_t>(g, "count", where), FilesFromJson(g, where)});
    }
  }
  if (d.contains("totalBytes")) {
    c.totalBytes = Bytes32(d["totalBytes"], top + ".totalBytes");
  } else {
    uint64_t sum = 0;
    for (const app::LogGroup& g : c.groups) {
      for (const app::LogFile& f : g.files) sum += f.size;
    }
    if (sum > UINT32_MAX) {
      Bad(top + ".totalBytes", "the sizes add up to " + std::to_string(sum) + ", past what the log can hold; give it");
    }
    c.totalBytes = static_cast<uint32_t>(sum);
  }
  if (d.contains("trailing")) {
    if (!d["trailing"].is_string()) Bad(top + ".trailing", "expected hexadecimal bytes");
    c.trailing = FromHex(d["trailing"].get<std::string>(), top + ".trailing");
  }
  return c;
}

std::string LogBytesFromJson(const Json& d) {
  app::LogContent c = LogFromJson(d);
  std::string bytes = app::WriteLog(c);
  if (d.contains("truncate")) {
    const auto n = Whole(d["truncate"], "description.truncate", 0, static_cast<int64_t>(bytes.size()));
    bytes.resize(static_cast<size_t>(n));
  }
  return bytes;
}

Json DumpLog(std::string_view bytes) {
  const app::ParsedLog p = app::ParseLog(bytes);
  const app::LogContent& c = p.content;
  const int n = p.fieldsRead;
  Json j;
  j["size"] = bytes.size();
  j["readable"] = p.Readable();
  j["complete"] = p.complete;
  if (p.complete) j["end"] = p.end;
  Json problems = Json::array();
  for (const app::LogProblem& pr : p.problems) problems.push_back({{"offset", pr.offset}, {"what", pr.what}});
  j["problems"] = problems;
  auto text = [](const std::string& s) { return Cp1252ToUtf8(s); };
  auto absent = [&](const std::string& s) -> Json { return s == app::kAbsentMark ? Json(nullptr) : Json(text(s)); };
  if (n >= 1) j["leadByte"] = c.leadByte;
  if (n >= 2) j["appName"] = text(c.appName);
  if (n >= 3) j["hostLevels"] = c.hostLevels;
  if (n >= 4) j["shortcutLevels"] = c.shortcutLevels;
  if (n >= 5) {
    j["regKeyCount"] = *c.regKeyCount;
    Json keys = Json::array();
    for (const app::LogRegKey& k : c.regKeys) keys.push_back({{"levels", k.levels}, {"key", text(k.key)}});
    j["regKeys"] = keys;
  }
  if (n >= 7) j["totalBytes"] = c.totalBytes;
  if (n >= 8) j["uninstallKey"] = absent(c.uninstallKey);
  if (n >= 9) j["shortcutDir"] = absent(c.shortcutDir);
  if (n >= 10) {
    j["shortcutCount"] = *c.shortcutCount;
    Json list = Json::array();
    for (const std::string& s : c.shortcuts) list.push_back(text(s));
    j["shortcuts"] = list;
  }
  if (n >= 12) {
    j["folderCount"] = *c.folderCount;
    Json list = Json::array();
    for (const app::LogFolder& f : c.folders) list.push_back({{"name", text(f.name)}, {"flag", f.flag}});
    j["folders"] = list;
  }
  if (n >= 14) {
    j["groupCount"] = *c.groupCount;
    Json list = Json::array();
    for (const app::LogGroup& g : c.groups) {
      Json group;
      if (g.count) group["count"] = *g.count;
      Json files = Json::array();
      for (const app::LogFile& f : g.files) {
        Json file{{"name", text(f.name)}, {"size", f.size}, {"date", DateHex(f.date)}};
        if (auto when = DosTimeText(f.date)) file["dateText"] = *when;
        file["flag"] = f.flag;
        files.push_back(file);
      }
      group["files"] = files;
      list.push_back(group);
    }
    j["groups"] = list;
  }
  if (p.complete) j["trailing"] = Hex(c.trailing);
  return j;
}

namespace {

std::string UpperAscii(std::string s) {
  for (char& ch : s) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  return s;
}

struct Walker {
  const ScanOptions& o;
  const ListFolderFn& list;
  app::LogContent& log;
  std::vector<std::string> exclude;  // upper case, backslashes, no trailing one
  uint64_t total = 0;

  bool Excluded(const std::string& rel) const {
    return std::find(exclude.begin(), exclude.end(), UpperAscii(rel)) != exclude.end();
  }

  std::string LogName(const std::string& hostName, const std::string& hostPath) const {
    if (!o.utf8Names) return hostName;
    try {
      return Utf8ToCp1252(hostName);
    } catch (const ToolError& e) {
      throw ToolError(hostPath + ": " + e.what());
    }
  }

  void Walk(const std::string& hostFolder, const std::string& relFolder) {
    auto entries = list(hostFolder);
    if (!entries) throw ToolError(hostFolder + ": cannot list this folder");
    std::sort(entries->begin(), entries->end(), [](const platform::FileEntry& a, const platform::FileEntry& b) {
      return UpperAscii(a.name) < UpperAscii(b.name);
    });
    log.folders.push_back({relFolder, o.flag});
    log.groups.emplace_back();
    const size_t group = log.groups.size() - 1;
    std::vector<std::pair<std::string, std::string>> subfolders;  // host name, log name
    for (const platform::FileEntry& e : *entries) {
      if (e.name == "." || e.name == "..") continue;
      const std::string hostPath = hostFolder + o.separator + e.name;
      const std::string name = LogName(e.name, hostPath);
      if (Excluded(relFolder + name)) continue;
      if (e.IsFolder()) {
        subfolders.emplace_back(e.name, name);
        continue;
      }
      if (name.size() > 255) throw ToolError(hostPath + ": the name is longer than the 255 bytes a log holds");
      if (e.size > UINT32_MAX) {
        throw ToolError(hostPath + ": " + std::to_string(e.size) + " bytes, past the 4 GiB a log can give a file");
      }
      total += e.size;
      log.groups[group].files.push_back({name, static_cast<uint32_t>(e.size), e.dosTime, o.flag});
    }
    for (const auto& [hostName, name] : subfolders) {
      const std::string rel = relFolder + name + "\\";
      if (rel.size() > 255) throw ToolError(hostFolder + o.separator + hostName + ": the folder path is longer than 255 bytes");
      Walk(hostFolder + o.separator + hostName, rel);
    }
  }
};

}  // namespace

app::LogContent ScanTree(const ScanOptions& o, const ListFolderFn& list) {
  app::LogContent log;
  log.leadByte = o.leadByte;
  log.appName = o.appName;
  log.hostLevels = o.hostLevels;
  log.shortcutLevels = o.shortcutLevels;
  log.regKeys = o.regKeys;
  log.uninstallKey = o.uninstallKey.empty() ? std::string(app::kAbsentMark) : o.uninstallKey;
  log.shortcutDir = o.shortcutDir.empty() ? std::string(app::kAbsentMark) : o.shortcutDir;
  log.shortcuts = o.shortcuts;
  Walker w{o, list, log, {}};
  for (std::string e : o.exclude) {
    std::replace(e.begin(), e.end(), '/', '\\');
    while (!e.empty() && e.back() == '\\') e.pop_back();
    w.exclude.push_back(UpperAscii(e));
  }
  std::string root = o.root;
  while (root.size() > 1 && root.back() == o.separator) root.pop_back();
  w.Walk(root, "");
  if (w.total > UINT32_MAX) {
    throw ToolError(o.root + ": the files add up to " + std::to_string(w.total) +
                    " bytes, past the 4294967295 a log's total can hold");
  }
  log.totalBytes = static_cast<uint32_t>(w.total);
  for (const std::string& s : log.shortcuts) {
    if (s.size() > 255) throw ToolError("shortcut \"" + s + "\" is longer than 255 bytes");
  }
  return log;
}

namespace {

constexpr char kUsage[] =
    "usage:\n"
    "  undtool write DESCRIPTION.json LOG.und\n"
    "      write a log from a JSON description (the shape 'dump' prints;\n"
    "      folders may carry their \"files\"; texts are UTF-8, stored as Windows-1252)\n"
    "  undtool dump LOG.und [OUT.json]\n"
    "      print every field of a log as JSON, with the byte offset of each\n"
    "      damaged place; exit code 1 when the uninstaller would refuse the log\n"
    "  undtool scan FOLDER LOG.und --app NAME [options]\n"
    "      make the log of an installed folder tree (sizes and local DOS time\n"
    "      stamps from the disk)\n"
    "      --host-levels N       folder levels to remove, from FOLDER up (default 1)\n"
    "      --shortcut-dir DIR    folder of the shortcuts (default: none)\n"
    "      --shortcut-levels N   shortcut folder levels to remove (default 0)\n"
    "      --shortcut PATH       a shortcut file (repeat for more)\n"
    "      --uninstall-key NAME  the entry under ...\\CurrentVersion\\Uninstall (default: none)\n"
    "      --regkey LEVELS:KEY   a registry key: levels, then the entry as logged,\n"
    "                            e.g. 2:(1)\\Software\\Maker\\App (root digit 1, HKEY_CURRENT_USER) (repeat)\n"
    "      --exclude NAME        leave out a file or folder, relative to FOLDER (repeat)\n"
    "      --flag N              flag byte of every folder and file entry (default 1)\n"
    "  undtool plan LOG.und [--json]\n"
    "      what a run over the log would remove and keep, and the failure list\n"
    "      it would show, worked out by the uninstaller's own removal without\n"
    "      changing anything; exit code 1 when the uninstaller would refuse the\n"
    "      log (Windows only)\n";

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ToolError(path + ": cannot open it for reading");
  std::ostringstream s;
  s << in.rdbuf();
  if (in.bad()) throw ToolError(path + ": read error");
  return s.str();
}

void WriteWhole(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw ToolError(path + ": cannot open it for writing");
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw ToolError(path + ": write error");
}

uint8_t SmallNumber(const std::string& option, const std::string& value) {
  char* end = nullptr;
  const long v = std::strtol(value.c_str(), &end, 10);
  if (value.empty() || *end != '\0' || v < 0 || v > 255) {
    throw ToolError(option + ": expected a number from 0 to 255, got \"" + value + "\"");
  }
  return static_cast<uint8_t>(v);
}

int Scan(const std::vector<std::string>& args, std::ostream& out, const ListFolderFn& diskList, char separator,
         bool utf8Names) {
  ScanOptions o;
  o.separator = separator;
  o.utf8Names = utf8Names;
  std::vector<std::string> positional;
  bool haveApp = false;
  // Texts from the command line are in the host's encoding.
  auto text = [&](const std::string& s) { return utf8Names ? Utf8ToCp1252(s) : s; };
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.rfind("--", 0) != 0) {
      positional.push_back(a);
      continue;
    }
    if (i + 1 >= args.size()) throw ToolError(a + ": needs a value");
    const std::string& v = args[++i];
    if (a == "--app") o.appName = text(v), haveApp = true;
    else if (a == "--host-levels") o.hostLevels = SmallNumber(a, v);
    else if (a == "--shortcut-dir") o.shortcutDir = text(v);
    else if (a == "--shortcut-levels") o.shortcutLevels = SmallNumber(a, v);
    else if (a == "--shortcut") o.shortcuts.push_back(text(v));
    else if (a == "--uninstall-key") o.uninstallKey = text(v);
    else if (a == "--exclude") o.exclude.push_back(text(v));
    else if (a == "--flag") o.flag = SmallNumber(a, v);
    else if (a == "--regkey") {
      const size_t colon = v.find(':');
      if (colon == std::string::npos) throw ToolError("--regkey: expected LEVELS:KEY, got \"" + v + "\"");
      if (o.regKeys.size() == 255) throw ToolError("--regkey: at most 255 registry keys fit in a log");
      o.regKeys.push_back({SmallNumber(a, v.substr(0, colon)), text(v.substr(colon + 1))});
    } else {
      throw ToolError("unknown option " + a);
    }
  }
  if (positional.size() != 2) throw ToolError("scan needs a FOLDER and a LOG.und");
  if (!haveApp) throw ToolError("scan needs --app NAME");
  for (const std::string* t : {&o.appName, &o.shortcutDir, &o.uninstallKey}) {
    if (t->size() > 255) throw ToolError("\"" + *t + "\" is longer than the 255 bytes a log text holds");
  }
  for (const app::LogRegKey& k : o.regKeys) {
    if (k.key.size() > 255) throw ToolError("--regkey: \"" + k.key + "\" is longer than 255 bytes");
  }
  o.root = positional[0];
  const app::LogContent log = ScanTree(o, diskList);
  WriteWhole(positional[1], app::WriteLog(log));
  size_t files = 0;
  for (const app::LogGroup& g : log.groups) files += g.files.size();
  out << "undtool: " << positional[1] << ": " << log.folders.size() << " folders, " << files << " files, "
      << log.totalBytes << " bytes\n";
  return 0;
}

}  // namespace

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const ListFolderFn& diskList,
        char separator, bool utf8Names, PlanServices* planServices) {
  try {
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
      (args.empty() ? err : out) << kUsage;
      return args.empty() ? 2 : 0;
    }
    const std::string& cmd = args[0];
    if (cmd == "write") {
      if (args.size() != 3) throw ToolError("write needs DESCRIPTION.json and LOG.und");
      Json description;
      try {
        description = Json::parse(ReadWhole(args[1]));
      } catch (const Json::parse_error& e) {
        throw ToolError(args[1] + ": not valid JSON: " + e.what());
      }
      std::string bytes;
      try {
        bytes = LogBytesFromJson(description);
      } catch (const ToolError& e) {
        throw ToolError(args[1] + ": " + e.what());
      }
      WriteWhole(args[2], bytes);
      // Damaged logs are written on purpose (test fixtures), but say so.
      const app::ParsedLog check = app::ParseLog(bytes);
      for (const app::LogProblem& p : check.problems) {
        err << "undtool: warning: " << args[2] << ": offset " << p.offset << ": " << p.what << "\n";
      }
      if (!check.Readable()) err << "undtool: warning: the uninstaller will refuse " << args[2] << "\n";
      return 0;
    }
    if (cmd == "dump") {
      if (args.size() != 2 && args.size() != 3) throw ToolError("dump needs LOG.und and, optionally, OUT.json");
      const Json j = DumpLog(ReadWhole(args[1]));
      const std::string text = j.dump(2) + "\n";
      if (args.size() == 3) WriteWhole(args[2], text);
      else out << text;
      if (!j["readable"].get<bool>()) {
        for (const Json& p : j["problems"]) {
          err << "undtool: " << args[1] << ": offset " << p["offset"].get<size_t>() << ": "
              << p["what"].get<std::string>() << "\n";
        }
        return 1;
      }
      return 0;
    }
    if (cmd == "scan") return Scan(args, out, diskList, separator, utf8Names);
    if (cmd == "plan") return Plan(args, out, err, planServices, utf8Names);
    throw ToolError("unknown command \"" + cmd + "\"");
  } catch (const ToolError& e) {
    err << "undtool: " << e.what() << "\n";
    if (args.empty() || (args[0] != "write" && args[0] != "dump" && args[0] != "scan" && args[0] != "plan")) {
      err << kUsage;
    }
    return 2;
  } catch (const std::exception& e) {
    err << "undtool: " << e.what() << "\n";
    return 2;
  }
}

}  // namespace undtool
