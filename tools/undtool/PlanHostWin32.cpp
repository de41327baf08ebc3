// The plan's services on Windows: the platform's own file system, registry
// and locale, and the registry's subkey list for the dry run.
#include "platform/win32/Win32Services.h"
#include "tools/undtool/Plan.h"

namespace undtool {

namespace {

class Win32SubkeyLister : public app::ISubkeyLister {
 public:
  explicit Win32SubkeyLister(platform::win32::Win32Registry& registry) : registry_(registry) {}
  std::optional<std::vector<std::string>> Subkeys(uint32_t root, const std::string& path) override {
    return registry_.SubkeyNames(root, path);
  }

 private:
  platform::win32::Win32Registry& registry_;
};

}  // namespace

PlanServices* HostPlanServices() {
  static platform::win32::Win32FileSystem fs;
  static platform::win32::Win32Registry registry;
  static platform::win32::Win32Locale locale;
  static Win32SubkeyLister lister(registry);
  static platform::win32::Win32Module module;
  static PlanServices services{&fs, &registry, &locale, &lister, module.KnownFolders()};
  return &services;
}

}  // namespace undtool
