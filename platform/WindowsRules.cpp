#include "platform/WindowsRules.h"

#include <cmath>

namespace platform {

unsigned char UpperCp1252(unsigned char u) {
  if ((u >= 'a' && u <= 'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7)) return static_cast<unsigned char>(u - 0x20);
  if (u == 0x9A || u == 0x9C || u == 0x9E) return static_cast<unsigned char>(u - 0x10);  // š œ ž
  if (u == 0xFF) return 0x9F;                                                             // ÿ
  return u;
}

std::string UpperCp1252(std::string text) {
  for (char& c : text) c = static_cast<char>(UpperCp1252(static_cast<unsigned char>(c)));
  return text;
}

FileRemoval RemoveFileAnyway(IFileSystem& fs, const std::string& path) {
  FileRemoval out;
  const auto attributes = fs.GetAttributes(path);
  if (!attributes) {
    out.failedAt = FileRemoval::Step::ReadAttributes;
    return out;
  }
  out.status = fs.SetAttributes(path, *attributes & ~kAttrReadOnly);
  if (!out.status) {
    out.failedAt = FileRemoval::Step::DropReadOnly;
    return out;
  }
  out.status = fs.RemoveFile(path);
  if (!out.status) out.failedAt = FileRemoval::Step::Delete;
  return out;
}

int64_t RoundHalfEven(int64_t whole, int restAgainstHalf) {
  if (restAgainstHalf > 0 || (restAgainstHalf == 0 && whole % 2 != 0)) return whole + 1;
  return whole;
}

int64_t RoundHalfEven(double value) {
  const double down = std::floor(value);
  const double rest = value - down;  // exact: down is a whole multiple of value's last place
  return RoundHalfEven(static_cast<int64_t>(down), rest < 0.5 ? -1 : rest > 0.5 ? 1 : 0);
}

}  // namespace platform
