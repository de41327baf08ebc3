// Placeholder until this step lands: it does nothing and says so.
#include "app/UninstallRun.h"
#include "platform/Error.h"
namespace app {
void UninstallRun::RemoveInstallation() { throw platform::Error("RemoveInstallation: not built yet"); }
}  // namespace app
