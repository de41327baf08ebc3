// Placeholder until this step lands: it does nothing and says so.
#include "app/UninstallRun.h"
#include "platform/Error.h"
namespace app {
void UninstallRun::UpdateRegistration() { throw platform::Error("UpdateRegistration: not built yet"); }
}  // namespace app
