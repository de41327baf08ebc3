#include "app/PersonHost.h"

#include "env/Enviro.h"

namespace app {

namespace {
constexpr int32_t kConfirm = 36;
}  // namespace

bool PersonHost::Confirm(const std::string& appName) {
  // Every answer but No goes on.
  return env::ShowCodedMessage(box_, kConfirm, appName) != env::kIdNo;
}

void PersonHost::Tell(int32_t code, const std::string& argument) { env::ShowCodedMessage(box_, code, argument); }

}  // namespace app
