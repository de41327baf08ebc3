#include "platform/Error.h"

#include <string>

namespace platform {

std::string FormatError(const char* pattern, const std::string& argument) {
  std::string out(pattern);
  const size_t pos = out.find("%s");
  if (pos != std::string::npos) out.replace(pos, 2, argument);
  return out;
}

std::string FormatError(const char* pattern, long long argument) {
  std::string out(pattern);
  const size_t pos = out.find("%d");
  if (pos != std::string::npos) out.replace(pos, 2, std::to_string(argument));
  return out;
}

}  // namespace platform
