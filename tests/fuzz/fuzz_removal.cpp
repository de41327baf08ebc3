// libFuzzer target: a whole removal over a log that the input's bytes
// choose (RemovalSafety.h). A file touched outside its folders, a folder
// removed while not empty or a key deleted beyond its walk aborts with the
// reason; the sanitizers watch everything else.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tests/fuzz/RemovalSafety.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  safety::Choices pick(std::string_view(reinterpret_cast<const char*>(data), size));
  const std::string log = safety::HostileLog(pick);
  const std::string problem = safety::CheckRemoval(log, pick);
  if (!problem.empty()) {
    std::fprintf(stderr, "removal beyond its folders: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
