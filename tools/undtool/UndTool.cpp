// undtool's command line: write, dump, scan and plan.
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
