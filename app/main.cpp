// Program entry: the application object, its title, the main window, the
// message loop, and exit code 0 whatever happened.
#include <windows.h>

#include <cstdlib>

#include "app/RunData.h"
#include "app/UninstallRun.h"
#include "app/uMain.h"
#include "env/Enviro.h"
#include "platform/toolkit/Application.h"
#include "platform/win32/Win32Services.h"

// The runtime's own terminate handler prints the demangled type of the
// exception, which brings a demangler and a whole printf into the program (a
// GUI program has no console to print to anyway).
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  static platform::win32::Win32Platform system;
  static app::TRunData runData;
  env::SetPathLocale(&system.locale);

  toolkit::Application application;
  application.SetTitle("Desinstalador Kestrivon");
  app::Services services{system.fileSystem, system.registry, system.messageBox,
                         system.locale,     system.module,   system.namedLock};
  try {
    TfmMain form(services, system.screen, runData, FirstCommandLineArgument());
    fmMain = &form;
    application.Run(form);
  } catch (...) {
    toolkit::ReportCurrentException();
  }
  return 0;
}
