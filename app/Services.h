#pragma once
// The Windows services one run uses, handed around as one.
#include "platform/Services.h"

namespace app {

struct Services {
  platform::IFileSystem& fs;
  platform::IRegistry& registry;
  platform::IMessageBox& box;
  platform::ILocale& locale;
  platform::IModule& module;
  platform::INamedLock& lock;   // the count of the registration, for a moment
  platform::INamedLock& claim;  // the run's claim on its log, for the whole run
};

}  // namespace app
