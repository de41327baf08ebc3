// undtool's JSON side: a log from a description ("write") and every field
// of a log with the offsets of its damage ("dump").
#include "tools/undtool/UndTool.h"

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

}  // namespace undtool
