#include "tests/fakes/FakeServices.h"

#include "platform/WindowsRules.h"

namespace fakes {

int FakeMessageBox::ShowMessage(const std::string& text, const std::string& caption, uint32_t type) {
  shown_.push_back({text, caption, type});
  if (whileShown) whileShown(text);
  if (!answers_.empty()) {
    const int a = answers_.front();
    answers_.pop_front();
    return a;
  }
  const uint32_t buttons = type & 0xF;
  if (buttons == 4) return (type & 0x100) ? 7 : 6;  // MB_YESNO
  return 1;
}

bool FakeLocale::EqualIgnoreCase(const std::string& a, const std::string& b) { return UpperAnsi(a) == UpperAnsi(b); }

std::string FakeLocale::UpperAnsi(const std::string& text) {
  std::string out = text;
  for (size_t i = 0; i < out.size(); ++i) {
    const unsigned char u = static_cast<unsigned char>(out[i]);
    if (IsLeadByte(u)) {
      ++i;  // the trail byte of a double-byte character is not a letter
      continue;
    }
    if (leadBytes.empty() || u < 0x80) out[i] = static_cast<char>(platform::UpperCp1252(u));
  }
  return out;
}

std::string FakeLocale::ToUtf8(const std::string& ansi) { return platform::Cp1252ToUtf8(ansi); }

void FakeLocale::UseCodePage932() {
  leadBytes.clear();
  for (int b = 0x81; b <= 0x9F; ++b) leadBytes.insert(static_cast<unsigned char>(b));
  for (int b = 0xE0; b <= 0xFC; ++b) leadBytes.insert(static_cast<unsigned char>(b));
}

}  // namespace fakes
