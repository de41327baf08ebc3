#pragma once
// The project's own error type: what the toolkit and the registry layer raise
// and what reaches the application's standard error report. It carries the
// report's text, in Windows-1252.
//
// It derives from std::exception directly: std::runtime_error keeps its text
// in the library's older reference-counted string, and linking that in would
// bring a second string implementation into the program.
#include <exception>
#include <string>

namespace platform {

class Error : public std::exception {
 public:
  explicit Error(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// "printf" with one %s or %d placeholder, as the error texts need.
std::string FormatError(const char* pattern, const std::string& argument);
std::string FormatError(const char* pattern, long long argument);

}  // namespace platform
