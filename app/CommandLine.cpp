#include "app/CommandLine.h"

#include <string_view>
#include <utility>

#include "platform/WindowsRules.h"

namespace app {

namespace {

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

bool IsSwitch(const std::string& argument) {
  return !argument.empty() && (argument[0] == '/' || argument[0] == '-');
}

constexpr char kLogMarker[] = "/f:";

bool HoldsLogMarker(const std::string& argument) { return argument.find(kLogMarker) != std::string::npos; }

// What a switch does. Every switch that a deployment tool or a script
// written for another uninstaller passes by habit is in this one table;
// anything else is a switch nobody knows.
enum class Effect {
  Quiet,          // no window and no box at all
  Passive,        // the progress window only
  ReportHere,     // the report file follows the name: /log:<file>, /log=<file>
  ReportInNext,   // the report file is the next argument: /log <file>
  None,           // accepted, changes nothing
};

struct KnownSwitch {
  std::string_view name;  // without its / or -, any letter case
  Effect effect;
};

constexpr KnownSwitch kSwitches[] = {
    {"quiet", Effect::Quiet},
    {"s", Effect::Quiet},
    {"verysilent", Effect::Quiet},
    {"qn", Effect::Quiet},
    {"passive", Effect::Passive},
    {"silent", Effect::Passive},
    {"qb", Effect::Passive},
    {"log:", Effect::ReportHere},
    {"log=", Effect::ReportHere},
    {"log", Effect::ReportInNext},
    {"l*v", Effect::ReportInNext},
    {"l*v+", Effect::ReportInNext},  // appends, as every report does
    // Windows is never restarted by the uninstaller (3010 says that a
    // restart is needed), and an unattended run shows no box anyway.
    {"norestart", Effect::None},
    {"promptrestart", Effect::None},
    {"suppressmsgboxes", Effect::None},
    {"sp-", Effect::None},
    {"nocancel", Effect::None},
};

// The table's entry for a switch, and what follows its name (the report
// file of /log:<file>).
std::optional<std::pair<Effect, std::string_view>> Known(std::string_view name) {
  for (const KnownSwitch& known : kSwitches) {
    if (known.effect == Effect::ReportHere) {
      if (name.size() >= known.name.size() && EqualNoCase(name.substr(0, known.name.size()), known.name))
        return std::pair(known.effect, name.substr(known.name.size()));
    } else if (EqualNoCase(name, known.name)) {
      return std::pair(known.effect, std::string_view());
    }
  }
  return std::nullopt;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine line;
  bool quiet = false;
  bool passive = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (IsSwitch(argument)) {
      if (const auto known = Known(std::string_view(argument).substr(1))) {
        switch (known->first) {
          case Effect::Quiet: quiet = true; break;
          case Effect::Passive: passive = true; break;
          case Effect::ReportHere: line.reportPath = std::string(known->second); break;
          // With nothing after it, an empty path, which no file is created under.
          case Effect::ReportInNext: line.reportPath = i + 1 < arguments.size() ? arguments[++i] : ""; break;
          case Effect::None: break;
        }
        continue;
      }
    }
    if (!line.logArgument) {
      line.logArgument = argument;
    } else if (IsSwitch(argument)) {
      line.unknownSwitches.push_back(argument);
    }
  }
  if (line.logArgument && HoldsLogMarker(*line.logArgument)) {
    line.logPath = LogPathOfArgument(*line.logArgument);
  } else if (line.logArgument && IsSwitch(*line.logArgument)) {
    // A switch nobody knows ("/x" where "/f:..." was meant): it names no
    // log either way.
    line.unknownSwitches.insert(line.unknownSwitches.begin(), *line.logArgument);
  }
  line.mode = quiet ? RunMode::Quiet : passive ? RunMode::Passive : RunMode::Interactive;
  return line;
}

std::string LogPathOfArgument(const std::string& argument) {
  return HoldsLogMarker(argument) ? argument.substr(3) : std::string();
}

std::string LogPathInCommand(const std::string& command, const std::function<bool(unsigned char)>& isLeadByte) {
  const std::vector<std::string> arguments = platform::SplitCommandLine(command, isLeadByte);
  for (size_t i = 1; i < arguments.size(); ++i) {
    if (HoldsLogMarker(arguments[i])) return LogPathOfArgument(arguments[i]);
  }
  return {};
}

}  // namespace app
