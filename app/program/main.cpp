// Program entry: the command line, the run's host and session, then the
// run. Interactive (no switch of an unattended run): the application
// object, its title, the main window, the message loop, and exit code 0
// whatever happened. /passive: the same window and no box, with an exit
// code; /quiet: no window at all.
#include <windows.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/RunData.h"
#include "app/PersonHost.h"
#include "app/RunSession.h"
#include "app/UnattendedHost.h"
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

// The arguments after the program's name, as the C runtime splits them.
std::vector<std::string> Arguments() {
  std::vector<std::string> arguments;
  for (int i = 1; i < __argc && __argv != nullptr && __argv[i] != nullptr; ++i) arguments.emplace_back(__argv[i]);
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
  const app::CommandLine line = app::ParseCommandLine(Arguments());
  // Who started the run: a person at the screen, or a deployment tool
  // (/quiet, /passive).
  app::PersonHost person(
      system.messageBox, [](app::TFailList& failures) { fmMain->ShowFailureSummary(failures); },
      [](const std::string& claim) { toolkit::BringMarkedToFront(claim); });
  app::UnattendedHost unattended(system.fileSystem, system.locale);
  app::IRunHost& host = line.Unattended() ? static_cast<app::IRunHost&>(unattended) : person;

  app::RunSession session(line, services, host, StartInfo(system.screen));
  if (session.Open()) {
    if (line.mode == app::RunMode::Quiet) {
      session.RunWithoutWindow(runData);
    } else {
      toolkit::Application application;
      application.SetTitle("Desinstalador Kestrivon");
      // Passive: an error is an exit code and a report line, never a box.
      if (line.Unattended()) application.SetErrorReport([&](const std::string& text) { session.Fail(text); });
      try {
        TfmMain form(services, system.screen, runData, host, line.logPath, &session);
        application.Run(form);
      } catch (...) {
        toolkit::ReportCurrentException();
      }
    }
  }
  return static_cast<int>(session.Close());
}
