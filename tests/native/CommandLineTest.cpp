#include <gtest/gtest.h>

#include "app/CommandLine.h"

namespace {

using app::RunMode;

struct LineCase {
  std::vector<std::string> args;
  RunMode mode;
  std::optional<std::string> log;
  std::optional<std::string> report;
  std::vector<std::string> unknown;
};

TEST(CommandLine, SwitchesAnywhereAnyCaseAndTheFirstOtherArgumentIsTheLog) {
  const std::string f = "/f:C:\\App\\app.und";
  const LineCase cases[] = {
      // Without the new switches: the first argument, whatever it is.
      {{}, RunMode::Interactive, std::nullopt, std::nullopt, {}},
      {{f, "/x", "more"}, RunMode::Interactive, f, std::nullopt, {"/x"}},
      {{"/F:C:\\a.und"}, RunMode::Interactive, "/F:C:\\a.und", std::nullopt, {"/F:C:\\a.und"}},
      // Every spelling, with / or -, before or after the log.
      {{"/quiet", f}, RunMode::Quiet, f, std::nullopt, {}},
      {{f, "-QUIET"}, RunMode::Quiet, f, std::nullopt, {}},
      {{"/S", f}, RunMode::Quiet, f, std::nullopt, {}},
      {{"/VerySilent", f}, RunMode::Quiet, f, std::nullopt, {}},
      {{"-qn", f}, RunMode::Quiet, f, std::nullopt, {}},
      {{"/passive", f}, RunMode::Passive, f, std::nullopt, {}},
      {{"/SILENT", f}, RunMode::Passive, f, std::nullopt, {}},
      {{"-QB", f}, RunMode::Passive, f, std::nullopt, {}},
      {{"/passive", "/quiet", f}, RunMode::Quiet, f, std::nullopt, {}},
      // The report file, with : or =, blanks kept, the last one wins.
      {{"/LOG:C:\\r 1.txt", f}, RunMode::Interactive, f, "C:\\r 1.txt", {}},
      {{f, "-log=a.txt", "/log:b.txt", "/qn"}, RunMode::Quiet, f, "b.txt", {}},
      {{"/log:", "/quiet", f}, RunMode::Quiet, f, "", {}},
      // The report in the next argument, whatever it looks like.
      {{"/quiet", "/log", "C:\\r.txt", f}, RunMode::Quiet, f, "C:\\r.txt", {}},
      {{f, "/L*V", "/f:x", "/quiet"}, RunMode::Quiet, f, "/f:x", {}},
      {{f, "/quiet", "-l*v+", "r.txt"}, RunMode::Quiet, f, "r.txt", {}},
      {{f, "/quiet", "/log"}, RunMode::Quiet, f, "", {}},
      // Habits of other uninstallers: accepted, nothing else.
      {{"/NORESTART", "/quiet", "/promptrestart", "/SUPPRESSMSGBOXES", "/SP-", "-nocancel", f}, RunMode::Quiet, f,
       std::nullopt, {}},
      // Switches nobody knows, also where the log was expected.
      {{"/quiet", "/forcerestart", f}, RunMode::Quiet, "/forcerestart", std::nullopt, {"/forcerestart", f}},
      {{"/quiet", f, "/l*", "/l*v++", "/log-"}, RunMode::Quiet, f, std::nullopt, {"/l*", "/l*v++", "/log-"}},
      {{"/quiet", f, "-x", "/f:D:\\b.und"}, RunMode::Quiet, f, std::nullopt, {"-x", "/f:D:\\b.und"}},
      {{"/quiet", "/s:x", "/logfile", f}, RunMode::Quiet, "/s:x", std::nullopt, {"/s:x", "/logfile", f}},
      {{"/quiet"}, RunMode::Quiet, std::nullopt, std::nullopt, {}},
  };
  for (const LineCase& c : cases) {
    const app::CommandLine line = app::ParseCommandLine(c.args);
    const std::string what = ::testing::PrintToString(c.args);
    EXPECT_EQ(line.mode, c.mode) << what;
    EXPECT_EQ(line.Unattended(), c.mode != RunMode::Interactive) << what;
    EXPECT_EQ(line.logArgument, c.log) << what;
    EXPECT_EQ(line.reportPath, c.report) << what;
    EXPECT_EQ(line.unknownSwitches, c.unknown) << what;
  }
}

}  // namespace
