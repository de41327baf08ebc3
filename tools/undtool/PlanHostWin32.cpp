// The plan's services on Windows: the platform's own file system, registry
// and locale, and a subkey lister over RegEnumKeyEx for the dry run.
#include "platform/win32/Win32Services.h"
#include "tools/undtool/Plan.h"

namespace undtool {

namespace {

class Win32SubkeyLister : public app::ISubkeyLister {
 public:
  std::optional<std::vector<std::string>> Subkeys(uint32_t root, const std::string& path) override {
    if (root < 0x80000000u || root > 0x80000006u) return std::nullopt;
    // The predefined handles are sign-extended 32-bit values.
    const HKEY rootKey = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(root)));
    const std::string sub = !path.empty() && path.front() == '\\' ? path.substr(1) : path;
    platform::win32::UniqueKey key;
    if (RegOpenKeyExA(rootKey, sub.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, key.put()) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
      char name[256];  // key names are at most 255 characters
      DWORD len = sizeof name;
      const LONG r = RegEnumKeyExA(key.get(), i, name, &len, nullptr, nullptr, nullptr, nullptr);
      if (r == ERROR_NO_MORE_ITEMS) break;
      if (r != ERROR_SUCCESS) return std::nullopt;
      names.emplace_back(name, len);
    }
    return names;
  }
};

}  // namespace

PlanServices* HostPlanServices() {
  static platform::win32::Win32FileSystem fs;
  static platform::win32::Win32Registry registry;
  static platform::win32::Win32Locale locale;
  static Win32SubkeyLister lister;
  static PlanServices services{&fs, &registry, &locale, &lister};
  return &services;
}

}  // namespace undtool
