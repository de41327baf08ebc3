// undtool: writes, dumps, scans and plans uninstall logs. See UndTool.h.
#include <iostream>
#include <string>
#include <vector>

#include "tools/undtool/Disk.h"
#include "tools/undtool/Plan.h"
#include "tools/undtool/UndTool.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return undtool::Run(args, std::cout, std::cerr, undtool::ListDiskFolder, undtool::kHostSeparator,
                      undtool::kHostUtf8Names, undtool::HostPlanServices());
}
