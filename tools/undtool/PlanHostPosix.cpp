// No plan on a POSIX host: the tool has no Windows file system or registry
// to run the removal over here.
#include "tools/undtool/Plan.h"

namespace undtool {

PlanServices* HostPlanServices() { return nullptr; }

}  // namespace undtool
