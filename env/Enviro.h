#pragma once
// Screen scale factor, font compensation, path helpers and the numbered
// message catalogue through which every message box is shown.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/Services.h"

namespace env {

// Pixels per inch of the screen divided by 96; 0 until InitEnvironment ran,
// never 0 afterwards.
extern double ScaleFactor;

// Reads the screen's logical pixels per inch once and sets ScaleFactor
// (0.1 when the quotient is 0).
void InitEnvironment(platform::IScreen& screen);

// Font height after compensation: -|round_half_even(height / ScaleFactor)|.
int CompensateFontHeight(int height);
int CompensateFontHeight(int height, double scaleFactor);

// The path helpers, under the ANSI code page of a locale: where they look
// at the last character of a path, the second byte of a double-byte
// character is never taken for a backslash, even when it is 0x5C. Every
// user of a path holds one of these for the locale it runs under, so the
// same path gives the same result in the program, its tools and its tests.
class PathRules {
 public:
  explicit PathRules(platform::ILocale& locale) : locale_(locale) {}

  // True when the last character of `text` is a backslash.
  bool EndsWithBackslash(const std::string& text) const;
  // Folder + name with exactly one backslash between them; empty when the
  // folder is empty. The name is appended unchanged.
  std::string JoinPath(const std::string& folder, const std::string& name) const;
  // The path without one trailing backslash.
  std::string StripTrailingBackslash(const std::string& path) const;
  // Everything up to and including the last backslash or colon; empty when
  // there is none.
  std::string ExtractFilePath(const std::string& path) const;
  // The folder of a file path as Windows reads it, where a slash separates
  // folders too: everything up to and including the last backslash, slash
  // or colon, every slash given as a backslash (C:/App/app.und gives
  // C:\App\); empty when there is none.
  std::string FolderOfFile(const std::string& path) const;
  // The path up to and including its last backslash or colon, less one
  // trailing backslash: D:\A\B gives D:\A, D:\A gives D:, \Software gives an
  // empty path. Serves folder paths and registry key paths alike.
  std::string ParentPath(const std::string& path) const;

 private:
  // Where the last character of `text` that is one of `separators` starts,
  // or npos.
  size_t LastSeparator(const std::string& text, const char* separators) const;

  platform::ILocale& locale_;
};

// One catalogue message, ready for a message box.
struct CodedMessage {
  std::string caption;
  std::string text;
  uint32_t type = 0;
};

// Caption, text and box type of `code` with `argument` in place. A code
// without a message gives empty texts and type 0.
CodedMessage BuildCodedMessage(int32_t code, const std::string& argument);

// True for the 29 codes that carry a message.
bool HasCodedMessage(int32_t code);

// Shows message `code` with `argument` and returns the button pressed (what
// the message box returns, unchanged).
int ShowCodedMessage(platform::IMessageBox& box, int32_t code, const std::string& argument);

// Message box results.
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

}  // namespace env
