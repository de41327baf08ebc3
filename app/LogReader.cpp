// Placeholder until this step lands: it does nothing and says so.
#include "app/UninstallRun.h"
#include "platform/Error.h"
namespace app {
bool UninstallRun::ReadLog() { throw platform::Error("ReadLog: not built yet"); }
}  // namespace app
