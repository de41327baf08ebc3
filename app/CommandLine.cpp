#include "app/CommandLine.h"

#include <string_view>

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

// The one rule for "/f:": where it stands in an argument, that argument
// names the log.
bool HoldsLogMarker(const std::string& argument) { return argument.find("/f:") != std::string::npos; }

bool AnyOf(std::string_view name, std::initializer_list<std::string_view> names) {
  for (std::string_view n : names) {
    if (EqualNoCase(name, n)) return true;
  }
  return false;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine line;
  bool quiet = false;
  bool passive = false;
  for (const std::string& argument : arguments) {
    if (IsSwitch(argument)) {
      const std::string_view name = std::string_view(argument).substr(1);
      if (AnyOf(name, {"quiet", "s", "verysilent", "qn"})) {
        quiet = true;
        continue;
      }
      if (AnyOf(name, {"passive", "silent", "qb"})) {
        passive = true;
        continue;
      }
      if (name.size() >= 4 && EqualNoCase(name.substr(0, 3), "log") && (name[3] == ':' || name[3] == '=')) {
        line.reportPath = std::string(name.substr(4));
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
    line.logPath = line.logArgument->substr(3);
  } else if (line.logArgument && IsSwitch(*line.logArgument)) {
    // A switch nobody knows ("/x" where "/f:..." was meant): it names no
    // log either way.
    line.unknownSwitches.insert(line.unknownSwitches.begin(), *line.logArgument);
  }
  line.mode = quiet ? RunMode::Quiet : passive ? RunMode::Passive : RunMode::Interactive;
  return line;
}

}  // namespace app
