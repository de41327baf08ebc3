#pragma once
// The figures of the progress window: the phase line, the processed-bytes
// line and the bar's position.
#include <cstdint>
#include <optional>
#include <string>

#include "app/Outcome.h"

namespace app {

// The phase line of the progress window for `phase`; nullptr for the
// shortcut host folders, which leave the line as it was.
const char* PhaseCaption(Phase phase);
// "%.0n bytes processados de %.0n bytes a processar" with the locale's
// thousands separator.
std::string FormatJobDone(int64_t processed, int64_t toProcess, const std::string& thousandsSeparator);
// A whole number grouped in thousands.
std::string GroupThousands(int64_t value, const std::string& separator);
// processed / toProcess * 100 rounded to the nearest whole, an exact half to
// the even neighbour, in integers (the same result on every processor); 0 up
// to nothing processed, 100 from toProcess on; nullopt when toProcess <= 0.
std::optional<int> ProgressPosition(int64_t processed, int64_t toProcess);

}  // namespace app
