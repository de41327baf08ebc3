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

// The ANSI code page's lead bytes, for the path helpers' look at the last
// character. Until set, no byte is a lead byte (Windows-1252).
void SetPathLocale(platform::ILocale* locale);

// True when the last character of `text` is a backslash in the sense of the
// ANSI code page (not the trail byte of a double-byte character).
bool EndsWithBackslash(const std::string& text);

// Folder + name with exactly one backslash between them; empty when the
// folder is empty. The name is appended unchanged.
std::string JoinPath(const std::string& folder, const std::string& name);

// The path without one trailing backslash.
std::string StripTrailingBackslash(const std::string& path);

// Everything up to and including the last backslash or colon; empty when
// there is none. Like EndsWithBackslash, it looks at characters of the ANSI
// code page, not at bytes.
std::string ExtractFilePath(const std::string& path);

// The folder of a file path as Windows reads it, where a slash separates
// folders too: everything up to and including the last backslash, slash or
// colon, every slash given as a backslash (C:/App/app.und gives C:\App\);
// empty when there is none.
std::string FolderOfFile(const std::string& path);

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
