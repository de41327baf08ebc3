#include "app/KeyPlaces.h"

#include <algorithm>
#include <string_view>

#include "platform/WindowsRules.h"

namespace app {

namespace {

constexpr uint32_t kClassesRoot = 0x80000000u;
constexpr uint32_t kCurrentUser = 0x80000001u;
constexpr uint32_t kLocalMachine = 0x80000002u;
constexpr uint32_t kUsers = 0x80000003u;

// The hives a place lies in: the classes (HKEY_CLASSES_ROOT, a user's
// <SID>_Classes), a user's (HKEY_CURRENT_USER, HKEY_USERS\<SID>), the
// machine's.
enum Hive : uint8_t { kClassesHive = 1, kUserHive = 2, kMachineHive = 4 };

// A place's path, below its hive, in upper case. Wildcards stand for one
// key name: <OWN> the application's uninstall key name, <MAKER> a maker's
// (none of the system's own branches), <EXE> a program's file name, and
// <CLASS> a class, which ends the path (CLSID\{...} and
// Applications\<x>.exe are two names).
struct Place {
  uint8_t hives;
  const char* path;
  KeyPlace place;
  const char* why;
};

constexpr char kClassWhy[] =
    "a class (an extension, a ProgID, CLSID\\{...}, Applications\\<x>.exe): the application's when it points at it";

constexpr Place kPlaces[] = {
    {kMachineHive, "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\UNINSTALL\\<OWN>", KeyPlace::Application,
     "the application's own uninstall entry"},
    {kUserHive | kMachineHive, "SOFTWARE\\<MAKER>", KeyPlace::Application,
     "a maker's own settings, below Software\\<maker>"},
    {kMachineHive, "SOFTWARE\\WOW6432NODE\\<MAKER>", KeyPlace::Application,
     "a maker's own settings, below the 32-bit view of Software"},
    {kUserHive | kMachineHive, "SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\APP PATHS\\<EXE>", KeyPlace::Class,
     "a program's App Paths entry: the application's when it points at it"},
    {kClassesHive, "<CLASS>", KeyPlace::Class, kClassWhy},
    {kUserHive | kMachineHive, "SOFTWARE\\CLASSES\\<CLASS>", KeyPlace::Class, kClassWhy},
    {kMachineHive, "SOFTWARE\\WOW6432NODE\\CLASSES\\<CLASS>", KeyPlace::Class, kClassWhy},
};

// The system's own branches of Software: no maker's.
constexpr std::string_view kSystemBranches[] = {"MICROSOFT", "POLICIES", "CLASSES", "WOW6432NODE", "CLIENTS",
                                                "REGISTEREDAPPLICATIONS"};
// Among the classes, the lists of other registrations: no class of their
// own (CLSID and Applications hold classes one level down).
constexpr std::string_view kClassLists[] = {"CLSID",    "APPLICATIONS", "INTERFACE",     "TYPELIB",
                                            "APPID",    "WOW6432NODE",  "MIME",          "INSTALLER",
                                            "PROTOCOLS", "LOCAL SETTINGS", "COMPONENT CATEGORIES",
                                            "SYSTEMFILEASSOCIATIONS"};

template <size_t N>
bool Among(const std::string_view (&list)[N], const std::string& name) {
  return std::find(std::begin(list), std::end(list), name) != std::end(list);
}

bool ProgramFile(const std::string& name) { return name.size() > 4 && name.compare(name.size() - 4, 4, ".EXE") == 0; }

// How many names from `at` make a class: 0 when they make none.
size_t ClassNames(const std::vector<std::string>& up, size_t at) {
  const std::string& name = up[at];
  const bool second = at + 1 < up.size();
  if (name.size() > 1 && name[0] == '.') return 1;
  if (name == "CLSID") return second && up[at + 1].size() > 2 && up[at + 1].front() == '{' && up[at + 1].back() == '}' ? 2 : 0;
  if (name == "APPLICATIONS") return second && ProgramFile(up[at + 1]) ? 2 : 0;
  return Among(kClassLists, name) ? 0 : 1;
}

struct Split {
  std::vector<std::string> names;  // as spelt
  std::vector<std::string> up;     // in upper case
};

Split SplitPath(const std::string& path) {
  Split s;
  for (size_t at = 0; at <= path.size();) {
    const size_t end = std::min(path.find('\\', at), path.size());
    if (end > at) {
      s.names.push_back(path.substr(at, end - at));
      s.up.push_back(platform::UpperCp1252(s.names.back()));
    }
    at = end + 1;
  }
  return s;
}

std::string Join(const std::vector<std::string>& names, size_t from, size_t to) {
  std::string out;
  for (size_t i = from; i < to; ++i) out += (i > from ? "\\" : "") + names[i];
  return out;
}

// Whether the names from `at` lie in `place`; a class sets `judged`'s keys.
bool InPlace(const Place& place, const Split& s, size_t at, const std::string& own, KeyJudgement& judged) {
  size_t i = at;
  for (std::string_view rest = place.path; !rest.empty();) {
    const size_t cut = std::min(rest.find('\\'), rest.size());
    const std::string_view token = rest.substr(0, cut);
    rest.remove_prefix(std::min(cut + 1, rest.size()));
    if (i >= s.up.size()) return false;
    const std::string& name = s.up[i];
    if (token == "<CLASS>") {
      const size_t n = ClassNames(s.up, i);
      if (n == 0 || i + n > s.up.size()) return false;
      judged.classRoot = Join(s.names, 0, i);
      judged.classKey = Join(s.names, 0, i + n);
      judged.classes = true;
      return true;
    }
    const bool fits = token == "<OWN>"     ? !own.empty() && name == own
                      : token == "<MAKER>" ? !Among(kSystemBranches, name)
                      : token == "<EXE>"   ? ProgramFile(name)
                                           : name == token;
    if (!fits) return false;
    if (token == "<EXE>") judged.classKey = Join(s.names, 0, i + 1);
    ++i;
  }
  return true;
}

// Why a key that lies in no place is outside them.
const char* OutsideReason(const Split& s, size_t at) {
  const size_t left = s.up.size() - at;
  if (at == 0 && left == 1) return "a direct subkey of its root (Software, System, a user's hive)";
  if (s.up[at] != "SOFTWARE") return "outside Software and the classes: the system's or its users' settings";
  if (left == 1) return "Software itself: every program's settings";
  if (left >= 6 && s.up[at + 1] == "MICROSOFT" && s.up[at + 2] == "WINDOWS" && s.up[at + 3] == "CURRENTVERSION" &&
      s.up[at + 4] == "UNINSTALL")
    return "another program's uninstall entry";
  if (Among(kSystemBranches, s.up[at + 1]) && (s.up[at + 1] != "CLASSES" || left == 2))
    return "a branch of the system's own below Software (Microsoft, Policies, Classes, Wow6432Node, Clients, "
           "RegisteredApplications)";
  return "a list of the system's classes (CLSID, Applications, Interface, TypeLib, ...), not one class";
}

}  // namespace

KeyJudgement JudgeKeyPlace(uint32_t root, const std::string& path, const std::string& ownEntry,
                           const std::string* userBranch) {
  KeyJudgement judged;
  const Split s = SplitPath(path);
  if (s.up.empty()) {
    judged.why = "a root key";
    return judged;
  }
  uint8_t hive = root == kClassesRoot ? kClassesHive : root == kCurrentUser ? kUserHive : root == kLocalMachine ? kMachineHive : 0;
  size_t at = 0;
  if (root == kUsers) {
    // HKEY_USERS\<SID> is the user's hive, <SID>_Classes the user's classes.
    std::string user = s.up[0];
    constexpr std::string_view kClasses = "_CLASSES";
    hive = kUserHive;
    if (user.size() > kClasses.size() && user.compare(user.size() - kClasses.size(), kClasses.size(), kClasses) == 0) {
      user.resize(user.size() - kClasses.size());
      hive = kClassesHive;
    }
    if (userBranch != nullptr && (userBranch->empty() || user != platform::UpperCp1252(*userBranch))) {
      judged.why = "another user's branch of HKEY_USERS, or the system's";
      return judged;
    }
    at = 1;
  }
  if (hive == 0) {
    judged.why = "below a root key that holds nothing of an application's";
    return judged;
  }
  if (at == 1 && s.up.size() == 1) {
    judged.why = "a direct subkey of its root (Software, System, a user's hive)";
    return judged;
  }
  const std::string own = ownEntry.find_first_not_of('\\') == std::string::npos ? "" : platform::UpperCp1252(ownEntry);
  for (const Place& place : kPlaces) {
    if ((place.hives & hive) == 0) continue;
    KeyJudgement candidate;
    if (InPlace(place, s, at, own, candidate)) {
      candidate.place = place.place;
      candidate.why = place.why;
      return candidate;
    }
  }
  judged.why = hive == kClassesHive ? "a list of the system's classes (CLSID, Applications, Interface, TypeLib, ...), not one class"
                                    : OutsideReason(s, at);
  return judged;
}

std::optional<std::string> AnotherUsersKeyReason(const std::vector<std::string>& keys,
                                                 const std::vector<uint8_t>& levels, platform::IRegistry& registry) {
  std::optional<std::string> branch;
  for (size_t i = 0; i < keys.size() && i < levels.size(); ++i) {
    const std::string& k = keys[i];
    if (levels[i] == 0 || k.size() < 2 || k[1] != '3') continue;
    if (!branch) branch = registry.CurrentUserBranch();
    const KeyJudgement judged = JudgeKeyPlace(kUsers, k.size() > 3 ? k.substr(3) : "", "", &*branch);
    if (judged.place == KeyPlace::Outside) {
      return "registry key " + std::to_string(i) + " names a key that is not the application's: " + judged.why;
    }
  }
  return std::nullopt;
}

bool BelowARoot(const std::string& base) {
  const size_t separators = static_cast<size_t>(std::count(base.begin(), base.end(), '\\'));
  if (base.size() > 3 && base[1] == ':' && base[2] == '\\') return separators >= 2 && base.size() > 4;
  return base.rfind("\\\\", 0) == 0 && separators >= 5;
}

void ApplicationClasses::SetFolder(std::vector<std::string> forms) {
  forms_.clear();
  known_.clear();
  for (std::string& form : forms) {
    if (BelowARoot(form) && std::find(forms_.begin(), forms_.end(), form) == forms_.end()) forms_.push_back(std::move(form));
  }
}

bool ApplicationClasses::NamesAFileInside(const std::string& value) {
  size_t at = value.find_first_not_of(' ');
  if (at != std::string::npos && value[at] == '"') ++at;
  if (at == std::string::npos) return false;
  for (const std::string& form : forms_) {
    // A name must follow: the folder itself, or a ".." out of it, is no
    // file inside it.
    const size_t next = at + form.size();
    if (value.size() <= next || value[next] == '"' || value[next] == ' ' || value[next] == '\\' ||
        value.compare(next, 2, "..") == 0)
      continue;
    if (locale_.EqualIgnoreCase(value.substr(at, form.size()), form)) return true;
  }
  return false;
}

bool ApplicationClasses::Searched(uint32_t root, const std::string& classKey) {
  // A class of an application's holds a few dozen keys; one of the system's
  // (exefile, *, Folder) may hold thousands, and none of them is read to
  // the end.
  constexpr size_t kMostKeys = 64;
  const std::string node = platform::KeyNode(root, classKey);
  if (const auto it = known_.find(node); it != known_.end()) return it->second;
  bool points = false;
  std::vector<std::string> waiting{classKey};
  for (size_t read = 0; read < waiting.size(); ++read) {
    if (read == kMostKeys) {
      points = false;
      break;
    }
    const std::string key = waiting[read];
    auto opened = registry_.OpenKey(root, key);
    if (!opened) continue;
    for (const std::string& name : opened->ValueNames().value_or(std::vector<std::string>{})) {
      const auto text = opened->ReadExpandedString(name);
      points = points || (text && NamesAFileInside(*text));
    }
    opened.reset();
    for (const std::string& sub : registry_.SubkeyNames(root, key).value_or(std::vector<std::string>{})) {
      waiting.push_back(key + "\\" + sub);
    }
  }
  known_[node] = points;
  return points;
}

bool ApplicationClasses::PointsAtApplication(uint32_t root, const KeyJudgement& judged) {
  if (judged.place != KeyPlace::Class || forms_.empty()) return false;
  if (Searched(root, judged.classKey)) return true;
  const std::string name = judged.classKey.substr(judged.classRoot.empty() ? 0 : judged.classRoot.size() + 1);
  if (!judged.classes || name.empty() || name[0] != '.') return false;
  // An extension is its ProgID's: the class its default value names.
  auto extension = registry_.OpenKey(root, judged.classKey);
  const std::string progId = extension ? extension->ReadString("").value_or("") : "";
  extension.reset();
  if (progId.empty() || progId.find('\\') != std::string::npos) return false;
  const std::string progIdKey = judged.classRoot.empty() ? progId : judged.classRoot + "\\" + progId;
  const KeyJudgement target = JudgeKeyPlace(root, progIdKey, "", nullptr);
  return target.place == KeyPlace::Class && target.classes && target.classKey == progIdKey && Searched(root, progIdKey);
}

}  // namespace app
