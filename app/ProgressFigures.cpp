#include "app/ProgressFigures.h"

#include "platform/WindowsRules.h"

namespace app {

const char* PhaseCaption(Phase phase) {
  switch (phase) {
    case Phase::Files: return "Destruindo arquivos...";
    case Phase::Folders: return "Destruindo pastas...";
    case Phase::HostFolders: return "Destruindo pastas hospedeiras...";
    case Phase::Shortcuts: return "Destruindo atalhos...";
    case Phase::ShortcutFolders: return "Destruindo pastas de atalhos...";
    case Phase::ShortcutHostFolders: return nullptr;
    case Phase::Registry: return "Destruindo registros...";
  }
  return nullptr;
}

std::string GroupThousands(int64_t value, const std::string& separator) {
  const bool negative = value < 0;
  // Work on the magnitude as unsigned so INT64_MIN cannot overflow.
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  const std::string digits = std::to_string(magnitude);
  std::string out;
  out.reserve(digits.size() + digits.size() / 3 * separator.size() + 1);
  if (negative) out += '-';
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += separator;
    out += digits[i];
  }
  return out;
}

std::string FormatJobDone(int64_t processed, int64_t toProcess, const std::string& thousandsSeparator) {
  return GroupThousands(processed, thousandsSeparator) + " bytes processados de " +
         GroupThousands(toProcess, thousandsSeparator) + " bytes a processar";
}

std::optional<int> ProgressPosition(int64_t processed, int64_t toProcess) {
  if (toProcess <= 0) return std::nullopt;
  // The bar shows anything past its ends as full or empty.
  if (processed <= 0) return 0;
  if (processed >= toProcess) return 100;
  // In integers, so that no floating-point unit decides a half (x87's
  // extended precision would make 23 of 40, 57.5, come out as 58 in one
  // build and 57 in another). 100 * processed fits in 64 bits, since the
  // counts come from 32-bit sizes summed over at most a few million files.
  const uint64_t scaled = 100 * static_cast<uint64_t>(processed), total = static_cast<uint64_t>(toProcess);
  const uint64_t rest = scaled % total;
  return static_cast<int>(platform::RoundHalfEven(static_cast<int64_t>(scaled / total),
                                                  rest * 2 < total ? -1 : rest * 2 > total ? 1 : 0));
}

}  // namespace app
