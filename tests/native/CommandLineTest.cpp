#include <gtest/gtest.h>

#include "app/CommandLine.h"
#include "app/LogIdentity.h"
#include "app/Ownership.h"
#include "app/RemovalEngine.h"
#include "tests/fakes/FakeFileSystem.h"
#include "tests/fakes/FakeRegistry.h"
#include "tests/fakes/FakeServices.h"

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

// An uninstall entry's command names the log by the program's own rules:
// the C runtime's split, the first argument holding "/f:", the path made
// full and long; REG_EXPAND_SZ expanded; 8.3 names, letter case and
// slashes aside.
TEST(CommandLine, AnUninstallEntryNamesItsLogByTheProgramsOwnRules) {
  const std::string pf = "C:\\Program Files (x86)", log = pf + "\\Exemplos\\Planilha Demo\\app.und";
  const std::string exe = pf + "\\Common Files\\desinstalador.exe";
  const uint32_t sz = platform::kRegSz, expand = platform::kRegExpandSz;
  const struct {
    std::string value, command;
    uint32_t type;
    std::optional<std::string> names;  // nullopt: none, or another log
  } rows[] = {
      {"UninstallString", "\"" + exe + "\" /f:\"" + log + "\"", sz, log},  // the form most installers write
      {"UninstallString", "\"" + exe + "\" \"/f:" + log + "\"", sz, log},
      {"UninstallString", "C:\\Tools\\desinstalador.exe /f:C:\\App\\app.und", sz, std::nullopt},
      {"UninstallString", "C:\\u.exe /f:C:\\PROGRA~2\\EXEMPL~1\\PLANIL~1\\app.und", sz, log},
      {"UninstallString", "\"" + exe + "\" /S /norestart \"/f:" + log + "\" /log:C:\\r.txt", sz, log},
      {"QuietUninstallString", "\"" + exe + "\" /f:\"c:\\program files (x86)\\EXEMPLOS\\planilha demo\\APP.UND\" /quiet",
       sz, log},
      {"UninstallString", "\"" + exe + "\" \"/f:C:/Program Files (x86)/Exemplos/Planilha Demo/app.und\"", sz, log},
      {"UninstallString",
       "\"%ProgramFiles(x86)%\\Common Files\\desinstalador.exe\" \"/f:%PROGRAMFILES(X86)%\\Exemplos\\Planilha Demo\\app.und\"",
       expand, log},
      {"UninstallString", "\"" + exe + "\" \"/f:%ProgramFiles(x86)%\\Exemplos\\Planilha Demo\\app.und\"", sz,
       std::nullopt},  // REG_SZ: nothing is expanded
      {"UninstallString", "u.exe \"/f:" + pf + "\\Exemplos\\Planilha \\\"Demo\\\"\\app.und\"", sz, std::nullopt},
      {"UninstallString", "u.exe \"/f:" + pf + "\\Exemplos\\Planilha\"\" Demo\\app.und\"", sz, std::nullopt},
      {"UninstallString", "u.exe /f:\"" + pf + "\"\\Exemplos\\\\\"Planilha Demo\\app.und\"", sz, log},
      {"UninstallString", "u.exe /f:" + log, sz, std::nullopt},  // unquoted with blanks: "C:\Program"
      {"UninstallString", "u.exe /f: \"" + log + "\"", sz, std::nullopt},
      {"UninstallString", "u.exe /x " + std::string("\"/f:") + log + "\"", sz, log},
      {"QuietUninstallString", "\"" + exe + "\" /quiet \"/f:" + log + "\"", sz, log},  // only a quiet command
      {"UninstallString", "\"" + exe + "\"", sz, std::nullopt},
      {"UninstallString", "\"" + exe + "\" /f:\"" + log + "\"", platform::kRegBinary, std::nullopt},  // no text
      // No command at all: its own only under the application's name.
      {"DisplayName", "planilha DEMO", sz, log},
      {"DisplayName", "Outro Programa", sz, std::nullopt},
  };
  fakes::FakeLocale locale;
  for (const auto& row : rows) {
    fakes::FakeFileSystem fs;
    fakes::FakeRegistry registry;
    fs.AddFile(log);
    fs.AddShortName(pf, "PROGRA~2");
    fs.AddShortName(pf + "\\Exemplos", "EXEMPL~1");
    fs.AddShortName(pf + "\\Exemplos\\Planilha Demo", "PLANIL~1");
    registry.SetEnvironment("ProgramFiles(x86)", pf);
    const std::string entry = std::string(app::kUninstallKeyPath) + "App";
    registry.SetString(platform::kHkeyLocalMachine, entry, row.value, row.command, row.type);
    app::TRunData data;
    data.UninsData.UninstallKey = "App";
    data.UninsData.AppName = "Planilha Demo";
    const app::LogIdentity identity = app::IdentifyLog(log, fs, registry, locale);
    const app::Protection protection({}, locale);
    const auto reason = app::NotTheApplicationsReason(data, identity, fs, registry, locale, protection);
    EXPECT_EQ(!reason, row.names.has_value()) << row.command << (reason ? " -- " + *reason : "");
  }
}

}  // namespace
