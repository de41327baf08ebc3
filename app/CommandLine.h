#pragma once
// The program's command line: the log argument of an interactive run, and
// the switches of an unattended one that deployment tools pass.
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace app {

enum class RunMode {
  Interactive,  // every window and box, exit code 0
  Passive,      // the progress window only; exit codes
  Quiet,        // no window and no box at all; exit codes
};

struct CommandLine {
  RunMode mode = RunMode::Interactive;
  // The first argument that is not one of the switches below, as the C
  // runtime split it; nullopt when there is none.
  std::optional<std::string> logArgument;
  // The log's path from the log argument (LogPathOfArgument); empty when
  // there is none.
  std::string logPath;
  // The report file (the last one given wins);
  // possibly empty, which no file can be created under.
  std::optional<std::string> reportPath;
  // Other arguments that begin with / or -, apart from the log argument, in
  // command-line order.
  std::vector<std::string> unknownSwitches;

  bool Unattended() const { return mode != RunMode::Interactive; }
};

// Reads the arguments after the program's name. Switches are matched without
// regard to case, written with / or -, in any position; the accepted ones
// are one table (app/CommandLine.cpp): /quiet (also /S, /VERYSILENT, /qn),
// /passive (also /SILENT, /qb), the report as /log:<file>, /log=<file>,
// /log <file>, /l*v <file> or /l*v+ <file>, and /norestart, /promptrestart,
// /SUPPRESSMSGBOXES, /SP- and /NOCANCEL, which change nothing. Quiet wins
// over passive. Without any of them the log argument is the first argument,
// exactly as an interactive run has always taken it. A log argument that is
// a switch without "/f:" is one nobody knows.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// The one rule of "/f:": an argument that holds it anywhere (exact case)
// names the log as the argument without its first three characters; any
// other names none (empty).
std::string LogPathOfArgument(const std::string& argument);

// The log that a whole command line (an uninstall entry's, program name
// first) names: split as the C runtime splits a command line
// (platform::SplitCommandLine), the first argument after the program that
// holds "/f:", by LogPathOfArgument. Empty when it names none.
std::string LogPathInCommand(const std::string& command, const std::function<bool(unsigned char)>& isLeadByte);

}  // namespace app
