#pragma once
// The project's own error type: what the toolkit and the registry layer raise
// and what reaches the application's standard error report. It carries the
// report's text, in Windows-1252.
#include <stdexcept>
#include <string>

namespace platform {

class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& message) : std::runtime_error(message) {}
};

// "printf" with one %s or %d placeholder, as the error texts need.
std::string FormatError(const char* pattern, const std::string& argument);
std::string FormatError(const char* pattern, long long argument);

}  // namespace platform
