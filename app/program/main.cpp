// Program entry: the command line, the log it names, the run's host and
// session, the run (built here once, for a window and for none), then its
// steps. Interactive (no switch of an unattended run): the application
// object, its title, the main window, the message loop, and exit code 0
// whatever happened. /passive: the same window and no box, with an exit
// code; /quiet: no window at all.
#include <windows.h>

#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/RunData.h"
#include "app/PersonHost.h"
#include "app/RunSession.h"
#include "app/UnattendedHost.h"
#include "platform/WindowsRules.h"
#include "app/ui/uMain.h"
#include "env/Enviro.h"
#include "platform/toolkit/Application.h"
#include "platform/win32/SystemDll.h"
#include "platform/win32/Win32Services.h"

// The runtime's own terminate handler prints the demangled type of the
// exception, which brings a demangler and a whole printf into the program (a
// GUI program has no console to print to anyway).
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

namespace {

// The arguments after the program's name, by the one rule that also reads
// an uninstall entry's command (platform::SplitCommandLine), as the C
// runtime splits the command line.
std::vector<std::string> Arguments(platform::ILocale& locale) {
  std::vector<std::string> arguments =
      platform::SplitCommandLine(GetCommandLineA(), [&](unsigned char byte) { return locale.IsLeadByte(byte); });
  if (!arguments.empty()) arguments.erase(arguments.begin());
  return arguments;
}

app::SessionInfo StartInfo(platform::IScreen& screen) {
  SYSTEMTIME t;
  GetLocalTime(&t);
  const auto two = [](unsigned n) { return std::string{static_cast<char>('0' + n / 10 % 10), static_cast<char>('0' + n % 10)}; };
  return {GetCommandLineA(),
          std::to_string(t.wYear) + "-" + two(t.wMonth) + "-" + two(t.wDay) + " " + two(t.wHour) + ":" +
              two(t.wMinute) + ":" + two(t.wSecond),
          screen.SeenByAPerson()};
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  platform::win32::RestrictDllSearch();
  static platform::win32::Win32Platform system;
  static app::TRunData runData;
  app::Services services{system.fileSystem, system.registry, system.messageBox, system.locale,
                         system.module,     system.namedLock, system.claim};
  const app::CommandLine line = app::ParseCommandLine(Arguments(system.locale));
  // Who started the run: a person at the screen, or a deployment tool
  // (/quiet, /passive).
  TfmMain* shown = nullptr;
  app::PersonHost person(
      system.messageBox, [&shown](app::TFailList& failures) { shown->ShowFailureSummary(failures); },
      [](const std::string& claim) { toolkit::BringMarkedToFront(claim); });
  app::UnattendedHost unattended(system.fileSystem, system.locale);
  app::IRunHost& host = line.Unattended() ? static_cast<app::IRunHost&>(unattended) : person;

  const auto window = [&](app::UninstallRun& run, app::RunSession& session) {
    toolkit::Application application;
    application.SetTitle("Desinstalador Kestrivon");
    // Passive: an error is an exit code and a report line, never a box.
    if (line.Unattended()) application.SetErrorReport([&](const std::string& text) { session.Fail(text); });
    try {
      TfmMain form(run, system.screen);
      shown = &form;
      application.Run(form);
    } catch (...) {
      toolkit::ReportCurrentException();
    }
    shown = nullptr;
  };
  std::function<void(app::UninstallRun&, app::RunSession&)> onWindow;
  if (line.mode != app::RunMode::Quiet) onWindow = window;
  return static_cast<int>(app::RunProgram(line, services, host, StartInfo(system.screen), runData, onWindow));
}
